#include "settings/ErrorLog.h"

#include "platform/Clock.h"
#include "settings/Ini.h"

namespace zns {

ErrorLog& ErrorLog::Process() {
    static ErrorLog log;
    return log;
}

void ErrorLog::SetFolder(const std::string& folder) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_folder = folder;
    if (!m_folder.empty() && m_folder.back() != '/') m_folder += '/';
}

void ErrorLog::SetClock(IClock* clock) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_clock = clock;
}

std::string ErrorLog::Path() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_folder.empty() ? std::string() : m_folder + kFileName;
}

std::string ErrorLog::Stamp(const LocalTime& t) { return "[" + AsctimeText(t).substr(0, 19) + "]"; }

void ErrorLog::Write(const std::string& key, const std::string& value) {
    if (!m_enabled.load()) return;
    std::string path;
    IClock* clock = nullptr;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        if (m_folder.empty()) return;
        path = m_folder + kFileName;
        clock = m_clock;
    }
    const LocalTime now = (clock != nullptr ? *clock : DefaultClock()).NowLocal();
    const std::string section = Stamp(now);
    CIni log(path, section, TRUE);
    log.WriteStringInSection(section, key, value);
}

}  // namespace zns
