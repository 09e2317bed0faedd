#include "platform/DebugOutput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::vector<std::string> g_captured;

void Capture(const char* pszText)
{
    g_captured.emplace_back(pszText);
}

TEST(PlatformDebugOutput, HookTakesTheWholeTextInsteadOfTheSystem)
{
    g_captured.clear();
    EXPECT_EQ(platform::SetDebugOutputHook(Capture), nullptr);
    platform::OutputDebugText("12:00:00,000 INFO    a line\n");
    platform::OutputDebugText(nullptr);
    EXPECT_EQ(platform::SetDebugOutputHook(nullptr), Capture);
    platform::OutputDebugText("to the system log\n");

    ASSERT_EQ(g_captured.size(), 1u);
    EXPECT_EQ(g_captured[0], "12:00:00,000 INFO    a line\n");
}

} // namespace
