#pragma once
// The LAS export's engine: loading a recorded log (its depth range, step and
// sonde shift) and converting it in two passes into a LAS 2.0 file.
//
// Pass 1 reads the ".zne" records and writes one 17-byte LasTempRecord per
// depth step into the work file "las.tmp" (a record that advanced several steps
// is repeated; depths are corrected by the sonde length; travel times may be
// picked again from the stored waveforms). Pass 2 writes one LAS line per depth
// step of the chosen range, taking the gamma and each receiver's values from
// the record in which that sensor stood at the line's depth.
//
// GUI thread (the dialog runs it); boxes go through the hooks.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "export/LasFile.h"
#include "link/ToolsStream.h"
#include "settings/Header.h"

namespace zns {

inline constexpr const char* kLasTempFile = "las.tmp";
inline constexpr size_t kLasTempRecordBytes = 17;

// One depth step of the work file (little-endian, no gaps):
// i32 depth cm, i16 speed x 100, u16 gamma, then per receiver u8 gain, u16 travel time.
struct LasTempRecord {
    int32_t depthCm = 0;
    int16_t speed = 0;
    uint16_t gamma = 65535;
    uint8_t gain[3] = {255, 255, 255};
    uint16_t travelTime[3] = {65535, 65535, 65535};
};
void EncodeLasTempRecord(const LasTempRecord& r, uint8_t out[kLasTempRecordBytes]);
LasTempRecord DecodeLasTempRecord(const uint8_t in[kLasTempRecordBytes]);

// Manual first-arrival windows of the three receivers, as the dialog's edits
// hold them when the export starts.
struct LasManualPick {
    bool use[3] = {false, false, false};
    int threshold[3] = {10, 10, 10};  // -127..127
    int start[3] = {100, 100, 100};   // us
    int end[3] = {200, 200, 200};     // us
};

struct LasExportHooks {
    // Modal box; returns the answer. None answers the default button.
    std::function<int(const std::string& text, unsigned type)> messageBox;
};

class LasConverter {
public:
    static constexpr const char* kMsgTroubleOpening = "Trouble opening file.";
    static constexpr const char* kMsgFileCorrupted =
        "File corrupted !!!,\ndo you want stop the migration and use actual ripped file ?";
    static constexpr const char* kMsgOutputIsLog =
        "The LAS file cannot replace the log it is made from:\n\n ";  // + output path
    static constexpr const char* kMsgEmptyRange =
        "No line of the log lies between From %.2f and To %.2f (the log runs from %.2f to %.2f): "
        "choose a wider range.";
    static constexpr const char* kMsgNoLines =
        "No line of the log was written: the data file ends before the chosen range.";
    static constexpr const char* kMsgDamagedBeforeRange =
        "The record at byte %lld of the data file is damaged: it and the records after it cannot be exported, "
        "and the chosen range lies after it. No LAS file is written.";

    enum class Load {
        Ok,
        OpenFailed,  // the data file cannot be opened
        Invalid,     // fewer than two readable records, or a depth log without a step
    };
    enum class Result {
        Completed,        // both passes ran over the whole range
        Stopped,          // the operator stopped at a suspicious depth jump; the part read is exported
        Damaged,          // a damaged record ended pass 1; the records before it are exported
        OpenFailed,       // the data or work file could not be opened ("Trouble opening file.")
        OutputOpenFailed, // the LAS file could not be created
        WriteFailed,      // writing the work file or the LAS file failed
        OutputIsLog,      // the output is the data file or its header: refused, nothing touched
        EmptyRange,       // the chosen range holds no line: refused, nothing touched
        NoLines,          // the passes ran but wrote no line (the log ends before the range)
    };
    enum class Range {
        Ok,
        Swapped,  // From and To lay against the log's direction and have been swapped
        Empty,    // the range holds no line
    };

    explicit LasConverter(LasExportHooks hooks = {});

    // ---- the loaded log (set by LoadLog) ----------------------------------
    std::string inputPath;
    std::string outputPath;
    std::string tempPath;
    double first = 0.0;     // F: depth of the first record (sonde-corrected in Down mode)
    double from = 0.0;      // chosen range
    double last = 0.0;      // L: depth of the last record (sonde-corrected in Up mode)
    double to = 0.0;
    double step = 0.0;      // S, signed (m)
    double stepSize = 0.0;  // |S|
    double expected = 0.0;  // E
    int lineCount = 0;      // N
    int sondeShift = 0;     // T, records
    int recordCount = 0;    // count: records less one
    bool reverse = false;
    int recordSize = 27;
    int mode = LAS_MODE_TIME;
    double gammaCoef = 1.0;
    // Signed interval shown by the dialog (mm).
    int IntervalMm() const;

    // ---- choices of the operator ------------------------------------------
    LasChannels channels;
    LasManualPick manual;

    // The data file and the default output beside it ("LAS/" + title + ".las",
    // the folder is created). The work file is `programDir` + "las.tmp".
    void SetInput(const std::string& dataPath, const std::string& programDir);
    // Reads the first and the last record and sets the range, step and shift
    // from `header` (kept for the conversion; it must outlive it).
    Load LoadLog(const HeaderRecord& header);
    const HeaderRecord* Header() const { return m_header; }

    // Keeps From (isFrom) or To inside the log. False when `value` was outside
    // and has been replaced; `message` then holds the box text.
    bool ValidateDepthRange(double& value, bool isFrom, std::string* message = nullptr) const;

    // True when outputPath is the data file or its header file, however the
    // path is spelled; the box has been shown then.
    bool RefuseOutput();
    // From and To against the log: swapped when they lie against its
    // direction; Empty (with its box) when no line lies between them.
    Range CheckRange();

    // Refuses an output that is the log itself or an empty range before
    // anything is deleted; else deletes the work file, writes the LAS file at
    // outputPath (replacing any file there) and runs both passes into it.
    // Anything but Completed, Stopped and Damaged leaves no output.
    Result GenerateFile();
    // Data lines written by the last conversion.
    int LinesWritten() const { return m_lines; }

    // Both passes into `out`. True when both passes ran (Completed, Stopped
    // or Damaged).
    bool ReadDataFile(std::FILE* out);
    Result LastResult() const { return m_result; }
    // Where the damaged record met by pass 1 starts (bytes) and what it was.
    int64_t DamageOffset() const { return m_damageAt; }
    RecordStatus DamageStatus() const { return m_damage; }
    // The box text of NoLines: where pass 1 met a damaged record, if it did.
    std::string NoLinesText() const;

    // One record at the file's position: its size, or -1 at the end of the
    // file, on a short record or a check mismatch (`status` tells which).
    int ReadDataRecord(std::FILE* file, DataFileRecord& rec, RecordStatus* status = nullptr);
    static bool ReadTempRecord(std::FILE* file, LasTempRecord& rec);
    static bool WriteTempRecord(std::FILE* file, const LasTempRecord& rec);
    // The nine values of line `index` (null where a sensor has no record).
    void ReadShiftedSample(std::FILE* file, int index, const int shift[4], double values[9]) const;
    // Travel time of receiver 1..3 picked again with the manual window.
    uint16_t ComputeTravelTime(int receiver, uint8_t code, const int16_t* samples) const;

    bool WriteHeaderAscFile(std::FILE* out, double startDepth, double stopDepth);
    bool WriteLineAscFile(std::FILE* out, const double values[9]);

    // The replay position (m_posReplay) the first pass keeps; may be null.
    void SetReplayPosition(std::atomic<int64_t>* pos) { m_posReplay = pos; }

private:
    int Ask(const std::string& text, unsigned type) const;
    // First and last line index of the chosen range (inclusive, first <= last unless empty).
    void LineRange(int& i0, int& i1) const;
    // Time mode: the depth of line `i` in cm, and how many lines lie before
    // depth `cm` (or at it, with `orAt`) along the log.
    int TimeLineCm(int i) const;
    int TimeLinesBefore(int cm, bool orAt) const;
    void SensorShifts(int shift[4], int& sondeRecords) const;
    bool Pass1();
    bool Pass2(std::FILE* out);

    LasExportHooks m_hooks;
    const HeaderRecord* m_header = nullptr;
    std::atomic<int64_t>* m_posReplay = nullptr;
    bool m_stop = false;
    bool m_writeFailed = false;
    bool m_operatorStop = false;
    int m_lines = 0;
    Result m_result = Result::Completed;
    RecordStatus m_damage = RecordStatus::Ok;
    int64_t m_damageAt = -1;
};

}  // namespace zns
