// The other platform's failure codes, built from the same sources.
#include "test_support.h"

#include <gtest/gtest.h>

TEST(FailureCodes, SetHtmlAndWindowActionsUseThePlatformTable)
{
    kiv_webview_init();
    const result_t html = EXPECT_WINDOWS_CODES ? set_url_failed : set_html_failed;
    const result_t action = EXPECT_WINDOWS_CODES ? resize_window_failed : window_action_failed;
    EXPECT_EQ(kiv_webview_set_html(3, "x"), html);
    EXPECT_EQ(kiv_webview_set_title(3, "x"), action);
    EXPECT_EQ(kiv_webview_hide(3), action);
    EXPECT_EQ(kiv_webview_show(3), action);
    EXPECT_EQ(kiv_webview_present(3), action);
    EXPECT_EQ(kiv_webview_maximize(3), action);
    EXPECT_EQ(kiv_webview_minimize(3), action);
    EXPECT_EQ(kiv_webview_show_normal(3), action);
    // The codes shared by both tables.
    EXPECT_EQ(kiv_webview_set_url(3, "x"), set_url_failed);
    EXPECT_EQ(kiv_webview_move(3, 0, 0), move_window_failed);
    EXPECT_EQ(kiv_webview_resize(3, 9, 9), resize_window_failed);
}
