#pragma once
// Windows-1252 bytes (the text of every file and of the core) <-> UTF-8 (what
// Qt and the terminal take). Our own table, independent of iconv and locales.
#include <string>
#include <string_view>

namespace zns {

// Every byte maps; the five bytes 1252 leaves undefined (0x81 0x8D 0x8F 0x90
// 0x9D) map to the C1 controls of the same value, so a round trip is lossless.
std::string FromCp1252(std::string_view bytes);
// Characters without a 1252 byte, and malformed UTF-8, become '?'.
std::string ToCp1252(std::string_view utf8);
// The C library's words for an errno value: in the user's locale, so UTF-8
// there is turned into 1252 here.
std::string SystemErrorText(int err);

}  // namespace zns
