// The main of the tests that need no window: GoogleTest's, with the end of
// the run told apart when tests were skipped.
#include <gtest/gtest.h>

#include "tests/support/test_run.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return test_run_result(RUN_ALL_TESTS());
}
