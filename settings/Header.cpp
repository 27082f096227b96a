#include "settings/Header.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "records/SharedRecords.h"
#include "platform/Clock.h"
#include "platform/FileReplace.h"
#include "platform/IniFile.h"
#include "platform/NumText.h"
#include "platform/Paths.h"

namespace {

using K = WellInfoKey;
using H = HeaderRecord;

constexpr K S(const char* key, std::string H::*m) { return {key, K::String, m, nullptr, nullptr}; }
constexpr K I(const char* key, int32_t H::*m) { return {key, K::Int, nullptr, m, nullptr}; }
constexpr K D(const char* key, double H::*m) { return {key, K::Double, nullptr, nullptr, m}; }

// File order of [WellInfo]; other software reads these files, the order is fixed.
const std::array<WellInfoKey, kWellInfoKeyCount> kWellInfo = {{
    S("Company", &H::Company), S("Country", &H::Country), S("Fieldname", &H::Fieldname),
    S("Latitude", &H::Latitude), S("Longitude", &H::Longitude), S("Location", &H::Location),
    S("Project", &H::Project), S("ServiceCompany", &H::ServiceCompany), S("UWI", &H::UWI),
    S("Wellname", &H::Wellname),
    I("DepthUnit", &H::DepthUnit), I("Startdepth", &H::Startdepth), I("EndDepth", &H::EndDepth),
    I("StartTime", &H::StartTime), I("EndTime", &H::EndTime), I("step", &H::step),
    I("LogMode", &H::LogMode), I("Zero", &H::Zero),
    S("LogName", &H::LogName),
    S("OtherServices1", &H::OtherServices1), S("OtherServices2", &H::OtherServices2),
    S("OtherServices3", &H::OtherServices3), S("OtherServices4", &H::OtherServices4),
    S("OtherServices5", &H::OtherServices5),
    S("SondeAbbreviation", &H::SondeAbbreviation),
    S("DateRun1", &H::DateRun1), S("DateRun2", &H::DateRun2), S("DateRun3", &H::DateRun3),
    S("Date", &H::Date),
    S("DrillDatum", &H::DrillDatum), S("LogDatum", &H::LogDatum), S("PermanentDatum", &H::PermanentDatum),
    D("DrillFloor", &H::DrillFloor),
    S("Elevation", &H::Elevation),
    D("GroundLevel", &H::GroundLevel), D("KellyBushing", &H::KellyBushing),
    I("RunNo1", &H::RunNo1), I("RunNo2", &H::RunNo2), I("RunNo3", &H::RunNo3),
    S("Fluid1", &H::Fluid1), S("Fluid2", &H::Fluid2), S("Fluid3", &H::Fluid3),
    S("FluidDensity1", &H::FluidDensity1), S("FluidDensity2", &H::FluidDensity2),
    S("FluidDensity3", &H::FluidDensity3),
    S("FluidLevel1", &H::FluidLevel1), S("FluidLevel2", &H::FluidLevel2), S("FluidLevel3", &H::FluidLevel3),
    S("LogType1", &H::LogType1), S("LogType2", &H::LogType2), S("LogType3", &H::LogType3),
    D("MaxTemperature1", &H::MaxTemperature1), D("MaxTemperature2", &H::MaxTemperature2),
    D("MaxTemperature3", &H::MaxTemperature3),
    S("RigTime1", &H::RigTime1), S("RigTime2", &H::RigTime2), S("RigTime3", &H::RigTime3),
    S("Salinity1", &H::Salinity1), S("Salinity2", &H::Salinity2), S("Salinity3", &H::Salinity3),
    D("Deepest1", &H::Deepest1), D("Deepest2", &H::Deepest2), D("Deepest3", &H::Deepest3),
    D("DepthDriller1", &H::DepthDriller1), D("DepthDriller2", &H::DepthDriller2),
    D("DepthDriller3", &H::DepthDriller3),
    D("DepthLogger1", &H::DepthLogger1), D("DepthLogger2", &H::DepthLogger2),
    D("DepthLogger3", &H::DepthLogger3),
    S("Engineer1", &H::Engineer1), S("Engineer2", &H::Engineer2), S("Engineer3", &H::Engineer3),
    D("Shallow1", &H::Shallow1), D("Shallow2", &H::Shallow2), D("Shallow3", &H::Shallow3),
    S("Witness1", &H::Witness1), S("Witness2", &H::Witness2), S("Witness3", &H::Witness3),
    D("BitRec1", &H::BitRec1), D("BitRec2", &H::BitRec2), D("BitRec3", &H::BitRec3),
    D("BitRecFrom1", &H::BitRecFrom1), D("BitRecFrom2", &H::BitRecFrom2), D("BitRecFrom3", &H::BitRecFrom3),
    D("BitRecTo1", &H::BitRecTo1), D("BitRecTo2", &H::BitRecTo2), D("BitRecTo3", &H::BitRecTo3),
    D("CasRecFrom1", &H::CasRecFrom1), D("CasRecFrom2", &H::CasRecFrom2), D("CasRecFrom3", &H::CasRecFrom3),
    D("CasRecSize1", &H::CasRecSize1), D("CasRecSize2", &H::CasRecSize2), D("CasRecSize3", &H::CasRecSize3),
    D("CasRecTo1", &H::CasRecTo1), D("CasRecTo2", &H::CasRecTo2), D("CasRecTo3", &H::CasRecTo3),
    D("CasRecWeight1", &H::CasRecWeight1), D("CasRecWeight2", &H::CasRecWeight2),
    D("CasRecWeight3", &H::CasRecWeight3),
    S("Comment1", &H::Comment1), S("Comment2", &H::Comment2), S("Comment3", &H::Comment3),
    S("Comment4", &H::Comment4), S("Comment5", &H::Comment5), S("Comment6", &H::Comment6),
    S("Comment7", &H::Comment7), S("Comment8", &H::Comment8), S("Comment9", &H::Comment9),
    S("Comment10", &H::Comment10),
}};

constexpr const char* kEol = "\r\n";

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool FileReadable(const std::string& path) {
    if (!zns::FileExists(path)) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char c;
    std::fread(&c, 1, 1, f);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

}  // namespace

const std::array<WellInfoKey, kWellInfoKeyCount>& WellInfoKeys() { return kWellInfo; }

namespace zns {

int HeaderLogModeFromRecordingMode(int recordingMode) {
    if (recordingMode == RECMODE_UP) return HEADER_LOG_UP;
    if (recordingMode == RECMODE_DOWN) return HEADER_LOG_DOWN;
    return HEADER_LOG_TIME;
}

int32_t HeaderSondeLength(int32_t stated) { return std::max<int32_t>(stated, 0); }

int RecordingModeFromHeaderLogMode(int logMode) {
    if (logMode == HEADER_LOG_UP) return RECMODE_UP;
    if (logMode == HEADER_LOG_DOWN) return RECMODE_DOWN;
    return RECMODE_TIME;
}

int HeaderTraceBytes(uint8_t traceByte) {
    int t = 0;
    for (int rx = 0; rx < 3; ++rx) {
        int code = (traceByte >> (2 * rx)) & 3;
        t += code == 0 ? 0 : code == 1 ? 512 : 1024;
    }
    return t;
}

int HeaderSampleTypeSize(int sampleType, int traceBytes) {
    switch (sampleType) {
        case 0: case 1: return 1;
        case 2: case 3: return 2;
        case 4: case 5: case 8: return 4;
        case 6: case 7: case 9: return 8;
        case 10: return 3 * traceBytes;  // as other readers of these files expect
        default: return 0;
    }
}

HeaderSondeInfo HeaderSondeFromDatabase(const SondeDatabase& db) {
    HeaderSondeInfo s;
    s.SerialNumber = db.SerialNumber;
    s.SondeLength = db.SondeLength;
    s.RXNumber = db.RX_Number;
    for (int rx = 0; rx < 3; ++rx) {
        s.OffsetRx[rx] = db.OffsetRx[rx];
        s.RxName[rx] = db.RxName[rx];
    }
    s.NaturalGamma = db.NaturalGamma;
    s.GammaOffset = db.GammaOffset;
    s.GammaCoef = db.GammaCoef;
    s.TotalChannel = db.nTotalChannel;
    const int n = std::clamp<int>(db.nTotalChannel, 0, kMaxSondeChannels);
    s.Channels.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const SondeChannel& c = db.Channels[static_cast<size_t>(i)];
        s.Channels.push_back({c.Title, c.TitleShort, c.Unit, c.SampleType, 0});
    }
    return s;
}

std::string HeaderOneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return text;
}

std::string HeaderDoubleText(double v) {
    std::string s = Format("%f", v);
    std::replace(s.begin(), s.end(), ',', '.');
    return s;
}

std::string HeaderFloatText(float v) { return HeaderDoubleText(static_cast<double>(v)); }

std::string HeaderDateText(int day, int month, int year) {
    LocalTime t;
    t.day = day;
    t.month = month;
    t.year = year;
    return FormatTime("%d %B %Y", t);
}

std::string BuildHeaderText(HeaderRecord& rec, const HeaderSondeInfo& sonde, const AcquisitionSettings& set,
                            uint8_t traceByte, const std::string& dataFileName) {
    std::string f;
    f.reserve(8192);
    f += "[General]";
    f += kEol;

    rec.Scale = set.VScale;
    // The file keeps the sonde's length as it stands; the record holds what a
    // reader makes of it (a negative length means nothing).
    rec.SondeLength = HeaderSondeLength(sonde.SondeLength);
    rec.LogType = 1;
    rec.LogMode = HeaderLogModeFromRecordingMode(set.RecordingMode);

    CHeader::WriteInt("SerialNumber", sonde.SerialNumber, f);
    CHeader::WriteInt("LogType", rec.LogType, f);
    CHeader::WriteInt("Scale", rec.Scale, f);
    CHeader::WriteInt("SondeLength", sonde.SondeLength, f);
    CHeader::WriteInt("RXNumber", sonde.RXNumber, f);
    CHeader::WriteInt("OffsetRx1", sonde.OffsetRx[0], f);
    CHeader::WriteInt("OffsetRx2", sonde.OffsetRx[1], f);
    CHeader::WriteInt("OffsetRx3", sonde.OffsetRx[2], f);
    CHeader::WriteLine("Rx1_Name", sonde.RxName[0], f);
    CHeader::WriteLine("Rx2_Name", sonde.RxName[1], f);
    CHeader::WriteLine("Rx3_Name", sonde.RxName[2], f);
    CHeader::WriteBool("Rx1_AGC", set.AGC_Rx1, f);
    CHeader::WriteBool("Rx2_AGC", set.AGC_Rx2, f);
    CHeader::WriteBool("Rx3_AGC", set.AGC_Rx3, f);
    CHeader::WriteBool("Natural_Gamma", sonde.NaturalGamma, f);
    if (sonde.NaturalGamma) {
        CHeader::WriteInt("OffsetGamma ", sonde.GammaOffset, f);
        CHeader::WriteFloat("GammaCoef", static_cast<float>(sonde.GammaCoef), f);
    }
    CHeader::WriteInt("RxLeftView", set.RxLeftView, f);
    CHeader::WriteInt("RxRightView", set.RxRightView, f);

    int channels = std::clamp<int>(sonde.TotalChannel, 0, kMaxHeaderChannels);
    channels = std::min<int>(channels, static_cast<int>(sonde.Channels.size()));
    CHeader::WriteInt("NumberOfChannels", channels, f);

    for (int rx = 0; rx < 3; ++rx) {
        const FirstArrivalSettings& fa = set.FA[rx];
        std::string p = "Rx" + std::to_string(rx + 1);
        CHeader::WriteInt(p + "FAThreshold", fa.Threshold, f);
        CHeader::WriteInt(p + "StartWindow", fa.StartWindow, f);
        CHeader::WriteInt(p + "EndWindow", fa.EndWindow, f);
        CHeader::WriteBool(p + "UseFA", fa.Use, f);
    }

    f += kEol;
    f += "[WellInfo]";
    f += kEol;
    for (const WellInfoKey& k : kWellInfo) {
        switch (k.type) {
            case WellInfoKey::String: CHeader::WriteLine(k.key, rec.*(k.s), f); break;
            case WellInfoKey::Int: CHeader::WriteInt(k.key, rec.*(k.i), f); break;
            case WellInfoKey::Double: CHeader::WriteDouble(k.key, rec.*(k.d), f); break;
        }
    }

    // T once per file, from the sonde's last reported trace-length byte.
    const int t = HeaderTraceBytes(traceByte);
    int dataOffset = 0;
    for (int n = 0; n < channels; ++n) {
        const ChannelEntry& ch = sonde.Channels[static_cast<size_t>(n)];
        f += kEol;
        f += Format("[Channel%d]", n);
        f += kEol;
        CHeader::WriteLine("Title", ch.Title, f);
        CHeader::WriteLine("TitleShort", ch.TitleShort, f);
        CHeader::WriteLine("Unit", ch.Unit, f);
        CHeader::WriteInt("File", 1, f);
        CHeader::WriteInt("DataOffset", dataOffset, f);
        CHeader::WriteInt("SampleType", ch.SampleType, f);
        CHeader::WriteInt("SampleCount", ch.SampleType == 10 ? t : 1, f);
        CHeader::WriteInt("Offset", 0, f);
        dataOffset += HeaderSampleTypeSize(ch.SampleType, t);
    }

    f += kEol;
    f += Format("[File%d]", 1);
    f += kEol;
    CHeader::WriteLine("FileName", dataFileName, f);
    return f;
}

std::string HeaderPathForDataFile(const std::string& dataPath) {
    size_t slash = dataPath.find_last_of("/\\");
    size_t dot = dataPath.find_last_of('.');
    std::string base = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                           ? dataPath + "."
                           : dataPath.substr(0, dot + 1);
    std::string lower = base + "hed";
    if (FileExists(lower)) return lower;
    std::string upper = base + "HED";
    if (FileExists(upper)) return upper;
    // The file system tells letter cases apart; any other mix is found as well.
    for (int mask = 1; mask < 7; ++mask) {
        std::string e = "hed";
        for (int i = 0; i < 3; ++i)
            if (mask & (1 << i)) e[static_cast<size_t>(i)] = static_cast<char>(e[static_cast<size_t>(i)] - 'a' + 'A');
        if (FileExists(base + e)) return base + e;
    }
    return lower;
}

}  // namespace zns

// ---------------------------------------------------------------------------

CHeader::CHeader(HeaderRecord& record, SharedData& shared, SettingsData& data, HeaderHooks hooks,
                 PreferencesHooks prefHooks)
    : CPreferences(shared, data, std::move(prefHooks)), m_rec(record), m_hooks(std::move(hooks)) {}

CHeader::~CHeader() = default;

void CHeader::WriteLine(const std::string& key, const std::string& value, std::string& file) {
    file += zns::HeaderOneLine(key);
    file += '=';
    file += zns::HeaderOneLine(value);
    file += kEol;
}

void CHeader::WriteInt(const std::string& key, int value, std::string& file) {
    WriteLine(key, zns::Format("%d", value), file);
}

void CHeader::WriteDouble(const std::string& key, double value, std::string& file) {
    WriteLine(key, zns::HeaderDoubleText(value), file);
}

void CHeader::WriteFloat(const std::string& key, float value, std::string& file) {
    WriteLine(key, zns::HeaderFloatText(value), file);
}

void CHeader::WriteBool(const std::string& key, BOOL value, std::string& file) {
    WriteLine(key, value ? "yes" : "no", file);
}

void CHeader::WriteWellInfo(std::string& file) {
    for (const WellInfoKey& k : kWellInfo) {
        switch (k.type) {
            case WellInfoKey::String: WriteLine(k.key, m_rec.*(k.s), file); break;
            case WellInfoKey::Int: WriteInt(k.key, m_rec.*(k.i), file); break;
            case WellInfoKey::Double: WriteDouble(k.key, m_rec.*(k.d), file); break;
        }
    }
}

bool CHeader::WriteHeaderFile(const std::string& path) {
    AcquisitionSettings settings;
    uint8_t traceByte = 0;
    HeaderSondeInfo sonde;
    {
        // The sonde loader writes the working copy under the same lock.
        std::lock_guard<std::mutex> g(Shared().acqMutex);
        settings = Shared().settings;
        traceByte = Shared().sonde.TraceByte;
        sonde = zns::HeaderSondeFromDatabase(Data().sondeDb);
    }
    const std::string dataName = zns::FixedFieldText(Data().files.szFileName);

    // Built on a copy: the record changes only once the file is in place.
    HeaderRecord next = m_rec;
    std::string text = zns::BuildHeaderText(next, sonde, settings, traceByte, dataName);
    if (path.empty() || !zns::ReplaceFile(CIni::MakeFullPath(path, TRUE), text)) {
        if (m_hooks.showError) m_hooks.showError(kMsgTroubleOpeningFile);
        return false;
    }
    m_rec.LogType = next.LogType;
    m_rec.Scale = next.Scale;
    m_rec.SondeLength = next.SondeLength;
    m_rec.LogMode = next.LogMode;
    return true;
}

BOOL CHeader::ReadWellInfoInto(HeaderRecord& rec, const std::string& path) {
    try {
        CIni ini(path, "WellInfo", TRUE);
        const int stepDefault = Shared().SnapshotSettings().DepthInterval;
        for (const WellInfoKey& k : kWellInfo) {
            const std::string key = k.key;
            switch (k.type) {
                case WellInfoKey::String: {
                    const char* def = key == "Company" ? " " : key == "SondeAbbreviation" ? "ZNS" : "";
                    rec.*(k.s) = ini.GetString(key, def);
                    break;
                }
                case WellInfoKey::Int: {
                    int def = key == "step" ? stepDefault : key == "LogMode" ? HEADER_LOG_TIME : 0;
                    rec.*(k.i) = ini.GetInt(key, def);
                    break;
                }
                case WellInfoKey::Double: rec.*(k.d) = ini.GetDouble(key, 0.0); break;
            }
        }
    } catch (const std::exception&) {
        return TRUE;
    }
    return FALSE;
}

BOOL CHeader::ReadWellInfo(const std::string& path) {
    if (!FileReadable(CIni::MakeFullPath(path, TRUE))) return TRUE;
    return ReadWellInfoInto(m_rec, path);
}

BOOL CHeader::ReadHeaderFile(const std::string& path) {
    // A header that is not there is a failure: the caller keeps its previous log.
    if (!FileReadable(CIni::MakeFullPath(path, TRUE))) return TRUE;
    try {
        CIni ini(path, "General", TRUE);
        HeaderRecord& r = m_rec;
        r.LogType = ini.GetInt("LogType", 1);
        r.Scale = ini.GetInt("Scale", 100);
        r.SondeLength = ini.GetInt("SondeLength", 204);
        r.OffsetRx1 = ini.GetInt("OffsetRx1", 50);
        r.OffsetRx2 = ini.GetInt("OffsetRx2", 100);
        r.OffsetRx3 = ini.GetInt("OffsetRx3", 150);
        r.Rx1_Name = ini.GetString("Rx1_Name", "");
        r.Rx2_Name = ini.GetString("Rx2_Name", "");
        r.Rx3_Name = ini.GetString("Rx3_Name", "");
        r.Rx1_AGC = ini.GetBool("Rx1_AGC", FALSE);
        r.Rx2_AGC = ini.GetBool("Rx2_AGC", FALSE);
        r.Rx3_AGC = ini.GetBool("Rx3_AGC", FALSE);
        r.Natural_Gamma = ini.GetBool("Natural_Gamma", FALSE);
        r.OffsetGamma = ini.GetInt("OffsetGamma", 180);  // written as "OffsetGamma "
        r.GammaCoef = ini.GetDouble("GammaCoef", 1.0);
        r.SerialNumber = ini.GetInt("SerialNumber", 0);
        r.RXNumber = ini.GetInt("RXNumber", 2);
        r.Rx1FAThreshold = ini.GetInt("Rx1FAThreshold", 10);
        r.Rx1StartWindow = ini.GetInt("Rx1StartWindow", 100);
        r.Rx1EndWindow = ini.GetInt("Rx1EndWindow", 200);
        r.Rx1UseFA = ini.GetBool("Rx1UseFA", FALSE);
        r.Rx2FAThreshold = ini.GetInt("Rx2FAThreshold", 10);
        r.Rx2StartWindow = ini.GetInt("Rx2StartWindow", 100);
        r.Rx2EndWindow = ini.GetInt("Rx2EndWindow", 200);
        r.Rx2UseFA = ini.GetBool("Rx2UseFA", FALSE);
        r.Rx3FAThreshold = ini.GetInt("Rx3FAThreshold", 10);
        r.Rx3StartWindow = ini.GetInt("Rx3StartWindow", 100);
        r.Rx3EndWindow = ini.GetInt("Rx3EndWindow", 200);
        r.Rx3UseFA = ini.GetBool("Rx3UseFA", FALSE);

        ReadWellInfoInto(r, path);

        int count = 0;
        while (count < kMaxHeaderChannels) {
            std::string title = ini.GetString("Title", "ende", zns::Format("Channel%d", count).c_str());
            if (EqualsNoCase(title, "ende")) break;
            ++count;
        }
        for (int n = 0; n < count; ++n) {
            const std::string sec = zns::Format("Channel%d", n);
            ChannelEntry& ch = r.m_Channels[static_cast<size_t>(n)];
            ch.Title = ini.GetString("Title", "", sec.c_str());
            ch.TitleShort = ini.GetString("TitleShort", "");
            ch.Unit = ini.GetString("Unit", "");
            ch.SampleType = ini.GetInt("SampleType", 0);
            ch.SampleCount = ini.GetInt("SampleCount", 0);
        }
        r.m_nChannelCount = count;
        r.SondeLength = zns::HeaderSondeLength(r.SondeLength);
    } catch (const std::exception&) {
        return TRUE;
    }
    return FALSE;
}

void CHeader::ResetWellInfo() {
    zns::IClock& clock = m_hooks.clock ? *m_hooks.clock : zns::DefaultClock();
    zns::LocalTime now = clock.NowLocal();
    HeaderRecord& r = m_rec;
    for (const WellInfoKey& k : kWellInfo) {
        switch (k.type) {
            case WellInfoKey::String: (r.*(k.s)).clear(); break;
            case WellInfoKey::Int: r.*(k.i) = 0; break;
            case WellInfoKey::Double: r.*(k.d) = 0.0; break;
        }
    }
    r.Date = zns::HeaderDateText(now.day, now.month, now.year);
    r.step = 10;
    r.LogMode = HEADER_LOG_TIME;
    r.SondeAbbreviation = "ZNS";
    r.Company = " ";
}

void CHeader::ResetHeader() { ResetWellInfo(); }
