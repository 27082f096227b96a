#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/Paths.h"
#include "tests/platform/TestSupport.h"

namespace {
const std::string kKey = "Software\\Halvex\\ZNS\\TechnicalTools";
}

TEST(Registry, ValuesUnderKeyPaths) {
    zns::test::TempDir dir;
    zns::Registry reg(dir / "sub/registry.ini");
    EXPECT_FALSE(reg.KeyExists(kKey));
    EXPECT_FALSE(reg.QueryString(kKey, "DebugingTools").has_value());  // no key: absent

    ASSERT_TRUE(reg.SetString(kKey, "DebugingTools", "true"));  // creates folder, file, key
    EXPECT_TRUE(reg.KeyExists(kKey));
    EXPECT_TRUE(reg.KeyExists("software\\halvex\\zns\\technicaltools"));
    EXPECT_EQ(reg.QueryString(kKey, "debugingtools").value_or("?"), "true");
    EXPECT_FALSE(reg.QueryString(kKey, "FullTracing").has_value());  // key, no value: absent

    ASSERT_TRUE(reg.SetString(kKey, "FullTracing", ""));
    EXPECT_EQ(reg.QueryString(kKey, "FullTracing").value_or("?"), "");  // empty is not absent

    ASSERT_TRUE(reg.SetDword(kKey, "Count", 0xDEADBEEF));
    EXPECT_EQ(reg.QueryDword(kKey, "Count").value_or(0), 0xDEADBEEFu);
    EXPECT_FALSE(reg.QueryDword(kKey, "DebugingTools").has_value());  // a string is no DWORD

    EXPECT_TRUE(reg.DeleteValue(kKey, "Count"));
    EXPECT_FALSE(reg.QueryDword(kKey, "Count").has_value());
    EXPECT_TRUE(reg.DeleteKey(kKey));
    EXPECT_FALSE(reg.KeyExists(kKey));

    EXPECT_TRUE(reg.CreateKey(kKey));  // an empty key exists
    EXPECT_TRUE(reg.KeyExists(kKey));
    EXPECT_FALSE(reg.QueryString(kKey, "TechnicalTools").has_value());
}

TEST(Registry, DefaultStoreLivesInUserConfigFolder) {
    zns::test::TempDir dir;
    const char* old = getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    EXPECT_EQ(zns::Registry::DefaultPath(), dir / "zns/registry.ini");
    zns::Registry reg;
    EXPECT_TRUE(reg.SetString(kKey, "TechnicalTools", "false"));
    EXPECT_TRUE(zns::FileExists(dir / "zns/registry.ini"));
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

TEST(Registry, HandEditedOrBrokenStoreNeverCrashes) {
    zns::test::TempDir dir;
    const std::string path = dir / "registry.ini";
    using namespace std::string_literals;
    zns::test::WriteBytes(path, "\x00\xFF\n[Software\\Halvex\\ZNS\\TechnicalTools\n DebugingTools =  TRUE  \n"s);
    zns::Registry reg(path);
    EXPECT_EQ(reg.QueryString(kKey, "DebugingTools").value_or("?"), "TRUE");
    EXPECT_FALSE(reg.QueryDword(kKey, "DebugingTools").has_value());
    // A folder where the store should be: writes fail, reads report absent.
    zns::Registry blocked(dir.Path());
    EXPECT_FALSE(blocked.SetString(kKey, "X", "1"));
    EXPECT_FALSE(blocked.QueryString(kKey, "X").has_value());
}
