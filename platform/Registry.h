#pragma once
// A per-user stand-in for the registry: keys are sections of one ini file
// (key path such as "Software\\Halvex\\ZNS\\TechnicalTools" as the section
// name, compared without case), values are its entries. Strings are stored as
// they are (255 characters at most); DWORDs as "dword:" and eight hex digits.
#include <cstdint>
#include <optional>
#include <string>

namespace zns {

class Registry {
public:
    // The store used by the program: UserConfigDir() + "/zns/registry.ini".
    static std::string DefaultPath();

    Registry() : Registry(DefaultPath()) {}
    explicit Registry(std::string iniPath) : m_path(std::move(iniPath)) {}

    const std::string& Path() const { return m_path; }

    bool KeyExists(const std::string& keyPath) const;
    // Creates the key when it is missing (and the folder of the store).
    bool CreateKey(const std::string& keyPath);
    bool DeleteKey(const std::string& keyPath);

    // Setters create the key as needed; false when the store cannot be written.
    bool SetString(const std::string& keyPath, const std::string& name, const std::string& value);
    bool SetDword(const std::string& keyPath, const std::string& name, uint32_t value);
    bool DeleteValue(const std::string& keyPath, const std::string& name);

    // Absent (no key, no value) is nullopt, as a failed query reports it. A
    // string query returns any value's stored text; a DWORD query only a DWORD.
    std::optional<std::string> QueryString(const std::string& keyPath, const std::string& name) const;
    std::optional<uint32_t> QueryDword(const std::string& keyPath, const std::string& name) const;

private:
    bool EnsureFolder() const;
    std::string m_path;
};

}  // namespace zns
