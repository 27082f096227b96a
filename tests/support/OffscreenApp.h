// One offscreen QApplication for a test program that makes widgets, made on first use.
#pragma once

#include <QApplication>

namespace testsupport {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "zns_widget_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

}  // namespace testsupport
