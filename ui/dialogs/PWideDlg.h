#pragma once
// CPWideDlg: the enlarged, resizable, frameless view of one receiver (ids 2001,
// 2002, 2003 = Rx1, Rx2, Rx3): its scope, its gain (edit and spin arrows), its
// automatic-gain switch, the first-arrival cursor button and the display-gain
// ("Zoom") choice. The operator moves it by dragging inside it.
//
// Threads: GUI thread, except ShowGainText and IsShown, which the main window's
// update code may call from the receive or player thread. The scope takes its
// traces from those threads itself (CWaveCtrl::SetWaveData).
#include <QPoint>
#include <QRect>
#include <atomic>
#include <functional>
#include <string>

#include "platform/WinTypes.h"
#include "ui/controls/WaveCtrl.h"
#include "ui/layout/ResizableDialog.h"

struct SharedData;
struct SettingsData;
struct HeaderRecord;
class CPreferences;
class CColorStaticST;
class CSpinArrows;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// What the view calls outside itself. Missing hooks: command 9 goes straight to
// the send queue, the settings are saved through the preferences when given, and
// the main window is not consulted.
struct PWideDlgHooks {
    std::function<void()> sendF9;                // command 9 (the three receiver gains)
    std::function<void()> saveConfig;            // CPreferences::SaveConfig
    std::function<void()> restoreMainWindowPos;  // main window back to the top edge
    std::function<QRect()> mainWindowRect;       // the main window's rectangle
};

class CPWideDlg : public CResizableDialog, public IScopeNotifyOwner {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 531;
    static constexpr unsigned kStartTimerId = 416;
    static constexpr unsigned kStateTimerId = 410;
    static constexpr unsigned kDragTimerId = 408;
    static constexpr unsigned ID_SCOPE_SETTINGS_CHANGED = 64808;
    static constexpr int kMaxGain = 36;
    static constexpr int kMinTitlePixels = 8;  // smallest font a long title is shrunk to

    enum : int {
        IDC_SCOPE = CWaveCtrl::kControlId,  // 1239
        IDC_FA = 1626,
        IDC_TITLE = 1246,
        IDC_CLOSE = 1,  // the dialog's OK id
        IDC_ZOOM_CAPTION = 1643,
        IDC_ZOOM = 1642,
        IDC_GAIN_EDIT = 1244,
        IDC_GAIN_SPIN = 1446,
        IDC_GAIN_SHOWN = 1242,
        IDC_DB = 1248,
        IDC_AGC = 1603,
    };
    enum : int { IDI_CLOSE = 254, IDI_RX1 = 532, IDI_RX2 = 536, IDI_RX3 = 533 };

    static constexpr uint32_t kReplayColor = 0xFFFFA0;  // RGB(160, 255, 255)
    static constexpr uint32_t kLiveColor = 0x00FFFF;    // RGB(255, 255, 0)
    static constexpr int kZoomItems[] = {1, 2, 4, 8, 16, 32, 64};

    // `shared` and `settings` outlive the view.
    CPWideDlg(SharedData& shared, SettingsData& settings, QWidget* parent = nullptr);
    ~CPWideDlg() override;

    // Wiring by the main window, before Create.
    void SetPreferences(CPreferences* prefs) { m_prefs = prefs; }
    void SetHeader(const HeaderRecord* header) { m_header = header; }  // the replayed log's header
    void SetHooks(PWideDlgHooks hooks) { m_hooks = std::move(hooks); }

    // Called by the main window.
    void SetReceiver(int id);
    void UpdateView(const std::string& title);
    void ShowWide();
    void OnClose() override;
    // Any thread.
    void ShowGainText(int gain);
    // Whether the view is shown; any thread.
    bool IsShown() const { return m_shown.load(); }

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnTimer(unsigned id) override;
    void OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) override;
    void OnLButtonDown(unsigned flags, int x, int y);
    void OnLButtonUp(unsigned flags, int x, int y);
    void OnMouseMove(unsigned flags, int x, int y);
    void OnBnClickedAgc();
    void OnBnClickedFa();
    void OnCommand64808();
    void OnCbnSelchangeZoom();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void ResetDisplayGain();
    long OnScopeNotify(unsigned idFrom, const ScopeNotify& n) override;
    void OnScopeLButtonDown(const ScopeNotify& n) { OnLButtonDown(n.flags, n.x, n.y); }
    void OnScopeLButtonUp(const ScopeNotify& n) { OnLButtonUp(n.flags, n.x, n.y); }
    void OnScopeMouseMove(const ScopeNotify& n) { OnMouseMove(n.flags, n.x, n.y); }

    // --- parts and state, for the main window and tests ---
    CWaveCtrl* Scope() const { return m_scope; }
    int ReceiverId() const { return m_receiverId; }
    int Gain() const { return m_gain; }
    bool ReplayShown() const { return m_replayShown != 0; }
    bool GainControlsEnabled() const { return m_gainEnabled != 0; }
    bool Dragging() const { return m_dragging != 0; }
    QPoint DragAnchor() const { return m_anchor; }
    int SavedAgcCheck() const { return m_savedAgcCheck; }
    QSize TemplateSize() const { return {m_templateWidth, m_templateHeight}; }
    int IconId() const { return m_iconId; }
    QComboBox* ZoomCombo() const { return m_zoom; }
    QLineEdit* GainEdit() const { return m_gainEdit; }
    QPushButton* CloseButton() const { return m_close; }

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void BuildControls();
    int RxIndex() const;  // 0..2, -1 without a receiver
    void CommitGain();
    void SendF9();
    void SaveConfig();

    SharedData& m_shared;
    SettingsData& m_settings;
    CPreferences* m_prefs = nullptr;
    const HeaderRecord* m_header = nullptr;
    PWideDlgHooks m_hooks;

    QPushButton* m_close = nullptr;
    CSpinArrows* m_spin = nullptr;
    CColorStaticST* m_gainShown = nullptr;
    QLineEdit* m_gainEdit = nullptr;
    CWaveCtrl* m_scope = nullptr;
    QComboBox* m_zoom = nullptr;
    QCheckBox* m_agc = nullptr;

    int m_receiverId = -1;
    int m_gain = -1;
    int m_templateWidth = 0;
    int m_templateHeight = 0;
    uint8_t m_replayShown = 0;
    uint8_t m_gainEnabled = 0;
    uint8_t m_dragging = 0;
    QPoint m_anchor{-1, -1};
    // Check state of the AGC box while a replay shows the header's flag; one per view.
    int m_savedAgcCheck = 0;
    int m_iconId = 0;
    std::atomic<bool> m_shown{false};
};
