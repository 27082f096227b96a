#include "tools/DemoLog.h"

#include <cmath>
#include <memory>

#include "link/CommandFrames.h"
#include "link/LinkReport.h"
#include "link/Recorder.h"
#include "records/SharedRecords.h"
#include "link/ToolsStream.h"
#include "link/USB.h"
#include "platform/Paths.h"
#include "platform/d2xx/D2xx.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "sim/SimDriver.h"
#include "sim/SimLogger.h"
#include "tools/LockstepClock.h"

namespace zns::tools {

namespace {

constexpr int64_t kConnectLimitMs = 20000;
constexpr int64_t kPowerLimitMs = 10000;
constexpr int64_t kCheckEveryMs = 100;

// The acquisition as a setup page would leave it for this log.
void DemoSettings(AcquisitionSettings& s, bool up) {
    s.PulsResolution = 1000;
    s.PulleysCircumference = 5000;  // 80 encoder counts per cm, as the simulated wheel
    s.DepthFactor256 = static_cast<int32_t>(std::trunc(s.PulsResolution / (s.PulleysCircumference / 10.0) * 40.0 * 256.0));
    s.DepthFactor = s.DepthFactor256 / 256.0;
    s.CableType = 0;
    s.VScale = 100;
    s.TimeInterval = 500;
    s.DepthInterval = 5;
    s.RecordingMode = up ? RECMODE_UP : RECMODE_DOWN;
    for (int rx = 0; rx < 3; ++rx) {
        s.ZNSModus(rx) = TLC_512_4US;
        s.GainRx(rx) = 6 + 6 * rx;
        s.AGC_Rx(rx) = 1;  // the sonde sets each gain for a full trace
        s.FA[rx] = {40, 100, 1500, 1};  // 2559: well above the amplified noise
    }
    s.RxLeftView = 1;
    s.RxRightView = 2;
    s.GammaViewMode = 2;
    s.GammaMax = 2000;
    s.GammaFilter = 20;
}

struct Session {
    explicit Session(const DemoLogOptions& o)
        : opts(o),
          sim(clock, SimFor(o)),
          driver(zns::d2xx::MakeSimDriver(sim, clock)),
          stream(shared, header, writer, Sources(), clock),
          prefs(shared, settings, PrefsHooks(o)),
          headerFile(header, shared, settings, HeaderFileHooks(), PrefsHooks(o)),
          recorder(shared, settings, header, writer, clock) {
        clock.SetSettled([this] { return shared.TxLength() == 0; });
        UsbOptions u;
        u.loadDriver = [this] {
            zns::d2xx::LoadResult r;
            r.driver = driver;
            return r;
        };
        u.errorLog = [](const std::string&, const std::string&) {};
        u.clock = &clock;
        usb = std::make_unique<CUSB>(shared, stream, report, &settings, u);
    }
    ~Session() {
        // The workers end on their own once the clock no longer holds them.
        clock.FreeRun();
        if (usb) usb->Shutdown();
    }

    static zns::sim::SimConfig SimFor(const DemoLogOptions& o) {
        zns::sim::SimConfig c;
        c.seed = o.seed;
        c.startDepthM = o.startDepthM;
        c.winchSpeedMpm = 0.0;  // the winch starts once the sonde is on
        c.winchDown = !o.up;
        return c;
    }
    PreferencesHooks PrefsHooks(const DemoLogOptions& o) {
        PreferencesHooks h;
        h.programDir = o.sondeDir;
        return h;
    }
    HeaderHooks HeaderFileHooks() {
        HeaderHooks h;
        h.clock = &clock;
        h.showError = [this](const std::string& t) { errors += t + "\n"; };
        return h;
    }
    ToolsStreamSources Sources() {
        ToolsStreamSources s;
        s.dataFilePath = [this] { return zns::FixedFieldText(settings.files.szDataFile); };
        s.showError = [this](const std::string& t) { errors += t + "\n"; };
        return s;
    }

    int Written() {
        const size_t size = zns::RecordSize(shared.SnapshotSonde().TraceByte);
        return size ? static_cast<int>(writer.Size() / static_cast<int64_t>(size)) : 0;
    }

    const DemoLogOptions& opts;
    LockstepClock clock{0};
    zns::sim::SimLogger sim;
    std::shared_ptr<zns::d2xx::ID2xx> driver;
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    zns::DataFileWriter writer;
    NullLinkReport report;
    CToolsStream stream;
    CPreferences prefs;
    CHeader headerFile;
    CRecorder recorder;
    std::unique_ptr<CUSB> usb;
    std::string errors;
};

DemoLogResult Fail(DemoLogResult r, const std::string& why) {
    r.ok = false;
    r.error = why;
    return r;
}

}  // namespace

DemoLogResult RecordDemoLog(const DemoLogOptions& o) {
    DemoLogResult result;
    Session s(o);
    SharedData& sh = s.shared;

    // The sonde from the database, the acquisition as set up for this log.
    s.prefs.LoadToolFile();
    if (s.settings.sondeDb.SerialNumber <= 0) return Fail(result, "no sonde in " + s.prefs.ToolFilePath());
    {
        std::lock_guard<std::mutex> g(sh.acqMutex);
        DemoSettings(sh.settings, o.up);
    }
    sh.m_bDownDirection = !o.up;

    // The link comes up as in the program: link watch, command 0, receive thread, command 1.
    if (!s.usb->Init()) return Fail(result, "the simulated driver did not load");
    if (!s.clock.AdvanceUntil([&] { return sh.m_bReceiveRunning.load() && sh.SnapshotSonde().Echo1500 == 1500; },
                              kConnectLimitMs))
        return Fail(result, "the link did not come up");

    // Power on with the complete settings (command 8), then the winch moves.
    sh.m_bSondePowered = true;
    s.usb->sendF8();
    const int mode = o.up ? RECMODE_UP : RECMODE_DOWN;
    if (!s.clock.AdvanceUntil([&] { return (sh.SnapshotSonde().Mode & 0x0F) == mode; }, kPowerLimitMs))
        return Fail(result, "the sonde did not take the settings");
    s.sim.SetWinchSpeed(o.winchSpeedMpm);
    if (!s.clock.AdvanceUntil([&] { return sh.m_nStatusOneFrames.load() >= 3; }, kPowerLimitMs))
        return Fail(result, "no waveform frames");

    // New log: the file pair, the header written, the data file opened.
    FilePaths& fp = s.settings.files;
    const std::string title = zns::FileTitle(o.dataPath);
    if (!zns::SetFixedField(fp.szDataFile, o.dataPath) || !zns::SetFixedField(fp.szLastFile, o.headerPath) ||
        !zns::SetFixedField(fp.szFileName, title + ".zne") || !zns::SetFixedField(fp.szHeaderName, title + ".hed"))
        return Fail(result, "path too long");
    zns::RemoveFile(o.dataPath);
    s.headerFile.ResetWellInfo();
    s.headerFile.ResetHeader();
    s.header.Company = "Demonstration";
    s.header.Wellname = "ZNS-IT";
    s.header.Fieldname = "Simulated";
    s.header.LogName = "ZNS_IT_UP";
    s.header.Comment1 = "Recorded from the simulated logger, winch going up.";
    if (!s.headerFile.WriteHeaderFile(o.headerPath)) return Fail(result, "header not written: " + s.errors);
    if (s.recorder.StartRecordFile(true) != CRecorder::StartResult::Started)
        return Fail(result, "data file not opened: " + s.errors);

    bool stopped = false;
    while (!stopped && s.Written() < o.records) {
        if (!s.clock.Advance(kCheckEveryMs)) return Fail(result, "the link stalled while recording");
        if (o.whileRecording && !o.whileRecording(s.Written())) stopped = true;
    }
    // Stop, then power down with command 0.
    s.recorder.CloseRecordFile();
    s.sim.SetWinchSpeed(0.0);
    s.usb->sendF0();
    s.clock.AdvanceUntil([&] { return (sh.SnapshotSonde().Mode & 0x0F) == 0; }, kPowerLimitMs);
    sh.m_bSondePowered = false;

    const size_t recordSize = zns::RecordSize(sh.SnapshotSonde().TraceByte);
    const int64_t fileSize = zns::FileSize(o.dataPath);
    result.records = recordSize && fileSize > 0 ? static_cast<int>(fileSize / static_cast<int64_t>(recordSize)) : 0;
    result.virtualMs = s.clock.NowSteadyMs();
    result.ok = result.records > 0;
    if (!result.ok) result.error = "no record written";
    return result;
}

}  // namespace zns::tools
