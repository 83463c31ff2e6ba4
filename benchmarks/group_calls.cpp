// Group "calls": call_js against the floor's runJavaScript, set_title.
#include "floor_host.h"
#include "groups.h"
#include "library_host.h"

#include "bridge/page_scripts.h"

#include <QJsonArray>

#include <cstring>

namespace bench {

namespace {

// Rounds alternate between the library and the floor so that both see the
// same machine load.
QJsonArray callFigures(int wv, FloorView &floor, bool quick)
{
    const char *callCode = "return 1 + 1;";
    const QString bareScript = QStringLiteral("1 + 1");
    const QString wrappedScript = PageScripts::callWrapper(QString::fromUtf8(callCode));
    const int rounds = quick ? 6 : 20;
    const int perRound = 50;
    std::vector<double> lib, bare, wrapped;
    for (int w = 0; w < 20; ++w) { // warm-up
        kiv_webview_destroy_js_result(kiv_webview_call_js(wv, callCode));
        floor.run(bareScript);
        floor.run(wrappedScript);
    }
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < perRound; ++i) {
            const double t0 = nowMs();
            kiv_js_result_t *res = kiv_webview_call_js(wv, callCode);
            lib.push_back(nowMs() - t0);
            kiv_webview_destroy_js_result(res);
        }
        for (int i = 0; i < perRound; ++i)
            bare.push_back(floor.run(bareScript));
        for (int i = 0; i < perRound; ++i)
            wrapped.push_back(floor.run(wrappedScript));
    }
    const Summary libS = summarize(lib), bareS = summarize(bare), wrappedS = summarize(wrapped);
    return QJsonArray {figure("call_js", "call_js with a result", "ms", libS),
        figure("floor_run_js", "floor: runJavaScript \"1 + 1\"", "ms", bareS),
        figure("floor_run_js_wrapped", "floor: runJavaScript of the call script", "ms", wrappedS),
        single("call_js_ratio", "call_js / floor (medians)", "x", libS.median / bareS.median)};
}

QJsonObject titleFigure(int wv, bool quick)
{
    std::vector<double> title;
    const int titles = quick ? 300 : 1000;
    for (int i = 0; i < titles + 20; ++i) {
        const std::string text = "bench title " + std::to_string(i);
        const double t0 = nowMs();
        if (kiv_webview_set_title(wv, text.c_str()) != oke)
            fail("kiv_webview_set_title failed");
        if (i >= 20)
            title.push_back(nowMs() - t0);
    }
    return figure("set_title", "set_title", "ms", summarize(title));
}

} // namespace

QJsonObject runCalls(const GroupOptions &opt)
{
    const int wv = openLoadedWindow();
    // The application object is the library's now; a plain view of it is
    // the floor.
    FloorView floor;
    QJsonObject checks;
    kiv_js_result_t *first = kiv_webview_call_js(wv, "return 1 + 1;");
    checks["call_js_text"] = QString::fromUtf8(first->value);
    if (first->result != oke || std::strcmp(first->value, R"({"exn":false,"oke":true,"result":2})"))
        fail(std::string("unexpected call result ") + first->value);
    kiv_webview_destroy_js_result(first);
    if (floor.run(QStringLiteral("1 + 1")) < 0 || floor.answer.toInt() != 2)
        fail("the floor view did not answer 2");

    QJsonArray figures = callFigures(wv, floor, opt.quick);
    figures.append(titleFigure(wv, opt.quick));
    kiv_webview_close(wv);
    return QJsonObject {{"figures", figures}, {"checks", checks}};
}

} // namespace bench
