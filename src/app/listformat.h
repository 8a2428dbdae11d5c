#pragma once

#include <QList>
#include <QString>

#include <optional>

class QHeaderView;

namespace sv {

// The layout of a list's columns as one line of text, as windows store it in POSITION.INI:
// for each column its width in dialog units, justification and indent, modifiers, header
// and picture, e.g. "80L(2)|M~Artist~@s50@49R(2)|M~Released~C(1)@d2@". Parsing keeps every
// part, so a format reads back exactly as it was written.
struct ListColumn
{
    int width = 0;
    QChar justification = u'L'; // L, R, C or D
    int indent = -1;            // -1: none written
    QString modifiers;          // such as "|M": right border, resizable
    QString header;
    bool hasHeader = false;
    QString headerSuffix; // header justification and other settings, such as "C(1)"
    QString picture;      // without the enclosing '@'

    // The field a column of an explore view shows, kept among its modifiers as
    // "#MUS:Artist#", so that columns can be moved, hidden and added again.
    QString fieldTag() const;
    void setFieldTag(const QString &field);

    // The column's flags among its modifiers, outside its field tag.
    static constexpr QChar Fixed = u'F';     // stays in place when the list scrolls sideways
    static constexpr QChar Underline = u'_'; // its texts underlined
    static constexpr QChar Border = u'|';    // a line on its right
    static constexpr QChar Resizable = u'M'; // its width dragged with the mouse
    bool hasFlag(QChar flag) const;
    void setFlag(QChar flag, bool on);
};

class ListFormat
{
public:
    static std::optional<ListFormat> parse(const QString &text);
    QString toString() const;

    QList<ListColumn> columns;

    // Every column whose picture is a date picture shows dates in `datePicture` instead.
    void useDatePicture(const QString &datePicture);
};

// The saved layout of a list: `control` names the list ("Browse", "ListQueue"), `suffix` is
// ":1" for a numbered list control. A layout saved under another design (or date format)
// is discarded: the designed format is returned and remembered as the new original.
// The entries a layout is kept under; an explore view's user may add and hide columns, so
// its saved layout need not have the designed number of them.
struct ListFormatKeys
{
    QString original = QStringLiteral("SRCFOriginal");
    QString saved = QStringLiteral("SRCF");
    bool sameColumns = true;
};
QString restoredListFormat(const QString &section, const QString &control, const QString &suffix,
                           const QString &designed, const ListFormatKeys &keys = {});
void saveListFormat(const QString &section, const QString &control, const QString &suffix,
                    const QString &current, const ListFormatKeys &keys = {});

// Column widths in dialog units (a quarter of the average character width) on screen.
void applyColumnWidths(const QString &format, QHeaderView *header);
// The format with the widths the columns have on screen now.
QString withColumnWidths(const QString &format, const QHeaderView *header);

} // namespace sv
