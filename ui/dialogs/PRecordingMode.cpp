#include "ui/dialogs/PRecordingMode.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "settings/Preferences.h"
#include "ui/dialogs/DialogUnits.h"

using zns::ui::DluRect;

CPRecordingMode::CPRecordingMode(SharedData& shared, SettingsData& settings, const std::atomic<bool>& displayModeDlg,
                                 RecordingModeHooks hooks, QWidget* parent)
    : CDialog(IDD, parent),
      m_shared(shared),
      m_settings(settings),
      m_bDisplayModeDlg(displayModeDlg),
      m_hooks(std::move(hooks)) {
    setFixedSize(zns::ui::DluX(126), zns::ui::DluY(92));
    setFont(zns::ui::TemplateFont());

    m_group = new QGroupBox(QStringLiteral("Recording Mode ..."), this);
    m_group->setGeometry(DluRect(7, 5, 112, 60));
    SetDlgItem(IDC_GROUP, m_group);
    struct Radio {
        int id;
        const char* text;
        int y;
    };
    for (const Radio& r : {Radio{IDC_TIME_MODE, "Time Mode", 14}, Radio{IDC_UP_MODE, "Up Depth Mode", 28},
                           Radio{IDC_DOWN_MODE, "Down Depth Mode", 42}}) {
        auto* b = new QRadioButton(QString::fromLatin1(r.text), m_group);
        b->setGeometry(DluRect(12, r.y, 90, 10));
        SetDlgItem(r.id, b);
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(DluRect(38, 71, 50, 14));
    ok->setDefault(true);
    SetDlgItem(IDOK, ok);
}

BOOL CPRecordingMode::OnInitDialog() {
    CDialog::OnInitDialog();
    if (m_bDisplayModeDlg.load()) SetDlgItemText(IDC_GROUP, "Display Mode ...");
    const int mode = m_shared.SnapshotSettings().RecordingMode;
    const int checked = mode == RECMODE_UP ? IDC_UP_MODE : mode == RECMODE_DOWN ? IDC_DOWN_MODE : IDC_TIME_MODE;
    for (int id : {IDC_TIME_MODE, IDC_UP_MODE, IDC_DOWN_MODE})
        CheckDlgButton(id, id == checked ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

void CPRecordingMode::OnOK() {
    int mode = 0;
    bool down = true;
    if (IsDlgButtonChecked(IDC_TIME_MODE) == BST_CHECKED) {
        mode = RECMODE_TIME;
    } else if (IsDlgButtonChecked(IDC_DOWN_MODE) == BST_CHECKED) {
        mode = RECMODE_DOWN;
    } else if (IsDlgButtonChecked(IDC_UP_MODE) == BST_CHECKED) {
        mode = RECMODE_UP;
        down = false;
    }
    if (mode != 0) {
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            m_shared.settings.RecordingMode = mode;
        }
        m_shared.m_bDownDirection.store(down);
    }
    if (m_bDisplayModeDlg.load()) {
        if (m_hooks.sendCommand) {
            m_hooks.sendCommand(CMD_8);
        } else {
            uint32_t volts;
            {
                std::lock_guard<std::mutex> g(m_shared.acqMutex);
                volts = zns::HoldSondeVoltage(m_settings.sondeDb.Voltage);
            }
            QueueCommand(m_shared, CMD_8, static_cast<uint8_t>(volts));
        }
    }
    if (m_hooks.resetAcquisition) m_hooks.resetAcquisition(true);
    CDialog::OnOK();
}
