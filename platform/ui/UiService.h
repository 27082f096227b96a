#pragma once
// The one road to the user outside the windows themselves: message boxes,
// file dialogs, the printer choice and the beep. The program uses the Qt
// implementation; tests install a scripted one (ScriptedUiService.h).
// Texts are Windows-1252 bytes; file paths are the file system's bytes.
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/WinUser.h"

class QWidget;

namespace zns::ui {

struct FileDialogRequest {
    bool open = true;          // open dialog, else save dialog
    std::string title;         // empty: the toolkit's default
    std::string defaultExt;    // ".zne" or "zne": appended when the chosen name has none
    std::string fileName;      // initial name; a pattern such as "*.zne" means none
    std::string filter;        // "Text (*.a)|*.a|Other (*.b)|*.b||"
    std::string initialDir;    // empty: the toolkit's default
    unsigned flags = 0;        // OFN_*
};

// What one question to the print server found.
enum class PrintServerAnswer {
    Answers,  // it answered
    Absent,   // nothing to ask: no print server, or it refused the connection at once
    Silent,   // it took the connection (or none came) and gave no answer in time
};

// Decides once whether a job goes or the program's exit stopped it first.
class PrintJobGate {
public:
    // True: the job may be sent (it is from now on); false: the exit stopped it.
    bool Open() { return Take(kSent); }
    // True: the job was not sent and never will be.
    bool Stop() { return Take(kStopped); }
    // True once the job went (or began to go): the server may hold it.
    bool Sent() const { return m_state.load() == kSent; }

private:
    enum { kUndecided, kSent, kStopped };
    bool Take(int to) {
        int was = kUndecided;
        return m_state.compare_exchange_strong(was, to) || was == to;
    }
    std::atomic<int> m_state{kUndecided};
};

// One page for a print queue, as a PDF document.
struct PrintJobRequest {
    std::string printer;  // the queue, or "queue/instance" for an instance
    std::string title;    // the job's name, the page's own: the server keeps it with the job
    std::string media;    // page size key ("A4"); empty: the queue's own
    int duplex = 0;       // QPrinter::DuplexMode
    bool color = true;
    std::string pdf;      // the document's bytes
    // An earlier send of this page got no answer: the server is asked first
    // whether it holds a job of this name, and then it is not sent again.
    bool mayBeHeld = false;
    int answerWaitMs = 0;  // the wait for the answer once the document is sent (0: as every wait)
    std::shared_ptr<PrintJobGate> gate;  // none: always sent
};

// PrintSetup's answer for print to PDF without a file name.
inline constexpr const char* kPdfWithoutFile = "/";

struct PrintJobOutcome {
    // Silent: no answer came, the job may be held. Unknown: sent before, and the
    // server refused to say whether it holds it: not sent again.
    enum Status { Printed, Refused, Silent, Unknown };
    Status status = Silent;
    std::string reason;  // what the print server said when it refused the job (or the question)
    bool stopped = false;  // printed on a stopped printer: the job waits in its queue
    std::string message;   // the stopped printer's own word, when it has one
};

class IUiService {
public:
    virtual ~IUiService() = default;

    // Modal box; `type` holds buttons, icon and default button (MB_*).
    // Returns the pressed button (IDOK, IDYES, ...).
    virtual int MessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                           unsigned type) = 0;
    // The chosen path, or nothing when cancelled.
    virtual std::optional<std::string> FileDialog(QWidget* parent, const FileDialogRequest& req) = 0;
    // Printer choice (print set-up); `current` is preselected. Nothing when
    // cancelled; for print to PDF the file's absolute path (it starts with a
    // '/', which no print queue does), kPdfWithoutFile when no file was named;
    // an empty name for a choice without one.
    // Printer names in and out are UTF-8, as the print system spells them (an
    // instance is "queue/instance"). With `listed` false the print system gave
    // no list of printers: the dialog says so, asks it nothing and offers a PDF
    // file only, the current choice kept (nothing when it is kept).
    virtual std::optional<std::string> PrintSetup(QWidget* parent, const std::string& current, bool listed) = 0;
    // The printer questions and jobs may wait on the print system: the print
    // spooler's threads ask them, never the GUI thread.
    // Name of the system's default printer; empty when there is none.
    virtual std::string DefaultPrinterName() = 0;
    // True when a printer of that name can be opened for printing.
    virtual bool PrinterAvailable(const std::string& name) = 0;
    // Whether the print server answers a question within `timeoutMs`.
    virtual PrintServerAnswer AskPrintServer(int timeoutMs) = 0;
    // Sends one job; each wait for the print server lasts at most `timeoutMs`,
    // but for the answer to the whole job (`answerWaitMs`).
    virtual PrintJobOutcome SendPrintJob(const PrintJobRequest& job, int timeoutMs) = 0;
    // Which of these job names the print server holds (this user's jobs, on any
    // printer); nothing when no successful answer came within `timeoutMs`.
    virtual std::optional<std::set<std::string>> JobsHeld(const std::set<std::string>& names, int timeoutMs) = 0;
    virtual void Beep(unsigned frequency, unsigned durationMs) = 0;
};

// The service in force: the installed one, else the Qt one. GUI thread, but
// for the printer questions.
IUiService& Service();
// Installs a service (nullptr goes back to the Qt one); returns the previous one.
IUiService* SetService(IUiService* service);

class ScopedService {
public:
    explicit ScopedService(IUiService& s) : m_prev(SetService(&s)) {}
    ~ScopedService() { SetService(m_prev); }
    ScopedService(const ScopedService&) = delete;
    ScopedService& operator=(const ScopedService&) = delete;

private:
    IUiService* m_prev;
};

// Caption of the program's own message boxes.
void SetAppTitle(const std::string& title);
std::string AppTitle();

// Box with the application's title as caption. GUI thread.
int AfxMessageBox(const std::string& text, unsigned type = MB_OK);
// From any thread: shows the box later on the GUI thread and never waits.
void PostMessageBox(const std::string& text, const std::string& caption, unsigned type);
// While one lives (GUI thread), posted boxes wait and show, in order, once the
// last one ends: a step that must undo what it did before anything is told.
class HoldPostedBoxes {
public:
    HoldPostedBoxes();
    ~HoldPostedBoxes();
    HoldPostedBoxes(const HoldPostedBoxes&) = delete;
    HoldPostedBoxes& operator=(const HoldPostedBoxes&) = delete;
};

// A box about a subject (a file's path) that a later fact can make untrue. GUI
// thread, as AfxMessageBox; while it is up, boxes posted meanwhile show above it.
int MessageBoxAbout(const std::string& subject, const std::string& text, const std::string& caption,
                    unsigned type);
// GUI thread: the boxes about `subject` that are up close at once, also under
// boxes shown above them; true when there was one.
bool WithdrawMessageBoxes(const std::string& subject);
// Called by a service as it shows a box, with what closes it unanswered.
void NoteBoxShown(std::function<void()> close);

// Modal sessions run on the GUI thread so far: boxes, file and printer dialogs
// of the service and modal dialogs. A control in the middle of a mouse press
// compares it across a notification: a window that took the input in between
// also took the button's release.
unsigned ModalSessionCount();
// Called by whatever runs a modal session, as it starts.
void NoteModalSession();

// The id answered by the default button of a box of this type (MB_YESNO |
// MB_DEFBUTTON2 gives IDNO); what Enter answers.
int DefaultAnswer(unsigned type);
// The buttons of a box type, in order (MB_YESNOCANCEL gives IDYES, IDNO, IDCANCEL).
std::vector<int> ButtonsOf(unsigned type);

}  // namespace zns::ui
