#pragma once
// CCheckComm: the modal "Communication Auto check" dialog. It shows the trial
// and selected values of the four link parameters and runs AutoCheckCore on
// its state timer (id 415); at the end it writes the communication report.
// GUI thread only.
#include <functional>
#include <memory>
#include <string>

#include "ui/dialogs/AutoCheckCore.h"
#include "ui/dialogs/DialogExt.h"

struct SharedData;
struct SettingsData;
class CPreferences;
class CColorStaticST;
namespace zns {
class IClock;
}

struct CheckCommHooks {
    std::function<bool(int code)> sendCommand;  // CUSB::sendF3 / sendF8; default: the send queue
    std::function<void()> refreshPages;         // CPropertyLoggerDlg::RefreshPages
    std::function<void()> saveConfig;           // default: the preferences when given
};

class CCheckComm : public CDialogExt, private zns::IAutoCheckHost {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 521;
    static constexpr unsigned kStateTimerId = 415;
    enum : int {
        IDC_DOWN_CURRENT = 243, IDC_DOWN_SELECTED = 244,
        IDC_GAIN_CURRENT = 245, IDC_GAIN_SELECTED = 246,
        IDC_UP_CURRENT = 247, IDC_UP_SELECTED = 248,
        IDC_BAUD_CURRENT = 249, IDC_BAUD_SELECTED = 250,
        IDC_STATUS = 1561,
    };
    static constexpr const char* kMsgReportFailed = "Trouble opening or create file. ";

    // `clock` times the waits (null: the real clock).
    CCheckComm(SharedData& shared, SettingsData& settings, QWidget* parent = nullptr, zns::IClock* clock = nullptr);
    ~CCheckComm() override;

    void SetPreferences(CPreferences* prefs) { m_prefs = prefs; }
    void SetHooks(CheckCommHooks hooks) { m_hooks = std::move(hooks); }

    BOOL OnInitDialog() override;
    void OnTimer(unsigned id) override;
    void OnOK() override {}
    void OnCancel() override;

    void WriteReport() override;

    // --- for tests ---
    zns::AutoCheckCore& Core() { return m_core; }
    CColorStaticST* Field(int id) const;

private:
    bool SendCommand(int code) override;
    void ShowValue(zns::CheckField f, bool selected, int value) override;
    void SetFieldColor(zns::CheckField f, bool selected, uint32_t color) override;
    void ShowStatus(const std::string& text, uint32_t color) override;
    int MessageBox(const std::string& text, unsigned type) override;
    void Wait(int ms) override;
    void RefreshPages() override;
    void SaveConfig() override;
    void Close() override;
    int FieldId(zns::CheckField f, bool selected) const;
    void BuildControls();

    SharedData& m_shared;
    SettingsData& m_settings;
    CPreferences* m_prefs = nullptr;
    CheckCommHooks m_hooks;
    zns::IClock* m_clock;
    zns::AutoCheckCore m_core;
    bool m_ended = false;
};
