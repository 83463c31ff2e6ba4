// The JavaScript traffic of one page.
#ifndef KIVWEBVIEW_PAGE_BRIDGE_H
#define KIVWEBVIEW_PAGE_BRIDGE_H

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>

class QWebEnginePage;
struct Command;

// Scripts run in a page with or without an answer, the polls of its event
// queue, and the calls that wait for the page. It keeps what the page can
// still answer: a call whose document was replaced, or whose renderer has
// gone, ends instead of waiting for ever, and no poll is started that could
// not be answered or that another poll already covers.
class PageBridge : public QObject
{
    Q_OBJECT

public:
    // Receives the text of each "js-evt" event the page's queue yields.
    using Deliver = std::function<void(const QByteArray &eventText)>;

    PageBridge(QWebEnginePage *page, Deliver deliver, QObject *parent);

    // Runs code in the page's main world, asking for no answer.
    void run(const QString &code);
    // Runs code as the body of a function; completes the command with the
    // page's answer, or with a failure when the page can no longer answer.
    void call(const QString &code, Command *command);
    // Takes the page's queued items, unless a poll already waits for the
    // page or nothing could answer.
    void poll();

    // The page's loads and its renderer's end.
    void loadStarted();
    void loadFinished();
    void rendererTerminated();

    // Ends every call that waits for the page, with reason as its exception.
    void failCalls(const QString &reason);
    // The page goes (its calls have been ended by the close protocol): what
    // it answers afterwards is ignored.
    void detach();

    // How many polls have been started, and the call number of the one
    // that waits for the page (0: none).
    quint64 pollsStarted() const { return pollCount; }
    quint64 pollWaiting() const { return pollInFlight; }

private:
    void completeCall(quint64 callId, const QVariant &answer);
    void pollAnswered(quint64 pollId, const QVariant &answer);
    void deliverInOrder(const QByteArray &items);

    QWebEnginePage *page; // null once detached
    Deliver deliver;

    // Calls and polls share one numbering: a frame answers the scripts it
    // was given in order.
    quint64 lastCallId = 0;
    QHash<quint64, Command *> pendingCalls;
    // The renderer has ended and no new load has started.
    bool rendererGone = false;

    // At most one poll waits for the page at a time, since the next one
    // would take whatever the first leaves. A load may drop the document a
    // poll went to, with its answer; while a load runs, a poll that waited
    // for lostPollTicks turns counts as lost.
    quint64 pollInFlight = 0;
    quint64 pollCount = 0;
    quint64 pollTicks = 0;
    quint64 pollSentAtTick = 0;
    bool loading = false;
    static constexpr quint64 lostPollTicks = 20;

    // Event texts of answers taken from the page and not yet delivered.
    std::deque<QByteArray> undelivered;
};

#endif // KIVWEBVIEW_PAGE_BRIDGE_H
