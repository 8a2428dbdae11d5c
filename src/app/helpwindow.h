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

    QTextBrowser *browser() const { return m_browser; }
    void search(const QString &words); // lists the pages that hold every word
    QListWidget *results() const { return m_results; }

private:
    QTextBrowser *m_browser = nullptr;
    QLineEdit *m_searchBox = nullptr;
    QListWidget *m_results = nullptr;
};

} // namespace sv
