#include "customfont.h"

#include "app/settings.h"

#include <QFontDialog>

#include <algorithm>

namespace sv::reports {

namespace {

const QString Section = QStringLiteral("Fonts");
constexpr int Bold = 700;
constexpr int Normal = 400;
constexpr int Italic = 4096;
constexpr int NameWidth = 32;

FontChooser &installedChooser()
{
    static FontChooser chooser;
    return chooser;
}

} // namespace

int fontStyleNumber(const ReportFont &font)
{
    return (font.bold ? Bold : Normal) + (font.italic ? Italic : 0);
}

int fontColourNumber(const ReportFont &font)
{
    return font.colour.red() + font.colour.green() * 256 + font.colour.blue() * 65536;
}

std::optional<ReportFont> readCustomFont(const FontKeys &keys)
{
    const QString name = settings::read(keys.key(QStringLiteral("FontName")), QString(), Section);
    if (name.trimmed().isEmpty())
        return std::nullopt;
    ReportFont font;
    font.family = name.trimmed().left(NameWidth);
    const qint64 size = settings::readNumber(keys.key(QStringLiteral("FontSize")), 10, Section);
    font.points = int(std::clamp<qint64>(size, 1, 500));
    const qint64 colour = settings::readNumber(keys.key(QStringLiteral("FontColor")), 0, Section);
    font.colour = QColor(int(colour & 0xff), int((colour >> 8) & 0xff), int((colour >> 16) & 0xff));
    const qint64 style =
        settings::readNumber(keys.key(QStringLiteral("FontStyle")), Normal, Section);
    font.italic = (style & Italic) != 0;
    font.bold = (style & 0xfff) >= 600;
    return font;
}

void writeCustomFont(const FontKeys &keys, const ReportFont &font)
{
    settings::write(keys.key(QStringLiteral("FontName")), font.family.left(NameWidth), Section);
    settings::writeNumber(keys.key(QStringLiteral("FontSize")), font.points, Section);
    settings::writeNumber(keys.key(QStringLiteral("FontColor")), fontColourNumber(font), Section);
    settings::writeNumber(keys.key(QStringLiteral("FontStyle")), fontStyleNumber(font), Section);
}

void setFontChooser(FontChooser chooser)
{
    installedChooser() = std::move(chooser);
}

void chooseFont(const ReportFont &initial, QWidget *parent,
                std::function<void(std::optional<ReportFont>)> done, const QString &title)
{
    if (installedChooser()) {
        installedChooser()(initial, parent, std::move(done));
        return;
    }
    QFont start(initial.family);
    start.setPointSize(initial.points);
    start.setBold(initial.bold);
    start.setItalic(initial.italic);
    auto *dialog = new QFontDialog(start, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title.isEmpty() ? QStringLiteral("Select Custom Font for Report")
                                           : title);
    const QColor colour = initial.colour;
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, colour, done = std::move(done)](int result) {
                         if (result != QDialog::Accepted) {
                             done(std::nullopt);
                             return;
                         }
                         const QFont chosen = dialog->selectedFont();
                         ReportFont font;
                         font.family = chosen.family();
                         font.points = qMax(1, chosen.pointSize());
                         font.bold = chosen.bold();
                         font.italic = chosen.italic();
                         font.colour = colour; // the dialog has no colour of its own
                         done(font);
                     });
    dialog->open();
}

} // namespace sv::reports
