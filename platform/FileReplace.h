#pragma once
// The one way the program replaces a file (settings, sonde file, layout, header,
// exports, reports): the content goes to a temporary file beside the old one,
// named so that no leftover can hold it (".<name>.tmp<pid>.<16 hex>"), is
// synced, renamed over the old file, and the folder is synced so that the
// rename outlives a power cut. Until the rename the old file is untouched; a
// failure removes the temporary. The file behind a symbolic link is replaced;
// a file the user may not write is not. Syncs go through SyncFile, so that a
// benchmark can stand in a slow disk and a test a failing one.
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace zns {

struct ReplaceResult {
    enum Outcome { Replaced, Unchanged, Failed };
    Outcome outcome = Failed;
    int err = 0;  // errno of a failure
    explicit operator bool() const { return outcome != Failed; }
};

// A replacement being written into File() (read and write, so that a writer
// may go back over it). Destroyed uncommitted, it leaves no trace.
class ReplacingFile {
public:
    // NewFile: the content becomes a file of its own beside `path` (CommitNew),
    // never replacing one, whatever `path` is now.
    enum Mode { Replace, NewFile };
    explicit ReplacingFile(const std::string& path, Mode mode = Replace);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    std::FILE* File() const { return m_file; }  // null when no temporary could be made
    // Failed after the rename only when the folder could not be synced.
    ReplaceResult Commit();
    // Puts the synced content in place under the first of nameFor(1), nameFor(2),
    // ... (names in the same folder) that is free, without replacing anything,
    // also where the file system has neither hard links nor an exclusive
    // rename; `placed` gets that name.
    ReplaceResult CommitNew(const std::function<std::string(int copy)>& nameFor, std::string& placed);

private:
    int Finish();  // flushes, syncs and closes the temporary; the first error
    void Forget();  // the temporary is gone or renamed

    std::string m_target, m_temp;
    std::FILE* m_file = nullptr;
    int m_err = 0;
};

// Unchanged, with nothing written, when `current` (what the caller knows the
// file holds) is given and equal.
ReplaceResult ReplaceFile(const std::string& path, std::string_view bytes, const std::string* current = nullptr);

// Removes the temporary files killed replaces left in `folder`: this process's
// that no replace is writing, those of processes that are gone, and any older
// than an hour; a live process's fresh one is its replace in progress. Only
// names this unit makes are touched: any other file is the user's, whatever
// it is called. A folder is swept at its first replace of a run, and when a
// new log or an export is written there.
void SweepLeftovers(const std::string& folder);

int SyncFile(int fd);  // fsync
// Starts writing out what the file holds so far, so that its sync finds little left to do.
void StartWriteback(int fd);

namespace detail {
// Tests and benchmarks only: called instead of fsync (nullptr restores it).
void SetSyncHook(int (*hook)(int fd));
// Tests only: called when the temporary file is complete, before the rename.
void SetBeforeRenameHook(void (*hook)());
// Tests only: link() and renameat2(RENAME_NOREPLACE) fail with these errors
// (0: the real calls), as on a file system without them.
void SetNoLinksHook(int linkErr, int exclusiveRenameErr);
}  // namespace detail

}  // namespace zns
