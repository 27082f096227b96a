#include "ui/dialogs/HeaderPages.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QSize>
#include <QVBoxLayout>

#include "platform/ui/UiText.h"
#include "settings/Header.h"
#include "ui/controls/Picture.h"
#include "ui/dialogs/ReadIntFromEdit.h"

namespace zns {

std::string JoinComments(const std::array<std::string, 10>& comments) {
    std::string text = comments[0];
    for (size_t k = 1; k < comments.size(); ++k)
        if (!comments[k].empty()) text += "\r\n" + comments[k];
    return text;
}

std::array<std::string, 10> SplitComments(const std::string& text) {
    std::array<std::string, 10> comments;
    size_t pos = 0;
    for (size_t k = 0; k < comments.size(); ++k) {
        const size_t end = text.find("\r\n", pos);
        comments[k] = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (end == std::string::npos) break;
        pos = end + 2;
    }
    return comments;
}

}  // namespace zns

namespace {

bool IsEnterOrEscape(const QKeyEvent* e) {
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape;
}

// The number style of an edit: typed characters other than digits, and for a
// decimal edit the decimal mark and sign (elevations and bit sizes are decimals
// and may be negative), are refused; pasted text and text the program sets are
// not checked.
class DigitsOnlyFilter : public QObject {
public:
    DigitsOnlyFilter(QObject* parent, bool decimal) : QObject(parent), m_decimal(decimal) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(event);
            const QString t = k->text();
            const bool command = k->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
            if (!command && !t.isEmpty() && t.at(0).isPrint() && !t.at(0).isDigit() &&
                !(m_decimal && QStringLiteral(".,-").contains(t.at(0))))
                return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_decimal;
};

}  // namespace

// ---------------------------------------------------------------------------
// CHeaderPage

CHeaderPage::CHeaderPage(unsigned templateId, HeaderRecord& header, const CPicture* logo, QWidget* parent)
    : CDialogExt(templateId, parent, true), m_header(header), m_logo(logo) {
    m_logoStatic = new QLabel(this);
    m_logoStatic->setFixedSize(kLogoWidth, kLogoHeight);
    m_logoStatic->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetDlgItem(IDC_LOGO, m_logoStatic);
    hide();
}

BOOL CHeaderPage::OnInitDialog() {
    CDialogExt::OnInitDialog();
    m_nLogoTimer = 0;
    if (LogoLoaded()) {
        // The bitmap under the logo, until the logo is first drawn over it.
        QPixmap under(kLogoWidth, kLogoHeight);
        under.fill(Qt::transparent);
        m_logoStatic->setPixmap(under);
    }
    return TRUE;
}

bool CHeaderPage::LogoLoaded() const { return m_logo && m_logo->m_Size != 0; }

void CHeaderPage::paintEvent(QPaintEvent* e) {
    CDialogExt::paintEvent(e);
    OnPaint();
}

void CHeaderPage::OnPaint() {
    if (LogoLoaded() && m_nLogoTimer == 0) m_nLogoTimer = SetTimer(ID_TIMER_PAGE_LOGO, kLogoDelayMs);
}

void CHeaderPage::OnTimer(unsigned id) {
    if (id != ID_TIMER_PAGE_LOGO || id != m_nLogoTimer) return;
    KillTimer(m_nLogoTimer);
    m_nLogoTimer = 0;
    if (LogoLoaded() && IsWindowVisible()) DrawLogo();
}

void CHeaderPage::DrawLogo() {
    const QSize size = m_logoStatic->size();
    const qint64 key = m_logo->Image().cacheKey();
    // Setting the same image again would repaint the page and start the timer once more.
    if (key == m_drawnKey && size == m_drawnSize) return;
    QPixmap shown(size);
    shown.fill(Qt::transparent);
    {
        QPainter dc(&shown);
        m_logo->Show(&dc, QRect(QPoint(0, 0), size));
    }
    m_logoStatic->setPixmap(shown);
    m_drawnKey = key;
    m_drawnSize = size;
}

void CHeaderPage::keyPressEvent(QKeyEvent* e) {
    if (IsEnterOrEscape(e)) {
        e->ignore();  // on to the editor
        return;
    }
    CDialogExt::keyPressEvent(e);
}

QLineEdit* CHeaderPage::AddEdit(QGridLayout* grid, int row, int column, int id, const char* label,
                                bool digitsOnly, bool decimal) {
    auto* edit = new QLineEdit(this);
    if (digitsOnly) edit->installEventFilter(new DigitsOnlyFilter(edit, decimal));
    auto* caption = new QLabel(zns::ui::ToQ(label), this);
    caption->setBuddy(edit);
    grid->addWidget(caption, row, column * 2);
    grid->addWidget(edit, row, column * 2 + 1);
    SetDlgItem(id, edit);
    return edit;
}

void CHeaderPage::SetBody(QLayout* form, QWidget* below) {
    auto* top = new QHBoxLayout;
    top->addLayout(form, 1);
    auto* logoColumn = new QVBoxLayout;
    logoColumn->addWidget(m_logoStatic);
    logoColumn->addStretch(1);
    top->addLayout(logoColumn);
    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    if (below) page->addWidget(below);
    page->addStretch(1);
}

void CHeaderPage::SaveInt(int id, int32_t& value) { value = ReadIntFromEdit(this, id); }

// ---------------------------------------------------------------------------
// CHCompagnyDlg

CHCompagnyDlg::CHCompagnyDlg(HeaderRecord& header, const CPicture* logo, QWidget* parent)
    : CHeaderPage(IDD, header, logo, parent) {
    auto* grid = new QGridLayout;
    AddEdit(grid, 0, 0, IDC_PROJECT, "Project Heading", false);
    AddEdit(grid, 1, 0, IDC_LOGNAME, "Main Log Title", false);
    AddEdit(grid, 2, 0, IDC_COMPANY, "Company", false);
    AddEdit(grid, 3, 0, IDC_WELL, "Well", false);
    AddEdit(grid, 4, 0, IDC_FIELD, "Field", false);
    AddEdit(grid, 5, 0, IDC_COUNTRY, "Country", false);
    AddEdit(grid, 6, 0, IDC_STATE, "State", false);
    AddEdit(grid, 7, 0, IDC_LATITUDE, "Latitude", false);
    AddEdit(grid, 8, 0, IDC_LONGITUDE, "Longitude", false);
    auto* others = new QGroupBox(QStringLiteral("OtherServices"), this);
    auto* row = new QHBoxLayout(others);
    for (int k = 0; k < 5; ++k) {
        auto* edit = new QLineEdit(others);
        row->addWidget(edit);
        SetDlgItem(IDC_OTHER1 + k, edit);
    }
    SetBody(grid, others);
}

bool CHCompagnyDlg::LoadFromHeader() {
    HeaderRecord& h = m_header;
    LoadText(IDC_PROJECT, h.Project);
    LoadText(IDC_LOGNAME, h.LogName);
    LoadText(IDC_COMPANY, h.Company);
    LoadText(IDC_WELL, h.Wellname);
    LoadText(IDC_FIELD, h.Fieldname);
    LoadText(IDC_COUNTRY, h.Country);
    LoadText(IDC_STATE, h.Location);
    LoadText(IDC_LATITUDE, h.Latitude);
    LoadText(IDC_LONGITUDE, h.Longitude);
    LoadText(IDC_OTHER1, h.OtherServices1);
    LoadText(IDC_OTHER1 + 1, h.OtherServices2);
    LoadText(IDC_OTHER1 + 2, h.OtherServices3);
    LoadText(IDC_OTHER1 + 3, h.OtherServices4);
    LoadText(IDC_OTHER1 + 4, h.OtherServices5);
    return true;
}

bool CHCompagnyDlg::SaveToHeader() {
    HeaderRecord& h = m_header;
    SaveText(IDC_PROJECT, h.Project);
    SaveText(IDC_LOGNAME, h.LogName);
    SaveText(IDC_COMPANY, h.Company);
    SaveText(IDC_WELL, h.Wellname);
    SaveText(IDC_FIELD, h.Fieldname);
    SaveText(IDC_COUNTRY, h.Country);
    SaveText(IDC_STATE, h.Location);
    SaveText(IDC_LATITUDE, h.Latitude);
    SaveText(IDC_LONGITUDE, h.Longitude);
    SaveText(IDC_OTHER1, h.OtherServices1);
    SaveText(IDC_OTHER1 + 1, h.OtherServices2);
    SaveText(IDC_OTHER1 + 2, h.OtherServices3);
    SaveText(IDC_OTHER1 + 3, h.OtherServices4);
    SaveText(IDC_OTHER1 + 4, h.OtherServices5);
    return true;
}

// ---------------------------------------------------------------------------
// CHWeelDatumDlg

CHWeelDatumDlg::CHWeelDatumDlg(HeaderRecord& header, const CPicture* logo, QWidget* parent)
    : CHeaderPage(IDD, header, logo, parent) {
    auto* grid = new QGridLayout;
    AddEdit(grid, 0, 0, IDC_PERMANENT, "PermanentDatum", false);
    AddEdit(grid, 0, 1, IDC_ELEVATION, "Elevation", false);
    AddEdit(grid, 1, 0, IDC_LOG_DATUM, "Log Datum", false);
    AddEdit(grid, 2, 0, IDC_DRILL_DATUM, "Drilling Datum", false);
    AddEdit(grid, 3, 0, IDC_KELLY, "Kelly Bushing Elev", true);
    AddEdit(grid, 4, 0, IDC_DRILL_FLOOR, "Drill Floor", true);
    AddEdit(grid, 5, 0, IDC_GROUND, "Ground Level", true);
    SetBody(grid);
}

bool CHWeelDatumDlg::LoadFromHeader() {
    HeaderRecord& h = m_header;
    LoadText(IDC_PERMANENT, h.LogDatum);
    LoadText(IDC_ELEVATION, h.Elevation);
    LoadText(IDC_LOG_DATUM, h.DateRun1);
    LoadText(IDC_DRILL_DATUM, h.DrillDatum);
    SetDlgItemDouble(IDC_KELLY, h.KellyBushing, 3, false);
    SetDlgItemDouble(IDC_DRILL_FLOOR, h.DrillFloor, 3, false);
    SetDlgItemDouble(IDC_GROUND, h.GroundLevel, 3, false);
    return true;
}

bool CHWeelDatumDlg::SaveToHeader() {
    HeaderRecord& h = m_header;
    SaveText(IDC_PERMANENT, h.LogDatum);
    SaveText(IDC_ELEVATION, h.Elevation);
    SaveText(IDC_LOG_DATUM, h.DateRun1);
    SaveText(IDC_DRILL_DATUM, h.DrillDatum);
    SaveDouble(IDC_KELLY, h.KellyBushing);
    SaveDouble(IDC_DRILL_FLOOR, h.DrillFloor);
    SaveDouble(IDC_GROUND, h.GroundLevel);
    return true;
}

// ---------------------------------------------------------------------------
// CHCommentDlg

CHCommentDlg::CHCommentDlg(HeaderRecord& header, const CPicture* logo, QWidget* parent)
    : CHeaderPage(IDD, header, logo, parent) {
    auto* column = new QVBoxLayout;
    auto* caption = new QLabel(QStringLiteral("Remaks"), this);
    m_edit = new zns::ui::RemarksEdit(this);
    m_edit->setMinimumSize(600, 140);
    caption->setBuddy(m_edit);
    column->addStretch(1);
    column->addWidget(caption);
    SetDlgItem(IDC_REMARKS, m_edit);
    // The edit runs across the page under the logo.
    SetBody(column, m_edit);
}

std::string CHCommentDlg::RemarksText() const {
    QString text = m_edit->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return zns::ui::FromQ(text);
}

void CHCommentDlg::SetRemarksText(const std::string& text) {
    // The edit keeps lines, not line-end characters: CR LF separates them, a
    // lone CR or LF cannot be shown inside a line and becomes a blank.
    QString q = zns::ui::ToQ(text);
    q.replace(QStringLiteral("\r\n"), QString(QChar::ParagraphSeparator));
    q.replace(QLatin1Char('\r'), QLatin1Char(' '));
    q.replace(QLatin1Char('\n'), QLatin1Char(' '));
    q.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    m_edit->setPlainText(q);
}

bool CHCommentDlg::LoadFromHeader() {
    const HeaderRecord& h = m_header;
    SetRemarksText(zns::JoinComments({h.Comment1, h.Comment2, h.Comment3, h.Comment4, h.Comment5, h.Comment6,
                                      h.Comment7, h.Comment8, h.Comment9, h.Comment10}));
    return true;
}

bool CHCommentDlg::SaveToHeader() {
    HeaderRecord& h = m_header;
    const std::array<std::string, 10> c = zns::SplitComments(RemarksText());
    std::string* fields[10] = {&h.Comment1, &h.Comment2, &h.Comment3, &h.Comment4, &h.Comment5,
                               &h.Comment6, &h.Comment7, &h.Comment8, &h.Comment9, &h.Comment10};
    for (size_t k = 0; k < c.size(); ++k) *fields[k] = c[k];
    return true;
}

// ---------------------------------------------------------------------------
// CHGroundDlg

CHGroundDlg::CHGroundDlg(HeaderRecord& header, const CPicture* logo, QWidget* parent)
    : CHeaderPage(IDD, header, logo, parent) {
    auto* grid = new QGridLayout;
    QLineEdit* runNo = AddEdit(grid, 0, 0, IDC_RUN_NO, "Run No", true, false);
    runNo->setMaximumWidth(80);
    grid->setAlignment(runNo, Qt::AlignLeft);
    AddEdit(grid, 0, 1, IDC_DATE, "Date", false);
    AddEdit(grid, 1, 0, IDC_LOG_TYPE, "Type of log", false);
    AddEdit(grid, 2, 0, IDC_DEPTH_DRILLER, "Depth Driller", true);
    AddEdit(grid, 2, 1, IDC_DEPTH_LOGGER, "Depth Logger", true);
    AddEdit(grid, 3, 0, IDC_DEEPEST, "Log Deepest", true);
    AddEdit(grid, 3, 1, IDC_SHALLOW, "Log Shallow", true);
    AddEdit(grid, 4, 0, IDC_FLUID, "Fluid in Hole", false);
    AddEdit(grid, 4, 1, IDC_ENGINEER, "Log Engeneer", false);
    AddEdit(grid, 5, 0, IDC_SALINITY, "Salinity", false);
    AddEdit(grid, 5, 1, IDC_DENSITY, "Density", false);
    AddEdit(grid, 6, 0, IDC_LEVEL, "Level", false);
    AddEdit(grid, 6, 1, IDC_MAX_TEMP, "Max. Temp.", true);
    AddEdit(grid, 7, 0, IDC_RIG_TIME, "Rig. Time.", false);
    AddEdit(grid, 7, 1, IDC_WITNESS, "Witnessed by.", false);
    SetBody(grid);
}

bool CHGroundDlg::LoadFromHeader() {
    HeaderRecord& h = m_header;
    LoadInt(IDC_RUN_NO, h.RunNo1);
    LoadText(IDC_DATE, h.Date);
    LoadText(IDC_LOG_TYPE, h.LogType1);
    SetDlgItemDouble(IDC_DEPTH_DRILLER, h.DepthDriller1, 3, true);
    SetDlgItemDouble(IDC_DEPTH_LOGGER, h.DepthLogger1, 3, true);
    SetDlgItemDouble(IDC_DEEPEST, h.Deepest1, 3, true);
    SetDlgItemDouble(IDC_SHALLOW, h.Shallow1, 3, true);
    LoadText(IDC_FLUID, h.Fluid1);
    LoadText(IDC_ENGINEER, h.Engineer1);
    LoadText(IDC_SALINITY, h.Salinity1);
    LoadText(IDC_DENSITY, h.FluidDensity1);
    LoadText(IDC_LEVEL, h.FluidLevel1);
    SetDlgItemDouble(IDC_MAX_TEMP, h.MaxTemperature1, 2, false);
    LoadText(IDC_RIG_TIME, h.RigTime1);
    LoadText(IDC_WITNESS, h.Witness1);
    return true;
}

bool CHGroundDlg::SaveToHeader() {
    HeaderRecord& h = m_header;
    SaveInt(IDC_RUN_NO, h.RunNo1);
    SaveText(IDC_DATE, h.Date);
    SaveText(IDC_LOG_TYPE, h.LogType1);
    SaveDouble(IDC_DEPTH_DRILLER, h.DepthDriller1);
    SaveDouble(IDC_DEPTH_LOGGER, h.DepthLogger1);
    SaveDouble(IDC_DEEPEST, h.Deepest1);
    SaveDouble(IDC_SHALLOW, h.Shallow1);
    SaveText(IDC_FLUID, h.Fluid1);
    SaveText(IDC_ENGINEER, h.Engineer1);
    SaveText(IDC_SALINITY, h.Salinity1);
    SaveText(IDC_DENSITY, h.FluidDensity1);
    SaveText(IDC_LEVEL, h.FluidLevel1);
    SaveDouble(IDC_MAX_TEMP, h.MaxTemperature1);
    SaveText(IDC_RIG_TIME, h.RigTime1);
    SaveText(IDC_WITNESS, h.Witness1);
    return true;
}

// ---------------------------------------------------------------------------
// CHRecordDlg

CHRecordDlg::CHRecordDlg(HeaderRecord& header, const CPicture* logo, QWidget* parent)
    : CHeaderPage(IDD, header, logo, parent) {
    auto* column = new QVBoxLayout;
    auto* run = new QGridLayout;
    QLineEdit* runNo = AddEdit(run, 0, 0, IDC_RUN_NO, "Run No", true, false);
    runNo->setMaximumWidth(80);
    run->setColumnStretch(2, 1);
    column->addLayout(run);

    auto* casing = new QGroupBox(QStringLiteral("Casing Record"), this);
    auto* cg = new QGridLayout(casing);
    AddEdit(cg, 0, 0, IDC_CAS_SIZE, "Size", true);
    AddEdit(cg, 0, 1, IDC_CAS_WEIGHT, "Weight", true);
    AddEdit(cg, 1, 0, IDC_CAS_FROM, "From", true);
    AddEdit(cg, 1, 1, IDC_CAS_TO, "To", true);
    column->addWidget(casing);

    auto* bit = new QGroupBox(QStringLiteral("BitRecord"), this);
    auto* bg = new QGridLayout(bit);
    AddEdit(bg, 0, 0, IDC_BIT, "Bit", true);
    AddEdit(bg, 1, 0, IDC_BIT_FROM, "From", true);
    AddEdit(bg, 1, 1, IDC_BIT_TO, "To", true);
    column->addWidget(bit);
    column->addStretch(1);
    SetBody(column);
}

bool CHRecordDlg::LoadFromHeader() {
    HeaderRecord& h = m_header;
    LoadInt(IDC_RUN_NO, h.RunNo1);
    SetDlgItemDouble(IDC_CAS_SIZE, h.CasRecSize1, 3, true);
    SetDlgItemDouble(IDC_CAS_WEIGHT, h.CasRecWeight1, 3, true);
    SetDlgItemDouble(IDC_CAS_FROM, h.CasRecFrom1, 3, true);
    SetDlgItemDouble(IDC_CAS_TO, h.CasRecTo1, 3, true);
    SetDlgItemDouble(IDC_BIT, h.BitRec1, 3, true);
    SetDlgItemDouble(IDC_BIT_FROM, h.BitRecFrom1, 3, true);
    SetDlgItemDouble(IDC_BIT_TO, h.BitRecTo1, 3, true);
    return true;
}

bool CHRecordDlg::SaveToHeader() {
    HeaderRecord& h = m_header;
    SaveInt(IDC_RUN_NO, h.RunNo1);
    SaveDouble(IDC_CAS_SIZE, h.CasRecSize1);
    SaveDouble(IDC_CAS_WEIGHT, h.CasRecWeight1);
    SaveDouble(IDC_CAS_FROM, h.CasRecFrom1);
    SaveDouble(IDC_CAS_TO, h.CasRecTo1);
    SaveDouble(IDC_BIT, h.BitRec1);
    SaveDouble(IDC_BIT_FROM, h.BitRecFrom1);
    SaveDouble(IDC_BIT_TO, h.BitRecTo1);
    return true;
}

// ---------------------------------------------------------------------------
// RemarksEdit

namespace zns::ui {

RemarksEdit::RemarksEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
}

void RemarksEdit::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (e->modifiers() & Qt::ControlModifier) {
            textCursor().insertBlock();
            ensureCursorVisible();
            e->accept();
        } else {
            e->ignore();  // the dialog's Enter
        }
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void RemarksEdit::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText()) return;
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    textCursor().insertText(text);
    ensureCursorVisible();
}

}  // namespace zns::ui
