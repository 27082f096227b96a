#pragma once
// The running system's name, for the About box.
#include <string>

struct OsNameInfo {
    std::string name;
    // Set on systems whose menu must not be loaded afresh on a language change.
    // None of the systems the program runs on needs that.
    bool keepMenu = false;
};

// "PRETTY_NAME" of the os-release file when there is one, else the kernel's
// name and release ("Linux 6.1.0"); empty when neither can be had.
OsNameInfo GetOSName();

namespace zns {
// The name from the text of an os-release file (PRETTY_NAME, else NAME with
// VERSION); empty when it holds neither.
std::string OsNameFromOsRelease(const std::string& text);
// GetOSName reading the os-release files given (first that opens wins).
OsNameInfo GetOSNameFrom(const char* const* osReleasePaths, int count);
}  // namespace zns
