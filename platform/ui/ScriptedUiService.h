#pragma once
// The service for tests: records every box, file request, printer question and
// beep, and answers from a script. Unscripted boxes answer their default button
// (what Enter would do); unscripted file dialogs are cancelled. Thread-safe.
// It also stands in for the print system: its printers, queues that refuse
// jobs, and a print server that hangs.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <functional>
#include <mutex>
#include <set>

#include "platform/ui/UiService.h"

namespace zns::ui {

class ScriptedUiService final : public IUiService {
public:
    struct Box {
        std::string text;
        std::string caption;
        unsigned type = 0;
        int answer = 0;
        bool withdrawn = false;  // closed unanswered while up (within OnBox's watch)
        unsigned Icon() const { return type & MB_ICONMASK; }
        unsigned Buttons() const { return type & MB_TYPEMASK; }
        // 1-based number of the default button.
        int DefaultButton() const { return static_cast<int>((type & MB_DEFMASK) >> 8) + 1; }
        int DefaultAnswer() const { return zns::ui::DefaultAnswer(type); }
    };
    struct BeepCall {
        unsigned frequency = 0;
        unsigned durationMs = 0;
    };

    // Answers for the next boxes, in order.
    void PushAnswer(int id);
    // Each box then takes the focus from its window's focused widget and gives it
    // back, as a shown box does (that widget sees a focus-out and a focus-in).
    void SetBoxesTakeFocus(bool on) { m_boxesTakeFocus = on; }
    // Answers for the next file dialogs, in order (nullopt = cancel).
    void PushFileAnswer(std::optional<std::string> path);
    void PushPrintSetupAnswer(std::optional<std::string> name);
    void SetDefaultPrinter(const std::string& name);
    void AddPrinter(const std::string& name);
    // Jobs for this queue are refused with `reason`.
    void RefuseJobs(const std::string& printer, const std::string& reason);
    // While hung, every request to the print system (printer questions, the
    // server question, jobs) waits until released, as requests to a print
    // server that takes connections and never answers.
    void HangPrintSystem(bool hung);

    std::vector<Box> Boxes() const;
    size_t BoxCount() const;
    Box LastBox() const;  // empty Box when none
    std::vector<FileDialogRequest> FileRequests() const;
    std::vector<BeepCall> Beeps() const;
    int PrintSetupCount() const;
    bool LastPrintSetupListed() const;  // the last dialog had the printers' list
    void Clear();
    // Called as each box shows, without the service's lock (what the disk holds then).
    void OnBox(std::function<void(const Box&)> watch);

    int MessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                   unsigned type) override;
    std::optional<std::string> FileDialog(QWidget* parent, const FileDialogRequest& req) override;
    std::optional<std::string> PrintSetup(QWidget* parent, const std::string& current, bool listed) override;
    std::string DefaultPrinterName() override;
    bool PrinterAvailable(const std::string& name) override;
    PrintServerAnswer AskPrintServer(int timeoutMs) override;
    PrintJobOutcome SendPrintJob(const PrintJobRequest& job, int timeoutMs) override;
    std::optional<std::set<std::string>> JobsHeld(const std::set<std::string>& names, int timeoutMs) override;
    void Beep(unsigned frequency, unsigned durationMs) override;

    ~ScriptedUiService() override;

private:
    // Waits while the print system hangs; `lock` holds m_mutex.
    void WaitForPrintSystem(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_mutex;
    std::deque<int> m_answers;
    std::deque<std::optional<std::string>> m_fileAnswers;
    std::deque<std::optional<std::string>> m_printAnswers;
    std::vector<Box> m_boxes;
    std::vector<FileDialogRequest> m_fileRequests;
    std::vector<BeepCall> m_beeps;
    std::string m_defaultPrinter;
    std::set<std::string> m_printers;
    std::map<std::string, std::string> m_refusing;
    std::set<std::string> m_jobs;  // the names of the jobs printed
    bool m_printHung = false;
    int m_hungRequests = 0;
    std::condition_variable m_printReleased;
    int m_printSetups = 0;
    bool m_printSetupListed = false;
    std::atomic<bool> m_boxesTakeFocus{false};
    std::function<void(const Box&)> m_onBox;
};

}  // namespace zns::ui
