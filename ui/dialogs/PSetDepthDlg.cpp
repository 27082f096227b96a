#include "ui/dialogs/PSetDepthDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "settings/Preferences.h"
#include "ui/dialogs/DialogUnits.h"

using zns::ui::DluRect;

CPSetDepthDlg::CPSetDepthDlg(SharedData& shared, SettingsData& settings, std::function<bool(int)> sendCommand,
                             QWidget* parent)
    : CDialogExt(IDD, parent), m_shared(shared), m_settings(settings), m_sendCommand(std::move(sendCommand)) {
    setWindowTitle(QStringLiteral("Depth reset."));
    setFont(zns::ui::TemplateFont());
    setFixedSize(zns::ui::DluX(150), zns::ui::DluY(62));

    m_edit = new QLineEdit(this);
    m_edit->setAlignment(Qt::AlignRight);
    m_edit->setGeometry(DluRect(45, 8, 60, 12));
    SetDlgItem(IDC_DEPTH, m_edit);

    auto* question = new QLabel(QStringLiteral("Are you sure of your setting ?"), this);
    question->setAlignment(Qt::AlignCenter);
    question->setGeometry(DluRect(7, 26, 136, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(DluRect(50, 41, 50, 14));
    ok->setDefault(true);
    SetDlgItem(IDOK, ok);
}

BOOL CPSetDepthDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    SetDlgItemDouble(IDC_DEPTH, 0.0, 2, true);  // opens empty
    m_edit->setFocus();
    return TRUE;
}

void CPSetDepthDlg::OnOK() {
    double depth = 0.0;
    // A refused text, or none, must not preset the logger with a depth nobody entered.
    if (RefuseEmptyDlgItem(this, IDC_DEPTH) || !GetDlgItemDouble(IDC_DEPTH, &depth)) {
        m_edit->setFocus();
        return;
    }
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_shared.settings.DepthDatum = depth + m_settings.sondeDb.SondeLength / 100.0;
    }
    if (m_sendCommand)
        m_sendCommand(CMD_2);
    else
        QueueCommand(m_shared, CMD_2);
    CDialogExt::OnOK();
}
