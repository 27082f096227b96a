// The simulated logger's pty server (zns_sim_pty) run as a child process; it
// prints the terminal's path on its first line. Needs ZNS_SIM_PTY_EXE.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport {

struct PtyServer {
    pid_t pid = -1;
    std::string path;

    // args: options after the program name, e.g. {"--speed", "6"}.
    bool Start(std::initializer_list<const char*> args) {
        std::vector<char*> argv{const_cast<char*>(ZNS_SIM_PTY_EXE)};
        for (const char* a : args) argv.push_back(const_cast<char*>(a));
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return false;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execv(ZNS_SIM_PTY_EXE, argv.data());
            _exit(127);
        }
        close(out[1]);
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') path += c;
        close(out[0]);
        return pid > 0 && !path.empty();
    }
    void Stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
            pid = -1;
        }
    }
    ~PtyServer() { Stop(); }
};

}  // namespace testsupport
