// One QApplication for the whole test program.
#include <gtest/gtest.h>

#include "platform/ui/TestApp.h"

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { zns::ui::EnsureTestApplication(); }
    void TearDown() override { zns::ui::DestroyTestApplication(); }
};

[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
