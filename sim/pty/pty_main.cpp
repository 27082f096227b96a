// Serves the simulated logger on a pseudo-terminal, so a serial-port client can talk
// to it across a real OS boundary. Prints the slave path on the first line of stdout,
// then runs until SIGINT/SIGTERM or until stdin reaches end of file with --stdin.
//
// Usage: zns_sim_pty [--seed N] [--speed M] [--up] [--depth M] [--split N]
//                    [--scenario normal|silent-sonde|no-drive|gain-stuck|final-fails]; --help explains them.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "sim/SimLogger.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

bool ParseScenario(const std::string& s, zns::sim::Scenario& out) {
    using zns::sim::Scenario;
    if (s == "normal") out = Scenario::Normal;
    else if (s == "silent-sonde") out = Scenario::SondeNeverAnswers;
    else if (s == "no-drive") out = Scenario::NoPassingDrive;
    else if (s == "gain-stuck") out = Scenario::GainEchoStuck;
    else if (s == "final-fails") out = Scenario::FinalCheckFails;
    else return false;
    return true;
}

constexpr const char* kUsage =
    "usage: zns_sim_pty [--seed N] [--speed M] [--up] [--depth M] [--split N]\n"
    "                   [--scenario normal|silent-sonde|no-drive|gain-stuck|final-fails]\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int Help() {
    std::fputs(kUsage, stdout);
    std::fputs("Serves the simulated logger on a pseudo-terminal and prints the terminal's path on the first line.\n"
               "  --speed M     winch speed in m/min; without it the sonde stands still (a depth-mode log\n"
               "                records nothing until it moves)\n"
               "  --up          the winch pulls the sonde up (default: down)\n"
               "  --depth M     depth of the sonde at start, in m (default 100)\n"
               "  --seed N      seed of the signal noise and of the split points (default 1)\n"
               "  --split N     frames reach the terminal in pieces of 1..N bytes\n"
               "  --scenario S  normal, or a link that fails: silent-sonde (a powered sonde never answers),\n"
               "                no-drive (no downhole drive up to 60 passes), gain-stuck (the gain echo\n"
               "                ignores command 3), final-fails (the link fails some frames after each\n"
               "                settings command)\n"
               "  --help        this text\n",
               stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    zns::sim::SimConfig cfg;
    // Mounted as the built-in logger is, so that the configuration's default
    // encoder-direction bit counts a lowered sonde as going down.
    cfg.encoderInverted = true;
    int split = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&](const char*& v) {
            if (i + 1 >= argc) return false;
            v = argv[++i];
            return true;
        };
        const char* v = nullptr;
        char* end = nullptr;
        if (a == "--help" || a == "-h") {
            return Help();
        } else if (a == "--seed" && next(v)) {
            cfg.seed = static_cast<uint32_t>(std::strtoul(v, &end, 10));
        } else if (a == "--speed" && next(v)) {
            cfg.winchSpeedMpm = std::strtod(v, &end);
        } else if (a == "--depth" && next(v)) {
            cfg.startDepthM = std::strtod(v, &end);
        } else if (a == "--split" && next(v)) {
            split = std::atoi(v);
        } else if (a == "--up") {
            cfg.winchDown = false;
        } else if (a == "--scenario" && next(v)) {
            if (!ParseScenario(v, cfg.scenario)) return Usage();
        } else {
            return Usage();
        }
        if (end != nullptr && *end != '\0') return Usage();
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("zns_sim_pty: pseudo-terminal");
        return 1;
    }
    const char* name = ptsname(master);
    if (name == nullptr) {
        std::perror("zns_sim_pty: ptsname");
        return 1;
    }
    const std::string slavePath = name;

    // Hold the slave open ourselves, in raw mode: without it the line discipline would
    // echo our frames back as commands, and the master would fail once a client closes.
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        std::perror("zns_sim_pty: open slave");
        return 1;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    zns::sim::SimLogger logger(zns::DefaultClock(), cfg);
    if (split > 0) logger.SetSplitReads(split);

    std::vector<uint8_t> out;  // read from the logger, not yet taken by the terminal
    uint8_t buf[4096];
    while (!g_stop) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 2) < 0 && errno != EINTR) break;
        if (p.revents & POLLIN) {
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) logger.HostWrite(buf, static_cast<size_t>(n));
        }
        if (out.size() < 64 * 1024) {
            const size_t n = logger.HostRead(buf, sizeof buf);
            out.insert(out.end(), buf, buf + n);
        }
        while (!out.empty()) {
            const ssize_t w = write(master, out.data(), out.size());
            if (w <= 0) break;  // terminal full: keep the rest for the next round
            out.erase(out.begin(), out.begin() + w);
        }
    }
    close(slave);
    close(master);
    return 0;
}
