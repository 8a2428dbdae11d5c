#include "app/progresswindow.h"
#include "catalogue.h"
#include "exchange/delimited.h"
#include "exchange/exportwindow.h"
#include "exchange/filechooser.h"
#include "exchange/importwindow.h"
#include "exchange/picturedialog.h"
#include "exchange/songfields.h"
#include "exchange/songimport.h"
#include "platform/picture.h"
#include "platform/stddate.h"
#include "store/errors.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace sv;
using namespace sv::exchange;
using namespace Qt::StringLiterals;

namespace {

struct Song
{
    QString artist, title;
    qint64 track = 0;
    QString category;
};

class Catalogue : public test::Catalogue
{
public:
    Catalogue() : test::Catalogue({TableId::Songs, TableId::Categories}) {}
    ~Catalogue() { setFileChooser({}); }

    Table &songs() { return table(TableId::Songs); }
    Table &categories() { return table(TableId::Categories); }

    qint64 addCategory(const QString &name)
    {
        const qint64 id = categories().records() + 1;
        categories().buffer().clear();
        categories().buffer().setNumber(cat::CategoryID, id);
        categories().buffer().setText(cat::Category, name);
        if (!categories().add())
            return 0;
        return id;
    }

    // Adds `song` with the next ID.
    bool add(Record song)
    {
        song.setNumber(mus::ID, songs().records() + 1);
        songs().buffer() = song;
        return songs().add();
    }

    // Every song in ID order.
    QList<Record> all()
    {
        QList<Record> list;
        songs().set(mus::KeyID);
        while (songs().next())
            list.append(songs().buffer());
        return list;
    }

    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(this->file(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return QString();
        return file.fileName();
    }

    QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The file dialogs answer with these paths, one a dialog, and note their titles.
    void answerFiles(const QStringList &paths)
    {
        auto queue = std::make_shared<QStringList>(paths);
        setFileChooser([this, queue](QWidget *, const FileQuestion &question) {
            dialogs.append(question.title);
            return queue->isEmpty() ? QString() : queue->takeFirst();
        });
    }

    // Exports `fields` (all 30 when empty) through the window into `path`; true when the
    // window and its progress window went.
    bool exportTo(const QString &path, const QStringList &fields, bool header)
    {
        answerFiles({path});
        QPointer<ExportWindow> window = new ExportWindow(session);
        window->show();
        for (int row = 0; row < window->availableList()->count(); ++row) {
            QListWidgetItem *item = window->availableList()->item(row);
            item->setSelected(fields.isEmpty() || fields.contains(item->text()));
        }
        window->addMarked();
        // The output order is the order asked for.
        QTreeWidget *chosen = window->exportList();
        for (int i = 0; i < fields.size(); ++i) {
            const QList<QTreeWidgetItem *> found =
                chosen->findItems(fields.at(i), Qt::MatchExactly);
            if (found.size() != 1)
                return false;
            chosen->setCurrentItem(found.first());
            while (chosen->indexOfTopLevelItem(found.first()) > i)
                window->shift(-1);
        }
        window->headerBox()->setChecked(header);
        window->ok();
        return QTest::qWaitFor([&] { return !window; }, 20000);
    }

    // Opens the import of `path` through the file dialog; null when it did not open.
    ImportWindow *openImport(const QString &path)
    {
        answerFiles({path});
        ImportWindow *window = ImportWindow::choose(session, nullptr);
        if (window)
            window->show();
        return window;
    }

    // Runs the window's import to its end, answering the album question No after
    // `messages` messages.
    bool runImport(ImportWindow *window, int messages = 0)
    {
        QPointer<ImportWindow> guard = window;
        for (int i = 0; i < messages; ++i)
            prompter.answer(Ok);
        prompter.answer(No);
        window->ok();
        return QTest::qWaitFor([&] { return !guard; }, 20000);
    }

    test::ScriptedPrompter prompter;
    QStringList dialogs;
};

Record song(Table &songs, const QString &artist, const QString &title)
{
    Record record(songs.definition());
    record.setText(mus::Artist, artist);
    record.setText(mus::Title, title);
    return record;
}

QStringList texts(const QList<Field> &fields)
{
    QStringList list;
    for (const Field &field : fields)
        list.append(field.text);
    return list;
}

} // namespace

class TestExchange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }

    // Quoted fields keep commas and doubled quotes; unquoted ones run to the comma; a
    // trailing comma is one more, empty field, and a short line has fewer fields.
    void splitting()
    {
        QCOMPARE(texts(splitLine(u"\"O'Brien, Pat\",\"Say \"\"Hi\"\"\",1999"_s)),
                 QStringList({u"O'Brien, Pat"_s, u"Say \"Hi\""_s, u"1999"_s}));
        const QList<Field> fields = splitLine(u"\"a\",7"_s);
        QVERIFY(fields.at(0).quoted);
        QVERIFY(!fields.at(1).quoted);
        QCOMPARE(texts(splitLine(u"a,b,"_s)), QStringList({u"a"_s, u"b"_s, u""_s}));
        QCOMPARE(texts(splitLine(u"a,b"_s)), QStringList({u"a"_s, u"b"_s}));
        QCOMPARE(texts(splitLine(u"  "_s)), QStringList());
        QCOMPARE(texts(splitLine(u"\"open,ended"_s)), QStringList({u"open,ended"_s}));
        QCOMPARE(quoted(u"Say \"Hi\"  "_s), u"\"Say \"\"Hi\"\"\""_s);
    }

    // Records may span lines inside quotes; the file's encoding is found and shown; a
    // record that is too long, never closes its quote or holds binary bytes is reported
    // with its line.
    void reading()
    {
        Catalogue catalogue;
        DelimitedReader reader;
        QString line;
        const QString spanning =
            catalogue.write(u"spanning.csv"_s, "\"a\",\"two\r\nlines\"\r\n\"b\",\"c\"\r\n\"d\"");
        QVERIFY(reader.open(spanning));
        QCOMPARE(reader.encoding(), Encoding::Utf8);
        QCOMPARE(reader.next(line), DelimitedReader::Read::Record);
        QCOMPARE(texts(splitLine(line)), QStringList({u"a"_s, u"two\r\nlines"_s}));
        QCOMPARE(reader.next(line), DelimitedReader::Read::Record);
        QCOMPARE(reader.lineNumber(), 3);
        QCOMPARE(reader.next(line), DelimitedReader::Read::Record);
        QCOMPARE(line, u"\"d\""_s);
        QCOMPARE(reader.next(line), DelimitedReader::Read::End);
        QCOMPARE(reader.bytesRead(), reader.size());

        QVERIFY(reader.open(catalogue.write(u"bom.csv"_s, "\xEF\xBB\xBF\"Beyonc\xC3\xA9\"\n")));
        QCOMPARE(reader.encoding(), Encoding::Utf8WithBom);
        QCOMPARE(reader.next(line), DelimitedReader::Read::Record);
        QCOMPARE(line, u"\"Beyonc\u00e9\""_s);

        QVERIFY(reader.open(catalogue.write(u"ansi.csv"_s, "\"Caf\xE9 \x80\x93\"\n")));
        QCOMPARE(reader.encoding(), Encoding::Windows1252);
        QCOMPARE(reader.next(line), DelimitedReader::Read::Record);
        QCOMPARE(line, u"\"Caf\u00e9 \u20ac\u201c\""_s); // 0x93: a left double quote

        QVERIFY(reader.open(catalogue.write(
            u"long.csv"_s, "a\nb\n" + QByteArray(MaxLineLength + 1, 'x') + "\nc\n")));
        QCOMPARE(reader.next(line), DelimitedReader::Read::Record);
        QCOMPARE(reader.next(line), DelimitedReader::Read::Record);
        QCOMPARE(reader.next(line), DelimitedReader::Read::Error);
        QVERIFY2(reader.message().startsWith(u"Line 3 "_s), qPrintable(reader.message()));

        QVERIFY(reader.open(catalogue.write(u"open.csv"_s, "\"a\"\n\"b\",\"never\nclosed\n")));
        QCOMPARE(reader.next(line), DelimitedReader::Read::Record);
        QCOMPARE(reader.next(line), DelimitedReader::Read::Error);
        QVERIFY2(reader.message().startsWith(u"Line 2 "_s), qPrintable(reader.message()));

        QVERIFY(reader.open(catalogue.write(u"binary.csv"_s, QByteArray("ab\0cd", 5))));
        QCOMPARE(reader.next(line), DelimitedReader::Read::Error);
        QVERIFY(reader.message().contains(u"not text"_s));

        QVERIFY(!reader.open(catalogue.file(u"missing.csv"_s)));
        QCOMPARE(reader.errorNumber(), err::FileNotFound);
    }

    // The file is read a block at a time: wherever a block ends (inside a doubled quote,
    // between a closing quote and its comma, between CR and LF), every record reads whole,
    // a line break after a doubled quote staying inside its field. Files shift the same
    // records by one byte each across every block boundary.
    void readingAcrossBlocks()
    {
        Catalogue catalogue;
        const QByteArray record = "\"a\"\"\r\nb\",1\r\n";
        constexpr int Records = 40000;
        for (int shift = 0; shift < record.size(); ++shift) {
            const QByteArray bytes = QByteArray(shift, 'x') + '\n' + record.repeated(Records);
            DelimitedReader reader;
            QVERIFY(reader.open(catalogue.write(u"blocks.csv"_s, bytes)));
            QString line;
            QCOMPARE(reader.next(line), DelimitedReader::Read::Record);
            int count = 0;
            while (reader.next(line) == DelimitedReader::Read::Record) {
                ++count;
                if (line != u"\"a\"\"\r\nb\",1"_s || reader.lineNumber() != 2 * count)
                    QFAIL(qPrintable(u"shift %1, record %2 read as %3 on line %4"_s.arg(shift)
                                         .arg(count)
                                         .arg(line)
                                         .arg(reader.lineNumber())));
            }
            QCOMPARE(count, Records);
            QCOMPARE(reader.bytesRead(), qint64(bytes.size()));
            QCOMPARE(texts(splitLine(line)), QStringList({u"a\"\r\nb"_s, u"1"_s}));
        }
    }

    // The line format: quoted text with quotes doubled, plain numbers, the category's name
    // (empty without one) and its number (0), dates through their picture; the header
    // names the fields; the window keeps one entry per field and needs one to export.
    void exportFormat()
    {
        Catalogue catalogue;
        const qint64 rock = catalogue.addCategory(u"Rock"_s);
        Record first = song(catalogue.songs(), u"O'Brien"_s, u"Say \"Hi\""_s);
        first.setNumber(mus::TrackNumber, 7);
        first.setNumber(mus::CategoryID, rock);
        first.setNumber(mus::ReleaseDate, dateFromQDate(QDate(1999, 12, 31)));
        QVERIFY(catalogue.add(first));
        QVERIFY(catalogue.add(song(catalogue.songs(), u"Zappa"_s, u"Plain"_s)));

        const QString path = catalogue.file(u"out.csv"_s);
        QVERIFY(catalogue.exportTo(path,
                                   {u"MUS:Artist"_s, u"MUS:TrackNumber"_s, u"MUS:Title"_s,
                                    u"CAT:Category"_s, u"MUS:CategoryID"_s, u"MUS:ReleaseDate"_s},
                                   true));
        QCOMPARE(catalogue.dialogs, QStringList({u"Export File"_s}));
        QCOMPARE(catalogue.read(path),
                 QByteArray("\"MUS:Artist\",\"MUS:TrackNumber\",\"MUS:Title\",\"CAT:Category\","
                            "\"MUS:CategoryID\",\"MUS:ReleaseDate\"\r\n"
                            "\"O'Brien\",7,\"Say \"\"Hi\"\"\",\"Rock\",1,\"12/31/1999\"\r\n"
                            "\"Zappa\",0,\"Plain\",\"\",0,\"\"\r\n"));

        ExportWindow window(catalogue.session);
        window.availableList()->item(0)->setSelected(true);
        window.addMarked();
        window.addMarked();
        QCOMPARE(window.exportList()->topLevelItemCount(), 1);
        QCOMPARE(window.typeDisplay()->text(), u"Alpha-numeric"_s);
        window.removeMarked();
        window.exportList()->selectAll();
        window.removeMarked();
        window.ok();
        QCOMPARE(catalogue.prompter.captions(), QStringList({u"No Fields Selected for Export!"_s}));
        QCOMPARE(catalogue.dialogs.size(), 1); // no file asked for without fields
    }

    // The bytes of a line as written: UTF-8 of every width (a character outside the basic
    // plane among them), trailing blanks dropped but leading ones kept, a picture that
    // quotes a number or leaves a text unquoted, a date and a time through their pictures.
    void exportEncoding()
    {
        Catalogue catalogue;
        const TableDef &def = catalogue.songs().definition();
        Record song(def);
        song.setText(mus::Artist, u" Sigur Rós \"Ágætis\" € 🎵  "_s);
        song.setText(mus::Title, u"  42 "_s);
        song.setNumber(mus::TrackNumber, 7);
        song.setNumber(mus::BeatsPerMinute, -12);
        song.setNumber(mus::ReleaseDate, dateFromQDate(QDate(2001, 2, 3)));
        song.setNumber(mus::Time, 100 * (3600 + 2 * 60 + 5) + 1);
        song.setMemo(mus::Notes, u"a\r\nb"_s);
        const ExportLineWriter writer(def, {{u"MUS:Artist"_s, u"@s50"_s},
                                            {u"MUS:Title"_s, u"@n3"_s},
                                            {u"MUS:TrackNumber"_s, u"@s3"_s},
                                            {u"MUS:BeatsPerMinute"_s, u"@n_4b"_s},
                                            {u"MUS:ReleaseDate"_s, u"@d2"_s},
                                            {u"MUS:Time"_s, u"@t4"_s},
                                            {u"MUS:Notes"_s, u"@s255"_s},
                                            {u"CAT:Category"_s, u"@s30"_s}});
        QByteArray bytes = "before,";
        writer.append(song, u"Électro"_s, bytes);
        QCOMPARE(bytes, QByteArray("before,\" Sigur R\xC3\xB3s \"\"\xC3\x81g\xC3\xA6tis\"\" "
                                   "\xE2\x82\xAC \xF0\x9F\x8E\xB5\",42,\"7\",-12,\"02/03/2001\","
                                   "\"01:02:05\",\"a\r\nb\",\"\xC3\x89lectro\""));
        QCOMPARE(writer.line(song, u"Électro"_s).toUtf8(), bytes.mid(7));
    }

    // An empty song table gives the header line alone, or an empty file.
    void exportEmptyTable()
    {
        Catalogue catalogue;
        const QString path = catalogue.file(u"empty.csv"_s);
        QVERIFY(catalogue.exportTo(path, {u"MUS:Artist"_s}, true));
        QCOMPARE(catalogue.read(path), QByteArray("\"MUS:Artist\"\r\n"));
        QVERIFY(catalogue.exportTo(path, {u"MUS:Artist"_s}, false));
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(catalogue.read(path), QByteArray());
    }

    // A disk that takes nothing: Retry asks again, Abort ends the export with the message
    // naming the file, and the window and progress window go.
    void exportToFullDisk()
    {
        if (!QFileInfo::exists(u"/dev/full"_s))
            QSKIP("no /dev/full here");
        Catalogue catalogue;
        QVERIFY(catalogue.add(song(catalogue.songs(), u"A"_s, u"B"_s)));
        catalogue.prompter.answer(Retry);
        catalogue.prompter.answer(Abort);
        QVERIFY(catalogue.exportTo(u"/dev/full"_s, {u"MUS:Artist"_s}, false));
        QCOMPARE(catalogue.prompter.captions(),
                 QStringList({u"Cannot ADD to /dev/full"_s, u"Cannot ADD to /dev/full"_s}));
        QVERIFY(catalogue.prompter.shown.first().buttons & Abort);
        QVERIFY(catalogue.prompter.shown.first().text.startsWith(u"Error #"_s));
        QCOMPARE(catalogue.session.files().users(catalogue.songs()), 1); // the fixture's own
    }

    // Picture entry takes only pictures that begin with "@" and can be read.
    void pictureEntry()
    {
        Catalogue catalogue;
        QString result = u"unset"_s;
        QPointer<PictureDialog> dialog =
            PictureDialog::ask(nullptr, u"@S1000"_s, [&](const QString &p) { result = p; });
        dialog->pictureEdit()->setText(u"d2"_s);
        dialog->accept();
        QCOMPARE(catalogue.prompter.shown.last().caption, u"Invalid Picture!"_s);
        QCOMPARE(catalogue.prompter.shown.last().text, u"Pictures must begin with \"@\""_s);
        QVERIFY(dialog && dialog->isVisible());
        dialog->pictureEdit()->setText(u"@d2"_s);
        dialog->accept();
        QCOMPARE(result, u"@d2"_s);
        dialog = PictureDialog::ask(nullptr, u"@d2"_s, [&](const QString &p) { result = p; });
        dialog->reject();
        QCOMPARE(result, QString());
    }

    // A header line and Auto: the named fields are assigned and the header is stripped;
    // the songs are numbered in file order; a short line keeps the previous line's values;
    // a category named on several lines is added once; D is widened to its media name.
    void importWithHeader()
    {
        Catalogue catalogue;
        const QString path = catalogue.write(
            u"in.csv"_s,
            "\"MUS:Title\",\"MUS:Artist\",\"MUS:CategoryID\",\"MUS:Media\",\"MUS:TrackNumber\"\r\n"
            "\"One\",\"Abba\",\"Pop\",\"D\",1\r\n"
            "\"Two\",\"Bee Gees\",\"Disco\",\"C\",2\r\n"
            "\"Three\",\"Cher\"\r\n"
            "\"Four\",\"Dido\",\"pop\",\"Vinyl\",4\r\n");
        ImportWindow *window = catalogue.openImport(path);
        QVERIFY(window);
        QCOMPARE(window->columnList()->topLevelItemCount(), 5);
        QCOMPARE(window->columnList()->topLevelItem(0)->text(0), u"Field_1"_s);
        QCOMPARE(window->columnList()->topLevelItem(0)->text(1), u"Alpha-num"_s);
        QCOMPARE(window->columnList()->topLevelItem(4)->text(1), u"Numeric"_s);
        QVERIFY(window->encodingLabel()->text().contains(u"UTF-8"_s));
        window->autoAssign();
        QVERIFY(window->stripBox()->isChecked());
        QCOMPARE(window->targetList()->topLevelItem(0)->text(2), u"Field_2"_s); // Artist
        QCOMPARE(window->targetList()->topLevelItem(1)->text(1), u"="_s);
        QVERIFY(catalogue.runImport(window));

        const QList<Record> songs = catalogue.all();
        QCOMPARE(songs.size(), 4);
        QStringList titles;
        for (const Record &s : songs)
            titles.append(QString::number(s.number(mus::ID)) + s.text(mus::Title));
        QCOMPARE(titles, QStringList({u"1One"_s, u"2Two"_s, u"3Three"_s, u"4Four"_s}));
        QCOMPARE(songs.at(0).text(mus::Media), u"Cassette (DBX)"_s);
        QCOMPARE(songs.at(1).text(mus::Media), u"Cassette (Dolby-C)"_s);
        QCOMPARE(songs.at(2).text(mus::Media), u"Cassette (Dolby-C)"_s);
        QCOMPARE(songs.at(2).number(mus::TrackNumber), 2);
        QCOMPARE(songs.at(2).number(mus::CategoryID), songs.at(1).number(mus::CategoryID));
        QCOMPARE(songs.at(3).number(mus::CategoryID), songs.at(0).number(mus::CategoryID));
        QCOMPARE(catalogue.categories().records(), 2);
        QCOMPARE(songs.at(0).number(mus::CategoryID), 2); // the first in an empty table
        QCOMPARE(catalogue.prompter.captions(), QStringList({u"Import Complete"_s}));
    }

    // Bad files: an empty one asks for another; letters in a number and a date in another
    // form stop the import naming the line, and the lines before stay.
    void importBadInput()
    {
        Catalogue catalogue;
        const QString empty = catalogue.write(u"empty.csv"_s, "");
        const QString bad = catalogue.write(
            u"bad.csv"_s,
            "\"A\",1,\"01/02/2000\"\n\"B\",2,\"01/03/2000\"\n\"C\",3x,\"\"\n\"D\",4,\"\"\n");
        catalogue.answerFiles({empty, bad});
        QPointer<ImportWindow> window = ImportWindow::choose(catalogue.session, nullptr);
        QVERIFY(window);
        QCOMPARE(catalogue.prompter.captions(), QStringList({u"Attention!"_s}));
        QCOMPARE(catalogue.prompter.shown.first().text,
                 u"That file is empty!  Please pick another file."_s);
        window->ok();
        QCOMPARE(catalogue.prompter.captions().last(), u"No Fields Selected for Import!"_s);
        window->import().assign(0, 0); // Artist
        window->import().assign(9, 1); // TrackNumber
        window->import().columns()[2].picture = u"@d2"_s;
        window->import().assign(6, 2); // ReleaseDate
        QVERIFY(catalogue.runImport(window, 1));
        const Message stop = catalogue.prompter.shown.at(2);
        QCOMPARE(stop.caption, u"Cannot IMPORT "_s + bad);
        QVERIFY2(stop.text.startsWith(u"Line 3, Field_2: \"3x\" is not a number"_s),
                 qPrintable(stop.text));
        QList<Record> songs = catalogue.all();
        QCOMPARE(songs.size(), 2);
        QCOMPARE(songs.at(1).number(mus::ReleaseDate), dateFromQDate(QDate(2000, 1, 3)));

        const QString dates = catalogue.write(u"dates.csv"_s, "\"E\",\"2000-13-45\"\n");
        window = catalogue.openImport(dates);
        QVERIFY(window);
        window->import().columns()[1].picture = u"@d2"_s;
        window->import().assign(0, 0);
        window->import().assign(6, 1);
        QVERIFY(catalogue.runImport(window, 1));
        const Message date = catalogue.prompter.shown.at(catalogue.prompter.shown.size() - 2);
        QVERIFY2(date.text.startsWith(u"Line 1, Field_2: \"2000-13-45\" cannot be read"_s),
                 qPrintable(date.text));
        QCOMPARE(catalogue.prompter.shown.last().caption, u"Import Complete"_s);
        QCOMPARE(catalogue.all().size(), 2);

        const QString open = catalogue.write(u"open.csv"_s, "\"F\"\n\"G\n");
        window = catalogue.openImport(open);
        QVERIFY(window);
        window->import().assign(0, 0);
        QVERIFY(catalogue.runImport(window, 1));
        QCOMPARE(catalogue.all().size(), 3);
        bool named = false;
        for (const Message &message : catalogue.prompter.shown)
            named = named || message.text.startsWith(u"Line 2 has a quoted field"_s);
        QVERIFY(named);
    }

    // Cancel after some lines keeps them and asks nothing about albums.
    void importCancel()
    {
        Catalogue catalogue;
        QByteArray bytes;
        for (int i = 0; i < 5000; ++i)
            bytes += "\"Artist " + QByteArray::number(i) + "\"\n";
        ImportWindow *window = catalogue.openImport(catalogue.write(u"many.csv"_s, bytes));
        QVERIFY(window);
        QPointer<ImportWindow> guard = window;
        window->import().assign(0, 0);
        window->ok();
        QVERIFY(window->progress());
        QTRY_VERIFY(window->progress()->recordsDone() > 0);
        window->progress()->cancel();
        QTRY_VERIFY(!guard);
        const qint64 added = catalogue.songs().records();
        QVERIFY(added > 0 && added < 5000);
        QVERIFY(catalogue.prompter.shown.isEmpty());
        QCOMPARE(catalogue.session.files().users(catalogue.songs()), 1);
    }

    // Every field of varied songs (accents, quotes, commas, line breaks) comes back the
    // same after an export with the header and an import with Auto and the same pictures.
    void roundTrip()
    {
        Catalogue catalogue;
        const qint64 jazz = catalogue.addCategory(u"Jazz, \"cool\""_s);
        const TableDef &def = catalogue.songs().definition();
        QList<Record> originals;
        for (int i = 0; i < 40; ++i) {
            Record s(def);
            for (int f = 0; f < def.fields.size(); ++f) {
                const FieldDef &field = def.fields.at(f);
                if (f == mus::ID || f == mus::AlbumID || f == mus::CategoryID)
                    continue;
                if (field.type == FieldType::String)
                    s.setText(f,
                              u"Zoë \"%1\", l'été, ½ %2"_s.arg(i).arg(field.name).left(field.size));
                else
                    s.setNumber(f, (i * 7 + f) % 200 + 1);
            }
            s.setText(mus::Media, u"CD"_s);
            s.setNumber(mus::ReleaseDate, dateFromQDate(QDate(1960 + i, 1 + i % 12, 1 + i % 28)));
            s.setNumber(mus::LastPlayed, dateFromQDate(QDate(1990 + i % 30, 2, 3)));
            s.setNumber(mus::Time, (i * 61 + 5) * 100 + 1); // whole seconds
            s.setNumber(mus::CategoryID, i % 3 ? jazz : 0);
            s.setMemo(mus::Recording, u"Line one\r\nline \"two\", 3"_s);
            s.setMemo(mus::PerformanceNotes, u"é"_s.repeated(i));
            s.setMemo(mus::Notes, u"x,\n"_s.repeated(i * 10));
            originals.append(s);
            QVERIFY(catalogue.add(s));
        }
        originals = catalogue.all();
        const QString path = catalogue.file(u"all.csv"_s);
        QVERIFY(catalogue.exportTo(path, {}, true));

        Catalogue other;
        ImportWindow *window = other.openImport(path);
        QVERIFY(window);
        window->autoAssign();
        QList<ImportColumn> &columns = window->import().columns();
        for (const ExportField &field : availableExportFields()) {
            if (pictureKind(field.picture) != PictureKind::Other)
                continue;
            for (ImportColumn &column : columns) {
                if (column.value == field.name)
                    column.picture = field.picture;
            }
        }
        for (int t = 0; t < window->import().assignments().size(); ++t)
            QVERIFY2(window->import().assignments().at(t) >= 0, qPrintable(importTargets().at(t)));
        QVERIFY(other.runImport(window));

        const QList<Record> copies = other.all();
        QCOMPARE(copies.size(), originals.size());
        QHash<QString, Record> byTitle;
        for (const Record &copy : copies)
            byTitle.insert(copy.text(mus::Title), copy);
        for (const Record &original : originals) {
            Record copy = byTitle.value(original.text(mus::Title), Record(def));
            QCOMPARE(copy.text(mus::Title), original.text(mus::Title));
            for (int f = 0; f < def.fields.size(); ++f) {
                if (f == mus::ID || f == mus::CategoryID)
                    continue;
                QCOMPARE(copy.value(f), original.value(f));
            }
            for (int m = 0; m < def.memos.size(); ++m)
                QCOMPARE(copy.memo(m), original.memo(m));
            QCOMPARE(copy.number(mus::CategoryID) != 0, original.number(mus::CategoryID) != 0);
        }
        other.categories().set(cat::KeyCategory);
        QVERIFY(other.categories().next());
        QCOMPARE(other.categories().buffer().text(cat::Category), u"Jazz, \"cool\""_s);
        QVERIFY(!other.categories().next());
    }

    // A spreadsheet's CSV: a byte-order mark, unquoted cells, quotes only where needed
    // (a comma, a line break), empty cells at the end of a row.
    void spreadsheetFile()
    {
        Catalogue catalogue;
        const QString path = catalogue.write(
            u"sheet.csv"_s,
            "\xEF\xBB\xBF"
            "Artist,Title,Track,Notes\r\n"
            "Sigur R\xC3\xB3s,Hopp\xC3\xADpolla,4,\"quiet, then \"\"loud\"\"\r\nending\"\r\n"
            "Air,La femme d'argent,1,\r\n"
            "\"Earth, Wind & Fire\",September,,\r\n");
        ImportWindow *window = catalogue.openImport(path);
        QVERIFY(window);
        QVERIFY(window->encodingLabel()->text().contains(u"byte-order mark"_s));
        window->previewNext();
        QCOMPARE(window->recordNumber()->text(), u"2"_s);
        QVERIFY(!window->button(u"A&uto"_s)->isEnabled());
        window->import().assign(0, 0);
        window->import().assign(1, 1);
        window->import().assign(9, 2);
        window->import().assign(importTargets().indexOf(u"MUS:Notes"_s), 3);
        window->stripBox()->setChecked(true);
        QVERIFY(catalogue.runImport(window));
        const QList<Record> songs = catalogue.all();
        QCOMPARE(songs.size(), 3);
        QCOMPARE(songs.at(0).text(mus::Artist), u"Sigur Rós"_s);
        QCOMPARE(songs.at(0).text(mus::Title), u"Hoppípolla"_s);
        QCOMPARE(songs.at(0).number(mus::TrackNumber), 4);
        QCOMPARE(songs.at(0).memo(mus::Notes), u"quiet, then \"loud\"\r\nending"_s);
        QCOMPARE(songs.at(1).memo(mus::Notes), QString()); // an empty last cell is empty
        QCOMPARE(songs.at(2).text(mus::Artist), u"Earth, Wind & Fire"_s);
        QCOMPARE(songs.at(2).number(mus::TrackNumber), 0);
    }
};

QTEST_MAIN(TestExchange)
#include "tst_exchange.moc"
