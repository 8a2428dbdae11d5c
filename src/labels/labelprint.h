#pragma once

#include "reports/reportpage.h"
#include "store/record.h"

#include <QStringList>

#include <optional>
#include <vector>

class QMdiArea;
class QWidget;

namespace sv {

class Session;
class Store;

namespace reports {
class ReportWriter;
class PreviewWindow;
} // namespace reports

namespace labels {

// A label prints on one 8 x 10.5 inch page, placed in thousandths of an inch.
inline const QSize LabelPaper(8000, 10500);
inline constexpr int DefaultImageX = 6792;
inline constexpr int DefaultImageY = 8052;

enum class Layout { CD, Cassette, AlternateCassette };
Layout layoutOf(const Record &label, bool alternateCassette);

// A favourite font as the label prints it: the typeface, size, colour and style stored
// with it; nothing for 0 or a font no longer on file. Reads the fonts table, which must be
// open, keeping its buffer.
std::optional<reports::ReportFont> favouriteFont(Store &store, qint64 fontId);
// The stored texts of a font read as a report font; a size or colour that cannot be read
// keeps `base`'s.
reports::ReportFont fontFromTexts(const QString &typeFace, const QString &size,
                                  const QString &colour, const QString &style,
                                  const reports::ReportFont &base);
// The texts stored for a font chosen in the font dialog.
struct FontTexts
{
    QString typeFace, size, colour, style;
};
FontTexts textsOfFont(const reports::ReportFont &font);

// The page of one label, and what it could not hold: the areas whose text is longer than
// they are, and a picture that could not be loaded.
struct LabelPage
{
    std::vector<reports::PageItem> items;
    QStringList cut;
};
LabelPage layLabel(Store &store, const Record &label, bool alternateCassette,
                   reports::ReportWriter &writer);

// The label as it stands (in a form, not yet saved) shown in the preview window, from
// which it can be printed. Null when the page could not be stored (the user has been
// told). `cut` receives what the page could not hold.
reports::PreviewWindow *previewLabel(Session &session, const Record &label, QWidget *parent,
                                     QMdiArea *area, QStringList *cut = nullptr);

// "&Print" of the label list: the label on file with this number, printed as a report
// (preview question, progress, preview or printer). Returns the first window opened.
QWidget *printLabel(Session &session, qint64 labelId, QWidget *parent, QMdiArea *area);

// The text that tells the user what a preview will print cut.
QString cutMessage(const QStringList &cut);

} // namespace labels
} // namespace sv
