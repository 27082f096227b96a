// The distribution's print server run privately (own folders and socket, named
// by CUPS_SERVER while it lives), as a normal user or as root. Raw queues "zns_raw" (the default, with
// instance "zns_raw/draft"), "B\xC3\xBCro", "zns_refuse" (refuses jobs: "Bac 2 bloqu\xC3\xA9"), "zns_stopped"
// (holds them: "Capot ouvert") and "zns_nolist" (lists no jobs: Get-Jobs refused); the device writes each job's bytes to out/job-<id>, and its queue and options to out/job-<id>.opts.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

namespace testsupport {

class PrivateCupsd {
public:
    ~PrivateCupsd() {
        if (m_pid > 0) ::kill(m_pid, SIGTERM), ::waitpid(m_pid, nullptr, 0);
        unsetenv("CUPS_SERVER"), unsetenv("CUPS_SERVERROOT");
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
    }

    // Empty once it serves; else why not.
    std::string Start() {
        char tmpl[] = "/tmp/zns-cupsd-XXXXXX";
        if (::access(ZNS_CUPSD_EXE, X_OK) != 0 || !::mkdtemp(tmpl)) return "no cupsd (scripts/install-deps)";
        m_dir = tmpl;
        for (const char* d : {"/spool/tmp", "/cache", "/state", "/log", "/out", "/bin/backend"})
            std::filesystem::create_directories(m_dir + d);
        for (const char* d : {"/daemon", "/notifier"})
            std::filesystem::create_directory_symlink(std::string("/usr/lib/cups") + d, m_dir + "/bin" + d);
        // Mode 0700: the device runs as the server's own user, root included.
        Write("/bin/backend/zns-test", "#!/bin/sh\n[ $# -eq 0 ] && exit 0\nd=${DEVICE_URI#zns-test:}\n"
                                       "echo \"$PRINTER $5\" > \"$d/job-$1.opts\"\n"
                                       "cat \"$6\" > \"$d/job-$1.part\" && mv \"$d/job-$1.part\" \"$d/job-$1\"\n");
        std::filesystem::permissions(m_dir + "/bin/backend/zns-test", std::filesystem::perms::owner_all);
        std::filesystem::permissions(m_dir, std::filesystem::perms::all & ~std::filesystem::perms::group_write &
                                                ~std::filesystem::perms::others_write);
        Write("/cupsd.conf", "Listen " + m_dir + "/sock\nBrowsing Off\nDefaultAuthType None\n"
                             "<Location />\nOrder allow,deny\nAllow all\n</Location>\n<Policy nolist>\n"
                             "<Limit Get-Jobs>\nAuthType Default\nRequire user zns-nobody\n</Limit>\n<Limit All>\nOrder deny,allow\n</Limit>\n"
                             "</Policy>\n");
        const passwd* pw = ::geteuid() ? ::getpwuid(::geteuid()) : ::getpwnam("lp");  // never jobs as root
        const group* gr = pw ? ::getgrgid(pw->pw_gid) : nullptr;
        std::string files = "User " + std::string(pw ? pw->pw_name : "?") + "\nGroup " + (gr ? gr->gr_name : "?") +
                            "\nDataDir /usr/share/cups\nServerRoot " + m_dir + "\n";
        for (const char* key : {"StateDir state", "CacheDir cache", "RequestRoot spool", "TempDir spool/tmp",
                                "ErrorLog log/error_log", "ServerBin bin"})
            files += std::string(key).insert(std::string(key).find(' ') + 1, m_dir + "/") + "\n";
        Write("/cups-files.conf", files);
        const std::string queue = "DeviceURI zns-test:" + m_dir + "/out\nState Idle\n";
        Write("/printers.conf", "<DefaultPrinter zns_raw>\n" + queue + "Accepting Yes\n</DefaultPrinter>\n" +
                                    "<Printer zns_refuse>\n" + queue + "Accepting No\nStateMessage Bac 2 bloqu\xC3\xA9\n" +
                                    "</Printer>\n<Printer zns_stopped>\n" + queue + "State Stopped\nStateMessage Capot "
                                    "ouvert\n</Printer>\n<Printer B\xC3\xBCro>\n" + queue + "Accepting Yes\n</Printer>\n" +
                                    "<Printer zns_nolist>\n" + queue + "Accepting Yes\nOpPolicy nolist\n</Printer>\n");
        Write("/lpoptions", "Default zns_raw\nDest zns_raw/draft number-up=2\n");  // lpoptions -p ... -o number-up=2
        if ((m_pid = ::fork()) == 0) {
            ::execl(ZNS_CUPSD_EXE, "cupsd", "-f", "-c", (m_dir + "/cupsd.conf").c_str(), "-s",
                    (m_dir + "/cups-files.conf").c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        setenv("CUPS_SERVER", (m_dir + "/sock").c_str(), 1);
        setenv("CUPS_SERVERROOT", m_dir.c_str(), 1);  // its lpoptions
        unsetenv("PRINTER"), unsetenv("LPDEST");  // the server's default queue, not the user's
        for (int i = 0; i < 300; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            if (std::filesystem::exists(m_dir + "/sock")) return {};
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) return m_pid = -1, "cupsd ended: " + Log();
        }
        return "cupsd does not serve: " + Log();
    }

    // The jobs the device got, by id, once `count` are there (waited for a generous while).
    std::map<int, std::string> Jobs(size_t count) const {
        std::map<int, std::string> jobs;
        for (int i = 0; i < 600 && jobs.size() < count; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
            for (const auto& e : std::filesystem::directory_iterator(m_dir + "/out"))
                if (e.path().extension().empty()) jobs[std::stoi(e.path().filename().string().substr(4))] = Read(e.path());
        return jobs;
    }

    std::string Options(int job) const { return Read(m_dir + "/out/job-" + std::to_string(job) + ".opts"); }
    std::string Log() const { return Read(m_dir + "/log/error_log"); }
    // The server stopped (connections wait unanswered) and going on again.
    void Pause(bool on) const { ::kill(m_pid, on ? SIGSTOP : SIGCONT); }

private:
    void Write(const std::string& name, const std::string& text) const { std::ofstream(m_dir + name) << text; }
    static std::string Read(const std::filesystem::path& p) {
        std::ostringstream s;
        s << std::ifstream(p, std::ios::binary).rdbuf();
        return s.str();
    }

    std::string m_dir;
    pid_t m_pid = -1;
};

}  // namespace testsupport
