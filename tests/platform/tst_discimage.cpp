#include "platform/cddevice.h"
#include "platform/discimage.h"
#include "testsupport.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

constexpr int BinSectors = 3375;

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray bigEndian(quint64 value, int width)
{
    QByteArray bytes(width, '\0');
    for (int i = width - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xff);
    return bytes;
}

QByteArray chunk(const QByteArray &id, const QByteArray &body)
{
    return id + bigEndian(quint64(body.size()), 4) + body;
}

const QByteArray Cue = "FILE \"disc.bin\" BINARY\n"
                       "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                       "  TRACK 02 AUDIO\n    INDEX 01 00:20:00\n";
const QByteArray Toc = "CD_DA\nTRACK AUDIO\nFILE \"disc.bin\" 0 00:20:00\n"
                       "TRACK AUDIO\nFILE \"disc.bin\" 00:20:00 00:25:00\n";

// A structurally sound image of the newer layout: audio, chunks, "END!", then the footer.
QByteArray nrg(QRandomGenerator &random)
{
    QByteArray bytes(2352 * 2, '\0');
    const quint64 chunks = quint64(bytes.size());
    // Chunks of the lengths their kinds have, holding anything.
    struct Kind
    {
        QByteArray id;
        int head;
        int entry;
    };
    static const Kind kinds[] = {{"CUEX", 0, 8},  {"DAOX", 22, 42}, {"SINF", 4, 0},
                                 {"ETN2", 0, 32}, {"MTYP", 4, 0},   {"CDTX", 0, 18}};
    for (int i = 1 + random.bounded(4); i > 0; --i) {
        const Kind &kind = kinds[random.bounded(6)];
        QByteArray body(kind.head + kind.entry * (1 + random.bounded(3)), '\0');
        for (char &c : body)
            c = char(random.bounded(256));
        bytes += chunk(kind.id, body);
    }
    bytes += chunk("END!", {});
    return bytes + "NER5" + bigEndian(chunks, 8);
}

QByteArray mutated(QByteArray bytes, QRandomGenerator &random)
{
    static const QByteArray pieces[] = {"TRACK",
                                        "FILE",
                                        "INDEX",
                                        "AUDIO",
                                        "\n",
                                        " ",
                                        "\"",
                                        ".",
                                        "0",
                                        "99",
                                        "00:00:00",
                                        "99:99:99",
                                        "MODE1",
                                        "NER5",
                                        "END!",
                                        "\xff\xff\xff\xff",
                                        QByteArray(1, '\0')};
    for (int edits = 1 + random.bounded(4); edits > 0; --edits) {
        const int at = random.bounded(int(bytes.size()) + 1);
        switch (random.bounded(4)) {
        case 0:
            bytes.remove(at, 1 + random.bounded(8));
            break;
        case 1:
            bytes.insert(at, pieces[random.bounded(int(std::size(pieces)))]);
            break;
        case 2:
            if (!bytes.isEmpty())
                bytes[qMin(at, int(bytes.size()) - 1)] = char(random.bounded(256));
            break;
        default:
            bytes.truncate(at);
            break;
        }
    }
    return bytes;
}

QByteArray randomBytes(QRandomGenerator &random)
{
    QByteArray bytes(random.bounded(64), '\0');
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// Opens the image the way the program does and reads what a reader reads from it.
CdDevice::OpenResult openImage(const QString &path)
{
    CdDevice::setSource(path);
    std::unique_ptr<CdDevice> device = createCdDevice();
    const CdDevice::OpenResult result = device->open();
    if (result == CdDevice::OpenResult::Opened && device->media() == CdDevice::Media::Ready) {
        const CdToc toc = device->toc();
        QByteArray sector;
        if (!toc.tracks.isEmpty())
            (void)device->readAudioSector(toc.tracks.first().start, sector);
    }
    return result;
}

} // namespace

class TestDiscImage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Each refused file is a warning for the user; here there are hundreds of them.
        QLoggingCategory::setFilterRules(u"songvane.cd.warning=false"_s);
    }

    void init()
    {
        m_workspace = std::make_unique<test::Workspace>();
        QFile bin(m_workspace->file(u"disc.bin"_s));
        QVERIFY(bin.open(QIODevice::WriteOnly) && bin.resize(qint64(BinSectors) * SectorBytes));
    }

    void cleanup()
    {
        CdDevice::setSource({});
        m_workspace.reset();
    }

    // The two files that crashed the image readers: a 12-byte image whose footer points
    // far outside it, and an 11-byte sheet with a track of no mode. Both are refused
    // before the library sees them, and the program is still here to say so.
    void filesThatCrashedTheReaders()
    {
        const QString nrgPath = m_workspace->file(u"tiny.nrg"_s);
        write(nrgPath, "NER5" + bigEndian(0xc36de9fe48afbd0bULL, 8));
        QCOMPARE(QFile(nrgPath).size(), 12);
        const QString tocPath = m_workspace->file(u"tiny.toc"_s);
        write(tocPath, "TRACK\nFILE .");
        for (const QString &path : {nrgPath, tocPath}) {
            QString reason;
            QVERIFY2(!checkDiscImage(path, &reason), qPrintable(path));
            QVERIFY(!reason.isEmpty());
            QCOMPARE(openImage(path), CdDevice::OpenResult::NoDevice);
        }
    }

    // The reader is chosen by the name: a good sheet under a name the program does not
    // read, or a sheet of one format named as the other, is no image.
    void readerChosenByExtension()
    {
        write(m_workspace->file(u"disc.cue"_s), Cue);
        write(m_workspace->file(u"disc.toc"_s), Toc);
        write(m_workspace->file(u"disc.img"_s), Cue);
        write(m_workspace->file(u"sheet.nrg"_s), Cue);
        QCOMPARE(openImage(m_workspace->file(u"disc.cue"_s)), CdDevice::OpenResult::Opened);
        QCOMPARE(openImage(m_workspace->file(u"disc.bin"_s)), CdDevice::OpenResult::Opened);
        QCOMPARE(openImage(m_workspace->file(u"disc.toc"_s)), CdDevice::OpenResult::Opened);
        QCOMPARE(openImage(m_workspace->file(u"disc.img"_s)), CdDevice::OpenResult::NoDevice);
        QCOMPARE(openImage(m_workspace->file(u"sheet.nrg"_s)), CdDevice::OpenResult::NoDevice);

        CdDevice::setSource(m_workspace->file(u"disc.toc"_s));
        std::unique_ptr<CdDevice> device = createCdDevice();
        QCOMPARE(device->open(), CdDevice::OpenResult::Opened);
        QCOMPARE(device->media(), CdDevice::Media::Ready);
        QCOMPARE(device->toc().tracks.size(), 2);
    }

    // What the light parse turns away: a track with no mode or number, a time that is no
    // time, a data file that is missing or a folder, a sheet that is not text.
    void sheetsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cue track without mode") << u"a.cue"_s
                                                << QByteArray("FILE \"disc.bin\" "
                                                              "BINARY\nTRACK 01\n");
        QTest::newRow("cue track before file") << u"a.cue"_s << QByteArray("TRACK 01 AUDIO\n");
        QTest::newRow("cue bad index time")
            << u"a.cue"_s << QByteArray("FILE disc.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 0:75:0\n");
        QTest::newRow("cue missing data file")
            << u"a.cue"_s << QByteArray("FILE \"gone.bin\" BINARY\nTRACK 01 AUDIO\n");
        QTest::newRow("cue not text") << u"a.cue"_s << QByteArray("FILE\0disc.bin", 13);
        QTest::newRow("toc data file a folder")
            << u"a.toc"_s << QByteArray("TRACK AUDIO\nFILE \".\" 0\n");
        QTest::newRow("toc unknown mode") << u"a.toc"_s << QByteArray("TRACK SOUND\n");
        QTest::newRow("toc bad time")
            << u"a.toc"_s << QByteArray("TRACK AUDIO\nFILE \"disc.bin\" 0 00:99:00\n");
        QTest::newRow("empty toc") << u"a.toc"_s << QByteArray();
        QTest::newRow("nrg without footer") << u"a.nrg"_s << QByteArray(64, 'x');
    }

    void sheetsRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        write(m_workspace->file(name), bytes);
        QVERIFY(!checkDiscImage(m_workspace->file(name)));
        QCOMPARE(openImage(m_workspace->file(name)), CdDevice::OpenResult::NoDevice);
    }

    // Random and mutated small files with each extension, opened as the program opens
    // them: whatever the bytes, the answer is an image or no device, never a crash. The
    // seed is fixed, so a failure repeats.
    void fuzzedImagesNeverCrash()
    {
        QRandomGenerator random(20261208);
        int opened = 0;
        int refused = 0;
        for (int round = 0; round < 360; ++round) {
            QString name;
            QByteArray bytes;
            switch (round % 3) {
            case 0:
                name = u"f.cue"_s;
                bytes = round % 12 == 0 ? randomBytes(random) : mutated(Cue, random);
                break;
            case 1:
                name = u"f.toc"_s;
                bytes = round % 12 == 1 ? randomBytes(random) : mutated(Toc, random);
                break;
            default:
                name = u"f.nrg"_s;
                bytes = round % 12 == 2 ? randomBytes(random) : mutated(nrg(random), random);
                break;
            }
            write(m_workspace->file(name), bytes);
            const CdDevice::OpenResult result = openImage(m_workspace->file(name));
            (result == CdDevice::OpenResult::Opened ? opened : refused) += 1;
        }
        QCOMPARE(opened + refused, 360);
        QVERIFY(opened > 0); // the mutations leave some images whole
        QVERIFY(refused > 0);
    }

private:
    std::unique_ptr<test::Workspace> m_workspace;
};

QTEST_GUILESS_MAIN(TestDiscImage)
#include "tst_discimage.moc"
