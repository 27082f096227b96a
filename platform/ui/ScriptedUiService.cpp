#include "platform/ui/ScriptedUiService.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QPointer>
#include <QWidget>

#include "platform/ui/GuiThread.h"

namespace zns::ui {

void ScriptedUiService::PushAnswer(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.push_back(id);
}

void ScriptedUiService::PushFileAnswer(std::optional<std::string> path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fileAnswers.push_back(std::move(path));
}

void ScriptedUiService::PushPrintSetupAnswer(std::optional<std::string> name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_printAnswers.push_back(std::move(name));
}

void ScriptedUiService::SetDefaultPrinter(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_defaultPrinter = name;
    if (!name.empty()) m_printers.insert(name);
}

void ScriptedUiService::AddPrinter(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_printers.insert(name);
}

std::vector<ScriptedUiService::Box> ScriptedUiService::Boxes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}

size_t ScriptedUiService::BoxCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes.size();
}

ScriptedUiService::Box ScriptedUiService::LastBox() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes.empty() ? Box{} : m_boxes.back();
}

std::vector<FileDialogRequest> ScriptedUiService::FileRequests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fileRequests;
}

std::vector<ScriptedUiService::BeepCall> ScriptedUiService::Beeps() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_beeps;
}

int ScriptedUiService::PrintSetupCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_printSetups;
}

bool ScriptedUiService::LastPrintSetupListed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_printSetupListed;
}

void ScriptedUiService::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.clear();
    m_fileAnswers.clear();
    m_printAnswers.clear();
    m_boxes.clear();
    m_fileRequests.clear();
    m_beeps.clear();
    m_printSetups = 0;
}

int ScriptedUiService::MessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                                  unsigned type) {
    NoteModalSession();  // as a shown box would
    std::function<void(const Box&)> watch;
    Box box{text, caption, type, zns::ui::DefaultAnswer(type)};
    size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_answers.empty()) {
            box.answer = m_answers.front();
            m_answers.pop_front();
        }
        index = m_boxes.size();
        m_boxes.push_back(box);
        watch = m_onBox;
    }
    NoteBoxShown([this, index] {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index < m_boxes.size()) m_boxes[index].withdrawn = true;
    });
    // Outside the lock: what the focus change runs may show boxes of its own.
    QPointer<QWidget> focused = parent && IsGuiThread() ? parent->window()->focusWidget() : nullptr;
    if (m_boxesTakeFocus && focused) {
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QCoreApplication::sendEvent(focused, &out);
        QFocusEvent in(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
        if (focused) QCoreApplication::sendEvent(focused, &in);
    }
    if (watch) watch(box);
    return box.answer;
}

void ScriptedUiService::OnBox(std::function<void(const Box&)> watch) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onBox = std::move(watch);
}

std::optional<std::string> ScriptedUiService::FileDialog(QWidget*, const FileDialogRequest& req) {
    NoteModalSession();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fileRequests.push_back(req);
    if (m_fileAnswers.empty()) return std::nullopt;
    auto answer = std::move(m_fileAnswers.front());
    m_fileAnswers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedUiService::PrintSetup(QWidget*, const std::string&, bool listed) {
    NoteModalSession();
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_printSetups;
    m_printSetupListed = listed;
    if (m_printAnswers.empty()) return std::nullopt;
    auto answer = std::move(m_printAnswers.front());
    m_printAnswers.pop_front();
    return answer;
}

ScriptedUiService::~ScriptedUiService() {
    // Nothing may still wait in here when the service goes.
    std::unique_lock<std::mutex> lock(m_mutex);
    m_printHung = false;
    m_printReleased.notify_all();
    m_printReleased.wait(lock, [this] { return m_hungRequests == 0; });
}

void ScriptedUiService::RefuseJobs(const std::string& printer, const std::string& reason) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refusing[printer] = reason;
}

void ScriptedUiService::HangPrintSystem(bool hung) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_printHung = hung;
    m_printReleased.notify_all();
}

void ScriptedUiService::WaitForPrintSystem(std::unique_lock<std::mutex>& lock) {
    ++m_hungRequests;
    m_printReleased.wait(lock, [this] { return !m_printHung; });
    --m_hungRequests;
    m_printReleased.notify_all();
}

std::string ScriptedUiService::DefaultPrinterName() {
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitForPrintSystem(lock);
    return m_defaultPrinter;
}

bool ScriptedUiService::PrinterAvailable(const std::string& name) {
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitForPrintSystem(lock);
    return m_printers.count(name) != 0;
}

PrintServerAnswer ScriptedUiService::AskPrintServer(int) {
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitForPrintSystem(lock);
    return PrintServerAnswer::Answers;
}

PrintJobOutcome ScriptedUiService::SendPrintJob(const PrintJobRequest& job, int) {
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitForPrintSystem(lock);
    PrintJobOutcome out;
    if (job.gate && !job.gate->Open()) return out;
    out.status = PrintJobOutcome::Refused;
    if (!m_printers.count(job.printer)) {
        out.reason = "client-error-not-found";
    } else if (auto r = m_refusing.find(job.printer); r != m_refusing.end()) {
        out.reason = r->second;
    } else {
        out.status = PrintJobOutcome::Printed;
        m_jobs.insert(job.title);
    }
    return out;
}

std::optional<std::set<std::string>> ScriptedUiService::JobsHeld(const std::set<std::string>& names, int) {
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitForPrintSystem(lock);
    std::set<std::string> held;
    for (const std::string& n : names)
        if (m_jobs.count(n)) held.insert(n);
    return held;
}

void ScriptedUiService::Beep(unsigned frequency, unsigned durationMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_beeps.push_back({frequency, durationMs});
}

}  // namespace zns::ui
