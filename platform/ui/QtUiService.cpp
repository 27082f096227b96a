#include "platform/ui/QtUiService.h"

#include <cups/cups.h>

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <set>

#include "platform/CodePage.h"
#include "platform/ui/GuiThread.h"
#include "platform/ui/UiText.h"

namespace zns::ui {

namespace {

QMessageBox::StandardButton QtButton(int id) {
    switch (id) {
        case IDOK: return QMessageBox::Ok;
        case IDCANCEL: return QMessageBox::Cancel;
        case IDABORT: return QMessageBox::Abort;
        case IDRETRY: return QMessageBox::Retry;
        case IDIGNORE: return QMessageBox::Ignore;
        case IDYES: return QMessageBox::Yes;
        case IDNO: return QMessageBox::No;
        default: return QMessageBox::NoButton;
    }
}

QMessageBox::Icon QtIcon(unsigned type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND: return QMessageBox::Critical;
        case MB_ICONQUESTION: return QMessageBox::Question;
        case MB_ICONEXCLAMATION: return QMessageBox::Warning;
        case MB_ICONASTERISK: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

QString StripTrailingPatternGroup(QString desc) {
    desc = desc.trimmed();
    if (desc.endsWith(')')) {
        const qsizetype open = desc.lastIndexOf('(');
        if (open >= 0) desc = desc.left(open).trimmed();
    }
    return desc;
}

}  // namespace

QString QtFilterFromWin(const std::string& filter) {
    const QStringList parts = ToQ(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString desc = parts[i];
        const QString patterns = parts[i + 1].trimmed();
        if (desc.trimmed().isEmpty() && patterns.isEmpty()) break;  // the closing "||"
        QStringList pats;
        for (const QString& p : patterns.split(';', Qt::SkipEmptyParts)) {
            const QString t = p.trimmed();
            if (t.isEmpty()) continue;
            for (const QString& v : {t.toLower(), t.toUpper()})
                if (!pats.contains(v)) pats << v;
        }
        if (pats.isEmpty()) continue;
        QString name = StripTrailingPatternGroup(desc);
        if (name.isEmpty()) name = patterns;
        out << name + " (" + pats.join(' ') + ")";
    }
    return out.join(";;");
}

int QtUiService::MessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                            unsigned type) {
    if (!IsGuiThread()) {
        // A worker must never wait for the user: show it later, answer the default.
        PostMessageBox(text, caption, type);
        return DefaultAnswer(type);
    }
    NoteModalSession();
    QMessageBox box(QtIcon(type), ToQ(caption), ToQ(text), QMessageBox::NoButton, parent);
    for (int id : ButtonsOf(type)) box.addButton(QtButton(id));
    box.setDefaultButton(QtButton(DefaultAnswer(type)));
    const std::vector<int> buttons = ButtonsOf(type);
    if (buttons.size() == 1) box.setEscapeButton(QtButton(buttons.front()));
    NoteBoxShown([&box] { box.done(QDialog::Rejected); });
    box.exec();
    const auto pressed = box.standardButton(box.clickedButton());
    for (int id : buttons)
        if (QtButton(id) == pressed) return id;
    // Dismissed without a button: Cancel where there is one, else No, else the first.
    for (int id : {IDCANCEL, IDNO})
        if (std::find(buttons.begin(), buttons.end(), id) != buttons.end()) return id;
    return buttons.front();
}

std::optional<std::string> QtUiService::FileDialog(QWidget* parent, const FileDialogRequest& req) {
    NoteModalSession();
    QFileDialog dlg(parent, ToQ(req.title), QFile::decodeName(req.initialDir.c_str()));
    dlg.setAcceptMode(req.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (req.open)
        dlg.setFileMode((req.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    else
        dlg.setFileMode(QFileDialog::AnyFile);
    if (!req.open && !(req.flags & OFN_OVERWRITEPROMPT)) dlg.setOption(QFileDialog::DontConfirmOverwrite);
    const QString filters = QtFilterFromWin(req.filter);
    if (!filters.isEmpty()) dlg.setNameFilters(filters.split(";;"));
    QString ext = ToQ(req.defaultExt);
    while (ext.startsWith('.')) ext.remove(0, 1);
    if (!ext.isEmpty()) dlg.setDefaultSuffix(ext);
    const QString name = QFile::decodeName(req.fileName.c_str());
    if (!name.isEmpty() && !name.contains('*') && !name.contains('?')) dlg.selectFile(name);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dlg.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return QFile::encodeName(files.front()).toStdString();
}

namespace {

// Print to PDF is stored as the file's absolute path: no queue's name starts with '/'.
bool IsPdfChoice(const std::string& choice) { return !choice.empty() && choice.front() == '/'; }

std::string PdfChoice(const QString& file) {
    if (file.trimmed().isEmpty()) return kPdfWithoutFile;
    return QFile::encodeName(QFileInfo(file.trimmed()).absoluteFilePath()).toStdString();
}

// Set Printer while the print system gives no list: the current choice is kept
// or a PDF file chosen, and nothing here asks the print system.
std::optional<std::string> UnlistedPrintSetup(QWidget* parent, const std::string& current) {
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Set Printer"));
    auto* icon = new QLabel;
    icon->setPixmap(dlg.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    auto* text = new QLabel(QStringLiteral("The print system does not answer: its printers cannot be listed now. "
                                           "The printer stays as it is, or the pages go to a PDF file."));
    text->setWordWrap(true);
    auto* printers = new QComboBox;
    printers->setObjectName(QStringLiteral("printers"));
    if (!current.empty() && !IsPdfChoice(current)) printers->addItem(QString::fromUtf8(current));
    printers->addItem(QStringLiteral("Print to File (PDF)"));
    auto* file = new QLineEdit(IsPdfChoice(current) ? QFile::decodeName(current.c_str()) : QString());
    file->setObjectName(QStringLiteral("filename"));
    auto* browse = new QToolButton;
    browse->setText(QStringLiteral("..."));
    const auto pdf = [printers] { return printers->currentIndex() == printers->count() - 1; };
    const auto follow = [=] {
        file->setEnabled(pdf());
        browse->setEnabled(pdf());
    };
    QObject::connect(printers, &QComboBox::currentIndexChanged, &dlg, follow);
    follow();
    QObject::connect(browse, &QToolButton::clicked, &dlg, [&dlg, file] {
        NoteModalSession();
        const QString f = QFileDialog::getSaveFileName(&dlg, QStringLiteral("Print To File"), file->text(),
                                                       QStringLiteral("PDF (*.pdf)"), nullptr,
                                                       QFileDialog::DontConfirmOverwrite);
        if (!f.isEmpty()) file->setText(f);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(text, 1);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file, 1);
    fileRow->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name:"), printers);
    auto* fileLabel = new QLabel(QStringLiteral("Output &file:"));
    fileLabel->setBuddy(file);
    form->addRow(fileLabel, fileRow);
    auto* all = new QVBoxLayout(&dlg);
    all->addLayout(top);
    all->addLayout(form);
    all->addWidget(buttons);
    dlg.resize(460, dlg.sizeHint().height());
    if (dlg.exec() != QDialog::Accepted || !pdf()) return std::nullopt;
    return PdfChoice(file->text());
}

}  // namespace

std::optional<std::string> QtUiService::PrintSetup(QWidget* parent, const std::string& current, bool listed) {
    NoteModalSession();
    if (!listed) return UnlistedPrintSetup(parent, current);
    QPrinter printer;
    if (IsPdfChoice(current)) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QFile::decodeName(current.c_str()));
    } else if (!current.empty()) {
        printer.setPrinterName(QString::fromUtf8(current));
    }
    QPrintDialog dlg(&printer, parent);
    dlg.setWindowTitle(QStringLiteral("Set Printer"));
    // The dialog only chooses the printer: its accept button prints nothing.
    if (auto* buttons = dlg.findChild<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) ok->setText(QStringLiteral("OK"));
    // The dialog puts its system's default queue first and adds the PDF entry
    // (always the last) only as it shows: the stored choice is selected then.
    QMetaObject::invokeMethod(
        &dlg,
        [&dlg, current] {
            auto* printers = dlg.findChild<QComboBox*>(QStringLiteral("printers"));
            if (!printers || printers->count() == 0 || current.empty()) return;
            if (!IsPdfChoice(current)) {
                const int at = printers->findText(QString::fromUtf8(current), Qt::MatchExactly);
                if (at >= 0) printers->setCurrentIndex(at);
                return;
            }
            printers->setCurrentIndex(printers->count() - 1);
            if (auto* file = dlg.findChild<QLineEdit*>(QStringLiteral("filename")))
                file->setText(QFile::decodeName(current.c_str()));
        },
        Qt::QueuedConnection);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    // Qt's print to PDF: the file's absolute path stands for the printer.
    if (printer.outputFormat() == QPrinter::PdfFormat) return PdfChoice(printer.outputFileName());
    return printer.printerName().toStdString();
}

std::string QtUiService::DefaultPrinterName() { return FromQ(QPrinterInfo::defaultPrinterName()); }

bool QtUiService::PrinterAvailable(const std::string& name) {
    if (name.empty()) return false;
    // Any instance name opens on its queue: only a listed one exists.
    if (name.find('/') != std::string::npos) return QPrinterInfo::availablePrinterNames().contains(ToQ(name));
    return !QPrinterInfo::printerInfo(ToQ(name)).isNull();
}

// ---------------------------------------------------------------------------
// The print server (CUPS), asked with a bound on every wait.

namespace {

using Clock = std::chrono::steady_clock;

int ElapsedMs(Clock::time_point since) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Each wait on the connection ends after `ms`, as a failure.
void SetWait(http_t* http, int ms) {
    httpSetTimeout(http, std::max(1, ms) / 1000.0, [](http_t*, void*) { return 0; }, nullptr);
}

// A connection to the print server whose every wait ends after `timeoutMs`;
// null when none could be made.
http_t* ConnectPrintServer(int timeoutMs, PrintServerAnswer& failure) {
    // Never a password prompt on a terminal: a job that needs one is refused.
    cupsSetPasswordCB2([](const char*, http_t*, const char*, const char*, void*) -> const char* { return nullptr; },
                       nullptr);
    const Clock::time_point start = Clock::now();
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                std::max(1, timeoutMs), nullptr);
    if (!http) {
        // Refused at once: nothing there. Still nothing at the bound: it does not answer.
        failure = ElapsedMs(start) < timeoutMs / 2 ? PrintServerAnswer::Absent : PrintServerAnswer::Silent;
        return nullptr;
    }
    SetWait(http, timeoutMs);
    return http;
}

// An error the print server itself gave about the job (as opposed to no answer
// or no connection, after which the job is tried again).
bool IsRefusal(ipp_status_t status) {
    switch (status) {
        case IPP_STATUS_ERROR_INTERNAL:
        case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
        case IPP_STATUS_ERROR_BUSY:
        case IPP_STATUS_ERROR_TIMEOUT:
        case IPP_STATUS_ERROR_CUPS_PKI: return false;
        default: return status >= IPP_STATUS_ERROR_BAD_REQUEST;
    }
}

// A printer as the server knows it: its queue's name in UTF-8 and, for an
// instance ("queue/instance"), the instance.
struct ServerQueue {
    std::string queue, instance;
    explicit ServerQueue(const std::string& printer) {
        const std::string utf8 = FromCp1252(printer);
        const size_t slash = utf8.find('/');
        queue = utf8.substr(0, slash);
        if (slash != std::string::npos) instance = utf8.substr(slash + 1);
    }
};

// An instance is its queue with options of its own: those that differ from
// the queue's go with the job. False when the server did not tell them.
bool AddInstanceOptions(http_t* http, const ServerQueue& q, int& n, cups_option_t** options) {
    if (q.instance.empty()) return true;
    cups_dest_t* base = cupsGetNamedDest(http, q.queue.c_str(), nullptr);
    cups_dest_t* inst = base ? cupsGetNamedDest(http, q.queue.c_str(), q.instance.c_str()) : nullptr;
    for (int i = 0; inst && i < inst->num_options; ++i) {
        const cups_option_t& o = inst->options[i];
        const char* was = cupsGetOption(o.name, base->num_options, base->options);
        if (!was || std::strcmp(was, o.value) != 0) n = cupsAddOption(o.name, o.value, n, options);
    }
    if (base) cupsFreeDests(1, base);
    if (inst) cupsFreeDests(1, inst);
    return inst != nullptr;
}

// An HTTP answer that refuses the request (a server error is tried again).
bool IsRefusal(http_status_t status) {
    return status >= HTTP_STATUS_MULTIPLE_CHOICES &&
           (status < HTTP_STATUS_SERVER_ERROR || status >= HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED);
}

// Why the server refused, in its own words (UTF-8, localised) as 1252.
std::string ServerWords(ipp_t* response, ipp_status_t status, http_status_t http) {
    const char* said = ippGetString(ippFindAttribute(response, "status-message", IPP_TAG_TEXT), 0, nullptr);
    return ToCp1252(said && *said ? said : response ? ippErrorString(status) : httpStatus(http));
}

// What a Get-Jobs found: the names listed, or the server's refusal to say.
struct JobsListed {
    std::optional<std::set<std::string>> held;  // a successful answer
    std::string refusal;  // else what the server said when it refused (empty: no answer)
};

// The jobs of these names that the server holds for the printer ("ipp://localhost/"
// and "/": any printer). An error that says the server is busy or failing is
// no answer; one that refuses the question is an answer, which says nothing
// of the jobs.
JobsListed HeldJobs(http_t* http, const char* uri, const std::string& resource, const std::set<std::string>& names) {
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
    // A finished job's name comes only with the job read in full, which an
    // attribute outside the server's summary of it makes it do.
    static const char* const wanted[] = {"job-name", "job-uuid"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);
    ipp_t* response = cupsDoRequest(http, request, resource.c_str());
    JobsListed out;
    const ipp_status_t status = response ? ippGetStatusCode(response) : IPP_STATUS_ERROR_INTERNAL;
    if (response && status <= IPP_STATUS_OK_EVENTS_COMPLETE) {
        out.held.emplace();
        for (ipp_attribute_t* a = ippFindAttribute(response, "job-name", IPP_TAG_ZERO); a;
             a = ippFindNextAttribute(response, "job-name", IPP_TAG_ZERO))
            if (const char* n = ippGetString(a, 0, nullptr); n && names.count(n)) out.held->insert(n);
    } else if (response ? IsRefusal(status) : IsRefusal(httpGetStatus(http))) {
        out.refusal = ServerWords(response, status, httpGetStatus(http));
    }
    ippDelete(response);
    return out;
}

// Whether the printer is stopped, and the message it has (a refusing queue's reason).
bool PrinterStopped(http_t* http, const char* uri, const std::string& resource, std::string& message) {
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    static const char* const wanted[] = {"printer-state", "printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);
    ipp_t* response = cupsDoRequest(http, request, resource.c_str());
    const char* said = ippGetString(ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT), 0, nullptr);
    message = said ? ToCp1252(said) : "";  // the server's words are UTF-8
    const bool stopped = ippGetInteger(ippFindAttribute(response, "printer-state", IPP_TAG_ENUM), 0) ==
                         IPP_PSTATE_STOPPED;
    ippDelete(response);
    return stopped;
}

}  // namespace

PrintServerAnswer QtUiService::AskPrintServer(int timeoutMs) {
    PrintServerAnswer answer = PrintServerAnswer::Silent;
    http_t* http = ConnectPrintServer(timeoutMs, answer);
    if (!http) return answer;
    // Any answer counts, "no default printer" included.
    ipp_t* response = cupsDoRequest(http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/");
    answer = response ? PrintServerAnswer::Answers : PrintServerAnswer::Silent;
    ippDelete(response);
    httpClose(http);
    return answer;
}

PrintJobOutcome QtUiService::SendPrintJob(const PrintJobRequest& job, int timeoutMs) {
    PrintJobOutcome out;
    PrintServerAnswer failure = PrintServerAnswer::Silent;
    http_t* http = ConnectPrintServer(timeoutMs, failure);
    if (!http) return out;
    cups_option_t* options = nullptr;
    int n = 0;
    if (!job.media.empty()) n = cupsAddOption("media", job.media.c_str(), n, &options);
    // QPrinter::DuplexMode: none, auto, long side, short side; the page is upright.
    static const char* const sides[] = {"one-sided", "two-sided-long-edge", "two-sided-long-edge",
                                        "two-sided-short-edge"};
    if (job.duplex >= 0 && job.duplex <= 3) n = cupsAddOption("sides", sides[job.duplex], n, &options);
    if (!job.color) n = cupsAddOption("print-color-mode", "monochrome", n, &options);
    const ServerQueue queue(job.printer);
    if (!AddInstanceOptions(http, queue, n, &options)) {
        cupsFreeOptions(n, options);
        httpClose(http);
        return out;
    }

    // One Print-Job request on this connection (cupsCreateJob and cupsPrintFile
    // make connections of their own, without the bound). The queue's name goes
    // in UTF-8, percent-encoded.
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     queue.queue.c_str());
    const char* path = std::strstr(uri, "/printers/");  // none when the name does not fit
    const std::string resource = path ? path : "/";
    ipp_t* request = ippNewRequest(IPP_OP_PRINT_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, job.title.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, CUPS_FORMAT_PDF);
    cupsEncodeOptions2(request, n, options, IPP_TAG_OPERATION);
    cupsEncodeOptions2(request, n, options, IPP_TAG_JOB);
    ipp_t* response = nullptr;
    ipp_status_t status = IPP_STATUS_OK;
    // A page sent before without an answer may be held already: never twice.
    JobsListed found{std::set<std::string>{}, {}};
    if (job.mayBeHeld) found = HeldJobs(http, uri, resource, {job.title});
    const int held = found.held ? static_cast<int>(found.held->size()) : -1;
    if (!found.refusal.empty()) {
        // An answer, though not the one asked for: whether it holds the page stays unknown.
        out.status = PrintJobOutcome::Unknown;
        out.reason = found.refusal;
    }
    // The program's exit may have stopped it before it went.
    if (held == 0 && (!job.gate || job.gate->Open())) {
        // The length is the whole body: the request, then the document.
        http_status_t sent = cupsSendRequest(http, request, resource.c_str(), ippLength(request) + job.pdf.size());
        if (sent == HTTP_STATUS_CONTINUE) sent = cupsWriteRequestData(http, job.pdf.data(), job.pdf.size());
        if (sent == HTTP_STATUS_CONTINUE || sent == HTTP_STATUS_OK) {
            // All sent: the server may take a while to store it before it answers.
            SetWait(http, std::max(timeoutMs, job.answerWaitMs));
            response = cupsGetResponse(http, resource.c_str());
            sent = httpGetStatus(http);
            SetWait(http, timeoutMs);
        }
        // This request's own answer: none (a time-out, a dropped connection)
        // leaves the job maybe held, and says nothing of why.
        status = response ? ippGetStatusCode(response) : IPP_STATUS_ERROR_INTERNAL;
        if (response ? IsRefusal(status) : IsRefusal(sent)) {
            out.status = PrintJobOutcome::Refused;
            out.reason = ServerWords(response, status, sent);
        }
    }
    if (held == 1 || (response && status <= IPP_STATUS_OK_EVENTS_COMPLETE)) out.status = PrintJobOutcome::Printed;
    // The printer's word besides: a stopped one holds the job, a refusing one says why.
    std::string message;
    if (out.status == PrintJobOutcome::Printed) {
        out.stopped = PrinterStopped(http, uri, resource, message);
        if (out.stopped) out.message = message;
    } else if (status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS) {
        PrinterStopped(http, uri, resource, message);
        if (!message.empty()) out.reason += " (" + message + ")";
    }
    ippDelete(response);
    ippDelete(request);
    cupsFreeOptions(n, options);
    httpClose(http);
    return out;
}

std::optional<std::set<std::string>> QtUiService::JobsHeld(const std::set<std::string>& names, int timeoutMs) {
    PrintServerAnswer failure = PrintServerAnswer::Silent;
    http_t* http = ConnectPrintServer(timeoutMs, failure);
    if (!http) return std::nullopt;
    auto found = HeldJobs(http, "ipp://localhost/", "/", names);
    httpClose(http);
    return found.held;
}

void QtUiService::Beep(unsigned, unsigned) { QApplication::beep(); }

}  // namespace zns::ui
