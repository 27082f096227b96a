#pragma once
// What the application tests share: a program directory per test, the
// scripted message-box service, and waiting while the event loop runs.
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/ScriptedUiService.h"

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

}  // namespace apptest
