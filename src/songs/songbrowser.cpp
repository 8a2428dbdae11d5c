#include "songbrowser.h"

#include "codetables.h"
#include "querybuilder.h"
#include "songform.h"
#include "songtitle.h"

#include "app/mainframe.h"
#include "app/procedures.h"
#include "app/session.h"
#include "app/settings.h"
#include "platform/picture.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace sv {

namespace {

const QString MediaRange = QStringLiteral("BRW1::Sort3:Reset:MED:Media");
const QString CategoryRange = QStringLiteral("BRW1::Sort4:Reset:CAT:CategoryID");

QString udkTabCaption()
{
    const QString prompt = Settings::global().udkPrompt.trimmed();
    return prompt.isEmpty() ? QStringLiteral("By UDK")
                            : (QStringLiteral("By ") + prompt.left(10)).trimmed();
}

// The range values of the media and category orders: the media and category last
// selected, as the media and category buffers hold them (also bound by name for filters).
BrowserSetup songSetup(const std::function<QString(qint64)> &categoryName,
                       const std::function<QVariant()> &mediaRange,
                       const std::function<QVariant()> &categoryRange)
{
    BrowserSetup setup;
    setup.procedure = QStringLiteral("BrowseSongs");
    setup.plural = QStringLiteral("Songs");
    setup.table = TableId::Songs;
    setup.tabSetting = QStringLiteral("SongTab");
    const thumb::Alphabet letters{false, false, true, false};
    const thumb::Alphabet lettersAndDigits{true, false, true, false};
    setup.tabs = {
        {QStringLiteral("By Artist"), mus::SongsByArtist, {}, true, lettersAndDigits},
        {QStringLiteral("By Title"), mus::SongsByTitle, {}, true, letters},
        {QStringLiteral("By Album"), mus::SongsByAlbum, {}, true, letters},
        {QStringLiteral("By Media"), mus::SongsByMedia, mediaRange, true, letters},
        {QStringLiteral("By Category"), mus::SongsByCategory, categoryRange, true,
         lettersAndDigits},
        {QStringLiteral("By Chart #"), mus::SongsByChartNumber, {}, true, letters},
        {QStringLiteral("By BPM"), mus::KeyBeatsPerMinute, {}, true, letters},
        {udkTabCaption(), mus::SongsByUserDefinedKey, {}, true, letters},
    };
    setup.listFormat = QStringLiteral(
        "100L(2)|M~Artist~@s50@120L(2)|M~Title~@s50@100L(2)|M~Album~@s50@50L(2)|M~Media~@s20@"
        "56L(2)|M~File Number~@s20@60L(2)|M~Category~@s30@44R(2)|M~Time~@t4b@56R(2)|M~Released~"
        "@d17b@28R(2)|M~BPM~@n_4b@92L(2)|M~User Defined Key Field~@s30@56R(2)|M~Last Played~"
        "@d17-@26R(1)~Track~@p(<)pb@16R(1)|M@n3b@60L(2)|M~Style~@s30@52R(2)|M~Chart Number~@n3@");
    setup.columnText = {
        BrowserSetup::field(mus::Artist),
        {{mus::Title, mus::Skips, mus::Mix},
         [](const Record &song, const QString &) {
             Record copy = song;
             return SongDisplayTitle(copy);
         }},
        BrowserSetup::field(mus::Album),
        BrowserSetup::field(mus::Media),
        BrowserSetup::field(mus::FileNumber),
        {{mus::CategoryID},
         [categoryName](const Record &song, const QString &) {
             return categoryName(song.number(mus::CategoryID));
         }},
        BrowserSetup::field(mus::Time),
        BrowserSetup::field(mus::ReleaseDate),
        BrowserSetup::field(mus::BeatsPerMinute),
        BrowserSetup::field(mus::UserDefinedKeyField),
        BrowserSetup::field(mus::LastPlayed),
        BrowserSetup::field(mus::Side),
        BrowserSetup::field(mus::TrackNumber),
        BrowserSetup::field(mus::Style),
        BrowserSetup::field(mus::ChartNumber),
    };
    setup.addCaption = QStringLiteral("&Add");
    setup.minimumSize = QSize(560, 300);
    return setup;
}

BrowserSetup::ColumnText titleText()
{
    return {{mus::Title, mus::Skips, mus::Mix}, [](const Record &song, const QString &) {
                Record copy = song;
                return SongDisplayTitle(copy);
            }};
}

// One list whose order a click on a column's header chooses. Every column that shows a
// field of the song orders by it; the category's name is looked up and cannot.
BrowserSetup exploreSetup(const std::function<QString(qint64)> &categoryName)
{
    BrowserSetup setup = songSetup(categoryName, {}, {});
    setup.procedure = QStringLiteral("XploreSongs");
    setup.tabSetting.clear();
    setup.tabs = {{QStringLiteral("Explore Songs"), mus::SongsByArtist}};
    setup.locatorLength = 20;
    setup.columnText.clear();
    setup.listFormat = QStringLiteral(
        "100L(2)|M#MUS:Artist#~Artist~@s50@120L(2)|M#MUS:Title#~Title~@s50@"
        "100L(2)|M#MUS:Album#~Album~@s50@50L(2)|M#MUS:Media#~Media~@s20@"
        "56L(2)|M#MUS:FileNumber#~File Number~@s20@60L(2)|M#CAT:Category#~Category~@s30@"
        "44R(2)|M#MUS:Time#~Time~@t4b@60R(2)|M#MUS:ReleaseDate#~Release Date~@d2@"
        "28R(2)|M#MUS:BeatsPerMinute#~BPM~@n_4b@"
        "92L(2)|M#MUS:UserDefinedKeyField#~User Defined Key Field~@s30@"
        "56R(2)|M#MUS:LastPlayed#~Last Played~@d17-@60L(2)|M#MUS:Style#~Style~@s30@"
        "20R(2)|M#MUS:TrackNumber#~Trk~@n3@32R(2)|M#MUS:Side#~Side/Disc~@n2b@"
        "28R(2)|M#MUS:Rating#~Rating~@n2@");
    const auto plain = [](int field, int key, const char *description) {
        return BrowserSetup::exploreField(TableId::Songs, field, key, description);
    };
    setup.exploreColumns = {
        plain(mus::Artist, mus::SongsByArtist, "Artist"),
        {QStringLiteral("MUS:Title"), QStringLiteral("Title"), titleText(), mus::SongsByTitle},
        plain(mus::Album, mus::SongsByAlbum, "Album"),
        plain(mus::Media, mus::SongsByMedia, "Media"),
        plain(mus::FileNumber, mus::OrderFileNumber, "File Number"),
        {QStringLiteral("CAT:Category"),
         QStringLiteral("Category"),
         {{mus::CategoryID},
          [categoryName](const Record &song, const QString &) {
              return categoryName(song.number(mus::CategoryID));
          }},
         -1},
        plain(mus::Time, mus::OrderTime, "Time"),
        plain(mus::ReleaseDate, mus::OrderReleaseDate, "Release Date"),
        plain(mus::BeatsPerMinute, mus::OrderBeatsPerMinute, "Beats Per Minute"),
        plain(mus::UserDefinedKeyField, mus::OrderUserDefinedKey, "User Defined Key Field"),
        plain(mus::LastPlayed, mus::OrderLastPlayed, "Last Played"),
        plain(mus::Style, mus::OrderStyle, "Style"),
        plain(mus::TrackNumber, mus::OrderTrackNumber, "Track Number"),
        plain(mus::Side, mus::OrderSide, "Side/Disc"),
        plain(mus::Rating, mus::OrderRating, "Rating"),
    };
    return setup;
}

} // namespace

SongBrowser::SongBrowser(Session &session, Request request, QWidget *parent, BrowserStyle style)
    : Browser(session,
              style == BrowserStyle::Explore
                  ? exploreSetup([this](qint64 id) { return m_categoryNames.name(id); })
                  : songSetup(
                        [this](qint64 id) { return m_categoryNames.name(id); },
                        [&session] {
                            return session.store().table(TableId::Media).buffer().value(med::Media);
                        },
                        [&session] {
                            return session.store()
                                .table(TableId::Categories)
                                .buffer()
                                .value(cat::CategoryID);
                        }),
              request, parent),
      m_categoryNames(session.store())
{
    session.calledFromAlbumForm = false;
    Bindings &bindings = session.store().bindings();
    const Record &media = session.store().table(TableId::Media).buffer();
    const Record &category = session.store().table(TableId::Categories).buffer();
    bindings.bind(
        MediaRange, [&media] { return media.value(med::Media); }, ValueKind::Text);
    bindings.bind(
        CategoryRange, [&category] { return category.value(cat::CategoryID); }, ValueKind::Number);
    bindings.bindRecord(QStringLiteral("CAT"), category);
    bindings.bindRecord(QStringLiteral("MED"), media);
    m_lookups = session.files().use(
        {&session.store().table(TableId::Categories), &session.store().table(TableId::Media)});
    model()->setDragValue(QStringLiteral("application/x-songvane-song-id"), {mus::ID},
                          [](const Record &song) { return QString::number(song.number(mus::ID)); });
    list()->view()->setDragEnabled(true);
    list()->view()->setToolTip(QStringLiteral("Right-Click for Options"));
    locatorDisplay()->setText(QString());
    buildSongButtons();
}

void SongBrowser::buildSongButtons()
{
    auto *copyButton = new QPushButton(QStringLiteral("Cop&y"));
    connect(copyButton, &QPushButton::clicked, this, &SongBrowser::copy);
    auto *searchButton = new QPushButton(QStringLiteral("&Search"));
    connect(searchButton, &QPushButton::clicked, this, &SongBrowser::search);
    m_cancelSearch = new QPushButton(QStringLiteral("Cancel"));
    m_cancelSearch->setObjectName(QStringLiteral("cancelSearch"));
    m_cancelSearch->setToolTip(QStringLiteral("Stop searching (Esc)"));
    m_cancelSearch->hide();
    connect(m_cancelSearch, &QPushButton::clicked, model(), &PageModel::cancelSearch);
    // A search that must look at every song goes on between other work, a slice at a time:
    // the rows come as they are found, and Cancel, Esc or Reset Search stop it at once.
    model()->setSliced(true);
    connect(model(), &PageModel::searchProgress, this, [this] {
        m_cancelSearch->show();
        updateTitle();
    });
    connect(model(), &PageModel::searchFinished, this, [this](int found) {
        m_cancelSearch->hide();
        if (found > 0 && list()->highlighted() == 0)
            list()->highlightRow(0);
        updateTitle();
    });
    connect(list(), &BrowseList::escapePressed, model(), &PageModel::cancelSearch);
    m_resetSearch = new QPushButton(QStringLiteral("Reset Search"));
    m_resetSearch->setEnabled(false);
    connect(m_resetSearch, &QPushButton::clicked, this, [this] { setSearchFilter(QString()); });
    m_selectMedia = new QPushButton(QStringLiteral("Se&lect Media"));
    connect(m_selectMedia, &QPushButton::clicked, this, &SongBrowser::selectMedia);
    m_selectCategory = new QPushButton(QStringLiteral("Se&lect Category"));
    connect(m_selectCategory, &QPushButton::clicked, this, &SongBrowser::selectCategory);

    // The prompt and what has been typed have a row of their own: beside the buttons, the
    // prompt was cut short on the tabs that add a Select button.
    auto *vertical = static_cast<QVBoxLayout *>(layout());
    auto *prompt = new QHBoxLayout;
    prompt->addWidget(new QLabel(
        isExplore() ? QStringLiteral("Locator:")
                    : QStringLiteral("Quick Locator (select list box and type to locate):")));
    const int locatorAt = vertical->indexOf(locatorDisplay());
    vertical->removeWidget(locatorDisplay());
    prompt->addWidget(locatorDisplay(), 1);
    vertical->insertLayout(locatorAt, prompt);

    auto *row = new QHBoxLayout;
    row->addWidget(m_selectMedia);
    row->addWidget(m_selectCategory);
    row->addStretch();
    row->addWidget(copyButton);
    row->addWidget(searchButton);
    row->addWidget(m_cancelSearch);
    row->addWidget(m_resetSearch);
    // Import, export and the report of the order shown are windows of their own, started
    // as the frame starts them.
    for (const char *caption : {"&Import", "&Export", "&Print"}) {
        auto *button = new QPushButton(QString::fromUtf8(caption));
        const QString procedure = QString::fromUtf8(caption).remove(u'&');
        if (isExplore() && procedure == u"Print") {
            // The explore view leaves the choice of report to the frame's Reports menu.
            connect(button, &QPushButton::clicked, this, &SongBrowser::openReportsMenu);
            row->addWidget(button);
            continue;
        }
        button->setEnabled(Procedures::has(procedure == u"Print" ? reportProcedure() : procedure));
        connect(button, &QPushButton::clicked, this, [this, procedure] {
            startWindow(procedure == u"Print" ? reportProcedure() : procedure);
        });
        row->addWidget(button);
    }
    vertical->insertLayout(vertical->count() - 1, row);
    currentTabChanged(currentTab());
}

UpdateForm *SongBrowser::createForm(Request request)
{
    return createSongForm(session(), request, this);
}

// A category renamed here or by another station shows its new name at the next read.
void SongBrowser::forgetLookups()
{
    m_categoryNames.forget();
}

void SongBrowser::primeRange(Record &song)
{
    if (currentTab() == ByMedia)
        song.setText(mus::Media, session().store().table(TableId::Media).buffer().text(med::Media));
    else if (currentTab() == ByCategory)
        song.setNumber(
            mus::CategoryID,
            session().store().table(TableId::Categories).buffer().number(cat::CategoryID));
}

QString SongBrowser::viewFilter(const SortTab &) const
{
    return m_search;
}

void SongBrowser::currentTabChanged(int tab)
{
    if (m_selectMedia)
        m_selectMedia->setVisible(tab == ByMedia);
    if (m_selectCategory)
        m_selectCategory->setVisible(tab == ByCategory);
}

void SongBrowser::copy()
{
    if (!model()->isEmpty())
        callFormFor(Request::Select);
}

void SongBrowser::selectMedia()
{
    callSelector(new MediaBrowser(session(), Request::Select));
}

void SongBrowser::selectCategory()
{
    callSelector(new CategoryBrowser(session(), Request::Select));
}

void SongBrowser::setSearchFilter(const QString &filter)
{
    m_search = filter.trimmed().left(1024);
    m_resetSearch->setEnabled(!m_search.isEmpty());
    // A new search shows its first matches, not those around the old highlight.
    rebuildView(0);
}

void SongBrowser::updateTitle()
{
    if (model()->isSearching())
        setWindowTitle(QStringLiteral("Songs - %1 found so far").arg(model()->foundSoFar()));
    else if (!m_search.isEmpty() && model()->isEmpty())
        setWindowTitle(QStringLiteral("Songs - no songs match"));
    else
        Browser::updateTitle();
}

void SongBrowser::search()
{
    setEnabled(false);
    QueryBuilder::open(this, m_search, [this](bool finished, const QString &filter) {
        setEnabled(true);
        if (finished)
            setSearchFilter(filter);
    });
}

void SongBrowser::startWindow(const QString &procedure)
{
    if (auto *frame = qobject_cast<MainFrame *>(window()))
        frame->startProcedure(procedure);
}

void SongBrowser::openReportsMenu()
{
    auto *frame = qobject_cast<MainFrame *>(window());
    if (!frame)
        return;
    for (QAction *entry : frame->menuBar()->actions()) {
        if (entry->text() == u"&Reports" && entry->menu()) {
            frame->menuBar()->setActiveAction(entry);
            return;
        }
    }
}

QString SongBrowser::reportProcedure() const
{
    switch (currentTab()) {
    case ByTitle:
        return QStringLiteral("ReportSongsByTitle");
    case ByAlbum:
        return QStringLiteral("ReportSongsByAlbum");
    case ByMedia:
        return QStringLiteral("ReportSongsByMedia");
    case ByCategory:
        return QStringLiteral("ReportSongsByCategory");
    case ByChart:
        return QStringLiteral("ReportSongsByChartNumber");
    case ByBpm:
        return QStringLiteral("ReportSongsByBPM");
    case ByUdk:
        return QStringLiteral("ReportSongsByUDK");
    default:
        return QStringLiteral("ReportSongsByArtist");
    }
}

void SongBrowser::extendPopupMenu(QMenu *menu)
{
    for (const char *caption : {"&Print", "&Search", "&Import", "&Export"}) {
        QAction *entry = menu->addAction(QString::fromUtf8(caption));
        QString procedure = QString::fromUtf8(caption).remove(u'&');
        if (procedure == u"Print")
            procedure = reportProcedure();
        const bool searching = procedure == u"Search";
        entry->setEnabled(searching || Procedures::has(procedure));
        if (searching)
            connect(entry, &QAction::triggered, this, &SongBrowser::search);
        else
            connect(entry, &QAction::triggered, this,
                    [this, procedure] { startWindow(procedure); });
    }
    const QString duplicates = QStringLiteral("FindDuplicates");
    QAction *entry = menu->addAction(QStringLiteral("Find D&uplicates"));
    entry->setEnabled(Procedures::has(duplicates));
    connect(entry, &QAction::triggered, this, [this, duplicates] { startWindow(duplicates); });
}

} // namespace sv
