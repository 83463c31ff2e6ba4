// The other platform's failure codes, built from the same sources: this
// program links the library variant with the other failure-code table, and
// expects that table's values (kiv_add_test links it with them).
#include "failure_values.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace kivtest;

TEST(FailureCodes, SetHtmlAndWindowActionsUseThePlatformTable)
{
    kiv_webview_init();
    EXPECT_TRUE(everyCallFails(3));
}
