#include "settings/Ini.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cfloat>
#include <climits>

#include "platform/Paths.h"
#include "tests/platform/TestSupport.h"

using zns::test::ReadBytes;
using zns::test::WriteBytes;

// Every test runs with its own program directory (ZNS_HOME).
class IniTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = getenv("ZNS_HOME");
        m_hadHome = old != nullptr;
        if (old) m_oldHome = old;
        setenv("ZNS_HOME", m_home.Path().c_str(), 1);
    }
    void TearDown() override {
        if (m_hadHome)
            setenv("ZNS_HOME", m_oldHome.c_str(), 1);
        else
            unsetenv("ZNS_HOME");
    }
    // A file in the program directory holding the given text.
    CIni Make(const std::string& content, const char* section = "S") {
        WriteBytes(m_home / "t.ini", content);
        return CIni("t.ini", section, TRUE);
    }

    zns::test::TempDir m_home;
    bool m_hadHome = false;
    std::string m_oldHome;
};

TEST_F(IniTest, GetDoubleTakesCommaOrPoint) {
    CIni ini = Make("[S]\na=12.5\nb=12,5\nc=-3.25\nd=0.5\ne=-0,75\nf=abc\ng= 7 \nh=1,5e3\ni=\n");
    EXPECT_DOUBLE_EQ(ini.GetDouble("a", 0), 12.5);
    EXPECT_DOUBLE_EQ(ini.GetDouble("b", 0), 12.5);
    EXPECT_DOUBLE_EQ(ini.GetDouble("c", 0), -3.25);
    EXPECT_DOUBLE_EQ(ini.GetDouble("d", 0), 0.5);
    EXPECT_DOUBLE_EQ(ini.GetDouble("e", 0), -0.75);
    EXPECT_DOUBLE_EQ(ini.GetDouble("f", 9), 0.0);
    EXPECT_DOUBLE_EQ(ini.GetDouble("g", 0), 7.0);
    EXPECT_DOUBLE_EQ(ini.GetDouble("h", 0), 1500.0);
    EXPECT_DOUBLE_EQ(ini.GetDouble("i", 9), 0.0);
    EXPECT_DOUBLE_EQ(ini.GetDouble("missing", 0.123456789), 0.123457);  // the "%g" default
    EXPECT_DOUBLE_EQ(ini.GetDouble("missing", -2.5), -2.5);
}

TEST_F(IniTest, GetDoubleUnderDecimalCommaLocale) {
    zns::test::CommaLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "no locale with a decimal comma available";
    CIni ini = Make("[S]\na=12.5\nb=12,5\n");
    EXPECT_DOUBLE_EQ(ini.GetDouble("a", 0), 12.5);
    EXPECT_DOUBLE_EQ(ini.GetDouble("b", 0), 12.5);
    EXPECT_DOUBLE_EQ(ini.GetDouble("missing", 0.25), 0.25);
    EXPECT_FLOAT_EQ(ini.GetFloat("a", 0), 12.5f);
    ini.WriteFloat("w", 2.5f);
    EXPECT_NE(ReadBytes(ini.GetPathName()).find("w=2.5\r\n"), std::string::npos);
}

TEST_F(IniTest, GetBoolRules) {
    CIni ini = Make("[S]\na=YES\nb=Yes\nc=1\nd=No\ne=0\nf=2\ng=\nh= yes \ni=01\nj=true\n");
    EXPECT_TRUE(ini.GetBool("a", FALSE));
    EXPECT_TRUE(ini.GetBool("b", FALSE));
    EXPECT_TRUE(ini.GetBool("c", FALSE));
    EXPECT_FALSE(ini.GetBool("d", TRUE));
    EXPECT_FALSE(ini.GetBool("e", TRUE));
    EXPECT_FALSE(ini.GetBool("f", TRUE));
    EXPECT_FALSE(ini.GetBool("g", TRUE));
    EXPECT_TRUE(ini.GetBool("h", FALSE));
    EXPECT_TRUE(ini.GetBool("i", FALSE));
    EXPECT_FALSE(ini.GetBool("j", TRUE));
    EXPECT_TRUE(ini.GetBool("missing", TRUE));
    EXPECT_FALSE(ini.GetBool("missing", FALSE));
    EXPECT_TRUE(ini.GetBool("missing", 5));
}

TEST_F(IniTest, GetIntAndGetFloat) {
    CIni ini = Make("[S]\na= -12xyz\nb=abc\nc=99999999999\nd=12,5\ne=1e99\nf=-1e99\ng=2.5e-1\n");
    EXPECT_EQ(ini.GetInt("a", 5), -12);
    EXPECT_EQ(ini.GetInt("b", 5), 0);
    EXPECT_EQ(ini.GetInt("c", 5), INT_MAX);
    EXPECT_EQ(ini.GetInt("missing", INT_MIN), INT_MIN);
    EXPECT_FLOAT_EQ(ini.GetFloat("d", 0), 12.0f);  // '.' is the float reader's only mark
    EXPECT_EQ(ini.GetFloat("e", 0), FLT_MAX);
    EXPECT_EQ(ini.GetFloat("f", 0), -FLT_MAX);
    EXPECT_FLOAT_EQ(ini.GetFloat("g", 0), 0.25f);
    EXPECT_FLOAT_EQ(ini.GetFloat("missing", 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(ini.GetFloat("missing", 0.123456789f), 0.123457f);
}

TEST_F(IniTest, WritersUseFixedTexts) {
    CIni ini("w.ini", "Main", TRUE);
    ini.WriteInt("Int", -42);
    ini.WriteFloat("Float", 0.1f);
    ini.WriteFloat("Big", 1234567.0f);
    ini.WriteBool("On", 7);
    ini.WriteBool("Off", FALSE);
    ini.WriteString("Text", "  a b  ");
    EXPECT_EQ(ReadBytes(m_home / "w.ini"),
              "[Main]\r\nInt=-42\r\nFloat=0.1\r\nBig=1.23457e+06\r\nOn=yes\r\nOff=no\r\nText=  a b  \r\n");
    EXPECT_EQ(ini.GetString("Text"), "a b");
    EXPECT_EQ(ini.GetString("Nothing"), "");
    EXPECT_EQ(ini.GetString("Nothing", "dflt"), "dflt");
    EXPECT_EQ(ini.GetString("Nothing", std::string("s")), "s");
}

TEST_F(IniTest, SectionArgumentStaysCurrent) {
    CIni ini = Make("[A]\nk=1\n[B]\nk=2\n", "A");
    EXPECT_EQ(ini.GetInt("k", 0), 1);
    EXPECT_EQ(ini.GetInt("k", 0, "B"), 2);
    EXPECT_EQ(ini.GetSection(), "B");
    ini.WriteInt("new", 3);  // goes to B
    EXPECT_EQ(ini.GetIntInSection("B", "new", 0), 3);
    EXPECT_EQ(ini.GetIntInSection("A", "new", 0), 0);
    ini.WriteString("afterA", "x");  // the section-first read left A current
    EXPECT_EQ(ini.ReadStringInSection("A", "afterA"), "x");
    ini.WriteStringInSection("C", "s", "v");
    ini.WriteIntInSection("C", "i", 4);
    ini.WriteBoolInSection("C", "b", TRUE);
    EXPECT_EQ(ini.GetSection(), "C");
    EXPECT_EQ(ini.GetStringInSection("C", "s"), "v");
    EXPECT_TRUE(ini.GetBoolInSection("C", "b", FALSE));
    EXPECT_FLOAT_EQ(ini.GetFloatInSection("C", "i", 0), 4.0f);
    EXPECT_DOUBLE_EQ(ini.GetDoubleInSection("C", "i", 0), 4.0);
    ini.SetSection("A");
    EXPECT_EQ(ini.GetInt("k", 0), 1);
    ini.SetSection(ini.GetSection());  // self-assignment is harmless
    EXPECT_EQ(ini.GetStringInSection(ini.GetSection(), "k"), "1");
}

TEST_F(IniTest, LastValueHoldsRawTextCutAt255) {
    CIni ini = Make("[S]\nn= 12abc \nlong=" + std::string(300, 'x') + "\n");
    EXPECT_EQ(ini.GetInt("n", 0), 12);
    EXPECT_EQ(ini.GetBufferedString("missing", "fallback"), "fallback");
    EXPECT_STREQ(ini.GetStringBuffer("n"), "12abc");
    EXPECT_EQ(ini.GetBufferedString("long"), std::string(255, 'x'));
    EXPECT_EQ(ini.GetString("long"), std::string(255, 'x'));
    EXPECT_STREQ(ini.GetStringBuffer("missing", nullptr, nullptr), "");
}

TEST_F(IniTest, PathResolution) {
    const std::string home = zns::ProgramDir();
    EXPECT_EQ(home, m_home.Path() + "/");
    EXPECT_EQ(CIni::MakeFullPath("Ressources\\HxZNS.tol", TRUE), home + "Ressources/HxZNS.tol");
    EXPECT_EQ(CIni::MakeFullPath("/abs/x.ini", TRUE), "/abs/x.ini");
    // A drive path carried over from the old system maps into the program's directory.
    EXPECT_EQ(CIni::MakeFullPath("c:\\temp\\x.ini", TRUE), home + "temp/x.ini");
    EXPECT_EQ(CIni::MakeFullPath("D:x.ini", FALSE), home + "x.ini");

    // An existing relative path in the current directory is used as it is.
    zns::test::TempDir cwd;
    const std::string oldCwd = zns::CurrentDir();
    ASSERT_EQ(chdir(cwd.Path().c_str()), 0);
    WriteBytes(cwd / "here.ini", "[S]\nk=cwd\n");
    EXPECT_EQ(CIni::MakeFullPath("here.ini", TRUE), "here.ini");
    EXPECT_EQ(CIni::MakeFullPath("absent.ini", TRUE), home + "absent.ini");
    EXPECT_EQ(CIni::MakeFullPath("absent.ini", FALSE), zns::CurrentDir() + "/absent.ini");
    CIni here("here.ini", "S", TRUE);
    EXPECT_EQ(here.GetString("k"), "cwd");
    ASSERT_EQ(chdir(oldCwd.c_str()), 0);

    CIni set("x.ini", TRUE);
    set.SetPathName("sub\\y.ini");
    EXPECT_EQ(set.GetPathName(), home + "sub/y.ini");
}

TEST_F(IniTest, ConstructorsAndDefaults) {
    const std::string exeTitle = zns::FileTitle(zns::ExecutablePath());
    CIni byFlag(TRUE);
    EXPECT_EQ(byFlag.GetPathName(), m_home.Path() + "/" + exeTitle + ".ini");
    EXPECT_EQ(byFlag.GetSection(), CIni::GetDefaultSection());
    EXPECT_EQ(CIni::GetDefaultPath(FALSE), zns::CurrentDir() + "/" + exeTitle + ".ini");

    CIni emptyPath("", TRUE);
    EXPECT_EQ(emptyPath.GetPathName(), byFlag.GetPathName());
    CIni withSection("a.ini", "Sec", TRUE);
    EXPECT_EQ(withSection.GetSection(), "Sec");
    CIni emptySection("a.ini", "", TRUE);
    EXPECT_EQ(emptySection.GetSection(), CIni::GetDefaultSection());
    zns::SetApplicationName("BrannicLogger");
    EXPECT_EQ(CIni("a.ini", TRUE).GetSection(), "BrannicLogger");
    zns::SetApplicationName("");
}

TEST_F(IniTest, TwoObjectsSeeEachOthersWrites) {
    CIni a("shared.ini", "S", TRUE);
    CIni b("shared.ini", "S", TRUE);
    a.WriteInt("k", 1);
    EXPECT_EQ(b.GetInt("k", 0), 1);
    b.WriteInt("k", 2);
    EXPECT_EQ(a.GetInt("k", 0), 2);
    // A destroyed object through a base pointer (the derived settings objects rely on it).
    CIni* p = new CIni("shared.ini", "S", TRUE);
    EXPECT_EQ(p->GetInt("k", 0), 2);
    delete p;
}

TEST_F(IniTest, BrokenFileGivesDefaults) {
    CIni ini = Make(std::string("\0\xFF\xFE[S\n=\n==\nk\n[S]]\n", 18));
    EXPECT_EQ(ini.GetInt("k", 9), 9);
    EXPECT_TRUE(ini.GetBool("k", TRUE));
    EXPECT_DOUBLE_EQ(ini.GetDouble("k", 1.5), 1.5);
    ini.WriteInt("k", 3);
    EXPECT_EQ(ini.GetInt("k", 9), 3);
}
