#pragma once
// Typed access to one INI file through the profile engine (platform/IniFile.h).
// The object keeps a current section that every call may replace, resolves
// relative file names against the program's directory and never holds the file
// open, so two objects on one file see each other's writes at once.
#include <string>
#include <utility>
#include <vector>

#include "platform/IniFile.h"
#include "platform/WinTypes.h"

class CIni {
public:
    // bFromModule: TRUE resolves a relative name that does not exist against the
    // program's directory, FALSE against the current directory.
    explicit CIni(BOOL bFromModule = TRUE);
    CIni(const std::string& pathName, BOOL bFromModule = TRUE);
    CIni(const std::string& pathName, const std::string& section, BOOL bFromModule = TRUE);
    virtual ~CIni();

    CIni(const CIni&) = default;
    CIni& operator=(const CIni&) = default;

    // Path and section.
    const std::string& GetPathName() const { return m_strPathName; }
    void SetPathName(const std::string& pathName);  // resolved against the program's directory
    void SetSection(const std::string& section) { m_strSection = section; }
    const std::string& GetSection() const { return m_strSection; }
    static std::string GetDefaultSection();
    static std::string GetDefaultPath(BOOL bFromModule);
    static std::string MakeFullPath(const std::string& path, BOOL bFromModule);

    // Writers: a section given becomes the current section and stays so. False
    // when the file could not be replaced (it keeps its last whole version); the
    // failure is told through zns::NoteSave (settings/SaveReport.h).
    bool WriteString(const std::string& key, const std::string& value, const char* section = nullptr);
    bool WriteInt(const std::string& key, int value, const char* section = nullptr);
    bool WriteFloat(const std::string& key, float value, const char* section = nullptr);
    bool WriteBool(const std::string& key, BOOL value, const char* section = nullptr);

    // Batch: from BeginBatch the writers only collect their keys; EndBatch writes
    // each file touched once (one temporary file, one sync, one rename), with the
    // bytes the single writes would have left. A reader ends the batch first.
    // EndBatch is false when a file could not be replaced.
    void BeginBatch() { m_bBatch = true; }
    bool EndBatch();

    // Readers: a section given becomes the current section and stays so. A missing
    // file, section or key yields the default text, converted like a stored value.
    std::string GetString(const std::string& key, const char* def = nullptr, const char* section = nullptr);
    std::string GetString(const std::string& key, const std::string& def, const char* section = nullptr);
    const char* GetStringBuffer(const std::string& key, const char* section = nullptr, const char* def = nullptr);
    std::string GetBufferedString(const std::string& key, const char* def = nullptr, const char* section = nullptr);
    std::string GetBufferedString(const std::string& key, const std::string& def, const char* section = nullptr);
    int GetInt(const std::string& key, int def, const char* section = nullptr);
    float GetFloat(const std::string& key, float def, const char* section = nullptr);
    double GetDouble(const std::string& key, double def, const char* section = nullptr);
    BOOL GetBool(const std::string& key, BOOL def, const char* section = nullptr);

    // Section-first forms; the section stays current afterwards.
    std::string GetStringInSection(const std::string& section, const std::string& key, const std::string& def = "");
    std::string ReadStringInSection(const std::string& section, const std::string& key, const std::string& def = "");
    double GetDoubleInSection(const std::string& section, const std::string& key, double def);
    float GetFloatInSection(const std::string& section, const std::string& key, float def);
    int GetIntInSection(const std::string& section, const std::string& key, int def);
    BOOL GetBoolInSection(const std::string& section, const std::string& key, BOOL def);
    bool WriteStringInSection(const std::string& section, const std::string& key, const std::string& value);
    bool WriteIntInSection(const std::string& section, const std::string& key, int value);
    bool WriteBoolInSection(const std::string& section, const std::string& key, BOOL value);

protected:
    BOOL m_bFromModule = TRUE;
    char m_szLastValue[256] = {};  // raw text of the last value read (255 characters at most)
    std::string m_strPathName;
    std::string m_strSection;

private:
    void TakeSection(const char* section);
    bool CommitBatch();

    bool m_bBatch = false;
    std::vector<std::pair<std::string, zns::IniEdit>> m_batch;  // file path, key
};
