#include "platform/FileReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>

#include "platform/NumText.h"

namespace zns {

namespace {

std::atomic<int (*)(int)> g_syncHook{nullptr};
std::atomic<void (*)()> g_beforeRename{nullptr};
std::atomic<int> g_noLink{0}, g_noExclusiveRename{0};  // errnos standing in for a file system without them
std::mutex g_mutex;               // the two sets below
std::set<std::string> g_writing;  // names of the temporary files being written
std::set<std::string> g_swept;    // folders swept this run

int Err() { return errno ? errno : EIO; }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The pid in a temporary file's name, -1 when the name is not one.
long long TempOwner(std::string_view name) {
    const size_t dot = name.size() - 17;  // ".<16 hex>" ends it
    if (name.size() < 24 || name[0] != '.' || name[dot] != '.' ||
        name.substr(dot + 1).find_first_not_of("0123456789abcdef") != std::string_view::npos)
        return -1;
    const size_t tmp = name.rfind(".tmp", dot);
    const std::string_view pid = tmp == std::string_view::npos || tmp < 2 ? "" : name.substr(tmp + 4, dot - tmp - 4);
    if (pid.empty() || pid.size() > 10 || pid.find_first_not_of("0123456789") != std::string_view::npos) return -1;
    return std::atoll(std::string(pid).c_str());
}

// Caller holds g_mutex, so that no temporary of ours appears meanwhile.
void SweepLocked(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const time_t now = ::time(nullptr);
    while (const struct dirent* e = ::readdir(dir)) {
        const long long pid = TempOwner(e->d_name);
        const std::string file = folder + "/" + e->d_name;
        struct stat st;
        if (pid < 0 || g_writing.count(e->d_name) || ::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const bool alive = pid <= INT_MAX && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
        if (pid == ::getpid() || !alive || now - st.st_mtim.tv_sec > 3600) ::unlink(file.c_str());
    }
    ::closedir(dir);
}

int SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Err();
    const int err = SyncFile(fd) == 0 || errno == EINVAL ? 0 : Err();  // EINVAL: a folder it cannot sync
    ::close(fd);
    return err;
}

// Errors of a link() this file system cannot make (FAT; FUSE mounts whose
// file system has no link; EOPNOTSUPP is ENOTSUP here), not of this link.
bool NoLinksHere(int err) { return err == EPERM || err == EOPNOTSUPP || err == ENOSYS; }
// Errors of a renameat2() whose RENAME_NOREPLACE the file system (FUSE, NFS,
// CIFS) or the kernel lacks.
bool NoExclusiveRenameHere(int err) { return err == EINVAL || err == EOPNOTSUPP || err == ENOSYS; }

int Link(const std::string& from, const std::string& to) {
    if (const int err = g_noLink.load()) return errno = err, -1;
    return ::link(from.c_str(), to.c_str());
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (const int err = g_noExclusiveRename.load()) return errno = err, -1;
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& path, Mode how) : m_target(path) {
    // The file behind a symbolic link is the one to replace, not the link.
    struct stat st;
    if (how == Replace && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) m_target = real, std::free(real);
    }
    const bool exists = how == Replace && ::stat(m_target.c_str(), &st) == 0;
    // A file the user may not write stays as it is, although the rename would be allowed.
    if (m_target.empty() || (exists && ::access(m_target.c_str(), W_OK) != 0)) {
        m_err = m_target.empty() ? EINVAL : Err();
        return;
    }
    const mode_t mode = exists ? st.st_mode & 07777 : 0666;
    const std::string folder = FolderOf(m_target);
    const std::string prefix = "." + NameOf(m_target) + ".tmp" + std::to_string(::getpid());
    int fd = -1;
    {
        std::lock_guard<std::mutex> g(g_mutex);
        if (g_swept.insert(folder).second) SweepLocked(folder);
        static std::mt19937_64 rng{std::random_device{}() ^ (static_cast<uint64_t>(::getpid()) << 32)};
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            const std::string name = prefix + Format(".%016llx", static_cast<unsigned long long>(rng()));
            fd = ::open((folder + "/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd >= 0) m_temp = folder + "/" + *g_writing.insert(name).first;
            if (fd < 0 && errno != EEXIST) break;
        }
        m_err = fd < 0 ? Err() : 0;
    }
    // The old file's mode, whatever the umask took off the new one.
    if (fd < 0 || ((!exists || ::fchmod(fd, mode) == 0 || errno == EPERM) && (m_file = ::fdopen(fd, "w+b")))) return;
    m_err = Err();
    ::close(fd);
    Commit();  // removes the temporary
}

ReplacingFile::~ReplacingFile() {
    if (!m_file && m_temp.empty()) return;
    m_err = m_err ? m_err : ECANCELED;
    Commit();
}

int ReplacingFile::Finish() {
    int err = m_err;
    if (m_file) {
        if (!err && (std::fflush(m_file) != 0 || std::ferror(m_file) || SyncFile(::fileno(m_file)) != 0)) err = Err();
        if (std::fclose(m_file) != 0 && !err) err = Err();
        m_file = nullptr;
    }
    if (auto hook = g_beforeRename.load(); hook && !err && !m_temp.empty()) hook();
    return err;
}

void ReplacingFile::Forget() {
    std::lock_guard<std::mutex> g(g_mutex);
    g_writing.erase(NameOf(m_temp));
    m_temp.clear();
}

ReplaceResult ReplacingFile::Commit() {
    int err = Finish();
    if (!m_temp.empty()) {
        if (!err && ::rename(m_temp.c_str(), m_target.c_str()) != 0) err = Err();
        if (err) ::unlink(m_temp.c_str());
        Forget();
        if (!err) err = SyncFolder(FolderOf(m_target));
    }
    m_err = err ? err : ECANCELED;  // nothing left to commit
    return {err ? ReplaceResult::Failed : ReplaceResult::Replaced, err};
}

ReplaceResult ReplacingFile::CommitNew(const std::function<std::string(int copy)>& nameFor, std::string& placed) {
    int err = Finish();
    placed.clear();
    if (!m_temp.empty()) {
        // A second name for the whole file; where there are no hard links, a
        // rename that refuses to replace; where there is neither, the name is
        // reserved by an exclusive create and the page renamed over that
        // reservation only (a crash in between leaves it empty, never a part
        // of a page). Each way is left only when the file system lacks it.
        enum { kLink, kExclusiveRename, kReserve } way = kLink;
        bool linked = false;
        for (int copy = 1; !err && placed.empty();) {
            const std::string name = nameFor(copy);
            int taken = 0;  // the way's error for this name
            if (way == kLink) {
                taken = Link(m_temp, name) == 0 ? 0 : Err();
                linked = taken == 0;
            } else if (way == kExclusiveRename) {
                taken = RenameNoReplace(m_temp, name) == 0 ? 0 : Err();
            } else if (const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600); fd < 0) {
                taken = Err();
            } else {
                ::close(fd);
                if (::rename(m_temp.c_str(), name.c_str()) != 0) {
                    err = Err();
                    ::unlink(name.c_str());  // our reservation
                    break;
                }
            }
            if (taken == 0) {
                placed = name;
            } else if (taken == EEXIST) {
                if (++copy > 10000) err = EEXIST;
            } else if (way == kLink && NoLinksHere(taken)) {
                way = kExclusiveRename;
            } else if (way == kExclusiveRename && NoExclusiveRenameHere(taken)) {
                way = kReserve;
            } else {
                err = taken;
            }
        }
        if (err || linked) ::unlink(m_temp.c_str());
        Forget();
        if (!err) err = SyncFolder(FolderOf(m_target));
    }
    m_err = err ? err : ECANCELED;
    return {err ? ReplaceResult::Failed : ReplaceResult::Replaced, err};
}

ReplaceResult ReplaceFile(const std::string& path, std::string_view bytes, const std::string* current) {
    if (current && *current == bytes) return {ReplaceResult::Unchanged, 0};
    ReplacingFile f(path);
    if (f.File()) std::fwrite(bytes.data(), 1, bytes.size(), f.File());  // a short write leaves the error flag
    return f.Commit();
}

void SweepLeftovers(const std::string& folder) {
    std::string f = folder.empty() ? "." : folder;
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    std::lock_guard<std::mutex> g(g_mutex);
    g_swept.insert(f);
    SweepLocked(f);
}

int SyncFile(int fd) {
    if (auto hook = g_syncHook.load()) return hook(fd);
    return ::fsync(fd);
}

void StartWriteback(int fd) {
    if (!g_syncHook.load()) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

namespace detail {
void SetSyncHook(int (*hook)(int fd)) { g_syncHook.store(hook); }
void SetBeforeRenameHook(void (*hook)()) { g_beforeRename.store(hook); }
void SetNoLinksHook(int linkErr, int exclusiveRenameErr) {
    g_noLink.store(linkErr);
    g_noExclusiveRename.store(exclusiveRenameErr);
}
}  // namespace detail

}  // namespace zns
