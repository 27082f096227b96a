#pragma once
// The program's service: real Qt dialogs.
#include <QString>

#include "platform/ui/UiService.h"

namespace zns::ui {

class QtUiService : public IUiService {
public:
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
};

// "Text (*.a)|*.a;*.b|All|*.*||" -> "Text (*.a *.A *.b *.B);;All (*.*)". Patterns are
// doubled in both cases since the file system here tells case apart.
QString QtFilterFromWin(const std::string& filter);

}  // namespace zns::ui
