#pragma once
// CColorPen: a small modal picker of one of 23 fixed colours, chosen by a
// double click on one of its 20 swatches. The colour goes out through the
// pointer given at construction, which also gives the starting colour; a
// cancelled picker leaves it alone. A focus frame marks the swatch of the
// current colour shortly after each repaint. GUI thread only.
#include <array>
#include <cstdint>

#include "platform/WinTypes.h"
#include "platform/ui/Wnd.h"

class CColorPenSwatch;

class CColorPen : public CDialog {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 506;
    static constexpr unsigned kFrameTimerId = 404;
    static constexpr unsigned kFrameDelayMs = 50;
    static constexpr int kPaletteSize = 23;
    static constexpr int kSwatchCount = 20;

    // The palette (COLORREF 0x00BBGGRR).
    static constexpr std::array<uint32_t, kPaletteSize> kPalette = {
        0x000000, 0xFF0000, 0xFFFF00, 0x00FF00, 0xFF00FF, 0x0000FF, 0x00FFFF, 0xFFFFFF,
        0xFFC0C0, 0x808080, 0xD3D0C9, 0xA00000, 0xFFA000, 0xFFFFA0, 0xA0A000, 0xA0FFA0,
        0x00A000, 0xFFA0FF, 0xA000A0, 0xC0C0FF, 0x0000A0, 0x00A0FF, 0x0060A0};
    // Swatches row by row: control id and the palette index it shows.
    static constexpr std::array<int, kSwatchCount> kSwatchIds = {1521, 1547, 1548, 1549, 1550, 1567, 1568,
                                                                 1569, 1570, 1571, 1572, 1573, 1574, 1575,
                                                                 1576, 1577, 1578, 1579, 1580, 1581};
    static constexpr std::array<int, kSwatchCount> kSwatchIndices = {16, 3,  15, 6,  21, 17, 19, 5, 20, 22,
                                                                     18, 11, 1,  12, 14, 2,  13, 7, 10, 0};

    // Highest palette index of `color`, 0 when the palette does not hold it.
    static int PaletteIndexOf(uint32_t color);

    // `color` gives the starting colour and receives the chosen one.
    explicit CColorPen(uint32_t* color, QWidget* parent = nullptr);
    ~CColorPen() override;

    BOOL OnInitDialog() override;
    // Writes the palette colour of the current selection, then closes with IDOK.
    void OnOK() override;
    void OnTimer(unsigned id) override;
    void Refresh();

    // Double click on swatch n (row order).
    void OnStnDblclkSwatch(int n);
    void OnStnDblclkSwatch1() { OnStnDblclkSwatch(0); }
    void OnStnDblclkSwatch2() { OnStnDblclkSwatch(1); }
    void OnStnDblclkSwatch3() { OnStnDblclkSwatch(2); }
    void OnStnDblclkSwatch4() { OnStnDblclkSwatch(3); }
    void OnStnDblclkSwatch5() { OnStnDblclkSwatch(4); }
    void OnStnDblclkSwatch6() { OnStnDblclkSwatch(5); }
    void OnStnDblclkSwatch7() { OnStnDblclkSwatch(6); }
    void OnStnDblclkSwatch8() { OnStnDblclkSwatch(7); }
    void OnStnDblclkSwatch9() { OnStnDblclkSwatch(8); }
    void OnStnDblclkSwatch10() { OnStnDblclkSwatch(9); }
    void OnStnDblclkSwatch11() { OnStnDblclkSwatch(10); }
    void OnStnDblclkSwatch12() { OnStnDblclkSwatch(11); }
    void OnStnDblclkSwatch13() { OnStnDblclkSwatch(12); }
    void OnStnDblclkSwatch14() { OnStnDblclkSwatch(13); }
    void OnStnDblclkSwatch15() { OnStnDblclkSwatch(14); }
    void OnStnDblclkSwatch16() { OnStnDblclkSwatch(15); }
    void OnStnDblclkSwatch17() { OnStnDblclkSwatch(16); }
    void OnStnDblclkSwatch18() { OnStnDblclkSwatch(17); }
    void OnStnDblclkSwatch19() { OnStnDblclkSwatch(18); }
    void OnStnDblclkSwatch20() { OnStnDblclkSwatch(19); }

    // --- state, for tests ---
    int Selected() const { return m_nSelected; }
    // Control id of the swatch that carries the focus frame, 0 for none.
    int FramedSwatchId() const;
    QWidget* Swatch(int n) const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    int m_nSelected = 0;
    std::array<CColorPenSwatch*, kSwatchCount> m_Swatch{};
    unsigned m_nTimer = 0;
    uint32_t* m_pColor;
    std::array<int, kSwatchCount> m_SwatchIndex{};
    std::array<int, kSwatchCount> m_SwatchId{};
};
