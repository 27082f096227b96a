#include "platform/ui/GuiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace zns::ui {

bool IsGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void PostToGui(QObject* context, std::function<void()> fn) {
    if (!context) context = QCoreApplication::instance();
    if (!context) return;  // no event loop will ever run it
    QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

void RunOnGui(QObject* context, std::function<void()> fn) {
    if (IsGuiThread())
        fn();
    else
        PostToGui(context, std::move(fn));
}

}  // namespace zns::ui
