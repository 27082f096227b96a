// SEG-2 export, checked with a small SEG-2 reader of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ExportTestLog.h"
#include "export/Seg2Export.h"
#include "platform/FileReplace.h"
#include "platform/Paths.h"
#include "platform/WinUser.h"

namespace {

using exporttest::HeaderKeys;
using exporttest::ReadAll;
using exporttest::TempDir;
using zns::Seg2Exporter;

// ---- an independent reader ------------------------------------------------

struct Seg2Trace {
    uint32_t offset = 0;
    uint16_t blockSize = 0;
    uint32_t dataSize = 0;
    uint32_t samples = 0;
    uint8_t format = 0;
    std::vector<std::string> strings;
    std::vector<float> data;
};

struct Seg2Read {
    bool ok = false;
    std::string error;
    uint16_t revision = 0;
    uint16_t pointerBytes = 0;
    uint16_t traceCount = 0;
    std::vector<uint32_t> pointers;
    std::vector<std::string> strings;
    std::vector<Seg2Trace> traces;
    std::string String(const Seg2Trace& t, const std::string& key) const {
        for (const auto& s : t.strings)
            if (s.compare(0, key.size(), key) == 0) return s;
        return {};
    }
};

uint16_t U16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}
uint32_t U32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(U16(b, at)) | (static_cast<uint32_t>(U16(b, at + 2)) << 16);
}

// Strings from `at` up to `end`: each u16 length (whole block), text, NUL; a zero length ends them.
bool ReadStrings(const std::string& b, size_t at, size_t end, std::vector<std::string>& out, std::string& err) {
    while (at + 2 <= end) {
        const uint16_t len = U16(b, at);
        if (len == 0) return true;
        if (len < 3 || at + len > end) {
            err = "string block runs past its region";
            return false;
        }
        if (b[at + len - 1] != '\0') {
            err = "string not NUL-terminated";
            return false;
        }
        out.push_back(b.substr(at + 2, len - 3));
        at += len;
    }
    return true;
}

Seg2Read ParseSeg2(const std::string& b) {
    Seg2Read r;
    if (b.size() < 32 || U16(b, 0) != 0x3A55) {
        r.error = "no file descriptor";
        return r;
    }
    r.revision = U16(b, 2);
    r.pointerBytes = U16(b, 4);
    r.traceCount = U16(b, 6);
    if (r.pointerBytes < 4u * r.traceCount || b.size() < 32u + r.pointerBytes) {
        r.error = "pointer sub-block";
        return r;
    }
    for (int k = 0; k < r.traceCount; ++k) r.pointers.push_back(U32(b, 32 + 4 * static_cast<size_t>(k)));
    const size_t stringsAt = 32u + r.pointerBytes;
    const size_t stringsEnd = r.pointers.empty() ? b.size() : r.pointers.front();
    if (!ReadStrings(b, stringsAt, stringsEnd, r.strings, r.error)) return r;
    for (uint32_t p : r.pointers) {
        Seg2Trace t;
        t.offset = p;
        if (p + 32u > b.size() || U16(b, p) != 0x4422) {
            r.error = "trace block id";
            return r;
        }
        t.blockSize = U16(b, p + 2);
        t.dataSize = U32(b, p + 4);
        t.samples = U32(b, p + 8);
        t.format = static_cast<uint8_t>(b[p + 12]);
        if (!ReadStrings(b, p + 32, p + t.blockSize, t.strings, r.error)) return r;
        if (p + t.blockSize + t.dataSize > b.size()) {
            r.error = "trace data past the end of the file";
            return r;
        }
        for (uint32_t i = 0; i < t.samples; ++i) {
            const uint32_t bits = U32(b, p + t.blockSize + 4 * i);
            float f;
            std::memcpy(&f, &bits, 4);
            t.data.push_back(f);
        }
        r.traces.push_back(std::move(t));
    }
    r.ok = true;
    return r;
}

// ---- the export around the reader -----------------------------------------

struct Seg2Run {
    TempDir dir;
    std::string data = dir / "log A.zne";
    std::string header = dir / "log A.hed";
    SettingsData settings;
    HeaderRecord record;
    double first = 0, last = 0, step = 0;
    std::atomic<int64_t> pos{-1};
    std::vector<std::pair<std::string, unsigned>> boxes;
    std::vector<std::string> status;
    std::vector<int> progress;
    int pumps = 0;
    int rangeRuns = 0;
    std::optional<std::pair<double, double>> setRange;  // index, count answered by "Set"
    double seenFirst = 0, seenLast = 0, seenStep = 0;

    void Write(const HeaderKeys& keys, const std::vector<zns::DataFileRecord>& records) {
        exporttest::WriteHeader(header, keys);
        exporttest::WriteRecords(data, header, records);
        zns::SetFixedField(settings.files.szProgramDir, dir.Path() + "/");
    }
    Seg2Exporter Make() {
        zns::Seg2ExportHooks h;
        h.chooseFile = [this](const zns::Seg2FileChoice&) { return std::optional<std::string>(data); };
        h.messageBox = [this](const std::string& t, unsigned type) {
            boxes.emplace_back(t, type);
            return IDOK;
        };
        h.statusText = [this](const std::string& t) { status.push_back(t); };
        h.progress = [this](int p) { progress.push_back(p); };
        h.pumpMessages = [this] { ++pumps; };
        h.runRangeDialog = [this] {
            ++rangeRuns;
            seenFirst = first, seenLast = last, seenStep = step;
            if (!setRange) return -1;
            first = setRange->first;
            step = setRange->second;
            return 0;
        };
        return Seg2Exporter(settings, record, first, last, step, &pos, h);
    }
    std::string Out(const std::string& rx) const { return dir / ("SEG2/log A_" + rx + ".sg2"); }
    // Exports the log and reads the first receiver's file back (not ok when the export fails).
    Seg2Read ExportFirstReceiver() {
        Seg2Exporter ex = Make();
        if (!ex.ExportDataFile(data)) {
            Seg2Read failed;
            failed.error = "the export failed";
            return failed;
        }
        return ParseSeg2(ReadAll(Out("_Rx1")));
    }
};

}  // namespace

TEST(Seg2Blocks, StringBlockAndDescriptorBytes) {
    EXPECT_EQ(zns::Seg2StringBlock("UNITS METERS"), std::string("\x0F\x00UNITS METERS\x00", 15));
    const std::string h = zns::Seg2FileHeader(3, 256, {"UNITS METERS"});
    ASSERT_EQ(h.size(), 32u + 12u + 208u);
    const std::string fixed("\x55\x3A\x01\x00\x0C\x00\x03\x00\x01\x00\x00\x02\x0D\x0A\xFF\xFF", 16);
    EXPECT_EQ(h.substr(0, 16), fixed);
    EXPECT_EQ(h.substr(16, 16), std::string(16, '\0'));
    EXPECT_EQ(U32(h, 32), 240u + 12u);
    EXPECT_EQ(U32(h, 40), 240u + 12u + 2u * 1232u);
    EXPECT_EQ(h.substr(44, 15), zns::Seg2StringBlock("UNITS METERS"));
    EXPECT_EQ(h.substr(59), std::string(208 - 15, '\0'));
    // At most 16383 traces: the pointer sub-block size still fits its u16.
    const std::string big = zns::Seg2FileHeader(20000, 256, {});
    EXPECT_EQ(U16(big, 4), 65532);
    EXPECT_EQ(U16(big, 6), 16383);
    // A string that does not fit the 208-byte descriptor is left out, not run over the samples.
    const std::string d = zns::Seg2TraceDescriptor(4, {"DELAY 0.000", std::string(300, 'x'), "TRACE_TYPE ZNS_DATA"});
    ASSERT_EQ(d.size(), 208u);
    std::vector<std::string> s;
    std::string err;
    ASSERT_TRUE(ReadStrings(d, 32, 208, s, err)) << err;
    EXPECT_EQ(s, (std::vector<std::string>{"DELAY 0.000", "TRACE_TYPE ZNS_DATA"}));
}

TEST(Seg2Export, DownLogOneFilePerReceiverWithSamples) {
    Seg2Run run;
    HeaderKeys k;
    k.rxName[0] = "  Near ";
    // Rx1 256 samples at 4 us, Rx2 none, Rx3 512 samples at 8 us: 28 + 512 + 1024 bytes.
    const uint8_t code = 0x01 | (0x03 << 4);
    auto recs = exporttest::RegularRecords(8, 100000, 50, code);
    run.Write(k, recs);
    Seg2Exporter ex = run.Make();
    ex.ExportToSG2File();
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.status.front(), "Check file - wait...");
    EXPECT_EQ(run.status.back(), "File exported in SEG-2 format...");
    EXPECT_EQ(run.rangeRuns, 1);
    EXPECT_DOUBLE_EQ(run.seenFirst, 100.0);
    EXPECT_DOUBLE_EQ(run.seenLast, 100.35);
    EXPECT_NEAR(run.seenStep, 0.35 / 8, 1e-12);
    // The log became the current one.
    EXPECT_EQ(zns::FixedFieldText(run.settings.files.szDataFile), run.data);
    EXPECT_EQ(zns::FixedFieldText(run.settings.files.szFileName), "log A.zne");

    EXPECT_FALSE(zns::FileExists(run.Out("_Rx2")));
    const Seg2Read r1 = ParseSeg2(ReadAll(run.Out("Near")));  // blanks around the name dropped
    ASSERT_TRUE(r1.ok) << r1.error;
    EXPECT_EQ(r1.revision, 1);
    EXPECT_EQ(r1.traceCount, 8);
    EXPECT_EQ(r1.pointerBytes, 32);
    for (int kk = 0; kk < 8; ++kk) EXPECT_EQ(r1.pointers[static_cast<size_t>(kk)], 240u + 32u + kk * 1232u);
    EXPECT_EQ(r1.strings, (std::vector<std::string>{"ACQUISITION_DATE 06 December 202", "COMPANY ACME Logging",
                                                   "SPR_LINE_SEPARATION 5", "SPR_SAMPLES_PER_SCAN 256",
                                                   "UNITS METERS", "NOTE LOG_TITLE:log A LOG_UNIT: \xB5sec"}));
    const std::string bytes = ReadAll(run.Out("Near"));
    EXPECT_EQ(bytes.size(), 240u + 32u + 8u * 1232u);
    EXPECT_EQ(bytes.substr(14, 2), "\xFF\xFF");
    for (size_t t = 0; t < r1.traces.size(); ++t) {
        const Seg2Trace& tr = r1.traces[t];
        EXPECT_EQ(tr.blockSize, 208);
        EXPECT_EQ(tr.samples, 256u);
        EXPECT_EQ(tr.dataSize, 1024u);
        EXPECT_EQ(tr.format, 4);
        EXPECT_EQ(bytes.substr(tr.offset + 13, 19), std::string(19, '\0'));
        ASSERT_EQ(tr.strings.size(), 8u);
        EXPECT_EQ(tr.strings[0], "DELAY 0.000");
        EXPECT_EQ(tr.strings[1], zns::Format("RECEIVER_LOCATION 0 0 %#8.2f", 100.0 + 0.05 * t - 0.5));
        EXPECT_EQ(tr.strings[2], "SAMPLE_INTERVAL 0.000004");
        EXPECT_EQ(tr.strings[3], "TRACE_TYPE ZNS_DATA");
        EXPECT_EQ(tr.strings[4], zns::Format("FIXED_GAIN %d", recs[t].gain[0]));
        EXPECT_EQ(tr.strings[5], "NOTE LOG_TYPE: DOWN");
        EXPECT_EQ(tr.strings[6], zns::Format("NGAMMA %#8.2f", recs[t].gamma * 0.25 * 1.5));
        EXPECT_EQ(tr.strings[7], zns::Format("TRAVEL-TIME:%d\xB5s", recs[t].travelTime[0]));
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(tr.data[static_cast<size_t>(i)], static_cast<float>(recs[t].trace[0][static_cast<size_t>(i)]));
    }

    const Seg2Read r3 = ParseSeg2(ReadAll(run.Out("_Rx3")));  // default name: double underscore
    ASSERT_TRUE(r3.ok) << r3.error;
    ASSERT_EQ(r3.traces.size(), 8u);
    EXPECT_EQ(r3.traces[0].samples, 512u);
    EXPECT_EQ(r3.String(r3.traces[0], "SAMPLE_INTERVAL"), "SAMPLE_INTERVAL 0.000008");
    EXPECT_EQ(r3.String(r3.traces[2], "RECEIVER_LOCATION"), zns::Format("RECEIVER_LOCATION 0 0 %#8.2f", 100.1 - 1.5));
    EXPECT_EQ(r3.traces[5].data[511], static_cast<float>(recs[5].trace[2][511]));
    EXPECT_EQ(r3.strings[3], "SPR_SAMPLES_PER_SCAN 512");
}

TEST(Seg2Export, RecordBeyondItsStepFillsTheStep) {
    Seg2Run run;
    auto recs = exporttest::RegularRecords(20, 100000, 50, 0x01);
    recs[3].depthMm = 100230;  // 8 cm past its trace depth 100.15 (q = 1.6): written twice
    for (size_t i = 4; i < recs.size(); ++i) recs[i].depthMm = 100250 + 50 * static_cast<int>(i - 4);
    run.Write(HeaderKeys{}, recs);
    const Seg2Read r = run.ExportFirstReceiver();
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.traces.size(), 20u);
    // Regular spacing from the first trace's depth; traces 3 and 4 are the same record.
    for (size_t t = 0; t < r.traces.size(); ++t)
        EXPECT_EQ(r.String(r.traces[t], "RECEIVER_LOCATION"),
                  zns::Format("RECEIVER_LOCATION 0 0 %#8.2f", 100.0 + 0.05 * t - 0.5));
    EXPECT_EQ(r.traces[3].strings[7], r.traces[4].strings[7]);
    EXPECT_EQ(r.traces[4].data, r.traces[3].data);
    EXPECT_EQ(r.String(r.traces[5], "TRAVEL-TIME"), zns::Format("TRAVEL-TIME:%d\xB5s", recs[4].travelTime[0]));
}

TEST(Seg2Export, UpLogTraceDepthsRunUpward) {
    Seg2Run run;
    HeaderKeys k;
    k.logMode = 11;
    auto recs = exporttest::RegularRecords(20, 100000, -50, 0x01);
    recs[3].depthMm = 99770;  // 8 cm above its trace depth 99.85: written twice
    for (size_t i = 4; i < recs.size(); ++i) recs[i].depthMm = 99750 - 50 * static_cast<int>(i - 4);
    run.Write(k, recs);
    const Seg2Read r = run.ExportFirstReceiver();
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.traces.size(), 20u);
    for (size_t t = 0; t < r.traces.size(); ++t)
        EXPECT_EQ(r.String(r.traces[t], "RECEIVER_LOCATION"),
                  zns::Format("RECEIVER_LOCATION 0 0 %#8.2f", 100.0 - 0.05 * t - 0.5));
    EXPECT_EQ(r.traces[4].data, r.traces[3].data);
    EXPECT_EQ(r.String(r.traces[0], "NOTE"), "NOTE LOG_TYPE: UP");
}

TEST(Seg2Export, TimeLogKeepsEachRecordsDepth) {
    Seg2Run run;
    HeaderKeys k;
    k.logMode = 10;
    k.sondeLength = -40;  // a header keeps the sonde's length as it stood
    auto recs = exporttest::RegularRecords(20, 50000, 0, 0x01);
    recs[7].depthMm = 50123;
    run.Write(k, recs);
    const Seg2Read r = run.ExportFirstReceiver();
    EXPECT_EQ(run.record.SondeLength, 0);  // the shared record holds what a header reader makes of it
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.strings.size(), 5u);  // no line separation
    for (const auto& s : r.strings) EXPECT_EQ(s.find("SPR_LINE_SEPARATION"), std::string::npos);
    EXPECT_EQ(r.String(r.traces[7], "RECEIVER_LOCATION"), "RECEIVER_LOCATION 0 0    50.12");
    EXPECT_EQ(r.String(r.traces[8], "RECEIVER_LOCATION"), "RECEIVER_LOCATION 0 0    50.00");
    EXPECT_EQ(r.String(r.traces[0], "NOTE"), "NOTE LOG_TYPE: TIME");
}

TEST(Seg2Export, SetRangeExportsTheChosenRecords) {
    Seg2Run run;
    auto recs = exporttest::RegularRecords(30, 100000, 50, 0x01);
    run.Write(HeaderKeys{}, recs);
    run.setRange = std::make_pair(5.0, 10.0);
    const Seg2Read r = run.ExportFirstReceiver();
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.traces.size(), 10u);
    EXPECT_EQ(r.String(r.traces[0], "TRAVEL-TIME"), zns::Format("TRAVEL-TIME:%d\xB5s", recs[5].travelTime[0]));
    EXPECT_EQ(r.String(r.traces[9], "FIXED_GAIN"), zns::Format("FIXED_GAIN %d", recs[14].gain[0]));
    for (size_t i = 1; i < run.progress.size(); ++i) EXPECT_LE(run.progress[i - 1], run.progress[i]);

    // A count past the end of the file is cut to the records there are.
    run.setRange = std::make_pair(25.0, 10.0);
    EXPECT_EQ(run.ExportFirstReceiver().traces.size(), 5u);
}

TEST(Seg2Export, RefusesShortFilesAndMissingHeaders) {
    Seg2Run run;
    run.Write(HeaderKeys{}, exporttest::RegularRecords(18, 100000, 50, 0x01));  // 9720 bytes
    Seg2Exporter ex = run.Make();
    EXPECT_FALSE(ex.ExportDataFile(run.data));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].first, "The file must be contain minimal five record for export !!!");

    run.Write(HeaderKeys{}, exporttest::RegularRecords(20, 100000, 50, 0x01));
    std::remove(run.header.c_str());
    EXPECT_FALSE(ex.ExportDataFile(run.data));
    EXPECT_EQ(run.boxes.back().first, "I not find header file : log A.hed !!!");

    EXPECT_FALSE(ex.ExportDataFile(run.dir / "nothing.zne"));
    EXPECT_EQ(run.boxes.back().first, "Data file not present.");
    EXPECT_FALSE(zns::DirExists(run.dir / "SEG2"));

    // A SEG2 folder that cannot be made: one box naming it.
    exporttest::WriteHeader(run.header, HeaderKeys{});
    exporttest::WriteAll(run.dir / "SEG2", "a file");
    run.boxes.clear();
    EXPECT_FALSE(ex.ExportDataFile(run.data));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].first, "The SEG-2 folder cannot be created: " + run.dir / "SEG2");
}

TEST(Seg2Export, DamagedRecordEndsEachFileThereAndAFailureKeepsEarlierFiles) {
    Seg2Run run;
    const uint8_t code = 0x01 | 0x04;  // Rx1 and Rx2, 256 samples each: 1052-byte records
    auto recs = exporttest::RegularRecords(25, 100000, 50, code);
    run.Write(HeaderKeys{}, recs);
    zns::MakeDirs(run.dir / "SEG2");
    for (const char* rx : {"_Rx1", "_Rx2", "_Rx3"}) exporttest::WriteAll(run.Out(rx), "old");
    exporttest::DamageByte(run.data, 12 * 1052 + 100);
    Seg2Exporter ex = run.Make();
    // Each earlier file stays whole until its successor is on disk.
    static std::vector<std::string> atSync;
    zns::detail::SetSyncHook([](int fd) {  // reads the final file of the ".<name>.tmp..." being synced
        const auto tmp = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd));
        const std::string name = tmp.filename().string();
        if (name[0] == '.') atSync.push_back(ReadAll(tmp.parent_path() / name.substr(1, name.rfind(".tmp") - 1)));
        return 0;
    });
    EXPECT_FALSE(ex.ExportDataFile(run.data));
    zns::detail::SetSyncHook(nullptr);
    EXPECT_EQ(atSync, std::vector<std::string>(2, "old"));
    // One warning naming the byte; each file holds the twelve traces before it.
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_NE(run.boxes[0].first.find("byte 12624"), std::string::npos) << run.boxes[0].first;
    EXPECT_NE(run.boxes[0].first.find("wrong check sum"), std::string::npos);
    EXPECT_NE(run.boxes[0].first.find("12 traces"), std::string::npos);
    EXPECT_EQ(run.boxes[0].second, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(run.status.back(), "File exported in SEG-2 format: 12 of 25 records...");
    for (const char* rx : {"_Rx1", "_Rx2"}) {
        const std::string bytes = ReadAll(run.Out(rx));
        const Seg2Read r = ParseSeg2(bytes);
        ASSERT_TRUE(r.ok) << rx << r.error;
        EXPECT_EQ(r.traceCount, 12);
        EXPECT_EQ(r.pointerBytes, 48);
        EXPECT_EQ(bytes.size(), 240u + 48u + 12u * 1232u);
        EXPECT_EQ(r.String(r.traces[11], "TRAVEL-TIME"), zns::Format("TRAVEL-TIME:%d\xB5s", rx[3] == '1' ? 211 : 311));
        EXPECT_EQ(r.traces[11].data[255], static_cast<float>(recs[11].trace[rx[3] - '1'][255]));
    }
    EXPECT_EQ(ReadAll(run.Out("_Rx3")), "old");

    // Another trace layout ends the files the same way.
    recs[5].traceByte = 0x01;
    run.Write(HeaderKeys{}, recs);
    run.boxes.clear();
    EXPECT_FALSE(ex.ExportDataFile(run.data));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_NE(run.boxes[0].first.find("byte 5260 of the data file has another trace layout"), std::string::npos);
    EXPECT_EQ(ParseSeg2(ReadAll(run.Out("_Rx2"))).traceCount, 5);

    // A damaged first record writes nothing and leaves the earlier files be.
    const std::string before = ReadAll(run.Out("_Rx1"));
    exporttest::DamageByte(run.data, 3);
    EXPECT_FALSE(ex.ExportDataFile(run.data));
    EXPECT_EQ(ReadAll(run.Out("_Rx1")), before);
    EXPECT_EQ(run.status.back(), "export file failled...");
}

TEST(Seg2Export, AllOnALongLogSaysHowManyRecordsWentOut) {
    Seg2Run run;
    run.Write(HeaderKeys{}, exporttest::RegularRecords(16390, 100000, 5, 0x01));
    Seg2Exporter ex = run.Make();
    ASSERT_TRUE(ex.ExportDataFile(run.data));
    EXPECT_EQ(ex.TracesWritten(0), 16383);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].first,
              "A SEG-2 file holds at most 16383 traces: the first 16383 of the 16390 records were exported.");
    EXPECT_EQ(run.status.back(), "File exported in SEG-2 format: 16383 of 16390 records...");
}

TEST(Seg2Export, ProgressRunsWindowMessagesAtQuarterMarks) {
    Seg2Run run;
    run.Write(HeaderKeys{}, exporttest::RegularRecords(120, 100000, 50, 0x01));
    Seg2Exporter ex = run.Make();
    ASSERT_TRUE(ex.ExportDataFile(run.data));
    EXPECT_EQ(run.pumps, 3);
    ASSERT_FALSE(run.progress.empty());
    EXPECT_EQ(run.progress.front(), 0);
    EXPECT_EQ(run.progress.back(), 100);
    EXPECT_EQ(ex.TracesWritten(0), 120);
    EXPECT_EQ(run.pos.load(), 119 * 540);
}
