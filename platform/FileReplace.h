#pragma once
// The one way the program replaces a file (settings, sonde file, window layout,
// header, exports): the new content goes to a temporary file beside the old
// one, under a name no leftover can hold (".<name>.tmp<pid>.<16 hex>"), is
// synced, renamed over the old file, and the folder is synced so that the
// rename outlives a power cut. Until the rename the old file is untouched; a
// failure before it removes the temporary. A file behind a symbolic link is
// replaced, not the link; a file the user may not write is not replaced.
//
// Every sync goes through SyncFile, so that a benchmark can stand in a slow
// disk and a test a failing one.
#include <cstdio>
#include <string>
#include <string_view>

namespace zns {

struct ReplaceResult {
    enum Outcome { Replaced, Unchanged, Failed };
    Outcome outcome = Failed;
    int err = 0;  // errno of a failure
    explicit operator bool() const { return outcome != Failed; }
};

// A replacement being written: the content goes into File() (read and write,
// so that a writer may go back over it), Commit puts it in place. Destroyed
// uncommitted, it leaves the old file as it was and no temporary behind.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Null when the temporary could not be made (Commit tells why).
    std::FILE* File() const { return m_file; }
    // Flush, sync, rename, sync of the folder. Failed after the rename only
    // when the folder could not be synced (the file then holds the new content).
    ReplaceResult Commit();

private:
    std::string m_target, m_temp;
    std::FILE* m_file = nullptr;
    int m_err = 0;
};

// Replaces `path` with `bytes`; Unchanged, with nothing written, when
// `current` (what the caller knows the file to hold) is given and equal.
ReplaceResult ReplaceFile(const std::string& path, std::string_view bytes, const std::string* current = nullptr);

// Removes what killed replaces left in `folder`: temporary files of this
// process that no replace is writing, of processes that are gone, and any
// older than an hour. A live process's fresh one is its replace in progress
// and stays. Each folder is swept on its first replace of a run, and by the
// callers that know a folder may hold leftovers (a new log, an export).
void SweepLeftovers(const std::string& folder);

// fsync of an open file; 0 on success, as fsync.
int SyncFile(int fd);
// Starts writing out what the file holds so far without waiting for it, so
// that the SyncFile of a large file finds little left to do.
void StartWriteback(int fd);

namespace detail {
// Tests and benchmarks only: called instead of the real sync (nullptr restores it).
void SetSyncHook(int (*hook)(int fd));
// Tests only: called when the temporary file is complete, before the rename.
void SetBeforeRenameHook(void (*hook)());
}  // namespace detail

}  // namespace zns
