#pragma once
// CHeaderDlg: the header editor. The operator fills in the well information of
// a new log (the [WellInfo] part of HeaderRecord) on five tabbed pages; it can
// also reset that information to its defaults or import it from a ".hed" file.
// It edits the record in memory only: writing the header file is the caller's.
//
// Save copies the pages into the record and ends with IDOK; Cancel, Escape and
// the close box end with IDCANCEL without copying the pages. Reset and Load
// change the record at once, so a later Cancel does not undo them.
#include <string>

#include "ui/dialogs/DialogExt.h"
#include "ui/dialogs/HeaderPages.h"

class CPicture;
class QPushButton;
class QTabWidget;
struct HeaderRecord;
namespace zns {
class IClock;
struct LocalTime;
}  // namespace zns

// What the editor takes from the program around it.
struct HeaderDlgContext {
    const CPicture* logo = nullptr;  // the main window's logo; null: the pages show none
    std::string lastLogFolder;       // FilePaths szFilePath: where the import dialog opens
    zns::IClock* clock = nullptr;    // Reset's date; the real clock when null
};

namespace zns {

// Reset's values of the [WellInfo] part: the acquisition values to their start
// (step 10, LogMode 10, the rest 0), SondeAbbreviation "ZNS", Company one
// blank, Date `today` as "%d %B %Y", every other text empty, every number 0.
void ResetHeaderWellInfo(HeaderRecord& header, const LocalTime& today);
// Import of the [WellInfo] section of `path`: every key but the nine
// acquisition ones replaces its value, a missing key giving its default (an
// empty text, Company one blank, 0). False, with the record untouched, when
// the file cannot be read.
bool ImportHeaderWellInfo(HeaderRecord& header, const std::string& path);
// True for a name whose extension is "hed" in any letter case.
bool HasHeaderExtension(const std::string& path);

}  // namespace zns

class CHeaderDlg : public CDialogExt {
    Q_OBJECT
public:
    static constexpr unsigned IDD = 159;
    enum : int {
        IDC_TAB = 1174,
        IDC_LOAD = 1409,
        IDC_RESET = 1404,
        IDC_CANCEL_HEADER = 1405,
        IDC_SAVE = 1407,
    };
    enum : int { TAB_CLIENT, TAB_DATUM, TAB_RUN, TAB_BIT_CASING, TAB_REMARKS, kTabCount };
    static constexpr const char* kMsgNoDataFile = "Data file not present.";
    static constexpr const char* kLoadFilter = "BHTV File (*.HED)|*.HED||";

    // `header` is the application's HeaderRecord; it outlives the editor.
    explicit CHeaderDlg(HeaderRecord& header, QWidget* parent = nullptr, HeaderDlgContext context = {});
    ~CHeaderDlg() override;

    BOOL OnInitDialog() override;
    // Enter does nothing: only Save, Cancel, Escape or the close box end the editor.
    void OnOK() override {}

    void OnTcnSelchangeTab(int index);
    void OnBnClickedSave();
    void OnBnClickedCancel();
    void OnBnClickedReset();
    void OnBnClickedLoad();

    void InitTabs();
    void ShowPage(CHeaderPage* page);
    void LoadPages();

    CHeaderPage* CurrentPage() const { return m_pCurrent; }
    QTabWidget* Tabs() const { return m_tab; }
    CHCompagnyDlg& ClientPage() { return m_compagny; }
    CHWeelDatumDlg& DatumPage() { return m_datum; }
    CHGroundDlg& RunPage() { return m_ground; }
    CHRecordDlg& BitCasingPage() { return m_record; }
    CHCommentDlg& RemarksPage() { return m_comment; }

private:
    CHeaderPage* PageOfTab(int index);
    // The run number stands on two pages: an edit on either shows on the other,
    // so Save cannot drop what the operator typed.
    void MirrorRunNumber();

    HeaderRecord& m_header;
    HeaderDlgContext m_context;
    CHCommentDlg m_comment;
    CHCompagnyDlg m_compagny;
    CHWeelDatumDlg m_datum;
    CHRecordDlg m_record;
    CHGroundDlg m_ground;
    QTabWidget* m_tab = nullptr;
    CHeaderPage* m_pCurrent = nullptr;
};
