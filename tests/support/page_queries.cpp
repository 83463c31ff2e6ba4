#include "page_queries.h"

#include "test_support.h"

#include <QApplication>
#include <QJsonDocument>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace kivtest {

std::vector<std::string> itemsOf(int wv)
{
    std::vector<std::string> items;
    for (const QJsonObject &e : eventsNamed(wv, QStringLiteral("js-evt"))) {
        const QJsonObject item = e.value(QStringLiteral("js-evt")).toObject();
        items.push_back(QJsonDocument(item).toJson(QJsonDocument::Compact).toStdString());
    }
    return items;
}

namespace {

std::vector<std::string> textsNamed(int wv, const QString &name)
{
    std::vector<std::string> texts;
    for (const std::string &text : eventsOf(wv)) {
        if (parseObject(text).value(QStringLiteral("event")).toString() == name)
            texts.push_back(text);
    }
    return texts;
}

} // namespace

std::vector<std::string> pageEventTexts(int wv)
{
    return textsNamed(wv, QStringLiteral("js-evt"));
}

std::vector<std::string> loadTexts(int wv)
{
    return textsNamed(wv, QStringLiteral("page-loaded"));
}

long long renderProcessOf(const std::string &title)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() != QString::fromStdString(title))
            continue;
        if (auto *view = w->findChild<QWebEngineView *>())
            return view->page()->renderProcessPid();
    }
    return 0;
}

std::string commandLineOf(long long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (char &c : text)
        if (c == '\0')
            c = ' ';
    return text;
}

namespace {

// The fields of /proc/PID/stat after the command name: state, ppid, ...
std::string statFields(long long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t paren = stat.rfind(')');
    return paren == std::string::npos || paren + 2 >= stat.size() ? std::string()
                                                                  : stat.substr(paren + 2);
}

} // namespace

long long parentOf(long long pid)
{
    const std::string fields = statFields(pid);
    return fields.size() > 2 ? std::atoll(fields.c_str() + 2) : 0;
}

bool processRunning(long long pid)
{
    const std::string fields = statFields(pid);
    return !fields.empty() && fields[0] != 'Z' && fields[0] != 'X';
}

} // namespace kivtest
