#include "formatlistbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace sv {

namespace {

const QList<std::pair<QChar, QString>> Justifications{
    {u'D', QStringLiteral("Dec")},
    {u'L', QStringLiteral("Left")},
    {u'C', QStringLiteral("Center")},
    {u'R', QStringLiteral("Right")},
};

QComboBox *justificationBox()
{
    auto *box = new QComboBox;
    for (const auto &[letter, text] : Justifications)
        box->addItem(text, QString(letter));
    return box;
}

QSpinBox *spin(int maximum, const QString &tip)
{
    auto *box = new QSpinBox;
    box->setRange(0, maximum);
    box->setToolTip(tip);
    return box;
}

QCheckBox *check(const QString &text, const QString &tip)
{
    auto *box = new QCheckBox(text);
    box->setToolTip(tip);
    return box;
}

QTreeWidget *fieldList(const QString &first, const QString &tip)
{
    auto *list = new QTreeWidget;
    list->setHeaderLabels({first, QStringLiteral("Data")});
    list->setRootIsDecorated(false);
    list->setToolTip(tip);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    return list;
}

} // namespace

FormatListbox::FormatListbox(Browser &browser, const QList<BrowserSetup::ExploreColumn> &columns)
    : QDialog(&browser), m_browser(browser), m_columns(columns), m_look(browser.listLook())
{
    for (const BrowserSetup::ExploreColumn &column : columns)
        m_descriptions.insert(column.fieldName, column.description);
    setWindowTitle(QStringLiteral("Format Listbox..."));
    setAttribute(Qt::WA_DeleteOnClose);
    m_layout = ListFormat::parse(browser.listLayout()).value_or(ListFormat{});
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(buildColumnPart(), 3);
    layout->addWidget(buildListPart(), 2);
    fillLists();
    m_shown->setCurrentItem(m_shown->topLevelItem(0));
    showColumn();
}

QWidget *FormatListbox::buildColumnPart()
{
    auto *part = new QWidget;
    auto *rows = new QVBoxLayout(part);
    rows->setContentsMargins(0, 0, 0, 0);
    m_shown = fieldList(QStringLiteral("Column"), QStringLiteral("'Right Click to display field'"));
    m_available =
        fieldList(QStringLiteral("Field"), QStringLiteral("'Right Click to erase field'"));
    auto *lists = new QHBoxLayout;
    lists->addWidget(m_shown);
    lists->addWidget(m_available);
    rows->addLayout(lists, 1);
    connect(m_shown, &QTreeWidget::currentItemChanged, this, &FormatListbox::showColumn);

    auto *moves = new QHBoxLayout;
    const struct
    {
        const char *text;
        void (FormatListbox::*action)();
    } buttons[] = {{"Add Column to display list", &FormatListbox::addColumn},
                   {"Hide column from display list", &FormatListbox::hideColumn}};
    auto *left = new QPushButton(QStringLiteral("Move Column Left"));
    connect(left, &QPushButton::clicked, this, [this] { moveColumn(-1); });
    auto *right = new QPushButton(QStringLiteral("Move Column Right"));
    connect(right, &QPushButton::clicked, this, [this] { moveColumn(1); });
    moves->addWidget(left);
    moves->addWidget(right);
    for (const auto &button : buttons) {
        auto *push = new QPushButton(QString::fromUtf8(button.text));
        connect(push, &QPushButton::clicked, this, button.action);
        moves->addWidget(push);
    }
    rows->addLayout(moves);

    auto *column = new QGroupBox(QStringLiteral("Column"));
    auto *form = new QFormLayout(column);
    m_header = new QLineEdit;
    m_header->setMaxLength(HeaderLength);
    m_header->setToolTip(QStringLiteral("Change Column Header Text"));
    m_headerOffset = spin(99, QStringLiteral("Change Header Offset"));
    m_headerJustification = justificationBox();
    m_fieldJustification = justificationBox();
    m_width = spin(2000, QStringLiteral("Change Column Width"));
    m_dataOffset = spin(99, QStringLiteral("Change Data Field Offset"));
    form->addRow(QStringLiteral("&Header:"), m_header);
    form->addRow(QStringLiteral("Off&set:"), m_headerOffset);
    form->addRow(QStringLiteral("Header &Justification"), m_headerJustification);
    form->addRow(QStringLiteral("&Field Justification"), m_fieldJustification);
    form->addRow(QStringLiteral("&Width:"), m_width);
    form->addRow(QStringLiteral("Offse&t:"), m_dataOffset);
    m_fixed = check(QStringLiteral("F&ixed"),
                    QStringLiteral("Fix all columns to the left when horizontal Scrolling"));
    m_underline = check(QStringLiteral("&Uline"), QStringLiteral("Underline the current column"));
    m_border = check(QStringLiteral("&Border"), QStringLiteral("Right hand border line"));
    m_resize = check(QStringLiteral("&Resize"), QStringLiteral("Allow Column Resize with Mouse"));
    auto *flags = new QHBoxLayout;
    for (QCheckBox *box : {m_fixed, m_underline, m_border, m_resize}) {
        flags->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &FormatListbox::columnEdited);
    }
    form->addRow(flags);
    connect(m_header, &QLineEdit::textEdited, this, &FormatListbox::columnEdited);
    for (QSpinBox *box : {m_headerOffset, m_width, m_dataOffset})
        connect(box, &QSpinBox::valueChanged, this, &FormatListbox::columnEdited);
    for (QComboBox *box : {m_headerJustification, m_fieldJustification})
        connect(box, &QComboBox::currentIndexChanged, this, &FormatListbox::columnEdited);
    rows->addWidget(column);
    return part;
}

QWidget *FormatListbox::buildListPart()
{
    auto *part = new QGroupBox(QStringLiteral("List"));
    auto *form = new QFormLayout(part);
    m_x = spin(2000, QStringLiteral("Move Listbox Horizontally"));
    m_y = spin(2000, QStringLiteral("Move Listbox Vertically"));
    m_listWidth = spin(4000, QStringLiteral("Adjust Width of Listbox"));
    m_listHeight = spin(4000, QStringLiteral("Adjust Height of LIstbox"));
    m_lineHeight = spin(200, QStringLiteral("Adjust Line Height"));
    form->addRow(QStringLiteral("&X Pos:"), m_x);
    form->addRow(QStringLiteral("&Y Pos:"), m_y);
    form->addRow(QStringLiteral("Wid&th:"), m_listWidth);
    form->addRow(QStringLiteral("H&eight:"), m_listHeight);
    form->addRow(QStringLiteral("&LineHeight:"), m_lineHeight);
    m_x->setValue(m_look.place.x());
    m_y->setValue(m_look.place.y());
    m_listWidth->setValue(m_look.place.width());
    m_listHeight->setValue(m_look.place.height());
    m_lineHeight->setValue(m_look.lineHeight);
    for (QSpinBox *box : {m_x, m_y, m_listWidth, m_listHeight, m_lineHeight})
        connect(box, &QSpinBox::valueChanged, this, &FormatListbox::lookEdited);
    auto *font = new QPushButton(QStringLiteral("F&ont"));
    font->setToolTip(QStringLiteral("Assign New Font to Listbox"));
    connect(font, &QPushButton::clicked, this, &FormatListbox::chooseFont);
    form->addRow(font);
    m_verticalScroll =
        check(QStringLiteral("&Vertical Scroll"), QStringLiteral("Display Vertical Scroll bar"));
    m_horizontalScroll = check(QStringLiteral("Hori&zontal Scroll"),
                               QStringLiteral("Display Horizontal Scroll bar"));
    m_verticalScroll->setChecked(m_look.verticalScroll);
    m_horizontalScroll->setChecked(m_look.horizontalScroll);
    for (QCheckBox *box : {m_verticalScroll, m_horizontalScroll}) {
        form->addRow(box);
        connect(box, &QCheckBox::toggled, this, &FormatListbox::lookEdited);
    }
    auto *defaults = new QPushButton(QStringLiteral("&Default"));
    defaults->setToolTip(QStringLiteral("Reset listbox back to default"));
    connect(defaults, &QPushButton::clicked, this, &FormatListbox::backToDefault);
    auto *close = new QPushButton(QStringLiteral("&Close"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    form->addRow(defaults);
    form->addRow(close);
    return part;
}

void FormatListbox::fillLists()
{
    const QSignalBlocker quiet(m_shown);
    m_shown->clear();
    m_available->clear();
    QStringList shownFields;
    for (const ListColumn &column : std::as_const(m_layout.columns)) {
        m_shown->addTopLevelItem(new QTreeWidgetItem({column.header, column.fieldTag()}));
        shownFields.append(column.fieldTag().toUpper());
    }
    for (const BrowserSetup::ExploreColumn &column : std::as_const(m_columns)) {
        if (!shownFields.contains(column.fieldName.toUpper()))
            m_available->addTopLevelItem(
                new QTreeWidgetItem({m_descriptions.value(column.fieldName), column.fieldName}));
    }
}

int FormatListbox::current() const
{
    QTreeWidgetItem *item = m_shown->currentItem();
    return item ? m_shown->indexOfTopLevelItem(item) : -1;
}

void FormatListbox::showColumn()
{
    const int at = current();
    if (at < 0 || at >= m_layout.columns.size())
        return;
    const ListColumn &column = m_layout.columns.at(at);
    const QScopedValueRollback filling(m_filling, true);
    m_header->setText(column.header);
    m_headerOffset->setValue(headerOffset(column));
    const QChar headerLetter = column.headerSuffix.isEmpty() ? u'L' : column.headerSuffix.front();
    m_headerJustification->setCurrentIndex(m_headerJustification->findData(QString(headerLetter)));
    m_fieldJustification->setCurrentIndex(
        m_fieldJustification->findData(QString(column.justification)));
    m_width->setValue(column.width);
    m_dataOffset->setValue(qMax(0, column.indent));
    m_fixed->setChecked(column.hasFlag(ListColumn::Fixed));
    m_underline->setChecked(column.hasFlag(ListColumn::Underline));
    m_border->setChecked(column.hasFlag(ListColumn::Border));
    m_resize->setChecked(column.hasFlag(ListColumn::Resizable));
}

void FormatListbox::columnEdited()
{
    const int at = current();
    if (m_filling || at < 0 || at >= m_layout.columns.size())
        return;
    ListColumn &column = m_layout.columns[at];
    column.header = m_header->text();
    column.hasHeader = true;
    setHeaderPlacing(column, m_headerJustification->currentData().toString().front(),
                     m_headerOffset->value());
    column.justification = m_fieldJustification->currentData().toString().front();
    column.width = m_width->value();
    column.indent = m_dataOffset->value();
    column.setFlag(ListColumn::Fixed, m_fixed->isChecked());
    column.setFlag(ListColumn::Underline, m_underline->isChecked());
    column.setFlag(ListColumn::Border, m_border->isChecked());
    column.setFlag(ListColumn::Resizable, m_resize->isChecked());
    m_shown->topLevelItem(at)->setText(0, column.header);
    m_browser.applyListLayout(m_layout.toString());
}

void FormatListbox::lookEdited()
{
    m_look.place = QRect(m_x->value(), m_y->value(), m_listWidth->value(), m_listHeight->value());
    m_look.lineHeight = m_lineHeight->value();
    m_look.verticalScroll = m_verticalScroll->isChecked();
    m_look.horizontalScroll = m_horizontalScroll->isChecked();
    m_browser.applyListLook(m_look);
}

void FormatListbox::chooseFont()
{
    bool chosen = false;
    const QFont font = QFontDialog::getFont(&chosen, m_look.font, this);
    if (!chosen)
        return;
    m_look.font = font;
    m_browser.applyListLook(m_look);
}

void FormatListbox::apply(int highlight)
{
    m_browser.applyListLayout(m_layout.toString());
    fillLists();
    m_shown->setCurrentItem(
        m_shown->topLevelItem(qBound(0, highlight, m_shown->topLevelItemCount() - 1)));
    showColumn();
}

void FormatListbox::moveColumn(int by)
{
    const int at = current();
    const int to = at + by;
    if (at < 0 || to < 0 || to >= m_layout.columns.size())
        return;
    m_layout.columns.move(at, to);
    apply(to);
}

void FormatListbox::addColumn()
{
    const QTreeWidgetItem *item = m_available->currentItem();
    if (!item)
        return;
    const QString field = item->text(1);
    for (const BrowserSetup::ExploreColumn &column : std::as_const(m_columns)) {
        if (column.fieldName != field)
            continue;
        // Designed as the default layout has it, when it has it.
        const std::optional<ListFormat> designed = ListFormat::parse(m_browser.designedLayout());
        ListColumn added;
        for (const ListColumn &candidate : designed ? designed->columns : QList<ListColumn>()) {
            if (candidate.fieldTag() == field)
                added = candidate;
        }
        if (added.picture.isEmpty()) {
            added.width = 60;
            added.header = m_descriptions.value(field).left(HeaderLength);
            added.hasHeader = true;
            added.picture = QStringLiteral("s20");
            added.setFieldTag(field);
        }
        const int at = current() + 1;
        m_layout.columns.insert(at, added);
        apply(at);
        return;
    }
}

void FormatListbox::hideColumn()
{
    const int at = current();
    // The list keeps one column at least.
    if (at < 0 || m_layout.columns.size() <= 1)
        return;
    m_layout.columns.removeAt(at);
    apply(at);
}

void FormatListbox::backToDefault()
{
    m_layout = ListFormat::parse(m_browser.designedLayout()).value_or(ListFormat{});
    apply(0);
}

} // namespace sv
