/* A host built against the installed package. It stays off the display:
   the free functions never start the toolkit. */
#include <kivwebview_qt.h>

#include <stdio.h>

int main(void)
{
    if (kiv_webview_destroy_event(NULL) != 0 || kiv_webview_destroy_js_result(NULL) != 0)
        return 1;
    printf("linked against kivwebview_qt\n");
    return 0;
}
