#pragma once

#include "reportpage.h"

#include <functional>
#include <optional>

class QWidget;

namespace sv::reports {

// A report's custom font, kept in the "Fonts" section of the settings file under
// "FontName", "FontSize", "FontColor" and "FontStyle" followed by the variant ("Print" for
// the standard report, "Brief" for its twin) and the report's order name.
struct FontKeys
{
    QString variant;   // "Print" or "Brief"
    QString orderName; // "MUS:SongsByTitle"
    QString key(const QString &word) const { return word + variant + orderName; }
};

// The font stored under the keys; nothing when no name is stored.
std::optional<ReportFont> readCustomFont(const FontKeys &keys);
void writeCustomFont(const FontKeys &keys, const ReportFont &font);
// Style as stored: the weight (400 normal, 700 bold), plus 4096 for italic. Colour as
// stored: red + green * 256 + blue * 65536.
int fontStyleNumber(const ReportFont &font);
int fontColourNumber(const ReportFont &font);

// Asks for a font in "Select Custom Font for Report", starting from `initial`; `done`
// follows with the font on Ok and nothing on Cancel. Tests put a chooser of their own in
// its place.
using FontChooser = std::function<void(const ReportFont &initial, QWidget *parent,
                                       std::function<void(std::optional<ReportFont>)> done)>;
void setFontChooser(FontChooser chooser); // an empty chooser puts the dialog back
// How the dialog asks: its caption when it is not the reports' own, and whether it offers
// the colour of the text among the sixteen standard colours (a label's favourite fonts
// have one; a report prints in black).
struct FontQuestion
{
    QString title;
    bool colour = false;
};
void chooseFont(const ReportFont &initial, QWidget *parent,
                std::function<void(std::optional<ReportFont>)> done,
                const FontQuestion &question = {});

} // namespace sv::reports
