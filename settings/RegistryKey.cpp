#include "settings/RegistryKey.h"

namespace {

std::string TrimUpper(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    std::string out = s.substr(b, e - b);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

}  // namespace

CRegistryKey::CRegistryKey(const std::string& storePath)
    : m_store(storePath.empty() ? zns::Registry::DefaultPath() : storePath) {}

CRegistryKey::~CRegistryKey() { Close(); }

void CRegistryKey::SetStorePath(const std::string& storePath) {
    Close();
    m_store = zns::Registry(storePath.empty() ? zns::Registry::DefaultPath() : storePath);
}

BOOL CRegistryKey::Open(RegistryRoot, const std::string& subKey) {
    Close();
    if (!m_store.KeyExists(subKey)) return FALSE;
    m_hKey = subKey;
    return TRUE;
}

BOOL CRegistryKey::Create(RegistryRoot, const std::string& subKey) {
    Close();
    if (!m_store.CreateKey(subKey)) return FALSE;
    m_hKey = subKey;
    return TRUE;
}

void CRegistryKey::Close() { m_hKey.reset(); }

BOOL CRegistryKey::SetString(const std::string& text, const std::string& valueName) {
    if (!m_hKey) return FALSE;
    return m_store.SetString(*m_hKey, valueName, text) ? TRUE : FALSE;
}

BOOL CRegistryKey::SetBool(BOOL flag, const std::string& valueName) {
    return SetString(flag ? "true" : "false", valueName);
}

BOOL CRegistryKey::QueryString(const std::string& valueName, std::string& out) {
    out.clear();
    if (!m_hKey) return FALSE;
    std::optional<std::string> v = m_store.QueryString(*m_hKey, valueName);
    if (!v) return FALSE;
    const size_t z = v->find('\0');
    out = z == std::string::npos ? *v : v->substr(0, z);
    return TRUE;
}

void CRegistryKey::GetBool(uint8_t& out, const std::string& valueName, BOOL def) {
    std::string text;
    if (QueryString(valueName, text)) out = TrimUpper(text) == "TRUE" ? 1 : 0;
    else out = def ? 1 : 0;
}
