#pragma once
// Saves of the program's own files (configuration, sonde file, window layout,
// header keys) that did not reach their file are told to the operator once per
// file, and again only after a save of that file has worked in between, so a
// dialog's keys or a running log's header give one box, not a storm.
#include <functional>
#include <string>

namespace zns {

// Any thread. `err` is the errno of a failed save. A save that found the file
// already holding its bytes is no news either way: it is not noted.
void NoteSave(const std::string& path, bool ok, int err);
// A failure of `path` told in the caller's own words (still once per file).
void NoteSaveFailure(const std::string& path, const std::string& text);
// "The file <path> could not be saved: <reason>. It keeps its last saved content."
std::string SaveFailureText(const std::string& path, int err);

// True while the last save noted for `path` failed: a box posted for it and
// shown only after a later save worked would tell what is no longer so.
bool SaveFailureStands(const std::string& path);

// Where failures are told; called on the thread of the failed save, so it must
// not block (the program posts a box to the GUI thread). None: nothing is told.
using SaveFailureHandler = std::function<void(const std::string& path, const std::string& text)>;
void SetSaveFailureHandler(SaveFailureHandler handler);

}  // namespace zns
