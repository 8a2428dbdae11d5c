#pragma once

#include "reportpage.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace sv::reports {

// A column of a list report: its heading, its width in mils and how its text sits.
struct Column
{
    QString heading;
    int width = 1000;
    Qt::Alignment align = Qt::AlignLeft;
};

// How a list report's pages look: a header on every page (the date at the left, the title
// in the middle, the page number at the right, the lines under the title, the column
// headings), then one line per record.
struct ReportLayout
{
    QString title;
    QStringList subtitles; // lines under the title (a play list's description)
    QImage logo;           // drawn at the top left of each page's header when set
    QList<Column> columns;
    bool landscape = false;
    // Paper other than letter, in mils as it lies (wider than high for landscape).
    QSize paper;
    // False: the pages carry only the bands and pages the report puts on them, with no
    // date, title, page number or column headings.
    bool pageHeader = true;
    ReportFont titleFont{QStringLiteral("Arial"), 14, true};
    ReportFont headingFont{QStringLiteral("Arial"), 8, true};
    ReportFont detailFont{QStringLiteral("Arial"), 8};
    ReportFont pageFont{QStringLiteral("Arial"), 8};

    // Every font of the report, in the order of its controls, for a custom font to replace.
    void setAllFonts(const ReportFont &font);
};

inline constexpr int PageMargin = 500;
inline constexpr int ColumnGap = 80;

// "Page" and the page number as the report pages show it (up to four digits).
QString pageNumberText(int page);

// Lays records out on pages of a page list: starts a page with its header when a line no
// longer fits, and numbers the pages. Writes fail only when the page list cannot store a
// page; the run must then stop.
class ReportWriter
{
public:
    ReportWriter(PageList &pages, const ReportLayout &layout, const QString &dateText);

    // One detail line: a text per column, each cut to its column's width.
    [[nodiscard]] bool detail(const QStringList &cells);
    // A line after the details (a total): `label` right-aligned in the columns before
    // `column`, `value` in that column.
    [[nodiscard]] bool total(const QString &label, int column, const QString &value);
    // Ends the last page; nothing is written for a report without a line.
    [[nodiscard]] bool finish();

    // Reports that place their own things. A band: items placed from the left margin and
    // the band's top, kept together on one page (a new page when it no longer fits).
    // `keepWith`: the room the band must leave below it on its page (its first line).
    [[nodiscard]] bool band(std::vector<PageItem> items, int height, int keepWith = 0);
    // A page of its own with items placed from the paper's top left corner.
    [[nodiscard]] bool page(const std::vector<PageItem> &items);
    int fontIndex(const ReportFont &font);
    int imageIndex(const QImage &image) { return m_pages.imageIndex(image); }
    const QFontMetricsF &measure(int font);
    QSize paper() const { return m_paper; }

    int linesPrinted() const { return m_lines; }
    int pagesWritten() const { return m_pages.count() + (m_open ? 1 : 0); }
    const ReportLayout &layout() const { return m_layout; }
    QString errorString() const { return m_pages.errorString(); }

private:
    [[nodiscard]] bool room(int height);
    void startPage();
    [[nodiscard]] bool endPage();
    void text(int font, const QRect &box, Qt::Alignment align, const QString &text);
    int lineHeight(const ReportFont &font) const;
    int columnLeft(int column) const;

    PageList &m_pages;
    ReportLayout m_layout;
    QString m_date;
    QSize m_paper;
    QList<int> m_left; // each column's left edge
    int m_titleFont, m_headingFont, m_detailFont, m_pageFont;
    std::vector<QFontMetricsF> m_measures; // by font index
    ReportPage m_page;
    bool m_open = false;
    int m_y = 0;
    int m_pageNumber = 0;
    int m_lines = 0;
};

} // namespace sv::reports
