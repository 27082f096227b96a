#pragma once
// What the application tests share: a program directory per test, the
// scripted message-box service, waiting while the event loop runs, and the
// program up to its shown main window.
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/BrannicLogger_ZN.h"
#include "app/BrannicZenova_Dlg.h"
#include "platform/ui/ScriptedUiService.h"

class QDialog;

namespace apptest {

// Runs the event loop until `done` or `ms` have passed; done()'s last answer.
bool WaitFor(const std::function<bool()>& done, int ms);

// A fresh program directory (ZNS_HOME) made from resources/, and the scripted
// service installed, for the life of the object.
class ProgramDir {
public:
    ProgramDir();
    ~ProgramDir();
    std::string Path() const;  // ending in '/'
    std::string File(const std::string& name) const { return Path() + name; }
    zns::ui::ScriptedUiService& Ui() { return m_ui; }

private:
    QTemporaryDir m_dir;
    zns::ui::ScriptedUiService m_ui;
    std::unique_ptr<zns::ui::ScopedService> m_scope;
};

// Plays the operator at the program's modal dialogs: each one that comes up is
// handed to `act` (none: cancelled) and its class name recorded.
class ModalOperator {
public:
    using Act = std::function<void(QDialog&)>;
    explicit ModalOperator(Act act = {});
    ~ModalOperator();
    void SetAct(Act act) { m_act = std::move(act); }
    const std::vector<std::string>& Seen() const { return m_seen; }

private:
    QTimer m_timer;
    Act m_act;
    std::vector<std::string> m_seen;
};

// The program as far as its main window, created and shown (not modal);
// `beforeCreate` runs between the window's construction and its creation.
struct Running {
    ProgramDir dir;
    CBrannicLogger_ZNApp app;
    CBrannicZenova_Dlg* dlg = nullptr;

    explicit Running(const std::function<void(Running&)>& beforeCreate = {});
    ~Running() { app.Shutdown(); }

    CStatusBarCtrl& Bar() { return *dlg->StatusBar(); }
    SharedData& Shared() { return app.Shared(); }
    bool Connected(int ms = 5000) {
        return WaitFor([this] { return Bar().GetText(1) == "USB link connected"; }, ms);
    }
};

}  // namespace apptest
