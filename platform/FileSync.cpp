#include "platform/FileSync.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace zns {

namespace {
std::atomic<int (*)(int)> g_syncHook{nullptr};
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
}  // namespace detail

}  // namespace zns
