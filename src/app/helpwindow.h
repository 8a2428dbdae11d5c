#pragma once

#include <QWidget>

class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace sv {

// The program's help: pages that ship with it, shown at the contents, with a search over
// every page, or at the page on how to use help.
class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    enum class Page { Contents, Search, HowToUse };
    explicit HelpWindow(Page page, QWidget *parent = nullptr);

    void showPage(Page page);
    void showTopic(const QString &file); // a page of the help by its file, "catalogue.html"
    // The page that explains a window: by its procedure name, else by its kind.
    static QString topicFor(const QWidget *window);

    QTextBrowser *browser() const { return m_browser; }
    void search(const QString &words); // lists the pages that hold every word
    QListWidget *results() const { return m_results; }

private:
    QTextBrowser *m_browser = nullptr;
    QLineEdit *m_searchBox = nullptr;
    QListWidget *m_results = nullptr;
};

} // namespace sv
