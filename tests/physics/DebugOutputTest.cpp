#include <gtest/gtest.h>

#include "physics/DebugOutput.h"

TEST(DebugOutput, ReplacesTheTextWithMessageFileAndLine) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    DebugOutput::outputLineNumberInput("/src/Classes/Kworld.m", 12, "count %d of %s", 3, "drops");
    EXPECT_EQ(debugString, "count 3 of drops at Kworld.m:12");
    DebugOutput::outputLineNumberInput("main.m", 7, "again");
    EXPECT_EQ(debugString, "again at main.m:7");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
