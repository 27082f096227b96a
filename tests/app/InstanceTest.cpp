// One running copy: the lock and socket of CInstanceChecker, in process and
// with the real program started twice.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include "AppTestSupport.h"
#include "app/BrannicLogger_ZN.h"
#include "app/InstanceChecker.h"
#include "app/OsName.h"
#include "platform/ui/TestApp.h"

using apptest::WaitFor;

namespace {

// Runs the other copy's request on a thread while this one serves it.
unsigned long long ActivateFromThread(CInstanceChecker& second) {
    std::atomic<bool> done{false};
    unsigned long long id = 0;
    std::thread t([&] {
        id = second.ActivatePreviousInstance(3000);
        done = true;
    });
    WaitFor([&] { return done.load(); }, 5000);
    t.join();
    return id;
}

TEST(InstanceChecker, SecondCopyBringsTheFirstForward) {
    QTemporaryDir folder;
    const std::string dir = QFile::encodeName(folder.path()).toStdString();
    QWidget window;
    window.resize(200, 100);
    window.show();
    window.showMinimized();
    zns::ui::PumpEvents(10);

    CInstanceChecker first("ZnsTest", dir);
    EXPECT_EQ(first.GetMMFFilename(), "CInstanceChecker_MMF_ZnsTest");
    EXPECT_FALSE(first.PreviousInstanceRunning());
    ASSERT_TRUE(first.TrackFirstInstanceRunning(&window));
    EXPECT_FALSE(first.PreviousInstanceRunning());  // never its own lock
    EXPECT_TRUE(QFile::exists(QString::fromStdString(first.SocketPath())));

    CInstanceChecker second("ZnsTest", dir);
    EXPECT_EQ(second.ActivatePreviousInstance(), 0u);  // nothing found yet: nothing asked
    ASSERT_TRUE(second.PreviousInstanceRunning());
    EXPECT_FALSE(second.TrackFirstInstanceRunning(nullptr));
    ASSERT_TRUE(second.PreviousInstanceRunning());
    const unsigned long long id = ActivateFromThread(second);
    EXPECT_EQ(id, static_cast<unsigned long long>(window.winId()));
    EXPECT_FALSE(window.isMinimized());  // restored
    EXPECT_EQ(second.ActivatePreviousInstance(), 0u);  // the handle is forgotten after use

    // Another application name is another program.
    CInstanceChecker other("ZnsOther", dir);
    EXPECT_FALSE(other.PreviousInstanceRunning());
}

TEST(InstanceChecker, TheLockGoesWithTheFirstCopy) {
    QTemporaryDir folder;
    const std::string dir = QFile::encodeName(folder.path()).toStdString();
    {
        CInstanceChecker first("ZnsTest", dir);
        ASSERT_TRUE(first.TrackFirstInstanceRunning(nullptr));
    }
    CInstanceChecker next("ZnsTest", dir);
    EXPECT_FALSE(next.PreviousInstanceRunning());
    EXPECT_TRUE(next.TrackFirstInstanceRunning(nullptr));
}

TEST(InstanceChecker, LeftoversOfACrashedCopyDoNotCount) {
    QTemporaryDir folder;
    const std::string dir = QFile::encodeName(folder.path()).toStdString();
    CInstanceChecker probe("ZnsTest", dir);
    // A lock file naming a process that is gone, and its socket file.
    {
        QFile lock(QString::fromStdString(probe.LockPath()));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write("999999999\nzns\n" + QSysInfo::machineHostName().toLocal8Bit() + "\n");
    }
    {
        QFile sock(QString::fromStdString(probe.SocketPath()));
        ASSERT_TRUE(sock.open(QIODevice::WriteOnly));
    }
    EXPECT_FALSE(probe.PreviousInstanceRunning());
    EXPECT_TRUE(probe.TrackFirstInstanceRunning(nullptr));
    EXPECT_EQ(probe.ActivatePreviousInstance(), 0u);
}

// At <tmp>/zns-<uid>: nothing, an own folder open to others, another user's (then the lock is in the cache).
class ProgramStartedTwice : public ::testing::TestWithParam<uid_t> {};
INSTANTIATE_TEST_SUITE_P(InstanceChecker, ProgramStartedTwice, ::testing::Values(uid_t(-1), geteuid(), 12345u));

TEST_P(ProgramStartedTwice, RaisesTheFirstAndEnds) {
    const bool others = GetParam() == 12345u;
    QTemporaryDir root;
    const QString home = root.path() + "/home", tmp = root.path() + "/zns-" + QString::number(geteuid());
    QDir().mkpath(home);
    const QByteArray at = QFile::encodeName(tmp);
    if (GetParam() != uid_t(-1) &&
        (::mkdir(at, 0700) || ::chmod(at, others ? 0777 : 0755) || ::chown(at, GetParam(), -1)))
        GTEST_SKIP() << "no folder of another user can be made here";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZNS_HOME", home);
    env.remove("XDG_RUNTIME_DIR");  // the lock goes to a folder of the user's own
    env.insert("TMPDIR", root.path());
    env.insert("XDG_CONFIG_HOME", root.path() + "/config");
    env.insert("XDG_CACHE_HOME", root.path() + "/cache");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ZNS_LOGGER", "sim");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(ZNS_EXE_PATH, {});
    ASSERT_TRUE(first.waitForStarted(5000));
    const QString socket = (others ? root.path() + "/cache/zns" : tmp) + "/CInstanceChecker_MMF_zns.sock";
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(socket); }, 10000)) << first.readAllStandardError().toStdString();
    EXPECT_EQ(QFileInfo(tmp).permissions().testFlag(QFile::ReadOther), others);  // closed, or left as it was
    if (others) ::rmdir(at);  // gone now: the second start still meets the first in the cache

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(ZNS_EXE_PATH, {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_FALSE(second.readAllStandardError().contains("XDG_RUNTIME_DIR"));  // no warning

    first.terminate();
    if (!first.waitForFinished(5000)) {
        first.kill();
        first.waitForFinished(5000);
    }
}

TEST(InstanceChecker, StartWhileTheFirstCopyEndsWaitsOrSaysSo) {
    apptest::ProgramDir dir;
    auto first = std::make_unique<CInstanceChecker>();
    ASSERT_TRUE(first->TrackFirstInstanceRunning(nullptr));  // ending: no window to bring forward
    {
        CBrannicLogger_ZNApp app;
        app.m_nPreviousWaitMs = 100;
        EXPECT_FALSE(app.StartInstance());
        ASSERT_EQ(dir.Ui().BoxCount(), 1u);
        EXPECT_EQ(dir.Ui().LastBox().text, CBrannicLogger_ZNApp::kMsgStillEnding);
    }
    QTimer::singleShot(200, [&] { first.reset(); });
    CBrannicLogger_ZNApp app;
    EXPECT_TRUE(app.StartInstance());
    EXPECT_EQ(dir.Ui().BoxCount(), 1u);
}

TEST(OsName, FromOsReleaseText) {
    EXPECT_EQ(zns::OsNameFromOsRelease("NAME=\"Debian GNU/Linux\"\nVERSION=\"12 (bookworm)\"\n"
                                       "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(zns::OsNameFromOsRelease("NAME=Fedora\nVERSION='39 (Workstation)'\n"), "Fedora 39 (Workstation)");
    EXPECT_EQ(zns::OsNameFromOsRelease("# comment\nNAME=\"A \\\"quoted\\\" name\"\r\n"), "A \"quoted\" name");
    EXPECT_EQ(zns::OsNameFromOsRelease("ID=debian\n"), "");

    // No os-release file: the kernel's name and release.
    const char* none[] = {"/nonexistent/os-release"};
    const OsNameInfo info = zns::GetOSNameFrom(none, 1);
    EXPECT_FALSE(info.name.empty());
    EXPECT_FALSE(info.keepMenu);
    EXPECT_FALSE(GetOSName().name.empty());
}

}  // namespace
