// event_path_benchmark: the host side of the page-to-host path without a
// browser: a poll answer of N items (as the page's JSON.stringify gives it)
// turned into "js-evt" texts and heap records handed to a callback. Small
// enough to run under valgrind --tool=callgrind. It first checks the texts
// against the toolkit's own writer, item by item, and fails on a difference.
//
//   event_path_benchmark [ITEMS] [REPEATS]
#include "bridge/poll_answer.h"
#include "core/records.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The event texts as the toolkit writes each item on its own: what the
// library's output must stay byte for byte.
std::vector<QByteArray> reference(const QByteArray &answer)
{
    std::vector<QByteArray> texts;
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return texts;
    for (const QJsonValue &item : document.array())
        texts.push_back(QByteArrayLiteral(R"({"event":"js-evt","js-evt":)")
            + (item.isObject() ? QJsonDocument(item.toObject()).toJson(QJsonDocument::Compact)
                               : QByteArrayLiteral("{}"))
            + '}');
    return texts;
}

// Compares the library's texts with the reference for answers that take
// every path; returns the number of answers that differ.
int checkAgainstReference()
{
    const char *answers[] = {
        R"([{"s":"x","i":1},{"b":2,"aa":3,"a":4,"B":5,"_":6,"a1":7,"":8}])",
        R"([{"n":{"b":2,"a":1,"c":[3,{"z":1,"y":[]}]},"m":{}},[],"s",3,null,true,false])",
        R"( [ { "b" : 1 , "a" : [ 1 , 2 ] } ] )",
        "[\n{\"b\":1,\r\n\t\"a\":2}\n]\n",
        R"([{"big":123456789012345,"neg":-42,"zero":0,"negzero":-0}])",
        R"([{"big":1234567890123456789},{"huge":123456789012345678901234}])",
        R"([{"f":1.5,"e":1e21,"g":0.0000001,"h":-0.0,"i":2.50,"j":1E2}])",
        R"([{"k":"caf\u00e9","l":"\"q\" \\ \n \t \u0001 \u2028 \ud800"}])",
        "[{\"u\":\"caf\xc3\xa9 \xf0\x9f\x98\x80\",\"t\":\"\x7f\"}]",
        R"([{"d":1,"d":2},{"x":{"a":1,"a":3}}])",
        R"([{"a":1}] x)",
        R"([{"a":1},])",
        R"([01])",
        R"([{"a":1})",
        "",
        "[]",
        "{}",
        R"({"a":1})",
        "[1,",
        R"(["a\u0000b",{"k\u0000":1}])",
        "[\"\xff\"]",
        "[{\"a\":\"\xed\xa0\x80\"}]",
        "[{\"a\":\"\xc0\xaf\"}]",
        "[{\"a\":\"tab\there\"}]",
        R"([[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]],{"x":1}])",
    };
    int differ = 0;
    for (const char *answer : answers) {
        std::vector<QByteArray> texts;
        const qsizetype n
            = forEachPageEvent(answer, [&](const QByteArray &text) { texts.push_back(text); });
        if (texts != reference(answer) || n != static_cast<qsizetype>(texts.size())) {
            ++differ;
            std::printf("DIFFERS for %s\n", answer);
            for (const QByteArray &t : texts)
                std::printf("  library:   %s\n", t.constData());
            for (const QByteArray &t : reference(answer))
                std::printf("  reference: %s\n", t.constData());
        }
    }
    return differ;
}

} // namespace

int main(int argc, char **argv)
{
    if (const int differ = checkAgainstReference()) {
        std::printf("%d answers differ from the reference\n", differ);
        return 1;
    }
    const int items = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 9;
    const bool ascii = argc > 3 && std::strcmp(argv[3], "ascii") == 0;

    // Items as the page sends them: insertion order, not key order.
    QByteArray answer = "[";
    for (int i = 0; i < items; ++i) {
        if (i)
            answer += ',';
        answer += "{\"s\":\"x\",\"i\":" + QByteArray::number(i)
            + (ascii ? ",\"t\":\"cafe\"}" : ",\"t\":\"caf\xc3\xa9\"}");
    }
    answer += ']';
    // The poll answer reaches the library as a QString.
    const QString fromPage = QString::fromUtf8(answer);
    if (reference(answer).back() != [&] {
            QByteArray last;
            forEachPageEvent(answer, [&](const QByteArray &text) { last = text; });
            return last;
        }()) {
        std::printf("the batch differs from the reference\n");
        return 1;
    }

    std::vector<double> ms;
    long long bytes = 0;
    for (int r = 0; r < repeats; ++r) {
        bytes = 0;
        const auto t0 = std::chrono::steady_clock::now();
        forEachPageEvent(fromPage.toUtf8(), [&](const QByteArray &text) {
            kiv_event_t *record = newEventRecord(1, text);
            bytes += static_cast<long long>(std::strlen(record->event));
            freeRecord(record);
        });
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("%d items (%s): median %.2f ms, %.0f events/s (%lld bytes of event text)\n", items,
        ascii ? "ASCII" : "with UTF-8", median, items / (median / 1000.0), bytes);
    return 0;
}
