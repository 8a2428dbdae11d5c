#include "browser.h"

#include "formatlistbox.h"
#include "listformat.h"
#include "mainframe.h"
#include "platform/picture.h"
#include "session.h"
#include "settings.h"
#include "updateform.h"
#include "windowposition.h"

#include "platform/inifile.h"
#include "platform/paths.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/integrity.h"
#include "store/keytext.h"
#include "store/ordermaker.h"
#include "store/warnings.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace sv {

namespace {

const ListFormatKeys ExploreLayoutKeys{QStringLiteral("XploreOrigFormatString-"),
                                       QStringLiteral("XploreFormatString-"), false};

Qt::Alignment alignmentOf(QChar justification)
{
    switch (justification.unicode()) {
    case u'R':
        return Qt::AlignRight | Qt::AlignVCenter;
    case u'C':
        return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace

int headerOffset(const ListColumn &column)
{
    const qsizetype open = column.headerSuffix.indexOf(u'(');
    const qsizetype close = column.headerSuffix.indexOf(u')', open + 1);
    return open < 0 || close < 0 ? 0 : column.headerSuffix.mid(open + 1, close - open - 1).toInt();
}

void setHeaderPlacing(ListColumn &column, QChar justification, int offset)
{
    column.headerSuffix = QString(justification) + u'(' + QString::number(offset) + u')';
}

BrowserSetup::ColumnText BrowserSetup::field(int field)
{
    return {{field}, [field](const Record &record, const QString &picture) {
                return format(record.value(field), picture).trimmed();
            }};
}

BrowserSetup::ExploreColumn BrowserSetup::exploreField(TableId table, int field, int key,
                                                       const char *description)
{
    return {tableDef(table).fullName(field), QString::fromUtf8(description),
            BrowserSetup::field(field), key};
}

BrowserSetup BrowserSetup::oneList(const QString &procedure, const QString &title, TableId table,
                                   int key, int field, const QString &listFormat)
{
    BrowserSetup setup;
    setup.procedure = procedure;
    setup.windowTitle = title;
    setup.table = table;
    SortTab order;
    order.caption = title;
    order.key = key;
    order.incrementalLocator = false;
    order.thumbAlphabet.digits = true;
    setup.tabs = {order};
    setup.listFormat = listFormat;
    setup.columnText = {BrowserSetup::field(field)};
    setup.minimumSize = QSize(120, 120);
    return setup;
}

void showProcedureWindow(QWidget *near, QWidget *window)
{
    for (QWidget *ancestor = near; ancestor; ancestor = ancestor->parentWidget()) {
        if (auto *child = qobject_cast<QMdiSubWindow *>(ancestor)) {
            if (QMdiArea *area = child->mdiArea()) {
                showInWorkArea(area, window, [area, child](QMdiSubWindow *added) {
                    added->adjustSize();
                    // Over the window that called it, until it has a place of its own.
                    QPoint at = child->geometry().center() - added->rect().center();
                    const QSize room = area->viewport()->size();
                    at.setX(qBound(0, at.x(), qMax(0, room.width() - added->width())));
                    at.setY(qBound(0, at.y(), qMax(0, room.height() - added->height())));
                    added->move(at);
                });
                window->activateWindow();
                return;
            }
        }
    }
    window->show();
}

Browser::Browser(Session &session, const BrowserSetup &setup, Request request, QWidget *parent)
    : QWidget(parent), m_session(session), m_setup(setup), m_request(request)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setProperty("procedure", setup.procedure);
    m_model = new PageModel(table(), &session.store().bindings(), this);
    buildWindow();
}

Browser::~Browser() = default;

Table &Browser::table() const
{
    return m_session.store().table(m_setup.table);
}

void Browser::buildWindow()
{
    setMinimumSize(m_setup.minimumSize);
    m_list = new BrowseList(m_model);
    connect(m_list, &BrowseList::readFailed, this, &Browser::readFailed);
    connect(m_list, &BrowseList::insertPressed, this, &Browser::add);
    connect(m_list, &BrowseList::deletePressed, this, &Browser::remove);
    connect(m_list, &BrowseList::changePressed, this,
            [this] { isSelectMode() ? select() : change(); });
    connect(m_list, &BrowseList::typed, this, &Browser::typed);
    connect(m_list, &BrowseList::navigated, this, &Browser::resetLocator);
    connect(m_list, &BrowseList::escapePressed, this, &Browser::resetLocator);
    connect(m_list, &BrowseList::enterPressed, this, [this] {
        if (isSelectMode())
            select();
    });
    connect(m_list, &BrowseList::backspacePressed, this, &Browser::backspace);
    connect(m_list, &BrowseList::contextMenuAt, this, &Browser::showPopupMenu);

    auto *layout = new QVBoxLayout(this);
    if (m_setup.tabs.size() > 1) {
        m_tabBar = new QTabBar;
        for (const SortTab &tab : std::as_const(m_setup.tabs))
            m_tabBar->addTab(tab.caption);
        connect(m_tabBar, &QTabBar::currentChanged, this, &Browser::selectTab);
        layout->addWidget(m_tabBar);
    }
    layout->addWidget(m_list, 1);
    m_locatorLabel = new QLabel;
    layout->addWidget(m_locatorLabel);

    auto *buttons = new QHBoxLayout;
    if (isExplore()) {
        auto *properties = new QPushButton(QStringLiteral("View &Properties"));
        properties->setToolTip(QStringLiteral("Re-format Columns of BrowseBox"));
        connect(properties, &QPushButton::clicked, this, &Browser::viewProperties);
        buttons->addWidget(properties);
    }
    const struct
    {
        QString caption;
        std::function<void()> pressed;
    } entries[] = {{m_setup.selectCaption, [this] { select(); }},
                   {m_setup.addCaption, [this] { add(); }},
                   {m_setup.changeCaption, [this] { change(); }},
                   {m_setup.deleteCaption, [this] { remove(); }},
                   {m_setup.selectCaption, [this] { select(); }}};
    for (int i = 0; i < 5; ++i) {
        const auto &entry = entries[i];
        const bool isSelect = i == 0 || i == 4;
        if (isSelect && (i == 0) != m_setup.selectFirst)
            continue;
        auto *button = new QPushButton(entry.caption);
        connect(button, &QPushButton::clicked, this, entry.pressed);
        buttons->addWidget(button);
        m_buttons.insert(entry.caption, button);
    }
    m_select = m_buttons.value(m_setup.selectCaption);
    m_select->setVisible(isSelectMode());
    m_select->setEnabled(isSelectMode());
    m_select->setDefault(isSelectMode());
    addButtonRow(buttons);
    buttons->addStretch();
    auto *close = new QPushButton(m_setup.closeCaption);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    buttons->addWidget(close);
    m_buttons.insert(m_setup.closeCaption, close);
    layout->addLayout(buttons);
    setFocusProxy(m_list->view());
    m_list->view()->installEventFilter(this);
    if (isExplore()) {
        QHeaderView *header = m_list->view()->horizontalHeader();
        header->setSectionsClickable(true);
        connect(header, &QHeaderView::sectionClicked, this, &Browser::orderByColumn);
        m_list->view()->setToolTip(
            QStringLiteral("Click on header to change order, or right-click for options"));
    }
}

void Browser::addButtonRow(QLayout *) {}

QPushButton *Browser::button(const QString &caption) const
{
    return m_buttons.value(caption);
}

QString Browser::listFormat() const
{
    std::optional<ListFormat> format = ListFormat::parse(m_setup.listFormat);
    if (!format)
        return m_setup.listFormat;
    format->useDatePicture(Settings::global().dateFormat);
    return format->toString();
}

QList<BrowseColumn> Browser::columns() const
{
    QList<BrowseColumn> columns;
    const std::optional<ListFormat> format = ListFormat::parse(m_currentFormat);
    if (!format)
        return columns;
    for (int i = 0; i < format->columns.size(); ++i) {
        const ListColumn &column = format->columns.at(i);
        const BrowserSetup::ExploreColumn *explored =
            isExplore() ? exploreColumn(column.fieldTag()) : nullptr;
        if (isExplore() ? !explored : i >= m_setup.columnText.size())
            break;
        const BrowserSetup::ColumnText &shown =
            explored ? explored->shown : m_setup.columnText.at(i);
        const QString picture = u'@' + column.picture;
        // Indents are in dialog units, as widths are: four to a character.
        const QString indent(qMax(0, column.indent) / 4, u' ');
        columns.append(BrowseColumn{headerOf(i),
                                    [text = shown.text, picture, indent](const Record &r) {
                                        return indent + text(r, picture);
                                    },
                                    alignmentOf(column.justification), shown.fields,
                                    alignmentOf(explored && !column.headerSuffix.isEmpty()
                                                    ? column.headerSuffix.front()
                                                    : u'L')});
    }
    return columns;
}

const BrowserSetup::ExploreColumn *Browser::exploreColumn(const QString &field) const
{
    for (const BrowserSetup::ExploreColumn &column : m_setup.exploreColumns) {
        if (column.fieldName.compare(field, Qt::CaseInsensitive) == 0)
            return &column;
    }
    return nullptr;
}

// A layout's columns whose field this view does not know are left out: a layout written
// by another version, or by hand, shows what it can.
QString Browser::knownColumnsOnly(const QString &layout) const
{
    std::optional<ListFormat> format = ListFormat::parse(layout);
    if (!format)
        return QString();
    format->columns.removeIf(
        [this](const ListColumn &column) { return !exploreColumn(column.fieldTag()); });
    return format->columns.isEmpty() ? QString() : format->toString();
}

// The ordering column's header ends in ">" while ascending and "<" while descending.
QString Browser::headerOf(int column) const
{
    const std::optional<ListFormat> format = ListFormat::parse(m_currentFormat);
    if (!format || column < 0 || column >= format->columns.size())
        return QString();
    const ListColumn &shown = format->columns.at(column);
    if (!isExplore())
        return shown.header;
    const QString offset(qMax(0, headerOffset(shown)) / 4, u' ');
    if (column != orderColumn())
        return offset + shown.header;
    return offset + shown.header + (m_descending ? u'<' : u'>');
}

int Browser::orderColumn() const
{
    const std::optional<ListFormat> format = ListFormat::parse(m_currentFormat);
    if (!format || m_orderField.isEmpty())
        return -1;
    for (int i = 0; i < format->columns.size(); ++i) {
        if (format->columns.at(i).fieldTag().compare(m_orderField, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const BrowserSetup::ExploreColumn *Browser::exploreColumnAt(int column) const
{
    const std::optional<ListFormat> format = ListFormat::parse(m_currentFormat);
    if (!format || column < 0 || column >= format->columns.size())
        return nullptr;
    return exploreColumn(format->columns.at(column).fieldTag());
}

void Browser::orderByColumn(int column)
{
    const std::optional<ListFormat> format = ListFormat::parse(m_currentFormat);
    if (!isExplore() || !format || column < 0 || column >= format->columns.size())
        return;
    const ListColumn &clicked = format->columns.at(column);
    const BrowserSetup::ExploreColumn *explored = exploreColumnAt(column);
    if (!explored || explored->key < 0) {
        ask(Message{QStringLiteral("Xplore Template - Re-Order Option"),
                    QStringLiteral("Data cannot be ordered on column: ") + clicked.header +
                        QStringLiteral(" (") + clicked.fieldTag() + u')',
                    Ok, Ok, Icon::Exclamation});
        return;
    }
    if (!prepareOrder(explored->key, clicked.header))
        return;
    const int before = orderColumn();
    if (before == column) {
        m_descending = !m_descending;
    } else {
        m_orderField = explored->fieldName;
        m_descending = false;
    }
    m_model->setColumnHeader(before, headerOf(before));
    m_model->setColumnHeader(column, headerOf(column));
    resetLocator();
    rebuildView(m_list->highlighted());
}

// An order without an index of its own has one made first, on the side, with progress
// and Cancel; false when it was cancelled or could not be made (the user has been told).
bool Browser::prepareOrder(int key, const QString &header)
{
    if (OrderMaker::isReady(table(), key))
        return true;
    QProgressDialog progress(QStringLiteral("Preparing the order by %1...").arg(header),
                             QStringLiteral("Cancel"), 0, 0, this);
    progress.setWindowTitle(QStringLiteral("Ordering"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    OrderMaker maker(table(), key);
    QEventLoop waiting;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &waiting, [&] {
        if (progress.wasCanceled())
            maker.cancel();
        if (maker.isFinished())
            waiting.quit();
    });
    poll.start(15);
    if (!maker.isFinished())
        waiting.exec();
    progress.reset();
    if (maker.succeeded())
        return true;
    if (!progress.wasCanceled())
        ask(Message{
            QStringLiteral("Xplore Template - Re-Order Option"),
            QStringLiteral("The list cannot be ordered on %1 now: %2").arg(header, maker.failure()),
            Ok, Ok, Icon::Exclamation});
    return false;
}

// An explore view's columns are resized with the mouse only where the layout allows it.
void Browser::applyColumnFlags()
{
    const std::optional<ListFormat> format = ListFormat::parse(m_currentFormat);
    if (!isExplore() || !format)
        return;
    QHeaderView *header = m_list->view()->horizontalHeader();
    ColumnMarks marks;
    for (int i = 0; i < format->columns.size() && i < header->count(); ++i) {
        const ListColumn &column = format->columns.at(i);
        header->setSectionResizeMode(i, column.hasFlag(ListColumn::Resizable)
                                            ? QHeaderView::Interactive
                                            : QHeaderView::Fixed);
        if (column.hasFlag(ListColumn::Underline))
            marks.underlined.insert(i);
        if (column.hasFlag(ListColumn::Border))
            marks.bordered.insert(i);
        if (column.hasFlag(ListColumn::Fixed))
            marks.fixed = i + 1; // every column up to the last fixed one
    }
    m_list->setColumnMarks(marks);
}

QString Browser::listLayout() const
{
    return withColumnWidths(m_currentFormat, m_list->view()->horizontalHeader());
}

void Browser::applyListLayout(const QString &layout)
{
    const QString known = isExplore() ? knownColumnsOnly(layout) : layout;
    if (!ListFormat::parse(known))
        return;
    m_currentFormat = known;
    m_model->setColumns(columns());
    applyColumnWidths(m_currentFormat, m_list->view()->horizontalHeader());
    applyColumnFlags();
    if (m_model->hasView())
        m_list->refill(m_list->highlighted());
}

void Browser::viewProperties()
{
    auto *format = new FormatListbox(*this, m_setup.exploreColumns);
    format->setModal(true);
    format->show();
}

void Browser::applyListLook(const ListLook &look)
{
    m_look = look;
    QTableView *view = m_list->view();
    m_list->setSideScroll(look.horizontalScroll);
    m_list->scrollBar()->setVisible(look.verticalScroll);
    view->setFont(look.font);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Text, look.color.isValid() ? look.color : QColor(Qt::black));
    view->setPalette(palette);
    view->verticalHeader()->setDefaultSectionSize(
        look.lineHeight > 0 ? look.lineHeight : QFontMetrics(look.font).height() + 4);
    m_list->setContentsMargins(look.place.x(), look.place.y(), 0, 0);
    m_list->setMinimumSize(look.place.width(), look.place.height());
    m_list->setMaximumSize(look.place.width() > 0 ? look.place.width() : QWIDGETSIZE_MAX,
                           look.place.height() > 0 ? look.place.height() : QWIDGETSIZE_MAX);
    if (m_model->hasView())
        m_list->refill(m_list->highlighted());
}

namespace {

QString exploreEntry(const QString &stem, const QString &suffix)
{
    return stem + QStringLiteral("?Browse") + suffix;
}

} // namespace

void Browser::restoreExploreLook()
{
    const QString file = Paths::positionFile();
    const QString &section = m_setup.procedure;
    const QString &suffix = m_setup.listSuffix;
    const auto number = [&](const char *stem, qint64 fallback) {
        return IniFile::getNumber(section, exploreEntry(QString::fromLatin1(stem), suffix),
                                  fallback, file);
    };
    ListLook look;
    look.horizontalScroll = number("XploreHscroll-", 1) != 0;
    look.verticalScroll = number("XploreVscroll-", 1) != 0;
    look.lineHeight = int(number("XploreLineHeight-", 0));
    look.font = m_list->view()->font();
    const QString face =
        IniFile::get(section, exploreEntry(QStringLiteral("XploreFont-"), suffix), QString(), file);
    if (!face.isEmpty())
        look.font.setFamily(face);
    if (const qint64 points = number("XplorePoint-", 0); points > 0)
        look.font.setPointSize(int(points));
    const qint64 style = number("XploreStyle-", 0);
    look.font.setBold(style & 1);
    look.font.setItalic(style & 2);
    look.font.setUnderline(style & 4);
    if (const qint64 color = number("XploreColor-", -1); color >= 0)
        look.color = QColor::fromRgb(QRgb(color));
    look.place = QRect(int(number("XploreXpos-", 0)), int(number("XploreYpos-", 0)),
                       int(number("XploreWidth-", 0)), int(number("XploreHeight-", 0)));
    applyListLook(look);
    const std::optional<ListFormat> format = ListFormat::parse(m_currentFormat);
    const int previous = int(number("XplorePrevCol-", 1)) - 1;
    // The order of last time (its index made if need be), else the first one that is
    // ready; without either the list keeps the file's own key.
    m_orderField.clear();
    QList<ListColumn> candidates = format ? format->columns : QList<ListColumn>();
    if (previous >= 0 && previous < candidates.size())
        candidates.prepend(candidates.at(previous));
    for (const bool readyOnly : {false, true}) {
        for (const ListColumn &column : std::as_const(candidates)) {
            const BrowserSetup::ExploreColumn *candidate = exploreColumn(column.fieldTag());
            if (!candidate || candidate->key < 0 ||
                (readyOnly && !OrderMaker::isReady(table(), candidate->key)))
                continue;
            if (prepareOrder(candidate->key, column.header))
                m_orderField = candidate->fieldName;
            break;
        }
        if (!m_orderField.isEmpty())
            return;
    }
}

void Browser::saveExploreLook()
{
    const QString file = Paths::positionFile();
    const QString &section = m_setup.procedure;
    const QString &suffix = m_setup.listSuffix;
    const auto put = [&](const char *stem, qint64 value) {
        IniFile::putNumber(section, exploreEntry(QString::fromLatin1(stem), suffix), value, file);
    };
    put("XploreHscroll-", m_look.horizontalScroll ? 1 : 0);
    put("XploreVscroll-", m_look.verticalScroll ? 1 : 0);
    put("XploreLineHeight-", m_look.lineHeight);
    IniFile::put(section, exploreEntry(QStringLiteral("XploreFont-"), suffix), m_look.font.family(),
                 file);
    put("XplorePoint-", m_look.font.pointSize());
    put("XploreStyle-", (m_look.font.bold() ? 1 : 0) | (m_look.font.italic() ? 2 : 0) |
                            (m_look.font.underline() ? 4 : 0));
    put("XploreColor-", m_look.color.isValid() ? qint64(m_look.color.rgb() & 0xffffff) : -1);
    put("XploreXpos-", m_look.place.x());
    put("XploreYpos-", m_look.place.y());
    put("XploreWidth-", m_look.place.width());
    put("XploreHeight-", m_look.place.height());
    put("XplorePrevCol-", orderColumn() + 1);
}

bool Browser::start()
{
    m_tableUse = m_session.files().use(table());
    if (!m_tableUse)
        return false;
    resize(qMax(width(), 520), qMax(height(), 360));
    m_currentFormat = isExplore() ? knownColumnsOnly(restoredListFormat(
                                        m_setup.procedure, QStringLiteral("Browse"),
                                        m_setup.listSuffix, listFormat(), ExploreLayoutKeys))
                                  : restoredListFormat(m_setup.procedure, QStringLiteral("Browse"),
                                                       m_setup.listSuffix, listFormat());
    if (m_currentFormat.isEmpty())
        m_currentFormat = listFormat();
    if (isExplore())
        restoreExploreLook();
    m_model->setColumns(columns());
    applyColumnWidths(m_currentFormat, m_list->view()->horizontalHeader());
    applyColumnFlags();
    restoreLastTab();
    markTabBold();
    currentTabChanged(m_currentTab);
    rebuildView(0);
    m_list->view()->setFocus();
    return true;
}

void Browser::restoreLastTab()
{
    m_currentTab = 0;
    if (m_setup.tabSetting.isEmpty() || Settings::global().saveLastTab != 1)
        return;
    const int saved = int(settings::readNumber(m_setup.tabSetting, 1)) - 1;
    if (saved >= 0 && saved < m_setup.tabs.size())
        m_currentTab = saved;
    if (m_tabBar) {
        const QSignalBlocker quiet(m_tabBar);
        m_tabBar->setCurrentIndex(m_currentTab);
    }
}

void Browser::markTabBold()
{
    if (!m_tabBar)
        return;
    for (int tab = 0; tab < m_tabBar->count(); ++tab) {
        const bool current = tab == m_currentTab;
        m_tabBar->setTabText(tab, m_setup.tabs.at(tab).caption +
                                      (current ? QStringLiteral("   ") : QString()));
    }
    QFont bold = m_tabBar->font();
    bold.setBold(true);
    // A tab bar has one font: the current tab's caption is set apart by its trailing blanks
    // and drawn in bold through the style sheet of the selected tab.
    m_tabBar->setStyleSheet(QStringLiteral("QTabBar::tab:selected { font-weight: bold; }"));
}

void Browser::selectTab(int tab)
{
    if (tab < 0 || tab >= m_setup.tabs.size())
        return;
    const RecordPosition keep = m_list->highlighted();
    m_currentTab = tab;
    resetLocator();
    if (m_tabBar && m_tabBar->currentIndex() != tab) {
        const QSignalBlocker quiet(m_tabBar);
        m_tabBar->setCurrentIndex(tab);
    }
    markTabBold();
    currentTabChanged(tab);
    rebuildView(keep);
}

void Browser::rebuildView(RecordPosition keep)
{
    const SortTab &tab = m_setup.tabs.at(m_currentTab);
    const QVariant range = tab.rangeValue ? tab.rangeValue() : QVariant();
    m_rangeInForce = range;
    const BrowserSetup::ExploreColumn *ordering =
        isExplore() ? exploreColumn(m_orderField) : nullptr;
    const int key = ordering ? ordering->key : tab.key;
    if (!m_model->setView(key, viewFilter(tab), range, ordering && m_descending)) {
        setError(err::InvalidFilter);
        standardWarning(warning::ViewOpen);
    }
    forgetLookups();
    if (!m_list->refill(keep))
        return;
    // In a ranged order the thumb spreads over the field after the range.
    const int leading = m_model->leadingField();
    m_list->rebuildThumb(tableDef(m_setup.table).fields.at(leading).size, tab.thumbAlphabet);
    updateTitle();
    updateButtons();
}

void Browser::refresh()
{
    // Another window may have selected another media or category meanwhile: the ranged
    // order then lists that one's records.
    const SortTab &tab = m_setup.tabs.at(m_currentTab);
    if (tab.rangeValue && tab.rangeValue() != m_rangeInForce) {
        rebuildView(m_list->highlighted());
        return;
    }
    forgetLookups();
    if (m_list->refresh()) {
        updateTitle();
        updateButtons();
    }
}

void Browser::updateTitle()
{
    if (!m_setup.windowTitle.isEmpty()) {
        setWindowTitle(m_setup.windowTitle);
        return;
    }
    setWindowTitle(m_setup.plural + QStringLiteral(" - ") + QString::number(table().records()) +
                   QStringLiteral(" entries"));
}

void Browser::updateButtons()
{
    const bool rows = !m_model->isEmpty() && m_setup.hasForms;
    if (QPushButton *add = m_buttons.value(m_setup.addCaption))
        add->setEnabled(m_setup.hasForms);
    if (QPushButton *change = m_buttons.value(m_setup.changeCaption))
        change->setEnabled(rows);
    if (QPushButton *remove = m_buttons.value(m_setup.deleteCaption))
        remove->setEnabled(rows);
    if (isSelectMode())
        m_select->setEnabled(!m_model->isEmpty());
}

void Browser::readFailed()
{
    standardWarning(warning::RecordRetrieval, tableDef(m_setup.table).label);
    close();
}

// The highlighted record read again. One that another station deleted is said so and
// leaves the list, which stays open; any other failure ends the browser.
bool Browser::regetHighlighted()
{
    if (table().reget(m_list->highlighted()))
        return true;
    if (errorCode() == err::RecordNotFound) {
        Integrity::reportDeletedElsewhere(Integrity::Deleted::Gone);
        refresh();
    } else {
        readFailed();
    }
    return false;
}

void Browser::add()
{
    callForm(Request::Insert);
}

void Browser::change()
{
    if (!m_model->isEmpty())
        callForm(Request::Change);
}

void Browser::remove()
{
    if (!m_model->isEmpty())
        callForm(Request::Delete);
}

void Browser::select()
{
    if (!isSelectMode() || m_model->isEmpty())
        return;
    if (!regetHighlighted())
        return;
    m_selected = true;
    close();
}

void Browser::callForm(Request request)
{
    if (m_formOpen || !m_setup.hasForms)
        return;
    resetLocator();
    if (request == Request::Insert) {
        table().buffer().clear();
        primeRange(table().buffer());
    } else {
        // Read again under watch, so that the form can tell another station's change.
        table().watch();
        if (!regetHighlighted())
            return;
    }
    setEnabled(false);
    m_formOpen = true;
    const bool opened =
        openForm(request, [this, request](const WindowResult &result, RecordPosition record) {
            m_formOpen = false;
            formFinished(request, result, record);
        });
    if (!opened) {
        m_formOpen = false;
        setEnabled(true);
    }
}

void Browser::callSelector(Browser *selector)
{
    if (!selector->start()) {
        delete selector;
        return;
    }
    setEnabled(false);
    connect(selector, &Browser::finished, this, [this](const WindowResult &result) {
        setEnabled(true);
        if (result.response == Response::Completed)
            rebuildView(m_list->highlighted());
    });
    showProcedureWindow(this, selector);
}

bool Browser::openForm(Request request, FormDone done)
{
    UpdateForm *form = createForm(request);
    if (!form)
        return false;
    connect(form, &UpdateForm::finished, this,
            [done, form](const WindowResult &result) { done(result, form->recordPosition()); });
    if (form->start())
        showProcedureWindow(this, form);
    return true;
}

void Browser::formFinished(Request request, const WindowResult &result, RecordPosition formRecord)
{
    setEnabled(true);
    m_list->view()->setFocus();
    if (result.response == Response::Completed) {
        if (request == Request::Delete) {
            const int row = m_list->highlightedRow();
            const RecordPosition next = m_model->positionAt(row + 1);
            rebuildView(next ? next : m_model->positionAt(row - 1));
        } else {
            rebuildView(formRecord);
        }
    } else {
        refresh();
    }
    if (result.navigation == InsertAnother)
        add();
}

void Browser::typed(const QString &text)
{
    const SortTab &tab = m_setup.tabs.at(m_currentTab);
    if (!tab.locates)
        return;
    if (!tab.incrementalLocator) {
        stepLocate(text.at(0));
        return;
    }
    m_locator = (m_locator + text).left(m_setup.locatorLength);
    incrementalLocate();
}

void Browser::backspace()
{
    if (m_locator.isEmpty() || !m_setup.tabs.at(m_currentTab).incrementalLocator)
        return;
    m_locator.chop(1);
    incrementalLocate();
}

void Browser::resetLocator()
{
    m_locator.clear();
    m_locatorLabel->clear();
}

void Browser::incrementalLocate()
{
    m_locatorLabel->setText(m_locator);
    // The order's locator field: in a ranged order, the field after the range.
    const int leading = m_model->leadingField();
    const bool numeric = tableDef(m_setup.table).fields.at(leading).type != FieldType::String;
    const QVariant value =
        numeric ? QVariant(m_locator.trimmed().toLongLong()) : QVariant(m_locator);
    // The page answers only when the row before its first match is on the page too and
    // lies before the text; a match on the first row may have its target above the page.
    for (int row = 1; row < m_model->rowCount(); ++row) {
        const QVariant rowValue = m_model->firstKeyValueAt(row);
        const bool atOrAfter = numeric ? rowValue.toLongLong() >= value.toLongLong()
                                       : keyText(rowValue.toString()) >= keyText(m_locator);
        if (atOrAfter) {
            const QVariant before = m_model->firstKeyValueAt(row - 1);
            const bool beforeIsLess = numeric ? before.toLongLong() < value.toLongLong()
                                              : keyText(before.toString()) < keyText(m_locator);
            if (!beforeIsLess)
                break;
            m_list->highlightRow(row);
            return;
        }
    }
    m_list->locate(value);
}

void Browser::stepLocate(QChar letter)
{
    const QString wanted = QString(letter).toUpper();
    const auto beginsWithLetter = [this, &wanted](int row) {
        return m_model->textAt(row, 0).trimmed().left(1).toUpper() == wanted;
    };
    const int row = m_list->highlightedRow();
    if (row >= 0 && beginsWithLetter(row)) {
        m_list->moveRows(1);
        if (m_list->highlightedRow() != row && beginsWithLetter(m_list->highlightedRow()))
            return;
    }
    m_list->locate(wanted);
}

QMenu *Browser::buildPopupMenu()
{
    auto *menu = new QMenu(this);
    const bool rows = !m_model->isEmpty() && m_setup.hasForms;
    menu->addAction(QStringLiteral("&Add"), this, &Browser::add)->setEnabled(m_setup.hasForms);
    menu->addAction(QStringLiteral("&Change"), this, &Browser::change)->setEnabled(rows);
    menu->addAction(QStringLiteral("&Delete"), this, &Browser::remove)->setEnabled(rows);
    menu->addSeparator();
    extendPopupMenu(menu);
    return menu;
}

void Browser::showPopupMenu(const QPoint &at)
{
    QMenu *menu = buildPopupMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(at);
}

void Browser::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Placed once it stands in its final window (inside the frame, or on its own).
    if (!m_placed) {
        m_placed = true;
        restoreWindowPosition(m_setup.procedure, placementWindow(this));
    }
}

void Browser::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    takeOverToolbar();
}

bool Browser::eventFilter(QObject *watched, QEvent *event)
{
    // Coming back to the list (from another window, a form, another program) shows what
    // other stations and windows changed meanwhile; a closing pop-up menu changed nothing.
    if (watched == m_list->view() && event->type() == QEvent::FocusIn && m_tableUse &&
        !m_formOpen && static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
        refresh();
    return QWidget::eventFilter(watched, event);
}

void Browser::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        resetLocator();
    QWidget::keyPressEvent(event);
}

void Browser::takeOverToolbar()
{
    auto *frame = qobject_cast<MainFrame *>(window());
    if (!frame)
        return;
    const bool rows = !m_model->isEmpty() && m_setup.hasForms;
    frame->takeRecordButtons(
        this,
        {
            {RecordButton::Insert, {[this] { add(); }, m_setup.hasForms, {}}},
            {RecordButton::Change, {[this] { change(); }, rows, m_setup.changeCaption}},
            {RecordButton::Delete, {[this] { remove(); }, rows, m_setup.deleteCaption}},
            {RecordButton::LastPage, {[this] { m_list->goBottom(); }, true, {}}},
            {RecordButton::FirstPage, {[this] { m_list->goTop(); }, true, {}}},
            {RecordButton::NextPage, {[this] { m_list->moveRows(m_model->pageSize()); }, true, {}}},
            {RecordButton::PriorPage,
             {[this] { m_list->moveRows(-m_model->pageSize()); }, true, {}}},
            {RecordButton::NextRecord, {[this] { m_list->moveRows(1); }, true, {}}},
            {RecordButton::PriorRecord, {[this] { m_list->moveRows(-1); }, true, {}}},
            {RecordButton::Locate, {[this] { m_list->view()->setFocus(); }, true, {}}},
            {RecordButton::Help, {[frame] { frame->helpForActiveWindow(); }, true, {}}},
        });
}

void Browser::closeEvent(QCloseEvent *event)
{
    if (m_formOpen) {
        event->ignore();
        return;
    }
    if (m_tableUse) {
        if (!m_setup.tabSetting.isEmpty())
            settings::writeNumber(m_setup.tabSetting, m_currentTab + 1);
        saveListFormat(m_setup.procedure, QStringLiteral("Browse"), m_setup.listSuffix,
                       listLayout(), isExplore() ? ExploreLayoutKeys : ListFormatKeys{});
        if (isExplore())
            saveExploreLook();
        saveWindowPosition(m_setup.procedure, placementWindow(this));
    }
    Q_EMIT finished(
        WindowResult{m_selected ? Response::Completed : Response::Cancelled, 0, QString()});
    event->accept();
}

} // namespace sv
