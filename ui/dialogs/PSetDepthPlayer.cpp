#include "ui/dialogs/PSetDepthPlayer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

#include "link/Picker.h"
#include "platform/NumText.h"
#include "ui/dialogs/DialogUnits.h"

using zns::ui::DluRect;

CPSetDepthPlayer::CPSetDepthPlayer(double& exportFirst, double& exportLast, double& exportStep, QWidget* parent)
    : CDialogExt(IDD, parent), m_first(exportFirst), m_last(exportLast), m_step(exportStep) {
    setWindowTitle(QStringLiteral("Set start and end depht to export"));
    setFont(zns::ui::TemplateFont());
    setFixedSize(zns::ui::DluX(186), zns::ui::DluY(96));

    auto* beginLabel = new QLabel(QStringLiteral("Begining at :"), this);
    beginLabel->setGeometry(DluRect(7, 10, 50, 8));
    auto* begin = new QLineEdit(this);
    begin->setAlignment(Qt::AlignRight);
    begin->setGeometry(DluRect(60, 8, 60, 12));
    SetDlgItem(IDC_BEGIN, begin);

    auto* endLabel = new QLabel(QStringLiteral("End at :"), this);
    endLabel->setGeometry(DluRect(7, 26, 50, 8));
    auto* end = new QLineEdit(this);
    end->setAlignment(Qt::AlignRight);
    end->setGeometry(DluRect(60, 24, 60, 12));
    SetDlgItem(IDC_END, end);

    auto* infos = new QLabel(QStringLiteral("Infos"), this);
    infos->setGeometry(DluRect(7, 42, 172, 8));
    SetDlgItem(IDC_INFOS, infos);
    auto* alert = new QLabel(QStringLiteral("Alert"), this);
    alert->setGeometry(DluRect(7, 54, 172, 8));
    alert->setStyleSheet(QStringLiteral("color: red"));
    SetDlgItem(IDC_ALERT, alert);

    auto* set = new QPushButton(QStringLiteral("Set"), this);
    set->setGeometry(DluRect(129, 7, 50, 14));
    set->setDefault(true);
    SetDlgItem(IDOK, set);
    auto* all = new QPushButton(QStringLiteral("All"), this);
    all->setGeometry(DluRect(129, 24, 50, 14));
    SetDlgItem(IDCANCEL, all);
}

CPSetDepthPlayer::~CPSetDepthPlayer() = default;

BOOL CPSetDepthPlayer::OnInitDialog() {
    CDialogExt::OnInitDialog();
    m_dStepSize = std::fabs(m_step);
    m_dBegin = m_first;
    m_dEnd = m_last;
    SetDlgItemDouble(IDC_BEGIN, m_dBegin, 3, false);
    SetDlgItemText(IDC_INFOS, zns::Format(kInfos, m_dBegin, m_dEnd));
    if (std::fabs(m_dEnd - m_dBegin) / m_dStepSize > kMaxTraces) {
        const double limit = std::ceil(kProposedSteps * m_dStepSize);
        SetDlgItemText(IDC_ALERT, zns::Format(kAlert, limit));
        m_dEnd = m_dEnd > m_dBegin ? m_dBegin + limit : m_dBegin - limit;
    } else {
        SetDlgItemText(IDC_ALERT, "");
    }
    SetDlgItemDouble(IDC_END, m_dEnd, 3, false);
    return TRUE;
}

void CPSetDepthPlayer::OnOK() {
    double begin = 0.0, end = 0.0;
    // An unreadable edit has had its box; the dialog stays open.
    if (!GetDlgItemDouble(IDC_BEGIN, &begin) || !GetDlgItemDouble(IDC_END, &end)) return;
    m_dBegin = begin = RoundHalfAway(begin * 1000.0) / 1000.0;
    m_dEnd = end = RoundHalfAway(end * 1000.0) / 1000.0;
    const double f = m_first;
    const double l = m_last;

    auto refuse = [this](const std::string& text, bool setBegin, bool setEnd, double f, double l) {
        MessageBox(text, {}, MB_OK);
        if (setEnd) SetDlgItemDouble(IDC_END, l, 3, false);
        if (setBegin) SetDlgItemDouble(IDC_BEGIN, f, 3, false);
    };
    if (f < l) {
        if (begin < f) return refuse(zns::Format(kMsgBeginMin, f), true, false, f, l);
        if (end > l) return refuse(zns::Format(kMsgEndMax, l), false, true, f, l);
        if (end <= begin) return refuse(kMsgOrder, true, true, f, l);
    } else {
        if (begin > f) return refuse(zns::Format(kMsgBeginMax, f), true, false, f, l);
        if (end < l) return refuse(zns::Format(kMsgEndMin, l), false, true, f, l);
        if (end >= begin) return refuse(kMsgOrder, true, true, f, l);
    }

    const double n = RoundHalfAway(std::fabs(begin - end) / m_dStepSize);
    // A log that never moved has no steps to count (n is not a number then).
    if (!(n <= kMaxSteps)) {
        const double limit = std::ceil(kProposedSteps * m_dStepSize * 1000.0) / 1000.0;
        SetDlgItemText(IDC_ALERT, zns::Format(kAlert, limit));
        m_dEnd = end > begin ? begin + limit : begin - limit;
        SetDlgItemDouble(IDC_END, m_dEnd, 3, false);
        return;
    }
    m_step = n;
    m_first = std::fabs(RoundHalfAway((begin - f) / m_dStepSize));
    EndDialog(0);
}

void CPSetDepthPlayer::OnCancel() { EndDialog(-1); }
