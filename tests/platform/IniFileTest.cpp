#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "platform/FileReplace.h"
#include "platform/NumText.h"
#include "tests/platform/TestSupport.h"

using namespace std::string_literals;
using zns::test::ReadBytes;
using zns::test::WriteBytes;

class IniFileTest : public ::testing::Test {
protected:
    std::string Get(const std::string& sec, const std::string& key, const std::string& def = "<none>") {
        return zns::IniGetString(m_path, sec, key, def);
    }
    bool Put(const std::string& sec, const std::string& key, const std::string& value) {
        return static_cast<bool>(zns::IniWriteString(m_path, sec, key, value));
    }

    zns::test::TempDir m_dir;
    std::string m_path = m_dir / "test.ini";
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesDefault) {
    EXPECT_EQ(Get("S", "K", "dflt"), "dflt");
    EXPECT_EQ(zns::IniGetInt(m_path, "S", "K", -7), -7);
    EXPECT_FALSE(zns::IniFind(m_path, "S", "K").has_value());
    EXPECT_FALSE(std::filesystem::exists(m_path));  // reading creates nothing
    WriteBytes(m_path, "[S]\nOther=1\n");
    EXPECT_EQ(Get("S", "K", "dflt"), "dflt");
    EXPECT_EQ(Get("T", "Other", "dflt"), "dflt");
    EXPECT_EQ(Get("S", "K", std::string(300, 'd')), std::string(255, 'd'));  // defaults are cut too
}

TEST_F(IniFileTest, CaseAndBlanksAreIgnored) {
    WriteBytes(m_path, "  [ BrannicLogger ]  \r\n  VScale  =  100 m  \r\n\tOffsetGamma \t= 1.5\t\r\nEmpty=\r\n");
    EXPECT_EQ(Get("brannic" "logger", "vscale"), "100 m");
    EXPECT_EQ(Get("BRANNICLOGGER", "OffsetGamma"), "1.5");
    EXPECT_EQ(Get(" BrannicLogger ", "OffsetGamma "), "1.5");  // names given with blanks
    EXPECT_EQ(Get("BrannicLogger", "Empty"), "");
    EXPECT_EQ(zns::IniGetInt(m_path, "BrannicLogger", "VScale", 0), 100);
    // Letters of the code page fold too.
    ASSERT_TRUE(Put("\xC9t\xC9", "Cl\xC9", "v"));
    EXPECT_EQ(Get("\xE9t\xE9", "cl\xE9"), "v");
}

TEST_F(IniFileTest, ByteOrderMarkIsSkippedAndKept) {
    WriteBytes(m_path, "\xEF\xBB\xBF[BrannicLogger]\r\nVScale=100\r\n");
    EXPECT_EQ(Get("BrannicLogger", "VScale"), "100");
    ASSERT_TRUE(Put("BrannicLogger", "Speed", "1"));  // into the one section, not a second
    ASSERT_TRUE(zns::IniDeleteKey(m_path, "BrannicLogger", "Speed"));
    ASSERT_TRUE(Put("BrannicLogger", "VScale", "200"));
    EXPECT_EQ(ReadBytes(m_path), "\xEF\xBB\xBF[BrannicLogger]\r\nVScale=200\r\n");
}

TEST_F(IniFileTest, EditsInPlaceAndKeepsEveryOtherLine) {
    const std::string before =
        "; comment line\n"
        "junk without equals\n"
        "[First]\n"
        "  Alpha = 1   \n"
        "Beta=2\n"
        "\n"
        "[Second]\r\n"
        "Gamma=3";  // no newline at the end
    WriteBytes(m_path, before);
    ASSERT_TRUE(Put("first", "ALPHA", "10"));  // the line keeps its own key spelling
    ASSERT_TRUE(Put("First", "Delta", "4"));   // new key after the section's last line
    ASSERT_TRUE(Put("Second", "Eps", "5"));    // after a last line that had no newline
    ASSERT_TRUE(Put("Third", "Zeta", "6"));    // new section at the end
    EXPECT_EQ(ReadBytes(m_path),
              "; comment line\n"
              "junk without equals\n"
              "[First]\n"
              "  Alpha =10\n"
              "Beta=2\n"
              "Delta=4\r\n"
              "\n"
              "[Second]\r\n"
              "Gamma=3\r\n"
              "Eps=5\r\n"
              "[Third]\r\n"
              "Zeta=6\r\n");
    EXPECT_EQ(Get("First", "Alpha"), "10");
    EXPECT_EQ(Get("First", "Delta"), "4");
    EXPECT_EQ(Get("Second", "Gamma"), "3");

    // The same writes as one batch: the same bytes, one sync for the file and one for its folder.
    const std::string after = ReadBytes(m_path);
    WriteBytes(m_path, before);
    static std::atomic<int> syncs{0}, folders{0};
    zns::detail::SetSyncHook([](int fd) {
        struct stat st;
        return ++(fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? folders : syncs), 0;
    });
    EXPECT_TRUE(zns::IniWriteBatch(m_path, {{"first", "ALPHA", "10"},
                                            {"First", "Delta", "4"},
                                            {"Second", "Eps", "5"},
                                            {"Third", "Zeta", "6"}}));
    zns::detail::SetSyncHook(nullptr);
    EXPECT_EQ(syncs.load(), 1);
    EXPECT_EQ(folders.load(), 1);
    EXPECT_EQ(ReadBytes(m_path), after);
}

TEST_F(IniFileTest, NewFileIsWrittenWithCrLf) {
    ASSERT_TRUE(Put("A", "x", "1"));
    ASSERT_TRUE(Put("A", "y", "2"));
    ASSERT_TRUE(Put("B", "z", "3"));
    EXPECT_EQ(ReadBytes(m_path), "[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
    ASSERT_TRUE(Put("A", "x", "1"));  // same value: file untouched
    EXPECT_EQ(ReadBytes(m_path), "[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
}

TEST_F(IniFileTest, SectionNameRunsToLastBracket) {
    const std::string stamp = "[Tue Mar 05 14:07:09]";
    ASSERT_TRUE(Put(stamp, "FT_Open", "FT_DEVICE_NOT_FOUND"));
    ASSERT_TRUE(Put(stamp, "FT_Open", "FT_IO_ERROR"));  // same second, same key: replaced
    ASSERT_TRUE(Put("[Tue Mar 05 14:07:10]", "FT_Read", "x"));
    EXPECT_EQ(ReadBytes(m_path),
              "[[Tue Mar 05 14:07:09]]\r\nFT_Open=FT_IO_ERROR\r\n"
              "[[Tue Mar 05 14:07:10]]\r\nFT_Read=x\r\n");
    EXPECT_EQ(Get(stamp, "ft_open"), "FT_IO_ERROR");
    EXPECT_EQ(Get("Tue Mar 05 14:07:09", "FT_Open"), "<none>");
    std::vector<std::string> names = zns::IniSectionNames(m_path);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], stamp);
}

TEST_F(IniFileTest, ValuesAreCutAt255OnRead) {
    const std::string longValue(300, 'v');
    ASSERT_TRUE(Put("S", "Long", longValue));
    EXPECT_NE(ReadBytes(m_path).find(longValue), std::string::npos);  // stored whole
    EXPECT_EQ(Get("S", "Long"), std::string(255, 'v'));
    char buf[256];
    EXPECT_EQ(zns::GetPrivateProfileString("S", "Long", "", buf, sizeof buf, m_path.c_str()), 255u);
    EXPECT_EQ(zns::GetPrivateProfileString("S", "Long", "", buf, 10, m_path.c_str()), 9u);
    EXPECT_STREQ(buf, "vvvvvvvvv");
}

TEST_F(IniFileTest, FirstMatchWins) {
    WriteBytes(m_path, "[S]\nK=first\nk=second\n[s]\nK=third\nOnlyHere=4\n");
    EXPECT_EQ(Get("S", "K"), "first");
    EXPECT_EQ(Get("S", "OnlyHere"), "4");  // a repeated section is searched too
    ASSERT_TRUE(Put("S", "K", "new"));
    EXPECT_EQ(ReadBytes(m_path), "[S]\nK=new\nk=second\n[s]\nK=third\nOnlyHere=4\n");
    ASSERT_TRUE(Put("S", "OnlyHere", "5"));
    EXPECT_EQ(Get("S", "OnlyHere"), "5");
    auto entries = zns::IniSectionEntries(m_path, "S");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], std::make_pair("K"s, "new"s));
}

TEST_F(IniFileTest, ValuesStayOnOneLineAndBytesPassThrough) {
    ASSERT_TRUE(Put("S", "K", "a\r\nb\0c\n[Evil]\nX=1"s));
    ASSERT_TRUE(Put("S", "Bytes", "\xE9\x80\x01\xFF"));
    EXPECT_EQ(Get("S", "K"), "a  b c [Evil] X=1");
    EXPECT_EQ(Get("Evil", "X"), "<none>");
    EXPECT_EQ(Get("S", "Bytes"), "\xE9\x80\x01\xFF");
    EXPECT_EQ(zns::IniSectionNames(m_path), std::vector<std::string>{"S"});
}

TEST_F(IniFileTest, WindowsStyleDeletes) {
    WriteBytes(m_path, "[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n[a]\r\nx=4\r\n");
    EXPECT_TRUE(zns::WritePrivateProfileString("A", "X", nullptr, m_path.c_str()));
    EXPECT_EQ(ReadBytes(m_path), "[A]\r\ny=2\r\n[B]\r\nz=3\r\n[a]\r\n");
    EXPECT_TRUE(zns::WritePrivateProfileString("a", nullptr, nullptr, m_path.c_str()));
    EXPECT_EQ(ReadBytes(m_path), "[B]\r\nz=3\r\n");
    EXPECT_FALSE(zns::WritePrivateProfileString(nullptr, "k", "v", m_path.c_str()));
    EXPECT_EQ(zns::GetPrivateProfileInt("B", "z", 0, m_path.c_str()), 3);
    EXPECT_TRUE(zns::IniEnsureSection(m_path, "C"));
    EXPECT_TRUE(zns::IniHasSection(m_path, "c"));
    EXPECT_EQ(ReadBytes(m_path), "[B]\r\nz=3\r\n[C]\r\n");
}

TEST_F(IniFileTest, SeesChangesMadeBehindItsBack) {
    WriteBytes(m_path, "[S]\nK=111\n");
    EXPECT_EQ(Get("S", "K"), "111");
    WriteBytes(m_path, "[S]\nK=222\n");  // same size, same inode, same instant
    EXPECT_EQ(Get("S", "K"), "222");
    // An old file is cached, and still re-read when it changes.
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, m_path.c_str(), old, 0), 0);
    EXPECT_EQ(Get("S", "K"), "222");
    EXPECT_EQ(Get("S", "K"), "222");
    WriteBytes(m_path, "[S]\nK=333\n");
    EXPECT_EQ(Get("S", "K"), "333");
    std::filesystem::remove(m_path);
    EXPECT_EQ(Get("S", "K"), "<none>");
}

TEST_F(IniFileTest, WriteFailuresAreReportedAndHarmless) {
    EXPECT_FALSE(zns::IniWriteString(m_dir / "no/such/folder/x.ini", "S", "K", "V"));
    EXPECT_EQ(zns::IniWriteString(m_dir.Path(), "S", "K", "V").err, EISDIR);  // the rename: a folder, not a file
    // A write and a sync that fail leave the file as it was.
    ASSERT_TRUE(Put("S", "K", "V"));
    struct rlimit lim, small;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &lim), 0);
    small = {64, lim.rlim_max};
    const auto xfsz = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_EQ(zns::IniWriteString(m_path, "S", "K", std::string(200, 'W')).err, EFBIG);
    setrlimit(RLIMIT_FSIZE, &lim);
    signal(SIGXFSZ, xfsz);
    zns::detail::SetSyncHook([](int) { return errno = EIO, -1; });
    EXPECT_EQ(zns::IniWriteString(m_path, "S", "K", "W").err, EIO);
    zns::detail::SetSyncHook(nullptr);
    EXPECT_EQ(Get("S", "K"), "V");
    if (geteuid() != 0) {
        chmod(m_dir.Path().c_str(), 0500);
        EXPECT_FALSE(Put("S", "K", "W"));
        chmod(m_dir.Path().c_str(), 0700);
        EXPECT_EQ(Get("S", "K"), "V");
        chmod(m_path.c_str(), 0444);  // a protected file is not replaced
        EXPECT_FALSE(Put("S", "K", "W"));
        EXPECT_EQ(Get("S", "K"), "V");
    }
    // No temporary file is left behind.
    size_t count = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_dir.Path())) count += e.is_regular_file();
    EXPECT_LE(count, 1u);
}

TEST_F(IniFileTest, KeepsModeAndWritesThroughSymlink) {
    ASSERT_TRUE(Put("S", "K", "1"));
    chmod(m_path.c_str(), 0640);
    ASSERT_TRUE(Put("S", "K", "2"));
    struct stat st;
    ASSERT_EQ(stat(m_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    const std::string link = m_dir / "link.ini";
    ASSERT_EQ(symlink(m_path.c_str(), link.c_str()), 0);
    ASSERT_TRUE(zns::IniWriteString(link, "S", "K", "3"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Get("S", "K"), "3");
}

TEST_F(IniFileTest, CrashBeforeRenameLeavesOldFileWhole) {
    ASSERT_TRUE(Put("S", "Keep", "old"));
    const std::string before = ReadBytes(m_path);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        zns::detail::SetBeforeRenameHook([] { _exit(42); });
        zns::IniWriteString(m_path, "S", "Keep", std::string(5000, 'n'));
        _exit(0);  // not reached when the hook fires
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 42);
    EXPECT_EQ(ReadBytes(m_path), before);
    EXPECT_EQ(Get("S", "Keep"), "old");
    ASSERT_TRUE(Put("S", "Keep", "new"));  // the leftover temporary file is no obstacle
    EXPECT_EQ(Get("S", "Keep"), "new");
}

TEST_F(IniFileTest, LeftoversOfKilledSavesNeverBlockASaveAndAreSwept) {
    // Killed saves of an earlier run that had our pid or of one that is gone go;
    // a live instance's stays while fresh (a save in progress), not when an hour old.
    const std::string pre = m_dir / ".test.ini.tmp", live = pre + std::to_string(getppid());
    const auto hex = [](int n) { return zns::Format(".%016x", n); };
    for (int n = 0; n < 1024; ++n) WriteBytes(pre + std::to_string(getpid()) + hex(n), "x");
    for (const std::string& f : {pre + "4194305" + hex(0), live + hex(0), live + hex(1)}) WriteBytes(f, "x");
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time(nullptr) - 7200, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (live + hex(1)).c_str(), times, 0), 0);
    std::set<std::string> kept{live + hex(0), m_path};  // and a user's files, whatever their names
    for (const char* n : {"notes.hed.Backup", "well.hed.bak001", "report.hed.copy12", "x.hed.2019v1", "w.hed.BACKUP"}) {
        WriteBytes(*kept.insert(m_dir / n).first, "x");
        ASSERT_EQ(utimensat(AT_FDCWD, (m_dir / n).c_str(), times, 0), 0);
    }
    ASSERT_TRUE(Put("S", "GainRx1", "13"));
    std::set<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(m_dir.Path())) left.insert(e.path().string());
    EXPECT_EQ(left, kept);
}

TEST_F(IniFileTest, ConcurrentWritersLoseNothing) {
    constexpr int kThreads = 6, kKeys = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int k = 0; k < kKeys; ++k) {
                const std::string sec = zns::Format("T%d", t % 3), key = zns::Format("k%d_%d", t, k);
                EXPECT_TRUE(zns::IniWriteString(m_path, sec, key, zns::Format("%d", k)));
                EXPECT_EQ(zns::IniGetString(m_path, sec, key, "?"), zns::Format("%d", k));
            }
        });
    }
    threads.emplace_back([this] {
        for (int i = 0; i < 200; ++i) zns::IniGetString(m_path, "T0", "k0_0", "");
    });
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t)
        for (int k = 0; k < kKeys; ++k)
            EXPECT_EQ(zns::IniGetInt(m_path, zns::Format("T%d", t % 3), zns::Format("k%d_%d", t, k), -1), k);
}

TEST_F(IniFileTest, RandomBytesNeverBreakReadBack) {
    std::mt19937 rng(1234);
    const char alphabet[] = "[]=; \t\r\nabcAB\0\xFF\xE9"
                            "12";
    for (int round = 0; round < 150; ++round) {
        std::string junk;
        const int len = static_cast<int>(rng() % 300);
        for (int i = 0; i < len; ++i)
            junk += (rng() % 4 == 0) ? static_cast<char>(rng() % 256) : alphabet[rng() % (sizeof alphabet - 1)];
        WriteBytes(m_path, junk);
        zns::IniSectionNames(m_path);
        zns::IniGetString(m_path, "a", "b", "");
        const std::string sec = round % 2 ? "a" : "S]x", value = zns::Format(" v%d ", round);
        ASSERT_TRUE(Put(sec, "b", value));
        EXPECT_EQ(Get(sec, "b"), zns::Format("v%d", round)) << "round " << round;
    }
}
