#pragma once
// A private program directory per test: the settings store, its files and the
// registry stand-in all live in a fresh temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/SharedRecords.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "settings/ErrorLog.h"
#include "settings/Preferences.h"

namespace prefs_test {

inline std::string MakeTempDir() {
    std::string base = "/tmp";
    if (const char* t = std::getenv("TMPDIR"); t && *t) base = t;
    std::string tmpl = base + "/zns_prefs_XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    const char* d = ::mkdtemp(buf.data());
    return d ? std::string(d) + "/" : std::string();
}

inline void RemoveTree(const std::string& dir) {
    if (dir.size() > 5 && dir.find("zns_prefs_") != std::string::npos)
        std::system(("rm -rf '" + dir + "'").c_str());
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class PrefsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        ASSERT_FALSE(dir.empty());
        zns::IniFlushCache();
        zns::ErrorLog::Process().SetEnabled(false);
        zns::ErrorLog::Process().SetFolder("");
        zns::ErrorLog::Process().SetClock(nullptr);
    }
    void TearDown() override {
        prefs.reset();
        zns::ErrorLog::Process().SetEnabled(false);
        zns::ErrorLog::Process().SetFolder("");
        zns::ErrorLog::Process().SetClock(nullptr);
        RemoveTree(dir);
    }

    PreferencesHooks Hooks() {
        PreferencesHooks h;
        h.programDir = dir;
        h.registryPath = RegistryPath();
        h.messageBox = [this](const std::string& t) { messages.push_back(t); };
        h.setThreadLocale = [this](uint16_t id) { locales.push_back(id); };
        return h;
    }

    CPreferences& Prefs() {
        if (!prefs) prefs = std::make_unique<CPreferences>(*shared, data, Hooks());
        return *prefs;
    }
    // A new run of the program on the same folder.
    CPreferences& Restart() {
        prefs.reset();
        shared = std::make_unique<SharedData>();
        data = SettingsData{};
        prefs = std::make_unique<CPreferences>(*shared, data, Hooks());
        return *prefs;
    }

    std::string Cfg() const { return dir + "HxZn.cfg"; }
    std::string Dat() const { return dir + "HxZn.dat"; }
    std::string Tol() const { return dir + "Ressources/HxZNS.tol"; }
    std::string RegistryPath() const { return dir + "registry.ini"; }

    std::optional<std::string> Key(const std::string& key, const std::string& section = "BrannicLogger") const {
        return zns::IniFind(Cfg(), section, key);
    }
    std::optional<std::string> TolKey(const std::string& section, const std::string& key) const {
        return zns::IniFind(Tol(), section, key);
    }
    void WriteTol(const std::string& text) {
        zns::MakeDirs(dir + "Ressources");
        WriteAll(Tol(), text);
    }

    AcquisitionSettings Settings() const { return shared->SnapshotSettings(); }

    std::string dir;
    std::unique_ptr<SharedData> shared = std::make_unique<SharedData>();
    SettingsData data;
    std::unique_ptr<CPreferences> prefs;
    std::vector<std::string> messages;
    std::vector<uint16_t> locales;
};

}  // namespace prefs_test
