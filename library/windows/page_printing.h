// A page's window.print(): the page, printed to a PDF file the user names.
#ifndef KIVWEBVIEW_PAGE_PRINTING_H
#define KIVWEBVIEW_PAGE_PRINTING_H

#include <QObject>
#include <QString>

class WebviewWindow;

// The page asks to be printed: the user names a PDF file in the library's
// save dialog, modal to the window (a desktop may have no printer; a PDF
// file always works), and the page is printed there. The window reports
// {"event":"print-finished","oke":B,"path":P} when the file is written
// (B true) or could not be (B false); a cancelled dialog prints nothing and
// reports nothing. A page may open the dialog again only after a click or a
// key of the user's in between: further requests are dropped.
class PagePrinting : public QObject
{
    Q_OBJECT

public:
    explicit PagePrinting(WebviewWindow *window);

private:
    void requested();
    void ask();
    void finished(const QString &path, bool ok);

    WebviewWindow *window;
    bool asking = false;
    bool printing = false;
    bool askedBefore = false;
    quint64 gesturesWhenAsked = 0;
};

#endif // KIVWEBVIEW_PAGE_PRINTING_H
