#pragma once
// SEG-2 (revision 1) export of a recorded log: one file per receiver that
// recorded samples, one trace per depth step, samples as 32-bit floats, the
// record's depth, gain, gamma value and travel time in each trace's strings.
//
// File layout (little-endian, offsets from the start of the file):
//   0  u16 0x3A55, u16 revision 1, u16 M = 4 x N, u16 N traces (at most 16383)
//   8  string terminator size 1, NUL, 0; line terminator size 2, CR LF
//  14  FF FF, then zero bytes up to 32
//  32  N u32 trace pointers: trace k at 240 + M + k x (208 + 4 x ns)
//  32+M  file strings, zero-filled to 32 + M + 208
// Trace block: u16 0x4422, u16 208, u32 4 x ns, u32 ns, u8 4 (float), zero
// bytes to 32, trace strings zero-filled to 208, then ns floats.
// String block: u16 L = text length + 3, the text (Windows-1252), NUL.
//
// GUI thread; boxes, the range dialog, the progress bar and the status bar go
// through the hooks.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/ToolsStream.h"
#include "settings/Header.h"
#include "settings/Preferences.h"

namespace zns {

inline constexpr uint16_t kSeg2FileId = 0x3A55;
inline constexpr uint16_t kSeg2TraceId = 0x4422;
inline constexpr int kSeg2MaxTraces = 16383;
inline constexpr int kSeg2BlockBytes = 208;  // trace descriptor; file strings region
inline constexpr int kSeg2FixedBytes = 32;   // file descriptor before the pointers

// One string block.
std::string Seg2StringBlock(const std::string& text);
// Writes one string block; the bytes written (L), 0 when the write failed.
size_t WriteSeg2String(const std::string& text, std::FILE* out);

// The file descriptor block, the trace pointers and the file strings with
// their zero fill (32 + 4 x traces + 208 bytes). Strings that would not fit
// the 208-byte region are left out.
std::string Seg2FileHeader(int traces, int samples, const std::vector<std::string>& fileStrings);
// A trace descriptor block (208 bytes) for `samples` float samples.
std::string Seg2TraceDescriptor(int samples, std::initializer_list<std::string_view> traceStrings);

// The open-file request of the export.
struct Seg2FileChoice {
    std::string defaultExt;
    std::string fileName;
    std::string filter;
    std::string initialDir;
    unsigned flags = 0;
};

struct Seg2ExportHooks {
    // Open-file dialog; nothing when cancelled (or no dialog).
    std::function<std::optional<std::string>(const Seg2FileChoice&)> chooseFile;
    // Modal box; returns the answer. None shows nothing.
    std::function<int(const std::string& text, unsigned type)> messageBox;
    // Stops the player or the recorder, clears the replay-loaded byte and
    // refreshes the recorder buttons.
    std::function<void()> stopPlayer;
    std::function<void()> refreshRecorderButtons;
    // The depth-range dialog, run modally on the export values; its result.
    std::function<int()> runRangeDialog;
    std::function<void(const std::string&)> statusText;  // status bar part 0
    std::function<void(bool show)> showProgress;         // progress bar shown, status bar hidden
    std::function<void(int percent)> progress;
    std::function<void()> pumpMessages;
    std::function<void(bool on)> waitCursor;
};

class Seg2Exporter {
public:
    static constexpr const char* kFilter = "Zenova Sonic (*.zne)|*.zne||";
    static constexpr const char* kMsgNoDataFile = "Data file not present.";
    static constexpr const char* kMsgTooShort = "The file must be contain minimal five record for export !!!";
    static constexpr const char* kMsgNoHeader = "I not find header file : ";  // + title + ".hed !!!"
    static constexpr const char* kMsgTroubleOpening = "Trouble opening file.";
    static constexpr const char* kTextChecking = "Check file - wait...";
    static constexpr const char* kTextExported = "File exported in SEG-2 format...";
    static constexpr const char* kTextFailed = "export file failled...";
    static constexpr const char* kTextExportedPart = "File exported in SEG-2 format: %lld of %lld records...";
    static constexpr const char* kMsgTraceLimit =
        "A SEG-2 file holds at most 16383 traces: the first %lld of the %lld records were exported.";
    static constexpr const char* kMsgNoFolder = "The SEG-2 folder cannot be created: ";  // + folder
    static constexpr const char* kMsgOutputIsLog = "A SEG-2 file cannot replace the log it is made from: ";  // + path
    static constexpr int64_t kMinDataBytes = 10000;

    // `first`, `last` and `step` are the application's export values (the
    // range dialog works on them); `posReplay` its replay position (may be null).
    Seg2Exporter(SettingsData& data, HeaderRecord& header, double& first, double& last, double& step,
                 std::atomic<int64_t>* posReplay, Seg2ExportHooks hooks);

    // The whole export, from the file choice to the status text.
    void ExportToSG2File();
    // The export of a chosen data file (steps after the file dialog and the stop of the player).
    // True when every file was written whole (a damaged record ends the files
    // early and gives false).
    bool ExportDataFile(const std::string& dataPath);

    // The trace of the record at the input's position (`again`: of the record
    // read last) in the file of each receiver that has one (`out`). The number
    // of extra traces needed to catch up with the record's depth, or -1 when
    // the record cannot be read (end of file, damage, another layout) or a
    // trace cannot be written.
    int WriteTraceBlock_SEG_2(std::FILE* in, bool again, std::FILE* const out[3], int recordSize, const int ns[3],
                              const int sampleInterval[3], double step);

    // Output names of the last export (empty where a receiver has no name yet).
    const std::string& OutputPath(int rx) const { return m_out[rx]; }
    // Traces written per receiver in the last export (-1: no file).
    int TracesWritten(int rx) const { return m_traces[rx]; }


private:
    int Box(const std::string& text, unsigned type) const;
    void Status(const std::string& text) const;
    void ReadHeader(const std::string& headerPath);
    std::vector<std::string> FileStrings(const std::string& title, int samples) const;
    // "The record at byte ... of the data file <what>: " + outcome.
    std::string DamageText(RecordStatus st, int64_t at, const std::string& outcome) const;
    // Ends a file planned for `planned` traces after `traces` of them.
    static bool ShortenFile(std::FILE* out, int traces, int planned, int samples,
                            const std::vector<std::string>& fileStrings);

    SettingsData& m_data;
    HeaderRecord& m_header;
    double& m_first;
    double& m_last;
    double& m_step;
    std::atomic<int64_t>* m_posReplay;
    Seg2ExportHooks m_hooks;

    int m_logMode = HEADER_LOG_TIME;
    bool m_firstTrace = true;
    double m_traceDepth = 0.0;
    std::string m_out[3];
    int m_traces[3] = {-1, -1, -1};
    RecordStatus m_failStatus = RecordStatus::Ok;
    int m_failedRx = -1;  // the receiver whose file could not be written
    DataFileRecord m_rec;  // the record read last
    std::string m_block;   // the trace block being written
};

}  // namespace zns
