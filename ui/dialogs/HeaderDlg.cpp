#include "ui/dialogs/HeaderDlg.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdio>
#include <optional>
#include <sys/stat.h>

#include "platform/Clock.h"
#include "platform/ui/UiService.h"
#include "platform/ui/UiText.h"
#include "settings/Header.h"
#include "settings/Ini.h"

namespace {

constexpr const char* kWellInfo = "WellInfo";

// The [WellInfo] keys that belong to the acquisition: Reset puts them to their
// start values, the import never touches them.
bool IsAcquisitionKey(const std::string& key) {
    static const char* const kKeys[] = {"DepthUnit", "Startdepth", "EndDepth", "StartTime", "EndTime",
                                        "step",      "LogMode",    "Zero",     "SondeAbbreviation"};
    for (const char* k : kKeys)
        if (key == k) return true;
    return false;
}

bool ReadableFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

struct TabEntry {
    const char* caption;
};
constexpr TabEntry kTabs[CHeaderDlg::kTabCount] = {
    {"C&lient / Location"},
    {"Log &Datum"},
    {"&Logging Run"},
    {"Drill &Bit Size / Casing"},
    {"&Remarks"},
};

}  // namespace

namespace zns {

void ResetHeaderWellInfo(HeaderRecord& h, const LocalTime& today) {
    for (const WellInfoKey& k : WellInfoKeys()) {
        switch (k.type) {
            case WellInfoKey::String: h.*k.s = std::string(); break;
            case WellInfoKey::Int: h.*k.i = 0; break;
            case WellInfoKey::Double: h.*k.d = 0.0; break;
        }
    }
    h.step = 10;
    h.LogMode = HEADER_LOG_TIME;
    h.SondeAbbreviation = "ZNS";
    h.Company = " ";
    h.Date = HeaderDateText(today.day, today.month, today.year);
}

bool ImportHeaderWellInfo(HeaderRecord& h, const std::string& path) {
    if (!ReadableFile(path)) return false;
    CIni ini(path);
    for (const WellInfoKey& k : WellInfoKeys()) {
        const std::string key = k.key;
        if (IsAcquisitionKey(key)) continue;
        switch (k.type) {
            case WellInfoKey::String: h.*k.s = ini.GetStringInSection(kWellInfo, key, key == "Company" ? " " : ""); break;
            case WellInfoKey::Int: h.*k.i = ini.GetIntInSection(kWellInfo, key, 0); break;
            case WellInfoKey::Double: h.*k.d = ini.GetDoubleInSection(kWellInfo, key, 0.0); break;
        }
    }
    return true;
}

bool HasHeaderExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return false;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == "hed";
}

}  // namespace zns

CHeaderDlg::CHeaderDlg(HeaderRecord& header, QWidget* parent, HeaderDlgContext context)
    : CDialogExt(IDD, parent),
      m_header(header),
      m_context(std::move(context)),
      m_comment(header, m_context.logo, this),
      m_compagny(header, m_context.logo, this),
      m_datum(header, m_context.logo, this),
      m_record(header, m_context.logo, this),
      m_ground(header, m_context.logo, this) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QString());

    m_tab = new QTabWidget(this);
    SetDlgItem(IDC_TAB, m_tab);

    struct Button {
        int id;
        const char* text;
    };
    const Button buttons[] = {
        {IDC_LOAD, "&Load"}, {IDC_RESET, "&Reset"}, {IDC_CANCEL_HEADER, "&Cancel"}, {IDC_SAVE, "&Save"}};
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (const Button& b : buttons) {
        auto* pb = new QPushButton(zns::ui::ToQ(b.text), this);
        row->addWidget(pb);
        SetDlgItem(b.id, pb);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tab, 1);
    layout->addLayout(row);
    setMinimumSize(668, 400);

    MapCommand(IDC_SAVE, [this] { OnBnClickedSave(); });
    MapCommand(IDC_CANCEL_HEADER, [this] { OnBnClickedCancel(); });
    MapCommand(IDC_RESET, [this] { OnBnClickedReset(); });
    MapCommand(IDC_LOAD, [this] { OnBnClickedLoad(); });
    ConnectControl(m_tab, &QTabWidget::currentChanged, [this](int index) { OnTcnSelchangeTab(index); });
}

CHeaderDlg::~CHeaderDlg() {
    // The pages are members and go before the tab widget: no tab change may
    // reach this editor while they are taken out of it.
    CutHandlers();
}

BOOL CHeaderDlg::OnInitDialog() {
    CDialogExt::OnInitDialog();
    for (CHeaderPage* page : {static_cast<CHeaderPage*>(&m_comment), static_cast<CHeaderPage*>(&m_compagny),
                              static_cast<CHeaderPage*>(&m_datum), static_cast<CHeaderPage*>(&m_record),
                              static_cast<CHeaderPage*>(&m_ground)})
        page->Create();
    m_pCurrent = &m_compagny;
    InitTabs();
    MirrorRunNumber();
    LoadPages();
    ShowPage(&m_compagny);
    return TRUE;
}

void CHeaderDlg::InitTabs() {
    if (!m_tab) return;
    const QSignalBlocker quiet(m_tab);
    while (m_tab->count() > 0) m_tab->removeTab(0);
    for (int i = 0; i < kTabCount; ++i) m_tab->insertTab(i, PageOfTab(i), zns::ui::ToQ(kTabs[i].caption));
}

CHeaderPage* CHeaderDlg::PageOfTab(int index) {
    switch (index) {
        case TAB_CLIENT: return &m_compagny;
        case TAB_DATUM: return &m_datum;
        case TAB_RUN: return &m_ground;
        case TAB_BIT_CASING: return &m_record;
        case TAB_REMARKS: return &m_comment;
        default: return nullptr;
    }
}

void CHeaderDlg::ShowPage(CHeaderPage* page) {
    if (!page) return;
    const QSignalBlocker quiet(m_tab);
    if (m_tab->indexOf(page) >= 0) m_tab->setCurrentWidget(page);
    m_pCurrent = page;
}

void CHeaderDlg::OnTcnSelchangeTab(int index) {
    if (CHeaderPage* page = PageOfTab(index)) ShowPage(page);
}

void CHeaderDlg::LoadPages() {
    m_comment.LoadFromHeader();
    m_compagny.LoadFromHeader();
    m_ground.LoadFromHeader();
    m_datum.LoadFromHeader();
    m_record.LoadFromHeader();
}

void CHeaderDlg::MirrorRunNumber() {
    auto* run = m_ground.GetDlgItem<QLineEdit>(CHGroundDlg::IDC_RUN_NO);
    auto* bit = m_record.GetDlgItem<QLineEdit>(CHRecordDlg::IDC_RUN_NO);
    if (!run || !bit) return;
    connect(run, &QLineEdit::textEdited, this, [bit](const QString& t) { bit->setText(t); });
    connect(bit, &QLineEdit::textEdited, this, [run](const QString& t) { run->setText(t); });
}

void CHeaderDlg::OnBnClickedSave() {
    m_compagny.SaveToHeader();
    m_comment.SaveToHeader();
    m_ground.SaveToHeader();
    m_datum.SaveToHeader();
    m_record.SaveToHeader();  // last: its run number is the one kept
    CDialogExt::OnOK();
}

void CHeaderDlg::OnBnClickedCancel() { EndDialog(IDCANCEL); }

void CHeaderDlg::OnBnClickedReset() {
    zns::IClock& clock = m_context.clock ? *m_context.clock : zns::DefaultClock();
    zns::ResetHeaderWellInfo(m_header, clock.NowLocal());
    LoadPages();
}

void CHeaderDlg::OnBnClickedLoad() {
    zns::ui::FileDialogRequest req;
    req.open = true;
    req.defaultExt = ".HED";
    req.fileName = "*.HED";
    req.filter = kLoadFilter;
    req.initialDir = m_context.lastLogFolder;
    req.flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;
    const std::optional<std::string> chosen = zns::ui::Service().FileDialog(this, req);
    if (!chosen) return;
    // A name typed with another extension, or a file that cannot be read, leaves the record as it is.
    if (!zns::HasHeaderExtension(*chosen) || !zns::ImportHeaderWellInfo(m_header, *chosen)) {
        MessageBox(kMsgNoDataFile, {}, MB_OK);
        return;
    }
    LoadPages();
}
