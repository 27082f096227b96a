#include "ui/dialogs/Seg2ExportUi.h"

#include <QApplication>

#include "export/Seg2Export.h"
#include "link/Picker.h"
#include "platform/ui/UiService.h"
#include "ui/dialogs/PSetDepthPlayer.h"

namespace zns::ui {

void RunSeg2Export(QWidget* parent, SettingsData& data, HeaderRecord& header, double& first, double& last,
                   double& step, std::atomic<int64_t>* posReplay, Seg2ExportWindow window) {
    Seg2ExportHooks hooks;
    hooks.chooseFile = [parent](const Seg2FileChoice& c) {
        FileDialogRequest req;
        req.open = true;
        req.defaultExt = c.defaultExt;
        req.fileName = c.fileName;
        req.filter = c.filter;
        req.initialDir = c.initialDir;
        req.flags = c.flags;
        return Service().FileDialog(parent, req);
    };
    hooks.messageBox = [parent](const std::string& text, unsigned type) {
        return Service().MessageBox(parent, text, AppTitle(), type);
    };
    hooks.stopPlayer = window.stopPlayer;
    hooks.refreshRecorderButtons = window.refreshRecorderButtons;
    hooks.runRangeDialog = [parent, &first, &last, &step] {
        CPSetDepthPlayer dlg(first, last, step, parent);
        return dlg.DoModal();
    };
    hooks.statusText = window.statusText;
    hooks.showProgress = window.showProgress;
    hooks.progress = window.progress;
    hooks.pumpMessages = [] { ::PumpMessages(); };
    hooks.waitCursor = [](bool on) {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    Seg2Exporter exporter(data, header, first, last, step, posReplay, std::move(hooks));
    exporter.ExportToSG2File();
}

}  // namespace zns::ui
