#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "tests/platform/TestSupport.h"

namespace {

// Sets or clears an environment variable for one test.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value) : m_name(name) {
        const char* old = getenv(name);
        m_had = old != nullptr;
        if (old) m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvGuard() {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name, m_old;
    bool m_had = false;
};

}  // namespace

TEST(Paths, ProgramDirFromEnvironmentOrExecutable) {
    {
        EnvGuard home("ZNS_HOME", "/opt/zns");
        EXPECT_EQ(zns::ProgramDir(), "/opt/zns/");
    }
    {
        EnvGuard home("ZNS_HOME", "/opt/zns/");
        EXPECT_EQ(zns::ProgramDir(), "/opt/zns/");
    }
    EnvGuard none("ZNS_HOME", nullptr);
    const std::string exe = zns::ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(zns::FileExists(exe));
    EXPECT_EQ(zns::ProgramDir(), zns::DirPart(exe));
    EXPECT_EQ(zns::ApplicationName(), "platform_tests");
}

TEST(Paths, JoinAndSplit) {
    EXPECT_EQ(zns::JoinPath("/a/b", "Ressources\\HxZNS.tol"), "/a/b/Ressources/HxZNS.tol");
    EXPECT_EQ(zns::JoinPath("/a/b/", "c"), "/a/b/c");
    EXPECT_EQ(zns::JoinPath("/a/b", "/abs/x"), "/abs/x");
    EXPECT_EQ(zns::JoinPath("", "c"), "c");
    EXPECT_EQ(zns::JoinPath("/a", ""), "/a");
    EXPECT_EQ(zns::ToSlashes("Demo\\ZNS_IT_UP.zne"), "Demo/ZNS_IT_UP.zne");
    EXPECT_EQ(zns::DirPart("/x/y/log.zne"), "/x/y/");
    EXPECT_EQ(zns::DirPart("log.zne"), "");
    EXPECT_EQ(zns::FilePart("/x/y/log.zne"), "log.zne");
    EXPECT_EQ(zns::FileTitle("/x/y.d/log.v2.zne"), "log.v2");
    EXPECT_EQ(zns::FileTitle("/x/y.d/README"), "README");
}

TEST(Paths, FoldersFilesAndSizes) {
    zns::test::TempDir dir;
    const std::string deep = dir / "a/b/c";
    EXPECT_TRUE(zns::MakeDirs(deep));
    EXPECT_TRUE(zns::MakeDirs(deep + "/"));  // existing is fine
    EXPECT_TRUE(zns::DirExists(deep));
    EXPECT_FALSE(zns::FileExists(deep));
    EXPECT_TRUE(zns::PathExists(deep));
    const std::string file = deep + "/f.bin";
    EXPECT_EQ(zns::FileSize(file), -1);
    zns::test::WriteBytes(file, std::string(281, '\0'));
    EXPECT_EQ(zns::FileSize(file), 281);
    EXPECT_FALSE(zns::MakeDirs(file + "/sub"));  // a file stands in the way
    EXPECT_TRUE(zns::RemoveFile(file));
    EXPECT_TRUE(zns::RemoveFile(file));
    EXPECT_FALSE(zns::PathExists(file));
}

TEST(Paths, UserConfigDir) {
    {
        EnvGuard xdg("XDG_CONFIG_HOME", "/cfg/home/");
        EXPECT_EQ(zns::UserConfigDir(), "/cfg/home");
    }
    EnvGuard home("HOME", "/home/someone");
    {
        EnvGuard xdg("XDG_CONFIG_HOME", "relative/ignored");
        EXPECT_EQ(zns::UserConfigDir(), "/home/someone/.config");
    }
    EnvGuard xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(zns::UserConfigDir(), "/home/someone/.config");
}
