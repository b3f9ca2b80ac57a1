// The end of a test program's run as CTest reads it.
#include "tests/support/test_run.h"

#include <gtest/gtest.h>

#include <cstdio>

int test_run_result(int gtest_result)
{
    const ::testing::UnitTest& run = *::testing::UnitTest::GetInstance();
    for (int s = 0; s < run.total_test_suite_count(); ++s) {
        const ::testing::TestSuite& suite = *run.GetTestSuite(s);
        for (int t = 0; t < suite.total_test_count(); ++t) {
            const ::testing::TestInfo& test = *suite.GetTestInfo(t);
            const ::testing::TestResult& result = *test.result();
            if (!test.should_run() || !result.Skipped())
                continue;
            std::string reason;
            for (int p = 0; p < result.total_part_count(); ++p)
                if (result.GetTestPartResult(p).skipped())
                    reason = result.GetTestPartResult(p).message();
            printf("Skipped: %s.%s: %s\n", suite.name(), test.name(), reason.c_str());
        }
    }
    fflush(stdout);
    return gtest_result == 0 && run.skipped_test_count() > 0 ? SKIPPED_TESTS_EXIT : gtest_result;
}
