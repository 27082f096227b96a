#pragma once
// CBigDepth ("Depth magnifier"): a small modeless window of the depth panel
// that shows depth and logging speed in large digits. The panel creates it
// hidden, shows it from its magnifier button and asks it to refresh whenever
// it shows new values. Its placement is the magnifier's slot of the window
// layout; a double click or the close box hides it. GUI thread only.
#include <QRect>
#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/WinTypes.h"
#include "ui/dialogs/DialogExt.h"

struct SharedData;
struct SettingsData;
class CGraphicCounterCtrl;
class QLabel;

// What the magnifier asks of the main window. A missing hook: no speed limit to
// colour against, and the window placed as if the main window were at (0, 0).
struct BigDepthHooks {
    // Highest logging speed in m/min (the main window's ComputeFramePeriod from the frame period).
    std::function<double()> maxLoggingSpeed;
    // The main window's normal rectangle (m_rcMainWnd).
    std::function<QRect()> mainWindowRect;
};

class CBigDepth : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 156;
    static constexpr unsigned kRefreshTimerId = 402;
    static constexpr unsigned kRefreshMs = 1;
    static constexpr int kTopBelowMain = 150;  // pixels below the main window's top
    enum : int { IDC_DEPTH_PLACE = 901, IDC_SPEED_PLACE = 903, IDC_DEPTH_UNIT = 1019, IDC_SPEED_UNIT = 1020 };
    enum : int { IDI_MAGNIFIER = 538 };

    // Colours (COLORREF).
    static constexpr uint32_t kBackColor = 0x000000;
    static constexpr uint32_t kReplayText = 0xFFFFA0;
    static constexpr uint32_t kLiveText = 0x00FFFF;

    // `shared` and `settings` outlive the window. `parent`: the depth panel.
    CBigDepth(SharedData& shared, SettingsData& settings, QWidget* parent = nullptr);
    ~CBigDepth() override;

    void SetHooks(BigDepthHooks hooks) { m_hooks = std::move(hooks); }
    // The application's m_bRawDepth (none: corrected depth).
    void SetRawDepthFlag(const std::atomic<bool>* rawDepth) { m_rawDepth = rawDepth; }

    BOOL OnInitDialog() override;
    void OnCancel() override;
    void OnTimer(unsigned id) override;
    void OnLButtonDblClk();

    void ShowMagnifier();
    // One refresh 1 ms from now, unless one is pending.
    void RequestUpdate();

    // --- parts, for tests ---
    CGraphicCounterCtrl* DepthCounter() const { return m_counterDepth; }
    CGraphicCounterCtrl* SpeedCounter() const { return m_counterSpeed; }
    bool SpeedBlinking() const { return m_speedBlinking; }

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void StorePlacement();
    double MaxLoggingSpeed() const;

    SharedData& m_shared;
    SettingsData& m_settings;
    BigDepthHooks m_hooks;
    const std::atomic<bool>* m_rawDepth = nullptr;

    double m_dDepth = 0.0;
    double m_dSpeed = 0.0;
    CGraphicCounterCtrl* m_counterDepth = nullptr;
    CGraphicCounterCtrl* m_counterSpeed = nullptr;
    QLabel* m_depthUnit = nullptr;
    QLabel* m_speedUnit = nullptr;
    bool m_speedBlinking = false;
};
