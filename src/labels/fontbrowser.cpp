#include "fontbrowser.h"

#include "labelprint.h"

#include "app/pagemodel.h"
#include "reports/customfont.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace sv {

namespace {

BrowserSetup fontSetup()
{
    BrowserSetup setup;
    setup.procedure = QStringLiteral("SelectFont");
    setup.windowTitle = QStringLiteral("Favorite Fonts");
    setup.table = TableId::Fonts;
    SortTab order;
    order.caption = QStringLiteral("Type Face");
    order.key = fon::KeyTypeFace;
    setup.tabs = {order};
    setup.listFormat = QStringLiteral("100L(2)|M~Type Face~@s32@40L(2)|M~Size~@s32@"
                                      "60L(2)|M~Colour~@s32@60L(2)|M~Style~@s32@");
    setup.columnText = {BrowserSetup::field(fon::TypeFace), BrowserSetup::field(fon::Size),
                        BrowserSetup::field(fon::Colour), BrowserSetup::field(fon::Style)};
    setup.addCaption = QStringLiteral("&Add");
    setup.closeCaption = QStringLiteral("Cancel");
    setup.minimumSize = QSize(360, 200);
    return setup;
}

QString fontTitle(Request request)
{
    return request == Request::Insert ? QStringLiteral("Adding a Favorite Font")
                                      : QStringLiteral("Changing a Favorite Font");
}

QString fontKeyName(int key)
{
    return key == fon::KeyTypeFace ? QStringLiteral("FON:KeyTypeFace")
                                   : QStringLiteral("FON:KeyFontID");
}

} // namespace

FontBrowser::FontBrowser(Session &session, Request request, QWidget *parent)
    : Browser(session, fontSetup(), request, parent)
{
    auto *freeformButton = new QPushButton(QStringLiteral("&Freeform"));
    freeformButton->setToolTip(QStringLiteral("Type the font's values"));
    connect(freeformButton, &QPushButton::clicked, this, &FontBrowser::freeform);
    auto *rows = static_cast<QVBoxLayout *>(layout());
    auto *recordRow = static_cast<QBoxLayout *>(rows->itemAt(rows->count() - 1)->layout());
    recordRow->insertWidget(recordRow->indexOf(button(QStringLiteral("Cancel"))), freeformButton);
    resize(480, 320);
}

void FontBrowser::freeform()
{
    m_freeform = true;
    callFormFor(model()->isEmpty() ? Request::Insert : Request::Change);
    m_freeform = false;
}

UpdateForm *FontBrowser::createForm(Request request)
{
    if (m_freeform)
        return new FreeformFontForm(session(), request);
    return new FontForm(session(), request);
}

FontForm::FontForm(Session &session, Request request, QWidget *parent)
    : UpdateForm(session, TableId::Fonts, QStringLiteral("UpdateFonts"), request, parent)
{
    m_values = new QLabel;
    m_values->setObjectName(QStringLiteral("fontValues"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_values);
    auto *again = new QPushButton(QStringLiteral("Choose &Font..."));
    connect(again, &QPushButton::clicked, this, &FontForm::chooseFont);
    layout->addWidget(again);
    layout->addLayout(okCancelButtons(QStringLiteral("&OK")));
}

QString FontForm::title(Request request) const
{
    return fontTitle(request);
}

QString FontForm::duplicateKeyName(int key) const
{
    return fontKeyName(key);
}

void FontForm::loadFields()
{
    UpdateForm::loadFields();
    const Record &font = record();
    m_values->setText(font.text(fon::TypeFace).trimmed() + u' ' + font.text(fon::Size).trimmed() +
                      QStringLiteral("  Colour:  ") + font.text(fon::Colour).trimmed() +
                      QStringLiteral("  Style:  ") + font.text(fon::Style).trimmed());
}

void FontForm::showEvent(QShowEvent *event)
{
    UpdateForm::showEvent(event);
    if (m_asked)
        return;
    m_asked = true;
    QMetaObject::invokeMethod(this, &FontForm::chooseFont, Qt::QueuedConnection);
}

void FontForm::chooseFont()
{
    if (hasEnded())
        return;
    const Record &font = record();
    const reports::ReportFont initial =
        labels::fontFromTexts(font.text(fon::TypeFace), font.text(fon::Size),
                              font.text(fon::Colour), font.text(fon::Style), reports::ReportFont());
    const QPointer<FontForm> self(this);
    setEnabled(false);
    reports::chooseFont(
        initial, this,
        [self](std::optional<reports::ReportFont> chosen) {
            if (!self || self->hasEnded())
                return;
            self->setEnabled(true);
            if (!chosen) {
                self->cancel();
                return;
            }
            const labels::FontTexts texts = labels::textsOfFont(*chosen);
            Record &stored = self->record();
            stored.setText(fon::TypeFace, texts.typeFace);
            stored.setText(fon::Size, texts.size);
            stored.setText(fon::Colour, texts.colour);
            stored.setText(fon::Style, texts.style);
            self->loadFields();
            self->accept();
        },
        reports::FontQuestion{QStringLiteral("Choose Font"), true});
}

FreeformFontForm::FreeformFontForm(Session &session, Request request, QWidget *parent)
    : UpdateForm(session, TableId::Fonts, QStringLiteral("UpdateFontsFreeform"), request, parent)
{
    auto *form = new QFormLayout;
    m_typeFace = new QLineEdit;
    bindLineEdit(m_typeFace, fon::TypeFace, QStringLiteral("@s32"));
    form->addRow(QStringLiteral("&Type Face:"), m_typeFace);
    m_size = new QLineEdit;
    m_size->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), m_size));
    bindLineEdit(m_size, fon::Size, QStringLiteral("@S32"));
    form->addRow(QStringLiteral("&Size:"), m_size);
    auto *colour = new QLineEdit;
    bindLineEdit(colour, fon::Colour, QStringLiteral("@S32"));
    form->addRow(QStringLiteral("&Colour:"), colour);
    auto *style = new QLineEdit;
    bindLineEdit(style, fon::Style, QStringLiteral("@S32"));
    form->addRow(QStringLiteral("St&yle:"), style);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Update Font Information (Freeform)")));
    layout->addLayout(form);
    layout->addLayout(okCancelButtons(QStringLiteral("&OK")));
    checkWhenLeft(m_size, [this] {
        const QString size = m_size->text().trimmed();
        if (size.isEmpty() || size.toInt() > 0)
            return true;
        rejectEntry(m_size, QStringLiteral("Size: enter the size in points"));
        return false;
    });
}

QString FreeformFontForm::title(Request request) const
{
    return fontTitle(request);
}

QString FreeformFontForm::duplicateKeyName(int key) const
{
    return fontKeyName(key);
}

// A favourite font is found by its typeface: one without is of no use to a label.
bool FreeformFontForm::checkFields()
{
    if (!record().text(fon::TypeFace).trimmed().isEmpty())
        return true;
    rejectEntry(m_typeFace, QStringLiteral("Type Face: enter the font's name"));
    return false;
}

} // namespace sv
