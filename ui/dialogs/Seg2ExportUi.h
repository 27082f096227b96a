#pragma once
// The SEG-2 export as the main window's "SEG-2" entry runs it: the program's
// file dialog, message boxes, wait cursor and the depth-range dialog
// (CPSetDepthPlayer) around zns::Seg2Exporter. GUI thread only.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class QWidget;
struct SettingsData;
struct HeaderRecord;

namespace zns::ui {

// What the export needs from the main window; a missing hook does nothing.
struct Seg2ExportWindow {
    // CPowerDlg::OnBnClickedStop, clear SessionState's replay-loaded byte,
    // CPowerDlg::SetRecorderButtons.
    std::function<void()> stopPlayer;
    std::function<void()> refreshRecorderButtons;  // CPowerDlg::SetRecorderButtons
    std::function<void(const std::string&)> statusText;  // status bar part 0
    // Shows the progress bar (control 1597) and hides the status bar, or back.
    std::function<void(bool show)> showProgress;
    std::function<void(int percent)> progress;
};

// `first`, `last` and `step` are the application's m_dExportFirst,
// m_dExportLast and m_dExportStep; `posReplay` its replay position.
void RunSeg2Export(QWidget* parent, SettingsData& data, HeaderRecord& header, double& first, double& last,
                   double& step, std::atomic<int64_t>* posReplay, Seg2ExportWindow window);

}  // namespace zns::ui
