#pragma once
// Where the program's files live, and the small file-system helpers around it.
#include <cstdint>
#include <string>

namespace zns {

// The program's directory, always ending in '/': $ZNS_HOME when set and not
// empty, else the folder of the running executable. Read at every call.
std::string ProgramDir();
// Makes a relative $ZNS_HOME absolute against the current folder. Called once
// at start, before any thread: a path built on ProgramDir() is then never taken
// as relative to it again, and a later change of folder moves nothing.
void AnchorProgramDir();
// Full path of the running executable (empty when it cannot be found).
std::string ExecutablePath();
// The application's name: set by SetApplicationName, else the executable's
// file name without extension.
std::string ApplicationName();
void SetApplicationName(const std::string& name);

// A path written with '\' separators (as stored files and defaults spell them)
// turned into one with '/'.
std::string ToSlashes(std::string path);
// `rel` appended to `dir` with one '/' between them; `rel` absolute is returned
// as it is. Both are passed through ToSlashes.
std::string JoinPath(const std::string& dir, const std::string& rel);
// Folder part with its trailing '/' ("" for a bare name); file part; file part
// without its last extension.
std::string DirPart(const std::string& path);
std::string FilePart(const std::string& path);
std::string FileTitle(const std::string& path);
std::string CurrentDir();  // without trailing '/'

bool PathExists(const std::string& path);  // file or folder
bool FileExists(const std::string& path);  // regular file
bool DirExists(const std::string& path);
// Creates the folder and its missing parents; true when it exists afterwards.
bool MakeDirs(const std::string& path);
// Size in bytes, -1 when there is no such file.
int64_t FileSize(const std::string& path);
bool RemoveFile(const std::string& path);  // true when no file is left
// Two paths naming one file (another spelling, a link, or a letter case the
// file system does not tell apart). False when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else $HOME/.config (no trailing '/').
std::string UserConfigDir();

}  // namespace zns
