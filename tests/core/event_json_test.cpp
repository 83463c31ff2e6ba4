// Event texts: compact JSON with members in key order.
#include "bridge/event_container.h"

#include <QJsonObject>

#include <gtest/gtest.h>

TEST(EventJson, MembersComeInKeyOrderWithoutWhitespace)
{
    EventContainer resize(QStringLiteral("resize"));
    resize[QStringLiteral("w")] = 640;
    resize[QStringLiteral("h")] = 480;
    EXPECT_EQ(mkEventJson(resize), QByteArray(R"({"event":"resize","h":480,"w":640})"));

    EventContainer loaded(QStringLiteral("page-loaded"));
    loaded[QStringLiteral("oke")] = false;
    EXPECT_EQ(mkEventJson(loaded), QByteArray(R"({"event":"page-loaded","oke":false})"));
    EXPECT_EQ(mkEventJson(EventContainer(QStringLiteral("can-close?"))),
        QByteArray(R"({"event":"can-close?"})"));
}

TEST(EventJson, NestedObjectsAreSortedAndNonAsciiStaysUtf8)
{
    EventContainer event(QStringLiteral("js-evt"));
    QJsonObject item;
    item.insert(QStringLiteral("z"), 1);
    item.insert(QStringLiteral("a"), QStringLiteral("grüße ✓"));
    event[QStringLiteral("js-evt")] = item;
    event[QStringLiteral("x")] = QStringLiteral("first");
    event[QStringLiteral("x")] = QStringLiteral("last");
    EXPECT_EQ(mkEventJson(event),
        QByteArray(R"({"event":"js-evt","js-evt":{"a":"grüße ✓","z":1},"x":"last"})"));
}
