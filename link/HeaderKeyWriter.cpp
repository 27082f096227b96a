#include "link/HeaderKeyWriter.h"

#include <cerrno>

#include "settings/SaveReport.h"

namespace zns {

HeaderKeyWriter::~HeaderKeyWriter() {
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
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

void HeaderKeyWriter::Flush() {
    std::unique_lock<std::mutex> g(m_mutex);
    m_idle.wait(g, [this] { return m_queue.empty() && !m_busy; });
}

int HeaderKeyWriter::FilesWritten() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_written;
}

void HeaderKeyWriter::Run() {
    std::unique_lock<std::mutex> g(m_mutex);
    for (;;) {
        m_wake.wait(g, [this] { return m_quit || !m_queue.empty(); });
        if (m_queue.empty()) return;  // quit with nothing left to write
        std::deque<std::pair<std::string, std::vector<IniEdit>>> work;
        work.swap(m_queue);
        m_busy = true;
        g.unlock();
        int written = 0;
        while (!work.empty()) {
            const std::string path = work.front().first;
            std::vector<IniEdit> edits;
            while (!work.empty() && work.front().first == path) {
                for (IniEdit& e : work.front().second) edits.push_back(std::move(e));
                work.pop_front();
            }
            const bool saved = IniWriteBatch(path, edits);
            if (!saved || IniLastWriteReplaced()) NoteSave(path, saved, errno);  // told by the program's handler
            ++written;
        }
        g.lock();
        m_written += written;
        m_busy = false;
        if (m_queue.empty()) m_idle.notify_all();
    }
}

}  // namespace zns
