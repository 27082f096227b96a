#pragma once
// CLasExport ("LAS 2.0 exportation for ZNS"): the operator picks a recorded
// log, the LAS file, a depth range, the depth order and the channels (speed,
// natural gamma, gain and travel time per receiver); travel times come from
// the records or are picked again from the stored waveforms with the
// operator's threshold and window. The conversion itself is zns::LasConverter.
//
// Modal, GUI thread only; the export blocks the dialog while it runs.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "export/LasConversion.h"
#include "ui/dialogs/DialogExt.h"

class CHeader;
class CPreferences;
struct SettingsData;
struct LasExportParams;

class CLasExport : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 910;
    static constexpr int IDI_LAS_EXPORT = 935;

    enum : int {
        IDC_INPUT_NAME = 911,
        IDC_INPUT_BROWSE = 912,
        IDC_OUTPUT_NAME = 913,
        IDC_OUTPUT_BROWSE = 914,
        IDC_REVERSE = 915,
        IDC_FROM = 916,
        IDC_TO = 917,
        IDC_INTERVAL = 918,
        IDC_SPEED = 921,
        IDC_GAMMA = 922,
        IDC_GAIN_RX1 = 923,
        IDC_GAIN_RX2 = 924,
        IDC_GAIN_RX3 = 925,
        IDC_TT_RX1 = 926,
        IDC_TT_RX2 = 928,
        IDC_TT_RX3 = 929,
        IDC_MANUAL_RX1 = 1619,
        IDC_MANUAL_RX2 = 1623,
        IDC_MANUAL_RX3 = 1624,
        IDC_THRESHOLD_RX1 = 1595,
        IDC_THRESHOLD_RX2 = 1251,
        IDC_THRESHOLD_RX3 = 1252,
        IDC_WSTART_RX1 = 1609,
        IDC_WSTART_RX2 = 1610,
        IDC_WSTART_RX3 = 1611,
        IDC_WEND_RX1 = 1612,
        IDC_WEND_RX2 = 1613,
        IDC_WEND_RX3 = 1614,
        IDC_THRESHOLD_SPIN_RX1 = 1615,
        IDC_THRESHOLD_SPIN_RX2 = 1625,
        IDC_THRESHOLD_SPIN_RX3 = 1444,
        IDC_WSTART_SPIN_RX1 = 1616,
        IDC_WSTART_SPIN_RX2 = 1617,
        IDC_WSTART_SPIN_RX3 = 1618,
        IDC_WEND_SPIN_RX1 = 1620,
        IDC_WEND_SPIN_RX2 = 1621,
        IDC_WEND_SPIN_RX3 = 1622,
        IDC_START = 927,
    };

    static constexpr const char* kFilterInput = "Zenova Sonic File (*.zne)|*.zne||";
    static constexpr const char* kFilterOutput = "Log ASCII Standard(*.las)|*.las||";
    static constexpr const char* kMsgNoHeader = "I not find header file : ";  // + title + ".hed !!!"
    static constexpr const char* kMsgNoDataFile = "Data file not present.";
    static constexpr const char* kMsgOpenFailed = "Trouble opening file.\nFile corrupt or bussy !!!\nExport file failled... ";
    static constexpr const char* kMsgInvalidLog = "Invalid file log !!!";
    static constexpr const char* kMsgLoadFailed = "Invalid file log !!!\nExport file failled...";
    static constexpr const char* kMsgNoChannel = "You must at least choose a channel !!!";
    static constexpr const char* kMsgReplace = "Same file name exist, do you want replace this ?";
    static constexpr const char* kMsgAborted = "Migration to LAS file aborted. ";
    static constexpr const char* kMsgCannotCreate = "Trouble opening or create file. ";  // + path
    static constexpr const char* kMsgFailed = "Echec to create file. ";
    static constexpr const char* kMsgCompleted = "Migration to LAS file completed.\n\n ";  // + path
    static constexpr const char* kMsgDamaged =
        "The record at byte %lld of the data file is damaged: the LAS file holds the log up to the record "
        "before it.\n\n ";  // + path
    static constexpr const char* kTextExportFailed = "export file failled...";
    static constexpr const char* kNoOutput = "*** N/A ***";

    // `header` is the main window's header object (its record is the
    // application's HeaderRecord, its settings hold the file paths and the LAS
    // parameters); `prefs` saves section "LASParam"; `exportFirst` is the
    // application's m_dExportFirst, which gets the log's first depth.
    CLasExport(CHeader& header, CPreferences& prefs, double& exportFirst, QWidget* parent = nullptr);
    ~CLasExport() override;

    // Status bar part 0 of the main window; none shows nothing.
    void SetStatusText(std::function<void(const std::string&)> statusText) { m_statusText = std::move(statusText); }
    // The replay position the conversion keeps (CToolsStream::m_posReplay); may be null.
    void SetReplayPosition(std::atomic<int64_t>* pos) { m_conv.SetReplayPosition(pos); }

    BOOL OnInitDialog() override;
    void OnOK() override {}  // Enter does nothing
    void OnCancel() override;
    void OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) override;

    void LoadFileToExport();
    void SelectOutputFile();
    void OnBnClickedStart();
    void GenerateLASFormatFile();
    // Both passes into `out` (the conversion engine's); true when both ran.
    bool ReadDataFile(std::FILE* out);
    // Keeps From (isFrom) or To inside the log, with the box when it was outside.
    void ValidateDepthRange(double& value, bool isFrom);
    void SaveExportOptions();
    void ResetChannelControls();
    void DisableExportControls();
    void OnBnClickedRx1();
    void OnBnClickedRx2();
    void OnBnClickedRx3();
    void OnEnKillfocusFrom();
    void OnEnKillfocusTo();

    // The engine and its state, for the main window and tests.
    zns::LasConverter& Converter() { return m_conv; }
    bool LogLoaded() const { return m_loaded; }

private:
    void BuildControls();
    void ManualControls(int rx);
    void EnableReceiver(int rx);
    // The manual windows as the edits hold them, into the parameters and the engine.
    void TakeManualParameters();
    std::string ProgramDirectory() const;
    void Status(const std::string& text);
    LasExportParams& Params();

    CHeader& m_header;
    CPreferences& m_prefs;
    SettingsData& m_data;
    double& m_exportFirst;
    std::function<void(const std::string&)> m_statusText;
    zns::LasConverter m_conv;
    bool m_loaded = false;  // a log is loaded and its range set up
};
