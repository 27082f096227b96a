#pragma once
// Header keys written while a log runs ("Startdepth" of the first record,
// "EndDepth" as the sonde moves) go to disk on this writer's own thread, so
// that neither the receive thread nor the GUI waits for a slow disk. Batches
// are written in the order posted; batches for one file that queue up while
// the disk is busy are written together, as one replace of the file.
//
// The same thread syncs the open data file about once a second, so that a
// power cut costs at most the last second of records and a record write never
// waits for a sync. A sync that fails is told: those records may be gone.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/IniFile.h"

namespace zns {

class HeaderKeyWriter {
public:
    HeaderKeyWriter() = default;
    ~HeaderKeyWriter();  // writes what is queued, syncs the data file, then joins
    HeaderKeyWriter(const HeaderKeyWriter&) = delete;
    HeaderKeyWriter& operator=(const HeaderKeyWriter&) = delete;

    // Any thread; never waits for the disk.
    void Post(const std::string& path, std::vector<IniEdit> edits);
    // Waits until every batch posted before the call is on disk, and the data
    // file handed back before it synced.
    void Flush();
    // File replaces done so far (tests and benchmarks).
    int FilesWritten() const;

    // The data file at `path` to sync while it is open: `fd` is this writer's own
    // copy, closed after one last sync when another (or -1: none) takes its place.
    // Never waits for the disk.
    void SyncDataFile(int fd, const std::string& path);
    static constexpr int kDataSyncPeriodMs = 1000;
    // Told on this writer's thread, which it must not hold up, when a sync of the
    // data file fails: once an opened file (a file opened again, or a new log under
    // the same name, is a new one), and again only after a sync of it has worked.
    void OnDataSyncFailure(std::function<void(const std::string& text)> tell);
    // What is told of the data file `path` whose sync failed with errno `err`.
    static std::string DataSyncFailureText(const std::string& path, int err);

private:
    void Run();
    struct DataFile {
        int fd = -1;
        std::string path;
        uint64_t opened = 0;  // which opening: the told mark belongs to it, not to the name
    };
    void SyncData(const DataFile& file);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::pair<std::string, std::vector<IniEdit>>> m_queue;
    DataFile m_data;  // synced once a period
    uint64_t m_openings = 0;
    std::vector<DataFile> m_ended;  // synced once more and closed
    std::function<void(const std::string&)> m_tellSyncFailure;
    uint64_t m_syncFailed = 0;  // this writer's thread only: the opening whose failed sync stands told
    bool m_busy = false;
    bool m_quit = false;
    int m_written = 0;
    std::thread m_thread;  // started by the first Post or data file
};

}  // namespace zns
