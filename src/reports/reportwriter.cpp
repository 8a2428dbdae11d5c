#include "reportwriter.h"

#include "platform/picture.h"

namespace sv::reports {

namespace {

constexpr int LogoHeight = 700;

} // namespace

void ReportLayout::setAllFonts(const ReportFont &font)
{
    titleFont = headingFont = detailFont = pageFont = font;
}

QString pageNumberText(int page)
{
    // The pattern leaves a blank for each leading zero; the page shows one blank only.
    return format(page, u"@pPage <<<#p").simplified();
}

ReportWriter::ReportWriter(PageList &pages, const ReportLayout &layout, const QString &dateText)
    : m_pages(pages), m_layout(layout), m_date(dateText),
      m_paper(!layout.paper.isEmpty() ? layout.paper
              : layout.landscape      ? LetterPage.transposed()
                                      : LetterPage)
{
    m_pages.setPageSize(m_paper);
    m_titleFont = m_pages.fontIndex(layout.titleFont);
    m_headingFont = m_pages.fontIndex(layout.headingFont);
    m_detailFont = m_pages.fontIndex(layout.detailFont);
    m_pageFont = m_pages.fontIndex(layout.pageFont);
    // Columns that would run past the margin are narrowed alike until they fit.
    int widths = 0;
    for (const Column &column : std::as_const(m_layout.columns))
        widths += column.width;
    const int gaps = ColumnGap * int(qMax<qsizetype>(0, m_layout.columns.size() - 1));
    const int room = m_paper.width() - 2 * PageMargin - gaps;
    if (widths > room && widths > 0)
        for (Column &column : m_layout.columns)
            column.width = column.width * room / widths;
    for (int font = 0; font < m_pages.fontCount(); ++font)
        m_measures.emplace_back(m_pages.font(font).font());
    int x = PageMargin;
    for (const Column &column : std::as_const(m_layout.columns)) {
        m_left.append(x);
        x += column.width + ColumnGap;
    }
}

int ReportWriter::lineHeight(const ReportFont &font) const
{
    return qRound(font.points * double(MilsPerInch) / 72.0 * 1.3);
}

int ReportWriter::columnLeft(int column) const
{
    return m_left.value(column, PageMargin);
}

void ReportWriter::text(int font, const QRect &box, Qt::Alignment align, const QString &text)
{
    if (text.isEmpty())
        return;
    PageItem item;
    item.kind = PageItem::Kind::Text;
    item.font = quint8(font);
    item.align = quint16(align | Qt::AlignVCenter);
    item.box = box;
    item.text = fitted(text, measure(font), box.width());
    m_page.items.push_back(std::move(item));
}

void ReportWriter::startPage()
{
    m_page = ReportPage();
    m_open = true;
    ++m_pageNumber;
    if (!m_layout.pageHeader) {
        m_y = PageMargin;
        return;
    }
    const int width = m_paper.width() - 2 * PageMargin;
    int y = PageMargin;
    const int pageLine = lineHeight(m_layout.pageFont);
    text(m_pageFont, QRect(PageMargin, y, width, pageLine), Qt::AlignLeft, m_date);
    text(m_pageFont, QRect(PageMargin, y, width, pageLine), Qt::AlignRight,
         pageNumberText(m_pageNumber));
    int titleLeft = PageMargin;
    if (!m_layout.logo.isNull()) {
        const QSize logo =
            m_layout.logo.size().scaled(LogoHeight * 2, LogoHeight, Qt::KeepAspectRatio);
        PageItem item;
        item.kind = PageItem::Kind::Image;
        item.image = m_pages.imageIndex(m_layout.logo);
        item.box = QRect(QPoint(PageMargin, y + pageLine), logo);
        m_page.items.push_back(item);
        titleLeft = PageMargin + logo.width() + ColumnGap;
    }
    y += pageLine;
    const int titleLine = lineHeight(m_layout.titleFont);
    const QRect titleBox(titleLeft, y, m_paper.width() - PageMargin - titleLeft, titleLine);
    text(m_titleFont, titleBox, Qt::AlignHCenter, m_layout.title);
    y += titleLine;
    for (const QString &subtitle : std::as_const(m_layout.subtitles)) {
        text(m_headingFont, QRect(titleLeft, y, titleBox.width(), lineHeight(m_layout.headingFont)),
             Qt::AlignHCenter, subtitle);
        y += lineHeight(m_layout.headingFont);
    }
    if (!m_layout.logo.isNull())
        y = qMax(y, PageMargin + pageLine + LogoHeight);
    y += lineHeight(m_layout.headingFont) / 2;
    const int headingLine = lineHeight(m_layout.headingFont);
    for (qsizetype i = 0; i < m_layout.columns.size(); ++i) {
        const Column &column = m_layout.columns.at(i);
        text(m_headingFont, QRect(m_left.at(i), y, column.width, headingLine), column.align,
             column.heading);
    }
    y += headingLine;
    PageItem rule;
    rule.kind = PageItem::Kind::Line;
    rule.box = QRect(QPoint(PageMargin, y), QPoint(m_paper.width() - PageMargin, y));
    m_page.items.push_back(rule);
    m_y = y + headingLine / 3;
}

bool ReportWriter::endPage()
{
    if (!m_open)
        return true;
    m_open = false;
    return m_pages.append(m_page);
}

bool ReportWriter::room(int height)
{
    if (m_open && m_y + height > m_paper.height() - PageMargin && !endPage())
        return false;
    if (!m_open)
        startPage();
    return true;
}

bool ReportWriter::detail(const QStringList &cells)
{
    const int height = lineHeight(m_layout.detailFont);
    if (!room(height))
        return false;
    for (qsizetype i = 0; i < m_layout.columns.size() && i < cells.size(); ++i)
        text(m_detailFont, QRect(m_left.at(i), m_y, m_layout.columns.at(i).width, height),
             m_layout.columns.at(i).align, cells.at(i));
    m_y += height;
    ++m_lines;
    return true;
}

bool ReportWriter::total(const QString &label, int column, const QString &value)
{
    const int height = lineHeight(m_layout.headingFont);
    if (!room(height * 2))
        return false;
    m_y += height / 2;
    const int left = columnLeft(column);
    text(m_headingFont, QRect(PageMargin, m_y, left - ColumnGap - PageMargin, height),
         Qt::AlignRight, label);
    // The total may be wider than the column's values: it has the rest of the line.
    text(m_headingFont, QRect(left, m_y, m_paper.width() - PageMargin - left, height),
         Qt::AlignLeft, value);
    m_y += height;
    return true;
}

bool ReportWriter::finish()
{
    return endPage();
}

int ReportWriter::fontIndex(const ReportFont &font)
{
    const int index = m_pages.fontIndex(font);
    while (int(m_measures.size()) <= index)
        m_measures.emplace_back(m_pages.font(int(m_measures.size())).font());
    return index;
}

const QFontMetricsF &ReportWriter::measure(int font)
{
    while (int(m_measures.size()) <= font)
        m_measures.emplace_back(m_pages.font(int(m_measures.size())).font());
    return m_measures.at(font);
}

bool ReportWriter::band(std::vector<PageItem> items, int height, int keepWith)
{
    if (!room(height + keepWith))
        return false;
    for (PageItem &item : items) {
        item.box.translate(PageMargin, m_y);
        m_page.items.push_back(std::move(item));
    }
    m_y += height;
    ++m_lines;
    return true;
}

bool ReportWriter::page(const std::vector<PageItem> &items)
{
    if (!endPage())
        return false;
    m_page = ReportPage();
    m_page.items = items;
    ++m_pageNumber;
    ++m_lines;
    m_open = true;
    return endPage();
}

} // namespace sv::reports
