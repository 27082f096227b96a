// The demonstration log shipped with the program goes through both exports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ExportTestLog.h"
#include "export/LasConversion.h"
#include "export/Seg2Export.h"
#include "platform/Paths.h"

namespace {

std::string DemoFolder() {
    const char* src = std::getenv("ZNS_SOURCE_DIR");
    return std::string(src ? src : ".") + "/resources/Demo";
}

class DemoLog : public ::testing::Test {
protected:
    void SetUp() override {
        if (!zns::FileExists(DemoFolder() + "/ZNS_IT_UP.zne")) GTEST_SKIP() << "no demo log";
        for (const char* f : {"ZNS_IT_UP.zne", "ZNS_IT_UP.hed"})
            std::filesystem::copy_file(DemoFolder() + "/" + f, dir / f);
    }
    exporttest::TempDir dir;
};

TEST_F(DemoLog, LasLinesRunUpInFiveCentimetreSteps) {
    SharedData shared;
    SettingsData settings;
    HeaderRecord record;
    CHeader reader(record, shared, settings);
    ASSERT_FALSE(reader.ReadHeaderFile(dir / "ZNS_IT_UP.hed"));
    zns::LasConverter c;
    c.SetInput(dir / "ZNS_IT_UP.zne", dir.Path());
    ASSERT_EQ(c.LoadLog(record), zns::LasConverter::Load::Ok);
    EXPECT_EQ(c.mode, zns::LAS_MODE_UP);
    EXPECT_EQ(c.recordSize, 3100);
    EXPECT_EQ(c.sondeShift, 60);
    c.channels.speed = c.channels.gamma = true;
    for (int rx = 0; rx < 3; ++rx) c.channels.gain[rx] = c.channels.travelTime[rx] = true;
    ASSERT_EQ(c.GenerateFile(), zns::LasConverter::Result::Completed);
    const std::string las = exporttest::ReadAll(c.outputPath);
    const size_t a = las.find("~A  DEPTH");
    ASSERT_NE(a, std::string::npos);
    double previous = 0;
    int lines = 0;
    for (size_t at = las.find("\r\n", a); at != std::string::npos; at = las.find("\r\n", at + 2)) {
        const double depth = std::strtod(las.c_str() + at + 2, nullptr);
        if (lines > 0) {
            EXPECT_NEAR(previous - depth, 0.05, 0.0101) << lines;
        }
        previous = depth;
        ++lines;
    }
    EXPECT_EQ(lines, c.lineCount);
}

TEST_F(DemoLog, Seg2HasAFileOfThreeHundredTracesPerReceiver) {
    SettingsData settings;
    zns::SetFixedField(settings.files.szProgramDir, dir.Path() + "/");
    HeaderRecord record;
    double first = 0, last = 0, step = 0;
    std::vector<std::string> boxes;
    zns::Seg2ExportHooks hooks;
    hooks.messageBox = [&boxes](const std::string& t, unsigned) {
        boxes.push_back(t);
        return 1;
    };
    zns::Seg2Exporter ex(settings, record, first, last, step, nullptr, hooks);
    ASSERT_TRUE(ex.ExportDataFile(dir / "ZNS_IT_UP.zne"));
    EXPECT_TRUE(boxes.empty());
    for (const char* name : {"Near", "Medium", "Far"}) {
        const std::string bytes = exporttest::ReadAll(dir / (std::string("SEG2/ZNS_IT_UP_") + name + ".sg2"));
        ASSERT_GE(bytes.size(), 32u) << name;
        EXPECT_EQ(static_cast<uint8_t>(bytes[6]) | (static_cast<uint8_t>(bytes[7]) << 8), 300) << name;
        EXPECT_EQ(bytes.size(), 240u + 4u * 300u + 300u * (208u + 2048u)) << name;
    }
}

}  // namespace
