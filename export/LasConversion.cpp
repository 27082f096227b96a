#include "export/LasConversion.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
#include <utility>

#include "link/Picker.h"
#include "platform/FileReplace.h"
#include "platform/NumText.h"
#include "platform/Paths.h"
#include "platform/WinUser.h"
#include "settings/Header.h"

namespace zns {
namespace {

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The most 1 mm nudges one step may need: a step is short by less than 1 cm.
constexpr int kMaxNudges = 1000;

// A depth in metres as the whole millimetres the records hold.
int64_t WholeMm(double m) {
    const double v = RoundHalfAway(m * 1000.0);
    return std::isnan(v) ? 0 : static_cast<int64_t>(std::clamp(v, -9.0e15, 9.0e15));
}

// Centimetres cut toward zero, as the depth modes cut theirs, from whole
// millimetres: in integers, so that no floating-point error moves a line.
int CutCm(int64_t mm) { return ToInt(static_cast<double>(mm / 10)); }

}  // namespace

void EncodeLasTempRecord(const LasTempRecord& r, uint8_t out[kLasTempRecordBytes]) {
    const auto d = static_cast<uint32_t>(r.depthCm);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(d >> (8 * i));
    Put16(out + 4, static_cast<uint16_t>(r.speed));
    Put16(out + 6, r.gamma);
    for (int rx = 0; rx < 3; ++rx) {
        out[8 + 3 * rx] = r.gain[rx];
        Put16(out + 9 + 3 * rx, r.travelTime[rx]);
    }
}

LasTempRecord DecodeLasTempRecord(const uint8_t in[kLasTempRecordBytes]) {
    LasTempRecord r;
    r.depthCm = static_cast<int32_t>(static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
                                     (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24));
    r.speed = static_cast<int16_t>(Get16(in + 4));
    r.gamma = Get16(in + 6);
    for (int rx = 0; rx < 3; ++rx) {
        r.gain[rx] = in[8 + 3 * rx];
        r.travelTime[rx] = Get16(in + 9 + 3 * rx);
    }
    return r;
}

LasConverter::LasConverter(LasExportHooks hooks) : m_hooks(std::move(hooks)) {}

int LasConverter::Ask(const std::string& text, unsigned type) const {
    if (m_hooks.messageBox) return m_hooks.messageBox(text, type);
    if ((type & MB_TYPEMASK) == MB_YESNO) return (type & MB_DEFMASK) == MB_DEFBUTTON2 ? IDNO : IDYES;
    return IDOK;
}

int LasConverter::IntervalMm() const { return ToInt(RoundHalfAway(step * 1000.0)); }

void LasConverter::SetInput(const std::string& dataPath, const std::string& programDir) {
    inputPath = dataPath;
    const std::string lasDir = JoinPath(DirPart(dataPath), "LAS");
    MakeDirs(lasDir);
    outputPath = JoinPath(lasDir, FileTitle(dataPath) + ".las");
    tempPath = JoinPath(programDir, kLasTempFile);
}

LasConverter::Load LasConverter::LoadLog(const HeaderRecord& h) {
    m_header = &h;
    mode = RecordingModeFromHeaderLogMode(h.LogMode);
    const int64_t length = FileSize(inputPath);
    FilePtr file(std::fopen(inputPath.c_str(), "rb"));
    if (!file || length < 0) return Load::OpenFailed;

    const double sondeM = h.SondeLength / 100.0;
    DataFileRecord rec;
    const int size = ReadDataRecord(file.get(), rec);
    if (size <= 0) return Load::Invalid;  // not even a first record
    first = rec.depthMm / 1000.0;
    if (mode == LAS_MODE_DOWN) first -= sondeM;
    recordSize = size;
    const int64_t slots = length / recordSize - 1;
    if (slots <= 0) return Load::Invalid;
    recordCount = static_cast<int>(std::min<int64_t>(slots, INT32_MAX / 2));
    from = first;

    // The last whole slot; a damaged one gives way to the one before it.
    int lastIndex = recordCount;
    bool found = false;
    for (; lastIndex > 0; --lastIndex) {
        if (fseeko(file.get(), static_cast<off_t>(lastIndex) * recordSize, SEEK_SET) != 0) continue;
        if (ReadDataRecord(file.get(), rec) > 0) {
            found = true;
            break;
        }
    }
    file.reset();
    if (!found) return Load::Invalid;
    recordCount = lastIndex;
    last = rec.depthMm / 1000.0;
    if (mode == LAS_MODE_UP) last -= sondeM;
    to = last;

    if (mode == LAS_MODE_TIME) {
        const double span = std::fabs(first - last);
        stepSize = span / recordCount;
        step = RoundHalfAway(1000.0 * span / recordCount) / 1000.0;
        if (last < first) step = -step;
        sondeShift = 0;
    } else {
        // A depth log without a positive step cannot be laid out in depth steps.
        if (h.step <= 0) return Load::Invalid;
        stepSize = h.step / 100.0;
        step = mode == LAS_MODE_UP ? -stepSize : stepSize;
        sondeShift = std::max(0, ToInt(RoundHalfAway(h.SondeLength / (stepSize * 100.0))));
    }
    // A time log gives one line per record, the last one included; a depth
    // log one per step up to the sonde's length past its last record.
    const int64_t lines = static_cast<int64_t>(recordCount) + (mode == LAS_MODE_TIME ? 1 : sondeShift);
    lineCount = static_cast<int>(std::min<int64_t>(lines, INT32_MAX));
    return Load::Ok;
}

bool LasConverter::ValidateDepthRange(double& value, bool isFrom, std::string* message) const {
    const double before = value;
    if (last > first) {
        if (isFrom) {
            if (value < first)
                value = first;
            else if (value > to)
                value = to - stepSize;
        } else {
            if (value > last)
                value = last;
            else if (value < first)
                value = first + stepSize;
        }
    } else {
        if (isFrom) {
            if (value > first)
                value = first;
            else if (value < last)
                value = last + stepSize;
        } else {
            if (value < last)
                value = last;
            else if (value > first)
                value = first - stepSize;
        }
    }
    if (value == before) return true;
    if (message) *message = Format("Bad entry value (begining %#.2f ending %#.2f) \n", first, last);
    return false;
}

int LasConverter::TimeLineCm(int i) const { return CutCm(WholeMm(first) + static_cast<int64_t>(i) * IntervalMm()); }

int LasConverter::TimeLinesBefore(int cm, bool orAt) const {
    const double dir = step > 0.0 ? 1.0 : -1.0;
    const auto before = [&](int i) {
        const double d = dir * (TimeLineCm(i) - cm);
        return orAt ? d <= 0.0 : d < 0.0;
    };
    // From an estimate, then line by line to where the depths pass `cm`.
    const double guess = std::ceil((cm / 100.0 - first) / step);
    int n = static_cast<int>(std::clamp(guess, 0.0, static_cast<double>(lineCount)));
    while (n > 0 && !before(n - 1)) --n;
    while (n < lineCount && before(n)) ++n;
    return n;
}

void LasConverter::LineRange(int& i0, int& i1) const {
    if (mode == LAS_MODE_TIME && step != 0.0) {
        // The lines whose depth, as the depth column holds it, lies between
        // From and To; To at the log's end keeps the last line, which the step
        // in whole millimetres may carry a little past it.
        const int toCm = CutCm(WholeMm(to));
        const bool toEnd = (step > 0.0 ? 1 : -1) * (toCm - CutCm(WholeMm(last))) >= 0;
        i0 = TimeLinesBefore(CutCm(WholeMm(from)), false);
        i1 = toEnd ? lineCount - 1 : TimeLinesBefore(toCm, true) - 1;
    } else if (stepSize > 0.0 && mode != LAS_MODE_TIME) {
        // The line at L lies one past the sonde's trailing records.
        i0 = ToInt(std::fabs(from - first) / stepSize);
        i1 = ToInt(lineCount - std::fabs(last - to) / stepSize);
    } else {
        // A time log without a step (it hardly moved): every line.
        i0 = 0;
        i1 = lineCount - 1;
    }
    i1 = std::min(i1, lineCount - 1);
}

bool LasConverter::RefuseOutput() {
    if (!SameFile(outputPath, inputPath) && !SameFile(outputPath, HeaderPathForDataFile(inputPath))) return false;
    Ask(kMsgOutputIsLog + outputPath, MB_OK | MB_ICONERROR);
    return true;
}

LasConverter::Range LasConverter::CheckRange() {
    Range r = Range::Ok;
    if (last > first ? from > to : from < to) {
        std::swap(from, to);
        r = Range::Swapped;
    }
    int i0 = 0, i1 = 0;
    LineRange(i0, i1);
    if (i1 >= i0) return r;
    Ask(Format(kMsgEmptyRange, from, to, first, last), MB_OK | MB_ICONERROR);
    return Range::Empty;
}

void LasConverter::SensorShifts(int shift[4], int& sondeRecords) const {
    sondeRecords = 0;
    for (int s = 0; s < 4; ++s) shift[s] = 0;
    if (mode == LAS_MODE_TIME || stepSize <= 0.0 || !m_header) return;
    const double perRecordCm = stepSize * 100.0;
    sondeRecords = ToInt(m_header->SondeLength / perRecordCm);
    const int offsets[4] = {m_header->OffsetGamma, m_header->OffsetRx1, m_header->OffsetRx2, m_header->OffsetRx3};
    for (int s = 0; s < 4; ++s) shift[s] = ToInt(sondeRecords - offsets[s] / perRecordCm);
}

int LasConverter::ReadDataRecord(std::FILE* file, DataFileRecord& rec, RecordStatus* status) {
    size_t size = 0;
    const RecordStatus st = ReadRecord(file, rec, &size);
    if (status) *status = st;
    return st == RecordStatus::Ok ? static_cast<int>(size) : -1;
}

bool LasConverter::ReadTempRecord(std::FILE* file, LasTempRecord& rec) {
    uint8_t buf[kLasTempRecordBytes];
    if (std::fread(buf, 1, sizeof buf, file) != sizeof buf) return false;
    rec = DecodeLasTempRecord(buf);
    return true;
}

bool LasConverter::WriteTempRecord(std::FILE* file, const LasTempRecord& rec) {
    uint8_t buf[kLasTempRecordBytes];
    EncodeLasTempRecord(rec, buf);
    return std::fwrite(buf, 1, sizeof buf, file) == sizeof buf;
}

void LasConverter::ReadShiftedSample(std::FILE* file, int index, const int shift[4], double values[9]) const {
    for (int i = 0; i < 9; ++i) values[i] = kLasNull;
    auto readAt = [file](int64_t i, LasTempRecord& r) {
        if (i < 0) return false;
        if (fseeko(file, static_cast<off_t>(i * static_cast<int64_t>(kLasTempRecordBytes)), SEEK_SET) != 0)
            return false;
        return ReadTempRecord(file, r);
    };
    LasTempRecord r;
    if (!readAt(index, r)) return;
    values[0] = r.depthCm / 100.0;
    values[1] = r.speed / 100.0;
    LasTempRecord g;
    if (readAt(static_cast<int64_t>(index) - shift[0], g) && g.gamma < 65535) values[2] = g.gamma * 0.25 * gammaCoef;
    for (int rx = 0; rx < 3; ++rx) {
        LasTempRecord x;
        if (!readAt(static_cast<int64_t>(index) - shift[1 + rx], x)) continue;
        if (x.gain[rx] < 255) values[3 + 2 * rx] = x.gain[rx];
        if (x.travelTime[rx] < 65535) values[4 + 2 * rx] = x.travelTime[rx];
    }
}

uint16_t LasConverter::ComputeTravelTime(int receiver, uint8_t code, const int16_t* samples) const {
    if (receiver < 1 || receiver > 3 || !samples) return kNoPick;
    const int r = receiver - 1;
    const int level = std::abs(manual.threshold[r] + 127);
    int count = 0, interval = 0;
    switch (TraceCodeOf(code, r)) {
        case 1: count = 256, interval = 4; break;
        case 2: count = 512, interval = 4; break;
        case 3: count = 512, interval = 8; break;
        default: return kNoPick;
    }
    const int pick = PickFirstArrival(samples, interval, count, manual.start[r], manual.end[r], level);
    return pick < 0 || pick > 65535 ? kNoPick : static_cast<uint16_t>(pick);
}

bool LasConverter::WriteHeaderAscFile(std::FILE* out, double startDepth, double stopDepth) {
    try {
        static const HeaderRecord kEmpty{};
        const std::string text =
            LasHeaderText(m_header ? *m_header : kEmpty, channels, mode, step, reverse, startDepth, stopDepth);
        if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
            m_writeFailed = true;
            return false;
        }
        return true;
    } catch (const std::exception&) {
        TraceException("CLasExport::WriteHeaderAscFile", "LasExport", __LINE__);
        return false;
    }
}

bool LasConverter::WriteLineAscFile(std::FILE* out, const double values[9]) {
    try {
        const std::string text = LasLineText(channels, values);
        if (text.empty()) return false;
        if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
            m_writeFailed = true;
            return false;
        }
        return true;
    } catch (const std::exception&) {
        TraceException("CLasExport::WriteLineAscFile", "LasExport", __LINE__);
        return false;
    }
}

bool LasConverter::Pass1() {
    // The work file starts empty even when an old one could not be deleted.
    FilePtr temp(std::fopen(tempPath.c_str(), "wb"));
    FilePtr in(std::fopen(inputPath.c_str(), "rb"));
    if (!temp || !in) {
        Ask(kMsgTroubleOpening, MB_OK | MB_ICONERROR);
        m_result = Result::OpenFailed;
        return false;
    }
    const double sondeM = m_header ? m_header->SondeLength / 100.0 : 0.0;
    expected = first - step;
    int counter = 0;
    int16_t lastSpeed = 0;
    DataFileRecord rec;
    while (!m_stop) {
        const int64_t pos = ftello(in.get());
        if (m_posReplay) m_posReplay->store(pos);
        RecordStatus st = RecordStatus::Ok;
        if (ReadDataRecord(in.get(), rec, &st) < 0) {
            if (st != RecordStatus::EndOfFile) {
                m_damage = st;
                m_damageAt = pos;
            }
            break;
        }
        lastSpeed = rec.speed;
        double depth = rec.depthMm / 1000.0;
        if (mode != LAS_MODE_UP) depth -= sondeM;

        int k = 1;
        if (mode != LAS_MODE_TIME && stepSize > 0.0) {
            k = ToInt(RoundHalfAway(std::fabs(depth - expected) / stepSize));
            if (k > 3 && Ask(kMsgFileCorrupted, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES) {
                m_stop = true;
                m_operatorStop = true;
                k = 0;
            }
        }

        LasTempRecord t;
        t.speed = rec.speed;
        t.gamma = rec.gamma;
        for (int rx = 0; rx < 3; ++rx) {
            t.gain[rx] = rec.gain[rx];
            t.travelTime[rx] =
                manual.use[rx] ? ComputeTravelTime(rx + 1, rec.traceByte, rec.trace[rx].data()) : rec.travelTime[rx];
        }
        for (int j = 0; j < k; ++j) {
            if (mode == LAS_MODE_TIME) {
                // Lines evenly spaced by the step from the first depth: a step of
                // whole millimetres raised to centimetres would drift off the records.
                expected = first + counter * step;
                t.depthCm = TimeLineCm(counter);
            } else {
                const int p = ToInt(expected * 100.0);
                expected += step;
                // Each written depth lies at least one whole step (in cm) past the one before.
                for (int n = 0; n < kMaxNudges && step * 100.0 > std::trunc(expected * 100.0) - p; ++n)
                    expected += 0.001;
                t.depthCm = ToInt(expected * 100.0);
            }
            if (!WriteTempRecord(temp.get(), t)) {
                m_writeFailed = true;
                m_stop = true;
                break;
            }
        }
        if (++counter >= lineCount) m_stop = true;
    }
    in.reset();

    // The sonde's length past the last record: depths only.
    LasTempRecord tail;
    tail.speed = lastSpeed;
    for (int j = 0; j < sondeShift && !m_writeFailed; ++j) {
        expected += step;
        tail.depthCm = ToInt(expected * 100.0);
        if (!WriteTempRecord(temp.get(), tail)) m_writeFailed = true;
    }
    if (std::fclose(temp.release()) != 0) m_writeFailed = true;
    if (m_writeFailed) {
        m_result = Result::WriteFailed;
        return false;
    }
    return true;
}

bool LasConverter::Pass2(std::FILE* out) {
    FilePtr temp(std::fopen(tempPath.c_str(), "rb"));
    if (!temp) {
        Ask(kMsgTroubleOpening, MB_OK | MB_ICONERROR);
        m_result = Result::OpenFailed;
        return false;
    }
    int shift[4];
    int sondeRecords = 0;
    SensorShifts(shift, sondeRecords);
    if (mode == LAS_MODE_UP)
        for (int s = 0; s < 4; ++s) shift[s] = sondeRecords - shift[s];

    int i0 = 0, i1 = 0;
    LineRange(i0, i1);
    // When pass 1 ended early the range ends with the work file, so that the
    // stop depth is that of the last line written.
    const int64_t tempRecords = FileSize(tempPath) / static_cast<int64_t>(kLasTempRecordBytes);
    if (tempRecords > 0 && i1 >= tempRecords) i1 = static_cast<int>(tempRecords - 1);
    const int firstLine = reverse ? i1 : i0;
    const int lastLine = reverse ? i0 : i1;
    double values[9];
    ReadShiftedSample(temp.get(), firstLine, shift, values);
    const double start = values[0] == kLasNull ? (reverse ? to : from) : values[0];
    ReadShiftedSample(temp.get(), lastLine, shift, values);
    const double stop = values[0] == kLasNull ? (reverse ? from : to) : values[0];
    WriteHeaderAscFile(out, start, stop);

    if (!reverse) {
        for (int i = i0; i <= i1 && !m_writeFailed; ++i) {
            ReadShiftedSample(temp.get(), i, shift, values);
            if (WriteLineAscFile(out, values)) ++m_lines;
        }
    } else {
        for (int i = i1; i >= i0 && !m_writeFailed; --i) {
            ReadShiftedSample(temp.get(), i, shift, values);
            if (WriteLineAscFile(out, values)) ++m_lines;
        }
    }
    if (m_writeFailed) {
        m_result = Result::WriteFailed;
        return false;
    }
    return true;
}

std::string LasConverter::NoLinesText() const {
    if (m_damageAt < 0) return kMsgNoLines;
    return Format(kMsgDamagedBeforeRange, static_cast<long long>(m_damageAt));
}

bool LasConverter::ReadDataFile(std::FILE* out) {
    m_stop = false;
    m_writeFailed = false;
    m_operatorStop = false;
    m_damage = RecordStatus::Ok;
    m_damageAt = -1;
    m_lines = 0;
    m_result = Result::Completed;
    try {
        gammaCoef = m_header ? m_header->GammaCoef : 1.0;
        if (!Pass1() || !Pass2(out)) return false;
    } catch (const std::exception&) {
        TraceException("CLasExport::ReadDataFile", "LasExport", __LINE__);
        m_result = Result::WriteFailed;
        return false;
    }
    if (m_damage != RecordStatus::Ok)
        m_result = Result::Damaged;
    else if (m_operatorStop)
        m_result = Result::Stopped;
    return true;
}

LasConverter::Result LasConverter::GenerateFile() {
    m_lines = 0;
    // Refusals come before anything is deleted.
    if (RefuseOutput()) return m_result = Result::OutputIsLog;
    if (CheckRange() == Range::Empty) return m_result = Result::EmptyRange;
    RemoveFile(tempPath);
    // Replaces the earlier file only once whole and on disk.
    SweepLeftovers(DirPart(outputPath));  // what an interrupted export left
    ReplacingFile out(outputPath);
    if (!out.File()) return m_result = Result::OutputOpenFailed;
    // A file the conversion could not finish is not left behind as if it were
    // the log, nor a header without a single line.
    if (!ReadDataFile(out.File()))
        return m_result;
    if (m_lines == 0)
        m_result = Result::NoLines;
    else if (!out.Commit())
        m_result = Result::WriteFailed;
    return m_result;
}

}  // namespace zns
