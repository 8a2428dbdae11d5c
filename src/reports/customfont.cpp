#include "customfont.h"

#include "app/settings.h"

#include <QComboBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>

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

namespace {

// The sixteen colours a font dialog traditionally offers, by name.
const std::pair<const char *, QRgb> StandardColours[] = {
    {"Black", 0x000000},  {"Maroon", 0x800000},  {"Green", 0x008000}, {"Olive", 0x808000},
    {"Navy", 0x000080},   {"Purple", 0x800080},  {"Teal", 0x008080},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0xFF0000},     {"Lime", 0x00FF00},  {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0x00FFFF},  {"White", 0xFFFFFF},
};

// A "Color:" list under the dialog's effects, set to `current` (added to the list when it
// is none of the sixteen).
QComboBox *addColourChoice(QFontDialog &dialog, const QColor &current)
{
    auto *colours = new QComboBox(&dialog);
    colours->setObjectName(QStringLiteral("fontColour"));
    for (const auto &[name, rgb] : StandardColours) {
        QPixmap swatch(12, 12);
        swatch.fill(QColor(rgb));
        colours->addItem(QIcon(swatch), QString::fromLatin1(name), QColor(rgb));
    }
    int at = colours->findData(QColor(current.rgb()));
    if (at < 0) {
        QPixmap swatch(12, 12);
        swatch.fill(current);
        colours->addItem(QIcon(swatch), current.name(), current);
        at = colours->count() - 1;
    }
    colours->setCurrentIndex(at);
    auto *row = new QWidget(&dialog);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(QStringLiteral("&Color:"), row);
    label->setBuddy(colours);
    rowLayout->addWidget(label);
    rowLayout->addWidget(colours, 1);
    if (auto *effects = dialog.findChild<QGroupBox *>(); effects && effects->layout())
        effects->layout()->addWidget(row);
    else if (dialog.layout())
        dialog.layout()->addWidget(row);
    return colours;
}

} // namespace

void setFontChooser(FontChooser chooser)
{
    installedChooser() = std::move(chooser);
}

void chooseFont(const ReportFont &initial, QWidget *parent,
                std::function<void(std::optional<ReportFont>)> done, const FontQuestion &question)
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
    dialog->setWindowTitle(question.title.isEmpty()
                               ? QStringLiteral("Select Custom Font for Report")
                               : question.title);
    QComboBox *colours = question.colour ? addColourChoice(*dialog, initial.colour) : nullptr;
    const QColor colour = initial.colour;
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, colour, colours, done = std::move(done)](int result) {
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
                         // Without the colour list the dialog has no colour of its own.
                         font.colour = colours ? colours->currentData().value<QColor>() : colour;
                         done(font);
                     });
    dialog->open();
}

} // namespace sv::reports
