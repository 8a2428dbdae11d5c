#include "previewwindow.h"

#include "reportoutput.h"

#include "app/session.h"
#include "app/windowposition.h"
#include "exchange/filechooser.h"
#include "platform/prompter.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>

namespace sv::reports {

namespace {

constexpr int Gap = 12; // pixels between pages and around them

struct ZoomEntry
{
    PreviewWindow::Zoom zoom;
    const char *menu;
    const char *status;
    double factor; // 0: worked out from the window
};

const ZoomEntry zoomEntries[] = {
    {PreviewWindow::Zoom::NoZoom, "No &Zoom", "Zoom (No Zoom)", 0},
    {PreviewWindow::Zoom::PageWidth, "Page &Width", "Zoom (Page Width)", 0},
    {PreviewWindow::Zoom::Percent50, "&50 Percent", "Zoom (50%)", 0.5},
    {PreviewWindow::Zoom::Percent75, "&75 Percent", "Zoom (75%)", 0.75},
    {PreviewWindow::Zoom::Percent100, "&100 Percent", "Zoom (100%)", 1.0},
    {PreviewWindow::Zoom::Percent200, "&200 Percent", "Zoom (200%)", 2.0},
    {PreviewWindow::Zoom::Percent300, "&300 Percent", "Zoom (300%)", 3.0},
};

const ZoomEntry &entryFor(PreviewWindow::Zoom zoom)
{
    for (const ZoomEntry &entry : zoomEntries)
        if (entry.zoom == zoom)
            return entry;
    return zoomEntries[4];
}

// A digits-only entry of at most `digits` characters.
QLineEdit *digitsEntry(int digits, QWidget *parent)
{
    auto *entry = new QLineEdit(parent);
    entry->setMaxLength(digits);
    entry->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(digits)), entry));
    entry->setFixedWidth(entry->fontMetrics().horizontalAdvance(u'0') * (digits + 3));
    return entry;
}

} // namespace

// The pages on show, drawn in a grid at the preview's scale.
class PageCanvas : public QWidget
{
public:
    explicit PageCanvas(PreviewWindow &preview) : m_preview(preview)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    QSize pageSize() const
    {
        const QSize mils = m_preview.pages().pageSize();
        const double scale = m_preview.scale();
        return QSize(qRound(mils.width() * scale), qRound(mils.height() * scale));
    }

    void relayout()
    {
        const QSize page = pageSize();
        resize(Gap + m_preview.across() * (page.width() + Gap),
               Gap + m_preview.down() * (page.height() + Gap));
        QWidget::update();
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        painter.fillRect(event->rect(), palette().dark());
        const QSize page = pageSize();
        const double scale = m_preview.scale();
        const int shown = m_preview.pagesShown();
        for (int i = 0; i < shown; ++i) {
            const int column = i % m_preview.across();
            const int row = i / m_preview.across();
            const QRect box(Gap + column * (page.width() + Gap), Gap + row * (page.height() + Gap),
                            page.width(), page.height());
            if (!box.intersects(event->rect()))
                continue;
            painter.fillRect(box, Qt::white);
            painter.setPen(Qt::black);
            painter.drawRect(box.adjusted(-1, -1, 0, 0));
            painter.save();
            painter.setClipRect(box);
            painter.translate(box.topLeft());
            painter.scale(scale, scale);
            const PageList &pages = m_preview.pages();
            renderPage(painter, pages, pages.page(m_preview.firstPage() - 1 + i));
            painter.restore();
        }
    }

private:
    PreviewWindow &m_preview;
};

PreviewWindow::PreviewWindow(Session &session, std::shared_ptr<const PageList> pages,
                             const QString &report, QWidget *parent)
    : QMainWindow(parent), m_session(session), m_pages(std::move(pages)), m_report(report),
      m_canvas(new PageCanvas(*this)), m_scroll(new QScrollArea), m_pageStatus(new QLabel),
      m_zoomStatus(new QLabel)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(QStringLiteral("Report Preview"));
    m_scroll->setWidget(m_canvas);
    m_scroll->setAlignment(Qt::AlignHCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    setCentralWidget(m_scroll);

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Print"), this, &PreviewWindow::print);
    file->addAction(QStringLiteral("Save as &PDF..."), this,
                    qOverload<>(&PreviewWindow::saveAsPdf));
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    m_next = view->addAction(QStringLiteral("&Next Page(s)"), this, &PreviewWindow::nextPages);
    m_previous =
        view->addAction(QStringLiteral("&Previous Page(s)"), this, &PreviewWindow::previousPages);
    view->addAction(QStringLiteral("&Jump to a page"), this, &PreviewWindow::jumpToPage);
    view->addAction(QStringLiteral("&Change Display"), this, &PreviewWindow::changeDisplay);
    QMenu *zoom = menuBar()->addMenu(QStringLiteral("&Zoom"));
    for (const ZoomEntry &entry : zoomEntries) {
        const Zoom which = entry.zoom;
        zoom->addAction(QString::fromUtf8(entry.menu), this, [this, which] { setZoom(which); });
    }
    statusBar()->addWidget(m_pageStatus, 1);
    statusBar()->addPermanentWidget(m_zoomStatus);
    resize(900, 700);
    refreshView();
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::showIn(QMdiArea *area)
{
    if (area) {
        // Pages need room: the preview opens over the whole work area.
        showInWorkArea(area, this, [area](QMdiSubWindow *child) {
            child->setGeometry(QRect(QPoint(0, 0), area->viewport()->size()));
        });
    } else
        show();
}

int PreviewWindow::pagesShown() const
{
    return qMax(0, qMin(m_across * m_down, pageCount() - m_first + 1));
}

double PreviewWindow::scale() const
{
    const double screen = logicalDpiX() / double(MilsPerInch);
    const QSize paper = m_pages->pageSize();
    const QSize room = m_scroll->viewport()->size();
    switch (m_zoom) {
    case Zoom::NoZoom: {
        // Whole pages, every one on show.
        const double wide =
            (room.width() - Gap * (m_across + 1)) / double(m_across * paper.width());
        const double high = (room.height() - Gap * (m_down + 1)) / double(m_down * paper.height());
        return qMax(0.005, qMin(wide, high));
    }
    case Zoom::PageWidth:
        return qMax(0.005,
                    (room.width() - Gap * (m_across + 1)) / double(m_across * paper.width()));
    default:
        return screen * entryFor(m_zoom).factor;
    }
}

QString PreviewWindow::statusText() const
{
    const int shown = pagesShown();
    if (shown <= 1)
        return QStringLiteral("Page %1 of %2").arg(m_first).arg(pageCount());
    return QStringLiteral("Pages %1-%2 of %3")
        .arg(m_first)
        .arg(m_first + shown - 1)
        .arg(pageCount());
}

QString PreviewWindow::zoomText() const
{
    return QString::fromUtf8(entryFor(m_zoom).status);
}

void PreviewWindow::refreshView()
{
    m_pageStatus->setText(statusText());
    m_zoomStatus->setText(zoomText());
    m_next->setEnabled(m_first + m_across * m_down <= pageCount());
    m_previous->setEnabled(m_first > 1);
    m_canvas->relayout();
}

void PreviewWindow::nextPages()
{
    if (m_first + m_across * m_down > pageCount())
        return;
    m_first += m_across * m_down;
    refreshView();
    m_scroll->verticalScrollBar()->setValue(0);
}

void PreviewWindow::previousPages()
{
    if (m_first <= 1)
        return;
    m_first = qMax(1, m_first - m_across * m_down);
    refreshView();
    m_scroll->verticalScrollBar()->setValue(0);
}

bool PreviewWindow::jumpTo(int page)
{
    if (page < 1 || page > pageCount()) {
        (void)ask({QStringLiteral("Jump to a Report Page"),
                   QStringLiteral("Enter a page number from 1 to ") + QString::number(pageCount()),
                   Ok, Ok, Icon::Exclamation});
        return false;
    }
    m_first = page;
    refreshView();
    return true;
}

void PreviewWindow::setDisplay(int across, int down)
{
    m_across = qBound(1, across, 99);
    m_down = qBound(1, down, 99);
    refreshView();
}

void PreviewWindow::setZoom(Zoom zoom)
{
    m_zoom = zoom;
    refreshView();
}

void PreviewWindow::jumpToPage()
{
    auto *dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Jump to a Report Page"));
    auto *form = new QFormLayout(dialog);
    QLineEdit *page = digitsEntry(5, dialog);
    page->setObjectName(QStringLiteral("page"));
    page->setText(QString::number(m_first));
    page->selectAll();
    form->addRow(QStringLiteral("&Page:"), page);
    auto *buttons = new QDialogButtonBox(dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, dialog, [this, dialog, page] {
        if (jumpTo(page->text().toInt()))
            dialog->accept();
        else
            page->selectAll(); // stays open for another number
    });
    dialog->open();
}

void PreviewWindow::changeDisplay()
{
    auto *dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Change the Report Display"));
    auto *layout = new QVBoxLayout(dialog);
    auto *group = new QGroupBox(QStringLiteral("Pages Displayed"));
    auto *form = new QFormLayout(group);
    QLineEdit *across = digitsEntry(2, dialog);
    across->setObjectName(QStringLiteral("across"));
    across->setText(QString::number(m_across));
    QLineEdit *down = digitsEntry(2, dialog);
    down->setObjectName(QStringLiteral("down"));
    down->setText(QString::number(m_down));
    form->addRow(QStringLiteral("Across"), across);
    form->addRow(QStringLiteral("Down"), down);
    layout->addWidget(group);
    auto *buttons = new QDialogButtonBox(dialog);
    buttons->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole)->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, [this, dialog, across, down] {
        setDisplay(across->text().toInt(), down->text().toInt());
        dialog->accept();
    });
    dialog->open();
}

void PreviewWindow::print()
{
    QPrinter &printer = m_session.printer();
    const QPointer<PreviewWindow> self(this);
    choosePrinter(printer, this, [self, &printer](bool chosen) {
        if (!self || !chosen)
            return;
        self->setEnabled(false);
        printPages(self->m_pages, printer, self, [self](bool printed) {
            if (!self)
                return;
            self->setEnabled(true);
            Q_EMIT self->printed(printed);
            // The preview has done its work once the report went to the printer.
            if (printed)
                self->close();
        });
    });
}

void PreviewWindow::saveAsPdf()
{
    QString file =
        exchange::chooseFile(this, {QStringLiteral("Save as PDF"),
                                    QStringLiteral("PDF Files (*.pdf);;All Files (*)"), true});
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".pdf");
    (void)saveAsPdf(file);
}

bool PreviewWindow::saveAsPdf(const QString &file)
{
    QString error;
    if (writePdf(*m_pages, file, error))
        return true;
    (void)ask({QStringLiteral("Save as PDF"), error, Ok, Ok, Icon::Exclamation});
    return false;
}

void PreviewWindow::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_PageDown:
        nextPages();
        return;
    case Qt::Key_PageUp:
        previousPages();
        return;
    case Qt::Key_Escape:
        close();
        return;
    default:
        QMainWindow::keyPressEvent(event);
    }
}

void PreviewWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (m_zoom == Zoom::NoZoom || m_zoom == Zoom::PageWidth)
        m_canvas->relayout();
}

} // namespace sv::reports
