#pragma once
// CToolsStream: what the receive thread does with a frame that passed the
// reception checks (the frame handlers, in ToolsStream.cpp) and the ".zne"
// data-file records it writes while recording and reads back for a replay
// (ToolsStreamRecords.cpp).
//
// ".zne" layout (no file header; records follow one another; little-endian):
//   0  i32 depth, mm, truncated toward zero
//   4  i16 speed, m/min x 100, truncated toward zero
//   6  u32 elapsed recording time, ms
//  10  u16 travel time Rx1, Rx2, Rx3 (us, 65535 = none)
//  16  u16 zero
//  18  u16 gamma count
//  20  u8  gain Rx1, Rx2, Rx3
//  23  u8  trace-length byte (2 bits per receiver)
//  24  samples Rx1, Rx2, Rx3 (0, 512 or 1024 bytes each, i16 little-endian)
//  ..  u32 check
// The check adds, for each multi-byte field, the sum modulo 256 of that
// field's own bytes, and for each single byte and every sample byte its full
// value. Existing files depend on this exact rule.
#include <sys/types.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "link/HeaderKeyWriter.h"
#include "records/SharedRecords.h"
#include "platform/Clock.h"
#include "settings/Header.h"

class CToolsStream;
class ILinkReport;

namespace zns {

// A stdio file closed with its owner.
struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

inline constexpr size_t kRecordHeadBytes = 24;
inline constexpr size_t kRecordCheckBytes = 4;
inline constexpr size_t kRecordMaxBytes = kRecordHeadBytes + 3 * 1024 + kRecordCheckBytes;  // 3100
inline constexpr int kRecordMaxSamples = 512;  // per receiver

// One data record, decoded.
struct DataFileRecord {
    int32_t depthMm = 0;
    int16_t speed = 0;  // m/min x 100
    uint32_t elapsedMs = 0;
    uint16_t travelTime[3] = {65535, 65535, 65535};
    uint16_t zero = 0;
    uint16_t gamma = 0;
    uint8_t gain[3] = {0, 0, 0};
    uint8_t traceByte = 0;
    std::array<int16_t, kRecordMaxSamples> trace[3]{};  // the first SampleCount(rx) are valid

    int Code(int rx) const { return TraceCodeOf(traceByte, rx); }
    int SampleCount(int rx) const { return TraceSamplesForCode(Code(rx)); }
};

// Bytes of a whole record with this trace-length byte (28 .. 3100).
size_t RecordSize(uint8_t traceByte);
// The record check over an encoded record (`bytes` holds the record without its check).
uint32_t RecordCheck(const uint8_t* bytes, size_t size);
// Encodes a whole record, check included; returns its size. `out` holds kRecordMaxBytes.
size_t EncodeRecord(const DataFileRecord& rec, uint8_t* out);

enum class RecordStatus {
    Ok,
    EndOfFile,  // nothing left to read
    Truncated,  // the file ends inside the record
    BadCheck,   // the stored check differs
    IoError,    // the file could not be read or positioned
};
// Reads one record at the file's position. On anything but Ok `out` is left
// unchanged. `size` gets the bytes the record took (Ok only).
RecordStatus ReadRecord(std::FILE* file, DataFileRecord& out, size_t* size = nullptr);

// Depth (m) and speed (m/min) as stored; false when they cannot be stored
// (not finite, or a depth beyond the i32 range). The speed saturates at the i16 range.
bool DepthToRecord(double depthM, int32_t& mm);
int16_t SpeedToRecord(double speedMpm);

// HH:MM:SS of whole seconds; hours are not cut ("100:00:00").
std::string ElapsedText(uint32_t ms);

// The open data file of the recording. The recorder opens and closes it on the
// GUI thread, the receive thread appends records: every call takes the
// writer's mutex, which is the recorder's one lock (data file, header keys
// written while recording, first-record arming). A record goes to disk whole or
// not at all: on a failed or short write the file is cut back to its last
// whole record and closed, and the failure is reported to the caller. While
// open, the file is synced about once a second on the header-key thread.
class DataFileWriter {
public:
    // The write call, for tests that simulate a full disk.
    using WriteFn = std::function<ssize_t(int fd, const void* data, size_t size)>;

    DataFileWriter();
    explicit DataFileWriter(WriteFn write);
    ~DataFileWriter();
    DataFileWriter(const DataFileWriter&) = delete;
    DataFileWriter& operator=(const DataFileWriter&) = delete;

    // Opens the data file for appending (created when missing) and remembers
    // the header file whose "Startdepth" the first record sets. False when the
    // file cannot be opened (the caller shows "Trouble opening file.").
    bool Open(const std::string& dataPath, const std::string& headerPath);
    void Close();
    bool IsOpen() const;
    // Appends one whole record. False when it could not be written (the file
    // is then cut back and closed) or when no file is open.
    bool Append(const uint8_t* data, size_t size);
    // The last failure in words ("" when none since Open).
    std::string LastError() const;
    std::string HeaderPath() const;
    // Size of the file's whole records (bytes).
    int64_t Size() const;

    // For the recorder: holds the lock across several steps (open/close, flags).
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_mutex); }
    // Header keys written while the log runs; never under the lock above.
    HeaderKeyWriter& HeaderKeys() { return m_headerKeys; }

private:
    friend class ::CToolsStream;
    // Callers hold m_mutex.
    bool AppendLocked(const uint8_t* data, size_t size);
    void CloseLocked();

    mutable std::mutex m_mutex;
    WriteFn m_write;
    int m_fd = -1;
    int64_t m_size = 0;
    bool m_armed = false;  // first-record arming (see CToolsStream::WriteDataFile)
    std::string m_dataPath;
    std::string m_headerPath;
    std::string m_error;
    HeaderKeyWriter m_headerKeys;
};

}  // namespace zns

// What the record side of CToolsStream needs from the rest of the program.
struct ToolsStreamSources {
    std::function<std::string()> dataFilePath;          // FilePaths DataFile (replay)
    std::function<void(const std::string&)> showError;  // "Trouble opening file." (posted to the GUI)
};

class CToolsStream {
public:
    CToolsStream(SharedData& shared, HeaderRecord& header, zns::DataFileWriter& writer,
                 ToolsStreamSources sources = {}, zns::IClock& clock = zns::DefaultClock());
    ~CToolsStream();
    CToolsStream(const CToolsStream&) = delete;
    CToolsStream& operator=(const CToolsStream&) = delete;

    // ---- Data-file records ------------------------------------------------

    enum class WriteResult {
        Written,  // one whole record appended
        Armed,    // first call after record start: nothing written yet
        NotOpen,  // the recorder has closed the file (recording is ending)
        Skipped,  // depth or speed not a storable number: nothing written
        Failed,   // write error: file cut back to its last whole record and closed
    };
    // Appends one record at `depth` (m) with the current speed, SondeStatus
    // values and traces. Runs on the receive thread; call it without holding
    // SharedData::acqMutex. On Failed the recorder must stop recording and show
    // the writer's LastError().
    WriteResult WriteDataFile(double depth);

    // Reads one record at the file's position into the outputs. Returns the
    // record's size, or -1 at end of file, on a short record or a bad check
    // (outputs untouched; LastReadStatus() tells which). Trace buffers hold
    // 512 samples each (nullptr skips a receiver). The speed is sign-extended.
    int ReadRecordFromFile(std::FILE* file, double& depth, int& speed, uint32_t& elapsed, int& tt1, int& tt2,
                           int& tt3, int& zero, int& gamma, int& gain1, int& gain2, int& gain3, int& code,
                           int16_t* trace1, int16_t* trace2, int16_t* trace3, int& code1, int& code2,
                           int& code3);

    // Replay and export entry: reads the record at `position` of the current
    // data file into LoggerStatus, the live texts and the trace buffers
    // (nullptr: SharedData's own). True when a record was read.
    bool ReadDataLineInFileZne(int64_t position, int16_t* trace1 = nullptr, int16_t* trace2 = nullptr,
                               int16_t* trace3 = nullptr);
    // What the replay says of the record at `position` it could not read
    // (empty for Ok and the end of the file).
    static std::string ReplayDamageText(zns::RecordStatus st, int64_t position);
    // After ReadDataLineInFileZne(position) failed: the damage the replay
    // tells, empty when there is none to tell (the end of the file, or a file
    // that could not be opened, told already).
    std::string ReplayDamage(int64_t position) const;

    // Sets the LiveValues time text to HH:MM:SS for `ms`.
    void FormatDepthTime(uint32_t ms);

    // Position of the next record to replay (bytes).
    std::atomic<int64_t> m_posReplay{0};
    // Time between the last two replayed records, ms (acquisition page).
    int ReplayTimeStepMs() const { return m_replayStepMs.load(); }
    zns::RecordStatus LastReadStatus() const { return m_lastRead.load(); }
    zns::DataFileWriter& Writer() { return m_writer; }

    // ---- Frame handlers ---------------------------------------------------
    // OnConfigFrame, OnStatusFrame and OnWaveFrame go here; they are defined
    // in ToolsStream.cpp. They call WriteDataFile without holding acqMutex and
    // stop the recording when it returns Failed.

    // They run on the receive thread (one thread at a time) with a body that
    // passed reception. Shared records are written whole under acqMutex; the
    // main window is called with no lock held.

    struct FrameHooks {
        ILinkReport* report = nullptr;  // rows, link status codes, alerts, write failures
        std::function<bool()> sendF1;   // resend command 1 when an echo differs
    };
    // Before the receive thread starts.
    void SetFrameHooks(FrameHooks hooks);

    // 20-byte configuration answer.
    void OnConfigFrame(std::span<const uint8_t, 20> body);
    // 16-byte status body; bit 7 of byte 13 marks a block converted from a
    // headerless status frame.
    void OnStatusFrame(std::span<const uint8_t, 16> body);
    // 22-byte head, the traces its trace-length byte announces, 5-byte tail.
    void OnWaveFrame(std::span<const uint8_t> body);
    // Travel time of receiver 1..3 with its first-arrival settings; 65535 = none.
    uint16_t PickTravelTime(const int16_t* samples, int byteCount, int step, int receiver);

    // Depth of the last waveform frame (the reference of the next frame's
    // steps). Only for the thread that feeds the handlers, and tests.
    double PreviousDepth() const { return m_prevDepth; }
    void SetPreviousDepth(double depth) {
        m_prevDepth = depth;
        m_prevDepthValid = true;
    }

    // Metres per depth step of waveform head byte 3: the logger counts the
    // doubled interval when the encoder scale it was sent is halved.
    static double StepMetres(int stepByte, bool scaleHalved);
    // Conversions of the frames' depth counter and rate word; 0.0 when the
    // settings cannot convert (no depth factor, no encoder resolution).
    static double DepthFromCounter(const AcquisitionSettings& s, int32_t counter);
    static double SpeedFromRate(const AcquisitionSettings& s, int16_t rate);

private:
    SharedData& m_shared;
    HeaderRecord& m_header;
    zns::DataFileWriter& m_writer;
    ToolsStreamSources m_src;
    zns::IClock& m_clock;

    std::atomic<zns::RecordStatus> m_lastRead{zns::RecordStatus::Ok};
    std::atomic<int> m_replayStepMs{0};
    std::atomic<uint32_t> m_lastReplayElapsed{0};

    // ---- Frame-handler state (ToolsStream.cpp) -----------------------------
    // Receive thread only.
    void Row(double depth);
    void Record(double depth);
    void ClearTraces();
    void Alerts(uint8_t mode);

    FrameHooks m_hooks;
    double m_prevDepth = 0.0;
    bool m_prevDepthValid = false;  // no waveform frame yet: no steps to fill from
    // The last row drawn in this mode: fill rows (depth steps) never land on or
    // behind it, so a depth log's rows only move in its direction.
    double m_lastRowDepth = 0.0;
    bool m_lastRowValid = false;
    int m_lastMode = -1;
    bool FillAllowed(double depth, int mode) const;
    void NoteMode(int mode);
    // The traces as last stored, passed with every row (SharedData's copies
    // are under acqMutex).
    std::array<std::array<int16_t, zns::kRecordMaxSamples>, 3> m_rowTrace{};
};
