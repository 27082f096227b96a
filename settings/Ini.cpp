#include "settings/Ini.h"

#include <cfloat>
#include <cstring>

#include "platform/IniFile.h"
#include "platform/NumText.h"
#include "platform/Paths.h"
#include "settings/SaveReport.h"

namespace {

// A value is a C string to its readers: anything after a zero byte is not part of it.
std::string UpToZero(const std::string& s) {
    size_t z = s.find('\0');
    return z == std::string::npos ? s : s.substr(0, z);
}

bool EqualsNoCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
        char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

bool HasDrive(const std::string& p) {
    return p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

}  // namespace

CIni::CIni(BOOL bFromModule) : m_bFromModule(bFromModule) {
    m_strPathName = GetDefaultPath(bFromModule);
    m_strSection = GetDefaultSection();
}

CIni::CIni(const std::string& pathName, BOOL bFromModule) : m_bFromModule(bFromModule) {
    m_strPathName = MakeFullPath(pathName.empty() ? GetDefaultPath(bFromModule) : pathName, bFromModule);
    m_strSection = GetDefaultSection();
}

CIni::CIni(const std::string& pathName, const std::string& section, BOOL bFromModule)
    : m_bFromModule(bFromModule) {
    m_strPathName = MakeFullPath(pathName.empty() ? GetDefaultPath(bFromModule) : pathName, bFromModule);
    m_strSection = section.empty() ? GetDefaultSection() : section;
}

CIni::~CIni() { CommitBatch(); }

void CIni::SetPathName(const std::string& pathName) { m_strPathName = MakeFullPath(pathName, TRUE); }

std::string CIni::GetDefaultSection() { return zns::ApplicationName(); }

std::string CIni::GetDefaultPath(BOOL bFromModule) {
    const std::string name = zns::FileTitle(zns::ExecutablePath()) + ".ini";
    if (bFromModule) return zns::JoinPath(zns::ProgramDir(), name);
    std::string dir = zns::CurrentDir();
    while (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    return dir + "/" + name;
}

std::string CIni::MakeFullPath(const std::string& path, BOOL bFromModule) {
    const std::string p = zns::ToSlashes(path);
    // A drive path (c:\temp\x.ini in a carried-over file) means nothing here:
    // it maps into the program's directory, as the Windows defaults do.
    if (HasDrive(p)) {
        const size_t rest = p.find_first_not_of('/', 2);
        return zns::ProgramDir() + (rest == std::string::npos ? std::string() : p.substr(rest));
    }
    if (!p.empty() && p.front() == '/') return p;
    if (zns::PathExists(p)) return p;
    std::string base;
    if (bFromModule) {
        base = zns::ProgramDir();
    } else {
        base = zns::CurrentDir();
        while (!base.empty() && base.back() == '/') base.pop_back();
        base += '/';
    }
    return base + p;
}

void CIni::TakeSection(const char* section) {
    if (section) m_strSection = std::string(section);
}

// ---- writers

namespace {
// The file's keys written once; told through the save report.
bool Save(const std::string& path, const std::vector<zns::IniEdit>& edits) {
    const zns::ReplaceResult r = zns::IniWriteBatch(path, edits);
    zns::NoteSave(path, r, &edits);
    return static_cast<bool>(r);
}
}  // namespace

bool CIni::WriteString(const std::string& key, const std::string& value, const char* section) {
    TakeSection(section);
    if (!m_bBatch) return Save(m_strPathName, {zns::IniEdit{m_strSection, key, value}});
    m_batch.emplace_back(m_strPathName, zns::IniEdit{m_strSection, key, value});
    return true;
}

bool CIni::CommitBatch() {
    // Each file once, its keys in the order they were written.
    std::vector<std::pair<std::string, zns::IniEdit>> pending;
    pending.swap(m_batch);
    std::vector<bool> done(pending.size(), false);
    bool ok = true;
    for (size_t i = 0; i < pending.size(); ++i) {
        if (done[i]) continue;
        std::vector<zns::IniEdit> edits;
        for (size_t j = i; j < pending.size(); ++j) {
            if (done[j] || pending[j].first != pending[i].first) continue;
            edits.push_back(std::move(pending[j].second));
            done[j] = true;
        }
        ok = Save(pending[i].first, edits) && ok;
    }
    return ok;
}
bool CIni::EndBatch() {
    m_bBatch = false;
    return CommitBatch();
}

bool CIni::WriteInt(const std::string& key, int value, const char* section) {
    return WriteString(key, zns::Format("%d", value), section);
}

bool CIni::WriteFloat(const std::string& key, float value, const char* section) {
    return WriteString(key, zns::Format("%g", static_cast<double>(value)), section);
}

bool CIni::WriteBool(const std::string& key, BOOL value, const char* section) {
    return WriteString(key, value ? "yes" : "no", section);
}

// ---- readers

std::string CIni::GetString(const std::string& key, const char* def, const char* section) {
    if (m_bBatch) EndBatch();
    TakeSection(section);
    return UpToZero(zns::IniGetString(m_strPathName, m_strSection, key, def ? def : ""));
}

std::string CIni::GetString(const std::string& key, const std::string& def, const char* section) {
    return GetString(key, def.c_str(), section);
}

const char* CIni::GetStringBuffer(const std::string& key, const char* section, const char* def) {
    if (m_bBatch) EndBatch();
    TakeSection(section);
    const std::string v = zns::IniGetString(m_strPathName, m_strSection, key, def ? def : "");
    const size_t n = v.size() < sizeof m_szLastValue - 1 ? v.size() : sizeof m_szLastValue - 1;
    std::memcpy(m_szLastValue, v.data(), n);
    m_szLastValue[n] = '\0';
    return m_szLastValue;
}

std::string CIni::GetBufferedString(const std::string& key, const char* def, const char* section) {
    return std::string(GetStringBuffer(key, section, def));
}

std::string CIni::GetBufferedString(const std::string& key, const std::string& def, const char* section) {
    return GetBufferedString(key, def.c_str(), section);
}

int CIni::GetInt(const std::string& key, int def, const char* section) {
    return zns::ParseInt(GetStringBuffer(key, section, zns::Format("%d", def).c_str()));
}

float CIni::GetFloat(const std::string& key, float def, const char* section) {
    double v = zns::ParseDoubleDot(GetStringBuffer(key, section, zns::Format("%g", static_cast<double>(def)).c_str()));
    // A stored value beyond the float range must not overflow the conversion.
    if (v > FLT_MAX) v = FLT_MAX;
    if (v < -FLT_MAX) v = -FLT_MAX;
    return static_cast<float>(v);
}

double CIni::GetDouble(const std::string& key, double def, const char* section) {
    std::string text = GetStringBuffer(key, section, zns::Format("%g", def).c_str());
    // Read once with every mark as '.', once with every mark as ','; with a
    // '.'-only conversion the first gives the full value and the second stops at
    // the mark, so the larger of the two is the value for positive numbers.
    for (char& c : text)
        if (c == ',') c = '.';
    const double a = zns::ParseDoubleDot(text);
    for (char& c : text)
        if (c == '.') c = ',';
    const double b = zns::ParseDoubleDot(text);
    if (a < 0) return a;
    if (b < 0) return b;
    return a >= b ? a : b;
}

BOOL CIni::GetBool(const std::string& key, BOOL def, const char* section) {
    const char* text = GetStringBuffer(key, section, def ? "yes" : "no");
    if (EqualsNoCase(text, "yes")) return TRUE;
    if (EqualsNoCase(text, "no")) return FALSE;
    return zns::ParseInt(text) == 1 ? TRUE : FALSE;
}

// ---- section-first forms

std::string CIni::GetStringInSection(const std::string& section, const std::string& key, const std::string& def) {
    return GetBufferedString(key, def, section.c_str());
}

std::string CIni::ReadStringInSection(const std::string& section, const std::string& key, const std::string& def) {
    return GetString(key, def, section.c_str());
}

double CIni::GetDoubleInSection(const std::string& section, const std::string& key, double def) {
    return GetDouble(key, def, section.c_str());
}

float CIni::GetFloatInSection(const std::string& section, const std::string& key, float def) {
    return GetFloat(key, def, section.c_str());
}

int CIni::GetIntInSection(const std::string& section, const std::string& key, int def) {
    return GetInt(key, def, section.c_str());
}

BOOL CIni::GetBoolInSection(const std::string& section, const std::string& key, BOOL def) {
    return GetBool(key, def, section.c_str());
}

bool CIni::WriteStringInSection(const std::string& section, const std::string& key, const std::string& value) {
    return WriteString(key, value, section.c_str());
}

bool CIni::WriteIntInSection(const std::string& section, const std::string& key, int value) {
    return WriteInt(key, value, section.c_str());
}

bool CIni::WriteBoolInSection(const std::string& section, const std::string& key, BOOL value) {
    return WriteBool(key, value, section.c_str());
}
