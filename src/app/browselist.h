#pragma once

#include "pagemodel.h"
#include "scrollthumb.h"

#include <QSet>
#include <QWidget>

class QScrollBar;
class QTableView;

namespace sv {

// The list of a browser: one page of rows from a PageModel, a scroll bar whose thumb
// stands for 100 key values, and the keys that move through the view. It knows nothing of
// forms or buttons: it reports what the user asked for.
// How a list's columns are drawn beyond their texts, as its format's column flags ask.
struct ColumnMarks
{
    QSet<int> underlined;
    QSet<int> bordered; // a line on the right
    int fixed = 0;      // the leading columns that stay in place when scrolling sideways
};

class BrowseList : public QWidget
{
    Q_OBJECT

public:
    BrowseList(PageModel *model, QWidget *parent = nullptr);

    PageModel *model() const { return m_model; }
    QTableView *view() const { return m_view; }
    QScrollBar *scrollBar() const { return m_scrollBar; }

    int highlightedRow() const;
    RecordPosition highlighted() const;
    void highlightRow(int row);
    void highlight(RecordPosition position); // on the page, else the first row

    // Reads the page again (a new order, a refresh), keeping `keep` highlighted when it is
    // in the view; false when a read failed.
    bool refill(RecordPosition keep);
    // Reads the page again where it stands (another station may have changed it), keeping
    // the highlighted record, or the highlighted row when that record has gone.
    bool refresh();
    void rebuildThumb(int fieldLength, const thumb::Alphabet &alphabet);
    const QList<QVariant> &thumbValues() const { return m_thumbValues; }

    void setColumnMarks(const ColumnMarks &marks);
    // Whether the list scrolls sideways. With fixed columns it does so a column at a time,
    // hiding the first columns after the fixed ones, which keep their place.
    void setSideScroll(bool on);

    bool moveRows(int delta); // +1/-1 rows, +page/-page
    bool goTop();
    bool goBottom();
    bool dragThumbTo(int position); // 1..100
    // Shows the first record whose leading key field is at or after the value.
    bool locate(const QVariant &leadingValue);

Q_SIGNALS:
    void readFailed();
    void insertPressed();
    void deletePressed();
    void changePressed(); // Ctrl+Enter, double click
    void enterPressed();  // Enter alone
    void escapePressed();
    // The user moved through the list (keys, clicks, the wheel, the scroll bar).
    void navigated();
    void typed(const QString &text); // printable characters, space
    void backspacePressed();
    void contextMenuAt(const QPoint &globalPosition);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleKey(QKeyEvent *event);
    void scrollBarAction(int action);
    void showThumbPosition();
    void applySideScroll();
    void showColumnsFrom(int firstUnfixed);
    int visibleRows() const;
    // Reads the page and highlights on it; when the read waits for a search under way, the
    // highlight is given again once the search has ended and the read is done.
    bool read(const std::function<bool()> &read, std::function<void()> highlight);
    bool report(bool ok);

    PageModel *m_model;
    QTableView *m_view = nullptr;
    QScrollBar *m_scrollBar = nullptr;
    QScrollBar *m_sideBar = nullptr; // sideways past fixed columns
    ColumnMarks m_marks;
    bool m_sideScroll = true;
    QList<QVariant> m_thumbValues;
    bool m_adjustingThumb = false;
    std::function<void()> m_afterSearch;
};

} // namespace sv
