// Regression tests of what the fuzz targets found (their inputs are kept as
// seeds too: tests/fuzz/corpus/<target>/regress-*).
#include <climits>
#include <filesystem>

#include "FaultSupport.h"
#include "records/SharedRecords.h"
#include "platform/IniFile.h"
#include "settings/Preferences.h"

using namespace faults;

namespace {

class FindingsTest : public ::testing::Test {
protected:
    TempDir dir;
};

}  // namespace

// fuzz_config: a fine encoder on a tiny wheel made the depth factor overflow
// the conversion to int (undefined; in practice a garbage factor).
TEST_F(FindingsTest, AHugeDepthFactorSaturates) {
    struct Case {
        const char* pulses;
        const char* circumference;
        int32_t factor;
    };
    for (const Case& c : {Case{"2000000000", "1", INT32_MAX}, Case{"2147483647", "7", INT32_MAX},
                          Case{"1000", "5000", 20480}}) {
        SCOPED_TRACE(c.pulses);
        const std::string cfg = dir.File(CPreferences::kConfigFile);
        std::filesystem::remove(cfg);
        zns::IniFlushCache();
        ASSERT_TRUE(zns::IniWriteString(cfg, "BrannicLogger", "PulsResolution", c.pulses));
        ASSERT_TRUE(zns::IniWriteString(cfg, "BrannicLogger", "PulleysCircumference", c.circumference));
        SharedData shared;
        SettingsData data;
        PreferencesHooks hooks;
        hooks.programDir = dir.Path();
        hooks.registryPath = dir.File("registry");
        CPreferences prefs(shared, data, hooks);
        prefs.LoadConfig();
        const AcquisitionSettings s = shared.SnapshotSettings();
        EXPECT_EQ(s.DepthFactor256, c.factor);
        EXPECT_EQ(s.DepthFactor256, DepthFactor256(s));  // as the command-1 builder has it
        EXPECT_DOUBLE_EQ(s.DepthFactor, c.factor * 0.00390625);
    }
}
