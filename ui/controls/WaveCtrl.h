#pragma once
// CWaveCtrl: the scope of one receiver. A black screen with a quarter grid, a
// time base in microseconds, the last trace in green, the first-arrival
// threshold, the START/STOP search window and the picked travel time.
//
// Threads: SetWaveData, ClearTrace, SetGain, SetTraceLengthCode and
// StartRefreshTimer may be called from the receive or player thread. They copy
// into the control's own buffer under its own short lock and ask for timer 404
// (posted to the GUI thread, never waited for). The GUI thread draws a copy of
// that state into the memory bitmap on the timer and paints from the bitmap.
// ClearTrace and LoadChannelSettings read AcquisitionSettings under acqMutex:
// never call them while holding it.
#include <QFont>
#include <QImage>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/WinTypes.h"
#include "platform/ui/Wnd.h"

struct SharedData;
class CWaveCtrl;

namespace zns {
// Key flags of a mouse message.
inline constexpr unsigned MK_LBUTTON = 0x0001;
inline constexpr unsigned MK_RBUTTON = 0x0002;
inline constexpr unsigned MK_SHIFT = 0x0004;
inline constexpr unsigned MK_CONTROL = 0x0008;
inline constexpr unsigned MK_MBUTTON = 0x0010;
}  // namespace zns

// The notification block the scope sends to its owner.
struct ScopeNotify {
    struct {
        CWaveCtrl* hwndFrom = nullptr;
        unsigned idFrom = 0;
        unsigned code = 0;
    } hdr;
    int channel = 0;
    unsigned flags = 0;
    int x = 0, y = 0;
};

// Implemented by the window that owns a scope (the wide receiver view).
class IScopeNotifyOwner {
public:
    virtual ~IScopeNotifyOwner() = default;
    // WM_NOTIFY from control `idFrom`; the result goes back to the scope.
    virtual long OnScopeNotify(unsigned idFrom, const ScopeNotify& n) = 0;
};

class CWaveCtrl : public CWnd {
    Q_OBJECT
public:
    static constexpr int kControlId = 1239;
    static constexpr unsigned kRefreshTimerId = 404;
    static constexpr unsigned kRefreshMs = 50;
    static constexpr int kBufferBytes = 8192;
    static constexpr const char* kClassName = "ScopeCtrl";
    // Notification codes.
    static constexpr unsigned kNotifyButtonDown = static_cast<unsigned>(-725);
    static constexpr unsigned kNotifyButtonUp = static_cast<unsigned>(-726);
    static constexpr unsigned kNotifyMouseMove = static_cast<unsigned>(-727);

    // Colours (COLORREF 0x00BBGGRR).
    static constexpr uint32_t kBackColor = 0x000000;
    static constexpr uint32_t kGridColor = 0x007F00;
    static constexpr uint32_t kTextColor = 0x00FFFF;
    static constexpr uint32_t kTraceColor = 0x00FF00;
    static constexpr uint32_t kPickColor = 0xFFFFFF;
    static constexpr uint32_t kPickTextColor = 0xFFEFEF;
    static constexpr uint32_t kThresholdColor = 0x0000FF;
    static constexpr uint32_t kStartColor = 0xFF9696;
    static constexpr uint32_t kStopColor = 0xFF9696;
    static constexpr uint32_t kCaption1Color = 0xFFFFA0;
    static constexpr uint32_t kCaption2Color = 0x00FFFF;
    static constexpr uint32_t kCaption3Color = 0xFFEFEF;

    // `shared` gives the receivers' first-arrival settings; it outlives the control.
    explicit CWaveCtrl(SharedData& shared, QWidget* parent = nullptr);
    ~CWaveCtrl() override;

    // The window class stays registered for the process (kept for the callers' order).
    static BOOL RegisterWindowClass();
    // Places the scope over `rect` of `parent` under `id` and draws it.
    virtual BOOL Create(unsigned style, const QRect& rect, QWidget* parent, unsigned id);

    // One trace: count samples (cut to 4096), trace-length code, the receiver's
    // first-arrival threshold, window start and end (µs), use flag and display
    // gain. Clears the caption flag. Any thread.
    void SetWaveData(const short* samples, int count, int code, int threshold, int start, int end, int use, int gain,
                     bool redraw);
    // First-arrival settings of the channel's receiver from AcquisitionSettings, then a refresh.
    void LoadChannelSettings();
    // Zeroes the samples, reloads the channel's settings and refreshes. Any thread.
    void ClearTrace();
    // Timer 404 at 50 ms unless one is pending. Any thread.
    void StartRefreshTimer();
    void SetFlag(uint8_t flag);
    // Display gain used from now on (the next trace brings its own). Any thread.
    void SetGain(int gain);
    // Trace-length code used from now on (acquisition reset). Any thread.
    void SetTraceLengthCode(int code);

    // The first-arrival cursor dialog for this channel, then the settings again.
    void EditCursor();

    void OnTimer(unsigned id) override;
    void OnSize(unsigned type, int cx, int cy);
    void OnLButtonDown(unsigned flags, const QPoint& pt);
    void OnLButtonUp(unsigned flags, const QPoint& pt);
    void OnMouseMove(unsigned flags, const QPoint& pt);
    void OnLButtonDblClk(unsigned flags, const QPoint& pt);
    long NotifyOwner(unsigned flags, int x, int y, unsigned code);
    void RecreateBitmaps();
    // Draws the current state into the memory bitmap (GUI thread).
    void DrawTrace();

    // The window that receives the notifications; none means the nearest parent
    // that implements IScopeNotifyOwner.
    void SetOwner(IScopeNotifyOwner* owner) { m_owner = owner; }

    // Channel 2001, 2002 or 2003 (Rx1..Rx3).
    int m_nChannel = 2001;
    // Written by the owning view (GUI thread); drawn while the caption flag is set.
    std::string m_strCaption1, m_strCaption2, m_strCaption3;

    // Runs the first-arrival cursor dialog for a scope (installed by the program).
    static void SetCursorDialog(std::function<void(CWaveCtrl&)> run);
    // Whether the main window is minimised (installed by the program); drawing pauses then.
    static void SetMainWindowMinimizedQuery(std::function<bool()> query);

    // --- observation (tests, printing) ---
    const QImage& Bitmap() const { return m_bitmap; }
    bool RefreshPending() const { return m_refreshPending.load(); }
    // 404 while a refresh is pending, else 0.
    unsigned PendingTimerId() const { return m_refreshPending.load() ? kRefreshTimerId : 0; }
    uint8_t CaptionFlag() const { return m_captionFlag.load(); }
    int Gain() const;
    int SampleCount() const;
    int TraceLengthCode() const;
    int ThresholdLevel() const;
    int WindowStart() const;
    int WindowEnd() const;
    int UseFlag() const;
    // Travel time picked in the last drawing (0 when none was drawn).
    int LastPick() const { return m_lastPick; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    // What one drawing needs, copied under m_dataMutex.
    struct State {
        int gain = 1;
        int count = 256;
        int code = 0;
        int start = 200;
        int end = 300;
        int level = 10;
        int use = 0;
        std::array<int16_t, kBufferBytes / 2> samples{};
    };

    void MakeFonts(int dpiY);

    SharedData& m_shared;
    mutable std::mutex m_dataMutex;
    State m_state;  // guarded by m_dataMutex
    std::atomic<bool> m_refreshPending{false};
    std::atomic<uint8_t> m_captionFlag{1};

    // GUI thread only.
    QImage m_bitmap;
    QFont m_smallFont;
    QFont m_verticalFont;
    bool m_fontsForDevice = false;
    IScopeNotifyOwner* m_owner = nullptr;
    unsigned m_style = 0;
    int m_lastPick = 0;
};
