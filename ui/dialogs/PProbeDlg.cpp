#include "ui/dialogs/PProbeDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/WindowHandles.h"
#include "link/CommandFrames.h"
#include "records/SharedRecords.h"
#include "platform/NumText.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/UiService.h"
#include "settings/Preferences.h"
#include "settings/SondeImport.h"
#include "ui/controls/ColorStaticST.h"
#include "ui/dialogs/ColorPen.h"
#include "ui/dialogs/DialogUnits.h"
#include "ui/dialogs/ReadIntFromEdit.h"

using zns::ui::DluRect;

namespace {

constexpr int kGammaMaxItems[] = {10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000};
constexpr uint32_t kBtnHighlight = 0xFFFFFF;  // system colour of a button's lit edge

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

}  // namespace

CPProbeDlg::CPProbeDlg(SharedData& shared, SettingsData& settings, QWidget* parent)
    : CDialogExt(IDD, parent, true), m_shared(shared), m_settings(settings) {
    BuildControls();
}

CPProbeDlg::~CPProbeDlg() = default;

void CPProbeDlg::BuildControls() {
    setFont(zns::ui::TemplateFont());
    setFixedSize(zns::ui::DluX(260), zns::ui::DluY(170));

    auto label = [this](int id, const char* text, int x, int y, int w, int h = 9) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(DluRect(x, y, w, h));
        if (id) SetDlgItem(id, l);
        return l;
    };

    QLabel* sondeLabel = label(IDC_SONDE_LABEL, "S&onde : S/N", 8, 8, 60);
    m_sondeList = new QComboBox(this);
    sondeLabel->setBuddy(m_sondeList);
    m_sondeList->setGeometry(DluRect(70, 6, 50, 13));
    SetDlgItem(IDC_SONDE_LIST, m_sondeList);
    ConnectControl(m_sondeList, qOverload<int>(&QComboBox::activated), [this](int) { OnCbnSelchangeSondeSerial(); });
    m_add = new QPushButton(QStringLiteral("Add"), this);
    m_add->setGeometry(DluRect(126, 5, 40, 14));
    SetDlgItem(IDC_ADD, m_add);
    MapCommand(IDC_ADD, [this] { OnBnClickedAdd(); });
    m_remove = new QPushButton(QStringLiteral("Remove"), this);
    m_remove->setGeometry(DluRect(170, 5, 40, 14));
    SetDlgItem(IDC_REMOVE, m_remove);
    MapCommand(IDC_REMOVE, [this] { OnBnClickedRemove(); });

    QLabel* voltLabel = label(IDC_VOLTAGE_LABEL, "Supply &Voltage", 8, 28, 60);
    m_voltage = new QLineEdit(this);
    voltLabel->setBuddy(m_voltage);
    m_voltage->setAlignment(Qt::AlignRight);
    m_voltage->setGeometry(DluRect(70, 26, 28, 12));
    m_voltage->installEventFilter(this);
    SetDlgItem(IDC_VOLTAGE, m_voltage);
    m_voltageSpin = new CSpinArrows(IDC_VOLTAGE_SPIN, this, this);
    m_voltageSpin->setGeometry(DluRect(99, 26, 9, 12));
    label(0, "V", 111, 28, 10);
    m_set = new QPushButton(QStringLiteral("&Set"), this);
    m_set->setGeometry(DluRect(126, 25, 40, 14));
    SetDlgItem(IDC_SET, m_set);
    MapCommand(IDC_SET, [this] { OnBnClickedSet(); });

    label(0, "First arrival :", 8, 48, 60);
    auto* left = new QPushButton(QStringLiteral("Left"), this);
    left->setGeometry(DluRect(70, 45, 40, 14));
    SetDlgItem(IDC_FA_LEFT, left);
    MapCommand(IDC_FA_LEFT, [this] { OnBnClickedFirstArrivalLeft(); });
    auto* right = new QPushButton(QStringLiteral("Right"), this);
    right->setGeometry(DluRect(114, 45, 40, 14));
    SetDlgItem(IDC_FA_RIGHT, right);
    MapCommand(IDC_FA_RIGHT, [this] { OnBnClickedFirstArrivalRight(); });

    auto* group = new QGroupBox(QStringLiteral("Natural Gamma"), this);
    group->setGeometry(DluRect(6, 66, 248, 96));
    group->lower();
    SetDlgItem(IDC_GAMMA_GROUP, group);
    m_gammaView = new QComboBox(this);
    m_gammaView->addItems({QStringLiteral("Hide"), QStringLiteral("Manual"), QStringLiteral("Auto")});
    m_gammaView->setGeometry(DluRect(14, 80, 50, 13));
    SetDlgItem(IDC_GAMMA_VIEW, m_gammaView);
    ConnectControl(m_gammaView, qOverload<int>(&QComboBox::activated), [this](int) { OnCbnSelchangeGammaView(); });
    QLabel* maxLabel = label(IDC_GAMMA_MAX_LABEL, "&Maximum : ", 72, 82, 40);
    m_gammaMax = new QComboBox(this);
    maxLabel->setBuddy(m_gammaMax);
    m_gammaMax->setGeometry(DluRect(114, 80, 50, 13));
    SetDlgItem(IDC_GAMMA_MAX, m_gammaMax);
    ConnectControl(m_gammaMax, qOverload<int>(&QComboBox::activated), [this](int) { OnCbnSelchangeGammaMaximum(); });

    m_average = new QCheckBox(QStringLiteral("&Average"), this);
    m_average->setGeometry(DluRect(14, 102, 50, 12));
    SetDlgItem(IDC_AVERAGE, m_average);
    MapCommand(IDC_AVERAGE, [this] { OnBnClickedAverage(); });
    m_filter = new CColorStaticST(this);
    m_filter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_filter->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_filter->setGeometry(DluRect(72, 101, 28, 12));
    SetDlgItem(IDC_FILTER, m_filter);
    m_filterSpin = new CSpinArrows(IDC_FILTER_SPIN, this, this);
    m_filterSpin->setGeometry(DluRect(101, 101, 9, 12));

    label(IDC_COEF_LABEL, "GammaCoef\n0.01...0.99", 14, 124, 56, 18);
    m_coef = new QLineEdit(this);
    m_coef->setAlignment(Qt::AlignRight);
    m_coef->setGeometry(DluRect(72, 126, 36, 12));
    m_coef->setEnabled(false);
    SetDlgItem(IDC_COEF, m_coef);
    m_editButton = new QPushButton(QStringLiteral("Edit"), this);
    m_editButton->setGeometry(DluRect(114, 125, 40, 14));
    SetDlgItem(IDC_EDIT, m_editButton);
    MapCommand(IDC_EDIT, [this] { OnBnClickedEdit(); });

    MapCommand(ID_REFRESH_PROBE_PAGE, [this] { OnRefresh(); });
}

bool CPProbeDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_voltage && IsLeavingEdit(watched, event)) OnEnKillfocusSupplyVoltage();
    return CDialogExt::eventFilter(watched, event);
}

BOOL CPProbeDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    m_pAcq = &m_shared.settings;
    m_pSession = &m_shared.session;
    m_pSondeDb = &m_settings.sondeDb;
    m_nStoredSondes = 0;

    m_voltageSpin->SetScrollRange(IDC_VOLTAGE_SPIN, IDC_VOLTAGE_SPIN);
    m_filterSpin->SetScrollRange(IDC_FILTER_SPIN, IDC_FILTER_SPIN);

    int viewMode, filter;
    double coef;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        if (m_pAcq->GammaViewMode < 0 || m_pAcq->GammaViewMode > 2) m_pAcq->GammaViewMode = 0;
        viewMode = m_pAcq->GammaViewMode;
        filter = m_pAcq->GammaFilter;
        coef = m_pSondeDb->GammaCoef;
    }
    m_gammaView->setCurrentIndex(viewMode);
    SetDlgItemInt(IDC_FILTER, static_cast<unsigned>(filter), TRUE);
    SetDlgItemDouble(IDC_COEF, coef, 2, false);
    m_shared.g_bGammaCoefEditing = false;
    m_coef->setEnabled(false);
    m_editButton->setText(QStringLiteral("Edit"));

    m_gammaMax->clear();
    for (int v : kGammaMaxItems) m_gammaMax->addItem(QString::number(v), v);
    OnRefresh();

    ShowAverageState();

    FillSondeList();
    SetCaptions();
    return TRUE;
}

void CPProbeDlg::SetCaptions() {
    if (!IsCreated()) return;
    SetDlgItemText(IDC_VOLTAGE_LABEL, "Supply Voltage");
}

void CPProbeDlg::OnRefresh() {
    m_gammaMax->setCurrentIndex(0);
    const int max = m_shared.SnapshotSettings().GammaMax;
    const int idx = m_gammaMax->findData(max);
    if (idx >= 0) m_gammaMax->setCurrentIndex(idx);
}

void CPProbeDlg::ShowAverageState() {
    const bool on = m_shared.SnapshotSettings().GammaIsAverage != 0;
    m_average->setChecked(on);
    m_filter->SetBkColor(on ? kBtnHighlight : CColorStaticST::SysBtnFaceColor());
    m_filterSpin->setEnabled(on);
}

void CPProbeDlg::FillSondeList() {
    if (!IsCreated()) return;
    m_sondeList->clear();
    m_nStoredSondes = 0;
    int selected;
    double coef;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        for (int i = 0; i < kMaxSondes; ++i) {
            const int serial = m_settings.sondeDb.Slots[size_t(i)].SerialNumber;
            if (serial > 0) {
                m_sondeList->addItem(QString::fromStdString(zns::Format("%04d", serial)));
                ++m_nStoredSondes;
            } else {
                m_sondeList->addItem(QStringLiteral("-"));
            }
        }
        selected = m_settings.sondeDb.nSelected;
        coef = m_settings.sondeDb.GammaCoef;
    }
    m_sondeList->setCurrentIndex(selected >= 0 && selected < kMaxSondes ? selected : -1);
    if (m_nStoredSondes > 9) m_add->setEnabled(false);
    SetDlgItemDouble(IDC_COEF, coef, 2, false);
}

void CPProbeDlg::SaveConfig() {
    if (m_hooks.saveConfig)
        m_hooks.saveConfig();
    else if (m_prefs)
        m_prefs->SaveConfig();
}

bool CPProbeDlg::Send(int code) {
    if (m_hooks.sendCommand) return m_hooks.sendCommand(code);
    uint8_t volts;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        volts = static_cast<uint8_t>(zns::HoldSondeVoltage(m_settings.sondeDb.Voltage));
    }
    return QueueCommand(m_shared, code, volts);
}

void CPProbeDlg::SondeChangedToDepthPanel() {
    if (m_hooks.sondeChangedToDepthPanel) {
        m_hooks.sondeChangedToDepthPanel();
    } else if (CWndBase* w = g_hWndDepth.load()) {
        w->SendCommand(ID_SONDE_CHANGED);
    }
}

std::string CPProbeDlg::ToolFilePath() const {
    if (m_prefs) return m_prefs->ToolFilePath();
    std::string dir = m_settings.g_strExeDir;
    if (dir.empty()) dir = zns::FixedFieldText(m_settings.files.szProgramDir);
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + CPreferences::kToolFile;
}

void CPProbeDlg::ApplyVoltage(int volts) {
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        SondeDatabase& db = m_settings.sondeDb;
        db.Voltage = static_cast<uint32_t>(volts);
        if (db.nSelected >= 0 && db.nSelected < kMaxSondes) db.Slots[size_t(db.nSelected)].Voltage = db.Voltage;
    }
    SaveConfig();
    Send(m_shared.m_bSondePowered ? CMD_8 : CMD_1);
}

int CPProbeDlg::StoredVoltage() {
    std::lock_guard<std::mutex> g(m_shared.acqMutex);
    return static_cast<int>(m_settings.sondeDb.Voltage);
}

void CPProbeDlg::ShowStoredVoltage() { SetDlgItemInteger(IDC_VOLTAGE, StoredVoltage(), -1, -1); }

void CPProbeDlg::OnEnKillfocusSupplyVoltage() {
    if (m_inKillFocus) return;
    m_inKillFocus = true;
    int v = 0;
    if (!GetDlgItemInteger(IDC_VOLTAGE, &v)) {
        // Not a number (the reader has said so): nothing is applied.
        ShowStoredVoltage();
    } else if (v < kVoltageMin || v > kVoltageMax) {
        MessageBox(kMsgBadValue);
        ShowStoredVoltage();
    } else {
        ApplyVoltage(v);
    }
    m_inKillFocus = false;
}

void CPProbeDlg::OnBnClickedSet() {
    m_voltage->setFocus();
    OnOK();
}

void CPProbeDlg::OnOK() {
    if (HasKeyboardFocus(m_voltage))
        OnEnKillfocusSupplyVoltage();
    else if (HasKeyboardFocus(m_coef))
        OnBnClickedEdit();
}

void CPProbeDlg::OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows*) {
    if (pos == IDC_VOLTAGE_SPIN) {
        // The box of a refused text takes the focus from the edit: no second check.
        const bool wasInKillFocus = m_inKillFocus;
        m_inKillFocus = true;
        int v = 0;
        const bool read = GetDlgItemInteger(IDC_VOLTAGE, &v);
        m_inKillFocus = wasInKillFocus;
        if (sbCode == SB_LINEUP || sbCode == SB_LINEDOWN) {
            m_voltageSpinRefused = !read;
            if (!read)
                ShowStoredVoltage();
            else
                // Within 80..100 both ways: what the edit shows is what the end applies.
                SetDlgItemInteger(IDC_VOLTAGE, Clamp(sbCode == SB_LINEUP ? v + 1 : v - 1, kVoltageMin, kVoltageMax),
                                  kVoltageMin, kVoltageMax);
        } else if (sbCode == SB_ENDSCROLL) {
            const bool refused = m_voltageSpinRefused || !read;
            m_voltageSpinRefused = false;
            if (refused) {
                ShowStoredVoltage();
                return;
            }
            v = Clamp(v, kVoltageMin, kVoltageMax);
            SetDlgItemInteger(IDC_VOLTAGE, v, -1, -1);
            ApplyVoltage(v);
        }
    } else if (pos == IDC_FILTER_SPIN) {
        const int v = ReadIntFromEdit(this, IDC_FILTER);
        if (sbCode == SB_LINEUP) {
            SetDlgItemInteger(IDC_FILTER, v + 1, kFilterMin, kFilterMax);
        } else if (sbCode == SB_LINEDOWN) {
            SetDlgItemInteger(IDC_FILTER, v - 1, kFilterMin, kFilterMax);
        } else if (sbCode == SB_ENDSCROLL) {
            {
                std::lock_guard<std::mutex> g(m_shared.acqMutex);
                m_pAcq->GammaFilter = Clamp(v, kFilterMin, kFilterMax);
            }
            SaveConfig();
        }
    }
}

void CPProbeDlg::OnCbnSelchangeSondeSerial() {
    int slot = m_sondeList->currentIndex();
    if (slot < 0) slot = 0;
    int rxCount;
    double coef;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        zns::SelectSondeSlot(m_settings.sondeDb, m_shared.settings, slot);
        rxCount = m_settings.sondeDb.RX_Number;
        coef = m_settings.sondeDb.GammaCoef;
    }
    if (m_hooks.updateWideViews) m_hooks.updateWideViews();
    if (rxCount < 3) {
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            zns::ClearMissingReceivers(m_shared.settings, rxCount);
        }
        if (m_hooks.hideScope)
            for (int rx = rxCount < 0 ? 0 : rxCount; rx < 3; ++rx) m_hooks.hideScope(RX1_ID + rx);
    }
    SaveConfig();
    UpdateVoltage();
    SetDlgItemDouble(IDC_COEF, coef, 2, false);
    if (m_hooks.sondeChangedToCommPage) m_hooks.sondeChangedToCommPage();
    SondeChangedToDepthPanel();
    Send(m_shared.m_bSondePowered ? CMD_8 : CMD_1);
}

void CPProbeDlg::UpdateVoltage() {
    int volts;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        volts = static_cast<int>(m_settings.sondeDb.Voltage);
    }
    SetDlgItemInteger(IDC_VOLTAGE, volts, kVoltageMin, kVoltageMax);
    const bool running = m_shared.SnapshotSession().Running != 0;
    m_voltage->setEnabled(!running);
    m_voltageSpin->setEnabled(!running);
}

void CPProbeDlg::OnCbnSelchangeGammaView() {
    const int sel = m_gammaView->currentIndex();
    if (sel >= 0) {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_pAcq->GammaViewMode = sel;
    }
    if (sel == 0 || sel == 2)
        m_gammaMax->setEnabled(false);
    else if (sel == 1)
        m_gammaMax->setEnabled(true);
    SaveConfig();
}

void CPProbeDlg::OnCbnSelchangeGammaMaximum() {
    const int idx = m_gammaMax->currentIndex();
    if (idx < 0) return;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_pAcq->GammaMax = m_gammaMax->itemData(idx).toInt() & 0xFFFF;
    }
    SaveConfig();
}

void CPProbeDlg::OnBnClickedAverage() {
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        m_pAcq->GammaIsAverage = m_average->isChecked() ? 1 : 0;
    }
    ShowAverageState();
    SaveConfig();
}

void CPProbeDlg::ChooseColor(bool left) {
    uint32_t color;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        color = left ? m_pSession->FA_LeftColor : m_pSession->FA_RightColor;
    }
    CColorPen pen(&color, this);
    pen.DoModal();
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        (left ? m_pSession->FA_LeftColor : m_pSession->FA_RightColor) = color;
    }
    SaveConfig();
    if (m_hooks.buildPalettes) m_hooks.buildPalettes();
}

void CPProbeDlg::OnBnClickedFirstArrivalLeft() { ChooseColor(true); }
void CPProbeDlg::OnBnClickedFirstArrivalRight() { ChooseColor(false); }

void CPProbeDlg::OnBnClickedEdit() {
    if (!m_shared.g_bGammaCoefEditing) {
        if (MessageBox(kMsgCritical, {}, MB_YESNO | MB_ICONSTOP) != IDYES) return;
        m_shared.g_bGammaCoefEditing = true;
        m_editButton->setText(QStringLiteral("Save"));
        m_coef->setEnabled(true);
        return;
    }
    m_shared.g_bGammaCoefEditing = false;
    m_editButton->setText(QStringLiteral("Edit"));
    m_coef->setEnabled(false);
    double v = 0.0;
    const bool read = GetDlgItemDouble(IDC_COEF, &v);
    if (read && v >= kCoefMin && v <= kCoefMax) {
        int slot;
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            SondeDatabase& db = m_settings.sondeDb;
            slot = db.nSelected >= 0 && db.nSelected < kMaxSondes ? db.nSelected : 0;
            db.Slots[size_t(slot)].GammaCoef = v;
            db.GammaCoef = v;
        }
        zns::WriteSondeGammaCoef(ToolFilePath(), slot, v);
        SetDlgItemDouble(IDC_COEF, v, 2, false);
    } else {
        // Text that is no number has been told already; the stored value comes back either way.
        if (read) MessageBox(kMsgBadCoef);
        double previous;
        {
            std::lock_guard<std::mutex> g(m_shared.acqMutex);
            previous = m_settings.sondeDb.GammaCoef;
        }
        SetDlgItemDouble(IDC_COEF, previous, 2, false);
    }
}

void CPProbeDlg::OnBnClickedAdd() {
    int n;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        n = zns::CountLeadingSondes(m_settings.sondeDb);
    }
    if (n > 9) {
        MessageBox(kMsgMaxSondes);
        return;
    }
    zns::ui::FileDialogRequest req;
    req.open = true;
    req.defaultExt = ".znc";
    req.flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;
    req.filter = kImportFilter;
    req.initialDir = zns::FixedFieldText(m_settings.files.szProgramDir);
    const std::optional<std::string> chosen = zns::ui::Service().FileDialog(this, req);
    if (!chosen) return;
    if (!zns::SondeImportFileExists(*chosen)) {
        MessageBox(kMsgBadSondeFile);
        return;
    }
    const zns::SondeImport imp = zns::ReadSondeImport(*chosen);
    if (!zns::IsSondeImportUsable(imp)) {
        MessageBox(kMsgBadSondeFile);
        return;
    }

    int target;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        target = zns::FindSondeSlot(m_settings.sondeDb, imp.SerialNumber);
    }
    if (target >= 0) {
        if (MessageBox(kMsgOverwrite, {}, MB_YESNO | MB_ICONSTOP) != IDYES) return;
    } else {
        target = n;
    }
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        SondeDatabase& db = m_settings.sondeDb;
        SondeRecord& slot = db.Slots[size_t(target)];
        zns::ApplySondeImport(slot, imp);
        // The save below writes the telemetry in use into this slot's section:
        // memory holds the same.
        const AcquisitionSettings& s = m_shared.settings;
        slot.UpGain = s.UpGain;
        slot.UpBaudDivisor = s.BaudDivisor;
        slot.UpDrive = s.UpDrive;
        slot.DownDrive = s.DownDrive;
        db.nSelected = target;
        zns::CopySlotToWorkingCopy(db, slot);
    }
    const std::string tool = ToolFilePath();
    zns::WriteImportedSonde(tool, target, imp);
    SaveConfig();
    zns::WriteSondeVoltage(tool, target, imp.Voltage);

    FillSondeList();
    int volts;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        volts = static_cast<int>(m_settings.sondeDb.Voltage);
    }
    SetDlgItemInteger(IDC_VOLTAGE, volts, kVoltageMin, kVoltageMax);
    if (m_shared.m_nLinkState.load() == LINK_ANSWER) Send(CMD_1);
    SondeChangedToDepthPanel();
}

void CPProbeDlg::OnBnClickedRemove() {
    if (MessageBox(kMsgAskRemove, {}, MB_YESNO | MB_ICONSTOP) != IDYES) return;
    int slot;
    {
        std::lock_guard<std::mutex> g(m_shared.acqMutex);
        SondeDatabase& db = m_settings.sondeDb;
        slot = db.nSelected >= 0 && db.nSelected < kMaxSondes ? db.nSelected : 0;
        zns::ClearSondeSlot(db.Slots[size_t(slot)]);
        zns::CopySlotToWorkingCopy(db, db.Slots[size_t(slot)]);
    }
    zns::WriteRemovedSonde(ToolFilePath(), slot);
    FillSondeList();
    SondeChangedToDepthPanel();
    MessageBox(kMsgRemoved, {}, MB_OK | MB_ICONINFORMATION);
    m_add->setEnabled(true);
}
