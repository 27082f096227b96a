#include "ui/dialogs/LasExport.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>
#include <exception>

#include "link/Picker.h"
#include "platform/NumText.h"
#include "platform/Paths.h"
#include "platform/ui/Draw.h"
#include "platform/ui/SpinArrows.h"
#include "platform/ui/UiService.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "ui/dialogs/DialogUnits.h"

using zns::ui::DluRect;

namespace {

// The controls of one receiver.
struct RxIds {
    int gain, travelTime, manual;
    int threshold, windowStart, windowEnd;
    int thresholdSpin, windowStartSpin, windowEndSpin;
};
constexpr RxIds kRx[3] = {
    {CLasExport::IDC_GAIN_RX1, CLasExport::IDC_TT_RX1, CLasExport::IDC_MANUAL_RX1, CLasExport::IDC_THRESHOLD_RX1,
     CLasExport::IDC_WSTART_RX1, CLasExport::IDC_WEND_RX1, CLasExport::IDC_THRESHOLD_SPIN_RX1,
     CLasExport::IDC_WSTART_SPIN_RX1, CLasExport::IDC_WEND_SPIN_RX1},
    {CLasExport::IDC_GAIN_RX2, CLasExport::IDC_TT_RX2, CLasExport::IDC_MANUAL_RX2, CLasExport::IDC_THRESHOLD_RX2,
     CLasExport::IDC_WSTART_RX2, CLasExport::IDC_WEND_RX2, CLasExport::IDC_THRESHOLD_SPIN_RX2,
     CLasExport::IDC_WSTART_SPIN_RX2, CLasExport::IDC_WEND_SPIN_RX2},
    {CLasExport::IDC_GAIN_RX3, CLasExport::IDC_TT_RX3, CLasExport::IDC_MANUAL_RX3, CLasExport::IDC_THRESHOLD_RX3,
     CLasExport::IDC_WSTART_RX3, CLasExport::IDC_WEND_RX3, CLasExport::IDC_THRESHOLD_SPIN_RX3,
     CLasExport::IDC_WSTART_SPIN_RX3, CLasExport::IDC_WEND_SPIN_RX3},
};

// Ranges of the manual window parameters.
constexpr int kThresholdMin = -127, kThresholdMax = 127;
constexpr int kStartMin = 100, kStartMax = 900;
constexpr int kEndMin = 200, kEndMax = 1000;
constexpr int kWindowGap = 100;

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QIcon LasIcon() {
    QPixmap pm(32, 32);
    pm.fill(QColor(255, 255, 224));
    QPainter p(&pm);
    p.setPen(QColor(0, 0, 128));
    p.drawRect(0, 0, 31, 31);
    p.setFont(zns::ui::MakeFont("Arial", 11, 700));
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("LAS"));
    p.end();
    return QIcon(pm);
}

bool HasExtensionNoCase(const std::string& path, const char* ext) {
    const std::string name = zns::FilePart(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    return QString::fromStdString(name.substr(dot + 1)).compare(QLatin1String(ext), Qt::CaseInsensitive) == 0;
}

}  // namespace

CLasExport::CLasExport(CHeader& header, CPreferences& prefs, double& exportFirst, QWidget* parent)
    : CDialogExt(IDD, parent),
      m_header(header),
      m_prefs(prefs),
      m_data(header.Data()),
      m_exportFirst(exportFirst),
      m_conv(zns::LasExportHooks{[this](const std::string& text, unsigned type) {
          return MessageBox(text, {}, type);
      }}) {
    setWindowTitle(QStringLiteral("LAS 2.0 exportation for ZNS"));
    BuildControls();
}

CLasExport::~CLasExport() = default;

LasExportParams& CLasExport::Params() { return m_data.las; }

void CLasExport::BuildControls() {
    setFont(zns::ui::TemplateFont());
    setFixedSize(zns::ui::DluX(292), zns::ui::DluY(246));

    auto label = [this](const char* text, const QRect& r) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(r);
        return l;
    };
    auto field = [this](int id, const char* text, const QRect& r) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setGeometry(r);
        SetDlgItem(id, l);
    };
    auto button = [this](int id, const char* text, const QRect& r) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setGeometry(r);
        SetDlgItem(id, b);
        return b;
    };
    auto check = [this](int id, const char* text, const QRect& r) {
        auto* c = new QCheckBox(QString::fromLatin1(text), this);
        c->setGeometry(r);
        c->setEnabled(false);
        SetDlgItem(id, c);
    };
    auto edit = [this](int id, const QRect& r, bool right) {
        auto* e = new QLineEdit(this);
        e->setGeometry(r);
        if (right) e->setAlignment(Qt::AlignRight);
        e->setEnabled(false);
        SetDlgItem(id, e);
        return e;
    };
    auto spin = [this](int id, const QRect& r) {
        auto* s = new CSpinArrows(id, this, this);
        s->setGeometry(r);
        s->setEnabled(false);
    };

    label("Data file :", DluRect(7, 9, 45, 8));
    field(IDC_INPUT_NAME, "*.zne", DluRect(55, 7, 200, 12));
    button(IDC_INPUT_BROWSE, "...", DluRect(260, 7, 22, 12));
    label("LAS file :", DluRect(7, 25, 45, 8));
    field(IDC_OUTPUT_NAME, "*.las", DluRect(55, 23, 200, 12));
    button(IDC_OUTPUT_BROWSE, "...", DluRect(260, 23, 22, 12));

    check(IDC_REVERSE, "&Reverse depth", DluRect(7, 43, 70, 10));
    // Each label names its edit, so that its letter is the edit's shortcut.
    QLineEdit* from = edit(IDC_FROM, DluRect(104, 42, 45, 12), true);
    label("&From", DluRect(82, 44, 20, 8))->setBuddy(from);
    QLineEdit* to = edit(IDC_TO, DluRect(170, 42, 45, 12), true);
    label("&To", DluRect(154, 44, 14, 8))->setBuddy(to);
    label("Interval : ", DluRect(220, 44, 36, 8));
    auto* interval = new QLabel(QString(), this);
    interval->setGeometry(DluRect(256, 44, 18, 8));
    interval->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SetDlgItem(IDC_INTERVAL, interval);
    label("mm", DluRect(276, 44, 14, 8));

    auto* channels = new QGroupBox(QStringLiteral("Channels"), this);
    channels->setGeometry(DluRect(7, 60, 278, 60));
    channels->lower();
    check(IDC_SPEED, "Log Speed", DluRect(15, 72, 100, 10));
    check(IDC_GAMMA, "Natural Gamma", DluRect(15, 86, 100, 10));
    check(IDC_GAIN_RX1, "Gain RX1", DluRect(125, 72, 70, 10));
    check(IDC_GAIN_RX2, "Gain RX2", DluRect(125, 86, 70, 10));
    check(IDC_GAIN_RX3, "Gain RX3", DluRect(125, 100, 70, 10));
    check(IDC_TT_RX1, "Travel time RX1", DluRect(200, 72, 80, 10));
    check(IDC_TT_RX2, "Travel time RX2", DluRect(200, 86, 80, 10));
    check(IDC_TT_RX3, "Travel time RX3", DluRect(200, 100, 80, 10));

    auto* manual = new QGroupBox(QStringLiteral("Travel time - manual parameters"), this);
    manual->setGeometry(DluRect(7, 126, 278, 90));
    manual->lower();
    label("Manual", DluRect(15, 140, 40, 8));
    label("[-127;127]", DluRect(70, 140, 60, 8));
    label("Windows (100..1000)", DluRect(150, 140, 100, 8));
    const char* rxNames[3] = {"Rx1", "Rx2", "Rx3"};
    for (int rx = 0; rx < 3; ++rx) {
        const int y = 154 + 18 * rx;
        check(kRx[rx].manual, rxNames[rx], DluRect(15, y + 1, 40, 10));
        edit(kRx[rx].threshold, DluRect(70, y, 35, 12), true);
        spin(kRx[rx].thresholdSpin, DluRect(106, y, 10, 12));
        edit(kRx[rx].windowStart, DluRect(150, y, 35, 12), true);
        spin(kRx[rx].windowStartSpin, DluRect(186, y, 10, 12));
        edit(kRx[rx].windowEnd, DluRect(205, y, 35, 12), true);
        spin(kRx[rx].windowEndSpin, DluRect(241, y, 10, 12));
    }

    button(IDC_START, "&Start", DluRect(170, 224, 50, 14))->setEnabled(false);
    button(IDCANCEL, "&Close", DluRect(228, 224, 50, 14));

    MapCommand(IDC_INPUT_BROWSE, [this] { LoadFileToExport(); });
    MapCommand(IDC_OUTPUT_BROWSE, [this] { SelectOutputFile(); });
    MapCommand(IDC_START, [this] { OnBnClickedStart(); });
    MapCommand(IDC_MANUAL_RX1, [this] { OnBnClickedRx1(); });
    MapCommand(IDC_MANUAL_RX2, [this] { OnBnClickedRx2(); });
    MapCommand(IDC_MANUAL_RX3, [this] { OnBnClickedRx3(); });
    ConnectControl(from, &QLineEdit::editingFinished, [this] { OnEnKillfocusFrom(); });
    ConnectControl(to, &QLineEdit::editingFinished, [this] { OnEnKillfocusTo(); });
}

BOOL CLasExport::OnInitDialog() {
    CDialogExt::OnInitDialog();
    setWindowIcon(LasIcon());
    for (const RxIds& ids : kRx)
        for (int id : {ids.thresholdSpin, ids.windowStartSpin, ids.windowEndSpin})
            if (auto* s = GetDlgItem<CSpinArrows>(id)) s->SetScrollRange(id, id);
    m_conv.inputPath.clear();
    m_conv.outputPath.clear();
    m_conv.recordCount = 0;
    m_conv.recordSize = 27;
    m_conv.mode = zns::LAS_MODE_TIME;
    m_conv.gammaCoef = 1.0;
    m_loaded = false;
    const LasExportParams& p = Params();
    for (int rx = 0; rx < 3; ++rx) {
        SetDlgItemInteger(kRx[rx].threshold, p.LASWindThRx[rx], -1, -1);
        SetDlgItemInteger(kRx[rx].windowStart, p.LASWindStartRx[rx], -1, -1);
        SetDlgItemInteger(kRx[rx].windowEnd, p.LASWindEndRx[rx], -1, -1);
    }
    return TRUE;
}

std::string CLasExport::ProgramDirectory() const {
    std::string dir = zns::FixedFieldText(m_data.files.szProgramDir);
    if (dir.empty()) dir = m_prefs.ProgramDirectory();
    if (dir.empty()) dir = zns::ProgramDir();
    if (dir.back() != '/') dir += '/';
    return dir;
}

void CLasExport::Status(const std::string& text) {
    if (m_statusText) m_statusText(text);
}

// ---------------------------------------------------------------------------
// Spins and manual boxes

void CLasExport::OnVScroll(unsigned sbCode, unsigned pos, CSpinArrows* bar) {
    if (sbCode != SB_LINEUP && sbCode != SB_LINEDOWN && sbCode != SB_ENDSCROLL) return;
    LasExportParams& p = Params();
    for (int rx = 0; rx < 3; ++rx) {
        const RxIds& ids = kRx[rx];
        int editId = 0;
        if (pos == static_cast<unsigned>(ids.thresholdSpin))
            editId = ids.threshold;
        else if (pos == static_cast<unsigned>(ids.windowStartSpin))
            editId = ids.windowStart;
        else if (pos == static_cast<unsigned>(ids.windowEndSpin))
            editId = ids.windowEnd;
        else
            continue;

        int v = 0;
        if (!GetDlgItemInteger(editId, &v)) return;  // its box has been shown
        if (editId == ids.threshold) {
            if (sbCode == SB_LINEUP) {
                v = std::min(v + 1, kThresholdMax);
                if (v == 0) v = 1;
            } else if (sbCode == SB_LINEDOWN) {
                v = std::max(v - 1, kThresholdMin);
                if (v == 0) v = -1;
            } else {
                p.LASWindThRx[rx] = v;
                return;
            }
        } else if (editId == ids.windowStart) {
            if (sbCode == SB_LINEUP) {
                v = std::min(v + 10, kStartMax);
            } else if (sbCode == SB_LINEDOWN) {
                v = std::max(v - 10, kStartMin);
            } else {
                p.LASWindStartRx[rx] = v;
                if (p.LASWindEndRx[rx] < v + kWindowGap) {
                    p.LASWindEndRx[rx] = v + kWindowGap;
                    SetDlgItemInteger(ids.windowEnd, p.LASWindEndRx[rx], -1, -1);
                }
                return;
            }
        } else {
            if (sbCode == SB_LINEUP) {
                v = std::min(v + 10, kEndMax);
            } else if (sbCode == SB_LINEDOWN) {
                v = std::max(v - 10, kEndMin);
            } else {
                p.LASWindEndRx[rx] = v;
                if (v < p.LASWindStartRx[rx] + kWindowGap) {
                    p.LASWindStartRx[rx] = v - kWindowGap;
                    SetDlgItemInteger(ids.windowStart, p.LASWindStartRx[rx], -1, -1);
                }
                return;
            }
        }
        SetDlgItemInteger(editId, v, -1, -1);
        return;
    }
    (void)bar;
}

void CLasExport::ManualControls(int rx) {
    const RxIds& ids = kRx[rx];
    const BOOL on = IsDlgButtonChecked(ids.manual) == BST_CHECKED ? TRUE : FALSE;
    for (int id : {ids.threshold, ids.windowStart, ids.windowEnd, ids.thresholdSpin, ids.windowStartSpin,
                   ids.windowEndSpin})
        EnableDlgItem(id, on);
}

void CLasExport::OnBnClickedRx1() { ManualControls(0); }
void CLasExport::OnBnClickedRx2() { ManualControls(1); }
void CLasExport::OnBnClickedRx3() { ManualControls(2); }

// ---------------------------------------------------------------------------
// Channel controls

void CLasExport::ResetChannelControls() {
    for (const RxIds& ids : kRx) {
        for (int id : {ids.gain, ids.travelTime, ids.manual}) {
            EnableDlgItem(id, FALSE);
            CheckDlgButton(id, BST_UNCHECKED);
        }
        for (int id : {ids.threshold, ids.windowStart, ids.windowEnd, ids.thresholdSpin, ids.windowStartSpin,
                       ids.windowEndSpin})
            EnableDlgItem(id, FALSE);
    }
}

void CLasExport::DisableExportControls() {
    for (int id : {IDC_SPEED, IDC_GAMMA}) {
        EnableDlgItem(id, FALSE);
        CheckDlgButton(id, BST_UNCHECKED);
    }
    for (int id : {IDC_REVERSE, IDC_FROM, IDC_TO, IDC_START}) EnableDlgItem(id, FALSE);
    ResetChannelControls();
    m_loaded = false;
}

void CLasExport::EnableReceiver(int rx) {
    const RxIds& ids = kRx[rx];
    const LasExportParams& p = Params();
    EnableDlgItem(ids.gain, TRUE);
    CheckDlgButton(ids.gain, p.LASUseGainRx[rx] ? BST_CHECKED : BST_UNCHECKED);
    EnableDlgItem(ids.travelTime, TRUE);
    EnableDlgItem(ids.manual, TRUE);
    CheckDlgButton(ids.manual, p.LASUseManualRx[rx] ? BST_CHECKED : BST_UNCHECKED);
    ManualControls(rx);
    CheckDlgButton(ids.travelTime, p.LASUseTTRx[rx] ? BST_CHECKED : BST_UNCHECKED);
}

void CLasExport::SaveExportOptions() {
    // A box that is disabled offers no choice: the saved choice stays as it was,
    // so opening and closing the dialog without a log loses nothing.
    LasExportParams& p = Params();
    auto take = [this](int id, BOOL& param) {
        QWidget* w = GetDlgItem(id);
        if (w && w->isEnabled()) param = IsDlgButtonChecked(id) == BST_CHECKED ? TRUE : FALSE;
    };
    take(IDC_SPEED, p.LASUseSpeed);
    take(IDC_GAMMA, p.LASUseNaturalGamma);
    for (int rx = 0; rx < 3; ++rx) {
        take(kRx[rx].gain, p.LASUseGainRx[rx]);
        take(kRx[rx].travelTime, p.LASUseTTRx[rx]);
        take(kRx[rx].manual, p.LASUseManualRx[rx]);
    }
}

// ---------------------------------------------------------------------------
// Input and output

void CLasExport::LoadFileToExport() {
    try {
        FilePaths& fp = m_data.files;
        const std::string programDir = ProgramDirectory();
        m_conv.tempPath = programDir + zns::kLasTempFile;

        zns::ui::FileDialogRequest req;
        req.open = true;
        req.defaultExt = ".zne";
        req.fileName = "*.zne";
        req.flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
        req.filter = kFilterInput;
        const std::string dataFile = zns::FixedFieldText(fp.szDataFile);
        if (dataFile.size() < 4) {
            const std::string demo = programDir + "Demo";
            zns::MakeDirs(demo);
            zns::SetFixedField(fp.szFilePath, demo);
        }
        const std::string folder = zns::FixedFieldText(fp.szFilePath);
        if (!folder.empty() && zns::DirExists(folder)) req.initialDir = folder;
        if (zns::FileExists(dataFile)) req.fileName = dataFile;

        const std::optional<std::string> chosen = zns::ui::Service().FileDialog(this, req);
        if (!chosen || chosen->empty()) return;
        const std::string path = *chosen;
        const std::string title = zns::FileTitle(path);
        const std::string headerPath = zns::HeaderPathForDataFile(path);
        if (!HasExtensionNoCase(path, "zne") || !zns::FileExists(headerPath)) {
            if (zns::FileExists(path))
                MessageBox(std::string(kMsgNoHeader) + title + ".hed !!!");
            else
                MessageBox(kMsgNoDataFile);
            return;
        }

        const std::string name = zns::FilePart(path);
        SetDlgItemText(IDC_INPUT_NAME, name);
        SetDlgItemText(IDC_OUTPUT_NAME, name.substr(0, name.size() >= 3 ? name.size() - 3 : 0) + "las");
        m_conv.SetInput(path, programDir);

        // A header that cannot be read leaves no log to export: nothing of an
        // earlier one may be exported under the new name.
        if (m_header.ReadHeaderFile(headerPath)) {
            DisableExportControls();
            return;
        }
        const HeaderRecord& h = m_header.Record();
        switch (m_conv.LoadLog(h)) {
            case zns::LasConverter::Load::OpenFailed:
                MessageBox(kMsgOpenFailed, {}, MB_OK | MB_ICONERROR);
                DisableExportControls();
                return;
            case zns::LasConverter::Load::Invalid:
                MessageBox(kMsgInvalidLog);
                DisableExportControls();
                return;
            case zns::LasConverter::Load::Ok: break;
        }
        m_exportFirst = m_conv.first;
        SetDlgItemDouble(IDC_FROM, m_conv.from, 2, false);
        SetDlgItemDouble(IDC_TO, m_conv.to, 2, false);
        SetDlgItemText(IDC_INTERVAL, zns::Format("%d", m_conv.IntervalMm()));

        const LasExportParams& p = Params();
        SetDlgItemText(IDC_SPEED, "Log Speed");
        EnableDlgItem(IDC_SPEED, TRUE);
        CheckDlgButton(IDC_SPEED, p.LASUseSpeed ? BST_CHECKED : BST_UNCHECKED);
        if (h.Natural_Gamma) {
            SetDlgItemText(IDC_GAMMA, "Natural Gamma");
            EnableDlgItem(IDC_GAMMA, TRUE);
            CheckDlgButton(IDC_GAMMA, p.LASUseNaturalGamma ? BST_CHECKED : BST_UNCHECKED);
        } else {
            // Nothing of a gamma log loaded before may stay ticked.
            SetDlgItemText(IDC_GAMMA, "No gamma channel");
            EnableDlgItem(IDC_GAMMA, FALSE);
            CheckDlgButton(IDC_GAMMA, BST_UNCHECKED);
        }
        ResetChannelControls();
        const int receivers = h.RXNumber >= 1 && h.RXNumber <= 3 ? h.RXNumber : 0;
        for (int rx = receivers - 1; rx >= 0; --rx) EnableReceiver(rx);
        for (int id : {IDC_REVERSE, IDC_FROM, IDC_TO, IDC_START}) EnableDlgItem(id, TRUE);
        m_loaded = true;
    } catch (const std::exception&) {
        TraceException("CLasExport::LoadFileToExport", "LasExport", __LINE__);
        Status(kTextExportFailed);
        MessageBox(kMsgLoadFailed);
        DisableExportControls();
    }
}

void CLasExport::SelectOutputFile() {
    const std::string programDir = ProgramDirectory();
    zns::ui::FileDialogRequest req;
    req.open = false;
    req.defaultExt = ".las";
    req.fileName = "*.las";
    req.flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    req.filter = kFilterOutput;
    const std::string folder = zns::FixedFieldText(m_data.files.szFilePath);
    req.initialDir = folder.empty() ? programDir : folder;
    if (!m_conv.outputPath.empty() && zns::FileExists(m_conv.outputPath)) req.fileName = m_conv.outputPath;
    m_conv.tempPath = programDir + zns::kLasTempFile;

    const std::optional<std::string> chosen = zns::ui::Service().FileDialog(this, req);
    if (!chosen || chosen->empty()) {
        m_conv.outputPath.clear();
        SetDlgItemText(IDC_OUTPUT_NAME, kNoOutput);
        EnableDlgItem(IDC_START, FALSE);
        return;
    }
    SetDlgItemText(IDC_OUTPUT_NAME, zns::FilePart(*chosen));
    m_conv.outputPath = *chosen;
    // Start needs a loaded log, not only its name.
    EnableDlgItem(IDC_START, m_loaded && !m_conv.inputPath.empty() ? TRUE : FALSE);
}

// ---------------------------------------------------------------------------
// Range

void CLasExport::ValidateDepthRange(double& value, bool isFrom) {
    std::string message;
    if (!m_conv.ValidateDepthRange(value, isFrom, &message)) MessageBox(message, {}, MB_OK | MB_ICONERROR);
}

void CLasExport::OnEnKillfocusFrom() {
    double v = m_conv.from;
    GetDlgItemDouble(IDC_FROM, &v);  // refused text keeps the previous value
    ValidateDepthRange(v, true);
    m_conv.from = v;
    SetDlgItemDouble(IDC_FROM, v, 2, false);
}

void CLasExport::OnEnKillfocusTo() {
    double v = m_conv.to;
    GetDlgItemDouble(IDC_TO, &v);
    ValidateDepthRange(v, false);
    m_conv.to = v;
    SetDlgItemDouble(IDC_TO, v, 2, false);
}

// ---------------------------------------------------------------------------
// Export

void CLasExport::OnBnClickedStart() {
    static const int kChannelBoxes[] = {IDC_SPEED,  IDC_GAMMA, IDC_GAIN_RX1, IDC_GAIN_RX2,   IDC_GAIN_RX3,  IDC_TT_RX1,
                                        IDC_TT_RX2, IDC_TT_RX3, IDC_MANUAL_RX1, IDC_MANUAL_RX2, IDC_MANUAL_RX3};
    const bool any = std::any_of(std::begin(kChannelBoxes), std::end(kChannelBoxes),
                                 [this](int id) { return IsDlgButtonChecked(id) == BST_CHECKED; });
    if (!any) {
        MessageBox(kMsgNoChannel);
        return;
    }
    // A range that holds no line is refused (the engine says why); one typed
    // against the log's direction is taken the right way round.
    const zns::LasConverter::Range range = m_conv.CheckRange();
    if (range == zns::LasConverter::Range::Empty) return;
    if (range == zns::LasConverter::Range::Swapped) {
        SetDlgItemDouble(IDC_FROM, m_conv.from, 2, false);
        SetDlgItemDouble(IDC_TO, m_conv.to, 2, false);
    }
    GenerateLASFormatFile();
}

void CLasExport::TakeManualParameters() {
    LasExportParams& p = Params();
    for (int rx = 0; rx < 3; ++rx) {
        const RxIds& ids = kRx[rx];
        const bool use = IsDlgButtonChecked(ids.manual) == BST_CHECKED;
        m_conv.manual.use[rx] = use;
        if (!use) continue;
        // Read once per export, not once per record: an unreadable edit shows
        // its box one time and the parameter keeps its value.
        int v = p.LASWindThRx[rx];
        GetDlgItemInteger(ids.threshold, &v);
        p.LASWindThRx[rx] = std::clamp(v, kThresholdMin, kThresholdMax);
        v = p.LASWindStartRx[rx];
        GetDlgItemInteger(ids.windowStart, &v);
        p.LASWindStartRx[rx] = std::clamp(v, kStartMin, kStartMax);
        v = p.LASWindEndRx[rx];
        GetDlgItemInteger(ids.windowEnd, &v);
        // Kept in order as the arrows keep it (a start of at most 900 leaves room).
        p.LASWindEndRx[rx] = std::max(std::clamp(v, kEndMin, kEndMax), p.LASWindStartRx[rx] + kWindowGap);
        SetDlgItemInteger(ids.threshold, p.LASWindThRx[rx], -1, -1);
        SetDlgItemInteger(ids.windowStart, p.LASWindStartRx[rx], -1, -1);
        SetDlgItemInteger(ids.windowEnd, p.LASWindEndRx[rx], -1, -1);
        m_conv.manual.threshold[rx] = p.LASWindThRx[rx];
        m_conv.manual.start[rx] = p.LASWindStartRx[rx];
        m_conv.manual.end[rx] = p.LASWindEndRx[rx];
    }
}

bool CLasExport::ReadDataFile(std::FILE* out) { return m_conv.ReadDataFile(out); }

void CLasExport::GenerateLASFormatFile() {
    WaitCursor wait;
    try {
        m_conv.reverse = IsDlgButtonChecked(IDC_REVERSE) == BST_CHECKED;
        zns::LasChannels& ch = m_conv.channels;
        ch.speed = IsDlgButtonChecked(IDC_SPEED) == BST_CHECKED;
        ch.gamma = IsDlgButtonChecked(IDC_GAMMA) == BST_CHECKED;
        for (int rx = 0; rx < 3; ++rx) {
            ch.gain[rx] = IsDlgButtonChecked(kRx[rx].gain) == BST_CHECKED;
            ch.travelTime[rx] = IsDlgButtonChecked(kRx[rx].travelTime) == BST_CHECKED;
        }
        TakeManualParameters();

        // The log itself is never offered for replacement.
        if (m_conv.RefuseOutput()) return;
        if (zns::FileExists(m_conv.outputPath)) {
            if (MessageBox(kMsgReplace, {}, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
                MessageBox(kMsgAborted, {}, MB_OK | MB_ICONINFORMATION);
                return;
            }
        }

        using R = zns::LasConverter::Result;
        switch (m_conv.GenerateFile()) {
            case R::OutputOpenFailed:
                MessageBox(kMsgCannotCreate + m_conv.outputPath, {}, MB_OK | MB_ICONERROR);
                MessageBox(kMsgFailed, {}, MB_OK | MB_ICONERROR);
                break;
            case R::Completed:
            case R::Stopped:
                MessageBox(kMsgCompleted + m_conv.outputPath, {}, MB_OK | MB_ICONINFORMATION);
                break;
            case R::Damaged:
                MessageBox(zns::Format(kMsgDamaged, static_cast<long long>(m_conv.DamageOffset())) + m_conv.outputPath,
                           {}, MB_OK | MB_ICONWARNING);
                break;
            case R::NoLines:
                MessageBox(m_conv.NoLinesText(), {}, MB_OK | MB_ICONWARNING);
                break;
            case R::OutputIsLog:
            case R::EmptyRange:
                break;  // refused with its box, nothing written
            case R::OpenFailed:
            case R::WriteFailed:
                // Reported, and no file left that would pass for the log.
                MessageBox(kMsgFailed, {}, MB_OK | MB_ICONERROR);
                break;
        }
    } catch (const std::exception&) {
        TraceException("CLasExport::GenerateLASFormatFile", "LasExport", __LINE__);
        MessageBox(kMsgFailed, {}, MB_OK | MB_ICONERROR);
    }
    SaveExportOptions();
    m_prefs.SaveLasParams();
}

void CLasExport::OnCancel() {
    SaveExportOptions();
    m_prefs.SaveLasParams();
    EndDialog(IDCANCEL);
}
