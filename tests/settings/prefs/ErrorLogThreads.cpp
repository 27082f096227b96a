// The error log written from several threads at once (the link threads report
// through it while the GUI thread saves settings).
#include <thread>

#include "PrefsTestUtil.h"

#include "platform/Clock.h"
#include "platform/NumText.h"

using namespace prefs_test;

namespace {

class ErrorLogThreads : public PrefsFixture {};

TEST_F(ErrorLogThreads, ConcurrentWritersLoseNoEntry) {
    zns::FakeClock clock;
    zns::ErrorLog& log = zns::ErrorLog::Process();
    log.SetClock(&clock);
    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/x\r\nDebugingTools=yes\r\n");
    WriteAll(Dat(), std::string(281, '\0'));
    CPreferences& p = Prefs();
    p.StartupLoad();
    ASSERT_TRUE(log.Enabled());

    constexpr int kThreads = 4, kEach = 20;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i) CPreferences::WriteErrorLog(zns::Format("err%d_%d", t, i), "IO Error");
        });
    // The GUI thread keeps saving and switching meanwhile.
    for (int i = 0; i < 5; ++i) {
        p.SaveConfig();
        log.SetEnabled(true);
        log.SetFolder(dir);
    }
    for (auto& th : threads) th.join();

    const auto entries = zns::IniSectionEntries(dir + "error_Zenova.log", "[Tue Mar 05 14:07:09]");
    EXPECT_EQ(entries.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(Key("GainRx1"), "5");
}

TEST_F(ErrorLogThreads, SwitchedOffWritersWriteNothing) {
    zns::ErrorLog log;
    log.SetFolder(dir);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&log] {
            for (int i = 0; i < 50; ++i) log.Write("k", "v");
        });
    for (auto& th : threads) th.join();
    EXPECT_FALSE(zns::FileExists(dir + "error_Zenova.log"));
}

}  // namespace
