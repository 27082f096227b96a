#pragma once
// The five pages of the header editor. Each copies a fixed set of HeaderRecord
// values into its edits (LoadFromHeader) and back (SaveToHeader); only run 1
// has controls. Every page shows the main window's logo in its top right corner.
#include <QPlainTextEdit>
#include <QSize>
#include <array>
#include <string>

#include "ui/dialogs/DialogExt.h"

struct HeaderRecord;
class CPicture;
class QGridLayout;
class QLabel;
class QLineEdit;

namespace zns {

// The remarks text of ten comments: Comment1 as it is (even when empty), then
// every further non-empty comment after a CR LF.
std::string JoinComments(const std::array<std::string, 10>& comments);
// The ten comments of a remarks text: lines split at CR LF only (a lone CR or
// LF stays inside its line); what follows the tenth line's CR LF is dropped.
std::array<std::string, 10> SplitComments(const std::string& text);

}  // namespace zns

// What the pages share: the logo static and its timer, and the keyboard rules
// of a page that lives inside the editor.
class CHeaderPage : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned ID_TIMER_PAGE_LOGO = 255;
    static constexpr unsigned IDB_PAGE_LOGO = 253;
    static constexpr int IDC_LOGO = 1486;
    static constexpr int kLogoWidth = 150;
    static constexpr int kLogoHeight = 120;
    static constexpr unsigned kLogoDelayMs = 10;

    // `header` and `logo` (the main window's picture; null for none) outlive the page.
    CHeaderPage(unsigned templateId, HeaderRecord& header, const CPicture* logo, QWidget* parent);

    // record -> controls; TRUE.
    virtual bool LoadFromHeader() = 0;
    // controls -> record, in the page's control order; TRUE.
    virtual bool SaveToHeader() = 0;

    BOOL OnInitDialog() override;
    void OnPaint();
    void OnTimer(unsigned id) override;
    // Enter and Escape belong to the editor, never to a page.
    void OnOK() override {}
    void OnCancel() override {}

    unsigned LogoTimer() const { return m_nLogoTimer; }
    QLabel* LogoStatic() const { return m_logoStatic; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

    // A single-line edit with its label on its left, in label/edit pair
    // `column` (0, 1, ...) of `row` of `grid`, registered under `id`.
    // `decimal`: a digits-only edit also takes the decimal mark and the sign.
    QLineEdit* AddEdit(QGridLayout* grid, int row, int column, int id, const char* label, bool digitsOnly,
                       bool decimal = true);
    // The page's own controls to the left of the logo, `below` (if any) across the page under both.
    void SetBody(QLayout* form, QWidget* below = nullptr);

    void LoadText(int id, const std::string& value) { SetDlgItemText(id, value); }
    void SaveText(int id, std::string& value) { value = GetDlgItemText(id); }
    void LoadInt(int id, int value) { SetDlgItemInteger(id, value, -1, -1); }
    void SaveInt(int id, int32_t& value);
    // A refused text keeps the previous value (after the reader's message).
    void SaveDouble(int id, double& value) { GetDlgItemDouble(id, &value); }

    HeaderRecord& m_header;
    const CPicture* m_logo;

private:
    bool LogoLoaded() const;
    void DrawLogo();

    unsigned m_nLogoTimer = 0;  // 0: none pending
    QLabel* m_logoStatic = nullptr;
    qint64 m_drawnKey = 0;      // what the static shows, so an unchanged logo is not set again
    QSize m_drawnSize;
};

// "C&lient / Location": all text.
class CHCompagnyDlg : public CHeaderPage {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 160;
    enum : int {
        IDC_PROJECT = 1064,
        IDC_LOGNAME = 1166,
        IDC_COMPANY = 1062,
        IDC_WELL = 1056,
        IDC_FIELD = 1057,
        IDC_COUNTRY = 1061,
        IDC_STATE = 1058,
        IDC_LATITUDE = 1059,
        IDC_LONGITUDE = 1060,
        IDC_OTHER1 = 1168,  // to 1172
    };
    CHCompagnyDlg(HeaderRecord& header, const CPicture* logo, QWidget* parent);
    bool LoadFromHeader() override;
    bool SaveToHeader() override;
};

// "Log &Datum". The edit under "PermanentDatum" carries LogDatum and the one
// under "Log Datum" carries DateRun1: existing header files depend on it.
class CHWeelDatumDlg : public CHeaderPage {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 161;
    enum : int {
        IDC_PERMANENT = 1091,
        IDC_ELEVATION = 1173,
        IDC_LOG_DATUM = 1086,
        IDC_DRILL_DATUM = 1087,
        IDC_KELLY = 1160,
        IDC_DRILL_FLOOR = 1161,
        IDC_GROUND = 1162,
    };
    CHWeelDatumDlg(HeaderRecord& header, const CPicture* logo, QWidget* parent);
    bool LoadFromHeader() override;
    bool SaveToHeader() override;
};

// "&Remarks": Comment1 to Comment10, one line each, in one multi-line edit.
class CHCommentDlg : public CHeaderPage {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 162;
    enum : int { IDC_REMARKS = 1093 };
    CHCommentDlg(HeaderRecord& header, const CPicture* logo, QWidget* parent);
    bool LoadFromHeader() override;
    bool SaveToHeader() override;

    // The edit's text with CR LF between its lines.
    std::string RemarksText() const;
    void SetRemarksText(const std::string& text);

private:
    QPlainTextEdit* m_edit = nullptr;
};

// "&Logging Run".
class CHGroundDlg : public CHeaderPage {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 163;
    enum : int {
        IDC_RUN_NO = 1163,
        IDC_DATE = 1092,
        IDC_LOG_TYPE = 1065,
        IDC_DEPTH_DRILLER = 1109,
        IDC_DEPTH_LOGGER = 1112,
        IDC_DEEPEST = 1115,
        IDC_SHALLOW = 1118,
        IDC_FLUID = 1068,
        IDC_ENGINEER = 1103,
        IDC_SALINITY = 1071,
        IDC_DENSITY = 1083,
        IDC_LEVEL = 1080,
        IDC_MAX_TEMP = 1077,
        IDC_RIG_TIME = 1074,
        IDC_WITNESS = 1106,
    };
    CHGroundDlg(HeaderRecord& header, const CPicture* logo, QWidget* parent);
    bool LoadFromHeader() override;
    bool SaveToHeader() override;
};

// "Drill &Bit Size / Casing"; every edit digits only.
class CHRecordDlg : public CHeaderPage {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 164;
    enum : int {
        IDC_RUN_NO = 1163,
        IDC_CAS_SIZE = 1139,
        IDC_CAS_WEIGHT = 1130,
        IDC_CAS_FROM = 1133,
        IDC_CAS_TO = 1136,
        IDC_BIT = 1121,
        IDC_BIT_FROM = 1124,
        IDC_BIT_TO = 1127,
    };
    CHRecordDlg(HeaderRecord& header, const CPicture* logo, QWidget* parent);
    bool LoadFromHeader() override;
    bool SaveToHeader() override;
};

namespace zns::ui {

// The remarks edit: no word wrap, no scroll bars; Enter goes to the dialog
// (whose default does nothing) and Ctrl+Enter breaks the line, Tab moves on.
// Pasted line ends (CR LF, or this system's LF) become lines; a lone CR stays
// inside its line as a blank, as the header file would write it.
class RemarksEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit RemarksEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void insertFromMimeData(const QMimeData* source) override;
};

}  // namespace zns::ui
