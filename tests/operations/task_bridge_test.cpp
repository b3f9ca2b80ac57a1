// The program's version text.
#include "operations/task_bridge.h"

#include <gtest/gtest.h>

TEST(TaskBridge, VersionText)
{
    make_version_text();
    EXPECT_STREQ(version_text, "0.9.73.1232b");
    EXPECT_EQ(version_number, 9073);
}
