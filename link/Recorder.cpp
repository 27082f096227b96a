// Opening and closing the data file of a log, with the keys of its header file.
#include "link/Recorder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/CodePage.h"
#include "platform/FileReplace.h"
#include "platform/NumText.h"
#include "platform/Paths.h"
#include "settings/Ini.h"
#include "settings/SaveReport.h"

namespace zns {

int32_t DepthMillimetres(double depthM) {
    int32_t mm = 0;
    return DepthToRecord(depthM, mm) ? mm : 0;
}

std::string PathFileName(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace zns

CRecorder::CRecorder(SharedData& shared, SettingsData& settings, HeaderRecord& header, zns::DataFileWriter& writer,
                     zns::IClock& clock, RecorderHooks hooks)
    : m_shared(shared), m_settings(settings), m_header(header), m_writer(writer), m_clock(clock),
      m_hooks(std::move(hooks)) {}

CRecorder::~CRecorder() {
    if (m_roomFd >= 0) ::close(m_roomFd);
}

std::string CRecorder::HeaderPath() const { return zns::FixedFieldText(m_settings.files.szLastFile); }

std::string CRecorder::HeaderRoomPath() const {
    const std::string hed = CIni::MakeFullPath(HeaderPath(), TRUE);
    const size_t slash = hed.rfind('/');
    return (slash == std::string::npos ? std::string(".") : hed.substr(0, slash)) + "/" + kHeaderRoomFile;
}

CRecorder::StartResult CRecorder::StartRecordFile(bool powered) {
    m_shared.m_pRecordCount.store(0);
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.session.Running = 0;
        if (m_shared.session.Recording) {
            m_shared.session.StartingRecord = 0;
            return StartResult::AlreadyRecording;
        }
    }
    if (!powered || m_shared.m_nLinkState.load() < LINK_IDLE) return StartResult::NotPowered;

    const std::string dataPath = zns::FixedFieldText(m_settings.files.szDataFile);
    const std::string headerPath = HeaderPath();
    if (dataPath.empty() || !m_writer.Open(dataPath, headerPath)) return StartResult::OpenFailed;
    m_headerTrouble.clear();
    if (!headerPath.empty()) {
        // Taken from the disk now, given back for the end keys (best effort: a
        // disk too full for it is told when the header cannot be closed). Held
        // locked meanwhile, so that a new log in the folder knows it is in use.
        m_roomFd = ::open(HeaderRoomPath().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (m_roomFd >= 0 && ::flock(m_roomFd, LOCK_EX | LOCK_NB) == 0)
            ::posix_fallocate(m_roomFd, 0, kHeaderRoomBytes);
        else if (m_roomFd >= 0)
            ::close(std::exchange(m_roomFd, -1));  // another recording's
    }

    // The file is open before the handlers can see the recording flag; the
    // starting flag keeps them from writing until the start is complete.
    m_shared.m_ftLastRecordMs.store(m_clock.NowSteadyMs());
    m_shared.g_bFirstRecordPending.store(true);
    double depth = 0.0;
    int step = 0;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        SessionState& s = m_shared.session;
        s.Recording = 1;
        s.StartingRecord = 1;
        s.NewLogSet = 1;
        const AcquisitionSettings& a = m_shared.settings;
        step = a.RecordingMode == RECMODE_TIME ? a.TimeInterval : a.DepthInterval;
        depth = m_shared.logger.LiveDepth;
    }
    m_haveEndDepth = false;
    m_endDepthWrites = 0;
    m_endDepthPosted = false;

    if (m_hooks.statusText) m_hooks.statusText(0, "Data file : " + zns::PathFileName(dataPath));

    m_header.step = step;
    m_shared.g_dLastDepth.store(depth);
    m_shared.g_dLastDepth2.store(depth);
    if (!headerPath.empty()) {
        // The handlers write nothing while the log starts: no lock is needed,
        // and the header file is replaced once for the three keys.
        m_writer.HeaderKeys().Flush();
        CIni ini(headerPath, "WellInfo", TRUE);
        ini.BeginBatch();
        ini.WriteInt("Startdepth", zns::DepthMillimetres(depth));
        ini.WriteInt("StartTime", 0);
        ini.WriteInt("step", step);
        ini.EndBatch();
    }

    m_shared.m_nStatusOneFrames.store(0);
    m_shared.m_nOtherFrames.store(0);
    if (m_hooks.resetAcquisition) m_hooks.resetAcquisition(true);
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.session.StartingRecord = 0;
    }
    return StartResult::Started;
}

void CRecorder::ResetLogKeys() {
    double depth = 0.0;
    int step = 0;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        const AcquisitionSettings& a = m_shared.settings;
        step = a.RecordingMode == RECMODE_TIME ? a.TimeInterval : a.DepthInterval;
        depth = m_shared.logger.LiveDepth;
    }
    m_header.Startdepth = zns::DepthMillimetres(depth);
    m_header.EndDepth = m_header.Startdepth;  // no record yet: the log ends where it starts
    m_header.StartTime = 0;
    m_header.EndTime = 0;
    m_header.step = step;
}

bool CRecorder::CloseRecordFile() {
    {
        // The flag goes first, under the recorder's lock: a handler that sees it
        // clear writes nothing more, and one that got past it before finds the
        // file closed.
        auto lock = m_writer.Lock();
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        if (!m_shared.session.Recording) return false;
        m_shared.session.Recording = 0;
    }
    m_writer.Close();
    m_clock.SleepMs(50);

    const std::string headerPath = HeaderPath();
    // The file is closed: nothing more is posted. What is queued lands first,
    // then the end keys, in one replace of the file.
    m_writer.HeaderKeys().Flush();
    if (m_roomFd >= 0) {
        // The room kept since the start makes way for the header's replace.
        ::unlink(HeaderRoomPath().c_str());
        ::close(std::exchange(m_roomFd, -1));
    }
    if (!headerPath.empty()) WriteEndKeys(headerPath);
    m_haveEndDepth = false;
    m_endDepthPosted = false;
    return true;
}

void CRecorder::UpdateEndDepth(double depthM) {
    const int32_t mm = zns::DepthMillimetres(depthM);
    if (m_haveEndDepth && mm == m_lastEndDepth) return;
    // While the sonde moves, once a second at most; Stop writes the last one.
    const int64_t now = m_clock.NowSteadyMs();
    if (m_endDepthPosted && now - m_lastEndDepthMs < kEndDepthPeriodMs) return;
    const std::string headerPath = HeaderPath();
    if (headerPath.empty()) return;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        const SessionState& s = m_shared.session;
        if (!s.Recording || !s.NewLogSet || s.StartingRecord) return;
    }
    m_writer.HeaderKeys().Post(CIni::MakeFullPath(headerPath, TRUE), {{"WellInfo", "EndDepth", zns::Format("%d", mm)}});
    m_haveEndDepth = true;
    m_lastEndDepth = mm;
    m_endDepthPosted = true;
    m_lastEndDepthMs = now;
    ++m_endDepthWrites;
}

bool CRecorder::WriteEndKeys(const std::string& headerPath) {
    const std::string path = CIni::MakeFullPath(headerPath, TRUE);
    const AcquisitionSettings a = m_shared.SnapshotSettings();
    const int endDepth = zns::DepthMillimetres(m_shared.g_dLastDepth2.load());
    const int endTime = m_shared.m_pRecordCount.load();
    const std::vector<zns::IniEdit> keys{{"WellInfo", "EndDepth", zns::Format("%d", endDepth)},
                                         {"WellInfo", "EndTime", zns::Format("%d", endTime)},
                                         {"General", "Rx1_AGC", a.AGC_Rx1 ? "yes" : "no"},
                                         {"General", "Rx2_AGC", a.AGC_Rx2 ? "yes" : "no"},
                                         {"General", "Rx3_AGC", a.AGC_Rx3 ? "yes" : "no"}};
    const zns::ReplaceResult r = zns::IniWriteBatch(path, keys);
    if (r) {
        // A running update told as failed is made good: the box on screen says otherwise.
        if (zns::NoteSave(path, r, &keys))
            zns::TellSave(path, zns::Format(kMsgHeaderClosed, path.c_str(), endDepth, endTime), false);
        return true;
    }
    const std::string text = zns::Format(
        "The header file %s could not be closed: %s. It still holds EndDepth=%s and EndTime=%s; the data file "
        "ends at EndDepth=%d and EndTime=%d.",
        path.c_str(), zns::SystemErrorText(r.err).c_str(), zns::IniGetString(path, "WellInfo", "EndDepth", "(none)").c_str(),
        zns::IniGetString(path, "WellInfo", "EndTime", "(none)").c_str(), endDepth, endTime);
    // After a failed data write the recording's own box tells it; otherwise it
    // is told whatever was told of the header before: these words repair it.
    if (!m_writer.LastError().empty())
        m_headerTrouble = text;
    else
        zns::TellSave(path, text, true, &keys);
    return false;
}

bool CRecorder::PrepareLogFolder(const std::string& folder) {
    zns::SweepLeftovers(folder);
    // A room that no recording holds locked is what a killed one left.
    const std::string room = zns::JoinPath(folder, kHeaderRoomFile);
    const int fd = ::open(room.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(room.c_str());
        ::close(fd);
    }
    struct statvfs fs {};
    return ::statvfs(folder.c_str(), &fs) != 0 ||
           static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize) >= kHeaderRoomBytes;
}
