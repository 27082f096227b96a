#include "ui/dialogs/AlarmDlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/ui/Draw.h"
#include "platform/ui/UiText.h"
#include "ui/controls/ColorStaticST.h"

namespace {

struct AlarmText {
    const char* caption;
    const char* message;
};
constexpr AlarmText kAlarms[] = {
    {"Invalid Depth !!!", "Encoder Error"},
    {"Low Battery.", "Low battery / Power Failure !!!"},
};

}  // namespace

CAlertDlg::CAlertDlg(QWidget* parent) : CDialogExt(IDD, parent) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_icon = new QLabel(this);
    m_text = new CColorStaticST(this);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setMinimumSize(220, 40);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);

    auto* row = new QHBoxLayout;
    row->addWidget(m_icon);
    row->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);

    SetDlgItem(IDC_ALERT_ICON, m_icon);
    SetDlgItem(IDC_ALERT_TEXT, m_text);
    SetDlgItem(IDOK, m_ok);
}

CAlertDlg::~CAlertDlg() = default;

BOOL CAlertDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    m_icon->setPixmap(icon.pixmap(32, 32));
    m_font = zns::ui::MakeFont("MS Shell Dlg", 12, 700);
    m_text->SetTextColor(kTextColor);
    m_text->setFont(m_font);
    SetAlarm(ALARM_ENCODER);
    return FALSE;
}

void CAlertDlg::SetAlarm(int code) {
    if (code < 0 || code >= static_cast<int>(std::size(kAlarms))) return;
    SetWindowText(kAlarms[code].caption);
    m_text->setText(zns::ui::ToQ(kAlarms[code].message));
}

std::string CAlertDlg::Message() const { return zns::ui::FromQ(m_text->text()); }
