#pragma once
// CColorStaticST: a static text with its own text and background colours and
// independent blinking of either, both driven by one timer (id 1). Dialogs use
// it in place of their plain statics and drive it through the setters.
// GUI thread only.
#include <QLabel>
#include <cstdint>

#include "platform/WinTypes.h"
#include "platform/ui/Wnd.h"

class CColorStaticST : public QLabel, public CWndBase {
    Q_OBJECT
public:
    static constexpr unsigned kBlinkTimerId = 1;
    static constexpr uint32_t kDefaultColor = 0xFFFFFFFFu;  // "the system's colour"

    explicit CColorStaticST(QWidget* parent = nullptr);
    explicit CColorStaticST(const QString& text, QWidget* parent = nullptr);
    ~CColorStaticST() override;

    // Colours are COLORREF (0x00BBGGRR).
    // 0xFFFFFFFF takes the system's button text colour.
    void SetTextColor(uint32_t color);
    // 0xFFFFFFFF (-1) takes the system's button face colour.
    void SetBkColor(uint32_t color);
    uint32_t GetBkColor() const { return m_crBkColor; }
    uint32_t GetTextColor() const { return m_crTextColor; }
    void SetBlinkTextColors(uint32_t first, uint32_t second);
    void SetBlinkBkColors(uint32_t first, uint32_t second);

    // Both kinds share the one timer: starting or stopping either restarts or
    // stops the timer for both (stopping one leaves the other frozen in its phase
    // until one of them is started again). Speed 0: 2000 ms, 1: 1000, 2: 500,
    // otherwise that many milliseconds.
    void StartTextBlink(int on, int speed);
    void StartBkBlink(int on, int speed);

    // The colours the control paints with now.
    struct Colors {
        uint32_t text = 0;
        uint32_t back = 0;
    };
    Colors CtlColor() const;

    void OnTimer(unsigned id) override;
    void OnDestroy();

    // --- observation ---
    bool IsTextBlinking() const { return m_nTextBlinkOn != 0; }
    bool IsBkBlinking() const { return m_nBkBlinkOn != 0; }
    int TextBlinkPhase() const { return m_nTextBlinkStep; }
    int BkBlinkPhase() const { return m_nBkBlinkStep; }
    bool BlinkTimerRunning() const { return IsTimerSet(kBlinkTimerId); }

    static uint32_t SysBtnTextColor();
    static uint32_t SysBtnFaceColor();

protected:
    void paintEvent(QPaintEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    void Restart(int& flag, int& phase, int on, int speed);

    uint32_t m_crTextColor;
    uint32_t m_crBlinkTextColors[2];
    int m_nTextBlinkOn = 0;
    int m_nTextBlinkStep = 0;
    uint32_t m_crBkColor;
    uint32_t m_crBlinkBkColors[2];
    int m_nBkBlinkOn = 0;
    int m_nBkBlinkStep = 0;
};
