// The demonstration log: recorded through the program's own link and recorder
// from the simulated logger on virtual time, the same bytes every time, and
// the shipped one whole and going up.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "link/ToolsStream.h"
#include "platform/Paths.h"
#include "settings/Header.h"
#include "settings/Ini.h"
#include "tools/DemoLog.h"

namespace {

std::string SourceDir() {
    const char* src = std::getenv("ZNS_SOURCE_DIR");
    return src ? src : "/work/main";
}

class TempDir {
public:
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "zns-flow-XXXXXX").string();
        if (mkdtemp(t.data())) m_path = t;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::vector<char> Bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Every record of the file; `whole` false when it does not end on a whole, sound record.
std::vector<zns::DataFileRecord> Records(const std::string& path, bool* whole) {
    std::vector<zns::DataFileRecord> out;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    *whole = false;
    if (!f) return out;
    for (;;) {
        auto rec = std::make_unique<zns::DataFileRecord>();
        const zns::RecordStatus st = zns::ReadRecord(f.get(), *rec);
        if (st != zns::RecordStatus::Ok) {
            *whole = st == zns::RecordStatus::EndOfFile;
            return out;
        }
        out.push_back(*rec);
    }
}

// A log going up: depths falling by the 5 cm interval, whole traces of all
// three receivers, and a header that frames them.
void ExpectUpLog(const std::string& data, const std::string& hed, int atLeast) {
    bool whole = false;
    const auto recs = Records(data, &whole);
    EXPECT_TRUE(whole);
    ASSERT_GE(static_cast<int>(recs.size()), atLeast);
    for (size_t i = 0; i < recs.size(); ++i) {
        for (int rx = 0; rx < 3; ++rx) {
            ASSERT_EQ(recs[i].SampleCount(rx), 512) << i;
            EXPECT_NE(recs[i].travelTime[rx], 65535) << i << " rx " << rx;
        }
        if (i > 0) {
            EXPECT_EQ(recs[i].depthMm, recs[i - 1].depthMm - 50) << i;
            EXPECT_GE(recs[i].elapsedMs, recs[i - 1].elapsedMs) << i;
        }
    }
    CIni ini(hed, "WellInfo", TRUE);
    EXPECT_EQ(ini.GetInt("LogMode", 0), HEADER_LOG_UP);
    EXPECT_EQ(ini.GetInt("step", 0), 5);
    EXPECT_EQ(ini.GetInt("Startdepth", 0), recs.front().depthMm);
    EXPECT_EQ(ini.GetInt("EndDepth", 0), recs.back().depthMm);
    EXPECT_EQ(ini.GetInt("RXNumber", 0, "General"), 3);
}

TEST(DemoLog, TheSameOptionsGiveTheSameBytes) {
    TempDir a, b;
    std::vector<char> files[2][2];
    int n = 0;
    for (const TempDir* d : {&a, &b}) {
        zns::tools::DemoLogOptions o;
        o.sondeDir = zns::JoinPath(SourceDir(), "resources");
        o.dataPath = d->File("up.zne");
        o.headerPath = d->File("up.hed");
        o.records = 40;
        const zns::tools::DemoLogResult r = zns::tools::RecordDemoLog(o);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_GE(r.records, 40);
        ExpectUpLog(o.dataPath, o.headerPath, 40);
        files[n][0] = Bytes(o.dataPath);
        files[n][1] = Bytes(o.headerPath);
        ++n;
    }
    EXPECT_TRUE(files[0][0] == files[1][0]);
    EXPECT_TRUE(files[0][1] == files[1][1]);
}

TEST(DemoLog, TheShippedLogIsWholeSmallAndGoesUp) {
    const std::string demo = zns::JoinPath(SourceDir(), "resources/Demo/ZNS_IT_UP");
    ASSERT_TRUE(zns::FileExists(demo + ".zne"));
    ASSERT_TRUE(zns::FileExists(demo + ".hed"));
    EXPECT_LT(zns::FileSize(demo + ".zne"), 2 * 1024 * 1024);
    ExpectUpLog(demo + ".zne", demo + ".hed", 200);
}

}  // namespace
