#include "browselist.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>

namespace sv {

namespace {

class MarkedColumnsDelegate : public QStyledItemDelegate
{
public:
    MarkedColumnsDelegate(const ColumnMarks &marks, QObject *parent)
        : QStyledItemDelegate(parent), m_marks(marks)
    {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!m_marks.bordered.contains(index.column()))
            return;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (m_marks.underlined.contains(index.column()))
            option->font.setUnderline(true);
    }

private:
    const ColumnMarks &m_marks;
};

} // namespace

BrowseList::BrowseList(PageModel *model, QWidget *parent) : QWidget(parent), m_model(model)
{
    m_view = new QTableView;
    m_view->setModel(model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setHighlightSections(false);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setShowGrid(false);
    m_view->setAlternatingRowColors(true);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->setWordWrap(false);
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);

    m_scrollBar = new QScrollBar(Qt::Vertical);
    m_scrollBar->setRange(1, thumb::Positions);
    m_scrollBar->setPageStep(10);
    connect(m_scrollBar, &QScrollBar::actionTriggered, this, &BrowseList::scrollBarAction);
    connect(m_scrollBar, &QScrollBar::sliderReleased, this, [this] {
        Q_EMIT navigated();
        dragThumbTo(m_scrollBar->value());
    });
    // A read that waited for a search to end replaces the page then: the highlight it asked
    // for is given again on the page it read.
    connect(model, &PageModel::searchFinished, this, [this] {
        if (const std::function<void()> highlight = std::exchange(m_afterSearch, nullptr))
            highlight();
    });
    connect(m_view, &QTableView::doubleClicked, this, [this] { Q_EMIT changePressed(); });
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        const QModelIndex index = m_view->indexAt(at);
        if (index.isValid())
            highlightRow(index.row());
        Q_EMIT contextMenuAt(m_view->viewport()->mapToGlobal(at));
    });

    m_view->setItemDelegate(new MarkedColumnsDelegate(m_marks, m_view));
    m_sideBar = new QScrollBar(Qt::Horizontal);
    m_sideBar->setPageStep(1);
    m_sideBar->hide();
    connect(m_sideBar, &QScrollBar::valueChanged, this,
            [this](int value) { showColumnsFrom(m_marks.fixed + value); });
    connect(model, &QAbstractItemModel::modelReset, this, &BrowseList::applySideScroll);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 0, 0);
    layout->addWidget(m_scrollBar, 0, 1);
    layout->addWidget(m_sideBar, 1, 0);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(0, 1);
}

void BrowseList::setColumnMarks(const ColumnMarks &marks)
{
    m_marks = marks;
    applySideScroll();
    m_view->viewport()->update();
}

void BrowseList::setSideScroll(bool on)
{
    m_sideScroll = on;
    applySideScroll();
}

void BrowseList::applySideScroll()
{
    const int columns = m_model->columnCount();
    const bool fixedColumns = m_marks.fixed > 0 && m_marks.fixed < columns;
    m_view->setHorizontalScrollBarPolicy(m_sideScroll && !fixedColumns ? Qt::ScrollBarAsNeeded
                                                                       : Qt::ScrollBarAlwaysOff);
    m_sideBar->setVisible(m_sideScroll && fixedColumns);
    m_sideBar->setRange(0, fixedColumns ? columns - m_marks.fixed - 1 : 0);
    showColumnsFrom(m_marks.fixed + m_sideBar->value());
}

void BrowseList::showColumnsFrom(int firstUnfixed)
{
    for (int column = 0; column < m_model->columnCount(); ++column)
        m_view->setColumnHidden(column, column >= m_marks.fixed && column < firstUnfixed);
}

int BrowseList::visibleRows() const
{
    const int rowHeight = m_view->verticalHeader()->defaultSectionSize();
    const int room = m_view->viewport()->height() > 0 ? m_view->viewport()->height() : 200;
    return qMax(1, room / rowHeight);
}

int BrowseList::highlightedRow() const
{
    const QModelIndex current = m_view->currentIndex();
    return current.isValid() ? current.row() : -1;
}

RecordPosition BrowseList::highlighted() const
{
    return m_model->positionAt(highlightedRow());
}

void BrowseList::highlightRow(int row)
{
    if (m_model->rowCount() == 0)
        return;
    row = qBound(0, row, m_model->rowCount() - 1);
    m_view->setCurrentIndex(m_model->index(row, 0));
    m_view->selectRow(row);
    showThumbPosition();
}

void BrowseList::highlight(RecordPosition position)
{
    const int row = m_model->rowOf(position);
    highlightRow(row < 0 ? 0 : row);
}

bool BrowseList::read(const std::function<bool()> &read, std::function<void()> highlight)
{
    m_afterSearch = nullptr;
    const bool ok = read();
    highlight();
    if (m_model->isSearching())
        m_afterSearch = std::move(highlight);
    return report(ok);
}

bool BrowseList::report(bool ok)
{
    if (!ok)
        Q_EMIT readFailed();
    return ok;
}

bool BrowseList::refresh()
{
    const RecordPosition keep = highlighted();
    const int row = highlightedRow();
    const RecordPosition top = m_model->positionAt(0);
    m_model->setPageSize(visibleRows());
    return read([this, top] { return top ? m_model->fillFrom(top) : m_model->fillFromTop(); },
                [this, keep, row] {
                    if (m_model->rowOf(keep) >= 0)
                        highlight(keep);
                    else
                        highlightRow(row);
                });
}

bool BrowseList::refill(RecordPosition keep)
{
    m_model->setPageSize(visibleRows());
    return read([this, keep] { return keep ? m_model->fillFrom(keep) : m_model->fillFromTop(); },
                [this, keep] { highlight(keep); });
}

void BrowseList::rebuildThumb(int fieldLength, const thumb::Alphabet &alphabet)
{
    QVariant lowest;
    QVariant highest;
    m_thumbValues.clear();
    if (!m_model->keyRange(lowest, highest))
        return;
    if (lowest.typeId() == QMetaType::QString)
        m_thumbValues =
            thumb::textValues(lowest.toString(), highest.toString(), fieldLength, alphabet);
    else
        m_thumbValues = thumb::numericValues(lowest.toLongLong(), highest.toLongLong());
    showThumbPosition();
}

void BrowseList::showThumbPosition()
{
    if (m_thumbValues.isEmpty() || highlightedRow() < 0)
        return;
    m_adjustingThumb = true;
    const int at = thumb::positionOf(m_thumbValues, m_model->firstKeyValueAt(highlightedRow()));
    // The thumb's values rise downward; a list in descending order runs them upward.
    m_scrollBar->setValue((m_model->isDescending() ? int(m_thumbValues.size()) - 1 - at : at) + 1);
    m_adjustingThumb = false;
}

bool BrowseList::moveRows(int delta)
{
    const int row = highlightedRow();
    const int page = m_model->pageSize();
    const auto toEnd = [this, delta] { highlightRow(delta > 0 ? m_model->rowCount() - 1 : 0); };
    if (delta == page || delta == -page)
        return read([this, delta] { return delta > 0 ? m_model->pageDown() : m_model->pageUp(); },
                    toEnd);
    const int target = row + delta;
    if (target >= 0 && target < m_model->rowCount()) {
        highlightRow(target);
        return true;
    }
    return read(
        [this, delta] {
            bool moved = false;
            return delta > 0 ? m_model->stepDown(moved) : m_model->stepUp(moved);
        },
        toEnd);
}

bool BrowseList::goTop()
{
    return read([this] { return m_model->fillFromTop(); }, [this] { highlightRow(0); });
}

bool BrowseList::goBottom()
{
    return read([this] { return m_model->fillFromBottom(); },
                [this] { highlightRow(m_model->rowCount() - 1); });
}

bool BrowseList::dragThumbTo(int position)
{
    if (m_adjustingThumb)
        return true;
    if (position <= 1)
        return goTop();
    if (position >= thumb::Positions || m_thumbValues.isEmpty())
        return goBottom();
    const int at = position - 1;
    return locate(
        m_thumbValues.at(m_model->isDescending() ? int(m_thumbValues.size()) - 1 - at : at));
}

bool BrowseList::locate(const QVariant &leadingValue)
{
    return read(
        [this, leadingValue] {
            RecordPosition found = 0;
            return m_model->fillFromLeadingValue(leadingValue, found);
        },
        [this] {
            if (const RecordPosition found = m_model->located())
                highlight(found);
            else
                highlightRow(m_model->rowCount() - 1);
        });
}

void BrowseList::scrollBarAction(int action)
{
    Q_EMIT navigated();
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        moveRows(1);
        break;
    case QAbstractSlider::SliderSingleStepSub:
        moveRows(-1);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        moveRows(m_model->pageSize());
        break;
    case QAbstractSlider::SliderPageStepSub:
        moveRows(-m_model->pageSize());
        break;
    case QAbstractSlider::SliderToMinimum:
        goTop();
        break;
    case QAbstractSlider::SliderToMaximum:
        goBottom();
        break;
    default:
        return;
    }
    // The slider keeps showing where the highlight stands, not where the click was.
    QMetaObject::invokeMethod(this, &BrowseList::showThumbPosition, Qt::QueuedConnection);
}

bool BrowseList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress)
        return handleKey(static_cast<QKeyEvent *>(event));
    if (watched == m_view->viewport() && event->type() == QEvent::Resize) {
        // The page holds as many rows as the list shows.
        if (m_model->pageSize() != visibleRows() && !m_model->isEmpty()) {
            const RecordPosition keep = highlighted();
            const RecordPosition top = m_model->positionAt(0);
            m_model->setPageSize(visibleRows());
            report(m_model->fillFrom(top));
            highlight(keep);
        }
        return false;
    }
    if (watched == m_view->viewport() && event->type() == QEvent::MouseButtonPress)
        Q_EMIT navigated();
    if (watched == m_view->viewport() && event->type() == QEvent::Wheel) {
        Q_EMIT navigated();
        const auto *wheel = static_cast<QWheelEvent *>(event);
        moveRows(wheel->angleDelta().y() > 0 ? -3 : 3);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool BrowseList::handleKey(QKeyEvent *event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Insert:
        Q_EMIT insertPressed();
        return true;
    case Qt::Key_Delete:
        Q_EMIT deletePressed();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (control)
            Q_EMIT changePressed();
        else
            Q_EMIT enterPressed();
        return true;
    case Qt::Key_Escape:
        Q_EMIT escapePressed();
        return false;
    case Qt::Key_Down:
        Q_EMIT navigated();
        moveRows(1);
        return true;
    case Qt::Key_Up:
        Q_EMIT navigated();
        moveRows(-1);
        return true;
    case Qt::Key_PageDown:
        Q_EMIT navigated();
        control ? goBottom() : moveRows(m_model->pageSize());
        return true;
    case Qt::Key_PageUp:
        Q_EMIT navigated();
        control ? goTop() : moveRows(-m_model->pageSize());
        return true;
    case Qt::Key_Home: // the first and the last record of the order, not of the page
        Q_EMIT navigated();
        goTop();
        return true;
    case Qt::Key_End:
        Q_EMIT navigated();
        goBottom();
        return true;
    case Qt::Key_Backspace:
        Q_EMIT backspacePressed();
        return true;
    default:
        break;
    }
    const QString text = event->text();
    if (!text.isEmpty() && !control && text.at(0).isPrint()) {
        Q_EMIT typed(text);
        return true;
    }
    return false;
}

} // namespace sv
