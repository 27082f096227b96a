#pragma once
// Saves of the program's own files (configuration, sonde file, window layout,
// header keys) that did not reach their file are told to the operator once per
// file, and again only once the file has held what the program holds since:
// every key that failed to reach it has been saved since (or the whole file
// has), so a dialog's keys or a running log's header give one box, not a storm.
#include <functional>
#include <string>
#include <vector>

#include "platform/FileReplace.h"
#include "platform/IniFile.h"

namespace zns {

// Any thread. A save of `path` that wrote the ini `keys` (nullptr: the whole
// file). A failure is told unless one of that file stands told. True when this
// save ended a failure that stood.
bool NoteSave(const std::string& path, const ReplaceResult& result, const std::vector<IniEdit>* keys = nullptr);
// In the caller's own words, whatever was told before: a failure (that then
// stands) or the good news of a file whose failure was told.
void TellSave(const std::string& path, const std::string& text, bool failed,
              const std::vector<IniEdit>* keys = nullptr);
// "The file <path> could not be saved: <reason>. It keeps its last saved content."
std::string SaveFailureText(const std::string& path, int err);

// True while a failure told of `path` stands: a box posted for it and shown
// only after a later save worked would tell what is no longer so.
bool SaveFailureStands(const std::string& path);

// Where saves are told; called on the thread of the save, so it must not block
// (the program posts a box to the GUI thread). None: nothing is told.
using SaveFailureHandler = std::function<void(const std::string& path, const std::string& text, bool failed)>;
void SetSaveFailureHandler(SaveFailureHandler handler);

}  // namespace zns
