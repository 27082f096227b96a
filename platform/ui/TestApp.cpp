#include "platform/ui/TestApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <clocale>

namespace zns::ui {

namespace {
QApplication* g_app = nullptr;
int g_argc = 1;
char g_arg0[] = "zns-test";
char* g_argv[] = {g_arg0, nullptr};
}  // namespace

QApplication& EnsureTestApplication() {
    if (!g_app) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        g_app = new QApplication(g_argc, g_argv);
        setlocale(LC_NUMERIC, "C");
    }
    return *g_app;
}

void DestroyTestApplication() {
    delete g_app;
    g_app = nullptr;
}

void PumpEvents(int ms) {
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (ms > 0) QThread::msleep(1);
    } while (t.elapsed() < ms);
}

}  // namespace zns::ui
