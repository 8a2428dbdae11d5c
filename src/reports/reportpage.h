#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTemporaryFile>

#include <memory>
#include <vector>

class QPainter;
class QPagedPaintDevice;

namespace sv::reports {

// Pages are laid out in thousandths of an inch ("mils") from the paper's top left corner,
// and drawn by one routine onto the screen, a printer or a PDF file, so all three show the
// same page.
inline constexpr int MilsPerInch = 1000;
inline const QSize LetterPage(8500, 11000);

// A typeface as reports use it: points, not pixels, so that it is the same size on every
// device once the painter draws in mils.
struct ReportFont
{
    QString family = QStringLiteral("Arial");
    int points = 10;
    bool bold = false;
    bool italic = false;
    QColor colour = Qt::black;

    QFont font() const; // sized in mils (pixel size = points * 1000 / 72)
    bool operator==(const ReportFont &other) const = default;
};

// One thing drawn on a page. Text is cut to its box when laid out, never clipped when
// drawn, so a PDF's text holds only what shows.
struct PageItem
{
    enum class Kind : quint8 { Text, Line, Image, Box };
    Kind kind = Kind::Text;
    quint8 font = 0;   // index into the page list's fonts
    quint16 align = 0; // Qt::Alignment of text in its box
    QRect box;         // mils; a line runs from its top left to its bottom right
    QString text;
    qint32 image = -1; // index into the page list's images
    // Text turned a quarter clockwise inside its box, reading downwards (a CD spine): the
    // box's height is the line's length.
    bool turned = false;
};

struct ReportPage
{
    std::vector<PageItem> items;
};

// The pages of one run, in order. Finished pages go to a temporary file at once, so a run
// of many thousands of pages holds only one page and an index in memory; fonts and
// pictures are kept once for all pages.
class PageList
{
public:
    PageList();
    ~PageList();
    PageList(const PageList &) = delete;
    PageList &operator=(const PageList &) = delete;

    int fontIndex(const ReportFont &font);
    const ReportFont &font(int index) const { return m_fonts.at(index); }
    int fontCount() const { return int(m_fonts.size()); }
    int imageIndex(const QImage &image); // -1 for a null image
    const QImage &image(int index) const { return m_images.at(index); }
    int imageCount() const { return int(m_images.size()); }

    // False when the page could not be written (the disk is full): the run must stop.
    [[nodiscard]] bool append(const ReportPage &page);
    int count() const { return int(m_offsets.size()); }
    bool isEmpty() const { return m_offsets.empty(); }
    // A page read back from the file; the last few read are kept.
    ReportPage page(int index) const;
    QSize pageSize() const { return m_pageSize; } // mils; wider than high for landscape
    void setPageSize(const QSize &size) { m_pageSize = size; }
    QString errorString() const { return m_error; }

private:
    QSize m_pageSize = LetterPage;
    QList<ReportFont> m_fonts;
    QList<QImage> m_images;
    std::unique_ptr<QTemporaryFile> m_file;
    std::vector<qint64> m_offsets;
    mutable QList<std::pair<int, ReportPage>> m_cache;
    QString m_error;
};

// Draws a page with the painter set to mils (see scaleToMils).
void renderPage(QPainter &painter, const PageList &pages, const ReportPage &page);
// Scales the painter so that one unit is a thousandth of an inch at `dotsPerInch`.
void scaleToMils(QPainter &painter, double dotsPerInch);

// Text cut at the end to fit `width` mils in this font (nothing added in its place).
QString fitted(const QString &text, const ReportFont &font, int width);
// The same with the font's measures at hand, for a writer that measures many texts.
QString fitted(const QString &text, const QFontMetricsF &measure, int width);
int textWidth(const QString &text, const ReportFont &font); // mils

} // namespace sv::reports
