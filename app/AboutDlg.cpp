#include "app/AboutDlg.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppIcons.h"
#include "ui/AppTexts.h"
#include "app/BrannicLogger_ZN.h"
#include "app/OsName.h"

CAboutDlg::CAboutDlg(CBrannicLogger_ZNApp& app, QWidget* parent) : CDialog(IDD, parent), m_app(app) {
    setWindowTitle(kCaption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon(IDI_MAIN).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    for (int id : {IDC_VERSION, IDC_OS, IDC_LOGGER, IDC_NOTICE}) {
        auto* label = new QLabel(this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (id == IDC_NOTICE) label->setWordWrap(true);
        texts->addWidget(label);
        SetDlgItem(id, label);
    }
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    SetDlgItem(IDOK, ok);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setMinimumWidth(380);
}

void CAboutDlg::OnActivate() {
    SetDlgItemText(IDC_OS, "OS: " + GetOSName().name);
    const std::string id = m_app.LoggerId();
    SetDlgItemText(IDC_LOGGER, id.empty() ? std::string(kNoDevice) : "Logger S/N: " + m_app.LoggerSerial());
    SetDlgItemText(IDC_VERSION, std::string("ZNS version") + '\xA0' + g_strVersion);
    SetDlgItemText(IDC_NOTICE, g_strAboutNotice);
}

bool CAboutDlg::event(QEvent* e) {
    const bool handled = CDialog::event(e);
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) OnActivate();
    return handled;
}
