// The pty server as a separate process: a client opens the terminal it prints,
// sends command 1 and reads the answer stream in real time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "../support/PtyServer.h"
#include "SimTestSupport.h"

using namespace simtest;

TEST(SimPty, ServesTheLoggerOnAPseudoTerminal) {
    testsupport::PtyServer server;
    ASSERT_TRUE(server.Start({"--speed", "6"}));
    ASSERT_EQ(server.path.rfind("/dev/pts/", 0), 0u) << server.path;

    const int fd = open(server.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    cfmakeraw(&tio);
    ASSERT_EQ(tcsetattr(fd, TCSAFLUSH, &tio), 0);

    const Bytes cmd = Cmd1(0x10, 20480, 93);
    ASSERT_EQ(write(fd, cmd.data(), cmd.size()), static_cast<ssize_t>(cmd.size()));

    Parser parser;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    uint8_t buf[1024];
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0) parser.Feed(buf, static_cast<size_t>(n), 0);
        }
    }
    close(fd);

    int config = 0, status = 0;
    for (const Frame& f : parser.frames) {
        if (f.Config()) {
            ++config;
            EXPECT_EQ(f.body[5], 93);
            EXPECT_EQ(f.Mode() & 0x30, 0x10);
        }
        if (f.Status()) ++status;
    }
    EXPECT_EQ(config, 1);
    EXPECT_GE(status, 3);
    EXPECT_EQ(parser.rejected, 0);
    EXPECT_EQ(std::system("out=$(" ZNS_SIM_PTY_EXE " --help 2>/dev/null) && echo \"$out\" | grep -q 'stands still'"), 0);
}
