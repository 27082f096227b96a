#pragma once
// One QApplication per test program, on the offscreen platform unless the
// environment names another. Tests call it from a global test environment.
class QApplication;

namespace zns::ui {

QApplication& EnsureTestApplication();
// Destroys it (end of the test program).
void DestroyTestApplication();
// Runs the event loop for about `ms` milliseconds (posted events, timers).
void PumpEvents(int ms = 0);

}  // namespace zns::ui
