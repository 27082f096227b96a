// A print server that takes connections and never answers, as a hung CUPS
// does; CUPS_SERVER names it while the object lives (threads started after).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace testsupport {

class HungPrintServer {
public:
    HungPrintServer() : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        bind(m_fd, reinterpret_cast<sockaddr*>(&a), n);
        listen(m_fd, 64);  // never accepted: the kernel completes the connections
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &n);
        setenv("CUPS_SERVER", ("127.0.0.1:" + std::to_string(ntohs(a.sin_port))).c_str(), 1);
    }
    ~HungPrintServer() {
        unsetenv("CUPS_SERVER");
        close(m_fd);
    }

private:
    int m_fd;
};

}  // namespace testsupport
