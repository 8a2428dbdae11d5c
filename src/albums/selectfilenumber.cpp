#include "selectfilenumber.h"

#include "app/session.h"
#include "songs/codetables.h"

#include <QBoxLayout>
#include <QPushButton>

namespace sv {

namespace {

BrowserSetup selectFileNumberSetup(const std::function<QString(qint64)> &categoryName,
                                   const std::function<QVariant()> &categoryRange)
{
    BrowserSetup setup;
    setup.procedure = QStringLiteral("SelectFileNumber");
    setup.windowTitle = QStringLiteral("Select File Number");
    setup.table = TableId::Songs;
    const thumb::Alphabet letters{false, false, true, false};
    const thumb::Alphabet lettersAndDigits{true, false, true, false};
    setup.tabs = {
        {QStringLiteral("By Artist"), mus::SongsByArtist, {}, true, lettersAndDigits},
        {QStringLiteral("By Title"), mus::SongsByTitle, {}, true, letters},
        {QStringLiteral("By Album"), mus::SongsByAlbum, {}, true, letters},
        {QStringLiteral("By Media"), mus::SongsByMedia, {}, true, letters},
        {QStringLiteral("By Category"), mus::SongsByCategory, categoryRange, true,
         lettersAndDigits},
        {QStringLiteral("By Chart #"), mus::SongsByChartNumber, {}, true, letters},
    };
    setup.listFormat = QStringLiteral(
        "100L(2)|M~Artist~@s50@120L(2)|M~Title~@s50@100L(2)|M~Album~@s50@50L(2)|M~Media~@s20@"
        "56L(2)|M~File Number~@s20@56R(2)|M~Release Date~@d17b@60L(2)|M~Category~@s30@");
    setup.columnText = {
        BrowserSetup::field(mus::Artist),
        BrowserSetup::field(mus::Title),
        BrowserSetup::field(mus::Album),
        BrowserSetup::field(mus::Media),
        BrowserSetup::field(mus::FileNumber),
        BrowserSetup::field(mus::ReleaseDate),
        {{mus::CategoryID},
         [categoryName](const Record &song, const QString &) {
             return categoryName(song.number(mus::CategoryID));
         }},
    };
    setup.hasForms = false;
    setup.minimumSize = QSize(480, 260);
    return setup;
}

} // namespace

SelectFileNumber::SelectFileNumber(Session &session, Request request, QWidget *parent)
    : Browser(
          session,
          selectFileNumberSetup(
              [this](qint64 id) { return m_categoryNames.name(id); },
              [&session] {
                  return session.store().table(TableId::Categories).buffer().value(cat::CategoryID);
              }),
          request, parent),
      m_categoryNames(session.store())
{
    m_lookups = session.files().use(session.store().table(TableId::Categories));
    for (const QString &caption :
         {QStringLiteral("&Insert"), QStringLiteral("&Change"), QStringLiteral("&Delete")})
        button(caption)->hide();
    button(QStringLiteral("&Select"))->setVisible(true);
    button(QStringLiteral("&Select"))->setEnabled(isSelectMode());
    m_selectCategory = new QPushButton(QStringLiteral("&Select Category"));
    connect(m_selectCategory, &QPushButton::clicked, this, &SelectFileNumber::selectCategory);
    auto *row = new QHBoxLayout;
    row->addWidget(m_selectCategory);
    row->addStretch();
    static_cast<QBoxLayout *>(layout())->insertLayout(layout()->count() - 1, row);
    currentTabChanged(currentTab());
}

void SelectFileNumber::currentTabChanged(int tab)
{
    if (m_selectCategory)
        m_selectCategory->setVisible(tab == ByCategory);
}

void SelectFileNumber::selectCategory()
{
    auto *picker = new CategoryBrowser(session(), Request::Select);
    if (!picker->start()) {
        delete picker;
        return;
    }
    setEnabled(false);
    connect(picker, &Browser::finished, this, [this](const WindowResult &result) {
        setEnabled(true);
        if (result.response == Response::Completed)
            rebuildView(list()->highlighted());
    });
    showProcedureWindow(this, picker);
}

} // namespace sv
