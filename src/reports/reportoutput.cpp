#include "reportoutput.h"

#include "platform/prompter.h"

#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTimer>

namespace sv::reports {

namespace {

PrinterChooser &installedChooser()
{
    static PrinterChooser chooser;
    return chooser;
}

constexpr int PagesPerTick = 4;

} // namespace

void preparePaper(QPagedPaintDevice &device, const PageList &pages)
{
    const bool landscape = pages.pageSize().width() > pages.pageSize().height();
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter),
                                     landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0)));
}

PageOutput::PageOutput(const PageList &pages, QPagedPaintDevice &device, int copies, bool collate)
    : m_pages(pages), m_device(device), m_copies(qMax(1, copies)), m_collate(collate)
{
    m_total = pages.count() * m_copies;
}

PageOutput::~PageOutput()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

bool PageOutput::begin()
{
    preparePaper(m_device, m_pages);
    if (auto *printer = dynamic_cast<QPrinter *>(&m_device))
        printer->setFullPage(true); // the paper's corner is the origin, as the layout has it
    m_painter = std::make_unique<QPainter>();
    return m_painter->begin(&m_device);
}

bool PageOutput::printNext()
{
    if (atEnd() || !m_painter || !m_painter->isActive())
        return false;
    const int count = m_pages.count();
    // Collated copies repeat the whole set; uncollated ones repeat each page.
    const int index = m_collate ? m_done % count : m_done / m_copies;
    if (m_done > 0 && !m_device.newPage())
        return false;
    m_painter->save();
    scaleToMils(*m_painter, m_device.logicalDpiX());
    renderPage(*m_painter, m_pages, m_pages.page(index));
    m_painter->restore();
    ++m_done;
    return true;
}

bool PageOutput::finish()
{
    return m_painter && m_painter->end();
}

bool writePdf(const PageList &pages, const QString &file, QString &error)
{
    {
        // The writer only says that it could not begin; the file says why.
        QFile probe(file);
        if (!probe.open(QIODevice::WriteOnly)) {
            error = QStringLiteral("The file \"%1\" could not be written: %2")
                        .arg(file, probe.errorString());
            return false;
        }
    }
    QPdfWriter writer(file);
    writer.setResolution(1200);
    writer.setCreator(QStringLiteral("SongVane Pro 98"));
    PageOutput output(pages, writer);
    // QPdfWriter opens the file only when painting begins.
    if (!output.begin()) {
        error = QStringLiteral("The file \"%1\" could not be written.").arg(file);
        return false;
    }
    while (!output.atEnd()) {
        if (!output.printNext()) {
            error = QStringLiteral("The file \"%1\" could not be written.").arg(file);
            return false;
        }
    }
    if (!output.finish()) {
        error = QStringLiteral("The file \"%1\" could not be written.").arg(file);
        return false;
    }
    return true;
}

void setPrinterChooser(PrinterChooser chooser)
{
    installedChooser() = std::move(chooser);
}

bool printerInstalled()
{
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

void choosePrinter(QPrinter &printer, QWidget *parent, std::function<void(bool chosen)> done)
{
    if (installedChooser()) {
        installedChooser()(printer, parent, std::move(done));
        return;
    }
    if (!printerInstalled())
        (void)ask({QStringLiteral("Print"), NoPrinterText, Ok, Ok, Icon::Information});
    auto *dialog = new QPrintDialog(&printer, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QAbstractPrintDialog::PrintCollateCopies);
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [done = std::move(done)](int result) { done(result == QDialog::Accepted); });
    dialog->open();
}

void printPages(std::shared_ptr<const PageList> pages, QPrinter &printer, QWidget *parent,
                std::function<void(bool printed)> done)
{
    // A driver that makes copies itself gets each page once; otherwise they are made here.
    const bool ownCopies = !printer.supportsMultipleCopies();
    const int copies = ownCopies ? printer.copyCount() : 1;
    const bool collate = printer.collateCopies();
    auto output = std::make_shared<PageOutput>(*pages, printer, copies, collate);
    if (!output->begin()) {
        (void)ask({QStringLiteral("Print"), QStringLiteral("The report could not be printed."), Ok,
                   Ok, Icon::Exclamation});
        done(false);
        return;
    }
    auto *timer = new QTimer(parent);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, output, pages, done] {
        bool failed = false;
        for (int i = 0; i < PagesPerTick && !output->atEnd() && !failed; ++i)
            failed = !output->printNext();
        if (!failed && !output->atEnd())
            return;
        const bool written = output->finish() && !failed;
        timer->stop();
        timer->deleteLater();
        done(written);
    });
    timer->start(0);
}

} // namespace sv::reports
