#pragma once
// The recording side of the power panel, free of any toolkit: opening the data
// file of a new log with the start keys of its header file, closing it with the
// end keys, and the "EndDepth" kept up to date while the log runs.
//
// The data file and the first-record arming share one lock, the data-file
// writer's (zns::DataFileWriter::Lock); the receive thread takes it for every
// record, so no header key is ever written under it. Keys written while the
// log runs go through the writer's header-key thread; the start and end keys
// are written by StartRecordFile and CloseRecordFile, while no record can be.
// Lock order: the writer's lock, then SharedData::acqMutex.
//
// StartRecordFile and CloseRecordFile run on the GUI thread; the receive thread
// appends records through CToolsStream::WriteDataFile meanwhile.
#include <cstdint>
#include <functional>
#include <string>

#include "records/SharedRecords.h"
#include "link/ToolsStream.h"
#include "platform/Clock.h"
#include "settings/Header.h"
#include "settings/Preferences.h"

// What the recorder calls in windows built elsewhere. A missing hook does nothing.
struct RecorderHooks {
    // Text of a part of the main window's status bar.
    std::function<void(int part, const std::string& text)> statusText;
    // The main window's acquisition reset.
    std::function<void(bool reload)> resetAcquisition;
};

class CRecorder {
public:
    enum class StartResult {
        Started,
        NotPowered,        // the sonde is not powered (or there is no link): nothing done
        AlreadyRecording,  // a log is being recorded already: nothing done
        OpenFailed,        // the data file could not be opened ("Trouble opening file.")
    };

    CRecorder(SharedData& shared, SettingsData& settings, HeaderRecord& header, zns::DataFileWriter& writer,
              zns::IClock& clock = zns::DefaultClock(), RecorderHooks hooks = {});
    ~CRecorder();
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // Opens the data file of FilePaths DataFile for appending and writes the
    // start keys into the header file of FilePaths LastFile. `powered` is the
    // power panel's powered flag.
    StartResult StartRecordFile(bool powered);

    // Before the header file of a new log is written: the keys the recorder
    // owns ("Startdepth", "EndDepth", "StartTime", "EndTime", "step") take the
    // new log's start values, not those of a log replayed before.
    void ResetLogKeys();

    // While recording: stops it (the recording flag is cleared under the
    // recorder's lock before the file is closed) and writes the end keys.
    // False when nothing was being recorded.
    bool CloseRecordFile();

    // While a new log is being recorded (not while it starts): hands
    // "EndDepth" (mm, truncated) of `depthM` to the header-key writer when it
    // differs from the value written last, at most once a second.
    void UpdateEndDepth(double depthM);
    static constexpr int64_t kEndDepthPeriodMs = 1000;

    // Number of "EndDepth" writes since the recording started (tests).
    int EndDepthWrites() const { return m_endDepthWrites; }

    // After CloseRecordFile stopped a log whose data file failed: what the
    // header file still holds when its end keys could not be written ("" when
    // they were). Any other failed close is told (settings/SaveReport.h).
    const std::string& HeaderTrouble() const { return m_headerTrouble; }

    // Room kept free beside the header while a log records, so that a disk
    // filled by the data file still takes the header's last replace.
    static constexpr const char* kHeaderRoomFile = ".zns-header-room";
    static constexpr long kHeaderRoomBytes = 64 * 1024;

    // At New log, before its header is written: removes what killed saves and
    // recordings of processes that are gone left in the log's folder. False
    // when its disk has less room free than the header is kept.
    static bool PrepareLogFolder(const std::string& folder);

    static constexpr const char* kMsgTroubleOpeningFile = "Trouble opening file.";
    static constexpr const char* kMsgNotPowered = "Sonde must be switched On before recording.";
    static constexpr const char* kMsgDiskNearlyFull =
        "The disk of the folder %s is nearly full: recording may stop at once, and the log's header may not be "
        "closed.";
    static constexpr const char* kMsgHeaderClosed =
        "The header file %s was closed: it holds EndDepth=%d and EndTime=%d, where the data file ends.";

private:
    std::string HeaderPath() const;
    std::string HeaderRoomPath() const;
    // Writes the end keys; false with m_headerTrouble or a told failure.
    bool WriteEndKeys(const std::string& headerPath);

    SharedData& m_shared;
    SettingsData& m_settings;
    HeaderRecord& m_header;
    zns::DataFileWriter& m_writer;
    zns::IClock& m_clock;
    RecorderHooks m_hooks;

    bool m_haveEndDepth = false;
    int32_t m_lastEndDepth = 0;
    int m_endDepthWrites = 0;
    bool m_endDepthPosted = false;
    int64_t m_lastEndDepthMs = 0;
    std::string m_headerTrouble;
    int m_roomFd = -1;  // the room kept beside the header, locked while the log records
};

namespace zns {
// Millimetres of a depth in metres, truncated toward zero; 0 when the depth
// cannot be stored (not finite or beyond the i32 range).
int32_t DepthMillimetres(double depthM);
// The part of a path after its last '/' or '\'.
std::string PathFileName(const std::string& path);
}  // namespace zns
