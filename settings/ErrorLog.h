#pragma once
// The diagnostic error log "error_Zenova.log" in the program's directory: an
// ini file whose sections are time stamps ("[Tue Mar 05 14:07:09]", shown in
// the file in double brackets). Written only while switched on (configuration
// key "DebugingTools"). Safe to call from any thread: the switch is atomic, the
// folder and clock are read under a lock and every write goes through the
// profile engine's own lock.
#include <atomic>
#include <mutex>
#include <string>

namespace zns {

class IClock;
struct LocalTime;

class ErrorLog {
public:
    static constexpr const char* kFileName = "error_Zenova.log";

    // The program's log, the one CPreferences::WriteErrorLog writes to.
    static ErrorLog& Process();

    ErrorLog() = default;
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    // `folder` is the program's directory (ending in '/'); empty writes nothing.
    void SetFolder(const std::string& folder);
    void SetEnabled(bool on) { m_enabled.store(on); }
    bool Enabled() const { return m_enabled.load(); }
    // Clock of the stamps; null means the system clock.
    void SetClock(IClock* clock);

    std::string Path() const;  // "" before a folder is set

    // key := value in the section of the current second; a second entry with the
    // same key in the same second replaces the first. Reports nothing.
    void Write(const std::string& key, const std::string& value);

    // "[" + the first 19 characters of the asctime text + "]".
    static std::string Stamp(const LocalTime& t);

private:
    std::atomic<bool> m_enabled{false};
    mutable std::mutex m_mutex;
    std::string m_folder;
    IClock* m_clock = nullptr;
};

}  // namespace zns
