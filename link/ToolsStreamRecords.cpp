// The ".zne" data-file records of CToolsStream: writer, readers, replay entry.
// One unit with ToolsStream.cpp (the frame handlers), split for length.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "link/ToolsStream.h"
#include "link/Checksums.h"
#include "platform/CodePage.h"
#include "platform/NumText.h"
#include "settings/Ini.h"

namespace zns {
namespace {

inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
ssize_t PosixWrite(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

}  // namespace

size_t RecordSize(uint8_t traceByte) {
    size_t n = kRecordHeadBytes + kRecordCheckBytes;
    for (int rx = 0; rx < 3; ++rx) n += static_cast<size_t>(TraceBytesForCode(TraceCodeOf(traceByte, rx)));
    return n;
}

uint32_t RecordCheck(const uint8_t* b, size_t size) {
    // Multi-byte fields: depth, speed, elapsed, three travel times, zero word, gamma.
    uint32_t sum = ByteSum32(Get32(b + 0)) + ByteSum16(Get16(b + 4)) + ByteSum32(Get32(b + 6));
    for (size_t off = 10; off < 20; off += 2) sum += ByteSum16(Get16(b + off));
    // Gains, trace-length byte and every sample byte at full value.
    for (size_t i = 20; i < size; ++i) sum += b[i];
    return sum;
}

size_t EncodeRecord(const DataFileRecord& r, uint8_t* out) {
    Put32(out + 0, static_cast<uint32_t>(r.depthMm));
    Put16(out + 4, static_cast<uint16_t>(r.speed));
    Put32(out + 6, r.elapsedMs);
    Put16(out + 10, r.travelTime[0]);
    Put16(out + 12, r.travelTime[1]);
    Put16(out + 14, r.travelTime[2]);
    Put16(out + 16, r.zero);
    Put16(out + 18, r.gamma);
    out[20] = r.gain[0];
    out[21] = r.gain[1];
    out[22] = r.gain[2];
    out[23] = r.traceByte;
    size_t pos = kRecordHeadBytes;
    for (int rx = 0; rx < 3; ++rx) {
        int n = r.SampleCount(rx);
        for (int i = 0; i < n; ++i, pos += 2) Put16(out + pos, static_cast<uint16_t>(r.trace[rx][static_cast<size_t>(i)]));
    }
    Put32(out + pos, RecordCheck(out, pos));
    return pos + kRecordCheckBytes;
}

RecordStatus ReadRecord(std::FILE* file, DataFileRecord& out, size_t* size) {
    if (file == nullptr) return RecordStatus::IoError;
    uint8_t buf[kRecordMaxBytes];
    size_t n = std::fread(buf, 1, kRecordHeadBytes, file);
    if (n == 0) return std::ferror(file) ? RecordStatus::IoError : RecordStatus::EndOfFile;
    if (n < kRecordHeadBytes) return std::ferror(file) ? RecordStatus::IoError : RecordStatus::Truncated;
    const size_t total = RecordSize(buf[23]);
    const size_t rest = total - kRecordHeadBytes;
    n = std::fread(buf + kRecordHeadBytes, 1, rest, file);
    if (n < rest) return std::ferror(file) ? RecordStatus::IoError : RecordStatus::Truncated;
    const size_t body = total - kRecordCheckBytes;
    if (RecordCheck(buf, body) != Get32(buf + body)) return RecordStatus::BadCheck;

    out.depthMm = static_cast<int32_t>(Get32(buf + 0));
    out.speed = static_cast<int16_t>(Get16(buf + 4));  // signed: a negative speed stays negative
    out.elapsedMs = Get32(buf + 6);
    out.travelTime[0] = Get16(buf + 10);
    out.travelTime[1] = Get16(buf + 12);
    out.travelTime[2] = Get16(buf + 14);
    out.zero = Get16(buf + 16);
    out.gamma = Get16(buf + 18);
    out.gain[0] = buf[20];
    out.gain[1] = buf[21];
    out.gain[2] = buf[22];
    out.traceByte = buf[23];
    size_t pos = kRecordHeadBytes;
    for (int rx = 0; rx < 3; ++rx) {
        int count = out.SampleCount(rx);
        for (int i = 0; i < count; ++i, pos += 2)
            out.trace[rx][static_cast<size_t>(i)] = static_cast<int16_t>(Get16(buf + pos));
    }
    if (size) *size = total;
    return RecordStatus::Ok;
}

bool DepthToRecord(double depthM, int32_t& mm) {
    if (!std::isfinite(depthM)) return false;
    double v = std::trunc(depthM * 1000.0);
    if (v < static_cast<double>(INT32_MIN) || v > static_cast<double>(INT32_MAX)) return false;
    mm = static_cast<int32_t>(v);
    return true;
}

int16_t SpeedToRecord(double speedMpm) {
    double v = std::trunc(speedMpm * 100.0);
    if (!(v >= -32768.0)) return -32768;  // also NaN, which callers refuse before this
    if (v > 32767.0) return 32767;
    return static_cast<int16_t>(v);
}

std::string ElapsedText(uint32_t ms) {
    uint32_t s = ms / 1000u;
    return Format("%02u:%02u:%02u", s / 3600u, (s % 3600u) / 60u, s % 60u);
}

// ---------------------------------------------------------------------------

DataFileWriter::DataFileWriter() : m_write(PosixWrite) {}
DataFileWriter::DataFileWriter(WriteFn write) : m_write(write ? std::move(write) : WriteFn(PosixWrite)) {}
DataFileWriter::~DataFileWriter() { Close(); }

bool DataFileWriter::Open(const std::string& dataPath, const std::string& headerPath) {
    std::lock_guard<std::mutex> g(m_mutex);
    CloseLocked();
    m_error.clear();
    int fd = ::open(dataPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_error = Format("Cannot open %s: %s", dataPath.c_str(), zns::SystemErrorText(errno).c_str());
        return false;
    }
    struct stat st {};
    m_size = ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
    m_fd = fd;
    m_headerKeys.SyncDataFile(::fcntl(fd, F_DUPFD_CLOEXEC, 0), dataPath);
    m_armed = false;
    m_dataPath = dataPath;
    m_headerPath = headerPath;
    return true;
}

void DataFileWriter::Close() {
    std::lock_guard<std::mutex> g(m_mutex);
    CloseLocked();
}

void DataFileWriter::CloseLocked() {
    if (m_fd >= 0) ::close(m_fd);
    m_headerKeys.SyncDataFile(-1, {});
    m_fd = -1;
    m_armed = false;
}

bool DataFileWriter::IsOpen() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_fd >= 0;
}

bool DataFileWriter::Append(const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> g(m_mutex);
    return AppendLocked(data, size);
}

bool DataFileWriter::AppendLocked(const uint8_t* data, size_t size) {
    if (m_fd < 0) return false;
    size_t done = 0;
    int err = 0;
    while (done < size) {
        ssize_t n = m_write(m_fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (done == size) {
        m_size += static_cast<int64_t>(size);
        return true;
    }
    // Cut the partial record off so that the file ends with a whole record.
    bool cut = done == 0 || ::ftruncate(m_fd, static_cast<off_t>(m_size)) == 0;
    m_error = Format("Trouble writing the data file %s: %s. Recording stopped; the %lld bytes recorded are kept%s.",
                     m_dataPath.c_str(), zns::SystemErrorText(err).c_str(), static_cast<long long>(m_size),
                     cut ? "" : " (the last record is incomplete)");
    CloseLocked();
    return false;
}

std::string DataFileWriter::LastError() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_error;
}

std::string DataFileWriter::HeaderPath() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_headerPath;
}

int64_t DataFileWriter::Size() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_size;
}

}  // namespace zns

// ---------------------------------------------------------------------------

CToolsStream::CToolsStream(SharedData& shared, HeaderRecord& header, zns::DataFileWriter& writer,
                           ToolsStreamSources sources, zns::IClock& clock)
    : m_shared(shared), m_header(header), m_writer(writer), m_src(std::move(sources)), m_clock(clock) {}

CToolsStream::~CToolsStream() = default;

CToolsStream::WriteResult CToolsStream::WriteDataFile(double depth) {
    zns::DataFileRecord rec;
    double speed = 0.0;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        const SondeStatus& s = m_shared.sonde;
        speed = m_shared.live.Speed;
        for (int rx = 0; rx < 3; ++rx) {
            rec.travelTime[rx] = s.TravelTime[rx];
            rec.gain[rx] = s.Gain[rx];
        }
        rec.gamma = s.Gamma;
        rec.traceByte = static_cast<uint8_t>(s.TraceByte & 0x3F);
        // Sample counts follow the codes of the byte stored: that is what readers go by.
        for (int rx = 0; rx < 3; ++rx) {
            int n = rec.SampleCount(rx);
            std::copy_n(m_shared.m_pTraceRx[rx].begin(), n, rec.trace[rx].begin());
        }
    }
    if (!zns::DepthToRecord(depth, rec.depthMm) || !std::isfinite(speed)) return WriteResult::Skipped;
    rec.speed = zns::SpeedToRecord(speed);

    uint32_t elapsed = 0;
    std::string startDepthHeader;
    {
        auto lock = m_writer.Lock();
        if (m_writer.m_fd < 0) return WriteResult::NotOpen;

        m_shared.g_dLastDepth.store(depth);
        const double lastRecorded = m_shared.g_dLastDepth2.exchange(depth);

        // First record of a log: the first call only arms, the second writes
        // "Startdepth" into the header and starts the elapsed time.
        if (!m_shared.g_bFirstRecordPending.load()) {
            m_writer.m_armed = false;
        } else if (!m_writer.m_armed) {
            m_writer.m_armed = true;
            return WriteResult::Armed;
        } else {
            // Handed to the header writer once the record is written: the
            // receive thread never waits for the header file.
            if (!m_writer.m_headerPath.empty()) startDepthHeader = m_writer.m_headerPath;
            m_shared.g_bFirstRecordPending.store(false);
            m_shared.m_ftLastRecordMs.store(m_clock.NowSteadyMs());
        }

        // Elapsed time counts only time in motion: the handlers move the
        // last-record stamp while the sonde stands or goes the wrong way.
        const int64_t now = m_clock.NowSteadyMs();
        const int64_t delta = std::max<int64_t>(0, now - m_shared.m_ftLastRecordMs.load());
        const int countBefore = m_shared.m_pRecordCount.load();
        const int64_t total = std::min<int64_t>(static_cast<int64_t>(countBefore) + delta, INT_MAX);
        m_shared.m_pRecordCount.store(static_cast<int>(total));
        m_shared.m_ftLastRecordMs.store(now);
        elapsed = static_cast<uint32_t>(total);
        rec.elapsedMs = elapsed;

        uint8_t buf[zns::kRecordMaxBytes];
        size_t size = zns::EncodeRecord(rec, buf);
        if (!m_writer.AppendLocked(buf, size)) {
            // The record is not in the file: the log's end depth and time stay those of its last whole record.
            m_shared.g_dLastDepth2.store(lastRecorded);
            m_shared.m_pRecordCount.store(countBefore);
            return WriteResult::Failed;
        }
    }
    if (!startDepthHeader.empty())
        m_writer.HeaderKeys().Post(CIni::MakeFullPath(startDepthHeader, TRUE),
                                   {{"WellInfo", "Startdepth", zns::Format("%d", rec.depthMm)}});
    FormatDepthTime(elapsed);
    return WriteResult::Written;
}

int CToolsStream::ReadRecordFromFile(std::FILE* file, double& depth, int& speed, uint32_t& elapsed, int& tt1,
                                     int& tt2, int& tt3, int& zero, int& gamma, int& gain1, int& gain2, int& gain3,
                                     int& code, int16_t* trace1, int16_t* trace2, int16_t* trace3, int& code1,
                                     int& code2, int& code3) {
    zns::DataFileRecord rec;
    size_t size = 0;
    zns::RecordStatus st = zns::ReadRecord(file, rec, &size);
    int64_t pos = -1;
    if (st == zns::RecordStatus::Ok) {
        pos = static_cast<int64_t>(::ftello(file));
        if (pos < 0) st = zns::RecordStatus::IoError;
    }
    m_lastRead.store(st);
    if (st != zns::RecordStatus::Ok) return -1;

    m_posReplay.store(pos);
    depth = rec.depthMm / 1000.0;
    speed = rec.speed;
    elapsed = rec.elapsedMs;
    tt1 = rec.travelTime[0];
    tt2 = rec.travelTime[1];
    tt3 = rec.travelTime[2];
    zero = rec.zero;
    gamma = rec.gamma;
    gain1 = rec.gain[0];
    gain2 = rec.gain[1];
    gain3 = rec.gain[2];
    code = rec.traceByte;
    code1 = rec.Code(0);
    code2 = rec.Code(1);
    code3 = rec.Code(2);
    int16_t* traces[3] = {trace1, trace2, trace3};
    for (int rx = 0; rx < 3; ++rx)
        if (traces[rx]) std::copy_n(rec.trace[rx].begin(), rec.SampleCount(rx), traces[rx]);
    return static_cast<int>(static_cast<uint16_t>(size));
}

std::string CToolsStream::ReplayDamageText(zns::RecordStatus st, int64_t position) {
    const long long at = static_cast<long long>(position);
    // Damage in the first record leaves nothing before it to replay.
    const char* none = "No record can be replayed.";
    switch (st) {
        case zns::RecordStatus::Ok:
        case zns::RecordStatus::EndOfFile: return {};
        case zns::RecordStatus::Truncated:
            return zns::Format("The data file is damaged: it ends inside the record at byte %lld. %s", at,
                               at == 0 ? none : "Replay stops at the last whole record.");
        case zns::RecordStatus::BadCheck:
            return zns::Format("The data file is damaged: the record at byte %lld has a wrong check sum. %s", at,
                               at == 0 ? none : "Replay stops at the record before it.");
        default: return zns::Format("The data file could not be read at byte %lld.", at);
    }
}

std::string CToolsStream::ReplayDamage(int64_t position) const {
    const zns::RecordStatus st = m_lastRead.load();
    if (st != zns::RecordStatus::Truncated && st != zns::RecordStatus::BadCheck) return {};
    return ReplayDamageText(st, position);
}

bool CToolsStream::ReadDataLineInFileZne(int64_t position, int16_t* trace1, int16_t* trace2, int16_t* trace3) {
    try {
        const std::string path = m_src.dataFilePath ? m_src.dataFilePath() : std::string();
        zns::FilePtr file(path.empty() ? nullptr : std::fopen(path.c_str(), "rb"));
        if (!file) {
            m_lastRead.store(zns::RecordStatus::IoError);
            if (m_src.showError) m_src.showError("Trouble opening file.");
            return false;
        }
        if (position < 0 || ::fseeko(file.get(), static_cast<off_t>(position), SEEK_SET) != 0) {
            m_lastRead.store(zns::RecordStatus::IoError);
            return false;
        }

        double depth = 0.0;
        int speed = 0, tt[3] = {0, 0, 0}, zero = 0, gamma = 0, gain[3] = {0, 0, 0}, code = 0, codes[3] = {0, 0, 0};
        uint32_t elapsed = 0;
        std::array<int16_t, zns::kRecordMaxSamples> local[3];
        int n = ReadRecordFromFile(file.get(), depth, speed, elapsed, tt[0], tt[1], tt[2], zero, gamma, gain[0],
                                   gain[1], gain[2], code, local[0].data(), local[1].data(), local[2].data(),
                                   codes[0], codes[1], codes[2]);
        if (n < 0) return false;

        // Time between this record and the one replayed before it.
        const uint32_t prev = m_lastReplayElapsed.exchange(elapsed);
        m_replayStepMs.store(position == 0 ? 0 : static_cast<int>(static_cast<int64_t>(elapsed) - prev));

        const int logMode = m_header.LogMode;
        const int headerStep = m_header.step;
        const int mode = zns::RecordingModeFromHeaderLogMode(logMode);
        int16_t* out[3] = {trace1, trace2, trace3};
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            LoggerStatus& L = m_shared.logger;
            L.ReplayDepth = depth;
            for (int rx = 0; rx < 3; ++rx) {
                L.TravelTime[rx] = static_cast<uint16_t>(tt[rx]);
                L.Gain[rx] = gain[rx];
                L.Code[rx] = codes[rx];
                int16_t* dst = out[rx] ? out[rx] : m_shared.m_pTraceRx[rx].data();
                std::copy_n(local[rx].begin(), TraceSamplesForCode(codes[rx]), dst);
            }
            L.Gamma = static_cast<uint16_t>(gamma);
            L.TraceByte = static_cast<uint8_t>(code);
            L.Mode = static_cast<uint8_t>(mode);
            L.ReplayStep = mode == RECMODE_TIME ? 5 : headerStep;

            if (m_shared.m_nLinkState.load() < LINK_ANSWER) {
                m_shared.live.Depth = depth;
                m_shared.live.Speed = speed / 100.0;
            }
            m_shared.live.TimeText = zns::ElapsedText(elapsed);
        }
        return true;
    } catch (...) {
        std::fprintf(stderr, "Function: %s\nFile: %s\nLine: %d\n", "CToolsStream::ReadDataLineInFileZne",
                     "ToolsStream", __LINE__);
        m_lastRead.store(zns::RecordStatus::IoError);
        return false;
    }
}

void CToolsStream::FormatDepthTime(uint32_t ms) {
    std::string text = zns::ElapsedText(ms);
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    m_shared.live.TimeText = std::move(text);
}
