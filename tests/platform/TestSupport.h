#pragma once
// Helpers shared by the platform and settings tests: a scratch folder and a
// numeric locale with a decimal comma.
#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace zns::test {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zns_test_XXXXXX").string();
        char* made = mkdtemp(tmpl.data());
        EXPECT_NE(made, nullptr);
        m_path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Sets LC_NUMERIC to a locale whose decimal mark is ',' for the lifetime of the
// object. When none is installed, one is compiled with localedef into a scratch
// folder (LOCPATH). Active() is false when neither works.
class CommaLocale {
public:
    CommaLocale() {
        m_old = setlocale(LC_NUMERIC, nullptr);
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"})
            if (Try(name)) return;
        // Kept while the tests run (the locale is loaded from it), removed as they end.
        static TempDir built;
        static const bool made =
            std::system(("localedef -i de_DE -f UTF-8 " + built.Path() + "/de_DE.UTF-8 >/dev/null 2>&1").c_str()) == 0;
        if (!made) return;
        setenv("LOCPATH", built.Path().c_str(), 1);
        Try("de_DE.UTF-8");
    }
    ~CommaLocale() { setlocale(LC_NUMERIC, m_old.c_str()); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    bool Active() const { return m_active; }

private:
    bool Try(const char* name) {
        if (!setlocale(LC_NUMERIC, name)) return false;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%.1f", 1.5);
        m_active = std::string(buf) == "1,5";
        if (!m_active) setlocale(LC_NUMERIC, m_old.c_str());
        return m_active;
    }
    std::string m_old;
    bool m_active = false;
};

}  // namespace zns::test
