// A page's poll answer turned into "js-evt" event texts.
#include "bridge/poll_answer.h"

#include <gtest/gtest.h>

#include <vector>

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
