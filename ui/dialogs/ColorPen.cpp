#include "ui/dialogs/ColorPen.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include "ui/controls/ColorStaticST.h"
#include "ui/dialogs/DialogUnits.h"

using zns::ui::DluRect;

// A swatch: a colour static that reports double clicks and can carry the
// picker's focus frame.
class CColorPenSwatch : public CColorStaticST {
public:
    CColorPenSwatch(CColorPen* pen, int slot) : CColorStaticST(pen), m_pen(pen), m_slot(slot) {}

    void SetFramed(bool framed) {
        if (framed == m_framed) return;
        m_framed = framed;
        update();
    }
    bool Framed() const { return m_framed; }

protected:
    void paintEvent(QPaintEvent* e) override {
        CColorStaticST::paintEvent(e);
        if (!m_framed) return;
        QPainter p(this);
        // A dotted frame that shows on light and dark swatches alike.
        const uint32_t back = GetBkColor();
        const int luma = static_cast<int>((back & 0xFF) * 3 + ((back >> 8) & 0xFF) * 6 + ((back >> 16) & 0xFF)) / 10;
        p.setPen(QPen(luma < 128 ? Qt::white : Qt::black, 1, Qt::DotLine));
        p.drawRect(rect().adjusted(1, 1, -2, -2));
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) m_pen->OnStnDblclkSwatch(m_slot);
    }

private:
    CColorPen* m_pen;
    int m_slot;
    bool m_framed = false;
};

int CColorPen::PaletteIndexOf(uint32_t color) {
    for (int i = kPaletteSize - 1; i >= 0; --i)
        if (kPalette[static_cast<size_t>(i)] == color) return i;
    return 0;
}

CColorPen::CColorPen(uint32_t* color, QWidget* parent) : CDialog(IDD, parent), m_pColor(color) {
    m_nSelected = color ? PaletteIndexOf(*color) : 0;
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(zns::ui::DluX(98), zns::ui::DluY(90));
    setFont(zns::ui::TemplateFont());

    static constexpr int kColumns[] = {7, 23, 40, 56, 72};
    static constexpr int kRows[] = {7, 21, 35, 49};
    for (int n = 0; n < kSwatchCount; ++n) {
        auto* s = new CColorPenSwatch(this, n);
        s->setGeometry(DluRect(kColumns[n % 5], kRows[n / 5], 18, 16));
        s->setFrameStyle(QFrame::Box | QFrame::Plain);
        m_Swatch[static_cast<size_t>(n)] = s;
        SetDlgItem(kSwatchIds[static_cast<size_t>(n)], s);
    }
    auto* cancel = new QPushButton(QStringLiteral("Annuler"), this);
    cancel->setGeometry(DluRect(56, 71, 35, 12));
    SetDlgItem(IDCANCEL, cancel);
    // The default button stays hidden: a double click is the way to choose.
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(DluRect(7, 71, 31, 12));
    ok->setDefault(true);
    ok->hide();
    SetDlgItem(IDOK, ok);
}

CColorPen::~CColorPen() { KillTimer(kFrameTimerId); }

BOOL CColorPen::OnInitDialog() {
    CDialog::OnInitDialog();
    m_SwatchIndex = kSwatchIndices;
    m_SwatchId = kSwatchIds;
    for (int n = 0; n < kSwatchCount; ++n)
        m_Swatch[static_cast<size_t>(n)]->SetBkColor(
            kPalette[static_cast<size_t>(m_SwatchIndex[static_cast<size_t>(n)])]);
    return TRUE;
}

void CColorPen::Refresh() { repaint(); }

void CColorPen::OnStnDblclkSwatch(int n) {
    if (n < 0 || n >= kSwatchCount) return;
    Refresh();
    m_nSelected = m_SwatchIndex[static_cast<size_t>(n)];
    OnOK();
}

void CColorPen::OnOK() {
    if (m_pColor && m_nSelected >= 0 && m_nSelected < kPaletteSize)
        *m_pColor = kPalette[static_cast<size_t>(m_nSelected)];
    EndDialog(IDOK);
}

void CColorPen::paintEvent(QPaintEvent* e) {
    CDialog::paintEvent(e);
    if (m_nTimer == 0) m_nTimer = SetTimer(kFrameTimerId, kFrameDelayMs);
}

void CColorPen::OnTimer(unsigned id) {
    if (id != kFrameTimerId) return;
    KillTimer(kFrameTimerId);
    m_nTimer = 0;
    // The frame is part of the swatch's own painting, so it survives repaints;
    // only a change of the framed swatch repaints anything.
    bool found = false;
    for (int n = 0; n < kSwatchCount; ++n) {
        const bool framed =
            !found && m_SwatchIndex[static_cast<size_t>(n)] == m_nSelected && m_SwatchId[static_cast<size_t>(n)] != 0;
        found = found || framed;
        m_Swatch[static_cast<size_t>(n)]->SetFramed(framed);
    }
}

int CColorPen::FramedSwatchId() const {
    for (int n = 0; n < kSwatchCount; ++n)
        if (m_Swatch[static_cast<size_t>(n)]->Framed()) return m_SwatchId[static_cast<size_t>(n)];
    return 0;
}

QWidget* CColorPen::Swatch(int n) const {
    return (n >= 0 && n < kSwatchCount) ? m_Swatch[static_cast<size_t>(n)] : nullptr;
}
