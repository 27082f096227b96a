#include "ui/dialogs/CheckComm.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "link/FramePeriod.h"
#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "platform/Clock.h"
#include "platform/ui/UiService.h"
#include "settings/Preferences.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/dialogs/CommReport.h"
#include "ui/dialogs/DialogUnits.h"

using zns::ui::DluRect;

CCheckComm::CCheckComm(SharedData& shared, SettingsData& settings, QWidget* parent, zns::IClock* clock)
    : CDialogExt(IDD, parent),
      m_shared(shared),
      m_settings(settings),
      m_clock(clock ? clock : &zns::DefaultClock()),
      m_core(shared, *this) {
    BuildControls();
}

CCheckComm::~CCheckComm() {
    // A dialog torn down mid-check (program exit) must not leave the receive
    // thread thinning the frames.
    if (!m_ended && m_core.Running()) m_shared.m_bCommCheck = false;
}

void CCheckComm::BuildControls() {
    setWindowTitle(QStringLiteral("Communication Auto check"));
    setFont(zns::ui::TemplateFont());
    setFixedSize(zns::ui::DluX(232), zns::ui::DluY(150));

    auto* cur = new QLabel(QStringLiteral("Current"), this);
    cur->setGeometry(DluRect(80, 6, 60, 9));
    auto* sel = new QLabel(QStringLiteral("Selected"), this);
    sel->setGeometry(DluRect(150, 6, 60, 9));
    const char* names[4] = {"Downh. Drive", "Receiver Gain", "Uphole Drive", "Baudrate"};
    for (int row = 0; row < 4; ++row) {
        auto* l = new QLabel(QString::fromLatin1(names[row]), this);
        l->setGeometry(DluRect(8, 18 + row * 18, 68, 12));
        for (int col = 0; col < 2; ++col) {
            auto* f = new CColorStaticST(this);
            f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            f->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            f->setGeometry(DluRect(80 + col * 70, 18 + row * 18, 60, 12));
            SetDlgItem(IDC_DOWN_CURRENT + row * 2 + col, f);
        }
    }
    auto* status = new CColorStaticST(this);
    status->setAlignment(Qt::AlignCenter);
    status->setWordWrap(true);
    status->setGeometry(DluRect(8, 92, 216, 28));
    SetDlgItem(IDC_STATUS, status);

    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setGeometry(DluRect(90, 128, 52, 14));
    SetDlgItem(IDCANCEL, cancel);
}

CColorStaticST* CCheckComm::Field(int id) const { return qobject_cast<CColorStaticST*>(GetDlgItem(id)); }

BOOL CCheckComm::OnInitDialog() {
    CDialogExt::OnInitDialog();
    for (int id = IDC_DOWN_CURRENT; id <= IDC_BAUD_SELECTED; ++id) {
        if (CColorStaticST* f = Field(id)) {
            f->SetTextColor(zns::kCheckBlack);
            f->setText(QString());
        }
    }
    if (CColorStaticST* s = Field(IDC_STATUS)) {
        s->SetTextColor(zns::kCheckBlack);
        s->setText(QString());
    }
    SetTimer(kStateTimerId, static_cast<unsigned>(m_core.Start()));
    return TRUE;
}

void CCheckComm::OnTimer(unsigned id) {
    if (id != kStateTimerId) return;
    KillTimer(kStateTimerId);
    const int next = m_core.Tick();
    if (next >= 0 && !m_ended) SetTimer(kStateTimerId, static_cast<unsigned>(next));
}

void CCheckComm::OnCancel() {
    if (m_ended) return;
    if (m_core.Cancel()) {
        KillTimer(kStateTimerId);
        m_ended = true;
        EndDialog(IDCANCEL);
    }
}

void CCheckComm::WriteReport() {
    int32_t serial;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        const SondeDatabase& db = m_settings.sondeDb;
        const int sel = db.nSelected >= 0 && db.nSelected < kMaxSondes ? db.nSelected : 0;
        serial = db.Slots[size_t(sel)].SerialNumber;
    }
    const int32_t cable = m_shared.SnapshotSettings().CableType;
    std::string dir = zns::FixedFieldText(m_settings.files.szProgramDir);
    if (dir.empty() && m_prefs) dir = m_prefs->ProgramDirectory();
    if (!dir.empty() && dir.back() != '/') dir += '/';
    const std::string path = zns::CommReportPath(dir, serial, cable);
    const std::string text =
        zns::CommReportText(serial, cable, m_clock->NowLocal(), m_core.Rows().data(), zns::kCheckRowCount);
    if (!zns::WriteCommReportFile(path, text)) CDialogExt::MessageBox(kMsgReportFailed + path, {}, MB_OK | MB_ICONSTOP);
}

bool CCheckComm::SendCommand(int code) {
    if (m_hooks.sendCommand) return m_hooks.sendCommand(code);
    uint8_t volts;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        volts = static_cast<uint8_t>(zns::HoldSondeVoltage(m_settings.sondeDb.Voltage));
    }
    return QueueCommand(m_shared, code, volts);
}

int CCheckComm::FieldId(zns::CheckField f, bool selected) const {
    return IDC_DOWN_CURRENT + static_cast<int>(f) * 2 + (selected ? 1 : 0);
}

void CCheckComm::ShowValue(zns::CheckField f, bool selected, int value) {
    if (f == zns::CheckField::Baud) {
        const char* t = zns::BaudLabelForDivisor(value);
        SetDlgItemText(FieldId(f, selected), t ? t : "");
    } else {
        SetDlgItemInt(FieldId(f, selected), static_cast<unsigned>(value), TRUE);
    }
}

void CCheckComm::SetFieldColor(zns::CheckField f, bool selected, uint32_t color) {
    if (CColorStaticST* s = Field(FieldId(f, selected))) s->SetTextColor(color);
}

void CCheckComm::ShowStatus(const std::string& text, uint32_t color) {
    if (CColorStaticST* s = Field(IDC_STATUS)) {
        if (color != zns::kCheckKeepColor) s->SetTextColor(color);
    }
    SetDlgItemText(IDC_STATUS, text);
}

int CCheckComm::MessageBox(const std::string& text, unsigned type) { return CDialogExt::MessageBox(text, {}, type); }

void CCheckComm::Wait(int ms) {
    QCoreApplication::processEvents();
    m_clock->SleepMs(ms);
}

void CCheckComm::RefreshPages() {
    if (m_hooks.refreshPages) m_hooks.refreshPages();
}

void CCheckComm::SaveConfig() {
    if (m_hooks.saveConfig)
        m_hooks.saveConfig();
    else if (m_prefs)
        m_prefs->SaveConfig();
}

void CCheckComm::Close() { OnCancel(); }
