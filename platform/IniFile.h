#pragma once
// The profile engine: reads and writes INI text files the way the program has
// always expected them to behave.
//  - sections and keys compare without letter case; blanks around names and
//    values are ignored; the first matching key of the first matching section wins
//  - a section name runs from '[' to the LAST ']' of its line, so "[[stamp]]"
//    is the section "[stamp]"
//  - values read are cut at 255 characters (defaults too)
//  - a write creates the file, section and key as needed, replaces a value in
//    place and leaves every other line (comments, unknown lines) byte for byte
//  - lines are read with LF or CRLF and new lines written with CRLF; bytes are
//    passed through untouched (8-bit text); CR, LF and NUL inside a written
//    section, key or value become blanks so that it stays on one line
//  - all calls are serialised by one process-wide lock; a file is replaced
//    whole (platform/FileReplace.h), so a crash leaves either the old or the
//    new file, never a mix; a write that leaves the bytes as they are writes nothing
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/FileReplace.h"

namespace zns {

inline constexpr size_t kIniValueMax = 255;

// Value of key in section, or `def` when the file, section or key is missing.
std::string IniGetString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view def);
// Value of key in section, nullopt when the file, section or key is missing.
std::optional<std::string> IniFind(const std::string& path, std::string_view section, std::string_view key);
// Leading integer of the value (saturating), `def` when missing.
int IniGetInt(const std::string& path, std::string_view section, std::string_view key, int def);
// Writes key=value: Replaced, Unchanged (the file held it already) or Failed.
ReplaceResult IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                             std::string_view value);
// One key of a batch write.
struct IniEdit {
    std::string section, key, value;
};
// Applies the writes in order, as that many IniWriteString calls would, and
// replaces the file once: the same bytes for one temporary file, sync and rename.
ReplaceResult IniWriteBatch(const std::string& path, const std::vector<IniEdit>& edits);
// Removes every line of the key in the matching sections.
bool IniDeleteKey(const std::string& path, std::string_view section, std::string_view key);
// Removes every matching section with its lines.
bool IniDeleteSection(const std::string& path, std::string_view section);
// Adds an empty section when none matches.
bool IniEnsureSection(const std::string& path, std::string_view section);
bool IniHasSection(const std::string& path, std::string_view section);
// Section names in file order (duplicates listed once, first spelling).
std::vector<std::string> IniSectionNames(const std::string& path);
// Keys and values of the matching sections, first occurrence of each key.
std::vector<std::pair<std::string, std::string>> IniSectionEntries(const std::string& path,
                                                                   std::string_view section);
// Forgets cached file images (they are also checked against the file on every call).
void IniFlushCache();

// Windows-style entry points. GetPrivateProfileString copies at most size-1
// bytes and a terminating zero and returns the count copied. A NULL key in
// WritePrivateProfileString removes the section, a NULL value removes the key.
size_t GetPrivateProfileString(const char* section, const char* key, const char* def, char* buffer,
                               size_t size, const char* path);
int GetPrivateProfileInt(const char* section, const char* key, int def, const char* path);
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path);

}  // namespace zns
