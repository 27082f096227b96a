#pragma once
// A small recorded log for the export tests: ".zne" records written with the
// program's own record writer, and a ".hed" header beside them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/ToolsStream.h"
#include "platform/NumText.h"

namespace exporttest {

inline std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

// A fresh folder per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/zns_export_XXXXXX";
        const char* made = ::mkdtemp(pattern);
        m_path = made ? made : "/tmp";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// The header keys the exports read.
struct HeaderKeys {
    int logMode = 12;  // header code: 10 time, 11 up, 12 down
    int step = 5;      // cm
    int sondeLength = 204;
    int offsetGamma = 180;
    int offsetRx[3] = {50, 100, 150};
    double gammaCoef = 1.5;
    int rxNumber = 3;
    bool naturalGamma = true;
    std::string rxName[3] = {"_Rx1", "_Rx2", "_Rx3"};
    std::string company = "ACME Logging";
    std::string wellname = "Well 7";
    std::string logDatum = "06 December 2026";
};

inline void WriteHeader(const std::string& path, const HeaderKeys& k) {
    std::string t = "[General]\r\n";
    t += zns::Format("SondeLength=%d\r\nRXNumber=%d\r\n", k.sondeLength, k.rxNumber);
    for (int rx = 0; rx < 3; ++rx) t += zns::Format("OffsetRx%d=%d\r\n", rx + 1, k.offsetRx[rx]);
    for (int rx = 0; rx < 3; ++rx) t += zns::Format("Rx%d_Name=", rx + 1) + k.rxName[rx] + "\r\n";
    t += std::string("Natural_Gamma=") + (k.naturalGamma ? "yes" : "no") + "\r\n";
    t += zns::Format("OffsetGamma =%d\r\nGammaCoef=%f\r\n", k.offsetGamma, k.gammaCoef);
    t += "\r\n[WellInfo]\r\n";
    t += "Company=" + k.company + "\r\nWellname=" + k.wellname + "\r\nLogDatum=" + k.logDatum + "\r\n";
    t += zns::Format("step=%d\r\nLogMode=%d\r\n", k.step, k.logMode);
    WriteAll(path, t);
}

// A record at `depthMm` with recognisable values.
inline zns::DataFileRecord MakeRecord(int32_t depthMm, uint8_t traceByte, int seed) {
    zns::DataFileRecord r;
    r.depthMm = depthMm;
    r.speed = static_cast<int16_t>(320 + seed);
    r.elapsedMs = static_cast<uint32_t>(1000 * seed);
    r.travelTime[0] = static_cast<uint16_t>(200 + seed);
    r.travelTime[1] = static_cast<uint16_t>(300 + seed);
    r.travelTime[2] = static_cast<uint16_t>(400 + seed);
    r.gamma = static_cast<uint16_t>(400 + seed);
    r.gain[0] = static_cast<uint8_t>(10 + seed % 50);
    r.gain[1] = static_cast<uint8_t>(20 + seed % 50);
    r.gain[2] = static_cast<uint8_t>(30 + seed % 50);
    r.traceByte = traceByte;
    for (int rx = 0; rx < 3; ++rx)
        for (int i = 0; i < r.SampleCount(rx); ++i)
            r.trace[rx][static_cast<size_t>(i)] =
                static_cast<int16_t>(((i * 37 + seed * 11 + rx * 101) % 2001 - 1000) * (rx + 1));
    return r;
}

// Writes the records with the recorder's writer.
inline void WriteRecords(const std::string& dataPath, const std::string& headerPath,
                         const std::vector<zns::DataFileRecord>& records) {
    std::remove(dataPath.c_str());
    zns::DataFileWriter writer;
    ASSERT_TRUE(writer.Open(dataPath, headerPath));
    std::vector<uint8_t> buf(zns::kRecordMaxBytes);
    for (const auto& r : records) {
        const size_t n = zns::EncodeRecord(r, buf.data());
        ASSERT_TRUE(writer.Append(buf.data(), n));
    }
    writer.Close();
}

// Records every `stepMm` from `startMm` (negative step for an upward log).
inline std::vector<zns::DataFileRecord> RegularRecords(int count, int32_t startMm, int32_t stepMm, uint8_t traceByte) {
    std::vector<zns::DataFileRecord> v;
    for (int i = 0; i < count; ++i) v.push_back(MakeRecord(startMm + i * stepMm, traceByte, i));
    return v;
}

// Flips one byte of the file at `offset` (a record whose check then fails).
inline void DamageByte(const std::string& path, long offset) {
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, offset, SEEK_SET);
    int c = std::fgetc(f);
    std::fseek(f, offset, SEEK_SET);
    std::fputc(c ^ 0x5A, f);
    std::fclose(f);
}

}  // namespace exporttest
