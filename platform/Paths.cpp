#include "platform/Paths.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace zns {

namespace {

std::mutex g_nameLock;
std::string g_appName;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

}  // namespace

std::string ExecutablePath() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

std::string ProgramDir() {
    std::string dir = Env("ZNS_HOME");
    if (dir.empty()) dir = DirPart(ExecutablePath());
    if (dir.empty()) dir = CurrentDir();
    dir = ToSlashes(dir);
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

void AnchorProgramDir() {
    const std::string dir = ToSlashes(Env("ZNS_HOME"));
    if (dir.empty() || dir.front() == '/') return;
    std::error_code ec;
    const std::filesystem::path abs = std::filesystem::absolute(dir, ec);
    if (!ec) ::setenv("ZNS_HOME", abs.lexically_normal().string().c_str(), 1);
}

std::string ApplicationName() {
    {
        std::lock_guard<std::mutex> lock(g_nameLock);
        if (!g_appName.empty()) return g_appName;
    }
    return FileTitle(ExecutablePath());
}

void SetApplicationName(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_nameLock);
    g_appName = name;
}

std::string ToSlashes(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

std::string JoinPath(const std::string& dir, const std::string& rel) {
    std::string d = ToSlashes(dir), r = ToSlashes(rel);
    if (d.empty() || (!r.empty() && r.front() == '/')) return r;
    if (r.empty()) return d;
    if (d.back() != '/') d += '/';
    size_t skip = 0;
    while (skip < r.size() && r[skip] == '/') ++skip;
    return d + r.substr(skip);
}

std::string DirPart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FilePart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FileTitle(const std::string& path) {
    std::string name = FilePart(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string CurrentDir() {
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) return ".";
    return std::string(buf);
}

bool PathExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirs(const std::string& path) {
    std::string p = ToSlashes(path);
    if (p.empty()) return false;
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i < p.size() && p[i] != '/') continue;
        std::string part = p.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return DirExists(p);
}

int64_t FileSize(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0) return true;
    return errno == ENOENT;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string UserConfigDir() {
    std::string xdg = Env("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/') {
        while (xdg.size() > 1 && xdg.back() == '/') xdg.pop_back();
        return xdg;
    }
    std::string home = Env("HOME");
    if (home.empty()) {
        struct passwd pw;
        struct passwd* found = nullptr;
        char buf[4096];
        if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
            home = found->pw_dir;
    }
    if (home.empty()) home = "/tmp";
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home + "/.config";
}

}  // namespace zns
