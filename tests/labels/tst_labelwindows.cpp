// The label windows inside the real frame: the label list and form, the wizard's pages,
// a label made from the album list, favourite fonts, previews and prints, the binder pages
// window, and how each window ends.
#include "albums/albumbrowser.h"
#include "app/browselist.h"
#include "app/mainframe.h"
#include "app/pagemodel.h"
#include "app/procedures.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/splashwindow.h"
#include "exchange/filechooser.h"
#include "labels/binderpages.h"
#include "labels/fontbrowser.h"
#include "labels/labelbrowser.h"
#include "labels/labelform.h"
#include "labels/labelprint.h"
#include "labels/labelprocedures.h"
#include "platform/instances.h"
#include "reports/customfont.h"
#include "reports/previewwindow.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

// The real frame on a catalogue of its own with album 1 "Blue Skies" by "Doe, Jane"
// (file number F1) and its two songs, label 1 "Old Label" pointing at font 9 (not on
// file), past its splash window.
class Program
{
public:
    Program()
    {
        Instances::reset();
        Settings::global() = Settings();
        settings::writeNumber(u"SetupWizardComplete"_s, 1);
        settings::writeNumber(u"ShowTips"_s, 0);
        session.announceTables();
        Procedures::clear();
        labels::registerLabelProcedures();
        Procedures::addBrowser(u"BrowseAlbums"_s, [](Session &s) { return new AlbumBrowser(s); });
        frame = std::make_unique<MainFrame>(session);
        QVERIFY(frame->openCatalogue());
        fill();
        frame->resize(1100, 800);
        frame->showAndStart();
        for (QWidget *window : QApplication::topLevelWidgets())
            if (qobject_cast<SplashWindow *>(window))
                window->close();
        QTest::qWait(20);
        prompter.shown.clear();
    }
    ~Program()
    {
        reports::setFontChooser({});
        if (frame)
            frame->close();
    }

    void fill()
    {
        Store &store = session.store();
        Table &albums = store.table(TableId::Albums);
        Table &songs = store.table(TableId::Songs);
        Table &labels = store.table(TableId::Labels);
        const TableUses uses = session.files().use({&albums, &songs, &labels});
        QVERIFY(uses);
        albums.buffer().clear();
        albums.buffer().setNumber(alb::AlbumID, 1);
        albums.buffer().setText(alb::Album, u"Blue Skies"_s);
        albums.buffer().setText(alb::Artist, u"Doe, Jane"_s);
        albums.buffer().setText(alb::FileNumber, u"F1"_s);
        QVERIFY(albums.add());
        for (int id = 1; id <= 2; ++id) {
            Record &song = test::newSong(songs, id);
            song.setText(mus::Artist, u"Doe, Jane"_s);
            song.setText(mus::Album, u"Blue Skies"_s);
            song.setText(mus::Title, u"Song %1"_s.arg(id));
            song.setNumber(mus::TrackNumber, id);
            song.setNumber(mus::AlbumID, 1);
            QVERIFY(songs.add());
        }
        labels.buffer().clear();
        labels.buffer().setNumber(lab::LabelID, 1);
        labels.buffer().setText(lab::LabelDescription, u"Old Label"_s);
        labels.buffer().setText(lab::LabelType, u"CD"_s);
        labels.buffer().setText(lab::CDTitle, u"Old Title"_s);
        labels.buffer().setNumber(lab::CDSpineFontID, 9);
        QVERIFY(labels.add());
    }

    QMdiArea *area() const { return frame->mdiArea(); }
    QList<int> counts()
    {
        QList<int> users;
        for (TableId id : allTables())
            users.append(session.files().users(session.store().table(id)));
        return users;
    }
    LabelBrowser *openBrowser()
    {
        return qobject_cast<LabelBrowser *>(frame->startProcedure(u"BrowseLabels"_s));
    }
    // The labels on file: their descriptions in label order.
    QStringList labelsOnFile()
    {
        Table &labels = session.store().table(TableId::Labels);
        const TableUse use = session.files().use(labels);
        QStringList found;
        labels.set(lab::KeyLabelID);
        while (labels.next())
            found.append(labels.buffer().text(lab::LabelDescription));
        return found;
    }

    test::Workspace workspace;
    test::ScriptedPrompter prompter;
    Session session{workspace.path()};
    std::unique_ptr<MainFrame> frame;
};

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

template <typename T> T *shownWindow()
{
    for (QWidget *widget : QApplication::allWidgets())
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            return window;
    return nullptr;
}

QPushButton *buttonOf(QWidget *window, const QString &caption)
{
    for (QPushButton *button : window->findChildren<QPushButton *>())
        if (button->text() == caption && button->isVisible())
            return button;
    return nullptr;
}

QLineEdit *fieldAfter(QWidget *form, const QString &prompt)
{
    for (QFormLayout *layout : form->findChildren<QFormLayout *>())
        for (int row = 0; row < layout->rowCount(); ++row) {
            QLayoutItem *label = layout->itemAt(row, QFormLayout::LabelRole);
            auto *text = label ? qobject_cast<QLabel *>(label->widget()) : nullptr;
            if (text && text->text() == prompt && text->isVisible()) {
                QLayoutItem *field = layout->itemAt(row, QFormLayout::FieldRole);
                if (auto *edit = qobject_cast<QLineEdit *>(field->widget()))
                    return edit;
                if (field->layout())
                    return qobject_cast<QLineEdit *>(field->layout()->itemAt(0)->widget());
            }
        }
    return nullptr;
}

QRadioButton *option(QWidget *window, const QString &caption)
{
    for (QRadioButton *button : window->findChildren<QRadioButton *>())
        if (button->text() == caption && button->isVisible())
            return button;
    return nullptr;
}

QStringList childTitles(QMdiArea *area)
{
    QStringList titles;
    for (QMdiSubWindow *child : area->subWindowList())
        titles.append(child->widget() ? child->widget()->windowTitle() : u"<empty>"_s);
    return titles;
}

QMdiSubWindow *frameOf(QWidget *window)
{
    return qobject_cast<QMdiSubWindow *>(window->parentWidget());
}

QAction *entry(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

class TestLabelWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }

    // The frame's label entries are live. The label list, its form and the wizard end whole
    // however they end, give back the number of a label not saved, and give back every
    // table they opened.
    void windowsEndWhole()
    {
        Program program;
        for (const char *procedure : {"BrowseLabels", "LabelWizard", "CDBinderPages"})
            QVERIFY2(program.frame->menuAction(QString::fromLatin1(procedure))->isEnabled(),
                     procedure);
        QMdiArea *area = program.area();
        const QList<int> before = program.counts();
        QPointer<LabelBrowser> browser = program.openBrowser();
        QVERIFY(browser);
        QCOMPARE(childTitles(area), QStringList{u"Browse Labels"_s});
        QCOMPARE(browser->list()->model()->rowCount(), 1);

        QPointer<LabelForm> form;
        const auto openForm = [&](const QString &button) {
            buttonOf(browser, button)->click();
            QTRY_VERIFY(shownWindow<LabelForm>());
            form = shownWindow<LabelForm>();
        };
        const auto onlyTheBrowserLeft = [&](const char *how) {
            settle();
            QTRY_VERIFY2(!form, how);
            QCOMPARE(childTitles(area), QStringList{u"Browse Labels"_s});
            QVERIFY(browser->isEnabled());
        };
        openForm(u"&Add"_s);
        QCOMPARE(form->windowTitle(), u"Adding a Label"_s);
        QCOMPARE(form->record().number(lab::LabelID), 2);
        QCOMPARE(form->fontDescriptionShown(lab::CDTitleFontID), u"No Selected Font"_s);
        buttonOf(form, u"Cancel"_s)->click();
        onlyTheBrowserLeft("Cancel on a new label");
        QCOMPARE(program.labelsOnFile(), QStringList{u"Old Label"_s});

        openForm(u"&Add"_s);
        fieldAfter(form, u"&Description:"_s)->setText(u"New Label"_s);
        buttonOf(form, u"&OK"_s)->click();
        onlyTheBrowserLeft("OK on a new label");
        QCOMPARE(program.labelsOnFile(), (QStringList{u"Old Label"_s, u"New Label"_s}));
        QCOMPARE(browser->list()->model()->rowCount(), 2);

        browser->list()->highlightRow(1);
        openForm(u"&Change"_s);
        QCOMPARE(form->windowTitle(), u"Changing a Label"_s);
        // Font 9 is not on file.
        QCOMPARE(form->fontDescriptionShown(lab::CDSpineFontID), u"Default Font"_s);
        QCOMPARE(form->fontDescriptionShown(lab::CDTitleFontID), u"Default Font"_s);
        QTest::keyClick(form, Qt::Key_Escape);
        onlyTheBrowserLeft("Esc");
        openForm(u"&Change"_s);
        frameOf(form)->close();
        onlyTheBrowserLeft("the close box");

        // A copy takes a description of its own.
        browser->list()->highlightRow(1);
        openForm(u"Cop&y"_s);
        QCOMPARE(fieldAfter(form, u"&Description:"_s)->text(), u"Old Label - Copy"_s);
        buttonOf(form, u"&OK"_s)->click();
        onlyTheBrowserLeft("OK on a copy");
        QCOMPARE(program.labelsOnFile().last(), u"Old Label - Copy"_s);

        QPointer<LabelForm> wizard =
            qobject_cast<LabelForm *>(program.frame->startProcedure(u"LabelWizard"_s));
        QVERIFY(wizard);
        QCOMPARE(wizard->windowTitle(), u"Add Label Wizard"_s);
        QCOMPARE(area->subWindowList().size(), 2);
        QTest::keyClick(wizard, Qt::Key_Escape);
        settle();
        QTRY_VERIFY(!wizard);
        QCOMPARE(program.labelsOnFile().size(), 3);

        frameOf(browser)->close();
        settle();
        QTRY_VERIFY(!browser);
        QVERIFY(area->subWindowList().isEmpty());
        QCOMPARE(program.counts(), before);
    }

    // The wizard's pages: a CD runs Wizard, General, Front Cover and Back Cover, where
    // Finish is offered; a cassette goes from General to Side A and Side B, and back.
    void wizardPageOrder()
    {
        Program program;
        QPointer<LabelForm> wizard =
            qobject_cast<LabelForm *>(program.frame->startProcedure(u"LabelWizard"_s));
        QVERIFY(wizard);
        QCOMPARE(wizard->currentPage(), int(LabelForm::WizardPage));
        QVERIFY(option(wizard, u"Cassette"_s)->isChecked()); // a new label's type
        QVERIFY(!buttonOf(wizard, u"&Back"_s)->isEnabled());
        option(wizard, u"CD"_s)->click();
        QList<int> pages;
        for (int step = 0; step < 3; ++step) {
            buttonOf(wizard, u"&Next"_s)->click();
            pages.append(wizard->currentPage());
        }
        QCOMPARE(pages,
                 (QList<int>{LabelForm::General, LabelForm::FrontCover, LabelForm::BackCover}));
        QVERIFY(buttonOf(wizard, u"&Finish"_s)->isEnabled());
        QVERIFY(!buttonOf(wizard, u"&Next"_s)->isEnabled());
        buttonOf(wizard, u"&Back"_s)->click();
        buttonOf(wizard, u"&Back"_s)->click();
        QCOMPARE(wizard->currentPage(), int(LabelForm::General));
        QVERIFY(!buttonOf(wizard, u"&Finish"_s)->isEnabled());
        option(wizard, u"Cassette"_s)->click();
        buttonOf(wizard, u"&Next"_s)->click();
        QCOMPARE(wizard->currentPage(), int(LabelForm::SidesA));
        buttonOf(wizard, u"&Next"_s)->click();
        QCOMPARE(wizard->currentPage(), int(LabelForm::SidesB));
        QVERIFY(buttonOf(wizard, u"&Finish"_s)->isEnabled());
        buttonOf(wizard, u"&Back"_s)->click();
        buttonOf(wizard, u"&Back"_s)->click();
        QCOMPARE(wizard->currentPage(), int(LabelForm::General));
        fieldAfter(wizard, u"&Description:"_s)->setText(u"Tape"_s);
        buttonOf(wizard, u"&Next"_s)->click();
        buttonOf(wizard, u"&Next"_s)->click();
        buttonOf(wizard, u"&Finish"_s)->click();
        settle();
        QTRY_VERIFY(!wizard);
        QCOMPARE(program.labelsOnFile(), (QStringList{u"Old Label"_s, u"Tape"_s}));
    }

    // "Create Label..." in the album list opens the wizard filled from the highlighted
    // album; "Quick CD Insert" previews its flap page.
    void labelAndFlapFromTheAlbumList()
    {
        Program program;
        auto *albums =
            qobject_cast<AlbumBrowser *>(program.frame->startProcedure(u"BrowseAlbums"_s));
        QVERIFY(albums);
        albums->list()->highlightRow(0);
        std::unique_ptr<QMenu> menu(albums->buildPopupMenu());
        QAction *create = entry(menu.get(), u"Create Label..."_s);
        QVERIFY(create && create->isEnabled());
        create->trigger();
        QTRY_VERIFY(shownWindow<LabelForm>());
        QPointer<LabelForm> wizard = shownWindow<LabelForm>();
        QTRY_COMPARE(program.prompter.captions(), QStringList{u"Processing Complete"_s});
        QCOMPARE(program.prompter.shown.first().text,
                 u"The text has been updated to use this information."_s);
        buttonOf(wizard, u"&Next"_s)->click();
        QCOMPARE(fieldAfter(wizard, u"&Description:"_s)->text(), u"Blue Skies - Jane Doe"_s);
        buttonOf(wizard, u"&Next"_s)->click();
        QCOMPARE(wizard->currentPage(), int(LabelForm::SidesA));
        QPlainTextEdit *sideA = nullptr;
        for (QPlainTextEdit *edit : wizard->findChildren<QPlainTextEdit *>())
            if (edit->isVisible())
                sideA = edit;
        QVERIFY(sideA);
        QCOMPARE(sideA->toPlainText(), u"  1. Song 1\n  2. Song 2"_s);
        buttonOf(wizard, u"&Next"_s)->click();
        buttonOf(wizard, u"&Finish"_s)->click();
        settle();
        QTRY_VERIFY(!wizard);
        QCOMPARE(program.labelsOnFile().last(), u"Blue Skies - Jane Doe"_s);

        menu.reset(albums->buildPopupMenu());
        entry(menu.get(), u"Quick CD Insert"_s)->trigger();
        QTRY_VERIFY(shownWindow<reports::PreviewWindow>());
        auto *preview = shownWindow<reports::PreviewWindow>();
        QCOMPARE(preview->pageCount(), 1);
        QCOMPARE(labels::binderSelection().style, u"Flap"_s);
        QCOMPARE(labels::binderSelection().startingFileNumber, u"F1"_s);
    }

    // Favourite fonts: Add opens the font dialog at once and its Ok saves the font; its
    // Cancel saves nothing; Select puts the font's number in the label and its description
    // beside the button.
    void favouriteFonts()
    {
        Program program;
        std::optional<reports::ReportFont> answer;
        QString initialFace;
        reports::setFontChooser([&](const reports::ReportFont &initial, QWidget *,
                                    std::function<void(std::optional<reports::ReportFont>)> done) {
            initialFace = initial.family;
            done(answer);
        });
        QPointer<LabelBrowser> browser = program.openBrowser();
        browser->list()->highlightRow(0);
        buttonOf(browser, u"&Change"_s)->click();
        QTRY_VERIFY(shownWindow<LabelForm>());
        QPointer<LabelForm> form = shownWindow<LabelForm>();
        form->findChild<QPushButton *>(u"font%1"_s.arg(lab::CDTitleFontID))->click();
        QTRY_VERIFY(shownWindow<FontBrowser>());
        QPointer<FontBrowser> fonts = shownWindow<FontBrowser>();
        QCOMPARE(fonts->windowTitle(), u"Favorite Fonts"_s);
        QVERIFY(!form->isEnabled());

        answer = std::nullopt; // Cancel in the dialog
        buttonOf(fonts, u"&Add"_s)->click();
        settle();
        QTRY_VERIFY(!shownWindow<FontForm>());
        QCOMPARE(fonts->list()->model()->rowCount(), 0);

        answer = reports::ReportFont{u"DejaVu Sans"_s, 12, true, false, QColor(0, 0, 255)};
        buttonOf(fonts, u"&Add"_s)->click();
        settle();
        QTRY_COMPARE(fonts->list()->model()->rowCount(), 1);
        QCOMPARE(initialFace, u"Arial"_s);
        fonts->list()->highlightRow(0);
        buttonOf(fonts, u"&Select"_s)->click();
        settle();
        QTRY_VERIFY(!fonts);
        QVERIFY(form->isEnabled());
        QCOMPARE(form->fontDescriptionShown(lab::CDTitleFontID),
                 u"DejaVu Sans 12  Colour:  16711680  Style:  700"_s);
        QCOMPARE(form->record().number(lab::CDTitleFontID), 1);
        buttonOf(form, u"&OK"_s)->click();
        settle();
        QTRY_VERIFY(!form);
        Table &labels = program.session.store().table(TableId::Labels);
        const TableUse use = program.session.files().use(labels);
        labels.buffer().setNumber(lab::LabelID, 1);
        QVERIFY(labels.get(lab::KeyLabelID));
        QCOMPARE(labels.buffer().number(lab::CDTitleFontID), 1);
    }

    // The font dialog itself offers the colour beside the typeface, size and style; the
    // free-form form takes the four values typed.
    void fontDialogAndFreeform()
    {
        Program program;
        QPointer<LabelBrowser> browser = program.openBrowser();
        browser->list()->highlightRow(0);
        buttonOf(browser, u"&Change"_s)->click();
        QTRY_VERIFY(shownWindow<LabelForm>());
        shownWindow<LabelForm>()
            ->findChild<QPushButton *>(u"font%1"_s.arg(lab::CDTitleFontID))
            ->click();
        QTRY_VERIFY(shownWindow<FontBrowser>());
        QPointer<FontBrowser> list = shownWindow<FontBrowser>();
        FontBrowser *fonts = list;
        buttonOf(fonts, u"&Add"_s)->click();
        QFontDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = qobject_cast<QFontDialog *>(QApplication::activeModalWidget())) ||
                    (dialog = shownWindow<QFontDialog>()));
        QCOMPARE(dialog->windowTitle(), u"Choose Font"_s);
        dialog->setCurrentFont(QFont(u"DejaVu Serif"_s, 14));
        auto *colour = dialog->findChild<QComboBox *>(u"fontColour"_s);
        QVERIFY(colour);
        colour->setCurrentIndex(colour->findText(u"Red"_s));
        dialog->accept();
        settle();
        QTRY_COMPARE(list->list()->model()->rowCount(), 1);
        Table &table = program.session.store().table(TableId::Fonts);
        QCOMPARE(table.buffer().text(fon::TypeFace), u"DejaVu Serif"_s);
        QCOMPARE(table.buffer().text(fon::Size), u"14"_s);
        QCOMPARE(table.buffer().text(fon::Colour), u"255"_s); // red in the low byte

        list->list()->highlightRow(0);
        buttonOf(fonts, u"&Freeform"_s)->click();
        QTRY_VERIFY(shownWindow<FreeformFontForm>());
        QPointer<FreeformFontForm> freeform = shownWindow<FreeformFontForm>();
        QCOMPARE(freeform->windowTitle(), u"Changing a Favorite Font"_s);
        QCOMPARE(fieldAfter(freeform, u"&Type Face:"_s)->text(), u"DejaVu Serif"_s);
        fieldAfter(freeform, u"&Colour:"_s)->setText(u"32768"_s);
        fieldAfter(freeform, u"St&yle:"_s)->setText(u"Bold Italic"_s);
        buttonOf(freeform, u"&OK"_s)->click();
        settle();
        QTRY_VERIFY(!freeform);
        QCOMPARE(table.buffer().text(fon::Colour), u"32768"_s);
        const reports::ReportFont font = *labels::favouriteFont(program.session.store(), 1);
        QVERIFY(font.bold && font.italic);
        QCOMPARE(font.colour, QColor(0, 128, 0));
        QCOMPARE(font.points, 14);
    }

    // The picture's size options: Actual and Thumbnail set the size and hide it, Other
    // shows it for typing; Select File puts the chosen file's path in the image field.
    void pictureEntries()
    {
        Program program;
        exchange::setFileChooser([](QWidget *, const exchange::FileQuestion &question) {
            return question.title == u"Choose a File"_s ? u"/pictures/cover.jpg"_s : QString();
        });
        QPointer<LabelBrowser> browser = program.openBrowser();
        browser->list()->highlightRow(0);
        buttonOf(browser, u"&Change"_s)->click();
        QTRY_VERIFY(shownWindow<LabelForm>());
        QPointer<LabelForm> form = shownWindow<LabelForm>();
        buttonOf(form, u"&Select File"_s)->click();
        exchange::setFileChooser({});
        QCOMPARE(fieldAfter(form, u"Image:"_s)->text(), u"/pictures/cover.jpg"_s);
        form->tabs()->setCurrentIndex(3);
        QCOMPARE(form->tabs()->tabText(3), u"Position"_s);
        option(form, u"Other"_s)->click();
        QLineEdit *width = fieldAfter(form, u"Width:"_s);
        QVERIFY(width && width->isVisible());
        width->setText(u"2500"_s);
        fieldAfter(form, u"Height:"_s)->setText(u"1800"_s);
        option(form, u"Actual"_s)->click();
        QVERIFY(!width->isVisible());
        option(form, u"Other"_s)->click();
        QCOMPARE(width->text(), u"0"_s);
        width->setText(u"2500"_s);
        buttonOf(form, u"&OK"_s)->click();
        settle();
        QTRY_VERIFY(!form);
        Table &labels = program.session.store().table(TableId::Labels);
        const TableUse use = program.session.files().use(labels);
        labels.buffer().setNumber(lab::LabelID, 1);
        QVERIFY(labels.get(lab::KeyLabelID));
        QCOMPARE(labels.buffer().text(lab::ImageName), u"/pictures/cover.jpg"_s);
        QCOMPARE(labels.buffer().text(lab::ImageSize), u"Other"_s);
        QCOMPARE(labels.buffer().number(lab::ImageSizeX), 2500);
        QCOMPARE(labels.buffer().text(lab::ImageSizeY), u"0"_s);
    }

    // Preview from the form shows the label as it stands, unsaved, and says which texts
    // print cut; Print in the list previews the label on file.
    void previewAndPrint()
    {
        Program program;
        QPointer<LabelBrowser> browser = program.openBrowser();
        browser->list()->highlightRow(0);
        buttonOf(browser, u"&Change"_s)->click();
        QTRY_VERIFY(shownWindow<LabelForm>());
        QPointer<LabelForm> form = shownWindow<LabelForm>();
        fieldAfter(form, u"&Title:"_s)->setText(QString(100, u'W'));
        buttonOf(form, u"Preview"_s)->click();
        QTRY_VERIFY(shownWindow<reports::PreviewWindow>());
        QCOMPARE(program.prompter.captions(), QStringList{u"Preview"_s});
        QVERIFY(program.prompter.shown.first().text.contains(u"Front Cover Title"_s));
        auto *preview = shownWindow<reports::PreviewWindow>();
        QCOMPARE(preview->pageCount(), 1);
        QCOMPARE(preview->pages().pageSize(), QSize(8000, 10500));
        bool titleShown = false;
        for (const reports::PageItem &item : preview->pages().page(0).items)
            titleShown = titleShown || item.text.startsWith(u"WWWW"_s);
        QVERIFY(titleShown);
        frameOf(preview)->close();
        buttonOf(form, u"Cancel"_s)->click();
        settle();
        QTRY_VERIFY(!form);

        program.prompter.shown.clear();
        program.prompter.answer(Yes); // preview
        buttonOf(browser, u"&Print"_s)->click();
        QTRY_VERIFY2(shownWindow<reports::PreviewWindow>(),
                     qPrintable(program.prompter.captions().join(u',')));
        preview = shownWindow<reports::PreviewWindow>();
        QCOMPARE(preview->pageCount(), 1);
        bool oldTitle = false;
        for (const reports::PageItem &item : preview->pages().page(0).items)
            oldTitle = oldTitle || item.text == u"Old Title"_s;
        QVERIFY(oldTitle);
    }

    // Exit with the label form open and changed asks to save: Cancel keeps the program and
    // the edit, Yes saves the label.
    void exitKeepsEdits()
    {
        Program program;
        QPointer<LabelBrowser> browser = program.openBrowser();
        browser->list()->highlightRow(0);
        buttonOf(browser, u"&Change"_s)->click();
        QTRY_VERIFY(shownWindow<LabelForm>());
        QPointer<LabelForm> form = shownWindow<LabelForm>();
        fieldAfter(form, u"&Description:"_s)->setText(u"Renamed"_s);
        program.prompter.answer(Cancel);
        QVERIFY(!program.frame->close());
        QVERIFY(form && form->isVisible());
        QCOMPARE(fieldAfter(form, u"&Description:"_s)->text(), u"Renamed"_s);
        program.prompter.answer(Yes);
        QVERIFY(program.frame->close());
        settle();
        program.frame.reset();
        QCOMPARE(program.labelsOnFile(), QStringList{u"Renamed"_s});
    }

    // The binder pages window keeps its choices for the run, looks file numbers up in the
    // album list, and OK closes it and previews the pages.
    void binderPagesWindow()
    {
        Program program;
        QPointer<labels::BinderPagesWindow> window = qobject_cast<labels::BinderPagesWindow *>(
            program.frame->startProcedure(u"CDBinderPages"_s));
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), u"CD Binder Pages"_s);
        window->lookUp(window->startingEntry());
        QTRY_VERIFY(shownWindow<Browser>() && shownWindow<Browser>()->isSelectMode());
        Browser *picker = shownWindow<Browser>();
        picker->list()->highlightRow(0);
        buttonOf(picker, u"&Select"_s)->click();
        settle();
        QTRY_COMPARE(window->startingEntry()->text(), u"F1"_s);
        window->endingEntry()->setText(u"F1"_s);
        option(window, u"Binder"_s)->click();
        buttonOf(window, u"&OK"_s)->click();
        QTRY_VERIFY(shownWindow<reports::PreviewWindow>());
        settle();
        QVERIFY(!window);
        auto *preview = shownWindow<reports::PreviewWindow>();
        QCOMPARE(preview->pages().pageSize(), QSize(10500, 8000));
        QCOMPARE(labels::binderSelection().endingFileNumber, u"F1"_s);
        window = qobject_cast<labels::BinderPagesWindow *>(
            program.frame->startProcedure(u"CDBinderPages"_s));
        QCOMPARE(window->startingEntry()->text(), u"F1"_s);
        buttonOf(window, u"Cancel"_s)->click();
        settle();
        QTRY_VERIFY(!window);
        QCOMPARE(childTitles(program.area()).count(u"CD Binder Pages"_s), 0);
    }
};

QTEST_MAIN(TestLabelWindows)
#include "tst_labelwindows.moc"
