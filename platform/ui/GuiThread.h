#pragma once
// Getting work onto the GUI thread. Workers never touch a widget; they post.
#include <functional>

class QObject;

namespace zns::ui {

// True on the thread that runs the application's event loop (also true when
// there is no application yet, since nothing could be posted then).
bool IsGuiThread();

// Runs `fn` later on the GUI thread, as long as `context` (a QObject living on
// the GUI thread; nullptr means the application object) still exists. Never waits.
void PostToGui(QObject* context, std::function<void()> fn);

// Runs `fn` now when called on the GUI thread, else posts it.
void RunOnGui(QObject* context, std::function<void()> fn);

}  // namespace zns::ui
