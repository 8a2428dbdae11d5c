#include "albumbrowser.h"

#include "albumform.h"

#include "app/browselist.h"
#include "app/mainframe.h"
#include "app/procedures.h"
#include "app/session.h"
#include "songs/codetables.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace sv {

namespace {

const QString SingleArtistWizard = QStringLiteral("AddSingleArtist");
const QString CompilationWizard = QStringLiteral("AddCompilation");
const QString AlbumSheet = QStringLiteral("ReportAlbumSheet");

BrowserSetup albumSetup(const std::function<QVariant()> &categoryRange)
{
    BrowserSetup setup;
    setup.procedure = QStringLiteral("BrowseAlbums");
    setup.plural = QStringLiteral("Albums");
    setup.table = TableId::Albums;
    setup.tabSetting = QStringLiteral("AlbumTab");
    setup.listSuffix = QStringLiteral(":1");
    const thumb::Alphabet letters{false, false, true, false};
    const thumb::Alphabet lettersAndDigits{true, false, true, false};
    // The category orders list one category's albums; their leading field is the range, so
    // they have no locator field.
    setup.tabs = {
        {QStringLiteral("Album"), alb::KeyAlbum, {}, true, letters},
        {QStringLiteral("Artist"), alb::KeyArtist, {}, true, lettersAndDigits},
        {QStringLiteral("File #"), alb::KeyFileNumber, {}, true, lettersAndDigits},
        {QStringLiteral("Category"), alb::KeyCategory, categoryRange, true, letters, false},
        {QStringLiteral("Cat/Art"), alb::KeyCategoryArtist, categoryRange, true, lettersAndDigits,
         false},
    };
    // Wide enough for a whole date and file number in today's proportional fonts, as in
    // the song list.
    setup.listFormat = QStringLiteral(
        "100L(2)|M~Artist~@s50@120L(2)|M~Album~@s50@50L(2)|M~Media~@s20@56L(2)|M~File Number~"
        "@s20@60R(2)|M~Released~C(1)@d2@128R(2)|M~XCCD~C(1)@s32@");
    setup.columnText = {
        BrowserSetup::field(alb::Artist),      BrowserSetup::field(alb::Album),
        BrowserSetup::field(alb::Media),       BrowserSetup::field(alb::FileNumber),
        BrowserSetup::field(alb::ReleaseDate), BrowserSetup::field(alb::XCCD),
    };
    setup.addCaption = QStringLiteral("&Add");
    setup.minimumSize = QSize(520, 280);
    return setup;
}

// One list whose order a click on a column's header chooses.
BrowserSetup exploreSetup()
{
    BrowserSetup setup = albumSetup({});
    setup.procedure = QStringLiteral("XploreAlbums");
    setup.tabSetting.clear();
    setup.tabs = {{QStringLiteral("Albums"), alb::KeyAlbum}};
    setup.locatorLength = 15;
    setup.columnText.clear();
    setup.listFormat = QStringLiteral(
        "120L(2)|M#ALB:Album#~Album~@s50@100L(2)|M#ALB:Artist#~Artist~@s50@"
        "50L(2)|M#ALB:Media#~Media~@s20@56L(2)|M#ALB:FileNumber#~File Number~@s20@"
        "60R(2)|M#ALB:ReleaseDate#~Release Date~C(1)@d2@128L(2)|M#ALB:XCCD#~XCCD~C(1)@s32@");
    const auto plain = [](int field, int key, const char *description) {
        return BrowserSetup::exploreField(TableId::Albums, field, key, description);
    };
    setup.exploreColumns = {
        plain(alb::Album, alb::OrderAlbum, "Album"),
        plain(alb::Artist, alb::OrderArtist, "Artist"),
        plain(alb::Media, alb::OrderMedia, "Media"),
        plain(alb::FileNumber, alb::OrderFileNumber, "File Number"),
        plain(alb::ReleaseDate, alb::OrderReleaseDate, "Release Date"),
        plain(alb::XCCD, alb::OrderXccd, "CDDB Number"),
    };
    return setup;
}

} // namespace

AlbumBrowser::AlbumBrowser(Session &session, Request request, QWidget *parent, BrowserStyle style)
    : Browser(session, style == BrowserStyle::Explore ? exploreSetup() : albumSetup([&session] {
                  return session.store().table(TableId::Categories).buffer().value(cat::CategoryID);
              }),
              request, parent)
{
    // The names the category orders' ranges go by in filter expressions.
    const Record &category = session.store().table(TableId::Categories).buffer();
    for (const char *name :
         {"BRW1::Sort3:Reset:CAT:CategoryID", "BRW1::Sort4:Reset:CAT:CategoryID"})
        session.store().bindings().bind(
            QString::fromUtf8(name), [&category] { return category.value(cat::CategoryID); },
            ValueKind::Number);
    list()->view()->setToolTip(QStringLiteral("Right-Click for Options"));
    resize(900, 520); // every column in sight until the user gives it a place of its own
    buildAlbumButtons();
    connect(model(), &QAbstractItemModel::modelReset, this, &AlbumBrowser::updateAlbumButtons);
}

void AlbumBrowser::buildAlbumButtons()
{
    m_selectCategory = new QPushButton(QStringLiteral("Select Cate&gory"));
    connect(m_selectCategory, &QPushButton::clicked, this, &AlbumBrowser::selectCategory);
    m_copy = new QPushButton(QStringLiteral("Cop&y"));
    m_copy->setToolTip(QStringLiteral("Copy record"));
    connect(m_copy, &QPushButton::clicked, this, &AlbumBrowser::copy);
    m_print = new QPushButton(QStringLiteral("&Print"));
    m_print->setToolTip(QStringLiteral("Print information"));
    connect(m_print, &QPushButton::clicked, this, &AlbumBrowser::printAlbum);
    m_singleArtist = new QPushButton(QStringLiteral("Single Artist Wi&zard"));
    m_singleArtist->setEnabled(Procedures::has(SingleArtistWizard));
    connect(m_singleArtist, &QPushButton::clicked, this, &AlbumBrowser::singleArtistWizard);
    m_compilation = new QPushButton(QStringLiteral("Compilation Wizard"));
    m_compilation->setEnabled(Procedures::has(CompilationWizard));
    connect(m_compilation, &QPushButton::clicked, this, &AlbumBrowser::compilationWizard);

    // Shown on the category tabs only, its place kept so that the row does not jump.
    QSizePolicy keepPlace = m_selectCategory->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_selectCategory->setSizePolicy(keepPlace);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(
        isExplore() ? QStringLiteral("Locator:")
                    : QStringLiteral("Quick Locator (select list box and type to locate):")));
    row->addWidget(m_selectCategory);
    row->addStretch();
    row->addWidget(m_singleArtist);
    row->addWidget(m_compilation);
    auto *rows = static_cast<QVBoxLayout *>(layout());
    rows->insertLayout(rows->count() - 1, row);
    // Copy and Print beside the record buttons, before the stretch that leads to Close.
    auto *recordRow = static_cast<QBoxLayout *>(rows->itemAt(rows->count() - 1)->layout());
    const int close = recordRow->indexOf(button(QStringLiteral("Cl&ose")));
    recordRow->insertWidget(close - 1, m_copy);
    recordRow->insertWidget(close, m_print);
    m_print->setVisible(!isExplore()); // the explore view prints from its pop-up menu
    currentTabChanged(currentTab());
    updateAlbumButtons();
}

void AlbumBrowser::updateAlbumButtons()
{
    m_copy->setEnabled(!model()->isEmpty());
    m_print->setEnabled(!model()->isEmpty() && Procedures::has(AlbumSheet));
}

// The album sheet of the highlighted album, which the report reads from the album buffer.
void AlbumBrowser::printAlbum()
{
    auto *frame = qobject_cast<MainFrame *>(window());
    const RecordPosition highlighted = list()->highlighted();
    if (!frame || !highlighted || !table().reget(highlighted))
        return;
    frame->startProcedure(AlbumSheet);
}

UpdateForm *AlbumBrowser::createForm(Request request)
{
    return new AlbumForm(session(), request);
}

void AlbumBrowser::primeRange(Record &album)
{
    if (currentTab() == ByCategory || currentTab() == ByCategoryArtist)
        album.setNumber(
            alb::CategoryID,
            session().store().table(TableId::Categories).buffer().number(cat::CategoryID));
}

void AlbumBrowser::currentTabChanged(int tab)
{
    if (m_selectCategory)
        m_selectCategory->setVisible(tab == ByCategory || tab == ByCategoryArtist);
}

// The form makes the copy of the album the buffer holds, titled as a copy.
void AlbumBrowser::copy()
{
    if (!model()->isEmpty())
        callFormFor(Request::Select);
}

void AlbumBrowser::selectCategory()
{
    callSelector(new CategoryBrowser(session(), Request::Select));
}

void AlbumBrowser::singleArtistWizard()
{
    startWizard(SingleArtistWizard);
}

void AlbumBrowser::compilationWizard()
{
    startWizard(CompilationWizard);
}

void AlbumBrowser::startWizard(const QString &procedure)
{
    auto *frame = qobject_cast<MainFrame *>(window());
    if (!frame || !Procedures::has(procedure))
        return;
    QWidget *wizard = frame->startProcedure(procedure);
    if (!wizard) {
        refresh();
        return;
    }
    connect(wizard, &QObject::destroyed, this, [this] { refresh(); });
}

void AlbumBrowser::extendPopupMenu(QMenu *menu)
{
    const auto addButton = [menu](QPushButton *button) {
        QAction *entry = menu->addAction(button->text(), button, &QPushButton::click);
        entry->setEnabled(button->isEnabled());
    };
    addButton(m_copy);
    menu->addSeparator();
    addButton(m_singleArtist);
    addButton(m_compilation);
    menu->addSeparator();
    addButton(m_print);
    menu->addSeparator();
    // The label wizard and the flap page read the highlighted album from the album buffer.
    const bool rows = !model()->isEmpty();
    for (auto [caption, procedure] : {std::pair{"Create Label...", "CreateLabel"},
                                      std::pair{"Quick CD Insert", "QuickCDInsert"}}) {
        const QString name = QString::fromLatin1(procedure);
        menu->addAction(QString::fromLatin1(caption), this, [this, name] { startForAlbum(name); })
            ->setEnabled(rows && Procedures::has(name));
    }
}

void AlbumBrowser::startForAlbum(const QString &procedure)
{
    auto *frame = qobject_cast<MainFrame *>(window());
    const RecordPosition highlighted = list()->highlighted();
    if (!frame || !highlighted || !table().reget(highlighted))
        return;
    frame->startProcedure(procedure);
}

} // namespace sv
