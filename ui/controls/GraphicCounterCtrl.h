#pragma once
// CGraphicCounterCtrl: the large numeric read-out (depth, speed, count rate,
// voltage). One short text in a bold Arial font sized to the window, in chosen
// colours, optionally blinking between two colour sets.
//
// Threads: the WriteCounterData operations may be called from any thread; they
// format the text, store it under the control's lock and ask for timer 1000
// (posted, never waited for). Everything else is GUI-thread work; drawing runs
// on the GUI thread from the timers into a memory bitmap that the paint copies.
#include <QFont>
#include <QImage>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/WinTypes.h"
#include "platform/ui/Wnd.h"

class CGraphicCounterCtrl : public CWnd {
    Q_OBJECT
public:
    static constexpr unsigned kRefreshTimerId = 1000;
    static constexpr unsigned kBlinkTimerId = 1001;
    static constexpr unsigned kDefaultRefreshMs = 200;
    static constexpr unsigned kStartRefreshMs = 20;

    explicit CGraphicCounterCtrl(QWidget* parent = nullptr);
    ~CGraphicCounterCtrl() override;

    // Places the counter over `rect` of `parent` under `id` and draws it.
    virtual BOOL Create(unsigned style, const QRect& rect, QWidget* parent, unsigned id);

    // Colours are COLORREF (0x00BBGGRR).
    void SetBackColor(uint32_t color);
    void SetTextColor(uint32_t color);
    void SetTextColor2(uint32_t color);  // text in the blink phase
    void SetTextColor3(uint32_t color);  // background in the blink phase
    void SetSizeMode(int mode);          // 5 right, 6 centred, 7 left
    void SetFontScale(int mode);         // 0 small font, 1 0.8, 3 1.4, 4 2.0, else 1.0

    // Only while the counter is visible; any thread.
    void WriteCounterDataInt(int value);
    void WriteCounterDataDouble(double value, const char* format);
    void WriteCounterDataCString(const char* text);

    void RequestRedraw();  // timer 1000 at the refresh period unless pending
    void StartRefresh();   // timer 1000 at 20 ms unless pending
    void StartBlink(int speed);
    void StopBlink();

    void OnTimer(unsigned id) override;
    void OnSize(unsigned type, int cx, int cy);
    // Draws into the memory bitmap (GUI thread; nothing while hidden or minimised).
    void Draw();

    // --- observation ---
    std::string GetText() const;
    bool IsBlinkOn() const { return m_blinkOn.load(); }
    bool BlinkPhase() const { return m_blinkPhase.load(); }
    unsigned BlinkPeriod() const { return m_blinkPeriod.load(); }
    int SizeMode() const;
    double FontScale() const;
    uint32_t TextColor() const;
    uint32_t BackColor() const;
    uint32_t TextColor3() const;
    const QImage& Bitmap() const { return m_bitmap; }
    bool RefreshPending() const { return m_refreshPending.load(); }
    // Whether the text currently goes to the left edge (the last drawing's choice).
    bool LastDrawnLeftAligned() const { return m_lastLeft; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void StoreText(std::string text);
    QFont FontFor(int height, int width, int weight);

    mutable std::mutex m_mutex;  // text, colours, size mode and scale
    std::string m_text;
    uint32_t m_backColor = 0x000000;
    uint32_t m_textColor = 0x00FFFF;
    uint32_t m_textColor2 = 0x00FFFF;
    uint32_t m_textColor3 = 0x000000;
    int m_sizeMode = 5;
    double m_fontScale = 1.0;

    std::atomic<bool> m_visible{false};
    std::atomic<bool> m_refreshPending{false};
    std::atomic<unsigned> m_refreshPeriod{kDefaultRefreshMs};
    std::atomic<bool> m_blinkOn{false};
    std::atomic<bool> m_blinkPhase{false};
    std::atomic<unsigned> m_blinkPeriod{1000};
    unsigned m_nBlinkTimer = 0;  // GUI thread

    QImage m_bitmap;
    QFont m_font;
    int m_fontKey[3] = {-1, -1, -1};
    bool m_lastLeft = false;
};
