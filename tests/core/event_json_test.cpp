// Event texts: compact JSON with members in key order.
#include "bridge/event_container.h"
#include "bridge/poll_answer.h"

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

TEST(PollAnswer, ItemsBecomeEventsInQueueOrder)
{
    std::vector<QByteArray> texts;
    auto collect = [&](const QByteArray &t) { texts.push_back(t); };
    EXPECT_EQ(
        forEachPageEvent(R"([{"i":1,"e":"test"},"s",3,[1],null,{"n":{"b":2,"a":1}}])", collect), 6);
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[0], QByteArray(R"({"event":"js-evt","js-evt":{"e":"test","i":1}})"));
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(texts[i], QByteArray(R"({"event":"js-evt","js-evt":{}})"));
    EXPECT_EQ(texts[5], QByteArray(R"({"event":"js-evt","js-evt":{"n":{"a":1,"b":2}}})"));
}

TEST(PollAnswer, AnswersThatAreNoArrayDeliverNothing)
{
    int count = 0;
    auto collect = [&](const QByteArray &) { ++count; };
    EXPECT_EQ(forEachPageEvent("", collect), 0);
    EXPECT_EQ(forEachPageEvent("[1,", collect), 0);
    EXPECT_EQ(forEachPageEvent(R"({"a":1})", collect), 0);
    EXPECT_EQ(forEachPageEvent("[]", collect), 0);
    EXPECT_EQ(count, 0);
}
