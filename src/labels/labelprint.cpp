#include "labelprint.h"

#include "app/session.h"
#include "app/settings.h"
#include "platform/prompter.h"
#include "reports/previewwindow.h"
#include "reports/reportrun.h"
#include "reports/reportsource.h"
#include "reports/reportwriter.h"
#include "store/errors.h"
#include "store/store.h"
#include "store/table.h"
#include "store/warnings.h"

#include <QFileInfo>
#include <QImageReader>
#include <QtMath>

namespace sv::labels {

using reports::PageItem;
using reports::ReportFont;
using reports::ReportWriter;

namespace {

const QString LayoutFace = QStringLiteral("Arial");

// The layout's own fonts, where a label names no favourite.
const ReportFont TitleFont{LayoutFace, 14, true};
const ReportFont SpineFont{LayoutFace, 9};
const ReportFont CoverFont{LayoutFace, 9};
const ReportFont ContentsFont{LayoutFace, 7};
const ReportFont CassetteTitleFont{LayoutFace, 10, true};
const ReportFont FlapFont{LayoutFace, 9};
const ReportFont SideFont{LayoutFace, 10, true};

Qt::Alignment justification(const QString &text)
{
    const QString value = text.trimmed();
    if (value.compare(u"Center", Qt::CaseInsensitive) == 0)
        return Qt::AlignHCenter;
    if (value.compare(u"Right", Qt::CaseInsensitive) == 0)
        return Qt::AlignRight;
    return Qt::AlignLeft;
}

int lineHeight(const ReportFont &font)
{
    return qRound(font.points * 1000.0 / 72.0 * 1.2);
}

// Lays out texts, boxes and lines of one page, noting the areas their text overflows.
class Painter
{
public:
    Painter(Store &store, ReportWriter &writer) : m_store(store), m_writer(writer) {}

    ReportFont fontFor(qint64 fontId, const ReportFont &layoutFont)
    {
        return favouriteFont(m_store, fontId).value_or(layoutFont);
    }

    void box(int x, int y, int width, int height)
    {
        PageItem item;
        item.kind = PageItem::Kind::Box;
        item.box = QRect(x, y, width, height);
        m_page.items.push_back(item);
    }

    void line(int x, int y, int width, int height)
    {
        PageItem item;
        item.kind = PageItem::Kind::Line;
        item.box = QRect(QPoint(x, y), QPoint(x + width, y + height));
        m_page.items.push_back(item);
    }

    // One line of text in its area; `height` 0 is the font's own line.
    void text(const QString &area, const QRect &box, const ReportFont &font, Qt::Alignment align,
              const QString &text, bool turned = false)
    {
        const QString line = text.simplified();
        if (line.isEmpty())
            return;
        const int index = m_writer.fontIndex(font);
        const QFontMetricsF &measure = m_writer.measure(index);
        // A width of 0 is the text's own.
        QRect place = box;
        if (!turned && place.width() == 0)
            place.setWidth(qCeil(measure.horizontalAdvance(line)) + 1);
        if (!turned && place.height() == 0)
            place.setHeight(lineHeight(font));
        const int length = turned ? place.height() : place.width();
        const QString fits = reports::fitted(line, measure, length);
        if (fits.size() < line.size() && !area.isEmpty())
            m_page.cut.append(area);
        if (fits.isEmpty())
            return;
        PageItem item;
        item.font = quint8(index);
        item.align = quint16(align | Qt::AlignVCenter);
        item.box = place;
        item.text = fits;
        item.turned = turned;
        m_page.items.push_back(item);
    }

    // Text of many lines in its block: each line wrapped at word breaks to the width; the
    // lines that do not fit in the height are left out.
    void block(const QString &area, const QRect &box, const ReportFont &font, Qt::Alignment align,
               const QString &text)
    {
        if (text.trimmed().isEmpty())
            return;
        const int index = m_writer.fontIndex(font);
        const QFontMetricsF &measure = m_writer.measure(index);
        const int height = lineHeight(font);
        QStringList lines;
        bool cut = false;
        QString source = text;
        source.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        for (const QString &paragraph : source.split(u'\n')) {
            // Leading blanks stay: they set numbers right in their places ("  3. Intro").
            qsizetype indent = 0;
            while (indent < paragraph.size() && paragraph.at(indent) == u' ')
                ++indent;
            QString line = paragraph.left(indent);
            for (const QString &word : paragraph.mid(indent).split(u' ', Qt::SkipEmptyParts)) {
                const QString longer = line.trimmed().isEmpty() ? line + word : line + u' ' + word;
                if (measure.horizontalAdvance(longer) <= box.width()) {
                    line = longer;
                    continue;
                }
                if (!line.trimmed().isEmpty())
                    lines.append(line);
                line = reports::fitted(word, measure, box.width());
                cut = cut || line.size() < word.size();
            }
            lines.append(line);
        }
        const int room = qMax(0, box.height() / height);
        if (lines.size() > room) {
            cut = true;
            lines = lines.mid(0, room);
        }
        if (cut)
            m_page.cut.append(area);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines.at(i).trimmed().isEmpty())
                continue;
            PageItem item;
            item.font = quint8(index);
            item.align = quint16(align | Qt::AlignVCenter);
            item.box = QRect(box.x(), box.y() + int(i) * height, box.width(), height);
            item.text = lines.at(i);
            m_page.items.push_back(item);
        }
    }

    void picture(const QString &file, const QPoint &at, int width, int height)
    {
        QImageReader reader(file);
        reader.setAutoTransform(true);
        const QImage image = file.isEmpty() ? QImage() : reader.read();
        if (image.isNull()) {
            m_page.cut.append(
                QStringLiteral("Image (%1 cannot be loaded)").arg(QFileInfo(file).fileName()));
            return;
        }
        // The picture's own size comes from its resolution (96 dots an inch when it has
        // none); a size given on one side only keeps the picture's proportions.
        const double dpmX = image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() : 3780;
        const double dpmY = image.dotsPerMeterY() > 0 ? image.dotsPerMeterY() : 3780;
        QSize natural(qRound(image.width() / dpmX * 39370.08),
                      qRound(image.height() / dpmY * 39370.08));
        natural = natural.expandedTo(QSize(1, 1));
        QSize size = natural;
        if (width > 0 && height > 0)
            size = QSize(width, height);
        else if (width > 0)
            size =
                QSize(width, qMax(1, qRound(double(width) * natural.height() / natural.width())));
        else if (height > 0)
            size =
                QSize(qMax(1, qRound(double(height) * natural.width() / natural.height())), height);
        PageItem item;
        item.kind = PageItem::Kind::Image;
        item.image = m_writer.imageIndex(image);
        item.box = QRect(at, size);
        m_page.items.push_back(item);
    }

    LabelPage take() { return std::move(m_page); }

private:
    Store &m_store;
    ReportWriter &m_writer;
    LabelPage m_page;
};

void layCd(Painter &p, const Record &label)
{
    p.box(109, 52, 5938, 4677);
    p.line(5807, 42, 0, 4677);
    p.line(359, 52, 0, 4677);
    p.box(3115, 4708, 4750, 4750);
    p.box(104, 4708, 3021, 4750);

    const QString image = label.text(lab::ImageName).trimmed();
    if (!image.isEmpty()) {
        const qint64 x = label.number(lab::ImagePositionX);
        const qint64 y = label.number(lab::ImagePositionY);
        const QString height = label.text(lab::ImageSizeY).trimmed();
        p.picture(image, QPoint(x != 0 ? int(x) : DefaultImageX, y != 0 ? int(y) : DefaultImageY),
                  int(label.number(lab::ImageSizeX)), height.isEmpty() ? 0 : height.toInt());
    }

    const ReportFont title = p.fontFor(label.number(lab::CDTitleFontID), TitleFont);
    const QString titleText = label.text(lab::CDTitle);
    p.text(QStringLiteral("Front Cover Title"), QRect(3188, 4740, 4594, 0), title, Qt::AlignLeft,
           titleText);
    const ReportFont spine = p.fontFor(label.number(lab::CDSpineFontID), SpineFont);
    const Qt::Alignment spineAlign = justification(label.text(lab::CDSpineJustification));
    const QString spineText = label.text(lab::CDSpine);
    p.text(QStringLiteral("Left Spine"), QRect(0, 94, 338, 4594), spine, spineAlign, spineText,
           true);
    p.text(QStringLiteral("Right Spine"), QRect(5818, 115, 438, 4594), spine, spineAlign, spineText,
           true);
    p.text(QStringLiteral("Back Cover Title"), QRect(401, 73, 5385, 0), title, Qt::AlignLeft,
           titleText);
    p.block(QStringLiteral("Back Cover"), QRect(453, 635, 5281, 4052),
            p.fontFor(label.number(lab::CDCoverTextFontID), CoverFont),
            justification(label.text(lab::CDBackCoverJustification)), label.memo(lab::CDCoverText));
    p.block(QStringLiteral("Front Cover"), QRect(3188, 5229, 4615, 4177),
            p.fontFor(label.number(lab::CDInsideTextFontID), CoverFont),
            justification(label.text(lab::CDTextJustification)), label.memo(lab::CDInsideText));
}

void layCassette(Painter &p, const Record &label, bool alternate)
{
    const ReportFont contents = p.fontFor(label.number(lab::CassetteContentsFontID), ContentsFont);
    const ReportFont title = p.fontFor(label.number(lab::CassetteTitleFontID), CassetteTitleFont);
    const ReportFont flap = p.fontFor(label.number(lab::CassetteFlapFontID), FlapFont);
    p.box(177, 625, 3740, 5948);
    if (!alternate) {
        p.line(177, 3075, 3729, 0);
        p.line(2042, 3073, 0, 2365);
        p.text(QString(), QRect(3781, 3104, 0, 0), SideFont, Qt::AlignLeft, QStringLiteral("B"));
        p.text(QString(), QRect(219, 3104, 0, 0), SideFont, Qt::AlignLeft, QStringLiteral("A"));
        p.block(QStringLiteral("Side A"), QRect(219, 3313, 1833, 2115), contents, Qt::AlignLeft,
                label.memo(lab::CassetteContentsA));
        p.block(QStringLiteral("Side B"), QRect(2042, 3313, 1833, 2115), contents, Qt::AlignLeft,
                label.memo(lab::CassetteContentsB));
        p.line(177, 5438, 3729, 0);
        p.block(QStringLiteral("Cassette Title"), QRect(219, 5469, 3646, 458), title, Qt::AlignLeft,
                label.memo(lab::CassetteTitle));
        p.line(177, 5958, 3729, 0);
        p.block(QStringLiteral("Flap"), QRect(219, 5990, 3646, 542), flap, Qt::AlignLeft,
                label.memo(lab::CassetteFlap));
        return;
    }
    p.line(2042, 1740, 0, 4600);
    p.text(QString(), QRect(3760, 6333, 0, 0), SideFont, Qt::AlignLeft, QStringLiteral("B"));
    p.text(QString(), QRect(219, 6333, 0, 0), SideFont, Qt::AlignLeft, QStringLiteral("A"));
    p.block(QStringLiteral("Side A"), QRect(219, 1750, 1833, 4594), contents, Qt::AlignLeft,
            label.memo(lab::CassetteContentsA));
    p.block(QStringLiteral("Side B"), QRect(2042, 1750, 1833, 4594), contents, Qt::AlignLeft,
            label.memo(lab::CassetteContentsB));
    p.line(177, 1208, 3729, 0);
    p.block(QStringLiteral("Cassette Title"), QRect(219, 1219, 3646, 458), title, Qt::AlignLeft,
            label.memo(lab::CassetteTitle));
    p.line(177, 1677, 3729, 0);
    p.block(QStringLiteral("Flap"), QRect(219, 667, 3646, 542), flap, Qt::AlignLeft,
            label.memo(lab::CassetteFlap));
}

reports::ReportLayout labelLayout(const QString &title)
{
    reports::ReportLayout layout;
    layout.title = title;
    layout.paper = LabelPaper;
    layout.pageHeader = false;
    return layout;
}

// The label on file with one number, as a report of one page.
class LabelSource : public reports::ReportSource
{
public:
    LabelSource(Session &session, qint64 labelId) : m_session(session), m_labelId(labelId) {}

    bool open() override
    {
        Store &store = m_session.store();
        m_uses =
            m_session.files().use({&store.table(TableId::Labels), &store.table(TableId::Fonts)});
        return bool(m_uses);
    }
    qint64 recordsToProcess() override { return 1; }
    reports::ReportLayout layout() const override { return labelLayout(QStringLiteral("Label")); }
    void useFont(const ReportFont &) override {}

    Read next(ReportWriter &writer) override
    {
        if (m_done)
            return Read::End;
        m_done = true;
        Table &labels = m_session.store().table(TableId::Labels);
        const Record keep = labels.buffer();
        const Table::CurrentRecord current = labels.current();
        labels.buffer().clear();
        labels.buffer().setNumber(lab::LabelID, m_labelId);
        const bool found = labels.get(lab::KeyLabelID);
        const Record label = labels.buffer();
        labels.buffer() = keep;
        labels.setCurrent(current);
        if (!found) {
            if (errorCode() == err::RecordNotFound) // another station deleted it
                return Read::End;
            standardWarning(warning::RecordRetrieval, labels.label());
            return Read::Failed;
        }
        const LabelPage page =
            layLabel(m_session.store(), label, Settings::global().altCasFmt != 0, writer);
        return writer.page(page.items) ? Read::Record : Read::Failed;
    }

private:
    Session &m_session;
    qint64 m_labelId;
    TableUses m_uses;
    bool m_done = false;
};

} // namespace

Layout layoutOf(const Record &label, bool alternateCassette)
{
    if (label.text(lab::LabelType).trimmed().compare(u"Cassette", Qt::CaseInsensitive) != 0)
        return Layout::CD;
    return alternateCassette ? Layout::AlternateCassette : Layout::Cassette;
}

ReportFont fontFromTexts(const QString &typeFace, const QString &size, const QString &colour,
                         const QString &style, const ReportFont &base)
{
    ReportFont font = base;
    if (!typeFace.trimmed().isEmpty())
        font.family = typeFace.trimmed();
    bool ok = false;
    const int points = size.trimmed().toInt(&ok);
    if (ok && points > 0 && points <= 500)
        font.points = points;
    const QString colourText = colour.trimmed();
    const qint64 number = colourText.toLongLong(&ok);
    if (ok && number >= 0 && number <= 0xFFFFFF)
        font.colour =
            QColor(int(number & 0xFF), int((number >> 8) & 0xFF), int((number >> 16) & 0xFF));
    else if (QColor named = QColor::fromString(colourText); named.isValid())
        font.colour = named;
    const QString styleText = style.trimmed();
    const qint64 styleNumber = styleText.toLongLong(&ok);
    if (ok) {
        font.bold = (styleNumber & 0xFFF) >= 600;
        font.italic = (styleNumber & 0x1000) != 0;
    } else if (!styleText.isEmpty()) {
        font.bold = styleText.contains(u"bold", Qt::CaseInsensitive);
        font.italic = styleText.contains(u"italic", Qt::CaseInsensitive);
    }
    return font;
}

FontTexts textsOfFont(const ReportFont &font)
{
    const QColor c = font.colour;
    return {font.family, QString::number(font.points),
            QString::number(c.red() + c.green() * 256 + c.blue() * 65536),
            QString::number((font.bold ? 700 : 400) + (font.italic ? 0x1000 : 0))};
}

std::optional<ReportFont> favouriteFont(Store &store, qint64 fontId)
{
    if (fontId == 0)
        return std::nullopt;
    Table &fonts = store.table(TableId::Fonts);
    if (!fonts.isOpen())
        return std::nullopt;
    const Record keep = fonts.buffer();
    const Table::CurrentRecord current = fonts.current();
    fonts.buffer().clear();
    fonts.buffer().setNumber(fon::FontID, fontId);
    std::optional<ReportFont> font;
    if (fonts.get(fon::KeyFontID)) {
        const Record &found = fonts.buffer();
        font = fontFromTexts(found.text(fon::TypeFace), found.text(fon::Size),
                             found.text(fon::Colour), found.text(fon::Style), ReportFont());
    }
    fonts.buffer() = keep;
    fonts.setCurrent(current);
    return font;
}

LabelPage layLabel(Store &store, const Record &label, bool alternateCassette, ReportWriter &writer)
{
    Painter painter(store, writer);
    const Layout layout = layoutOf(label, alternateCassette);
    if (layout == Layout::CD)
        layCd(painter, label);
    else
        layCassette(painter, label, layout == Layout::AlternateCassette);
    return painter.take();
}

QString cutMessage(const QStringList &cut)
{
    return QStringLiteral("These parts of the label do not fit and print cut, as the preview "
                          "shows them:\n") +
           cut.join(u'\n');
}

reports::PreviewWindow *previewLabel(Session &session, const Record &label, QWidget *parent,
                                     QMdiArea *area, QStringList *cut)
{
    Store &store = session.store();
    const TableUse fonts = session.files().use(store.table(TableId::Fonts));
    auto pages = std::make_shared<reports::PageList>();
    const QString title = label.text(lab::LabelDescription).trimmed();
    ReportWriter writer(*pages, labelLayout(title.isEmpty() ? QStringLiteral("Label") : title),
                        QString());
    const LabelPage page = layLabel(store, label, Settings::global().altCasFmt != 0, writer);
    if (!writer.page(page.items)) {
        (void)ask(
            {QStringLiteral("Report"),
             QStringLiteral("The report's pages could not be stored: %1").arg(writer.errorString()),
             Ok, Ok, Icon::Exclamation});
        return nullptr;
    }
    if (cut)
        *cut = page.cut;
    auto *preview = new reports::PreviewWindow(session, pages, writer.layout().title, parent);
    preview->showIn(area);
    return preview;
}

QWidget *printLabel(Session &session, qint64 labelId, QWidget *parent, QMdiArea *area)
{
    const Button answer =
        ask({QStringLiteral("Preview"), QStringLiteral("Do you wish to PREVIEW this Report?"),
             Yes | No | Cancel, Yes, Icon::Question});
    if (answer == Cancel)
        return nullptr;
    auto *run = new reports::ReportRun(session, std::make_unique<LabelSource>(session, labelId),
                                       answer == Yes ? reports::ReportRun::Destination::Preview
                                                     : reports::ReportRun::Destination::Printer,
                                       parent);
    run->setWorkArea(area);
    if (!run->start())
        return nullptr;
    return run->progressWindow();
}

} // namespace sv::labels
