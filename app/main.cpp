// The program: one application object, whose InitInstance holds the whole life.
#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "app/BrannicLogger_ZN.h"
#include "app/BrannicZenova_Dlg.h"
#include "app/InstanceChecker.h"
#include "ui/controls/TracePrint.h"

namespace {

// For tests of the running program: ZNS_SCREENSHOT=file.png grabs the screen
// ZNS_SCREENSHOT_DELAY_MS (default 3000) after start.
void ArmScreenshot(CBrannicLogger_ZNApp& app) {
    const QString path = qEnvironmentVariable("ZNS_SCREENSHOT");
    if (path.isEmpty()) return;
    bool ok = false;
    int delay = qEnvironmentVariableIntValue("ZNS_SCREENSHOT_DELAY_MS", &ok);
    if (!ok) delay = 3000;
    QTimer::singleShot(delay, qApp, [&app, path] {
        QPixmap shot;
        if (QScreen* screen = QGuiApplication::primaryScreen()) shot = screen->grabWindow(0);
        if (shot.isNull() && app.m_pMainDlg) shot = app.m_pMainDlg->grab();
        if (shot.isNull() || !shot.save(path)) std::fprintf(stderr, "screenshot %s not written\n", qPrintable(path));
    });
}

}  // namespace

int main(int argc, char** argv) {
    // Without a session's runtime folder Qt warns at every start: a private
    // folder of the user's stands for it (the instance lock goes there).
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        if (const std::string dir = CInstanceChecker::UserRuntimeFolder(); !dir.empty())
            setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    QApplication qtApp(argc, argv);
    // Numbers in files and dialogs never follow the user's locale.
    setlocale(LC_NUMERIC, "C");
    CBrannicLogger_ZNApp theApp;
    ArmScreenshot(theApp);
    theApp.InitInstance();
    // A request the print system never answered still holds a thread: the
    // process ends without it (the instance lock is already given up).
    if (zns::PrintRequestsRunning() > 0) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}
