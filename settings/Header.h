#pragma once
// The log header: HeaderRecord is the in-memory header of the current log,
// CHeader moves it to and from the ".hed" file that sits beside every ".zne".
//
// The ".hed" layout is read by other software too, so its sections, key order,
// value texts and the DataOffset rule stay exactly as they have always been.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "settings/Preferences.h"

struct AcquisitionSettings;
struct SharedData;
namespace zns {
class IClock;
}

inline constexpr int kMaxHeaderChannels = 50;

// Header LogMode codes (not the RecordingMode codes of AcquisitionSettings).
enum : int { HEADER_LOG_TIME = 10, HEADER_LOG_UP = 11, HEADER_LOG_DOWN = 12 };

// One channel of the data records.
struct ChannelEntry {
    std::string Title;
    std::string TitleShort;
    std::string Unit;
    int32_t SampleType = 0;
    int32_t SampleCount = 0;
};

struct HeaderRecord {
    // [General]
    int32_t SerialNumber = 0;
    int32_t LogType = 0;
    int32_t SondeLength = 0;
    int32_t Scale = 0;
    int32_t RXNumber = 0;
    int32_t OffsetRx1 = 0, OffsetRx2 = 0, OffsetRx3 = 0;
    BOOL Rx1_AGC = FALSE, Rx2_AGC = FALSE, Rx3_AGC = FALSE;
    BOOL Natural_Gamma = FALSE;
    int32_t OffsetGamma = 0;
    double GammaCoef = 0.0;
    std::string Rx1_Name, Rx2_Name, Rx3_Name;
    int32_t Rx1FAThreshold = 0, Rx1StartWindow = 0, Rx1EndWindow = 0;
    BOOL Rx1UseFA = FALSE;
    int32_t Rx2FAThreshold = 0, Rx2StartWindow = 0, Rx2EndWindow = 0;
    BOOL Rx2UseFA = FALSE;
    int32_t Rx3FAThreshold = 0, Rx3StartWindow = 0, Rx3EndWindow = 0;
    BOOL Rx3UseFA = FALSE;

    // [WellInfo] acquisition values
    int32_t DepthUnit = 0;
    int32_t LogMode = HEADER_LOG_TIME;
    int32_t Startdepth = 0;  // mm
    int32_t EndDepth = 0;    // mm
    int32_t step = 0;        // ms (time log) or cm (depth log)
    int32_t StartTime = 0;
    int32_t EndTime = 0;
    int32_t Zero = 0;

    // [WellInfo] texts
    std::string SondeAbbreviation, Company, Wellname, Fieldname, Location, Latitude, LogName;
    std::string OtherServices1, OtherServices2, OtherServices3, OtherServices4, OtherServices5;
    std::string Longitude, Country, ServiceCompany, UWI, Project, LogDatum, DrillDatum;
    std::string DateRun1, DateRun2, DateRun3, Date, Elevation;

    double KellyBushing = 0.0, DrillFloor = 0.0, GroundLevel = 0.0;

    std::string Engineer1, Engineer2, Engineer3;
    std::string Witness1, Witness2, Witness3;
    std::string PermanentDatum;
    std::string LogType1, LogType2, LogType3;
    std::string Fluid1, Fluid2, Fluid3;
    std::string Salinity1, Salinity2, Salinity3;
    std::string FluidDensity1, FluidDensity2, FluidDensity3;
    std::string FluidLevel1, FluidLevel2, FluidLevel3;
    std::string RigTime1, RigTime2, RigTime3;

    double DepthDriller1 = 0.0, DepthDriller2 = 0.0, DepthDriller3 = 0.0;
    double DepthLogger1 = 0.0, DepthLogger2 = 0.0, DepthLogger3 = 0.0;
    double Deepest1 = 0.0, Deepest2 = 0.0, Deepest3 = 0.0;
    double Shallow1 = 0.0, Shallow2 = 0.0, Shallow3 = 0.0;
    double MaxTemperature1 = 0.0, MaxTemperature2 = 0.0, MaxTemperature3 = 0.0;

    int32_t RunNo1 = 0, RunNo2 = 0, RunNo3 = 0;

    double BitRec1 = 0.0, BitRec2 = 0.0, BitRec3 = 0.0;
    double BitRecFrom1 = 0.0, BitRecFrom2 = 0.0, BitRecFrom3 = 0.0;
    double BitRecTo1 = 0.0, BitRecTo2 = 0.0, BitRecTo3 = 0.0;
    double CasRecSize1 = 0.0, CasRecSize2 = 0.0, CasRecSize3 = 0.0;
    double CasRecWeight1 = 0.0, CasRecWeight2 = 0.0, CasRecWeight3 = 0.0;
    double CasRecFrom1 = 0.0, CasRecFrom2 = 0.0, CasRecFrom3 = 0.0;
    double CasRecTo1 = 0.0, CasRecTo2 = 0.0, CasRecTo3 = 0.0;

    std::string Comment1, Comment2, Comment3, Comment4, Comment5;
    std::string Comment6, Comment7, Comment8, Comment9, Comment10;

    std::array<ChannelEntry, kMaxHeaderChannels> m_Channels{};
    int32_t m_nChannelCount = 0;
};

// One [WellInfo] key: its name and the record field it maps to (exactly one of
// the three member pointers is set, by type).
struct WellInfoKey {
    enum Type { String, Int, Double };
    const char* key;
    Type type;
    std::string HeaderRecord::*s;
    int32_t HeaderRecord::*i;
    double HeaderRecord::*d;
};
inline constexpr int kWellInfoKeyCount = 109;
// The [WellInfo] keys in file order.
const std::array<WellInfoKey, kWellInfoKeyCount>& WellInfoKeys();

// What the header writer takes from the selected sonde and the sonde database.
struct HeaderSondeInfo {
    int32_t SerialNumber = 0;
    int32_t SondeLength = 0;
    int32_t RXNumber = 0;
    int32_t OffsetRx[3] = {0, 0, 0};
    std::string RxName[3];
    BOOL NaturalGamma = FALSE;
    int32_t GammaOffset = 0;
    double GammaCoef = 1.0;
    int32_t TotalChannel = 0;              // channel count of the database
    std::vector<ChannelEntry> Channels;    // Title, TitleShort, Unit, SampleType of each
};

namespace zns {

// Header LogMode for a RecordingMode: 10 up -> 11, 11 down -> 12, anything else -> 10.
int HeaderLogModeFromRecordingMode(int recordingMode);
// RecordingMode (the LoggerStatus mode byte) for a header LogMode: 10 -> 12, 11 -> 10, 12 -> 11.
int RecordingModeFromHeaderLogMode(int logMode);
// The sonde length the program works with for the one a header states: a
// header keeps the sonde's length as it stood, and a negative one means none.
int32_t HeaderSondeLength(int32_t stated);

// Trace bytes T of one waveform record for a trace-length byte.
int HeaderTraceBytes(uint8_t traceByte);
// Growth of DataOffset after a channel of this sample type.
int HeaderSampleTypeSize(int sampleType, int traceBytes);

// The selected sonde's working copy and the channel list of the database.
HeaderSondeInfo HeaderSondeFromDatabase(const SondeDatabase& db);

// Value texts of the header writer.
std::string HeaderOneLine(std::string text);  // CR, LF and NUL become blanks
std::string HeaderDoubleText(double v);       // "%f", ',' -> '.'
std::string HeaderFloatText(float v);         // "%f" of the widened float, ',' -> '.'

// The whole header text ("\r\n" line ends). `record` is the caller's copy: its
// LogType, Scale, SondeLength and LogMode are set here as the file states them.
std::string BuildHeaderText(HeaderRecord& record, const HeaderSondeInfo& sonde,
                            const AcquisitionSettings& settings, uint8_t traceByte,
                            const std::string& dataFileName);

// The header file beside a data file: the data path less its extension plus
// "hed"; when that does not exist but the same name with "HED" does, that one.
// Extensions in other letter cases are found too. The "hed" form when none exists.
std::string HeaderPathForDataFile(const std::string& dataPath);

// "%d %B %Y" with English month names ("06 December 2026").
std::string HeaderDateText(int day, int month, int year);

}  // namespace zns

// What CHeader needs from the program around it besides the settings store.
struct HeaderHooks {
    zns::IClock* clock = nullptr;                       // date of ResetWellInfo; the real clock when null
    std::function<void(const std::string&)> showError;  // error box (error icon, OK)
};

class CHeader : public CPreferences {
public:
    // `record` is the application's one HeaderRecord.
    CHeader(HeaderRecord& record, SharedData& shared, SettingsData& data, HeaderHooks hooks = {},
            PreferencesHooks prefHooks = {});
    ~CHeader() override;

    // Writes a complete new header file. False (after the error box) when the
    // file could not be written; the old file and the record are then unchanged.
    bool WriteHeaderFile(const std::string& path);
    // Appends the 109 [WellInfo] lines to `file`.
    void WriteWellInfo(std::string& file);

    // TRUE when the read failed (missing or unreadable file, or an exception).
    BOOL ReadHeaderFile(const std::string& path);
    BOOL ReadWellInfo(const std::string& path);

    void ResetWellInfo();
    void ResetHeader();

    // Line writers: key, "=", text, "\n" appended to `file`.
    static void WriteLine(const std::string& key, const std::string& value, std::string& file);
    static void WriteInt(const std::string& key, int value, std::string& file);
    static void WriteDouble(const std::string& key, double value, std::string& file);
    static void WriteFloat(const std::string& key, float value, std::string& file);
    static void WriteBool(const std::string& key, BOOL value, std::string& file);
    using CPreferences::WriteBool;
    using CPreferences::WriteFloat;
    using CPreferences::WriteInt;

    HeaderRecord& Record() { return m_rec; }

    static constexpr const char* kMsgTroubleOpeningFile = "Trouble opening file.";

private:
    BOOL ReadWellInfoInto(HeaderRecord& rec, const std::string& path);

    HeaderRecord& m_rec;
    HeaderHooks m_hooks;
};
