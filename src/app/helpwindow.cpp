#include "helpwindow.h"

#include <QDirIterator>
#include <QFile>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace sv {

namespace {

const QString HelpRoot = QStringLiteral(":/help/");

QString pageText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QString html = QString::fromUtf8(file.readAll());
    html.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    return html;
}

QString pageTitle(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return path;
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("<title>(.*)</title>"))
                                              .match(QString::fromUtf8(file.readAll()));
    return match.hasMatch() ? match.captured(1) : path;
}

} // namespace

HelpWindow::HelpWindow(Page page, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("SongVane Pro 98 Help"));
    m_browser = new QTextBrowser;
    m_browser->setSearchPaths({HelpRoot});
    m_searchBox = new QLineEdit;
    m_searchBox->setPlaceholderText(QStringLiteral("Type the words to find"));
    m_results = new QListWidget;
    m_results->setMaximumWidth(220);

    auto *searchColumn = new QVBoxLayout;
    searchColumn->addWidget(new QLabel(QStringLiteral("Search for:")));
    searchColumn->addWidget(m_searchBox);
    searchColumn->addWidget(m_results);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(searchColumn);
    layout->addWidget(m_browser, 1);

    connect(m_searchBox, &QLineEdit::returnPressed, this, [this] { search(m_searchBox->text()); });
    connect(m_results, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        m_browser->setSource(QUrl(QStringLiteral("qrc") + item->data(Qt::UserRole).toString()));
    });
    connect(m_results, &QListWidget::itemClicked, m_results, &QListWidget::itemActivated);

    showPage(page);
    resize(760, 520);
}

void HelpWindow::showPage(Page page)
{
    showTopic(page == Page::HowToUse ? QStringLiteral("howto.html") : QStringLiteral("index.html"));
    if (page == Page::Search)
        m_searchBox->setFocus();
}

void HelpWindow::showTopic(const QString &file)
{
    m_browser->setSource(QUrl(QStringLiteral("qrc") + HelpRoot + file));
}

QString HelpWindow::topicFor(const QWidget *window)
{
    static const QHash<QString, QString> topics{
        {QStringLiteral("BrowseSongs"), QStringLiteral("catalogue.html")},
        {QStringLiteral("UpdateSong"), QStringLiteral("catalogue.html")},
        {QStringLiteral("BrowseCategories"), QStringLiteral("catalogue.html")},
        {QStringLiteral("UpdateCategories"), QStringLiteral("catalogue.html")},
        {QStringLiteral("BrowseMedia"), QStringLiteral("catalogue.html")},
        {QStringLiteral("UpdateMedia"), QStringLiteral("catalogue.html")},
        {QStringLiteral("SelectAlbum"), QStringLiteral("catalogue.html")},
        {QStringLiteral("UpdateAlbum"), QStringLiteral("catalogue.html")},
        {QStringLiteral("SelectFileNumber"), QStringLiteral("catalogue.html")},
        {QStringLiteral("BrowseAlbums"), QStringLiteral("catalogue.html")},
        {QStringLiteral("XploreSongs"), QStringLiteral("catalogue.html")},
        {QStringLiteral("XploreAlbums"), QStringLiteral("catalogue.html")},
        {QStringLiteral("CdPlayer"), QStringLiteral("catalogue.html")},
        {QStringLiteral("Preferences"), QStringLiteral("settings.html")},
        {QStringLiteral("SetupWizard"), QStringLiteral("settings.html")},
        {QStringLiteral("FileManager"), QStringLiteral("maintenance.html")},
    };
    if (!window)
        return QStringLiteral("index.html");
    QString name = window->property("procedure").toString();
    if (name.isEmpty())
        name = QString::fromLatin1(window->metaObject()->className()).section(u':', -1);
    return topics.value(name, QStringLiteral("index.html"));
}

void HelpWindow::search(const QString &words)
{
    m_results->clear();
    const QStringList wanted = words.simplified().split(u' ', Qt::SkipEmptyParts);
    if (wanted.isEmpty())
        return;
    QDirIterator pages(HelpRoot, {QStringLiteral("*.html")});
    while (pages.hasNext()) {
        const QString path = pages.next();
        const QString text = pageText(path);
        bool all = true;
        for (const QString &word : wanted)
            all = all && text.contains(word, Qt::CaseInsensitive);
        if (!all)
            continue;
        auto *item = new QListWidgetItem(pageTitle(path), m_results);
        item->setData(Qt::UserRole, path);
    }
    m_results->sortItems();
}

} // namespace sv
