#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdlib>

#include "platform/ui/TestApp.h"
#include "ui/controls/TracePrint.h"

namespace apptest {

namespace {

bool CopyTree(const QString& from, const QString& to) {
    QDir src(from);
    if (!src.exists()) return false;
    QDir().mkpath(to);
    for (const QFileInfo& fi : src.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + "/" + fi.fileName();
        if (fi.isDir()) {
            if (!CopyTree(fi.filePath(), target)) return false;
        } else if (!QFile::copy(fi.filePath(), target)) {
            return false;
        }
    }
    return true;
}

// One QApplication, per-run folders for the runtime files and the user's
// settings, and the simulated logger, for the whole test program.
class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        const QByteArray runtime = QFile::encodeName(m_root.path() + "/runtime");
        const QByteArray config = QFile::encodeName(m_root.path() + "/config");
        QDir().mkpath(m_root.path() + "/runtime");
        QFile::setPermissions(m_root.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(m_root.path() + "/config");
        setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
        setenv("XDG_CONFIG_HOME", config.constData(), 1);
        setenv("ZNS_LOGGER", "sim", 1);
        zns::ui::EnsureTestApplication();
    }
    void TearDown() override { zns::ui::DestroyTestApplication(); }

private:
    QTemporaryDir m_root;
};

[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() >= ms) return done();
        zns::ui::PumpEvents(5);
    }
    return true;
}

ProgramDir::ProgramDir() {
    const char* src = std::getenv("ZNS_SOURCE_DIR");
    const QString resources = QString::fromLocal8Bit(src ? src : ZNS_SOURCE_FALLBACK) + "/resources";
    CopyTree(resources, m_dir.path());
    setenv("ZNS_HOME", QFile::encodeName(m_dir.path()).constData(), 1);
    m_scope = std::make_unique<zns::ui::ScopedService>(m_ui);
}

ProgramDir::~ProgramDir() {
    // Requests a hung print system held end before the service goes.
    m_ui.HangPrintSystem(false);
    WaitFor([] { return zns::PrintRequestsRunning() == 0; }, 30000);
    m_scope.reset();
    unsetenv("ZNS_HOME");
}

std::string ProgramDir::Path() const { return QFile::encodeName(m_dir.path()).toStdString() + "/"; }

ModalOperator::ModalOperator(Act act) : m_act(std::move(act)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible()) return;
        // One turn per dialog: the act may leave it open (a box of its own).
        if (d->property("apptest.seen").toBool()) return;
        d->setProperty("apptest.seen", true);
        m_seen.push_back(d->metaObject()->className());
        if (m_act)
            m_act(*d);
        else
            d->reject();
    });
    m_timer.start(10);
}

ModalOperator::~ModalOperator() { m_timer.stop(); }

Running::Running(const std::function<void(Running&)>& beforeCreate) {
    app.m_nShutdownPauseMs = 0;
    EXPECT_TRUE(app.StartInstance());
    dlg = &app.MakeMainWindow();
    if (beforeCreate) beforeCreate(*this);
    EXPECT_TRUE(dlg->Create());
    dlg->show();
    zns::ui::PumpEvents();
}

}  // namespace apptest
