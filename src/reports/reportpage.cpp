#include "reportpage.h"

#include <QDataStream>
#include <QDir>
#include <QFontMetricsF>
#include <QPainter>

namespace sv::reports {

namespace {

constexpr int CachedPages = 8;

// Metrics in mils from a font whose pixel size is in mils: the same on every device.
QFontMetricsF metrics(const ReportFont &font)
{
    return QFontMetricsF(font.font());
}

QDataStream &operator<<(QDataStream &out, const PageItem &item)
{
    return out << quint8(item.kind) << item.font << item.align << item.box << item.text
               << item.image << item.turned;
}

QDataStream &operator>>(QDataStream &in, PageItem &item)
{
    quint8 kind = 0;
    in >> kind >> item.font >> item.align >> item.box >> item.text >> item.image >> item.turned;
    item.kind = PageItem::Kind(kind);
    return in;
}

} // namespace

QFont ReportFont::font() const
{
    QFont made(family);
    made.setPixelSize(qMax(1, qRound(points * double(MilsPerInch) / 72.0)));
    made.setBold(bold);
    made.setItalic(italic);
    // Hinting would snap glyphs to a device's pixels and make widths differ between the
    // screen and paper.
    made.setHintingPreference(QFont::PreferNoHinting);
    return made;
}

PageList::PageList() = default;
PageList::~PageList() = default;

int PageList::fontIndex(const ReportFont &font)
{
    const qsizetype found = m_fonts.indexOf(font);
    if (found >= 0)
        return int(found);
    m_fonts.append(font);
    return int(m_fonts.size() - 1);
}

int PageList::imageIndex(const QImage &image)
{
    if (image.isNull())
        return -1;
    for (qsizetype i = 0; i < m_images.size(); ++i)
        if (m_images.at(i).cacheKey() == image.cacheKey())
            return int(i);
    m_images.append(image);
    return int(m_images.size() - 1);
}

bool PageList::append(const ReportPage &page)
{
    if (!m_file) {
        m_file = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                  QStringLiteral("/songvane-pages-XXXXXX"));
        if (!m_file->open()) {
            m_error = m_file->errorString();
            m_file.reset();
            return false;
        }
    }
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << quint32(page.items.size());
        for (const PageItem &item : page.items)
            out << item;
    }
    const qint64 at = m_file->size();
    if (!m_file->seek(at) || m_file->write(bytes) != bytes.size()) {
        m_error = m_file->errorString();
        return false;
    }
    m_offsets.push_back(at);
    return true;
}

ReportPage PageList::page(int index) const
{
    for (const auto &[cached, page] : m_cache)
        if (cached == index)
            return page;
    ReportPage page;
    if (index < 0 || index >= count() || !m_file)
        return page;
    if (!m_file->flush() || !m_file->seek(m_offsets.at(index)))
        return page;
    QDataStream in(m_file.get());
    quint32 items = 0;
    in >> items;
    page.items.resize(items);
    for (PageItem &item : page.items)
        in >> item;
    if (in.status() != QDataStream::Ok)
        return ReportPage();
    m_cache.append({index, page});
    if (m_cache.size() > CachedPages)
        m_cache.removeFirst();
    return page;
}

void scaleToMils(QPainter &painter, double dotsPerInch)
{
    painter.scale(dotsPerInch / MilsPerInch, dotsPerInch / MilsPerInch);
}

void renderPage(QPainter &painter, const PageList &pages, const ReportPage &page)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    int currentFont = -1;
    for (const PageItem &item : page.items) {
        switch (item.kind) {
        case PageItem::Kind::Text: {
            if (item.font != currentFont) {
                currentFont = item.font;
                const ReportFont &font = pages.font(item.font);
                painter.setFont(font.font());
                painter.setPen(font.colour);
            }
            if (item.turned) {
                painter.save();
                painter.translate(item.box.right() + 1, item.box.top());
                painter.rotate(90);
                painter.drawText(QRectF(0, 0, item.box.height(), item.box.width()),
                                 int(item.align) | Qt::TextSingleLine | Qt::TextDontClip,
                                 item.text);
                painter.restore();
                break;
            }
            painter.drawText(QRectF(item.box),
                             int(item.align) | Qt::TextSingleLine | Qt::TextDontClip, item.text);
            break;
        }
        case PageItem::Kind::Box:
            painter.setPen(QPen(Qt::black, 10));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(item.box);
            currentFont = -1;
            break;
        case PageItem::Kind::Line:
            painter.setPen(QPen(Qt::black, 10)); // a hundredth of an inch
            painter.drawLine(item.box.topLeft(), item.box.bottomRight());
            currentFont = -1; // the pen changed
            break;
        case PageItem::Kind::Image:
            if (item.image >= 0 && item.image < pages.imageCount())
                painter.drawImage(QRectF(item.box), pages.image(item.image));
            break;
        }
    }
    painter.restore();
}

QString fitted(const QString &text, const ReportFont &font, int width)
{
    return fitted(text, metrics(font), width);
}

QString fitted(const QString &text, const QFontMetricsF &measure, int width)
{
    if (measure.horizontalAdvance(text) <= width)
        return text;
    // The longest start that fits, found by halving: a title may be 255 characters.
    qsizetype low = 0;
    qsizetype high = text.size();
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (measure.horizontalAdvance(text.left(middle)) <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return text.left(low);
}

int textWidth(const QString &text, const ReportFont &font)
{
    return qCeil(metrics(font).horizontalAdvance(text));
}

} // namespace sv::reports
