#include "app/OsName.h"

#include <sys/utsname.h>

#include <fstream>
#include <sstream>

namespace zns {

namespace {

// Value of a KEY=value line, quotes and shell escapes of the format removed.
std::string OsReleaseValue(std::string v) {
    while (!v.empty() && (v.back() == '\r' || v.back() == ' ' || v.back() == '\t')) v.pop_back();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        const char q = v.front();
        v = v.substr(1, v.size() - 2);
        if (q == '"') {
            std::string out;
            for (size_t i = 0; i < v.size(); ++i) {
                if (v[i] == '\\' && i + 1 < v.size()) ++i;
                out += v[i];
            }
            v = out;
        }
    }
    return v;
}

}  // namespace

std::string OsNameFromOsRelease(const std::string& text) {
    std::istringstream in(text);
    std::string line, pretty, name, version;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos || line.empty() || line[0] == '#') continue;
        const std::string key = line.substr(0, eq);
        const std::string value = OsReleaseValue(line.substr(eq + 1));
        if (key == "PRETTY_NAME" && pretty.empty()) pretty = value;
        else if (key == "NAME" && name.empty()) name = value;
        else if (key == "VERSION" && version.empty()) version = value;
    }
    if (!pretty.empty()) return pretty;
    if (name.empty()) return {};
    return version.empty() ? name : name + " " + version;
}

OsNameInfo GetOSNameFrom(const char* const* osReleasePaths, int count) {
    OsNameInfo info;
    for (int i = 0; i < count && info.name.empty(); ++i) {
        std::ifstream f(osReleasePaths[i], std::ios::binary);
        if (!f) continue;
        std::ostringstream s;
        s << f.rdbuf();
        info.name = OsNameFromOsRelease(s.str());
    }
    if (info.name.empty()) {
        struct utsname u {};
        if (uname(&u) == 0) {
            info.name = u.sysname;
            if (u.release[0] != '\0') info.name += std::string(" ") + u.release;
        }
    }
    return info;
}

}  // namespace zns

OsNameInfo GetOSName() {
    static const char* const kPaths[] = {"/etc/os-release", "/usr/lib/os-release"};
    return zns::GetOSNameFrom(kPaths, 2);
}
