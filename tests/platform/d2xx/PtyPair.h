#pragma once
// A pseudo-terminal pair for the tty backend tests: the test plays the device on the
// master side, the backend opens the slave path.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

struct PtyPair {
    int master = -1;
    std::string slavePath;

    PtyPair() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        if (const char* n = ptsname(master)) slavePath = n;
    }
    ~PtyPair() { CloseMaster(); }
    bool Ok() const { return master >= 0 && !slavePath.empty(); }
    void CloseMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    bool Send(const std::vector<uint8_t>& b) const {
        return ::write(master, b.data(), b.size()) == static_cast<ssize_t>(b.size());
    }
    // Whatever the backend wrote, up to n bytes, waiting at most ms.
    std::vector<uint8_t> Receive(size_t n, int ms) const {
        std::vector<uint8_t> out;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (out.size() < n && std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
            uint8_t buf[4096];
            ssize_t r = ::read(master, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0) break;
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
};
