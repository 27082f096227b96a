// LAS text, log loading and the two-pass conversion, on logs written with the
// recorder's own record writer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "ExportTestLog.h"
#include "export/LasConversion.h"
#include "platform/FileReplace.h"
#include "export/LasFile.h"
#include "link/Picker.h"
#include "records/SharedRecords.h"
#include "platform/Paths.h"
#include "platform/WinUser.h"
#include "settings/Header.h"

namespace {

using exporttest::HeaderKeys;
using exporttest::ReadAll;
using exporttest::TempDir;
using zns::LasConverter;

std::vector<std::string> Split(const std::string& text, const std::string& sep) {
    std::vector<std::string> out;
    size_t at = 0;
    for (;;) {
        const size_t next = text.find(sep, at);
        out.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
        if (next == std::string::npos) return out;
        at = next + sep.size();
    }
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const size_t b = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > b) out.push_back(line.substr(b, i - b));
    }
    return out;
}

// The data lines of a LAS file (text after the "~A" title), each split in fields.
std::vector<std::vector<std::string>> DataLines(const std::string& las) {
    std::vector<std::vector<std::string>> rows;
    const size_t a = las.find("~A  DEPTH");
    if (a == std::string::npos) return rows;
    std::vector<std::string> lines = Split(las.substr(a), "\r\n");
    for (size_t i = 1; i < lines.size(); ++i) rows.push_back(Fields(lines[i]));
    return rows;
}

std::string Cm(int cm) { return zns::Format("%.2f", cm / 100.0); }

// A log on disk with its header read the way the dialog reads it.
struct Log {
    TempDir dir;
    std::string data = dir / "run1.zne";
    std::string header = dir / "run1.hed";
    SharedData shared;
    SettingsData settings;
    HeaderRecord record;

    void Write(const HeaderKeys& keys, const std::vector<zns::DataFileRecord>& records) {
        exporttest::WriteHeader(header, keys);
        exporttest::WriteRecords(data, header, records);
        CHeader reader(record, shared, settings);
        ASSERT_FALSE(reader.ReadHeaderFile(header));
    }
};

struct Answers {
    std::vector<std::pair<std::string, unsigned>> boxes;
    std::vector<int> script;
    zns::LasExportHooks Hooks() {
        zns::LasExportHooks h;
        h.messageBox = [this](const std::string& text, unsigned type) {
            boxes.emplace_back(text, type);
            if (script.empty())
                return (type & MB_TYPEMASK) == MB_YESNO ? ((type & MB_DEFMASK) == MB_DEFBUTTON2 ? IDNO : IDYES)
                                                        : IDOK;
            int a = script.front();
            script.erase(script.begin());
            return a;
        };
        return h;
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// The text of the file

TEST(LasText, WellValuesFillFortyColumns) {
    EXPECT_EQ(zns::FormatWellValue(""), "N/A" + std::string(37, ' '));
    EXPECT_EQ(zns::FormatWellValue(" \t "), "N/A" + std::string(37, ' '));
    EXPECT_EQ(zns::FormatWellValue("  ACME  "), "ACME" + std::string(36, ' '));
    EXPECT_EQ(zns::FormatWellValue(std::string(40, 'x')), std::string(40, 'x') + " ");
    EXPECT_EQ(zns::FormatWellValue(std::string(45, 'w')), std::string(45, 'w') + std::string(5, ' '));
    // Code-page bytes go through as they are.
    EXPECT_EQ(zns::FormatWellValue("M\xE9tal"), "M\xE9tal" + std::string(35, ' '));
}

TEST(LasText, DataLinesStartWithTheirLineEnd) {
    zns::LasChannels ch;
    ch.speed = true;
    double v[9] = {12.5, 3.2, zns::kLasNull, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(zns::LasLineText(ch, v), "\r\n    12.50      3.20");
    ch.gamma = true;
    ch.gain[1] = true;
    ch.travelTime[2] = true;
    v[5] = 42;
    v[8] = zns::kLasNull;
    EXPECT_EQ(zns::LasLineText(ch, v), "\r\n    12.50      3.20   -999.25    42.00  -999.25");
    v[0] = zns::kLasNull;
    EXPECT_EQ(zns::LasLineText(ch, v), "");
}

TEST(LasText, HeaderBytes) {
    HeaderRecord h;
    h.Company = " ";
    h.Wellname = std::string(45, 'W');
    h.Fieldname = "North";
    h.Date = "06 December 2026";
    h.UWI = "UWI-1";
    zns::LasChannels ch;
    ch.speed = ch.gamma = true;
    ch.gain[0] = ch.travelTime[0] = ch.gain[1] = ch.travelTime[1] = ch.gain[2] = ch.travelTime[2] = true;
    const std::string dashes = "#" + std::string(78, '-') + "\r\n";
    const std::string na = "N/A" + std::string(37, ' ');
    std::string expected =
        "#ZNS file export\r\n"
        "~VERSION INFORMATION\r\n" +
        dashes +
        " VERS. 2.0 : CWLS LOG ASCII STANDARD - VERSION 2.0\r\n"
        " WRAP. NO  : ONE LINE PER DEPTH STEP\r\n"
        "~WELL INFORMATION\r\n"
        "#MNEM.UNIT         DATA                                DESCRIPTION \r\n" +
        dashes +
        " STRT.M           97.96                            :   START DEPTH\r\n"
        " STOP.M          100.91                            :   STOP DEPTH\r\n"
        " STEP.M            0.05                            :   STEP VALUE\r\n"
        " NULL.         -999.250                            :   NULL VALUE\r\n"
        " COMP.    " + na + " :   COMPANY NAME\r\n"
        " WELL.    " + std::string(45, 'W') + "      :   WELL NAME\r\n"
        " FLD.     North" + std::string(35, ' ') + " :   FIELD NAME\r\n"
        " LOC.     " + na + " :   LOCATION\r\n"
        " CTRY.    " + na + " :   COUNTRY\r\n"
        " CNTY.    " + na + " :   COUNTY\r\n"
        " STAT.    " + na + " :   STATE\r\n"
        " SRVC.    " + na + " :   SERVICE COMPANY NAME\r\n"
        " DATE.    06 December 2026" + std::string(24, ' ') + " :   DATE\r\n"
        " UWI.     UWI-1" + std::string(35, ' ') + " :   UNIQUE WELL IDENTIFIER\r\n"
        " API.     UWI-1" + std::string(35, ' ') + " :   API REFERENCE NUMBER\r\n"
        "~OTHER INFORMATION SECTION\r\n" +
        dashes +
        "     Notes: The log is recorded in Down Mode.\r\n" +
        dashes +
        "~CURVE INFORMATION\r\n"
        "#MNEM.UNIT         API CODE              CURVE DESCRIPTION\r\n" +
        dashes +
        " DEPTH     .M                                 :  Depth        \r\n"
        " SPEED     .M/Min                             :  Logging speed\r\n"
        " GAMMA     .CPS                               :  Natural gamma\r\n"
        " GRX1\t   .DB                                :  Gain Channel 1 \r\n"
        " TT1       .uSEC                              :  Travel time Channel 1\r\n"
        " GRX2\t   .DB                                :  Gain Channel 2\r\n"
        " TT2       .uSEC                              :  Travel time Channel 2\r\n"
        " GRX3\t   .DB                                :  Gain Channel 3\r\n"
        " TT3       .uSEC                              :  Travel time Channel 3\r\n" +
        dashes +
        "~A  DEPTH     SPEED     GAMMA     GRX1      TT1     GRX2      TT2     GRX3      TT3";
    EXPECT_EQ(zns::LasHeaderText(h, ch, zns::LAS_MODE_DOWN, 0.05, false, 97.96, 100.91), expected);
}

TEST(LasText, StepFieldAndOptionalRows) {
    HeaderRecord h;
    zns::LasChannels speedOnly;
    speedOnly.speed = true;
    std::string t = zns::LasHeaderText(h, speedOnly, zns::LAS_MODE_TIME, 0.013, false, 1, 2);
    EXPECT_NE(t.find(" STEP.M           0.013                            :"), std::string::npos);
    EXPECT_NE(t.find("Time Mode."), std::string::npos);
    EXPECT_EQ(t.substr(t.size() - 19), "~A  DEPTH     SPEED");
    EXPECT_NE(t.find(" SPEED     .M/Min"), std::string::npos);
    EXPECT_EQ(t.find("GAMMA"), std::string::npos);

    // Reversed upward log: the step is shown positive.
    t = zns::LasHeaderText(h, {}, zns::LAS_MODE_UP, -0.05, true, 1, 2);
    EXPECT_NE(t.find(" STEP.M            0.05       "), std::string::npos);
    EXPECT_EQ(t.substr(t.size() - 11), "\r\n~A  DEPTH");
    // An unknown mode has no notes row.
    t = zns::LasHeaderText(h, {}, 99, 0.05, false, 1, 2);
    EXPECT_EQ(t.find("Notes:"), std::string::npos);
}

TEST(LasText, TempRecordIsSeventeenLittleEndianBytes) {
    zns::LasTempRecord r;
    r.depthCm = -2;
    r.speed = -125;
    r.gamma = 0x1234;
    r.gain[0] = 7;
    r.travelTime[0] = 0xABCD;
    r.gain[2] = 255;
    uint8_t b[17];
    zns::EncodeLasTempRecord(r, b);
    const uint8_t expect[17] = {0xFE, 0xFF, 0xFF, 0xFF, 0x83, 0xFF, 0x34, 0x12, 7, 0xCD, 0xAB, 255, 0xFF, 0xFF,
                                255, 0xFF, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(b, b + 17), std::vector<uint8_t>(expect, expect + 17));
    const zns::LasTempRecord back = zns::DecodeLasTempRecord(b);
    EXPECT_EQ(back.depthCm, -2);
    EXPECT_EQ(back.speed, -125);
    EXPECT_EQ(back.travelTime[0], 0xABCD);
}

// ---------------------------------------------------------------------------
// Loading a log

TEST(LasLoad, DownLogRangeStepAndSondeShift) {
    Log log;
    log.Write(HeaderKeys{}, exporttest::RegularRecords(20, 100000, 50, 0));
    LasConverter c;
    c.SetInput(log.data, log.dir.Path() + "/");
    EXPECT_EQ(c.outputPath, log.dir / "LAS/run1.las");
    EXPECT_TRUE(zns::DirExists(log.dir / "LAS"));
    EXPECT_EQ(c.tempPath, log.dir / "las.tmp");
    ASSERT_EQ(c.LoadLog(log.record), LasConverter::Load::Ok);
    EXPECT_EQ(c.mode, zns::LAS_MODE_DOWN);
    EXPECT_EQ(c.recordSize, 28);
    EXPECT_DOUBLE_EQ(c.first, 100.0 - 2.04);
    EXPECT_DOUBLE_EQ(c.from, c.first);
    EXPECT_DOUBLE_EQ(c.last, 100.95);
    EXPECT_DOUBLE_EQ(c.to, 100.95);
    EXPECT_DOUBLE_EQ(c.step, 0.05);
    EXPECT_EQ(c.sondeShift, 41);
    EXPECT_EQ(c.lineCount, 19 + 41);
    EXPECT_EQ(c.IntervalMm(), 50);
}

TEST(LasLoad, UpLogCorrectsTheLastDepth) {
    Log log;
    HeaderKeys k;
    k.logMode = 11;
    log.Write(k, exporttest::RegularRecords(10, 200000, -50, 0));
    LasConverter c;
    c.SetInput(log.data, log.dir.Path());
    ASSERT_EQ(c.LoadLog(log.record), LasConverter::Load::Ok);
    EXPECT_EQ(c.mode, zns::LAS_MODE_UP);
    EXPECT_DOUBLE_EQ(c.first, 200.0);
    EXPECT_DOUBLE_EQ(c.last, 199.55 - 2.04);
    EXPECT_DOUBLE_EQ(c.step, -0.05);
    EXPECT_EQ(c.IntervalMm(), -50);
}

TEST(LasLoad, RefusesLogsItCannotLayOut) {
    Log log;
    log.Write(HeaderKeys{}, exporttest::RegularRecords(1, 100000, 50, 0));
    LasConverter c;
    c.SetInput(log.data, log.dir.Path());
    EXPECT_EQ(c.LoadLog(log.record), LasConverter::Load::Invalid);  // a single record

    HeaderKeys noStep;
    noStep.step = 0;
    log.Write(noStep, exporttest::RegularRecords(5, 100000, 50, 0));
    EXPECT_EQ(c.LoadLog(log.record), LasConverter::Load::Invalid);  // a depth log without a step

    c.SetInput(log.dir / "missing.zne", log.dir.Path());
    EXPECT_EQ(c.LoadLog(log.record), LasConverter::Load::OpenFailed);
}

TEST(LasLoad, DamagedLastRecordGivesWayToTheOneBefore) {
    Log log;
    log.Write(HeaderKeys{}, exporttest::RegularRecords(6, 100000, 50, 0));
    exporttest::DamageByte(log.data, 5 * 28 + 21);
    LasConverter c;
    c.SetInput(log.data, log.dir.Path());
    ASSERT_EQ(c.LoadLog(log.record), LasConverter::Load::Ok);
    EXPECT_DOUBLE_EQ(c.last, 100.20);
    EXPECT_EQ(c.recordCount, 4);
}

TEST(LasLoad, DepthRangeStaysInsideTheLog) {
    Log log;
    log.Write(HeaderKeys{}, exporttest::RegularRecords(20, 100000, 50, 0));
    LasConverter c;
    c.SetInput(log.data, log.dir.Path());
    ASSERT_EQ(c.LoadLog(log.record), LasConverter::Load::Ok);
    std::string msg;
    double v = 90.0;
    EXPECT_FALSE(c.ValidateDepthRange(v, true, &msg));
    EXPECT_DOUBLE_EQ(v, c.first);
    EXPECT_EQ(msg, "Bad entry value (begining 97.96 ending 100.95) \n");
    v = 99.0;
    EXPECT_TRUE(c.ValidateDepthRange(v, true));
    EXPECT_DOUBLE_EQ(v, 99.0);
    v = 101.0;
    EXPECT_FALSE(c.ValidateDepthRange(v, true));
    EXPECT_DOUBLE_EQ(v, c.to - 0.05);
    v = 120.0;
    EXPECT_FALSE(c.ValidateDepthRange(v, false));
    EXPECT_DOUBLE_EQ(v, c.last);
    v = 50.0;
    EXPECT_FALSE(c.ValidateDepthRange(v, false));
    EXPECT_DOUBLE_EQ(v, c.first + 0.05);

    // A decreasing log keeps both ends between L and F.
    c.first = 200;
    c.last = 100;
    v = 250;
    EXPECT_FALSE(c.ValidateDepthRange(v, true));
    EXPECT_DOUBLE_EQ(v, 200);
    v = 50;
    EXPECT_FALSE(c.ValidateDepthRange(v, true));
    EXPECT_DOUBLE_EQ(v, 100.05);
    v = 50;
    EXPECT_FALSE(c.ValidateDepthRange(v, false));
    EXPECT_DOUBLE_EQ(v, 100);
    v = 250;
    EXPECT_FALSE(c.ValidateDepthRange(v, false));
    EXPECT_DOUBLE_EQ(v, 199.95);
}

// ---------------------------------------------------------------------------
// Conversion

class LasConversion : public ::testing::Test {
protected:
    void Load(const HeaderKeys& keys, const std::vector<zns::DataFileRecord>& records) {
        log.Write(keys, records);
        conv = std::make_unique<LasConverter>(answers.Hooks());
        conv->SetInput(log.data, log.dir.Path());
        ASSERT_EQ(conv->LoadLog(log.record), LasConverter::Load::Ok);
        conv->channels.speed = conv->channels.gamma = true;
        for (int rx = 0; rx < 3; ++rx) conv->channels.gain[rx] = conv->channels.travelTime[rx] = true;
    }
    std::string Run(LasConverter::Result expected) {
        EXPECT_EQ(conv->GenerateFile(), expected);
        return ReadAll(conv->outputPath);
    }
    Log log;
    Answers answers;
    std::unique_ptr<LasConverter> conv;
};

TEST_F(LasConversion, DownLogLinesTakeEachSensorFromItsOwnRecord) {
    Load(HeaderKeys{}, exporttest::RegularRecords(20, 100000, 50, 0));
    const std::string las = Run(LasConverter::Result::Completed);
    EXPECT_TRUE(answers.boxes.empty());
    // N = 19 + 41 lines, on a regular 5 cm grid from the first depth less the sonde.
    const auto rows = DataLines(las);
    ASSERT_EQ(rows.size(), 60u);
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 9u);
        EXPECT_EQ(rows[i][0], Cm(9796 + 5 * static_cast<int>(i))) << i;
    }
    EXPECT_NE(las.find(" STRT.M           97.96 "), std::string::npos);
    EXPECT_NE(las.find(" STOP.M          100.91 "), std::string::npos);
    // Speed from the line's own record; the trailing lines repeat the last speed.
    EXPECT_EQ(rows[0][1], "3.20");
    EXPECT_EQ(rows[19][1], "3.39");
    EXPECT_EQ(rows[40][1], "3.39");
    // Gamma 4 records back (180 cm of a 204 cm sonde at 5 cm): count 400 x 0.25 x 1.5.
    EXPECT_EQ(rows[3][2], "-999.25");
    EXPECT_EQ(rows[4][2], "150.00");
    EXPECT_EQ(rows[23][2], zns::Format("%.2f", 419 * 0.25 * 1.5));
    EXPECT_EQ(rows[24][2], "-999.25");  // a trailing record has no gamma
    // Rx1 30 records back, Rx2 20, Rx3 10.
    EXPECT_EQ(rows[29][3], "-999.25");
    EXPECT_EQ(rows[30][3], "10.00");
    EXPECT_EQ(rows[30][4], "200.00");
    EXPECT_EQ(rows[20][5], "20.00");
    EXPECT_EQ(rows[20][6], "300.00");
    EXPECT_EQ(rows[15][7], "35.00");
    EXPECT_EQ(rows[15][8], "405.00");
    // The work file holds one 17-byte record per depth step, left in place.
    EXPECT_EQ(zns::FileSize(conv->tempPath), 61 * 17);
    // No newline after the last value.
    EXPECT_NE(las.back(), '\n');
}

TEST_F(LasConversion, UpLogTakesEachSensorFromTheOtherSide) {
    HeaderKeys k;
    k.logMode = 11;
    auto recs = exporttest::RegularRecords(20, 100000, -50, 0);
    recs[0].travelTime[0] = 65535;  // no pick
    Load(k, recs);
    const auto rows = DataLines(Run(LasConverter::Result::Completed));
    ASSERT_EQ(rows.size(), 60u);
    EXPECT_EQ(rows[0][0], "100.00");
    EXPECT_EQ(rows[59][0], "97.05");
    // Going up, the sensors nearest the sonde's top pass a depth last:
    // gamma 36 records back, Rx1 10, Rx2 20, Rx3 30.
    EXPECT_EQ(rows[35][2], "-999.25");
    EXPECT_EQ(rows[36][2], "150.00");
    EXPECT_EQ(rows[9][3], "-999.25");
    EXPECT_EQ(rows[10][3], "10.00");
    EXPECT_EQ(rows[10][4], "-999.25");  // travel time 65535 is the null value
    EXPECT_EQ(rows[11][4], "201.00");
    EXPECT_EQ(rows[20][5], "20.00");
    EXPECT_EQ(rows[21][6], "301.00");
    EXPECT_EQ(rows[30][7], "30.00");
    EXPECT_EQ(rows[49][8], "419.00");
    EXPECT_EQ(rows[50][8], "-999.25");
}

TEST_F(LasConversion, RangeAgainstTheLogIsTurnedAndAnEmptyOneRefused) {
    HeaderKeys k;
    k.logMode = 11;
    k.sondeLength = 206;
    Load(k, exporttest::RegularRecords(20, 100000, -50, 0));  // 100.00 up to 96.99
    // From and To typed upward in an upward log: the depths between them.
    conv->from = 97.5;
    conv->to = 99.5;
    const auto rows = DataLines(Run(LasConverter::Result::Completed));
    EXPECT_DOUBLE_EQ(conv->from, 99.5);
    EXPECT_DOUBLE_EQ(conv->to, 97.5);
    ASSERT_EQ(rows.size(), 40u);
    EXPECT_EQ(rows.front()[0], "99.50");
    EXPECT_EQ(conv->LinesWritten(), 40);

    // Exported again: the earlier file is whole until the new one is on disk, and
    // the work file an interrupted export left goes.
    const std::string left = zns::DirPart(conv->outputPath) + "." + zns::FilePart(conv->outputPath) +
                             ".tmp4194305.0123456789abcdef";
    exporttest::WriteAll(left, "left");
    static std::string out, atSync;
    out = conv->outputPath;
    zns::detail::SetSyncHook([](int) { return atSync = ReadAll(out), 0; });
    Run(LasConverter::Result::Completed);
    zns::detail::SetSyncHook(nullptr);
    EXPECT_EQ(DataLines(atSync).size(), 40u);
    EXPECT_FALSE(zns::FileExists(left));

    // A range between two lines holds none: refused, the earlier file untouched.
    conv->from = conv->to = 99.94;
    EXPECT_EQ(conv->GenerateFile(), LasConverter::Result::EmptyRange);
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_EQ(answers.boxes[0].first, zns::Format(LasConverter::kMsgEmptyRange, 99.94, 99.94, 100.0, 96.99));
    EXPECT_EQ(DataLines(ReadAll(conv->outputPath)).size(), 40u);

    // A log that ends before the chosen range writes no line: not complete, no file.
    exporttest::DamageByte(log.data, 2 * 28 + 20);
    conv->from = 97.75;  // past the two good records and the sonde's trailing lines
    conv->to = 97.5;
    EXPECT_EQ(conv->GenerateFile(), LasConverter::Result::NoLines);
    EXPECT_EQ(DataLines(ReadAll(conv->outputPath)).size(), 40u);  // the earlier file stays
}

TEST_F(LasConversion, OutputThatIsTheLogIsRefusedBeforeAnythingIsDeleted) {
    Load(HeaderKeys{}, exporttest::RegularRecords(20, 100000, 50, 0));
    const std::string zne = ReadAll(log.data), hed = ReadAll(log.header);
    ASSERT_EQ(::link(log.data.c_str(), (log.dir / "RUN1.ZNE").c_str()), 0);
    for (const std::string& out : {log.dir / "LAS/../run1.zne", log.dir.Path() + "//./run1.hed", log.dir / "RUN1.ZNE"}) {
        conv->outputPath = out;
        EXPECT_EQ(conv->GenerateFile(), LasConverter::Result::OutputIsLog) << out;
        ASSERT_FALSE(answers.boxes.empty());
        EXPECT_EQ(answers.boxes.back().first, LasConverter::kMsgOutputIsLog + out);
    }
    EXPECT_EQ(answers.boxes.size(), 3u);
    EXPECT_EQ(ReadAll(log.data), zne);
    EXPECT_EQ(ReadAll(log.header), hed);
}

TEST_F(LasConversion, ReverseRunsFromToBackToFrom) {
    Load(HeaderKeys{}, exporttest::RegularRecords(20, 100000, 50, 0));
    conv->reverse = true;
    const std::string las = Run(LasConverter::Result::Completed);
    const auto rows = DataLines(las);
    ASSERT_EQ(rows.size(), 60u);
    EXPECT_EQ(rows.front()[0], "100.91");
    EXPECT_EQ(rows.back()[0], "97.96");
    EXPECT_NE(las.find(" STRT.M          100.91 "), std::string::npos);
    EXPECT_NE(las.find(" STEP.M           -0.05 "), std::string::npos);
}

TEST_F(LasConversion, ChosenRangeAndChannels) {
    Load(HeaderKeys{}, exporttest::RegularRecords(20, 100000, 50, 0));
    conv->from = 98.46;
    conv->to = 100.45;
    conv->channels = {};
    conv->channels.gamma = true;
    conv->channels.travelTime[1] = true;
    const std::string las = Run(LasConverter::Result::Completed);
    const auto rows = DataLines(las);
    ASSERT_EQ(rows.size(), 41u);
    EXPECT_EQ(rows.front()[0], "98.46");
    EXPECT_EQ(rows.back()[0], "100.46");
    EXPECT_EQ(rows.front().size(), 3u);
    EXPECT_NE(las.find("~A  DEPTH     GAMMA      TT2"), std::string::npos);
    EXPECT_EQ(las.find("GRX1"), std::string::npos);
    EXPECT_EQ(las.find(" SPEED"), std::string::npos);
}

TEST_F(LasConversion, DepthJumpAsksAndNoRepeatsTheRecord) {
    auto recs = exporttest::RegularRecords(6, 100000, 50, 0);
    recs[3].depthMm = 100300;  // 20 cm past the 100.10 record
    recs[4].depthMm = 100350;
    recs[5].depthMm = 100400;
    Load(HeaderKeys{}, recs);
    answers.script = {IDNO};
    const std::string las = Run(LasConverter::Result::Completed);
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_EQ(answers.boxes[0].first, LasConverter::kMsgFileCorrupted);
    EXPECT_EQ(answers.boxes[0].second, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    const auto rows = DataLines(las);
    ASSERT_GE(rows.size(), 9u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(rows[static_cast<size_t>(i)][0], Cm(9796 + 5 * i));
    for (int i = 3; i < 7; ++i) EXPECT_EQ(rows[static_cast<size_t>(i)][1], "3.23");  // the same record four times
    EXPECT_EQ(rows[7][1], "3.24");
}

TEST_F(LasConversion, DepthJumpYesKeepsWhatWasRead) {
    auto recs = exporttest::RegularRecords(6, 100000, 50, 0);
    recs[3].depthMm = 100300;
    Load(HeaderKeys{}, recs);
    answers.script = {IDYES};
    const std::string las = Run(LasConverter::Result::Stopped);
    // Three records and the sonde's 41 trailing depths.
    EXPECT_EQ(DataLines(las).size(), 44u);
    EXPECT_EQ(zns::FileSize(conv->tempPath), 44 * 17);
}

TEST_F(LasConversion, TimeLogGivesOneLinePerRecordWithoutShift) {
    HeaderKeys k;
    k.logMode = 10;
    Load(k, exporttest::RegularRecords(10, 50000, 50, 0));
    EXPECT_EQ(conv->mode, zns::LAS_MODE_TIME);
    EXPECT_DOUBLE_EQ(conv->step, 0.05);
    EXPECT_EQ(conv->sondeShift, 0);
    const std::string las = Run(LasConverter::Result::Completed);
    EXPECT_NE(las.find(" STEP.M           0.050 "), std::string::npos);
    // Every record gives its line, the last one included.
    const auto rows = DataLines(las);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_NE(las.find(" STOP.M           50.45 "), std::string::npos);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][0], Cm(5000 + 5 * static_cast<int>(i)));
        EXPECT_EQ(rows[i][2], zns::Format("%.2f", (400 + static_cast<int>(i)) * 0.25 * 1.5));
        EXPECT_EQ(rows[i][4], zns::Format("%d.00", 200 + static_cast<int>(i)));
    }
    // A 2.5 cm step is not raised to 3 cm: the lines run evenly to the last record's depth.
    Load(k, exporttest::RegularRecords(123, 114732, 25, 0));
    const std::string las2 = Run(LasConverter::Result::Completed);
    EXPECT_NE(las2.find(" STEP.M           0.025 "), std::string::npos);
    EXPECT_NE(las2.find(" STOP.M          117.78 "), std::string::npos);
    EXPECT_EQ(DataLines(las2).at(61).at(0), "116.25");  // 116.257 m cut, as the depth modes cut
    // A mean step of 24.8 mm written as 25: a range takes the lines whose depth lies in it.
    auto recs = exporttest::RegularRecords(123, 114732, 25, 0);
    recs.back().depthMm -= 20;
    Load(k, recs);
    EXPECT_EQ(DataLines(Run(LasConverter::Result::Completed)).size(), 123u);
    conv->from = 116.0;
    conv->to = 117.0;
    const auto part = DataLines(Run(LasConverter::Result::Completed));
    ASSERT_EQ(part.size(), 41u);
    EXPECT_EQ(part.front()[0] + " to " + part.back()[0], "116.00 to 117.00");
}

TEST_F(LasConversion, StationaryTimeLogExportsEveryRecord) {
    HeaderKeys k;
    k.logMode = 10;
    Load(k, exporttest::RegularRecords(8, 50000, 0, 0));
    EXPECT_EQ(conv->stepSize, 0.0);
    const auto rows = DataLines(Run(LasConverter::Result::Completed));
    ASSERT_EQ(rows.size(), 8u);
    for (const auto& r : rows) EXPECT_EQ(r[0], "50.00");
}

TEST_F(LasConversion, ManualBoxPicksTravelTimeFromTheWaveform) {
    HeaderKeys k;
    k.logMode = 10;
    auto recs = exporttest::RegularRecords(4, 50000, 50, 0x01);  // Rx1: 256 samples at 4 us
    for (auto& r : recs) {
        r.trace[0].fill(0);
        r.trace[0][24] = -100;  // 96 us
        r.trace[0][25] = 300;   // 100 us
    }
    Load(k, recs);
    conv->manual.use[0] = true;
    conv->manual.threshold[0] = 2;
    conv->manual.start[0] = 50;
    conv->manual.end[0] = 500;
    EXPECT_EQ(conv->ComputeTravelTime(1, 0x01, recs[0].trace[0].data()), 97);
    EXPECT_EQ(conv->ComputeTravelTime(2, 0x01, recs[0].trace[1].data()), 65535);  // no trace for Rx2
    const auto rows = DataLines(Run(LasConverter::Result::Completed));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][4], "97.00");
    EXPECT_EQ(rows[0][6], "300.00");  // Rx2 keeps the recorded time
}

TEST_F(LasConversion, DamagedRecordEndsTheLogThereAndSaysSo) {
    Load(HeaderKeys{}, exporttest::RegularRecords(20, 100000, 50, 0));
    exporttest::DamageByte(log.data, 10 * 28 + 20);
    const std::string las = Run(LasConverter::Result::Damaged);
    EXPECT_EQ(conv->DamageOffset(), 280);
    EXPECT_EQ(conv->DamageStatus(), zns::RecordStatus::BadCheck);
    // Ten good records and the sonde's trailing depths; nothing from the damaged record on.
    const auto rows = DataLines(las);
    ASSERT_EQ(rows.size(), 51u);
    EXPECT_EQ(rows[9][1], "3.29");
    EXPECT_EQ(rows[10][1], "3.29");
    EXPECT_EQ(rows[10][3], "-999.25");
    EXPECT_NE(las.find(" STOP.M          100.46 "), std::string::npos);  // the last line written
}

TEST_F(LasConversion, MissingDataFileLeavesNoOutput) {
    Load(HeaderKeys{}, exporttest::RegularRecords(20, 100000, 50, 0));
    std::remove(log.data.c_str());
    EXPECT_EQ(conv->GenerateFile(), LasConverter::Result::OpenFailed);
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_EQ(answers.boxes[0].first, "Trouble opening file.");
    EXPECT_EQ(answers.boxes[0].second, MB_OK | MB_ICONERROR);
    EXPECT_FALSE(zns::FileExists(conv->outputPath));
}

TEST_F(LasConversion, OutputThatCannotBeCreated) {
    Load(HeaderKeys{}, exporttest::RegularRecords(5, 100000, 50, 0));
    conv->outputPath = log.dir / "no/such/folder/x.las";
    EXPECT_EQ(conv->GenerateFile(), LasConverter::Result::OutputOpenFailed);
}
