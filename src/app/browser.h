#pragma once

#include "browselist.h"
#include "listformat.h"
#include "request.h"
#include "store/fileaccess.h"

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QTabBar;

namespace sv {

class Session;
class UpdateForm;

// A browser in tabs, one per order, or an explore view ordered by its column headers.
enum class BrowserStyle { Tabs, Explore };

// One sort order of a browser: a tab tied to a key, with an optional range filter and the
// characters its scroll thumb spreads over.
struct SortTab
{
    QString caption;
    int key = 0;
    // The value the order's leading key field is held to (a media name, a category): only
    // those records are listed. Empty: the whole table.
    std::function<QVariant()> rangeValue;
    bool incrementalLocator = true; // else the one-letter step locator
    thumb::Alphabet thumbAlphabet;
    bool locates = true; // false: an order without a locator field, where typing does nothing
};

// What a particular browser is made of; everything else is shared by all browsers.
struct BrowserSetup
{
    QString procedure;   // its POSITION.INI section, "BrowseMedia"
    QString plural;      // the title's noun, "Songs"
    QString windowTitle; // a fixed title instead of "<plural> - <count> entries"
    TableId table = TableId::Songs;
    QList<SortTab> tabs;
    QString listFormat; // the designed columns
    QString listSuffix; // ":1" for a numbered list control
    QString tabSetting; // "SongTab": the last tab kept in the settings file
    // How each column of the format shows a record, given the column's picture (which
    // follows the user's date format), and the fields it shows: the list reads those and
    // no others (the record given holds them, the order's key and blanks).
    struct ColumnText
    {
        QList<int> fields;
        std::function<QString(const Record &, const QString &picture)> text;
    };
    QList<ColumnText> columnText;
    // An explore view instead of tabs: one list ordered by clicking a column's header, its
    // columns picked by the user among these, each found in the layout by its field tag
    // (ListColumn::fieldTag). Its layout and look are kept under the explore entries.
    struct ExploreColumn
    {
        QString fieldName; // "MUS:Artist"; "CAT:Category" for a name looked up
        QString description;
        ColumnText shown;
        int key = -1; // the order a click on its header gives; -1: it cannot be ordered
    };
    QList<ExploreColumn> exploreColumns;
    // A column showing a field of the table through its picture, ordered by `key`.
    static ExploreColumn exploreField(TableId table, int field, int key, const char *description);
    static ColumnText field(int field); // the field shown through the column's picture
    // A small code list: one order by `key` with the one-letter locator, and one column
    // showing `field` as `listFormat` designs it.
    static BrowserSetup oneList(const QString &procedure, const QString &title, TableId table,
                                int key, int field, const QString &listFormat);
    int locatorLength = 30;
    QString addCaption = QStringLiteral("&Insert");
    QString changeCaption = QStringLiteral("&Change");
    QString deleteCaption = QStringLiteral("&Delete");
    QString selectCaption = QStringLiteral("&Select");
    QString closeCaption = QStringLiteral("Cl&ose");
    bool selectFirst = true; // the Select button before Insert (else after Delete)
    bool hasForms = true;    // false: a list to choose from only
    QSize minimumSize{200, 120};
};

// The shared behaviour of every browser: a paged list in one of several key orders, the
// locators, the forms it calls for insert, change and delete, select mode, and its layout
// kept in POSITION.INI.
class Browser : public QWidget
{
    Q_OBJECT

public:
    Browser(Session &session, const BrowserSetup &setup, Request request,
            QWidget *parent = nullptr);
    ~Browser() override;

    // Opens the tables and fills the first page; false when the table could not be opened
    // (the user has been told).
    bool start();

    BrowseList *list() const { return m_list; }
    int currentTab() const { return m_currentTab; }
    void selectTab(int tab);
    QString locatorText() const { return m_locator; }
    bool isSelectMode() const { return m_request == Request::Select; }
    QPushButton *button(const QString &caption) const;
    QMenu *buildPopupMenu();
    Table &table() const;

    void add();
    void change();
    void remove();
    void select();
    void refresh(); // the page and the count read again, the highlighted record kept

    // Explore views.
    bool isExplore() const { return !m_setup.exploreColumns.isEmpty(); }
    // Orders the list by a column as a click on its header does: a second click on the
    // ordering column turns the order round.
    void orderByColumn(int column);
    int orderColumn() const; // of the columns shown; -1 when none orders
    const BrowserSetup::ExploreColumn *exploreColumnAt(int column) const; // of those shown
    bool isDescending() const { return m_descending; }
    QString listLayout() const; // the layout shown, with its widths as they are now
    QString designedLayout() const { return listFormat(); }
    // Shows the list in this layout at once (columns, headers, widths, justification).
    void applyListLayout(const QString &layout);
    struct ListLook
    {
        bool horizontalScroll = true;
        bool verticalScroll = true;
        int lineHeight = 0; // 0: the font's
        QFont font;
        QColor color;
        QRect place; // the list's offset (x, y) and size (0: as much as there is)
    };
    ListLook listLook() const { return m_look; }
    void applyListLook(const ListLook &look);
    void viewProperties();  // the format window of an explore view
    void takeOverToolbar(); // the frame's record and navigation buttons act on this list

Q_SIGNALS:
    void finished(const WindowResult &result);

protected:
    // Makes the form for a request on the record in the shared buffer; null when the
    // table has no form.
    virtual UpdateForm *createForm(Request request) = 0;
    // Opens the form and calls `done` when it has ended, with the record it wrote; false
    // when no form opened. Browsers whose form is not an UpdateForm open their own.
    using FormDone = std::function<void(const WindowResult &, RecordPosition)>;
    virtual bool openForm(Request request, FormDone done);
    // Fills the range field of a filtered tab into a new record.
    virtual void primeRange(Record &) {}
    // The filter of a tab's view beyond its range: none by default.
    virtual QString viewFilter(const SortTab &) const { return QString(); }
    virtual void extendPopupMenu(QMenu *) {}
    // Before the list is read again: names looked up for its columns may have changed.
    virtual void forgetLookups() {}
    virtual void currentTabChanged(int) {}

    Session &session() const { return m_session; }
    const BrowserSetup &setup() const { return m_setup; }
    void rebuildView(RecordPosition keep);
    void callFormFor(Request request) { callForm(request); }
    // Opens a browser in select mode (the media or category list) over this one, which
    // waits for it and shows the chosen range afterwards.
    void callSelector(Browser *selector);
    PageModel *model() const { return m_model; }
    QLabel *locatorDisplay() const { return m_locatorLabel; }
    virtual void updateTitle();
    void addButtonRow(QLayout *row);

    void closeEvent(QCloseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    QString listFormat() const;
    QList<BrowseColumn> columns() const;
    void restoreLastTab();
    void markTabBold();
    void callForm(Request request);
    void formFinished(Request request, const WindowResult &result, RecordPosition formRecord);
    void typed(const QString &text);
    void backspace();
    void incrementalLocate();
    void resetLocator();
    void stepLocate(QChar letter);
    void readFailed();
    bool regetHighlighted();
    const BrowserSetup::ExploreColumn *exploreColumn(const QString &field) const;
    QString knownColumnsOnly(const QString &layout) const;
    QString headerOf(int column) const;
    bool prepareOrder(int key, const QString &header);
    void restoreExploreLook();
    void applyColumnFlags();
    void saveExploreLook();
    void showPopupMenu(const QPoint &at);
    void updateButtons();

    Session &m_session;
    BrowserSetup m_setup;
    Request m_request;
    PageModel *m_model = nullptr;
    BrowseList *m_list = nullptr;
    QTabBar *m_tabBar = nullptr;
    QLabel *m_locatorLabel = nullptr;
    QHash<QString, QPushButton *> m_buttons;
    QPushButton *m_select = nullptr;
    QString m_currentFormat;
    QVariant m_rangeInForce; // the range value the view was built with
    QString m_locator;
    int m_currentTab = 0;
    QString m_orderField; // the explore column that orders the list
    bool m_descending = false;
    ListLook m_look;
    TableUse m_tableUse;
    bool m_selected = false;
    bool m_placed = false;
    bool m_formOpen = false;
};

// An explore view's header placing, kept after the header in its layout: "C(1)" is
// centred, one character in.
int headerOffset(const ListColumn &column);
void setHeaderPlacing(ListColumn &column, QChar justification, int offset);

// Shows a window the way the program shows its procedures: as a child of the frame's
// work area when `near` is inside one, else as a window of its own.
void showProcedureWindow(QWidget *near, QWidget *window);

} // namespace sv
