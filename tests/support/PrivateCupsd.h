// The distribution's print server (cupsd) run privately for a test: its own
// folders and socket, two raw queues whose device writes every job's bytes to
// a file ("zns_raw", the default, and "zns_refuse", which refuses jobs).
// CUPS_SERVER names its socket while the object lives (threads started after).
// Runs as a normal user or as root (then the jobs' user is "lp").
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

namespace testsupport {

class PrivateCupsd {
public:
    PrivateCupsd() = default;
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;
    ~PrivateCupsd() {
        Stop();
        unsetenv("CUPS_SERVER");
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
    }

    // Empty when it serves; else why not.
    std::string Start() {
        const std::string exe = ZNS_CUPSD_EXE;
        if (exe.empty() || ::access(exe.c_str(), X_OK) != 0)
            return "cupsd is not installed (scripts/install-deps installs it)";
        char tmpl[] = "/tmp/zns-cupsd-XXXXXX";
        if (!::mkdtemp(tmpl)) return "no temporary folder";
        m_dir = tmpl;
        ::chmod(m_dir.c_str(), 0755);
        for (const char* d : {"conf", "spool/tmp", "cache", "state", "log", "out", "bin/backend", "bin/filter"})
            std::filesystem::create_directories(m_dir + "/" + d);
        ::chmod((m_dir + "/out").c_str(), 01777);
        std::filesystem::create_directory_symlink("/usr/lib/cups/daemon", m_dir + "/bin/daemon");
        std::filesystem::create_directory_symlink("/usr/lib/cups/notifier", m_dir + "/bin/notifier");
        // The device: each job's document, once whole, as out/job-<id>. Mode 0700
        // (runs as the server's own user, root included).
        Write("bin/backend/zns-test",
              "#!/bin/sh\n"
              "[ $# -eq 0 ] && { echo 'direct zns-test \"Unknown\" \"Test device\"'; exit 0; }\n"
              "dir=${DEVICE_URI#zns-test:}\n"
              "if [ -n \"$6\" ]; then cat \"$6\"; else cat; fi > \"$dir/job-$1.part\" && "
              "mv \"$dir/job-$1.part\" \"$dir/job-$1\"\n");
        ::chmod((m_dir + "/bin/backend/zns-test").c_str(), 0700);
        m_socket = m_dir + "/sock";
        Write("conf/cupsd.conf", "LogLevel info\nListen " + m_socket +
                                     "\nBrowsing Off\nDefaultAuthType None\nMaxJobs 0\n"
                                     "<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
                                     "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n");
        std::string user = "lp", group = "lp";  // root: cupsd refuses to run jobs as root
        if (::geteuid() != 0) {
            const passwd* pw = ::getpwuid(::geteuid());
            const ::group* gr = ::getgrgid(::getegid());
            if (!pw || !gr) return "the user has no name";
            user = pw->pw_name;
            group = gr->gr_name;
        }
        std::string files = "FileDevice No\nUser " + user + "\nGroup " + group + "\n";
        for (const auto& [key, sub] : std::map<std::string, std::string>{{"ServerRoot", "conf"},
                                                                         {"StateDir", "state"},
                                                                         {"CacheDir", "cache"},
                                                                         {"RequestRoot", "spool"},
                                                                         {"TempDir", "spool/tmp"},
                                                                         {"AccessLog", "log/access_log"},
                                                                         {"ErrorLog", "log/error_log"},
                                                                         {"PageLog", "log/page_log"},
                                                                         {"ServerBin", "bin"}})
            files += key + " " + m_dir + "/" + sub + "\n";
        Write("conf/cups-files.conf", files + "DataDir /usr/share/cups\n");
        const std::string device = "DeviceURI zns-test:" + m_dir + "/out\nState Idle\nShared No\n";
        Write("conf/printers.conf", "<DefaultPrinter zns_raw>\n" + device + "Accepting Yes\n</DefaultPrinter>\n" +
                                        "<Printer zns_refuse>\n" + device + "Accepting No\n</Printer>\n");

        m_pid = ::fork();
        if (m_pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
            ::execl(exe.c_str(), exe.c_str(), "-f", "-c", (m_dir + "/conf/cupsd.conf").c_str(), "-s",
                    (m_dir + "/conf/cups-files.conf").c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (m_pid < 0) return "fork failed";
        // Serves once its socket takes a connection.
        for (int i = 0; i < 300; ++i) {
            if (Connects()) {
                setenv("CUPS_SERVER", m_socket.c_str(), 1);
                unsetenv("PRINTER");  // the server's default queue, not the user's
                unsetenv("LPDEST");
                return {};
            }
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return "cupsd ended at start: " + Log();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "cupsd does not take connections: " + Log();
    }

    void Stop() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

    // The jobs' bytes as the device got them, by job id, once `count` are
    // there (waited for a generous while).
    std::map<int, std::string> Jobs(size_t count) const {
        std::map<int, std::string> jobs;
        for (int i = 0; i < 600 && jobs.size() < count; ++i) {
            if (i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            jobs.clear();
            for (const auto& e : std::filesystem::directory_iterator(m_dir + "/out")) {
                const std::string name = e.path().filename().string();
                if (name.rfind("job-", 0) != 0 || name.find('.') != std::string::npos) continue;
                std::ifstream in(e.path(), std::ios::binary);
                std::ostringstream bytes;
                bytes << in.rdbuf();
                jobs[std::atoi(name.c_str() + 4)] = bytes.str();
            }
        }
        return jobs;
    }

    std::string Log() const {
        std::ifstream in(m_dir + "/log/error_log");
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(m_dir + "/" + name, std::ios::binary) << text;
    }
    bool Connects() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        m_socket.copy(a.sun_path, sizeof a.sun_path - 1);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }

    std::string m_dir, m_socket;
    pid_t m_pid = -1;
};

}  // namespace testsupport
