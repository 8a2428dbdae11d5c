#pragma once

#include "reportpage.h"

#include <QString>

#include <functional>
#include <memory>

class QPagedPaintDevice;
class QPrinter;
class QWidget;

namespace sv::reports {

// Draws a page list onto a paged device (a printer, a PDF file) one page at a time, so a
// long report can go out between the program's other work. The device is set to the
// pages' paper and orientation with no margins, and drawn on in mils.
class PageOutput
{
public:
    // `copies` and `collate` are for a device that does not make copies itself: the pages
    // are then repeated here, each set whole when collated.
    PageOutput(const PageList &pages, QPagedPaintDevice &device, int copies = 1,
               bool collate = true);
    ~PageOutput();

    [[nodiscard]] bool begin(); // false when the device cannot be drawn on
    bool atEnd() const { return m_done >= m_total; }
    [[nodiscard]] bool printNext();
    bool finish(); // ends the document; false when it could not be written
    int sheetsDone() const { return m_done; }
    int sheets() const { return m_total; }

private:
    const PageList &m_pages;
    QPagedPaintDevice &m_device;
    std::unique_ptr<class QPainter> m_painter;
    int m_copies;
    bool m_collate;
    int m_total = 0;
    int m_done = 0;
};

// Sets the device to the pages' paper, orientation and no margins.
void preparePaper(QPagedPaintDevice &device, const PageList &pages);

// Writes every page to a PDF file at once; false with the reason in `error`.
[[nodiscard]] bool writePdf(const PageList &pages, const QString &file, QString &error);

// The printer a report prints on, chosen in the print dialog; `done` follows with whether
// the user chose one. Tests put a chooser of their own in its place.
using PrinterChooser =
    std::function<void(QPrinter &printer, QWidget *parent, std::function<void(bool chosen)> done)>;
void setPrinterChooser(PrinterChooser chooser); // an empty chooser puts the dialog back
void choosePrinter(QPrinter &printer, QWidget *parent, std::function<void(bool chosen)> done);

// Whether the system has a printer at all.
bool printerInstalled();
inline const QString NoPrinterText = QStringLiteral(
    "No printer is installed on this computer. The print dialog can still print to a PDF "
    "file, and the preview's File menu has \"Save as PDF...\".");

// Sends the pages to a chosen printer between the program's other work, making the copies
// the printer does not make itself; `done` follows with whether every page went out.
void printPages(std::shared_ptr<const PageList> pages, QPrinter &printer, QWidget *parent,
                std::function<void(bool printed)> done);

} // namespace sv::reports
