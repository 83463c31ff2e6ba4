#include "page_bridge.h"

#include "../core/command.h"
#include "page_scripts.h"
#include "poll_answer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

QByteArray failureAnswer(const QString &reason)
{
    QJsonObject answer;
    answer.insert(QStringLiteral("exn"), reason);
    answer.insert(QStringLiteral("oke"), false);
    answer.insert(QStringLiteral("result"), false);
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

} // namespace

PageBridge::PageBridge(QWebEnginePage *page, Deliver deliver, QObject *parent)
    : QObject(parent)
    , page(page)
    , deliver(std::move(deliver))
{
}

void PageBridge::run(const QString &code)
{
    if (page)
        page->runJavaScript(code, QWebEngineScript::MainWorld, {});
}

void PageBridge::call(const QString &code, Command *command)
{
    if (rendererGone || !page) {
        command->complete(
            failureAnswer(QStringLiteral("the page's renderer process has ended; load a page first")),
            false);
        return;
    }
    const quint64 callId = ++lastCallId;
    pendingCalls.insert(callId, command);
    // Answers can arrive after the bridge is gone; the guard keeps them from
    // touching it.
    QPointer<PageBridge> self(this);
    page->runJavaScript(PageScripts::callWrapper(code), [self, callId](const QVariant &answer) {
        if (self)
            self->completeCall(callId, answer);
    });
}

void PageBridge::completeCall(quint64 callId, const QVariant &answer)
{
    Command *command = pendingCalls.take(callId);
    if (!command || !page)
        return; // already ended: the page closed, its renderer died or it was replaced
    // Anything that is not an object counts as an empty one; reading "oke"
    // through the subscript adds it as null when it is missing.
    QJsonObject object = QJsonValue::fromVariant(answer).toObject();
    const QJsonValue oke = object[QStringLiteral("oke")];
    command->complete(
        QJsonDocument(object).toJson(QJsonDocument::Compact), oke.isBool() && oke.toBool());
}

void PageBridge::poll()
{
    if (rendererGone || !page)
        return; // nothing answers until the next load
    ++pollTicks;
    if (pollInFlight != 0 && !(loading && pollTicks - pollSentAtTick >= lostPollTicks))
        return; // the poll that waits will take what the page has queued
    const quint64 pollId = ++lastCallId;
    pollInFlight = pollId;
    pollSentAtTick = pollTicks;
    ++pollCount;
    static const QString script = QString::fromUtf8(PageScripts::poll);
    QPointer<PageBridge> self(this);
    page->runJavaScript(script, [self, pollId](const QVariant &answer) {
        if (self)
            self->pollAnswered(pollId, answer);
    });
}

void PageBridge::pollAnswered(quint64 pollId, const QVariant &answer)
{
    if (!page)
        return;
    if (pollInFlight == pollId)
        pollInFlight = 0;
    // A frame answers the scripts it was given in order, so a call submitted
    // before this poll and still waiting went to another document: the call's
    // document was replaced, and the web engine drops its answer.
    QList<quint64> lost;
    for (auto it = pendingCalls.cbegin(); it != pendingCalls.cend(); ++it) {
        if (it.key() < pollId)
            lost << it.key();
    }
    for (quint64 callId : std::as_const(lost)) {
        pendingCalls.take(callId)->complete(
            failureAnswer(QStringLiteral("the page was replaced before it answered")), false);
    }

    const QString text = answer.toString();
    if (text == QLatin1String("[]"))
        return; // the common case: nothing queued
    QByteArray items = text.toUtf8();
    // The answer arrives inside one of the web engine's own tasks, and the
    // engine runs none of its tasks while one is on the stack: a callback
    // that opened a dialog there would hold back every page's answers until
    // the dialog closed. So the items are delivered from an event of their
    // own, in order, in this slice or the next.
    QPointer<PageBridge> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, items = std::move(items)] {
            if (self && self->page)
                self->deliverInOrder(items);
        },
        Qt::QueuedConnection);
}

void PageBridge::deliverInOrder(const QByteArray &items)
{
    // A callback may open a dialog, whose loop delivers this page's later
    // answers while the callback still runs. Every answer's events join one
    // queue and whoever delivers takes from its front, so that the host gets
    // the page's items in the order the page queued them, at every depth.
    forEachPageEvent(items, [this](const QByteArray &event) { undelivered.push_back(event); });
    QPointer<PageBridge> self(this);
    while (self && page && !undelivered.empty()) {
        const QByteArray event = std::move(undelivered.front());
        undelivered.pop_front();
        deliver(event);
    }
}

void PageBridge::loadStarted()
{
    // A new document: a poll sent to the old one may never be answered, and
    // a new load brings a new renderer process when the old one is gone.
    loading = true;
    pollInFlight = 0;
    rendererGone = false;
}

void PageBridge::loadFinished()
{
    loading = false;
    pollInFlight = 0;
}

void PageBridge::rendererTerminated()
{
    // Nothing answers in this page until its next load.
    rendererGone = true;
    pollInFlight = 0;
    failCalls(QStringLiteral("the page's renderer process ended before the page answered"));
}

void PageBridge::failCalls(const QString &reason)
{
    const QHash<quint64, Command *> calls = std::exchange(pendingCalls, {});
    for (Command *command : calls)
        command->complete(failureAnswer(reason), false);
}

void PageBridge::detach()
{
    page = nullptr;
}
