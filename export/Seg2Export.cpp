#include "export/Seg2Export.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <exception>
#include <memory>

#include <unistd.h>

#include "link/Picker.h"
#include "platform/CodePage.h"
#include "platform/FileReplace.h"
#include "platform/NumText.h"
#include "platform/Paths.h"
#include "platform/WinUser.h"
#include "settings/Ini.h"

namespace zns {
namespace {

void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Appends string blocks at `at` while they fit before `end`; a string that
// would run past the block is left out rather than overwrite what follows.
template <class Strings>
void PutStrings(std::string& b, size_t at, size_t end, const Strings& strings) {
    for (std::string_view s : strings) {
        s = s.substr(0, 0xFFFF - 3);
        if (at + s.size() + 3 > end) continue;
        Put16(b, at, static_cast<uint16_t>(s.size() + 3));
        std::memcpy(&b[at + 2], s.data(), s.size());
        b[at + 2 + s.size()] = '\0';
        at += s.size() + 3;
    }
}

// A trace block into `b`: the descriptor, then the samples (if any) as
// little-endian floats of the same values, built in one pass (the export's inner loop).
void PutTrace(std::string& b, int samples, std::initializer_list<std::string_view> strings, const int16_t* data) {
    samples = std::max(samples, 0);
    b.assign(kSeg2BlockBytes + (data ? 4 * static_cast<size_t>(samples) : 0), '\0');
    Put16(b, 0, kSeg2TraceId);
    Put16(b, 2, kSeg2BlockBytes);
    Put32(b, 4, 4u * static_cast<uint32_t>(samples));
    Put32(b, 8, static_cast<uint32_t>(samples));
    b[12] = 4;  // 32-bit IEEE float
    PutStrings(b, kSeg2FixedBytes, kSeg2BlockBytes, strings);
    char* p = b.data() + kSeg2BlockBytes;
    for (int i = 0; data && i < samples; ++i, p += 4) {
        const uint32_t v = std::bit_cast<uint32_t>(static_cast<float>(data[i]));
        const unsigned char le[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                     static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        std::memcpy(p, le, 4);
    }
}

std::string Trimmed(const std::string& s) {
    const char* blanks = " \t\r\n\v\f";
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

bool HasExtensionNoCase(const std::string& path, const char* ext) {
    const std::string name = FilePart(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string e = name.substr(dot + 1);
    if (e.size() != std::strlen(ext)) return false;
    for (size_t i = 0; i < e.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(e[i])) != std::tolower(static_cast<unsigned char>(ext[i])))
            return false;
    return true;
}

std::string FolderOf(const std::string& path) {
    std::string dir = DirPart(path);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

// Runs a hook pair around a scope (wait cursor).
class HookScope {
public:
    explicit HookScope(const std::function<void(bool)>& hook) : m_hook(hook) {
        if (m_hook) m_hook(true);
    }
    ~HookScope() {
        if (m_hook) m_hook(false);
    }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;

private:
    const std::function<void(bool)>& m_hook;
};

}  // namespace

std::string Seg2StringBlock(const std::string& text) {
    std::string b(std::min<size_t>(text.size(), 0xFFFF - 3) + 3, '\0');
    PutStrings(b, 0, b.size(), std::initializer_list<std::string_view>{text});
    return b;
}

size_t WriteSeg2String(const std::string& text, std::FILE* out) {
    const std::string b = Seg2StringBlock(text);
    return std::fwrite(b.data(), 1, b.size(), out) == b.size() ? b.size() : 0;
}

std::string Seg2FileHeader(int traces, int samples, const std::vector<std::string>& fileStrings) {
    traces = std::clamp(traces, 0, kSeg2MaxTraces);
    const size_t m = 4 * static_cast<size_t>(traces);
    std::string b(kSeg2FixedBytes + m + kSeg2BlockBytes, '\0');
    Put16(b, 0, kSeg2FileId);
    Put16(b, 2, 1);
    Put16(b, 4, static_cast<uint16_t>(m));
    Put16(b, 6, static_cast<uint16_t>(traces));
    b[8] = 1;           // string terminator: one byte,
    b[9] = 0;           // NUL
    b[10] = 0;
    b[11] = 2;          // line terminator: CR LF
    b[12] = '\r';
    b[13] = '\n';
    b[14] = static_cast<char>(0xFF);
    b[15] = static_cast<char>(0xFF);
    const uint32_t traceBytes = kSeg2BlockBytes + 4u * static_cast<uint32_t>(std::max(samples, 0));
    for (int k = 0; k < traces; ++k)
        Put32(b, kSeg2FixedBytes + 4 * static_cast<size_t>(k),
              static_cast<uint32_t>(kSeg2FixedBytes + kSeg2BlockBytes + m) + static_cast<uint32_t>(k) * traceBytes);
    PutStrings(b, kSeg2FixedBytes + m, b.size(), fileStrings);
    return b;
}

std::string Seg2TraceDescriptor(int samples, std::initializer_list<std::string_view> traceStrings) {
    std::string b;
    PutTrace(b, samples, traceStrings, nullptr);
    return b;
}

// ---------------------------------------------------------------------------

Seg2Exporter::Seg2Exporter(SettingsData& data, HeaderRecord& header, double& first, double& last, double& step,
                           std::atomic<int64_t>* posReplay, Seg2ExportHooks hooks)
    : m_data(data),
      m_header(header),
      m_first(first),
      m_last(last),
      m_step(step),
      m_posReplay(posReplay),
      m_hooks(std::move(hooks)) {}

int Seg2Exporter::Box(const std::string& text, unsigned type) const {
    return m_hooks.messageBox ? m_hooks.messageBox(text, type) : IDOK;
}

void Seg2Exporter::Status(const std::string& text) const {
    if (m_hooks.statusText) m_hooks.statusText(text);
}

void Seg2Exporter::ExportToSG2File() {
    try {
        FilePaths& fp = m_data.files;
        std::string programDir = FixedFieldText(fp.szProgramDir);
        if (programDir.empty()) programDir = ProgramDir();

        Seg2FileChoice req;
        req.defaultExt = ".zne";
        req.fileName = "*.zne";
        req.filter = kFilter;
        req.flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
        const std::string dataFile = FixedFieldText(fp.szDataFile);
        if (dataFile.size() < 4) {
            const std::string demo = JoinPath(programDir, "Demo");
            MakeDirs(demo);
            SetFixedField(fp.szFilePath, demo);
        }
        const std::string folder = FixedFieldText(fp.szFilePath);
        if (!folder.empty() && DirExists(folder)) req.initialDir = folder;
        if (FileExists(dataFile)) req.fileName = dataFile;

        std::optional<std::string> chosen;
        if (m_hooks.chooseFile) chosen = m_hooks.chooseFile(req);
        if (!chosen || chosen->empty()) return;

        if (m_hooks.stopPlayer) m_hooks.stopPlayer();
        ExportDataFile(*chosen);
    } catch (const std::exception&) {
        if (m_hooks.showProgress) m_hooks.showProgress(false);
        TraceException("CToolsStream::ExportToSG2File", "ToolsStream", __LINE__);
        Status(kTextFailed);
    }
}

void Seg2Exporter::ReadHeader(const std::string& headerPath) {
    CIni ini(headerPath, "General", TRUE);
    HeaderRecord& h = m_header;
    h.SondeLength = HeaderSondeLength(ini.GetInt("SondeLength", 204));
    h.OffsetGamma = ini.GetInt("OffsetGamma", 180);
    h.GammaCoef = ini.GetFloat("GammaCoef", 1.0f);
    h.RXNumber = ini.GetInt("RXNumber", 3);
    h.OffsetRx1 = ini.GetInt("OffsetRx1", 50);
    h.OffsetRx2 = ini.GetInt("OffsetRx2", 100);
    h.OffsetRx3 = ini.GetInt("OffsetRx3", 150);
    h.Rx1_Name = ini.GetString("Rx1_Name", "_Rx1");
    h.Rx2_Name = ini.GetString("Rx2_Name", "_Rx2");
    h.Rx3_Name = ini.GetString("Rx3_Name", "_Rx3");
    ini.SetSection("WellInfo");
    h.LogMode = ini.GetInt("LogMode", HEADER_LOG_TIME);
    h.step = ini.GetInt("step", 5);
    h.Company = ini.GetString("Company", "");
    h.LogDatum = ini.GetString("LogDatum", "");
    h.Project = ini.GetString("Project", "");
}

std::vector<std::string> Seg2Exporter::FileStrings(const std::string& title, int samples) const {
    std::vector<std::string> s;
    s.push_back("ACQUISITION_DATE " + m_header.LogDatum.substr(0, 15));
    s.push_back("COMPANY " + m_header.Company.substr(0, 15));
    if (RecordingModeFromHeaderLogMode(m_logMode) != RECMODE_TIME)
        s.push_back(Format("SPR_LINE_SEPARATION %d", m_header.step));
    s.push_back(Format("SPR_SAMPLES_PER_SCAN %d", samples));
    s.push_back("UNITS METERS");
    s.push_back("NOTE LOG_TITLE:" + ToCp1252(title).substr(0, 32) + " LOG_UNIT: \xB5sec");
    return s;
}

std::string Seg2Exporter::DamageText(RecordStatus st, int64_t at, const std::string& outcome) const {
    const char* what = "cannot be read";
    switch (st) {
        case RecordStatus::BadCheck: what = "has a wrong check sum"; break;
        case RecordStatus::Truncated: what = "is cut short"; break;
        case RecordStatus::EndOfFile: what = "is missing"; break;
        case RecordStatus::Ok: what = "has another trace layout than the first record"; break;
        default: break;
    }
    return Format("The record at byte %lld of the data file %s: ", static_cast<long long>(at), what) + outcome;
}

bool Seg2Exporter::ExportDataFile(const std::string& dataPath) {
    for (int rx = 0; rx < 3; ++rx) {
        m_out[rx].clear();
        m_traces[rx] = -1;
    }
    FilePaths& fp = m_data.files;
    std::string programDir = FixedFieldText(fp.szProgramDir);
    if (programDir.empty()) programDir = ProgramDir();

    const std::string folder = FolderOf(dataPath);
    const std::string title = FileTitle(dataPath);
    const std::string headerPath = HeaderPathForDataFile(dataPath);
    // A header chosen in place of its data file is not a data file.
    if (!FileExists(dataPath) || HasExtensionNoCase(dataPath, "hed")) {
        Box(kMsgNoDataFile, MB_OK);
        if (m_hooks.refreshRecorderButtons) m_hooks.refreshRecorderButtons();
        return false;
    }

    HookScope wait(m_hooks.waitCursor);
    // The chosen log becomes the current one; a name too long for the fields
    // leaves the previous one whole.
    const std::string tempDir = JoinPath(programDir, "temp");
    if (dataPath.size() < kPathFieldSize && headerPath.size() < kPathFieldSize && folder.size() < kPathFieldSize &&
        title.size() + 4 < kNameFieldSize && tempDir.size() < kPathFieldSize) {
        SetFixedField(fp.szDataFile, dataPath);
        SetFixedField(fp.szLastFile, headerPath);
        SetFixedField(fp.szFileName, title + ".zne");
        SetFixedField(fp.szHeaderName, title + ".hed");
        SetFixedField(fp.szFilePath, folder);
        SetFixedField(fp.szTempDir, tempDir);
    }

    const int64_t length = FileSize(dataPath);
    if (length < kMinDataBytes) {
        Box(kMsgTooShort, MB_OK);
        return false;
    }
    if (!FileExists(headerPath)) {
        Box(std::string(kMsgNoHeader) + title + ".hed !!!", MB_OK);
        return false;
    }
    Status(kTextChecking);
    ReadHeader(headerPath);

    const std::string seg2Dir = JoinPath(folder, "SEG2");
    if (!MakeDirs(seg2Dir)) {
        Box(kMsgNoFolder + seg2Dir, MB_OK | MB_ICONERROR);
        Status(kTextFailed);
        return false;
    }
    SweepLeftovers(seg2Dir);  // what an interrupted export left
    const std::string names[3] = {m_header.Rx1_Name, m_header.Rx2_Name, m_header.Rx3_Name};
    for (int rx = 0; rx < 3; ++rx) m_out[rx] = JoinPath(seg2Dir, title + "_" + Trimmed(names[rx]) + ".sg2");

    m_logMode = m_header.LogMode;
    const double step = m_header.step / 100.0;
    if (m_posReplay) m_posReplay->store(0);

    bool allWritten = true;
    int64_t chosenCount = 0;
    int64_t recordsOut = -1;  // records that went into the files (the same for every receiver)
    int tracesOut = 0;
    int64_t shortAt = -1;     // the record that ended the files early
    RecordStatus shortStatus = RecordStatus::Ok;
    // One pass over the log writes the file of every receiver that recorded samples.
    // Large reads and writes: a buffer of stdio's own size would make one call of 4 KB each.
    constexpr size_t kBuffer = 1 << 20;
    std::vector<char> buffers[4];
    FilePtr in(std::fopen(dataPath.c_str(), "rb"));
    if (in) std::setvbuf(in.get(), (buffers[3].resize(kBuffer), buffers[3].data()), _IOFBF, kBuffer);
    size_t size = 0;
    m_rec = DataFileRecord{};
    const RecordStatus firstStatus = in ? ReadRecord(in.get(), m_rec, &size) : RecordStatus::IoError;
    if (firstStatus != RecordStatus::Ok) {
        // Every receiver would meet the same first record.
        Box(in ? DamageText(firstStatus, 0, "no SEG-2 file is written.") : std::string(kMsgTroubleOpening),
            MB_OK | MB_ICONERROR);
        allWritten = false;
    }
    const int ns[3] = {m_rec.SampleCount(0), m_rec.SampleCount(1), m_rec.SampleCount(2)};
    const bool noSamples[3] = {ns[0] == 0, ns[1] == 0, ns[2] == 0};
    const int recordSize = 2 * (ns[0] + ns[1] + ns[2]) + 28;
    int n = -1;  // traces per file, once the range is chosen
    if (allWritten && recordSize > 28) {
        m_first = m_rec.depthMm / 1000.0;
        int64_t count = length / recordSize;
        // Depth of the last record; a damaged one gives way to the one before.
        DataFileRecord lastRec = m_rec;
        while (count > 1) {
            DataFileRecord r;
            if (fseeko(in.get(), static_cast<off_t>((count - 1) * recordSize), SEEK_SET) == 0 &&
                ReadRecord(in.get(), r) == RecordStatus::Ok) {
                lastRec = r;
                break;
            }
            --count;
        }
        m_last = lastRec.depthMm / 1000.0;
        m_step = (m_last - m_first) / static_cast<double>(count);
        int64_t startIndex = 0;
        chosenCount = count;
        if ((m_hooks.runRangeDialog ? m_hooks.runRangeDialog() : -1) == 0) {
            startIndex = std::max<int64_t>(0, ToInt(m_first));
            chosenCount = ToInt(m_step);
            if ((startIndex + chosenCount) * recordSize > length) chosenCount = length / recordSize - startIndex;
        }
        if (fseeko(in.get(), static_cast<off_t>(startIndex * recordSize), SEEK_SET) != 0) {
            Box(DamageText(RecordStatus::IoError, startIndex * recordSize, "no SEG-2 file is written."),
                MB_OK | MB_ICONERROR);
            allWritten = false;
        } else {
            n = static_cast<int>(std::clamp<int64_t>(chosenCount, 0, kSeg2MaxTraces));
        }
    }

    // Each file replaces an earlier one only when it is whole and on disk: a
    // failed export leaves the earlier files be.
    std::unique_ptr<ReplacingFile> files[3];
    std::FILE* out[3] = {nullptr, nullptr, nullptr};
    int interval[3] = {4, 4, 4};
    m_failedRx = -1;
    for (int rx = 0; rx < 3 && n >= 0; ++rx) {
        if (noSamples[rx]) continue;
        if (SameFile(m_out[rx], dataPath) || SameFile(m_out[rx], headerPath)) {
            Box(std::string(kMsgOutputIsLog) + m_out[rx], MB_OK | MB_ICONERROR);
            allWritten = false;
            continue;
        }
        files[rx] = std::make_unique<ReplacingFile>(m_out[rx]);
        if (!(out[rx] = files[rx]->File())) {
            Box(std::string(kMsgTroubleOpening) + "\n" + m_out[rx], MB_OK | MB_ICONERROR);
            allWritten = false;
            continue;
        }
        buffers[rx].resize(kBuffer);
        std::setvbuf(out[rx], buffers[rx].data(), _IOFBF, kBuffer);
        interval[rx] = m_rec.Code(rx) == 3 ? 8 : 4;
        const std::string head = Seg2FileHeader(n, ns[rx], FileStrings(title, ns[rx]));
        if (std::fwrite(head.data(), 1, head.size(), out[rx]) != head.size() && m_failedRx < 0) m_failedRx = rx;
    }

    const bool writing = out[0] || out[1] || out[2];
    if (writing && m_hooks.showProgress) m_hooks.showProgress(true);
    if (writing && m_hooks.progress) m_hooks.progress(0);
    m_firstTrace = true;
    int k = 0, p = 0;
    int64_t records = 0;
    bool ended = !writing || m_failedRx >= 0;
    while (k < n && !ended) {
        if (k > (n / 100) * p && p < 100) {
            ++p;
            if (m_hooks.progress) m_hooks.progress(p);
            if ((p == 25 || p == 50 || p == 75) && m_hooks.pumpMessages) m_hooks.pumpMessages();
        }
        const int64_t pos = ftello(in.get());
        if (m_posReplay) m_posReplay->store(pos);
        for (std::FILE* f : out)
            if (f && k % 256 == 255) StartWriteback(fileno(f));  // the final sync then waits little
        int g = WriteTraceBlock_SEG_2(in.get(), false, out, recordSize, ns, interval, step);
        if (g >= 0) {
            ++k;
            ++records;
        }
        // A record that lies several steps on fills those steps too.
        for (; g > 0 && k < n; --g, ++k) {
            if (WriteTraceBlock_SEG_2(in.get(), true, out, recordSize, ns, interval, step) < 0) {
                g = -1;
                break;
            }
        }
        if (g < 0) {
            // A damaged record or another trace layout ends the files with the traces before it.
            ended = true;
            if (m_failedRx < 0 && shortAt < 0) {
                shortAt = pos;
                shortStatus = m_failStatus;
            }
        }
    }
    if (writing && m_hooks.showProgress) m_hooks.showProgress(false);
    in.reset();
    for (int rx = 0; rx < 3; ++rx) {
        if (!out[rx]) continue;
        if (m_failedRx < 0 && k < n && k > 0 && !ShortenFile(out[rx], k, n, ns[rx], FileStrings(title, ns[rx])))
            m_failedRx = rx;
        if (m_failedRx < 0 && k > 0 && !files[rx]->Commit()) m_failedRx = rx;
        if (m_failedRx >= 0 || k == 0) {
            allWritten = false;
            if (m_failedRx >= 0) {
                Box(std::string("The SEG-2 file could not be written: ") + m_out[m_failedRx], MB_OK | MB_ICONERROR);
                break;
            }
            continue;  // no trace to write: the earlier file stays
        }
        m_traces[rx] = k;
        recordsOut = records;
        tracesOut = k;
    }

    if (shortAt >= 0) {
        allWritten = false;
        const std::string outcome =
            tracesOut > 0 ? Format("each SEG-2 file ends with the %d traces before it (%lld of %lld records).",
                                   tracesOut, static_cast<long long>(recordsOut), static_cast<long long>(chosenCount))
                          : std::string("no trace lies before it, no SEG-2 file is written.");
        Box(DamageText(shortStatus, shortAt, outcome), MB_OK | MB_ICONWARNING);
    } else if (recordsOut >= 0 && chosenCount > kSeg2MaxTraces) {
        Box(Format(kMsgTraceLimit, static_cast<long long>(recordsOut), static_cast<long long>(chosenCount)),
            MB_OK | MB_ICONINFORMATION);
    }
    if (allWritten) {
        // A receiver that recorded nothing keeps no file of an earlier export under its name.
        for (int rx = 0; rx < 3; ++rx)
            if (noSamples[rx] && FileExists(m_out[rx])) RemoveFile(m_out[rx]);
    }
    if (recordsOut >= 0 && recordsOut < chosenCount)
        Status(Format(kTextExportedPart, static_cast<long long>(recordsOut), static_cast<long long>(chosenCount)));
    else
        Status(allWritten ? kTextExported : kTextFailed);
    return allWritten;
}

bool Seg2Exporter::ShortenFile(std::FILE* out, int traces, int planned, int samples,
                               const std::vector<std::string>& fileStrings) {
    // The traces move back by the pointers that are not needed, so that the
    // count, the pointer block and every pointer match what was written.
    const std::string head = Seg2FileHeader(traces, samples, fileStrings);
    const int64_t from = static_cast<int64_t>(Seg2FileHeader(planned, samples, {}).size());
    const int64_t to = static_cast<int64_t>(head.size());
    const int64_t bytes = static_cast<int64_t>(traces) * (kSeg2BlockBytes + 4 * static_cast<int64_t>(samples));
    std::vector<char> buf(1 << 20);
    for (int64_t done = 0; done < bytes;) {
        const size_t chunk = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buf.size()), bytes - done));
        if (fseeko(out, static_cast<off_t>(from + done), SEEK_SET) != 0 ||
            std::fread(buf.data(), 1, chunk, out) != chunk ||
            fseeko(out, static_cast<off_t>(to + done), SEEK_SET) != 0 ||
            std::fwrite(buf.data(), 1, chunk, out) != chunk)
            return false;
        done += static_cast<int64_t>(chunk);
    }
    if (fseeko(out, 0, SEEK_SET) != 0 || std::fwrite(head.data(), 1, head.size(), out) != head.size()) return false;
    if (std::fflush(out) != 0) return false;
    return ::ftruncate(::fileno(out), static_cast<off_t>(to + bytes)) == 0;
}

int Seg2Exporter::WriteTraceBlock_SEG_2(std::FILE* in, bool again, std::FILE* const out[3], int recordSize,
                                        const int ns[3], const int sampleInterval[3], double step) {
    try {
        size_t size = 0;
        const RecordStatus st = again ? RecordStatus::Ok : ReadRecord(in, m_rec, &size);
        if (st != RecordStatus::Ok) {
            m_failStatus = st;
            return -1;
        }
        const DataFileRecord& rec = m_rec;
        if (!again && (static_cast<int>(size) != recordSize || rec.SampleCount(0) != ns[0] ||
                       rec.SampleCount(1) != ns[1] || rec.SampleCount(2) != ns[2])) {
            m_failStatus = RecordStatus::Ok;  // readable, but laid out otherwise
            return -1;
        }
        const int mode = RecordingModeFromHeaderLogMode(m_logMode);
        const double d = (rec.depthMm / 10) / 100.0;  // whole cm
        if (m_firstTrace || mode == RECMODE_TIME) {
            m_traceDepth = d;
            m_firstTrace = false;
        } else {
            m_traceDepth = mode == RECMODE_UP ? m_traceDepth - step : m_traceDepth + step;
        }
        const double depth = m_traceDepth;

        const int offsets[3] = {m_header.OffsetRx1, m_header.OffsetRx2, m_header.OffsetRx3};
        const char* logType = mode == RECMODE_UP     ? "NOTE LOG_TYPE: UP"
                              : mode == RECMODE_DOWN ? "NOTE LOG_TYPE: DOWN"
                                                     : "NOTE LOG_TYPE: TIME";
        const std::string gamma = Format("NGAMMA %#8.2f", rec.gamma * 0.25 * m_header.GammaCoef);
        for (int rx = 0; rx < 3; ++rx) {
            if (!out[rx]) continue;
            const double location = mode == RECMODE_TIME ? depth : depth - offsets[rx] / 100.0;
            char interval[32], gain[32], travel[32];  // integers: no locale in them
            std::snprintf(interval, sizeof interval, "SAMPLE_INTERVAL 0.00000%d", sampleInterval[rx]);
            std::snprintf(gain, sizeof gain, "FIXED_GAIN %d", rec.gain[rx]);
            std::snprintf(travel, sizeof travel, "TRAVEL-TIME:%d\xB5s", rec.travelTime[rx]);
            PutTrace(m_block, ns[rx],
                     {"DELAY 0.000", Format("RECEIVER_LOCATION 0 0 %#8.2f", location), interval, "TRACE_TYPE ZNS_DATA",
                      gain, logType, gamma, travel},
                     rec.trace[rx].data());
            if (std::fwrite(m_block.data(), 1, m_block.size(), out[rx]) != m_block.size()) {
                m_failedRx = rx;
                return -1;
            }
        }

        if (mode == RECMODE_TIME || !(step > 0.0)) return 0;
        const double q = mode == RECMODE_DOWN ? (d - depth) / step : (depth - d) / step;
        return q > 1.0 ? ToInt(q) : 0;
    } catch (const std::exception&) {
        TraceException("CToolsStream::WriteTraceBlock_SEG_2", "ToolsStream", __LINE__);
        m_failedRx = std::max(m_failedRx, 0);
        return -1;
    }
}

}  // namespace zns
