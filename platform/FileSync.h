#pragma once
// Every durable replace of a file syncs it through here, so that a benchmark can
// stand in a slow disk.

namespace zns {

// fsync of an open file; 0 on success, as fsync.
int SyncFile(int fd);
// Starts writing out what the file holds so far without waiting for it, so
// that the SyncFile of a large file finds little left to do.
void StartWriteback(int fd);

namespace detail {
// Tests and benchmarks only: called instead of the real sync (nullptr restores it).
void SetSyncHook(int (*hook)(int fd));
}  // namespace detail

}  // namespace zns
