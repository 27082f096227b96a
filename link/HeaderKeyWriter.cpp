#include "link/HeaderKeyWriter.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/FileReplace.h"
#include "platform/NumText.h"
#include "settings/SaveReport.h"

namespace zns {

HeaderKeyWriter::~HeaderKeyWriter() {
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();  // after the last sync of what ended
    if (m_data.fd >= 0) ::close(m_data.fd);
}

void HeaderKeyWriter::Post(const std::string& path, std::vector<IniEdit> edits) {
    if (path.empty() || edits.empty()) return;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_queue.emplace_back(path, std::move(edits));
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    }
    m_wake.notify_one();
}

void HeaderKeyWriter::SyncDataFile(int fd, const std::string& path) {
    {
        std::lock_guard<std::mutex> g(m_mutex);
        if (m_data.fd >= 0) m_ended.push_back(std::move(m_data));
        m_data = {fd, path, fd >= 0 ? ++m_openings : 0};
        if (fd >= 0 && !m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    }
    m_wake.notify_one();
}

void HeaderKeyWriter::OnDataSyncFailure(std::function<void(const std::string& text)> tell) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_tellSyncFailure = std::move(tell);
}

std::string HeaderKeyWriter::DataSyncFailureText(const std::string& path, int err) {
    return Format("Trouble syncing the data file %s: %s. Records written since its last sync may be lost: the log "
                  "may have a gap.",
                  path.c_str(), zns::SystemErrorText(err).c_str());
}

void HeaderKeyWriter::SyncData(const DataFile& file) {
    const int err = SyncFile(file.fd) == 0 ? 0 : errno ? errno : EIO;
    // A sync that works again puts what was lost behind: a later failure is news.
    if (err == 0 || file.opened == m_syncFailed) {
        if (err == 0 && file.opened == m_syncFailed) m_syncFailed = 0;
        return;
    }
    m_syncFailed = file.opened;
    std::function<void(const std::string&)> tell;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        tell = m_tellSyncFailure;
    }
    if (tell) tell(DataSyncFailureText(file.path, err));
}

void HeaderKeyWriter::Flush() {
    std::unique_lock<std::mutex> g(m_mutex);
    m_idle.wait(g, [this] { return m_queue.empty() && m_ended.empty() && !m_busy; });
}

int HeaderKeyWriter::FilesWritten() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_written;
}

void HeaderKeyWriter::Run() {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(kDataSyncPeriodMs);
    Clock::time_point nextSync = Clock::now() + period;
    std::unique_lock<std::mutex> g(m_mutex);
    for (;;) {
        const auto ready = [this] { return m_quit || !m_queue.empty() || !m_ended.empty(); };
        if (m_data.fd < 0)
            m_wake.wait(g, ready);
        else
            m_wake.wait_until(g, nextSync, ready);
        const bool due = m_data.fd >= 0 && Clock::now() >= nextSync;
        if (m_queue.empty() && m_ended.empty() && !due) {
            if (m_quit) return;  // nothing left to write
            continue;
        }
        std::deque<std::pair<std::string, std::vector<IniEdit>>> work;
        work.swap(m_queue);
        std::vector<DataFile> ended;
        ended.swap(m_ended);
        DataFile data;
        if (due) data = m_data;  // only this thread closes its fd: open meanwhile
        m_busy = true;
        g.unlock();
        // The records first: a header key never tells of records a power cut could take.
        // Ended files before the open one, whose told mark then stands.
        for (const DataFile& f : ended) SyncData(f), ::close(f.fd);
        if (data.fd >= 0) SyncData(data);
        int written = 0;
        while (!work.empty()) {
            const std::string path = work.front().first;
            std::vector<IniEdit> edits;
            while (!work.empty() && work.front().first == path) {
                for (IniEdit& e : work.front().second) edits.push_back(std::move(e));
                work.pop_front();
            }
            NoteSave(path, IniWriteBatch(path, edits), &edits);  // told by the program's handler
            ++written;
        }
        g.lock();
        if (due) nextSync = Clock::now() + period;
        m_written += written;
        m_busy = false;
        if (m_queue.empty() && m_ended.empty()) m_idle.notify_all();
    }
}

}  // namespace zns
