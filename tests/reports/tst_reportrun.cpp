#include "reportfixture.h"

#include "app/browselist.h"
#include "app/mainframe.h"
#include "app/procedures.h"
#include "app/progresswindow.h"
#include "app/settings.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "platform/stddate.h"
#include "playlists/playlistbrowser.h"
#include "reports/customfont.h"
#include "reports/previewwindow.h"
#include "reports/reportcommands.h"
#include "reports/reportcriteria.h"
#include "reports/reportstart.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPdfWriter>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

using namespace sv;
using namespace sv::reports;
using namespace Qt::StringLiterals;
using test::ReportCatalogue;

namespace {

// A catalogue of `count` songs, artists numbered in order.
void addSongs(ReportCatalogue &catalogue, int count)
{
    QVERIFY(catalogue.store().database().logout(2));
    for (int i = 0; i < count; ++i)
        catalogue.addSong({u"Artist %1"_s.arg(i, 5, 10, QChar(u'0')), u"Song %1"_s.arg(i)});
    QVERIFY(catalogue.store().database().commit());
}

// Runs a report with its windows until it ends; the preview it opened, if any.
struct Ran
{
    bool ended = false;
    QPointer<PreviewWindow> preview;
};

std::unique_ptr<ReportSource> source(ReportCatalogue &catalogue, const QString &title,
                                     const RunChoice &choice = {})
{
    return makeSource(catalogue.session, *findReport(title), choice);
}

ReportRun *startRun(ReportCatalogue &catalogue, Ran &ran, ReportRun::Destination destination,
                    const QString &title = u"Songs by Artist"_s)
{
    auto *run = new ReportRun(catalogue.session, source(catalogue, title), destination, nullptr);
    QObject::connect(run, &ReportRun::ended, [&ran](PreviewWindow *preview) {
        ran.ended = true;
        ran.preview = preview;
    });
    if (!run->start())
        return nullptr;
    return run;
}

QStringList pageTexts(ReportCatalogue &catalogue, const PageList &pages)
{
    return catalogue.pdfText(pages).split(u'\f', Qt::SkipEmptyParts);
}

} // namespace

class TestReportRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        Clock::setSource([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0)); });
    }

    void cleanup()
    {
        setPrinterChooser({});
        setFontChooser({});
        QList<QPointer<QWidget>> windows;
        for (QWidget *window : QApplication::topLevelWidgets())
            windows.append(window);
        for (const QPointer<QWidget> &window : windows)
            delete window.data();
    }

    // The page list keeps its pages in a file and gives each back as it was laid out.
    void pagesKeptOnDisk()
    {
        PageList pages;
        const int font = pages.fontIndex(ReportFont{u"Arial"_s, 9, true});
        QCOMPARE(pages.fontIndex(ReportFont{u"Arial"_s, 9, true}), font);
        for (int i = 0; i < 20; ++i) {
            ReportPage page;
            PageItem item;
            item.font = quint8(font);
            item.box = QRect(500, 500 + i, 2000, 150);
            item.text = u"Line %1"_s.arg(i);
            page.items.push_back(item);
            QVERIFY(pages.append(page));
        }
        QCOMPARE(pages.count(), 20);
        for (int i : {19, 0, 7}) {
            const ReportPage page = pages.page(i);
            QCOMPARE(int(page.items.size()), 1);
            QCOMPARE(page.items.front().text, u"Line %1"_s.arg(i));
            QCOMPARE(page.items.front().box.top(), 500 + i);
        }
        QCOMPARE(pageNumberText(1), u"Page 1"_s);
        QCOMPARE(pageNumberText(1234), u"Page 1234"_s);
    }

    // Copies the printer does not make are made here: whole sets when collated, each
    // page repeated when not.
    void copiesAndCollation()
    {
        ReportCatalogue catalogue;
        addSongs(catalogue, 60);
        const std::shared_ptr<PageList> pages = catalogue.pages(u"Songs by Artist"_s);
        QVERIFY(pages && pages->count() == 2);
        for (bool collate : {true, false}) {
            const QString pdf = catalogue.file(collate ? u"collated.pdf"_s : u"uncollated.pdf"_s);
            QPdfWriter writer(pdf);
            PageOutput output(*pages, writer, 2, collate);
            QVERIFY(output.begin());
            while (!output.atEnd())
                QVERIFY(output.printNext());
            QVERIFY(output.finish());
            const QStringList sheets =
                ReportCatalogue::pdfFileText(pdf).split(u'\f', Qt::SkipEmptyParts);
            QCOMPARE(sheets.size(), 4);
            QStringList numbers;
            for (const QString &sheet : sheets)
                numbers.append(sheet.contains(u"Page 1"_s) ? u"1"_s : u"2"_s);
            QCOMPARE(numbers.join(u','), collate ? u"1,2,1,2"_s : u"1,1,2,2"_s);
        }
    }

    // A PDF that cannot be written says so, naming the file.
    void unwritablePdf()
    {
        ReportCatalogue catalogue;
        addSongs(catalogue, 3);
        const std::shared_ptr<PageList> pages = catalogue.pages(u"Songs by Artist"_s);
        QString error;
        QVERIFY(!writePdf(*pages, u"/nonexistent/folder/out.pdf"_s, error));
        QVERIFY(error.contains(u"/nonexistent/folder/out.pdf"_s));
    }

    // The progress window counts records in percent and ends in the preview, with the
    // progress window gone.
    void previewRun()
    {
        ReportCatalogue catalogue;
        addSongs(catalogue, 200);
        test::ScriptedPrompter prompter;
        Ran ran;
        ReportRun *run = startRun(catalogue, ran, ReportRun::Destination::Preview);
        QVERIFY(run);
        QPointer<ProgressWindow> progress = run->progressWindow();
        QVERIFY(progress);
        QCOMPARE(progress->windowTitle(), u"Progress..."_s);
        QCOMPARE(progress->message(), u"Generating Report"_s);
        QStringList shown;
        connect(progress, &ProgressWindow::progressTextChanged,
                [&shown](const QString &text) { shown.append(text); });
        QVERIFY(QTest::qWaitFor([&] { return ran.ended; }, 20000));
        QVERIFY(!progress);
        QVERIFY(shown.contains(u" 12% Completed"_s)); // 25 of 200 records
        QVERIFY(shown.contains(u"100% Completed"_s));
        QVERIFY(ran.preview);
        // The same pages as a run without windows.
        QCOMPARE(pageTexts(catalogue, ran.preview->pages()),
                 pageTexts(catalogue, *catalogue.pages(u"Songs by Artist"_s)));
        QVERIFY(prompter.shown.isEmpty());
    }

    // A report that prints nothing says so, in the words of its destination.
    void nothingPrinted()
    {
        ReportCatalogue catalogue;
        for (auto destination :
             {ReportRun::Destination::Preview, ReportRun::Destination::Printer}) {
            test::ScriptedPrompter prompter;
            Ran ran;
            QVERIFY(startRun(catalogue, ran, destination));
            QVERIFY(QTest::qWaitFor([&] { return ran.ended; }, 10000));
            QVERIFY(!ran.preview);
            QCOMPARE(prompter.shown.size(), 1);
            QCOMPARE(prompter.shown.first().caption, u"NOTE..."_s);
            QCOMPARE(prompter.shown.first().text, destination == ReportRun::Destination::Preview
                                                      ? u"Nothing to Preview."_s
                                                      : u"Nothing to Print."_s);
        }
    }

    // Cancel asks twice: No goes on; Yes then Ignore goes on to the same pages as a run
    // never stopped; Yes then Yes previews what was made; Esc stops without the preview.
    void cancelling()
    {
        ReportCatalogue catalogue;
        addSongs(catalogue, 400);
        const std::shared_ptr<PageList> whole = catalogue.pages(u"Songs by Artist"_s);
        const QStringList expected = pageTexts(catalogue, *whole);

        struct Case
        {
            const char *name;
            QList<Button> answers;
            bool escape;
            int questions;
            bool previewed;
        };
        const Case cases[] = {{"no", {No}, false, 1, true},
                              {"yes then ignore", {Yes, IgnoreButton}, false, 2, true},
                              {"yes then yes", {Yes, Yes}, false, 2, true},
                              {"yes then no", {Yes, No}, false, 2, false},
                              {"escape", {Yes}, true, 1, false}};
        for (const Case &c : cases) {
            test::ScriptedPrompter prompter;
            for (Button answer : c.answers)
                prompter.answer(answer);
            Ran ran;
            ReportRun *run = startRun(catalogue, ran, ReportRun::Destination::Preview);
            QPointer<ProgressWindow> progress = run->progressWindow();
            // Cancel once some pages exist.
            QVERIFY(
                QTest::qWaitFor([&] { return progress && progress->recordsDone() >= 150; }, 10000));
            if (c.escape)
                QTest::keyClick(progress, Qt::Key_Escape);
            else
                progress->findChild<QPushButton *>()->click();
            QVERIFY2(QTest::qWaitFor([&] { return ran.ended; }, 20000), c.name);
            QCOMPARE(prompter.shown.size(), c.questions);
            QCOMPARE(prompter.shown.first().text,
                     u"Are you sure you want to CANCEL this Report?"_s);
            QCOMPARE(prompter.shown.first().caption, u"Question"_s);
            if (c.questions == 2) {
                QCOMPARE(prompter.shown.at(1).text,
                         u"Report Cancellation Requested!\n \nPreview Report generated so far?"_s);
                QCOMPARE(prompter.shown.at(1).buttonTexts.value(0).second, u"Ignore"_s);
            }
            QCOMPARE(bool(ran.preview), c.previewed);
            if (!ran.preview)
                continue;
            const QStringList pages = pageTexts(catalogue, ran.preview->pages());
            if (QByteArray(c.name) == "yes then yes") {
                QVERIFY(pages.size() < expected.size());
                QCOMPARE(pages.first(), expected.first());
            } else {
                QCOMPARE(pages, expected); // nothing lost or repeated by the pause
            }
        }
    }

    // Print mode asks for the printer at the end; a run to a PDF printer writes the pages,
    // and without a printer chosen nothing is printed.
    void printing()
    {
        ReportCatalogue catalogue;
        addSongs(catalogue, 60);
        test::ScriptedPrompter prompter;
        const QString pdf = catalogue.file(u"printed.pdf"_s);
        int asked = 0;
        setPrinterChooser([&](QPrinter &printer, QWidget *, std::function<void(bool)> done) {
            ++asked;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printer.setCopyCount(2);
            printer.setCollateCopies(true);
            done(true);
        });
        Ran ran;
        QVERIFY(startRun(catalogue, ran, ReportRun::Destination::Printer));
        QVERIFY(QTest::qWaitFor([&] { return ran.ended; }, 20000));
        QCOMPARE(asked, 1);
        QVERIFY(!ran.preview);
        const QStringList sheets =
            ReportCatalogue::pdfFileText(pdf).split(u'\f', Qt::SkipEmptyParts);
        QCOMPARE(sheets.size(), 4); // two pages, two copies
        QVERIFY(sheets.at(2).contains(u"Page 1"_s));
    }

    // Without a printer the print dialog still opens, after a word that says so and points
    // to Save as PDF; closing it prints nothing.
    void printDialogWithoutPrinter()
    {
        if (printerInstalled())
            QSKIP("this machine has a printer");
        test::ScriptedPrompter prompter;
        QPrinter printer;
        std::optional<bool> chosen;
        choosePrinter(printer, nullptr, [&](bool ok) { chosen = ok; });
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.first().text, NoPrinterText);
        QVERIFY(prompter.shown.first().text.contains(u"Save as PDF"_s));
        QDialog *dialog = nullptr;
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (QWidget *top : QApplication::topLevelWidgets())
                    if (top->inherits("QPrintDialog") && top->isVisible())
                        dialog = qobject_cast<QDialog *>(top);
                return dialog != nullptr;
            },
            5000));
        dialog->reject();
        QVERIFY(QTest::qWaitFor([&] { return chosen.has_value(); }, 5000));
        QCOMPARE(*chosen, false);
    }

    // The preview: its status texts, zooms, pages across and down, the page jump and its
    // refusal, and saving as PDF.
    void preview()
    {
        ReportCatalogue catalogue;
        addSongs(catalogue, 250);
        auto pages = catalogue.pages(u"Songs by Artist"_s);
        QVERIFY2(pages && pages->count() == 6, qPrintable(QString::number(pages->count())));
        test::ScriptedPrompter prompter;
        auto *preview = new PreviewWindow(catalogue.session, pages, u"Songs by Artist"_s);
        preview->show();
        QCOMPARE(preview->windowTitle(), u"Report Preview"_s);
        QCOMPARE(preview->statusText(), u"Page 1 of 6"_s);
        QCOMPARE(preview->zoomText(), u"Zoom (100%)"_s);
        const double hundred = preview->scale();
        preview->setZoom(PreviewWindow::Zoom::Percent200);
        QCOMPARE(preview->zoomText(), u"Zoom (200%)"_s);
        QCOMPARE(preview->scale(), hundred * 2);
        preview->setZoom(PreviewWindow::Zoom::Percent50);
        QCOMPARE(preview->scale(), hundred / 2);
        preview->setZoom(PreviewWindow::Zoom::PageWidth);
        QCOMPARE(preview->zoomText(), u"Zoom (Page Width)"_s);

        const auto action = [preview](const QString &text) {
            for (QAction *entry : preview->findChildren<QAction *>())
                if (entry->text() == text)
                    return entry;
            return static_cast<QAction *>(nullptr);
        };
        QVERIFY(!action(u"&Previous Page(s)"_s)->isEnabled());
        preview->setDisplay(2, 2);
        QCOMPARE(preview->statusText(), u"Pages 1-4 of 6"_s);
        preview->nextPages();
        QCOMPARE(preview->statusText(), u"Pages 5-6 of 6"_s);
        QVERIFY(!action(u"&Next Page(s)"_s)->isEnabled());
        QVERIFY(action(u"&Previous Page(s)"_s)->isEnabled());
        preview->setDisplay(1, 1);

        QVERIFY(!preview->jumpTo(7));
        QCOMPARE(prompter.shown.last().text, u"Enter a page number from 1 to 6"_s);
        QVERIFY(!preview->jumpTo(0));
        QVERIFY(preview->jumpTo(6));
        QCOMPARE(preview->statusText(), u"Page 6 of 6"_s);
        QCOMPARE(preview->statusBar()->findChildren<QLabel *>().first()->text(), u"Page 6 of 6"_s);

        // Through the window: a refused number keeps it open.
        preview->jumpToPage();
        auto *dialog = preview->findChild<QDialog *>();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), u"Jump to a Report Page"_s);
        auto *entry = dialog->findChild<QLineEdit *>(u"page"_s);
        entry->setText(u"99"_s);
        QVERIFY(entry->text() == u"99"_s);
        entry->setText(u"123456"_s); // five digits at most
        QCOMPARE(entry->maxLength(), 5);
        entry->setText(u"9"_s);
        QTest::keyClick(entry, Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        entry->setText(u"2"_s);
        QTest::keyClick(entry, Qt::Key_Return);
        QVERIFY(
            QTest::qWaitFor([&] { return preview->findChildren<QDialog *>().isEmpty(); }, 5000));
        QCOMPARE(preview->firstPage(), 2);

        const QString pdf = catalogue.file(u"saved.pdf"_s);
        QVERIFY(preview->saveAsPdf(pdf));
        QCOMPARE(ReportCatalogue::pdfFileText(pdf).split(u'\f', Qt::SkipEmptyParts).size(), 6);
        QVERIFY(!preview->saveAsPdf(u"/nonexistent/x.pdf"_s));
        QCOMPARE(prompter.shown.last().caption, u"Save as PDF"_s);

        // Closing leaves nothing behind.
        QPointer<PreviewWindow> guard(preview);
        QTest::keyClick(preview, Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !guard; }, 5000));
    }

    // The criteria window: its prompt, the entry enabled only with "Selected", "All" on
    // opening for any other include value, and what Ok and Cancel leave.
    void criteriaWindow()
    {
        ReportCatalogue catalogue;
        reportCriteria().include = u"Other"_s;
        reportCriteria().selection = u"kept"_s;
        std::optional<bool> answer;
        QPointer<ReportCriteriaWindow> window = ReportCriteriaWindow::ask(
            catalogue.session, u"titles"_s, nullptr, [&](bool ok) { answer = ok; });
        QCOMPARE(window->windowTitle(), u"Report Criteria"_s);
        QCOMPARE(window->prompt(), u"Select titles that start with:"_s);
        auto *selection = window->findChild<QLineEdit *>(u"selection"_s);
        QCOMPARE(selection->maxLength(), 30);
        QVERIFY(!selection->isEnabled());
        QCOMPARE(selection->text(), u"kept"_s);
        const auto radio = [&](const QString &text) {
            for (QRadioButton *button : window->findChildren<QRadioButton *>())
                if (button->text() == text)
                    return button;
            return static_cast<QRadioButton *>(nullptr);
        };
        QVERIFY(radio(u"All"_s)->isChecked());
        QVERIFY(radio(u"Standard"_s)->isChecked());
        radio(u"Selected"_s)->click();
        QVERIFY(selection->isEnabled());
        selection->setText(u"Wat"_s);
        radio(u"All"_s)->click();
        QVERIFY(!selection->isEnabled());
        QCOMPARE(selection->text(), u"Wat"_s); // "All" clears nothing
        radio(u"Selected"_s)->click();
        radio(u"Brief"_s)->click();
        for (QCheckBox *box : window->findChildren<QCheckBox *>())
            if (box->text() == u"Preview")
                box->setChecked(true);
        for (QPushButton *button : window->findChildren<QPushButton *>())
            if (button->text() == u"&Ok")
                button->click();
        QVERIFY(QTest::qWaitFor([&] { return !window; }, 5000));
        QCOMPARE(answer, std::optional<bool>(true));
        const ReportCriteria &criteria = reportCriteria();
        QCOMPARE(criteria.style, u"Brief"_s);
        QVERIFY(criteria.preview);
        QCOMPARE(criteria.include, u"Selected"_s);
        QCOMPARE(criteria.selection, u"Wat"_s);

        // Esc is Cancel: nothing changes.
        answer.reset();
        window = ReportCriteriaWindow::ask(catalogue.session, u"artists"_s, nullptr,
                                           [&](bool ok) { answer = ok; });
        QVERIFY(window->findChild<QLineEdit *>(u"selection"_s)->isEnabled());
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([&] { return !window; }, 5000));
        QCOMPARE(answer, std::optional<bool>(false));
        QCOMPARE(criteria.selection, u"Wat"_s);

        QVERIFY(passesSelection(criteria, u"WATERLOO"_s));
        QVERIFY(!passesSelection(criteria, u"Atomic"_s));
    }

    // A report started as from its menu: the criteria, then the custom font offered from
    // the settings file and written back, then the preview of the brief twin.
    void startedFromMenu()
    {
        ReportCatalogue catalogue;
        addSongs(catalogue, 5);
        test::ScriptedPrompter prompter;
        const FontKeys keys{u"Brief"_s, u"MUS:SongsByTitle"_s};
        writeCustomFont(keys, ReportFont{u"Courier"_s, 12, true, false, QColor(1, 2, 3)});
        std::optional<ReportFont> offered;
        setFontChooser([&](const ReportFont &initial, QWidget *,
                           std::function<void(std::optional<ReportFont>)> done) {
            offered = initial;
            done(ReportFont{u"DejaVu Serif"_s, 11, false, true});
        });
        reportCriteria() = {u"Brief"_s, true, true, u"All"_s, QString()};
        QPointer<QWidget> window =
            startReport(catalogue.session, *findReport(u"Songs by Title"_s), nullptr, nullptr);
        auto *criteria = qobject_cast<ReportCriteriaWindow *>(window.data());
        QVERIFY(criteria);
        criteria->accept();
        QVERIFY(QTest::qWaitFor(
            [] {
                for (QWidget *top : QApplication::topLevelWidgets())
                    if (qobject_cast<PreviewWindow *>(top))
                        return true;
                return false;
            },
            20000));
        QVERIFY(offered);
        QCOMPARE(offered->family, u"Courier"_s);
        QCOMPARE(offered->points, 12);
        QVERIFY(offered->bold);
        QCOMPARE(offered->colour, QColor(1, 2, 3));
        const std::optional<ReportFont> stored = readCustomFont(keys);
        QVERIFY(stored);
        QCOMPARE(stored->family, u"DejaVu Serif"_s);
        QVERIFY(stored->italic);
        QCOMPARE(IniFile::get(u"Fonts"_s, u"FontStyleBriefMUS:SongsByTitle"_s, QString(),
                              Paths::settingsFile()),
                 u"4496"_s);
        PreviewWindow *preview = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *found = qobject_cast<PreviewWindow *>(top))
                preview = found;
        QCOMPARE(preview->pages().font(0).family, u"DejaVu Serif"_s);
    }

    // The play-list report asks the preview question; Cancel ends it with nothing open.
    void previewQuestion()
    {
        ReportCatalogue catalogue;
        test::ScriptedPrompter prompter;
        prompter.answer(Cancel);
        QVERIFY(!startReport(catalogue.session, *findReport(u"Playlist"_s), nullptr, nullptr));
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.first().text, u"Do you wish to PREVIEW this Report?"_s);
        QCOMPARE(prompter.shown.first().caption, u"Preview"_s);
        QTest::qWait(50);
        QCOMPARE(prompter.shown.size(), 1);
    }

    // The start points: the frame's report entries are on, and the play-list browser's
    // "&Top 40" prints the highlighted play list's chart into a preview in the work area.
    void startPoints()
    {
        ReportCatalogue catalogue;
        catalogue.addPlaylist(1, u"First List"_s);
        catalogue.addPlaylist(2, u"Second List"_s);
        catalogue.addEntry(2, 1, catalogue.addSong({u"Artist"_s, u"Number One"_s}));
        Procedures::clear();
        registerReportProcedures();
        Procedures::addBrowser(u"BrowsePlayLists"_s,
                               [](Session &session) { return new PlaylistBrowser(session); });
        test::ScriptedPrompter prompter;
        prompter.answer(Yes); // preview
        MainFrame frame(catalogue.session);
        for (const char *procedure : {"ReportSongsByArtist", "ReportSongsByBPM",
                                      "ReportAlbumsByCategory", "PaperSaverByTitle", "DJLog"})
            QVERIFY2(frame.menuAction(QString::fromUtf8(procedure))->isEnabled(), procedure);
        frame.resize(1000, 760);
        frame.show();
        auto *browser = qobject_cast<PlaylistBrowser *>(frame.startProcedure(u"BrowsePlayLists"_s));
        QVERIFY(browser);
        QPushButton *top40 = nullptr;
        for (QPushButton *button : browser->findChildren<QPushButton *>())
            if (button->text() == u"&Top 40")
                top40 = button;
        QVERIFY(top40 && top40->isEnabled());
        QTest::keyClick(browser->list()->view(), Qt::Key_End);
        QVERIFY(QTest::qWaitFor([&] { return browser->list()->highlighted() != 0; }, 5000));
        top40->click();
        PreviewWindow *preview = nullptr;
        QVERIFY(QTest::qWaitFor(
            [&] {
                preview = frame.findChild<PreviewWindow *>();
                return preview != nullptr;
            },
            20000));
        QCOMPARE(prompter.shown.first().text, u"Do you wish to PREVIEW this Report?"_s);
        QVERIFY(frame.mdiArea()->subWindowList().size() == 2);
        // Pages need room: the preview opens over the whole work area.
        QCOMPARE(frame.mdiArea()->activeSubWindow()->widget(), preview);
        QCOMPARE(frame.mdiArea()->activeSubWindow()->size(), frame.mdiArea()->viewport()->size());
        const QString text = catalogue.pdfText(preview->pages());
        QVERIFY(text.contains(u"Second List"_s));
        QVERIFY(text.contains(u"Number One"_s));
        // Closing the preview closes its frame in the work area.
        preview->close();
        QVERIFY(
            QTest::qWaitFor([&] { return frame.mdiArea()->subWindowList().size() == 1; }, 5000));
        Procedures::clear();
    }

    // The command line writes the PDF without a window and fails with the reason.
    void commandLine()
    {
        ReportCatalogue catalogue;
        catalogue.addSong({u"Abba"_s, u"Waterloo"_s});
        catalogue.addSong({u"Blondie"_s, u"Atomic"_s});
        catalogue.addPlaylist(1, u"Party"_s);
        catalogue.addEntry(1, 1, 2);
        const ProgramCommand command = reportCommand();
        QCOMPARE(command.name, u"report"_s);
        QVERIFY(command.draws);
        const QString pdf = catalogue.file(u"cli.pdf"_s);
        QCOMPARE(command.run(catalogue.session,
                             {u"Songs by Artist"_s, u"--pdf"_s, pdf, u"--selected"_s, u"ab"_s}),
                 0);
        const QString text = ReportCatalogue::pdfFileText(pdf);
        QVERIFY(text.contains(u"Waterloo"_s));
        QVERIFY(!text.contains(u"Atomic"_s));

        QCOMPARE(command.run(catalogue.session,
                             {u"Playlist"_s, u"--pdf"_s, pdf, u"--playlist"_s, u"party"_s}),
                 0);
        QVERIFY(ReportCatalogue::pdfFileText(pdf).contains(u"Atomic"_s));

        QCOMPARE(command.run(catalogue.session, {u"No Such Report"_s, u"--pdf"_s, pdf}), 2);
        QCOMPARE(command.run(catalogue.session, {u"Playlist"_s, u"--pdf"_s, pdf}), 2);
        QCOMPARE(command.run(catalogue.session,
                             {u"Playlist"_s, u"--pdf"_s, pdf, u"--playlist"_s, u"Nope"_s}),
                 1);
        QCOMPARE(command.run(catalogue.session,
                             {u"Songs by Artist"_s, u"--pdf"_s, u"/nonexistent/x.pdf"_s}),
                 1);
        QCOMPARE(command.run(catalogue.session,
                             {u"Songs by Artist"_s, u"--pdf"_s, pdf, u"--selected"_s, u"zzz"_s}),
                 1); // nothing to print
    }
};

QTEST_MAIN(TestReportRun)
#include "tst_reportrun.moc"
