#pragma once
// The four debugging switches of the registry key
// "Software\Halvex\ZNS\TechnicalTools" (values "true" / "false"), and the
// small key wrapper that reads and writes them. The store is the per-user
// registry stand-in of platform/Registry.h.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Registry.h"
#include "platform/WinTypes.h"

enum RegistryRoot : int { HKEY_CURRENT_USER = 1 };

inline constexpr const char* g_strRegistryKey = "Software\\Halvex\\ZNS\\TechnicalTools";

struct RegistrySwitches {
    uint8_t g_bTechnicalTools = 0;
    uint8_t g_bDebugingTools = 0;
    uint8_t g_bDebugingTrace = 0;
    uint8_t g_bFullTracing = 0;

    bool AnySaved() const { return g_bTechnicalTools || g_bDebugingTools || g_bDebugingTrace; }
};

class CRegistryKey {
public:
    // `storePath`: the stand-in's file; empty means the user's default store.
    explicit CRegistryKey(const std::string& storePath = std::string());
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    void SetStorePath(const std::string& storePath);
    const std::string& StorePath() const { return m_store.Path(); }

    // TRUE when the key exists (it is then open).
    BOOL Open(RegistryRoot root, const std::string& subKey);
    // Creates the key when missing and opens it.
    BOOL Create(RegistryRoot root, const std::string& subKey);
    void Close();
    bool IsOpen() const { return m_hKey.has_value(); }

    BOOL SetString(const std::string& text, const std::string& valueName);
    // "true" when the flag is non-zero, else "false".
    BOOL SetBool(BOOL flag, const std::string& valueName);
    // The value's text up to its first zero; FALSE (and `out` empty) when the key
    // is closed or the value missing.
    BOOL QueryString(const std::string& valueName, std::string& out);
    // 1 when the value, blanks trimmed, reads "TRUE" in any case; 0 for any other
    // text; the default when the value cannot be read.
    void GetBool(uint8_t& out, const std::string& valueName, BOOL def);

private:
    zns::Registry m_store;
    std::optional<std::string> m_hKey;  // open key path; nullopt when closed
};
