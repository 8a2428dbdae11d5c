#include "platform/inifile.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QList<QByteArray> contentLines(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    QList<QByteArray> lines = bytes.split('\n');
    if (bytes.endsWith('\n'))
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

bool isSubsequence(const QList<QByteArray> &part, const QList<QByteArray> &whole)
{
    qsizetype at = 0;
    for (const QByteArray &line : whole) {
        if (at < part.size() && part.at(at) == line)
            ++at;
    }
    return at == part.size();
}

// Updating an entry changes one line; adding one inserts at most a blank, a header and
// the entry. Every other line must come through.
bool onlyTheEditChanged(const QByteArray &before, const QByteArray &after, bool entryExisted)
{
    const QList<QByteArray> oldLines = contentLines(before);
    const QList<QByteArray> newLines = contentLines(after);
    if (!entryExisted) {
        return newLines.size() > oldLines.size() && newLines.size() <= oldLines.size() + 3 &&
               isSubsequence(oldLines, newLines);
    }
    if (newLines.size() != oldLines.size())
        return false;
    int differing = 0;
    for (qsizetype i = 0; i < oldLines.size(); ++i)
        differing += oldLines.at(i) != newLines.at(i);
    return differing <= 1;
}

QString randomCase(QRandomGenerator &random, const QString &text)
{
    QString result;
    for (const QChar c : text)
        result += random.bounded(2) ? c.toUpper() : c.toLower();
    return result;
}

QByteArray randomBytes(QRandomGenerator &random, int maxLength)
{
    QByteArray bytes;
    for (int i = random.bounded(maxLength); i > 0; --i) {
        const char byte = char(random.bounded(256));
        bytes += byte == '\n' ? '\0' : byte;
    }
    return bytes;
}

QString randomValue(QRandomGenerator &random)
{
    const QString alphabet = u"aZ7 \t\"'~|@()=;#[]\\é’日"_s;
    QString value;
    for (int i = random.bounded(12); i > 0; --i)
        value += alphabet.at(random.bounded(alphabet.size()));
    return value.trimmed();
}

QByteArray randomFile(QRandomGenerator &random, const QStringList &names)
{
    QByteArray bytes = random.bounded(8) == 0 ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    for (int line = random.bounded(30); line > 0; --line) {
        const QByteArray name = randomCase(random, names.at(random.bounded(names.size()))).toUtf8();
        switch (random.bounded(5)) {
        case 0:
            bytes += " [" + name + "] ";
            break;
        case 1:
            bytes += name + " = " + randomBytes(random, 20);
            break;
        case 2:
            bytes += ";" + name + "=comment";
            break;
        case 3:
            break;
        default:
            bytes += randomBytes(random, 40);
        }
        bytes += random.bounded(2) ? "\r\n" : "\n";
    }
    return random.bounded(4) == 0 ? bytes + randomBytes(random, 10) : bytes;
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private:
    test::Workspace m_workspace;
    QString m_path = m_workspace.file(u"VUVur98.INI"_s);

private Q_SLOTS:
    void cleanup() { QFile::remove(m_path); }

    // Users edit these files by hand, so "[settings]" must still be the program's Settings.
    void lookupIgnoresCaseAndSurroundingBlanks()
    {
        writeAll(m_path, "[Settings]\n  UDKPrompt  =  1  \n[Überblick]\nÄrger=ja\n");
        QCOMPARE(IniFile::get(u"settings"_s, u"udkprompt"_s, u"-"_s, m_path), u"1"_s);
        QCOMPARE(IniFile::get(u" SETTINGS "_s, u"UDKPROMPT"_s, u"-"_s, m_path), u"1"_s);
        QCOMPARE(IniFile::get(u"ÜBERBLICK"_s, u"ärger"_s, u"-"_s, m_path), u"ja"_s);
    }

    // Files carried over from Windows hold ANSI text, which must not turn into '?' marks.
    void legacyAnsiTextIsDecoded()
    {
        writeAll(m_path, "[S]\nArtist=Caf\xe9 \x92n\x92 \x80\n");
        QCOMPARE(IniFile::get(u"S"_s, u"Artist"_s, {}, m_path), u"Café ’n’ €"_s);
    }

    // A blank entry is a cleared setting, not a missing one.
    void missingGivesDefaultButBlankGivesEmpty()
    {
        const QString missingFile = m_workspace.file(u"none.ini"_s);
        QCOMPARE(IniFile::get(u"S"_s, u"k"_s, u"def"_s, missingFile), u"def"_s);
        writeAll(m_path, "Loose=1\n[S]\nBlank=\nSpaces=   \nNum = 42 \nNeg=-7\nText=abc\n"
                         "Mixed=12abc\n");
        QCOMPARE(IniFile::get(u"Other"_s, u"Blank"_s, u"def"_s, m_path), u"def"_s);
        QCOMPARE(IniFile::get(u"S"_s, u"Loose"_s, u"def"_s, m_path), u"def"_s);
        QCOMPARE(IniFile::get(u"S"_s, u"Blank"_s, u"def"_s, m_path), QString());
        QCOMPARE(IniFile::get(u"S"_s, u"Spaces"_s, u"def"_s, m_path), QString());
        QCOMPARE(IniFile::getNumber(u"S"_s, u"Blank"_s, 1, m_path), qint64(0));
        QCOMPARE(IniFile::getNumber(u"S"_s, u"Num"_s, 1, m_path), qint64(42));
        QCOMPARE(IniFile::getNumber(u"S"_s, u"Neg"_s, 1, m_path), qint64(-7));
        QCOMPARE(IniFile::getNumber(u"S"_s, u"Text"_s, 5, m_path), qint64(5));
        QCOMPARE(IniFile::getNumber(u"S"_s, u"Mixed"_s, 5, m_path), qint64(5));
        QCOMPARE(IniFile::getNumber(u"S"_s, u"Absent"_s, 5, m_path), qint64(5));
    }

    // Browse and print settings use keys full of punctuation; updates keep their spelling.
    void punctuatedKeysReadAndUpdateInPlace()
    {
        writeAll(m_path,
                 "[Browse]\r\nSRCF?Browse=1\r\nSRCFOriginal?Browse:1=2\r\nGLO:Delimiter=,\r\n"
                 "XploreFormatString-?Browse:1=~A~\r\nAdd Mode = 2\r\nKey#1;x.y=3\r\n");
        QCOMPARE(IniFile::get(u"browse"_s, u"srcforiginal?browse:1"_s, {}, m_path), u"2"_s);
        QCOMPARE(IniFile::get(u"Browse"_s, u"GLO:Delimiter"_s, {}, m_path), u","_s);
        QCOMPARE(IniFile::get(u"Browse"_s, u"xploreformatstring-?browse:1"_s, {}, m_path),
                 u"~A~"_s);
        QCOMPARE(IniFile::get(u"Browse"_s, u"Key#1;x.y"_s, {}, m_path), u"3"_s);
        QVERIFY(IniFile::put(u"browse"_s, u"add mode"_s, u"3"_s, m_path));
        QVERIFY(IniFile::put(u"BROWSE"_s, u"srcf?browse"_s, u"0"_s, m_path));
        QCOMPARE(readAll(m_path),
                 "[Browse]\r\nSRCF?Browse=0\r\nSRCFOriginal?Browse:1=2\r\nGLO:Delimiter=,\r\n"
                 "XploreFormatString-?Browse:1=~A~\r\nAdd Mode = 3\r\nKey#1;x.y=3\r\n");
    }

    // Values are stored verbatim, so quotes and list-format symbols come back unchanged.
    void valuesRoundTripExactly()
    {
        const QStringList values = {u"7\" Single"_s,
                                    u"\"quoted\""_s,
                                    u"'single'"_s,
                                    u"~Artist~|@Title@ (\"Mix\") ~"_s,
                                    u"a=b=c"_s,
                                    u"; not a comment # either [x]"_s,
                                    u"\\\\server\\share\\"_s,
                                    u"Café — ’n’ 日本"_s,
                                    u"\uFEFFMarked"_s,
                                    u"\uFEFF"_s,
                                    u"D(06)L(2)~Title~"_s,
                                    u"D(06)"_s,
                                    QString()};
        writeAll(m_path, "[S]\nbefore=1\n");
        for (const QString &value : values) {
            QVERIFY(IniFile::put(u"S"_s, u"Format"_s, value, m_path));
            QCOMPARE(IniFile::get(u"S"_s, u"Format"_s, u"def"_s, m_path), value);
        }
        QVERIFY(IniFile::putNumber(u"S"_s, u"Count"_s, -12, m_path));
        QCOMPARE(IniFile::getNumber(u"S"_s, u"Count"_s, 0, m_path), qint64(-12));
        QCOMPARE(IniFile::get(u"S"_s, u"before"_s, {}, m_path), u"1"_s);
    }

    void putKeepsEveryOtherByte_data()
    {
        QTest::addColumn<QByteArray>("lineBreak");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CRLF") << QByteArray("\r\n");
    }

    // Comments, junk, order and line ends must survive; new entries land in their section.
    void putKeepsEveryOtherByte()
    {
        QFETCH(QByteArray, lineBreak);
        const QByteArray head(
            "; written by hand\n# another comment\nloose line before any section\n"
            "\n[Settings]\nzeta=1\n");
        const QByteArray junk =
            QByteArrayLiteral("junk without equals\n\x01\xff\xfe binary\0junk\n");
        QByteArray original = head + "Alpha = old value  \n" + junk +
                              "\n[Other]\nalpha=untouched\nlast=no line break";
        writeAll(m_path, original.replace("\n", lineBreak));
        QVERIFY(IniFile::put(u"SETTINGS"_s, u"ALPHA"_s, u"new"_s, m_path));
        QVERIFY(IniFile::put(u"settings"_s, u"NewKey"_s, u"x"_s, m_path));
        QVERIFY(IniFile::put(u"Other"_s, u"Added"_s, u"y"_s, m_path));
        QVERIFY(IniFile::put(u"Fresh"_s, u"k"_s, u"v"_s, m_path));
        QByteArray expected = head + "Alpha = new\n" + junk +
                              "NewKey=x\n\n[Other]\nalpha=untouched\nlast=no line break\n"
                              "Added=y\n\n[Fresh]\nk=v\n";
        QCOMPARE(readAll(m_path), expected.replace("\n", lineBreak));
    }

    // The first run has neither the file nor, when moved by an option, its folder.
    void missingFileAndFolderAreCreated()
    {
        const QString path = m_workspace.file(u"new/sub/POSITION.INI"_s);
        QVERIFY(IniFile::put(u"Pos"_s, u"Main"_s, u"1,2"_s, path));
        QCOMPARE(readAll(path), "[Pos]\nMain=1,2\n");

        writeAll(m_path, "\xEF\xBB\xBF[S]\r\nk=1\r\n");
        QCOMPARE(IniFile::get(u"s"_s, u"K"_s, {}, m_path), u"1"_s);
        QVERIFY(IniFile::put(u"S"_s, u"k"_s, u"2"_s, m_path));
        QCOMPARE(readAll(m_path), "\xEF\xBB\xBF[S]\r\nk=2\r\n");
    }

    // A line break would split the entry and plant whatever follows as a new line.
    void unstorableInputIsRefusedAndFileUntouched()
    {
        const QByteArray original("[S]\nk=1\n");
        writeAll(m_path, original);
        const QList<QStringList> refused = {
            {u"S"_s, u"k"_s, u"a\nInjected=1"_s}, {u"S"_s, u"k"_s, u"a\rb"_s},
            {u"S"_s, u"a=b"_s, u"1"_s},           {u"S"_s, u";k"_s, u"1"_s},
            {u"S"_s, u"[k]"_s, u"1"_s},           {u"S"_s, u"  "_s, u"1"_s},
            {QString(), u"k"_s, u"1"_s},          {u"S\n[T]"_s, u"k"_s, u"1"_s}};
        for (const QStringList &put : refused)
            QVERIFY(!IniFile::put(put.at(0), put.at(1), put.at(2), m_path));
        QCOMPARE(readAll(m_path), original);
    }

    // A write that cannot happen must say so and must not damage what is there.
    void unwritableTargetsFailAndFileStaysUnchanged()
    {
        const QString directory = m_workspace.file(u"folder.ini"_s);
        QVERIFY(QDir().mkpath(directory));
        QVERIFY(!IniFile::put(u"S"_s, u"k"_s, u"1"_s, directory));
        QCOMPARE(IniFile::get(u"S"_s, u"k"_s, u"def"_s, directory), u"def"_s);
        const QByteArray original("[S]\nk=1\n");
        writeAll(m_path, original);
        QVERIFY(!IniFile::put(u"S"_s, u"k"_s, u"1"_s, m_path + u"/below-a-file.ini"_s));

        QFile::setPermissions(m_path, QFile::ReadOwner);
        QFile probe(m_path);
        const bool privileged = probe.open(QIODevice::Append);
        probe.close();
        if (!privileged) {
            QVERIFY(!IniFile::put(u"S"_s, u"k"_s, u"2"_s, m_path));
            QCOMPARE(readAll(m_path), original);
        }
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
        if (privileged)
            QSKIP("running with privileges that ignore file permissions");
    }

    // Damaged files must neither crash the reader nor lose their damaged lines on a write.
    void malformedAndHugeLinesSurviveWrites()
    {
        QRandomGenerator random(7);
        QByteArray huge(1 << 20, 'x');
        for (int i = 0; i < 1000; ++i)
            huge[1 + random.bounded(huge.size() - 1)] = char(random.bounded(256));
        huge.replace('\n', '\0');
        const QByteArray head =
            "[A]\n" + huge + QByteArrayLiteral("\n[unclosed\n\0\0=\n=no key\nkey=1\n");
        writeAll(m_path, head + "[B]\nb=2");
        QCOMPARE(IniFile::get(u"A"_s, u"key"_s, {}, m_path), u"1"_s);
        QVERIFY(IniFile::put(u"A"_s, u"key"_s, u"2"_s, m_path));
        QVERIFY(IniFile::put(u"B"_s, u"c"_s, u"3"_s, m_path));
        QByteArray expected = head + "[B]\nb=2\nc=3\n";
        expected.replace("key=1", "key=2");
        QCOMPARE(readAll(m_path), expected);
    }

    // Reads and writes must agree on which of two duplicates is the setting.
    void duplicatesReadAndWriteTheFirst()
    {
        writeAll(m_path, "[A]\nk=1\nK=2\n[a]\nk=3\nother=4\n");
        QCOMPARE(IniFile::get(u"a"_s, u"k"_s, {}, m_path), u"1"_s);
        QCOMPARE(IniFile::get(u"a"_s, u"other"_s, u"def"_s, m_path), u"def"_s);
        QVERIFY(IniFile::put(u"A"_s, u"k"_s, u"9"_s, m_path));
        QCOMPARE(readAll(m_path), "[A]\nk=9\nK=2\n[a]\nk=3\nother=4\n");
        QCOMPARE(IniFile::sections(m_path), QStringList{u"A"_s});
        QCOMPARE(IniFile::entries(u"a"_s, m_path), QStringList{u"k"_s});
    }

    // Each write re-reads the file, so an earlier writer's entry is never lost.
    void successiveWritesAllPersistAndRemovalIsExact()
    {
        QVERIFY(IniFile::put(u"S"_s, u"first"_s, u"1"_s, m_path));
        QVERIFY(IniFile::put(u"S"_s, u"second"_s, u"2"_s, m_path));
        QVERIFY(IniFile::put(u"T"_s, u"third"_s, u"3"_s, m_path));
        QCOMPARE(IniFile::entries(u"s"_s, m_path), (QStringList{u"first"_s, u"second"_s}));
        QCOMPARE(IniFile::sections(m_path), (QStringList{u"S"_s, u"T"_s}));
        QVERIFY(IniFile::removeEntry(u"s"_s, u"FIRST"_s, m_path));
        QVERIFY(IniFile::removeEntry(u"s"_s, u"absent"_s, m_path));
        QCOMPARE(readAll(m_path), "[S]\nsecond=2\n\n[T]\nthird=3\n");
    }

    // Two processes writing different entries of one file at the same time lose nothing.
    void concurrentWritersLoseNothing()
    {
        const QString path = m_workspace.file(u"POSITION.INI"_s);
        constexpr int Count = 150;
        QProcess first;
        QProcess second;
        for (auto [process, prefix] : {std::pair{&first, u"A"_s}, std::pair{&second, u"B"_s}})
            process->start(test::helperProgram(u"iniwriter"_s),
                           {path, u"Main"_s, prefix, QString::number(Count)});
        for (QProcess *process : {&first, &second}) {
            QVERIFY(process->waitForFinished(60000));
            QCOMPARE(process->exitCode(), 0);
        }
        for (const QString &prefix : {u"A"_s, u"B"_s}) {
            for (int n = 1; n <= Count; ++n)
                QCOMPARE(IniFile::getNumber(u"Main"_s, prefix + QString::number(n), 0, path),
                         qint64(n));
        }
        QCOMPARE(IniFile::entries(u"Main"_s, path).size(), 2 * Count);
    }

    // Random damage and random edits: nothing crashes, values read back, other lines stay.
    void randomFilesSurviveRandomEdits()
    {
        QRandomGenerator random(1998);
        const QStringList names = {u"Alpha"_s, u"GLO:Delimiter"_s, u"SRCF?Browse"_s, u"Add Mode"_s,
                                   u"Ärger"_s};
        const QString missing = u"\n"_s;
        for (int round = 0; round < 40; ++round) {
            writeAll(m_path, randomFile(random, names));
            for (int step = 0; step < 20; ++step) {
                const QString section = randomCase(random, names.at(random.bounded(5)));
                const QString entry = randomCase(random, names.at(random.bounded(5)));
                const QString value = randomValue(random);
                const QByteArray before = readAll(m_path);
                const bool existed = IniFile::get(section, entry, missing, m_path) != missing;
                QVERIFY(IniFile::put(section, entry, value, m_path));
                QCOMPARE(IniFile::get(section, entry, missing, m_path), value);
                QVERIFY2(onlyTheEditChanged(before, readAll(m_path), existed),
                         qPrintable(u"round %1 step %2"_s.arg(round).arg(step)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
