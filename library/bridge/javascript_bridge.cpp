// The JavaScript bridge: the bridge script after every load, the 5 ms poll
// of each page's event queue, and JavaScript run with or without a result.
#include "kivwebview_qt_class.h"

#include "../core/command.h"
#include "../windows/webview_qt.h"
#include "../windows/webview_window.h"
#include "event_container.h"
#include "page_scripts.h"
#include "poll_answer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <cstring>

// ---------------------------------------------------------------------------
// Central object
// ---------------------------------------------------------------------------

void Kivwebview_qt::pageLoaded(int handle, bool ok)
{
    // The bridge run is submitted before the host hears of the load, so
    // whatever the host runs in reaction finds the bridge in place.
    runJs(handle, PageScripts::bridge.toUtf8().constData());
    noteLoadForExit();
    EventContainer event(QStringLiteral("page-loaded"));
    event[QStringLiteral("oke")] = ok;
    triggerEvent(handle, mkEventJson(event));
}

void Kivwebview_qt::onPageLoad(int) { }

void Kivwebview_qt::runJs(int handle, const char *js)
{
    if (WebviewWindow *w = windows.value(handle, nullptr))
        w->runJs(js ? QString::fromUtf8(js, static_cast<qsizetype>(std::strlen(js))) : QString());
}

void Kivwebview_qt::processJsEventQueues()
{
    // A callback may close windows while we go through them: work on a copy
    // of the handles and skip the ones that have left the table.
    const QList<int> handles = windows.keys();
    for (int handle : handles) {
        if (WebviewWindow *w = windows.value(handle, nullptr))
            w->processJsEvents();
    }
}

// ---------------------------------------------------------------------------
// Browser window
// ---------------------------------------------------------------------------

void WebviewWindow::runJs(const QString &code)
{
    webView->page()->runJavaScript(code, QWebEngineScript::MainWorld, {});
}

namespace {

// The answer of a call whose document went away before it answered.
QVariant pageReplacedAnswer()
{
    QVariantMap answer;
    answer.insert(
        QStringLiteral("exn"), QStringLiteral("the page was replaced before it answered"));
    answer.insert(QStringLiteral("oke"), false);
    answer.insert(QStringLiteral("result"), false);
    return answer;
}

} // namespace

void WebviewWindow::processJsEvents()
{
    // Polls and calls share one numbering. A frame answers the scripts it
    // was given in order, so when a poll answers while a call submitted
    // before it still waits, the poll reached another document: the call's
    // document was replaced, and the web engine drops its answer. Such a
    // call ends here rather than waiting for ever.
    if (rendererGone)
        return; // nothing answers until the next load
    ++pollTicks;
    if (pollInFlight != 0 && !(loading && pollTicks - pollSentAtTick >= lostPollTicks))
        return; // the poll that waits will take what the page has queued
    const quint64 pollId = ++lastCallId;
    pollInFlight = pollId;
    pollSentAtTick = pollTicks;
    ++pollCount;
    // Answers can arrive after the window is gone; the guard keeps them
    // from touching it.
    QPointer<WebviewWindow> self(this);
    webView->page()->runJavaScript(PageScripts::poll, [self, pollId](const QVariant &answer) {
        if (!self || !self->centralObject)
            return;
        if (self->pollInFlight == pollId)
            self->pollInFlight = 0;
        QList<quint64> lost;
        for (auto it = self->pendingCalls.cbegin(); it != self->pendingCalls.cend(); ++it) {
            if (it.key() < pollId)
                lost << it.key();
        }
        for (quint64 callId : std::as_const(lost))
            self->completeCall(callId, pageReplacedAnswer());
        QByteArray items = answer.toString().toUtf8();
        if (items == "[]")
            return; // the common case: nothing queued
        // The answer arrives inside one of the web engine's own tasks, and
        // the engine runs none of its tasks while one is on the stack: a
        // callback that opened a dialog there would hold back every page's
        // answers until the dialog closed. So the items are delivered from
        // an event of their own, in order, in this slice or the next.
        QMetaObject::invokeMethod(
            self.data(),
            [self, items = std::move(items)] {
                if (!self || !self->centralObject)
                    return;
                Kivwebview_qt *central = self->centralObject;
                const int handle = self->webView->id();
                forEachPageEvent(items, [central, handle](const QByteArray &text) {
                    central->deliverEvent(handle, text);
                });
            },
            Qt::QueuedConnection);
    });
}

namespace {

QString failureAnswer(const QString &reason)
{
    QJsonObject answer;
    answer.insert(QStringLiteral("exn"), reason);
    answer.insert(QStringLiteral("oke"), false);
    answer.insert(QStringLiteral("result"), false);
    return QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

} // namespace

void WebviewWindow::callJs(const QString &code, Command *command)
{
    if (rendererGone || closing) {
        command->ok = false;
        command->result = failureAnswer(
            QStringLiteral("the page's renderer process has ended; load a page first"));
        command->done = true;
        return;
    }
    const quint64 callId = ++lastCallId;
    pendingCalls.insert(callId, command);
    QPointer<WebviewWindow> self(this);
    webView->page()->runJavaScript(
        PageScripts::callWrapper(code), [self, callId](const QVariant &answer) {
            if (self)
                self->completeCall(callId, answer);
        });
}

void WebviewWindow::completeCall(quint64 callId, const QVariant &answer)
{
    Command *command = pendingCalls.take(callId);
    if (!command)
        return; // already ended: the window closed, the renderer died or the
                // page was replaced
    // Anything that is not an object counts as an empty one; reading "oke"
    // through the subscript adds it as null when it is missing.
    QJsonObject object = QJsonValue::fromVariant(answer).toObject();
    const QJsonValue oke = object[QStringLiteral("oke")];
    command->ok = oke.isBool() && oke.toBool();
    command->result = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    command->done = true;
    centralObject->commandCompleted(command);
}

void WebviewWindow::failPendingCalls(const QString &reason)
{
    const QHash<quint64, Command *> calls = std::exchange(pendingCalls, {});
    for (Command *command : calls) {
        command->ok = false;
        command->result = failureAnswer(reason);
        command->done = true;
        if (centralObject)
            centralObject->commandCompleted(command);
    }
}
