#include "platform/FileSync.h"

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

namespace detail {
void SetSyncHook(int (*hook)(int fd)) { g_syncHook.store(hook); }
}  // namespace detail

}  // namespace zns
