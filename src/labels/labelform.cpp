#include "labelform.h"

#include "fontbrowser.h"
#include "labelprint.h"
#include "labeltext.h"

#include "albums/selectfilenumber.h"
#include "app/browser.h"
#include "app/mainframe.h"
#include "app/session.h"
#include "exchange/filechooser.h"
#include "platform/prompter.h"
#include "songs/selectalbum.h"
#include "store/integrity.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sv {

namespace {

const QStringList Justifications{QStringLiteral("Left"), QStringLiteral("Center"),
                                 QStringLiteral("Right")};
const QStringList ImageSizes{QStringLiteral("Actual"), QStringLiteral("Thumbnail"),
                             QStringLiteral("Other")};
const QStringList LabelTypes{QStringLiteral("Cassette"), QStringLiteral("CD")};

int optionOf(const QStringList &options, const QString &value, int otherwise)
{
    for (qsizetype i = 0; i < options.size(); ++i)
        if (options.at(i).compare(value.trimmed(), Qt::CaseInsensitive) == 0)
            return int(i);
    return otherwise;
}

// Keeps a memo's lines readable in a small box: two lines for the cassette's title and
// flap.
QPlainTextEdit *shortMemo()
{
    auto *edit = new QPlainTextEdit;
    edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 3 + 12);
    return edit;
}

} // namespace

LabelForm::LabelForm(Session &session, Request request, Mode mode, QWidget *parent)
    : UpdateForm(session, TableId::Labels, QStringLiteral("UpdateLabels"),
                 request == Request::Select ? Request::Insert : request, parent),
      m_mode(mode)
{
    Store &store = session.store();
    m_lookups = session.files().use({&store.table(TableId::Fonts), &store.table(TableId::Albums),
                                     &store.table(TableId::Songs)});
    m_copy = request == Request::Select;

    QWidget *general = generalPage();
    QWidget *front = memoPage(m_frontCover, 3000, lab::CDInsideTextFontID,
                              QStringLiteral("What should be on the front cover of the CD?"));
    QWidget *backCover = memoPage(m_backCover, 3000, lab::CDCoverTextFontID,
                                  QStringLiteral("What should be on the back cover of the CD?"));
    QWidget *sideA = memoPage(m_sideA, 3000, lab::CassetteContentsFontID,
                              QStringLiteral("What are the songs on Side A of the cassette?"));
    QWidget *sideB = memoPage(m_sideB, 3000, lab::CassetteContentsFontID,
                              QStringLiteral("What are the songs on Side B of the cassette?"));
    QWidget *position = positionPage();
    m_pageOf = {{General, general}, {FrontCover, front}, {BackCover, backCover},
                {SidesA, sideA},    {SidesB, sideB},     {Position, position}};

    auto *layout = new QVBoxLayout(this);
    auto *preview = new QPushButton(QStringLiteral("Preview"));
    preview->setAutoDefault(false);
    connect(preview, &QPushButton::clicked, this, &LabelForm::preview);
    if (m_mode == Mode::Tabs) {
        m_tabs = new QTabWidget;
        m_tabs->addTab(general, QStringLiteral("General"));
        m_tabs->addTab(front, QStringLiteral("Front Cover"));
        m_tabs->addTab(backCover, QStringLiteral("Back Cover"));
        m_tabs->addTab(position, QStringLiteral("Position"));
        m_tabs->addTab(sideA, QStringLiteral("Side A"));
        m_tabs->addTab(sideB, QStringLiteral("Side B"));
        layout->addWidget(m_tabs);
        auto *buttons = new QHBoxLayout;
        buttons->addWidget(preview);
        buttons->addLayout(okCancelButtons(QStringLiteral("&OK")));
        layout->addLayout(buttons);
    } else {
        m_pages = new QStackedWidget;
        m_pageOf.insert(WizardPage, wizardPage());
        for (int page : {WizardPage, General, FrontCover, BackCover, SidesA, SidesB})
            m_pages->addWidget(m_pageOf.value(page));
        // The position entries keep their values in the wizard without a page of their own.
        position->setParent(this);
        position->hide();
        layout->addWidget(m_pages);
        m_back = new QPushButton(QStringLiteral("&Back"));
        m_next = new QPushButton(QStringLiteral("&Next"));
        m_finish = new QPushButton(QStringLiteral("&Finish"));
        auto *cancelButton = new QPushButton(QStringLiteral("Cancel"));
        cancelButton->setFocusPolicy(Qt::TabFocus);
        connect(m_back, &QPushButton::clicked, this, &LabelForm::back);
        connect(m_next, &QPushButton::clicked, this, &LabelForm::next);
        connect(m_finish, &QPushButton::clicked, this, &LabelForm::finish);
        connect(cancelButton, &QPushButton::clicked, this, &UpdateForm::cancel);
        auto *buttons = new QHBoxLayout;
        buttons->addWidget(preview);
        buttons->addStretch();
        for (QPushButton *button : {m_back, m_next, m_finish, cancelButton})
            buttons->addWidget(button);
        layout->addLayout(buttons);
        showWizardPage(WizardPage);
    }
    setMinimumSize(560, 440);
}

QString LabelForm::title(Request request) const
{
    if (m_mode == Mode::Wizard)
        return QStringLiteral("Add Label Wizard");
    return request == Request::Insert ? QStringLiteral("Adding a Label")
                                      : QStringLiteral("Changing a Label");
}

QString LabelForm::duplicateKeyName(int key) const
{
    return key == lab::KeyLabelDescription ? QStringLiteral("LAB:KeyLabelDescription")
                                           : QStringLiteral("LAB:KeyLabelID");
}

QButtonGroup *LabelForm::options(const QStringList &captions, QLayout *into)
{
    auto *group = new QButtonGroup(this);
    for (qsizetype i = 0; i < captions.size(); ++i) {
        auto *option = new QRadioButton(captions.at(i));
        group->addButton(option, int(i));
        into->addWidget(option);
    }
    return group;
}

QLayout *LabelForm::fontRow(int fontField, const QString &caption)
{
    auto *row = new QHBoxLayout;
    auto *button = new QPushButton(caption);
    button->setAutoDefault(false);
    button->setObjectName(QStringLiteral("font%1").arg(fontField));
    connect(button, &QPushButton::clicked, this, [this, fontField] { selectFont(fontField); });
    auto *shown = new QLabel(labels::NoSelectedFont);
    shown->setObjectName(QStringLiteral("fontDescription%1").arg(fontField));
    m_fontLabels.insert(fontField, shown);
    row->addWidget(button);
    row->addWidget(shown, 1);
    return row;
}

QWidget *LabelForm::generalPage()
{
    auto *page = new QWidget;
    auto *rows = new QVBoxLayout(page);
    if (m_mode == Mode::Wizard)
        rows->addWidget(new QLabel(QStringLiteral("Enter the basic information for this label:")));
    auto *typeBox = new QGroupBox(QStringLiteral("&Label Type"));
    auto *typeRow = new QHBoxLayout(typeBox);
    m_type = options(LabelTypes, typeRow);
    connect(m_type, &QButtonGroup::idClicked, this, &LabelForm::typeChosen);
    rows->addWidget(typeBox);

    auto *form = new QFormLayout;
    m_description = new QLineEdit;
    bindLineEdit(m_description, lab::LabelDescription, QStringLiteral("@s30"));
    form->addRow(QStringLiteral("&Description:"), m_description);
    auto *spine = new QLineEdit;
    spine->setToolTip(QStringLiteral("Text on CD spine"));
    bindLineEdit(spine, lab::CDSpine, QStringLiteral("@S100"));
    form->addRow(QStringLiteral("&Spine:"), spine);
    form->addRow(QString(), fontRow(lab::CDSpineFontID, QStringLiteral("Select Font")));
    auto *cdTitle = new QLineEdit;
    cdTitle->setToolTip(QStringLiteral("Text on CD title area"));
    bindLineEdit(cdTitle, lab::CDTitle, QStringLiteral("@S100"));
    form->addRow(QStringLiteral("&Title:"), cdTitle);
    form->addRow(QString(), fontRow(lab::CDTitleFontID, QStringLiteral("Select Font")));
    m_image = new QLineEdit;
    bindLineEdit(m_image, lab::ImageName, QStringLiteral("@s255"));
    auto *imageRow = new QHBoxLayout;
    auto *chooseImage = new QPushButton(QStringLiteral("&Select File"));
    chooseImage->setAutoDefault(false);
    connect(chooseImage, &QPushButton::clicked, this, &LabelForm::selectImageFile);
    imageRow->addWidget(m_image, 1);
    imageRow->addWidget(chooseImage);
    form->addRow(QStringLiteral("Image:"), imageRow);
    rows->addLayout(form);

    auto *cassette = new QGroupBox(QStringLiteral("Cassette"));
    auto *cassetteForm = new QFormLayout(cassette);
    m_cassetteTitle = shortMemo();
    bindMemo(m_cassetteTitle, 1024);
    cassetteForm->addRow(QStringLiteral("&Title:"), m_cassetteTitle);
    cassetteForm->addRow(QString(),
                         fontRow(lab::CassetteTitleFontID, QStringLiteral("Select Font")));
    m_flap = shortMemo();
    bindMemo(m_flap, 1024);
    cassetteForm->addRow(QStringLiteral("&Flap:"), m_flap);
    cassetteForm->addRow(QString(),
                         fontRow(lab::CassetteFlapFontID, QStringLiteral("Select Font")));
    rows->addWidget(cassette);
    rows->addStretch();
    return page;
}

QWidget *LabelForm::memoPage(QPlainTextEdit *&edit, int maxLength, int fontField,
                             const QString &prompt)
{
    auto *page = new QWidget;
    auto *rows = new QVBoxLayout(page);
    rows->addWidget(new QLabel(prompt));
    edit = new QPlainTextEdit;
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    bindMemo(edit, maxLength);
    rows->addWidget(edit, 1);
    rows->addLayout(fontRow(fontField, QStringLiteral("&Select Font")));
    return page;
}

QWidget *LabelForm::positionPage()
{
    auto *page = new QWidget;
    auto *rows = new QVBoxLayout(page);
    const auto justificationBox = [this, rows](const QString &caption) {
        auto *box = new QGroupBox(caption);
        auto *row = new QHBoxLayout(box);
        QButtonGroup *group = options(Justifications, row);
        rows->addWidget(box);
        return group;
    };
    m_spineJustification = justificationBox(QStringLiteral("Spine Text Justification"));
    m_frontJustification = justificationBox(QStringLiteral("Front Cover Justification"));
    m_backJustification = justificationBox(QStringLiteral("Back Cover Justification"));

    auto *imageBox = new QGroupBox(QStringLiteral("Image Position"));
    auto *imageForm = new QFormLayout(imageBox);
    for (auto [field, prompt, unit] :
         {std::tuple{int(lab::ImagePositionX), "X-Axis:", "1000ths of an inch from left"},
          std::tuple{int(lab::ImagePositionY), "Y-Axis:", "1000ths of an inch from top"}}) {
        auto *edit = new QLineEdit;
        edit->setObjectName(QString::fromLatin1(prompt));
        bindLineEdit(edit, field, QStringLiteral("@n-13"));
        auto *row = new QHBoxLayout;
        row->addWidget(edit);
        row->addWidget(new QLabel(QString::fromLatin1(unit)));
        imageForm->addRow(QString::fromLatin1(prompt), row);
    }
    rows->addWidget(imageBox);

    auto *sizeBox = new QGroupBox(QStringLiteral("Size"));
    auto *sizeRows = new QVBoxLayout(sizeBox);
    auto *optionRow = new QHBoxLayout;
    m_imageSize = options(ImageSizes, optionRow);
    connect(m_imageSize, &QButtonGroup::idClicked, this, &LabelForm::imageSizeChosen);
    sizeRows->addLayout(optionRow);
    m_sizeEntries = new QWidget;
    auto *sizeForm = new QFormLayout(m_sizeEntries);
    m_imageWidth = new QLineEdit;
    bindLineEdit(m_imageWidth, lab::ImageSizeX, QStringLiteral("@n-13"));
    sizeForm->addRow(QStringLiteral("Width:"), m_imageWidth);
    m_imageHeight = new QLineEdit;
    m_imageHeight->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,6}")), m_imageHeight));
    bindLineEdit(m_imageHeight, lab::ImageSizeY, QStringLiteral("@s20"));
    sizeForm->addRow(QStringLiteral("Height:"), m_imageHeight);
    sizeRows->addWidget(m_sizeEntries);
    rows->addWidget(sizeBox);
    rows->addStretch();
    checkWhenLeft(m_imageWidth, [this] {
        return checkRange(m_imageWidth, record().number(lab::ImageSizeX), 0, 100000,
                          QStringLiteral("Width"));
    });
    return page;
}

QWidget *LabelForm::wizardPage()
{
    auto *page = new QWidget;
    auto *rows = new QVBoxLayout(page);
    rows->addWidget(new QLabel(QStringLiteral("Step 1:  Select a label type")));
    auto *typeRow = new QHBoxLayout;
    m_wizardType = options(LabelTypes, typeRow);
    connect(m_wizardType, &QButtonGroup::idClicked, this, &LabelForm::typeChosen);
    typeRow->addStretch();
    rows->addLayout(typeRow);
    rows->addSpacing(16);
    rows->addWidget(new QLabel(QStringLiteral("Step 2:  Select information using either an")));
    rows->addWidget(new QLabel(QStringLiteral("Album Title or File Number")));
    auto *pickRow = new QHBoxLayout;
    auto *album = new QPushButton(QStringLiteral("&Select Album"));
    auto *fileNumber = new QPushButton(QStringLiteral("&Select File Number"));
    for (QPushButton *button : {album, fileNumber}) {
        button->setAutoDefault(false);
        pickRow->addWidget(button);
    }
    pickRow->addStretch();
    connect(album, &QPushButton::clicked, this, &LabelForm::selectAlbum);
    connect(fileNumber, &QPushButton::clicked, this, &LabelForm::selectFileNumber);
    rows->addLayout(pickRow);
    rows->addStretch();
    return page;
}

void LabelForm::primeDefaults(Record &label)
{
    if (m_copy) {
        // The copy must be saved under a description of its own.
        const QString original = label.text(lab::LabelDescription).trimmed();
        if (!original.isEmpty()) {
            Table &labels = table();
            const Record keep = labels.buffer();
            const Table::CurrentRecord current = labels.current();
            for (int copy = 1; copy < 100; ++copy) {
                const QString suffix =
                    copy == 1 ? QStringLiteral(" - Copy") : QStringLiteral(" - Copy %1").arg(copy);
                label.setText(lab::LabelDescription,
                              original.left(30 - int(suffix.size())).trimmed() + suffix);
                labels.buffer() = label;
                if (labels.duplicate(lab::KeyLabelDescription) != Table::Found::Yes)
                    break;
            }
            labels.buffer() = keep;
            labels.setCurrent(current);
        }
    } else {
        label.clear();
        label.setText(lab::LabelType, QStringLiteral("Cassette"));
        label.setText(lab::ImageSize, QStringLiteral("Thumbnail"));
        label.setNumber(lab::ImageSizeX, 1000);
        label.setText(lab::ImageSizeY, QStringLiteral("1000"));
    }
    // The picture's place of older labels, and none, becomes the front cover's corner.
    const qint64 x = label.number(lab::ImagePositionX);
    const qint64 y = label.number(lab::ImagePositionY);
    if (x == 0 || x == 3771)
        label.setNumber(lab::ImagePositionX, labels::DefaultImageX);
    if (y == 0 || y == 8438)
        label.setNumber(lab::ImagePositionY, labels::DefaultImageY);
}

void LabelForm::loadFields()
{
    UpdateForm::loadFields();
    const Record &label = record();
    const int type = optionOf(LabelTypes, label.text(lab::LabelType), 1);
    m_type->button(type)->setChecked(true);
    if (m_wizardType)
        m_wizardType->button(type)->setChecked(true);
    m_cassetteTitle->setPlainText(label.memo(lab::CassetteTitle));
    m_flap->setPlainText(label.memo(lab::CassetteFlap));
    m_frontCover->setPlainText(label.memo(lab::CDInsideText));
    m_backCover->setPlainText(label.memo(lab::CDCoverText));
    m_sideA->setPlainText(label.memo(lab::CassetteContentsA));
    m_sideB->setPlainText(label.memo(lab::CassetteContentsB));
    m_spineJustification->button(optionOf(Justifications, label.text(lab::CDSpineJustification), 0))
        ->setChecked(true);
    m_frontJustification->button(optionOf(Justifications, label.text(lab::CDTextJustification), 0))
        ->setChecked(true);
    m_backJustification
        ->button(optionOf(Justifications, label.text(lab::CDBackCoverJustification), 0))
        ->setChecked(true);
    const int size = optionOf(ImageSizes, label.text(lab::ImageSize), 2);
    m_imageSize->button(size)->setChecked(true);
    m_sizeEntries->setVisible(size == 2);
    showFontDescriptions();
}

void LabelForm::storeFields()
{
    UpdateForm::storeFields();
    Record &label = record();
    label.setText(lab::LabelType, LabelTypes.value(m_type->checkedId(), LabelTypes.at(1)));
    label.setMemo(lab::CassetteTitle, m_cassetteTitle->toPlainText());
    label.setMemo(lab::CassetteFlap, m_flap->toPlainText());
    label.setMemo(lab::CDInsideText, m_frontCover->toPlainText());
    label.setMemo(lab::CDCoverText, m_backCover->toPlainText());
    label.setMemo(lab::CassetteContentsA, m_sideA->toPlainText());
    label.setMemo(lab::CassetteContentsB, m_sideB->toPlainText());
    label.setText(lab::CDSpineJustification,
                  Justifications.value(m_spineJustification->checkedId()));
    label.setText(lab::CDTextJustification,
                  Justifications.value(m_frontJustification->checkedId()));
    label.setText(lab::CDBackCoverJustification,
                  Justifications.value(m_backJustification->checkedId()));
    label.setText(lab::ImageSize, ImageSizes.value(m_imageSize->checkedId(), ImageSizes.at(2)));
}

bool LabelForm::checkFields()
{
    return !m_busy;
}

bool LabelForm::isCassette() const
{
    return m_type->checkedId() == 0;
}

void LabelForm::typeChosen(int option)
{
    m_type->button(option)->setChecked(true);
    if (m_wizardType)
        m_wizardType->button(option)->setChecked(true);
    if (m_mode == Mode::Wizard)
        showWizardPage(m_wizardPage);
}

void LabelForm::imageSizeChosen(int option)
{
    if (option == 0 || option == 1) {
        const bool thumbnail = option == 1;
        m_imageWidth->setText(thumbnail ? QStringLiteral("1000") : QStringLiteral("0"));
        m_imageHeight->setText(thumbnail ? QStringLiteral("1000") : QStringLiteral("0"));
        record().setNumber(lab::ImageSizeX, thumbnail ? 1000 : 0);
        record().setText(lab::ImageSizeY, thumbnail ? QStringLiteral("1000") : QStringLiteral("0"));
    }
    m_sizeEntries->setVisible(option == 2);
}

void LabelForm::showFontDescriptions()
{
    Store &store = session().store();
    for (auto it = m_fontLabels.cbegin(); it != m_fontLabels.cend(); ++it) {
        const qint64 id = record().number(it.key());
        const bool fresh =
            request() == Request::Insert && id == 0 && !m_fontsChosen.contains(it.key());
        it.value()->setText(fresh ? labels::NoSelectedFont : labels::fontDescription(store, id));
    }
}

QString LabelForm::fontDescriptionShown(int fontField) const
{
    const QLabel *shown = m_fontLabels.value(fontField);
    return shown ? shown->text() : QString();
}

void LabelForm::selectFont(int fontField)
{
    if (m_busy)
        return;
    auto *picker = new FontBrowser(session(), Request::Select);
    if (!picker->start()) {
        delete picker;
        return;
    }
    m_busy = true;
    setEnabled(false);
    connect(picker, &Browser::finished, this, [this, fontField](const WindowResult &result) {
        m_busy = false;
        setEnabled(true);
        if (result.response != Response::Completed)
            return;
        record().setNumber(fontField,
                           session().store().table(TableId::Fonts).buffer().number(fon::FontID));
        m_fontsChosen.insert(fontField);
        showFontDescriptions();
    });
    showProcedureWindow(this, picker);
}

void LabelForm::selectImageFile()
{
    const QString file = exchange::chooseFile(
        this, {QStringLiteral("Choose a File"),
               QStringLiteral("All Files (*.*);;GIF Files (*.GIF *.gif);;BMP Files (*.BMP "
                              "*.bmp);;JPEG Files (*.JPG *.jpg);;Windows Metafiles (*.WMF *.wmf)"),
               false});
    if (file.isEmpty())
        return;
    m_image->setText(file);
    record().setText(lab::ImageName, file);
}

void LabelForm::selectAlbum()
{
    if (m_busy)
        return;
    pickThenFill(new SelectAlbum(session(), Request::Select), &LabelForm::fillFromAlbum);
}

void LabelForm::selectFileNumber()
{
    if (m_busy)
        return;
    pickThenFill(new SelectFileNumber(session(), Request::Select), &LabelForm::fillFromFileNumber);
}

// The form waits, disabled, for the picker; a choice made there fills the label.
void LabelForm::pickThenFill(Browser *picker, void (LabelForm::*fill)())
{
    if (!picker->start()) {
        delete picker;
        return;
    }
    m_busy = true;
    setEnabled(false);
    connect(picker, &Browser::finished, this, [this, fill](const WindowResult &result) {
        m_busy = false;
        setEnabled(true);
        if (result.response == Response::Completed)
            (this->*fill)();
    });
    showProcedureWindow(this, picker);
}

void LabelForm::fillFromAlbum()
{
    fillFrom(TableId::Albums, &labels::fillFromAlbum);
}

void LabelForm::fillFromFileNumber()
{
    fillFrom(TableId::Songs, &labels::fillFromFileNumber);
}

// Fills the texts from the record in the source table's buffer, keeping what was typed in
// the fields the filling leaves alone, and says so.
void LabelForm::fillFrom(TableId source, void (*fill)(Store &, const Record &, Record &))
{
    storeFields();
    Store &store = session().store();
    fill(store, store.table(source).buffer(), record());
    loadFields();
    (void)ask({QStringLiteral("Processing Complete"),
               QStringLiteral("The text has been updated to use this information."), Ok, Ok,
               Icon::Information});
}

void LabelForm::preview()
{
    storeFields();
    auto *frame = qobject_cast<MainFrame *>(window());
    QStringList cut;
    if (!labels::previewLabel(session(), record(), nullptr, frame ? frame->mdiArea() : nullptr,
                              &cut))
        return;
    if (!cut.isEmpty())
        (void)ask({QStringLiteral("Preview"), labels::cutMessage(cut), Ok, Ok, Icon::Information});
}

int LabelForm::currentPage() const
{
    if (m_mode == Mode::Wizard)
        return m_wizardPage;
    return m_pageOf.key(m_tabs->currentWidget(), General);
}

// A CD runs Wizard, General, Front Cover, Back Cover; a cassette Wizard, General, Side A,
// Side B.
void LabelForm::showWizardPage(int page)
{
    m_wizardPage = page;
    m_pages->setCurrentWidget(m_pageOf.value(page));
    const int last = isCassette() ? SidesB : BackCover;
    m_back->setEnabled(page != WizardPage);
    m_next->setEnabled(page != last);
    m_finish->setEnabled(page == last);
    (page == last ? m_finish : m_next)->setDefault(true);
}

void LabelForm::next()
{
    if (m_mode != Mode::Wizard)
        return;
    static const QList<int> cd{WizardPage, General, FrontCover, BackCover};
    static const QList<int> cassette{WizardPage, General, SidesA, SidesB};
    const QList<int> &order = isCassette() ? cassette : cd;
    const qsizetype at = order.indexOf(m_wizardPage);
    if (at >= 0 && at + 1 < order.size())
        showWizardPage(order.at(at + 1));
    else if (at < 0)
        showWizardPage(General);
}

void LabelForm::back()
{
    if (m_mode != Mode::Wizard)
        return;
    static const QList<int> cd{WizardPage, General, FrontCover, BackCover};
    static const QList<int> cassette{WizardPage, General, SidesA, SidesB};
    const QList<int> &order = isCassette() ? cassette : cd;
    const qsizetype at = order.indexOf(m_wizardPage);
    if (at > 0)
        showWizardPage(order.at(at - 1));
    else if (at < 0)
        showWizardPage(General);
}

void LabelForm::finish()
{
    accept();
}

} // namespace sv
