#include "albums/albumfiles.h"
#include "albums/albumform.h"
#include "albums/albumsongs.h"
#include "albums/albumwizard.h"
#include "albums/selectfilenumber.h"
#include "app/browselist.h"
#include "app/mainframe.h"
#include "app/pagemodel.h"
#include "app/procedures.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/splashwindow.h"
#include "app/windowposition.h"
#include "platform/cddevice.h"
#include "platform/inifile.h"
#include "platform/instances.h"
#include "platform/mcicommand.h"
#include "platform/paths.h"
#include "platform/stddate.h"
#include "songs/songform.h"
#include "store/sqldialect.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <list>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

class Catalogue
{
public:
    explicit Catalogue(const QString &folder) : session(folder)
    {
        session.announceTables();
        Settings::global() = Settings();
        uses = session.files().use({&table(TableId::Songs), &table(TableId::Media),
                                    &table(TableId::Categories), &table(TableId::Albums)});
        QVERIFY(uses);
        for (const char *name : {"CD", "LP"})
            QVERIFY(test::addMedia(table(TableId::Media), QString::fromUtf8(name)));
        QVERIFY(test::addCategory(table(TableId::Categories), 1, u"Rock"_s));
    }

    Table &table(TableId id) { return session.store().table(id); }
    Table &songs() { return table(TableId::Songs); }

    void addAlbum(qint64 id, const QString &title, const QString &fileNumber = QString(),
                  const QString &media = u"CD"_s)
    {
        Record &album = table(TableId::Albums).buffer();
        album.clear();
        album.setNumber(alb::AlbumID, id);
        album.setText(alb::Artist, u"The Band"_s);
        album.setText(alb::Album, title);
        album.setText(alb::FileNumber, fileNumber);
        album.setText(alb::Media, media);
        album.setText(alb::CDIdentifier, u"0512345"_s + QString::number(id));
        QVERIFY(table(TableId::Albums).add());
    }

    void addSong(qint64 id, qint64 albumId, int track, int side = 0, const QString &media = u"CD"_s,
                 const QString &fileNumber = QString())
    {
        Record &song = test::newSong(songs(), id);
        song.setNumber(mus::AlbumID, albumId);
        song.setNumber(mus::TrackNumber, track);
        song.setNumber(mus::Side, side);
        song.setText(mus::Title, u"Song %1"_s.arg(id));
        song.setText(mus::Artist, u"The Band"_s);
        song.setText(mus::Media, media);
        song.setText(mus::FileNumber, fileNumber);
        QVERIFY(songs().add());
    }

    Record song(qint64 id)
    {
        songs().buffer().clear();
        songs().buffer().setNumber(mus::ID, id);
        if (!songs().get(mus::KeyID))
            songs().buffer().clear();
        return songs().buffer();
    }
    qint64 trackOf(qint64 id) { return song(id).number(mus::TrackNumber); }
    QList<qint64> tracksOf(const QList<qint64> &ids)
    {
        QList<qint64> tracks;
        for (qint64 id : ids)
            tracks.append(trackOf(id));
        return tracks;
    }

    bool loadAlbum(qint64 id)
    {
        Table &albums = table(TableId::Albums);
        albums.buffer().clear();
        albums.buffer().setNumber(alb::AlbumID, id);
        return albums.get(alb::KeyAlbumID);
    }

    QList<int> tableUsers()
    {
        QList<int> users;
        for (TableId id : allTables())
            users.append(session.files().users(table(id)));
        return users;
    }

    Session session;
    TableUses uses;
};

// The frame as the program starts it, with nothing open yet and no procedures but those
// the test registers.
void startFrame(MainFrame &frame)
{
    Instances::reset();
    settings::writeNumber(u"SetupWizardComplete"_s, 1);
    settings::writeNumber(u"ShowTips"_s, 0);
    QVERIFY(frame.openCatalogue());
    frame.resize(1100, 760);
    frame.showAndStart();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<SplashWindow *>(window))
            window->close();
    }
    settle();
}

// The album form on the album in the buffer, as the album browser opens it.
AlbumForm *openForm(Catalogue &catalogue, Request request)
{
    auto *form = new AlbumForm(catalogue.session, request);
    if (!form->start())
        return nullptr;
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form))
        return nullptr;
    return form;
}

template <typename T> QList<T *> shown()
{
    QList<T *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            windows.append(window);
    }
    return windows;
}

QWidget *fieldAfter(QWidget *form, const QString &prompt)
{
    for (QFormLayout *layout : form->findChildren<QFormLayout *>()) {
        for (int row = 0; row < layout->rowCount(); ++row) {
            QLayoutItem *labelItem = layout->itemAt(row, QFormLayout::LabelRole);
            auto *label = labelItem ? qobject_cast<QLabel *>(labelItem->widget()) : nullptr;
            if (label && label->text() == prompt)
                return layout->itemAt(row, QFormLayout::FieldRole)->widget();
        }
    }
    return nullptr;
}

QLineEdit *lineAfter(QWidget *form, const QString &prompt)
{
    return qobject_cast<QLineEdit *>(fieldAfter(form, prompt));
}

QPushButton *buttonOf(QWidget *window, const QString &caption)
{
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (button->text() == caption || button->toolTip() == caption)
            return button;
    }
    return nullptr;
}

void highlightSong(AlbumForm *form, qint64 id, Catalogue &catalogue)
{
    BrowseList *list = form->songs()->list();
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        catalogue.songs().reget(list->model()->positionAt(row));
        if (catalogue.songs().buffer().number(mus::ID) == id) {
            list->highlightRow(row);
            return;
        }
    }
    QFAIL("song not listed");
}

// Album 1 with songs 1 to 5 on tracks 1 to 5, open in its form.
AlbumForm *openAlbumOfFive(Catalogue &catalogue)
{
    catalogue.addAlbum(1, u"Five"_s);
    for (int track = 1; track <= 5; ++track)
        catalogue.addSong(track, 1, track);
    return catalogue.loadAlbum(1) ? openForm(catalogue, Request::Change) : nullptr;
}

QStringList listedTitles(AlbumForm *form)
{
    QStringList titles;
    PageModel *model = form->songs()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        titles.append(model->textAt(row, 3));
    return titles;
}

// Finishes the song form the album form opened: OK or Cancel.
void endSongForm(bool ok)
{
    QTRY_COMPARE(shown<SongForm>().size(), 1);
    SongForm *songForm = shown<SongForm>().first();
    buttonOf(songForm, ok ? u"&OK"_s : u"Cancel"_s)->click();
    settle();
}

QString twoDigits(int number)
{
    return QString::number(number).rightJustified(2, u'0');
}

// A disc image of tracks of the given seconds.
QString writeImage(const test::Workspace &workspace, const QList<int> &seconds)
{
    QString cue = u"FILE \"disc.bin\" BINARY\n"_s;
    qint32 start = 0;
    for (int track = 1; track <= seconds.size(); ++track) {
        const int at = start / 75;
        cue += u"  TRACK %1 AUDIO\n    INDEX 01 %2:%3:00\n"_s.arg(
            twoDigits(track), twoDigits(at / 60), twoDigits(at % 60));
        start += seconds.at(track - 1) * 75;
    }
    QFile file(workspace.file(u"disc.cue"_s));
    file.open(QIODevice::WriteOnly);
    file.write(cue.toUtf8());
    QFile bin(workspace.file(u"disc.bin"_s));
    bin.open(QIODevice::WriteOnly);
    bin.resize(qint64(start) * SectorBytes);
    return file.fileName();
}

// A short silent WAV file.
QString writeWav(const test::Workspace &workspace)
{
    QByteArray data(8000, '\0');
    QByteArray wav = "RIFF";
    const auto le32 = [](quint32 value) {
        QByteArray bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[i] = char((value >> (8 * i)) & 0xFF);
        return bytes;
    };
    const auto le16 = [](quint16 value) {
        return QByteArray(1, char(value & 0xFF)) + QByteArray(1, char(value >> 8));
    };
    wav += le32(36 + data.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(8000) +
           le32(8000) + le16(1) + le16(8) + "data" + le32(data.size()) + data;
    const QString path = workspace.file(u"silence.wav"_s);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(wav);
    return path;
}

// Chooses `path` in the file dialog the form opened.
void chooseInDialog(const QString &title, const QString &path)
{
    QFileDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) ||
                !shown<QFileDialog>().isEmpty());
    if (!dialog)
        dialog = shown<QFileDialog>().first();
    QCOMPARE(dialog->windowTitle(), title);
    dialog->findChild<QLineEdit *>(u"fileNameEdit"_s)->setText(path);
    QMetaObject::invokeMethod(dialog, "accept");
    settle();
}

} // namespace

class TestAlbumForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init()
    {
        m_workspace = std::make_unique<test::Workspace>();
        m_prompter = std::make_unique<test::ScriptedPrompter>();
        m_catalogue = std::make_unique<Catalogue>(m_workspace->path());
    }
    // Every window goes before the catalogue it uses, whatever way the test ended.
    void cleanup()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            window->close();
        settle();
        m_catalogue.reset();
        m_prompter.reset();
        m_workspace.reset();
        setDesktopOpener({});
        setMciTracer({});
        setCdDeviceFactory({});
        CdDevice::setSource({});
    }

    // Copying gives a new album with " - Copy", a new number, no serial and no songs; a
    // second copy of the same album, and a title too long for the words, still get a title
    // of their own instead of failing to be written.
    void copyMakesANewAlbum()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Greatest Hits"_s);
        catalogue.addSong(1, 1, 1);
        const QString longTitle(50, u'x');
        catalogue.addAlbum(2, longTitle);

        QStringList titles;
        for (qint64 original : {1, 1, 2}) {
            QVERIFY(catalogue.loadAlbum(original));
            AlbumForm *form = openForm(catalogue, Request::Select);
            QVERIFY(form);
            QCOMPARE(form->windowTitle(), u"Adding an Album Record"_s);
            QCOMPARE(lineAfter(form, u"CD Serial #:"_s)->text(), QString());
            QVERIFY(form->songs()->model()->isEmpty());
            titles.append(lineAfter(form, u"A&lbum:"_s)->text());
            buttonOf(form, u"&OK"_s)->click();
            settle();
        }
        QCOMPARE(titles.at(0), u"Greatest Hits - Copy"_s);
        QCOMPARE(titles.at(1), u"Greatest Hits - Copy 2"_s);
        QCOMPARE(titles.at(2), QString(43, u'x') + u" - Copy"_s);
        QVERIFY(prompter.shown.isEmpty());
        QCOMPARE(catalogue.table(TableId::Albums).records(), 5);
        QVERIFY(catalogue.loadAlbum(3));
        QCOMPARE(catalogue.table(TableId::Albums).buffer().text(alb::Album), titles.at(0));
        QVERIFY(catalogue.table(TableId::Albums).buffer().isBlank(alb::CDIdentifier));
        QCOMPARE(catalogue.song(1).number(mus::AlbumID), 1); // the songs stay with the original
    }

    // A new album is numbered at once; Cancel gives the number back, while a song added to
    // it meanwhile keeps its link.
    void cancelledInsertRemovesTheAlbum()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(4, u"Older"_s);
        catalogue.table(TableId::Albums).buffer().clear();
        AlbumForm *form = openForm(catalogue, Request::Insert);
        QVERIFY(form);
        QCOMPARE(catalogue.table(TableId::Albums).records(), 2);
        QCOMPARE(qobject_cast<QComboBox *>(fieldAfter(form, u"&Media:"_s))->currentText(), u"CD"_s);
        form->songs()->add();
        QTRY_COMPARE(shown<SongForm>().size(), 1);
        QVERIFY(!form->isEnabled());
        QCOMPARE(lineAfter(shown<SongForm>().first(), u"Track &Number:"_s)->text(), u"1"_s);
        endSongForm(true);
        QVERIFY(form->isEnabled());
        QCOMPARE(form->songs()->model()->rowCount(), 1);
        buttonOf(form, u"Cancel"_s)->click();
        settle();
        QCOMPARE(catalogue.table(TableId::Albums).records(), 1);
        QCOMPARE(catalogue.song(1).number(mus::AlbumID), 5);
        QVERIFY(!catalogue.session.calledFromAlbumForm);
    }

    // The field checks: a rating out of range names the field and the range; a category or
    // media not on file keeps the cursor in the field; a title the artist already has is
    // refused naming the key; nothing is written meanwhile.
    void fieldChecks()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"First"_s);
        catalogue.addAlbum(2, u"Second"_s);
        QVERIFY(catalogue.loadAlbum(2));
        AlbumForm *form = openForm(catalogue, Request::Change);
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), u"Changing an Album Record"_s);

        lineAfter(form, u"Rating:"_s)->setText(u"11"_s);
        buttonOf(form, u"&OK"_s)->click();
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY(prompter.shown.last().text.contains(u"ALB:Rating"_s));
        QVERIFY(prompter.shown.last().text.contains(u"0 and 10"_s));
        QCOMPARE(form->tabs()->currentIndex(), int(AlbumForm::Other));
        lineAfter(form, u"Rating:"_s)->setText(u"10"_s);

        auto *category = qobject_cast<QComboBox *>(fieldAfter(form, u"&Category:"_s));
        category->setCurrentText(u"Polka"_s);
        buttonOf(form, u"&OK"_s)->click();
        QCOMPARE(form->tabs()->currentIndex(), int(AlbumForm::General));
        QVERIFY(category->hasFocus() || category->lineEdit()->hasFocus());
        category->setCurrentText(u"rock"_s);
        auto *media = qobject_cast<QComboBox *>(fieldAfter(form, u"&Media:"_s));
        media->setCurrentText(u"Wax cylinder"_s);
        buttonOf(form, u"&OK"_s)->click();
        QVERIFY(!form->hasEnded());
        media->setCurrentText(u"lp"_s);

        lineAfter(form, u"A&lbum:"_s)->setText(u"First"_s);
        buttonOf(form, u"&OK"_s)->click();
        QVERIFY(!form->hasEnded());
        QVERIFY(prompter.shown.last().text.contains(u"ALB:KeyAlbum"_s));
        QCOMPARE(prompter.shown.size(), 2);

        lineAfter(form, u"A&lbum:"_s)->setText(u"Second Edition"_s);
        buttonOf(form, u"&OK"_s)->click();
        settle();
        QVERIFY(catalogue.loadAlbum(2));
        const Record &saved = catalogue.table(TableId::Albums).buffer();
        QCOMPARE(saved.text(alb::Album), u"Second Edition"_s);
        QCOMPARE(saved.number(alb::CategoryID), 1);
        QCOMPARE(saved.text(alb::Media), u"LP"_s);
        QCOMPARE(saved.number(alb::Rating), 10);
    }

    // Ctrl+' fills the focused field with its value in the album saved last.
    void historyKey()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Saved"_s, u"F-7"_s, u"LP"_s);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);
        lineAfter(form, u"Playlist:"_s)->setText(u"Party"_s);
        buttonOf(form, u"&OK"_s)->click();
        settle();

        catalogue.table(TableId::Albums).buffer().clear();
        form = openForm(catalogue, Request::Insert);
        QVERIFY(QTest::qWaitForWindowActive(form));
        for (const auto &[prompt, tab] : {std::pair{u"&File Number:"_s, AlbumForm::General},
                                          std::pair{u"Playlist:"_s, AlbumForm::AssociatedFiles}}) {
            form->tabs()->setCurrentIndex(tab);
            QLineEdit *field = lineAfter(form, prompt);
            field->setFocus();
            QTest::keyClick(field, Qt::Key_Apostrophe, Qt::ControlModifier);
        }
        QCOMPARE(lineAfter(form, u"&File Number:"_s)->text(), u"F-7"_s);
        QCOMPARE(lineAfter(form, u"Playlist:"_s)->text(), u"Party"_s);
        QCOMPARE(lineAfter(form, u"&Artist:"_s)->text(), QString());
        form->tabs()->setCurrentIndex(AlbumForm::General);
        auto *media = qobject_cast<QComboBox *>(fieldAfter(form, u"&Media:"_s));
        media->setFocus();
        form->recallHistory();
        QCOMPARE(media->currentText(), u"LP"_s);
    }

    // The list holds this album's songs in track order with side and track apart; a new
    // song follows the one highlighted, on its side, with the album's values.
    void addFollowsTheHighlightedSong()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Five"_s, u"F1"_s);
        catalogue.addAlbum(2, u"Other"_s);
        for (int track = 1; track <= 5; ++track)
            catalogue.addSong(track, 1, track, 1);
        catalogue.addSong(6, 2, 1);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);
        PageModel *model = form->songs()->model();
        QCOMPARE(model->rowCount(), 5);
        QCOMPARE(model->textAt(0, 0), u"(1)"_s);
        QCOMPARE(model->textAt(0, 1).trimmed(), u"1"_s);
        QCOMPARE(listedTitles(form),
                 (QStringList{u"Song 1"_s, u"Song 2"_s, u"Song 3"_s, u"Song 4"_s, u"Song 5"_s}));

        highlightSong(form, 2, catalogue);
        form->songs()->add();
        QTRY_COMPARE(shown<SongForm>().size(), 1);
        SongForm *songForm = shown<SongForm>().first();
        QCOMPARE(lineAfter(songForm, u"&Album:"_s)->text(), u"Five"_s);
        QVERIFY(!lineAfter(songForm, u"&Album:"_s)->isEnabled());
        QCOMPARE(lineAfter(songForm, u"&File Number:"_s)->text(), u"F1"_s);
        QCOMPARE(lineAfter(songForm, u"Side/Disc:"_s)->text(), u"1"_s);
        lineAfter(songForm, u"&Title:"_s)->setText(u"New"_s);
        endSongForm(true);
        QCOMPARE(listedTitles(form), (QStringList{u"Song 1"_s, u"Song 2"_s, u"New"_s, u"Song 3"_s,
                                                  u"Song 4"_s, u"Song 5"_s}));
        QCOMPARE(form->songs()->list()->highlightedRow(), 2);
        QCOMPARE(catalogue.tracksOf({1, 2, 3, 4, 5, 7}), (QList<qint64>{1, 2, 4, 5, 6, 3}));

        // Copy: a new song with the highlighted one's values and the next track.
        highlightSong(form, 1, catalogue);
        form->songs()->copy();
        endSongForm(true);
        QCOMPARE(catalogue.song(8).text(mus::Title), u"Song 1"_s);
        QCOMPARE(catalogue.trackOf(8), 7);
        QCOMPARE(catalogue.trackOf(6), 1); // the other album's song is untouched
    }

    // The moves keep to the side and renumber through a parking track; the first song up
    // or the last down changes nothing.
    void movesWithinASide()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Two Sides"_s);
        for (int track = 1; track <= 5; ++track)
            catalogue.addSong(track, 1, track, 1);
        for (int track = 1; track <= 3; ++track)
            catalogue.addSong(10 + track, 1, track, 2);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);
        const QList<qint64> sideOne{1, 2, 3, 4, 5};
        const QList<qint64> sideTwo{11, 12, 13};

        highlightSong(form, 1, catalogue);
        form->songs()->move(MoveMode::UpOne);
        highlightSong(form, 5, catalogue);
        buttonOf(form, u"Move record down one"_s)->click();
        QCOMPARE(catalogue.tracksOf(sideOne), (QList<qint64>{1, 2, 3, 4, 5}));

        highlightSong(form, 3, catalogue);
        buttonOf(form, u"Move record to the top"_s)->click();
        QCOMPARE(catalogue.tracksOf(sideOne), (QList<qint64>{2, 3, 1, 4, 5}));
        catalogue.song(3);
        QCOMPARE(form->songs()->list()->highlighted(), catalogue.songs().position());

        highlightSong(form, 3, catalogue);
        buttonOf(form, u"Move record to the bottom"_s)->click();
        QCOMPARE(catalogue.tracksOf(sideOne), (QList<qint64>{1, 2, 5, 3, 4}));
        highlightSong(form, 4, catalogue);
        buttonOf(form, u"Move record up one"_s)->click();
        QCOMPARE(catalogue.tracksOf(sideOne), (QList<qint64>{1, 3, 5, 2, 4}));

        highlightSong(form, 12, catalogue);
        form->songs()->move(MoveMode::ToTop);
        QCOMPARE(catalogue.tracksOf(sideTwo), (QList<qint64>{2, 1, 3}));
        QCOMPARE(catalogue.tracksOf(sideOne), (QList<qint64>{1, 3, 5, 2, 4}));
        QVERIFY(prompter.shown.isEmpty());
    }

    // A write refused part way through a move undoes the whole move and says where it
    // stopped; the move raises the revisions it writes, so a song read before it cannot be
    // written over it without notice.
    void moveFailingPartWayChangesNothing()
    {
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        AlbumForm *form = openAlbumOfFive(catalogue);
        QVERIFY(form);
        Database &database = catalogue.session.store().database();
        const TableDef &songs = tableDef(TableId::Songs);
        const QString target =
            sql::quote(Database::schemaName(songs)) + u'.' + sql::quote(songs.label);
        QVERIFY(database.execute(u"CREATE TEMP TRIGGER refuse BEFORE UPDATE OF TrackNumber ON "_s +
                                 target +
                                 u" WHEN new.TrackNumber = 3 BEGIN SELECT RAISE(ABORT, "
                                 "'disk refused'); END"_s));
        highlightSong(form, 5, catalogue);
        form->songs()->move(MoveMode::ToTop);
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.at(0).caption, u"Error!"_s);
        const QString text = prompter.shown.at(0).text;
        QVERIFY2(text.startsWith(u"Record swap error: "_s), qPrintable(text));
        QVERIFY2(text.endsWith(u"\nSongvane, MUS:KeyAlbumID\nKey Field MUS:AlbumID = 1\n"
                               "Key Field MUS:Side = 0\nKey Field MUS:TrackNumber = 2\n"
                               "Section = Put Swap"_s),
                 qPrintable(text));
        QVERIFY(!database.inTransaction());
        QCOMPARE(catalogue.tracksOf({1, 2, 3, 4, 5}), (QList<qint64>{1, 2, 3, 4, 5}));
        QCOMPARE(listedTitles(form).first(), u"Song 1"_s);

        QVERIFY(database.execute(u"DROP TRIGGER temp.refuse"_s));
        Table &table = catalogue.songs();
        catalogue.song(2);
        table.watch();
        QVERIFY(table.reget(table.position()));
        const Table::CurrentRecord readBefore = table.current();
        const Record before = table.buffer();
        highlightSong(form, 5, catalogue);
        form->songs()->move(MoveMode::ToTop);
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(catalogue.tracksOf({1, 2, 3, 4, 5}), (QList<qint64>{2, 3, 4, 5, 1}));
        QCOMPARE(listedTitles(form).first(), u"Song 5"_s);
        table.buffer() = before;
        table.setCurrent(readBefore);
        QVERIFY(!table.put());
        QCOMPARE(errorCode(), err::ChangedByAnotherStation);
    }

    // A move reads the side and writes it with no other station in between: what another
    // station changed or deleted since the list was shown is kept and passed over, and a
    // station that holds the file makes the move fail whole with the swap error.
    void moveBesideAnotherStation()
    {
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        const QString folder = m_workspace->path();
        AlbumForm *form = openAlbumOfFive(catalogue);
        QVERIFY(form);
        std::list<QProcess> stations;
        const auto station = [&](const QStringList &arguments) {
            QProcess &process = stations.emplace_back();
            process.start(test::helperProgram(u"station"_s), QStringList{folder} + arguments);
            return process.waitForReadyRead(10000) &&
                   process.readLine().trimmed() == QByteArray("ready");
        };

        QVERIFY(station({u"change-song"_s, u"3"_s, u"Theirs"_s}));
        highlightSong(form, 5, catalogue);
        form->songs()->move(MoveMode::ToTop);
        QCOMPARE(catalogue.tracksOf({1, 2, 3, 4, 5}), (QList<qint64>{2, 3, 4, 5, 1}));
        QCOMPARE(catalogue.song(3).text(mus::Title), u"Theirs"_s);

        QVERIFY(station({u"delete-song"_s, u"2"_s}));
        highlightSong(form, 4, catalogue); // the list still shows the deleted song
        form->songs()->move(MoveMode::ToTop);
        QCOMPARE(catalogue.tracksOf({1, 3, 4, 5}), (QList<qint64>{4, 5, 1, 2}));
        QVERIFY(prompter.shown.isEmpty());

        QVERIFY(station({u"hold-logout"_s, u"4000"_s}));
        highlightSong(form, 3, catalogue);
        form->songs()->move(MoveMode::ToTop);
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY(prompter.shown.at(0).text.endsWith(u"Section = Test Range"_s));
        QVERIFY(!catalogue.session.store().database().inTransaction());
        QCOMPARE(catalogue.tracksOf({1, 3, 4, 5}), (QList<qint64>{4, 5, 1, 2}));
        for (QProcess &process : stations)
            QVERIFY(process.waitForFinished(10000));
    }

    // Deleting track 2 of five renumbers the later ones of its side; songs of the other
    // side keep their tracks.
    void deleteRenumbers()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Five"_s);
        for (int track = 1; track <= 5; ++track)
            catalogue.addSong(track, 1, track);
        catalogue.addSong(6, 1, 3, 1);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);
        highlightSong(form, 2, catalogue);
        prompter.answer(Ok);
        form->songs()->remove();
        settle();
        QTRY_VERIFY(form->isEnabled());
        QVERIFY(catalogue.song(2).isBlank(mus::ID));
        QCOMPARE(catalogue.tracksOf({1, 3, 4, 5, 6}), (QList<qint64>{1, 2, 3, 4, 3}));
        QCOMPARE(form->songs()->model()->rowCount(), 5);
    }

    // Edit All Songs opens the song form for each song in track order and stops at the
    // first one cancelled.
    void editAllStopsAtCancel()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Four"_s);
        for (int track = 1; track <= 4; ++track)
            catalogue.addSong(track, 1, 5 - track);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);
        buttonOf(form, u"Edit All Son&gs"_s)->click();
        QStringList edited;
        for (bool ok : {true, true, false}) {
            QTRY_COMPARE(shown<SongForm>().size(), 1);
            edited.append(lineAfter(shown<SongForm>().first(), u"&Title:"_s)->text());
            endSongForm(ok);
        }
        settle();
        QVERIFY(shown<SongForm>().isEmpty());
        QVERIFY(form->isEnabled());
        QCOMPARE(edited, (QStringList{u"Song 4"_s, u"Song 3"_s, u"Song 2"_s}));
    }

    // Re-assign Songs: the question names file number and media; Yes links the run of
    // matching songs and counts them, or says which field stopped it; No opens the picker.
    void reassignSongs()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Gathered"_s, u"F1"_s);
        catalogue.addSong(1, 0, 1, 0, u"CD"_s, u"f1"_s);
        catalogue.addSong(2, 0, 2, 0, u"CD"_s, u"F1"_s);
        catalogue.addSong(3, 0, 3, 0, u"CD"_s, u"F2"_s);
        catalogue.addSong(4, 0, 4, 0, u"LP"_s, u"F1"_s);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);

        prompter.answer(Yes);
        buttonOf(form, u"Re-assign Songs"_s)->click();
        QCOMPARE(prompter.shown.at(0).caption, u"Assign Songs To Album"_s);
        QCOMPARE(prompter.shown.at(0).text, u"Do you want to assign all songs with file number "
                                            "\"F1\" and media type \"CD\" to this album?"_s);
        QCOMPARE(prompter.shown.at(1).caption, u"Process complete."_s);
        QCOMPARE(prompter.shown.at(1).text, u"2 songs assigned."_s);
        QCOMPARE(catalogue.song(1).number(mus::AlbumID), 1);
        QCOMPARE(catalogue.song(2).number(mus::AlbumID), 1);
        QCOMPARE(catalogue.song(3).number(mus::AlbumID), 0);
        QCOMPARE(form->songs()->model()->rowCount(), 2);

        const auto failure = [&](const QString &fileNumber, const QString &media) {
            form->tabs()->setCurrentIndex(AlbumForm::General);
            lineAfter(form, u"&File Number:"_s)->setText(fileNumber);
            qobject_cast<QComboBox *>(fieldAfter(form, u"&Media:"_s))->setCurrentText(media);
            prompter.shown.clear();
            prompter.answer(Yes);
            buttonOf(form, u"Re-assign Songs"_s)->click();
            return prompter.shown.size() == 2 &&
                           prompter.shown.at(1).caption == u"Process failed."_s
                       ? prompter.shown.at(1).text
                       : QString();
        };
        QCOMPARE(failure(u"F15"_s, u"CD"_s), u"No songs with that file number were found."_s);
        QCOMPARE(failure(u"F9"_s, u"CD"_s), u"No songs with that media type were found."_s);
        QCOMPARE(failure(u"F9"_s, u"LP"_s),
                 u"No songs with that media type and file number were found."_s);

        prompter.shown.clear();
        prompter.answer(Cancel);
        buttonOf(form, u"Re-assign Songs"_s)->click();
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY(shown<SelectFileNumber>().isEmpty());

        prompter.answer(No);
        buttonOf(form, u"Re-assign Songs"_s)->click();
        QTRY_COMPARE(shown<SelectFileNumber>().size(), 1);
        SelectFileNumber *picker = shown<SelectFileNumber>().first();
        QCOMPARE(picker->windowTitle(), u"Select File Number"_s);
        QVERIFY(!form->isEnabled());
        picker->list()->highlightRow(3); // By Artist, then title: song 4
        picker->select();
        settle();
        QVERIFY(form->isEnabled());
        QCOMPARE(catalogue.song(4).number(mus::AlbumID), 1);
        QCOMPARE(form->songs()->model()->rowCount(), 3);
    }

    // A song dropped on the list joins the album as a copy with an ID of its own.
    void droppedSongIsCopiedIn()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Target"_s);
        catalogue.addSong(1, 0, 7);
        catalogue.addSong(2, 1, 1);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);
        QVERIFY(!form->songs()->dropSong(99));
        QVERIFY(form->songs()->dropSong(1));
        QCOMPARE(catalogue.songs().records(), 3);
        QCOMPARE(catalogue.song(1).number(mus::AlbumID), 0);
        QCOMPARE(catalogue.song(3).number(mus::AlbumID), 1);
        QCOMPARE(catalogue.song(3).text(mus::Title), u"Song 1"_s);
        QCOMPARE(form->songs()->model()->rowCount(), 2);
        QVERIFY(prompter.shown.isEmpty());
    }

    // Deleting an album asks first and takes its songs with it.
    void deleteTakesTheSongs()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Gone"_s);
        catalogue.addAlbum(2, u"Kept"_s);
        catalogue.addSong(1, 1, 1);
        catalogue.addSong(2, 2, 1);
        QVERIFY(catalogue.loadAlbum(1));
        prompter.answer(Ok);
        auto *form = new AlbumForm(catalogue.session, Request::Delete);
        QVERIFY(!form->start());
        delete form;
        QCOMPARE(catalogue.table(TableId::Albums).records(), 1);
        QCOMPARE(catalogue.songs().records(), 1);
        QCOMPARE(catalogue.song(2).number(mus::AlbumID), 2);
    }

    // The sound file and the picture: a file that is missing, unreadable or not what its
    // use needs is refused with a message and the album keeps its value; a good one is
    // taken; playing what cannot play says so; the picture shows scaled, or a placeholder.
    void associatedFiles()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Files"_s);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);
        form->tabs()->setCurrentIndex(AlbumForm::AssociatedFiles);
        auto *sound = form->findChild<QLineEdit *>(u"soundFile"_s);
        QVERIFY(sound);

        const QString text = workspace.file(u"notes.wav"_s);
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("just some words, no sound at all");
        file.close();
        QVERIFY(!soundFileProblem(text).isEmpty());
        QVERIFY(soundFileProblem(workspace.file(u"nowhere.wav"_s)).contains(u"does not exist"_s));
        const QString wav = writeWav(workspace);
        QCOMPARE(soundFileProblem(wav), QString());

        form->findChild<QPushButton *>(u"chooseSound"_s)->click();
        chooseInDialog(u"Select WAV File"_s, text);
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY(prompter.shown.last().text.contains(u"is not a sound file"_s));
        QCOMPARE(sound->text(), QString());
        form->findChild<QPushButton *>(u"chooseSound"_s)->click();
        chooseInDialog(u"Select WAV File"_s, wav);
        QCOMPARE(sound->text(), wav);

        sound->setText(workspace.file(u"nowhere.wav"_s));
        buttonOf(form, u"Play WAV file"_s)->click();
        QTRY_COMPARE(prompter.shown.size(), 2);
        QCOMPARE(prompter.shown.last().text,
                 u"Could not play "_s + workspace.file(u"nowhere.wav"_s) + u'.');
        QCOMPARE(prompter.shown.last().caption, u"Error"_s);

        QList<QUrl> opened;
        setDesktopOpener([&](const QUrl &url) {
            opened.append(url);
            return true;
        });
        sound->setText(wav);
        buttonOf(form, u"Play using associated player"_s)->click();
        buttonOf(form, u"Open using associated program"_s)->click();
        QCOMPARE(opened, (QList<QUrl>{QUrl::fromLocalFile(wav), QUrl::fromLocalFile(wav)}));
        QCOMPARE(prompter.shown.size(), 2);

        auto *picture = form->findChild<QLabel *>(u"picture"_s);
        QVERIFY(picture->text().contains(u"No picture"_s));
        QImage image(400, 200, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString png = workspace.file(u"cover.png"_s);
        QVERIFY(image.save(png));
        form->findChild<QPushButton *>(u"chooseImage"_s)->click();
        chooseInDialog(u"Choose a File"_s, text);
        QCOMPARE(prompter.shown.size(), 3);
        QVERIFY(prompter.shown.last().text.contains(u"not a picture"_s));
        QVERIFY(picture->pixmap().isNull());
        form->findChild<QPushButton *>(u"chooseImage"_s)->click();
        chooseInDialog(u"Choose a File"_s, png);
        QVERIFY(!picture->pixmap().isNull());
        QVERIFY(picture->pixmap().width() <= qMax(picture->contentsRect().width(), 150));
        QVERIFY(qAbs(picture->pixmap().width() - picture->pixmap().height() * 2) <= 2);

        buttonOf(form, u"&OK"_s)->click();
        settle();
        QVERIFY(catalogue.loadAlbum(1));
        QCOMPARE(catalogue.table(TableId::Albums).buffer().text(alb::AssociatedWavFile), wav);
        QCOMPARE(catalogue.table(TableId::Albums).buffer().text(alb::AssociatedImage), png);
    }

    // An album read from a folder names the folder as its sound: a folder that holds a
    // sound serves, played from its first track in album order and opened as a folder; one
    // without a sound is refused as a file would be.
    void soundFolder()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        const QString wav = writeWav(workspace);
        const QString folder = workspace.file(u"Album 日本"_s);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(wav, QDir(folder).filePath(u"10 Last.wav"_s)));
        QVERIFY(QFile::copy(wav, QDir(folder).filePath(u"9 First.wav"_s)));
        QFile notes(QDir(folder).filePath(u"1 notes.txt"_s));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.close();
        QCOMPARE(soundFileProblem(folder), QString());
        QCOMPARE(soundToPlay(folder), QDir(folder).filePath(u"9 First.wav"_s));
        const QString empty = workspace.file(u"Empty"_s);
        QVERIFY(QDir().mkpath(empty));
        QVERIFY(soundFileProblem(empty).contains(u"holds no sound file"_s));
        QCOMPARE(soundToPlay(empty), QString());

        catalogue.addAlbum(1, u"Folder"_s);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);
        form->tabs()->setCurrentIndex(AlbumForm::AssociatedFiles);
        auto *sound = form->findChild<QLineEdit *>(u"soundFile"_s);
        QList<QUrl> opened;
        setDesktopOpener([&](const QUrl &url) {
            opened.append(url);
            return true;
        });
        sound->setText(folder);
        buttonOf(form, u"Play using associated player"_s)->click();
        buttonOf(form, u"Open using associated program"_s)->click();
        QCOMPARE(opened, (QList<QUrl>{QUrl::fromLocalFile(QDir(folder).filePath(u"9 First.wav"_s)),
                                      QUrl::fromLocalFile(folder)}));
        QVERIFY(prompter.shown.isEmpty());
        sound->setText(empty);
        buttonOf(form, u"Open using associated program"_s)->click();
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY(prompter.shown.last().text.contains(u"holds no sound file"_s));
        QCOMPARE(opened.size(), 2);
    }

    // Reading a 12-track disc into an album of 10 songs gives the 10 new times and 2 new
    // songs, the disc's numbers in the form, and the MusicBrainz page to open; "Read" says
    // whether the identifier changed; a drive that cannot be read leaves the album as it was.
    void readingTheDisc()
    {
        test::Workspace &workspace = *m_workspace;
        test::ScriptedPrompter &prompter = *m_prompter;
        setCdDeviceFactory({});
        QList<int> seconds;
        for (int track = 1; track <= 12; ++track)
            seconds.append(60 + track);
        CdDevice::setSource(writeImage(workspace, seconds));
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Ten"_s);
        for (int track = 1; track <= 10; ++track)
            catalogue.addSong(track, 1, track);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);
        QVERIFY(!buttonOf(form, u"Open MusicBrainz Page"_s)->isEnabled());

        buttonOf(form, u"Read"_s)->click();
        QVERIFY(form->isReading() && !form->isEnabled());
        QTRY_VERIFY(!form->isReading());
        QVERIFY(form->isEnabled());
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.last().caption, u"Process complete"_s);
        QCOMPARE(prompter.shown.last().text, u"CD Identification updated."_s);
        const QString identifier = lineAfter(form, u"CD Serial #:"_s)->text();
        QVERIFY(identifier.startsWith(u"12"_s));
        buttonOf(form, u"Read"_s)->click();
        QTRY_COMPARE(prompter.shown.size(), 2);
        QCOMPARE(prompter.shown.last().text, u"CD Identification not updated."_s);

        form->songs()->readCdButton()->click();
        QTRY_VERIFY(!form->isReading());
        QCOMPARE(prompter.shown.size(), 2);
        QCOMPARE(catalogue.songs().records(), 12);
        for (int track = 1; track <= 12; ++track) {
            catalogue.songs().buffer().clear();
            catalogue.songs().buffer().setNumber(mus::AlbumID, 1);
            catalogue.songs().buffer().setNumber(mus::TrackNumber, track);
            QVERIFY(catalogue.songs().get(mus::KeyAlbumID));
            QCOMPARE(catalogue.songs().buffer().number(mus::Time), makeTime(0, 1, track));
        }
        QCOMPARE(form->songs()->model()->rowCount() > 0, true);
        QVERIFY(!lineAfter(form, u"ID:"_s)->text().isEmpty());
        QCOMPARE(form->findChild<QLabel *>(u"musicBrainzDiscId"_s)->text(),
                 form->musicBrainzDiscId());
        QVERIFY(!form->musicBrainzDiscId().isEmpty());
        QList<QUrl> opened;
        setDesktopOpener([&](const QUrl &url) {
            opened.append(url);
            return true;
        });
        buttonOf(form, u"Open MusicBrainz Page"_s)->click();
        QCOMPARE(opened, (QList<QUrl>{QUrl(u"https://musicbrainz.org/cdtoc/"_s +
                                           form->musicBrainzDiscId())}));

        // The drive goes away: the reader says so, the album keeps what the form shows.
        CdDevice::setSource(workspace.file(u"missing.cue"_s));
        lineAfter(form, u"CD Serial #:"_s)->setText(u"kept"_s);
        const int messages = prompter.shown.size();
        buttonOf(form, u"Load Song Information from CD Player"_s)->click();
        QTRY_VERIFY(!form->isReading());
        QVERIFY(prompter.shown.size() > messages);
        QCOMPARE(lineAfter(form, u"CD Serial #:"_s)->text(), u"kept"_s);
        QCOMPARE(catalogue.table(TableId::Albums).buffer().text(alb::CDIdentifier), u"kept"_s);
        buttonOf(form, u"&OK"_s)->click();
        settle();
        QVERIFY(catalogue.loadAlbum(1));
        QCOMPARE(catalogue.table(TableId::Albums).buffer().text(alb::CDIdentifier), u"kept"_s);
    }

    // A disc that stops answering part way through a reading: the user is told, and the
    // album's fields and its songs' times stay as they were.
    void discFailingPartWay()
    {
        test::ScriptedPrompter &prompter = *m_prompter;
        Catalogue &catalogue = *m_catalogue;
        auto script = std::make_shared<CdScript>();
        QList<qint32> starts;
        for (int track = 0; track < 12; ++track)
            starts.append(track * 75 * 60);
        script->toc = makeAudioToc(starts, 12 * 75 * 60);
        ScriptedCdDevice::install(script);
        setMciTracer([&](const QString &command, const QString &) {
            if (command == u"status cdaudio length track 2"_s)
                script->media = CdDevice::Media::DoorOpen;
        });
        catalogue.addAlbum(1, u"Ten"_s);
        for (int track = 1; track <= 10; ++track)
            catalogue.addSong(track, 1, track);
        QVERIFY(catalogue.loadAlbum(1));
        AlbumForm *form = openForm(catalogue, Request::Change);
        const QString identifier = lineAfter(form, u"CD Serial #:"_s)->text();
        form->readDisc();
        QTRY_VERIFY(!form->isReading());
        setMciTracer({});
        setCdDeviceFactory({});
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY(prompter.shown.first().text.contains(u"Nothing was changed"_s));
        QCOMPARE(lineAfter(form, u"CD Serial #:"_s)->text(), identifier);
        QCOMPARE(lineAfter(form, u"ID:"_s)->text(), QString());
        QCOMPARE(catalogue.songs().records(), 10);
        for (int id = 1; id <= 10; ++id)
            QCOMPARE(catalogue.song(id).number(mus::Time), 0);
        buttonOf(form, u"&OK"_s)->click();
        settle();
        QVERIFY(catalogue.loadAlbum(1));
        QCOMPARE(catalogue.table(TableId::Albums).buffer().text(alb::CDIdentifier), identifier);
    }

    // In the frame's work area every window the album form opens is a child window of its
    // own that goes when it ends, and closing the form gives back every table it opened.
    void windowsLeaveNothingBehind()
    {
        Catalogue &catalogue = *m_catalogue;
        catalogue.addAlbum(1, u"Framed"_s, u"F1"_s);
        for (int track = 1; track <= 3; ++track)
            catalogue.addSong(track, 1, track);
        Procedures::clear();
        MainFrame frame(catalogue.session);
        startFrame(frame);
        QMdiArea *area = frame.mdiArea();
        const auto counts = [&] { return catalogue.tableUsers(); };
        const QList<int> before = counts();

        QVERIFY(catalogue.loadAlbum(1));
        QPointer<AlbumForm> form = new AlbumForm(catalogue.session, Request::Change);
        QVERIFY(form->start());
        showInWorkArea(area, form);
        QCOMPARE(area->subWindowList().size(), 1);
        const auto children = [&] {
            settle();
            return area->subWindowList().size();
        };

        form->songs()->list()->highlightRow(0);
        form->songs()->change();
        QCOMPARE(children(), 2);
        QPointer<SongForm> songForm =
            qobject_cast<SongForm *>(area->subWindowList().last()->widget());
        QVERIFY(songForm);
        qobject_cast<QMdiSubWindow *>(songForm->parentWidget())->close(); // the close box
        QCOMPARE(children(), 1);
        QVERIFY(!songForm);
        QVERIFY(form->isEnabled());

        buttonOf(form, u"Edit All Son&gs"_s)->click();
        for (int song = 0; song < 3; ++song) {
            QCOMPARE(children(), 2);
            songForm = qobject_cast<SongForm *>(area->subWindowList().last()->widget());
            buttonOf(songForm, u"&OK"_s)->click();
        }
        QCOMPARE(children(), 1);

        m_prompter->answer(No);
        buttonOf(form, u"Re-assign Songs"_s)->click();
        QCOMPARE(children(), 2);
        auto *picker = qobject_cast<SelectFileNumber *>(area->subWindowList().last()->widget());
        QVERIFY(picker);
        buttonOf(picker, u"Cl&ose"_s)->click();
        QCOMPARE(children(), 1);

        QPointer<QMdiSubWindow> formFrame = qobject_cast<QMdiSubWindow *>(form->parentWidget());
        formFrame->close();
        QCOMPARE(children(), 0);
        QVERIFY(!form && !formFrame);
        QCOMPARE(counts(), before);
        frame.close();
        settle();
    }

    // The standard album entry opens the wizard, which waits behind the album form on a new
    // blank album (not a copy of the album left in the buffer) and refuses to close before
    // it; Cancel takes the form, the primed album and the wizard away together with their
    // instance number and tables; OK writes the album and the wizard goes as well.
    void albumWizardGoesWithItsForm()
    {
        Catalogue &catalogue = *m_catalogue;
        Table &albums = catalogue.table(TableId::Albums);
        Procedures::clear();
        Procedures::add(
            u"AlbumWizard"_s, Procedures::Placement::OwnWindow,
            [](Session &session, MainFrame &) -> QWidget * { return new AlbumWizard(session); });
        MainFrame frame(catalogue.session);
        startFrame(frame);
        QMdiArea *area = frame.mdiArea();
        const QList<int> usersBefore = catalogue.tableUsers();
        albums.buffer().setText(alb::Album, u"Greatest Hits"_s);
        QAction *entry = frame.menuAction(u"AlbumWizard"_s);
        QVERIFY(entry && entry->isEnabled());
        QCOMPARE(entry->text(), u"Add Album (S&tandard)"_s);

        for (const bool ok : {false, true}) {
            entry->trigger();
            settle();
            QCOMPARE(area->subWindowList().size(), 2);
            QPointer<AlbumWizard> wizard =
                qobject_cast<AlbumWizard *>(area->subWindowList().first()->widget());
            QVERIFY(wizard);
            QCOMPARE(wizard->windowTitle(), u"Album Wizard"_s);
            QVERIFY(!wizard->isEnabled());
            QPointer<AlbumForm> form = wizard->form();
            QVERIFY(form && form->isVisible());
            QCOMPARE(form->windowTitle(), u"Adding an Album Record"_s);
            QCOMPARE(lineAfter(form, u"A&lbum:"_s)->text(), QString());
            QCOMPARE(albums.records(), 1);
            QVERIFY(Instances::inUse(2));
            area->subWindowList().first()->close();
            settle();
            QCOMPARE(area->subWindowList().size(), 2);

            lineAfter(form, u"A&lbum:"_s)->setText(u"Wizard Made"_s);
            buttonOf(form, ok ? u"&OK"_s : u"Cancel"_s)->click();
            settle();
            QVERIFY(!form && !wizard);
            QVERIFY(area->subWindowList().isEmpty());
            QCOMPARE(albums.records(), ok ? 1 : 0);
            QVERIFY(!Instances::inUse(2));
            QCOMPARE(catalogue.tableUsers(), usersBefore);
        }
        QVERIFY(catalogue.loadAlbum(1));
        QCOMPARE(albums.buffer().text(alb::Album), u"Wizard Made"_s);
        QVERIFY(IniFile::sections(Paths::positionFile()).contains(u"AddAlbum"_s));
        QVERIFY(m_prompter->shown.isEmpty());
        frame.close();
        settle();
    }

private:
    std::unique_ptr<test::Workspace> m_workspace;
    std::unique_ptr<test::ScriptedPrompter> m_prompter;
    std::unique_ptr<Catalogue> m_catalogue;
};

QTEST_MAIN(TestAlbumForm)
#include "tst_albumform.moc"
