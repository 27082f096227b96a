#include "platform/Registry.h"

#include <cstdio>

#include "platform/IniFile.h"
#include "platform/NumText.h"
#include "platform/Paths.h"

namespace zns {

namespace {

constexpr const char* kDwordTag = "dword:";

std::optional<std::string> RawValue(const std::string& path, const std::string& key, const std::string& name) {
    return IniFind(path, key, name);
}

}  // namespace

std::string Registry::DefaultPath() { return UserConfigDir() + "/zns/registry.ini"; }

bool Registry::EnsureFolder() const {
    std::string dir = DirPart(m_path);
    return dir.empty() || MakeDirs(dir);
}

bool Registry::KeyExists(const std::string& keyPath) const { return IniHasSection(m_path, keyPath); }

bool Registry::CreateKey(const std::string& keyPath) {
    return EnsureFolder() && IniEnsureSection(m_path, keyPath);
}

bool Registry::DeleteKey(const std::string& keyPath) { return IniDeleteSection(m_path, keyPath); }

bool Registry::SetString(const std::string& keyPath, const std::string& name, const std::string& value) {
    return EnsureFolder() && IniWriteString(m_path, keyPath, name, value);
}

bool Registry::SetDword(const std::string& keyPath, const std::string& name, uint32_t value) {
    return EnsureFolder() && IniWriteString(m_path, keyPath, name, Format("%s%08x", kDwordTag, value));
}

bool Registry::DeleteValue(const std::string& keyPath, const std::string& name) {
    return IniDeleteKey(m_path, keyPath, name);
}

std::optional<std::string> Registry::QueryString(const std::string& keyPath, const std::string& name) const {
    return RawValue(m_path, keyPath, name);
}

std::optional<uint32_t> Registry::QueryDword(const std::string& keyPath, const std::string& name) const {
    std::optional<std::string> v = RawValue(m_path, keyPath, name);
    const std::string tag = kDwordTag;
    if (!v || v->size() != tag.size() + 8 || v->compare(0, tag.size(), tag) != 0) return std::nullopt;
    uint32_t out = 0;
    for (size_t i = tag.size(); i < v->size(); ++i) {
        char c = (*v)[i];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return std::nullopt;
        out = (out << 4) | static_cast<uint32_t>(d);
    }
    return out;
}

}  // namespace zns
