// Labels printed to PDF: each layout's texts, boxes, lines and picture where they belong,
// read back with pdftotext -bbox and from the page image; fonts, justification, and what
// happens to texts and pictures that do not fit or cannot be loaded.
#include "labelfixture.h"

#include <QPainter>

using namespace sv;
using namespace sv::test;
using namespace Qt::StringLiterals;

namespace {

constexpr double Slack = 40; // thousandths of an inch

bool near(double value, double expected, double slack = Slack)
{
    return qAbs(value - expected) <= slack;
}

// Whether the page image has ink near a point given in thousandths of an inch.
bool inkAt(const QImage &page, int dpi, int x, int y)
{
    const int px = x * dpi / 1000;
    const int py = y * dpi / 1000;
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy) {
            const QPoint at(px + dx, py + dy);
            if (page.rect().contains(at) && qGray(page.pixel(at)) < 170)
                return true;
        }
    return false;
}

QString picture(const QString &folder, QColor colour, QSize size = {96, 96})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    image.setDotsPerMeterX(3780); // 96 dots an inch
    image.setDotsPerMeterY(3780);
    const QString path = folder + u"/picture.png"_s;
    image.save(path);
    return path;
}

} // namespace

class TestLabelPrint : public QObject
{
    Q_OBJECT

private:
    // A CD label with a word in each text area.
    static Record cdLabel(LabelCatalogue &catalogue)
    {
        Record label = catalogue.label(u"CD"_s);
        label.setText(lab::CDTitle, u"Blue Skies"_s);
        label.setText(lab::CDSpine, u"Spine Words"_s);
        label.setMemo(lab::CDCoverText, u"Back1\r\nBack2"_s);
        label.setMemo(lab::CDInsideText, u"Front1"_s);
        return label;
    }

private Q_SLOTS:
    // Every text of the CD layout starts where the layout puts it; the spines are turned to
    // run down their narrow areas; the boxes and folds are drawn at their places.
    void cdLayoutStandsWhereItBelongs()
    {
        LabelCatalogue catalogue;
        const auto list = catalogue.pages(cdLabel(catalogue), false);
        QVERIFY(list);
        QCOMPARE(list->pageSize(), QSize(8000, 10500));
        const QString pdf = catalogue.pdf(*list);
        const auto words = LabelCatalogue::words(pdf);
        const auto front = LabelCatalogue::word(words, u"Blue"_s, 1);
        const auto back = LabelCatalogue::word(words, u"Blue"_s, 0);
        QVERIFY(front && back);
        // Written in layout order: the front cover's title, then the tray card's.
        QVERIFY2(near(front->left, 3188) && front->top >= 4740 - 30 && front->bottom <= 4740 + 260,
                 qPrintable(u"%1 %2"_s.arg(front->left).arg(front->top)));
        QVERIFY(near(back->left, 401) && back->top >= 73 - 30 && back->bottom <= 73 + 260);
        const auto back1 = LabelCatalogue::word(words, u"Back1"_s);
        const auto back2 = LabelCatalogue::word(words, u"Back2"_s);
        QVERIFY(back1 && back2);
        QVERIFY(near(back1->left, 453) && back1->top >= 635 - 30 && back1->bottom <= 635 + 180);
        QVERIFY(near(back2->top - back1->top, 150, 10)); // one line of 9 points lower
        const auto front1 = LabelCatalogue::word(words, u"Front1"_s);
        QVERIFY(front1 && near(front1->left, 3188) && near(front1->top, 5229, 60));

        auto leftSpine = LabelCatalogue::word(words, u"Spine"_s, 0);
        auto rightSpine = LabelCatalogue::word(words, u"Spine"_s, 1);
        QVERIFY(leftSpine && rightSpine);
        if (leftSpine->left > rightSpine->left) // words come in reading order
            std::swap(leftSpine, rightSpine);
        for (const auto &[spine, x, y, width] :
             {std::tuple{*leftSpine, 0, 94, 338}, std::tuple{*rightSpine, 5818, 115, 438}}) {
            // Turned: taller than wide, inside the spine's width, starting at its top.
            QVERIFY2(spine.bottom - spine.top > 1.5 * (spine.right - spine.left),
                     qPrintable(u"%1,%2 %3,%4"_s.arg(spine.left)
                                    .arg(spine.top)
                                    .arg(spine.right)
                                    .arg(spine.bottom)));
            QVERIFY2(spine.left >= x - 5 && spine.right <= x + width + 5,
                     qPrintable(u"%1..%2"_s.arg(spine.left).arg(spine.right)));
            QVERIFY2(near(spine.top, y), qPrintable(QString::number(spine.top)));
        }

        const QImage page = catalogue.image(pdf, 100);
        QVERIFY(!page.isNull());
        QVERIFY(inkAt(page, 100, 3000, 52));    // tray card, top
        QVERIFY(inkAt(page, 100, 3000, 4729));  // and bottom
        QVERIFY(inkAt(page, 100, 109, 2500));   // left side
        QVERIFY(inkAt(page, 100, 6047, 2500));  // right side
        QVERIFY(inkAt(page, 100, 5807, 2500));  // right spine fold
        QVERIFY(inkAt(page, 100, 359, 2500));   // left spine fold
        QVERIFY(inkAt(page, 100, 7865, 7000));  // front cover, right side
        QVERIFY(inkAt(page, 100, 5000, 9458));  // and bottom
        QVERIFY(inkAt(page, 100, 104, 7000));   // inside panel, left side
        QVERIFY(!inkAt(page, 100, 1500, 3500)); // nothing inside the empty tray card
    }

    // "Right" sets both spines against the bottom of their areas; "Center" centres the
    // front cover's text, "Right" the tray card's.
    void justification()
    {
        LabelCatalogue catalogue;
        Record label = cdLabel(catalogue);
        label.setText(lab::CDSpineJustification, u"Right"_s);
        label.setText(lab::CDTextJustification, u"Center"_s);
        label.setText(lab::CDBackCoverJustification, u"Right"_s);
        const auto words = LabelCatalogue::words(catalogue.pdf(*catalogue.pages(label, false)));
        auto leftSpine = LabelCatalogue::word(words, u"Words"_s, 0);
        auto rightSpine = LabelCatalogue::word(words, u"Words"_s, 1);
        QVERIFY(leftSpine && rightSpine);
        if (leftSpine->left > rightSpine->left)
            std::swap(leftSpine, rightSpine);
        QVERIFY2(near(leftSpine->bottom, 94 + 4594),
                 qPrintable(QString::number(leftSpine->bottom)));
        QVERIFY(near(rightSpine->bottom, 115 + 4594));
        const auto front1 = LabelCatalogue::word(words, u"Front1"_s);
        QVERIFY(front1 && near((front1->left + front1->right) / 2, 3188 + 4615 / 2.0));
        const auto back1 = LabelCatalogue::word(words, u"Back1"_s);
        QVERIFY(back1 && near(back1->right, 453 + 5281));
    }

    // Both cassette layouts: the side letters, both song columns, the title and the flap
    // at their places, and the fold lines; the same label changes layout with the setting.
    void cassetteLayouts_data()
    {
        QTest::addColumn<bool>("alternate");
        QTest::addColumn<QList<int>>("places"); // x, y of A, B, side A, side B, title, flap
        QTest::addColumn<int>("fold");
        QTest::newRow("standard") << false << QList<int>{219,  3104, 3781, 3104, 219, 3313,
                                                         2042, 3313, 219,  5469, 219, 5990}
                                  << 3075;
        QTest::newRow("alternate")
            << true << QList<int>{219, 6333, 3760, 6333, 219, 1750, 2042, 1750, 219, 1219, 219, 667}
            << 1208;
    }
    void cassetteLayouts()
    {
        QFETCH(bool, alternate);
        QFETCH(QList<int>, places);
        QFETCH(int, fold);
        LabelCatalogue catalogue;
        Record label = catalogue.label(u"Cassette"_s);
        label.setMemo(lab::CassetteContentsA, u"Aside"_s);
        label.setMemo(lab::CassetteContentsB, u"Bside"_s);
        label.setMemo(lab::CassetteTitle, u"Tapetitle\r\nSecond"_s);
        label.setMemo(lab::CassetteFlap, u"Flaptext"_s);
        const QString pdf = catalogue.pdf(*catalogue.pages(label, alternate));
        const auto words = LabelCatalogue::words(pdf);
        const QStringList texts{u"A"_s,     u"B"_s,         u"Aside"_s,
                                u"Bside"_s, u"Tapetitle"_s, u"Flaptext"_s};
        for (qsizetype i = 0; i < texts.size(); ++i) {
            const auto found = LabelCatalogue::word(words, texts.at(i));
            if (!found) {
                QStringList all;
                for (const auto &w : words)
                    all.append(u"%1@%2,%3"_s.arg(w.text).arg(w.left).arg(w.top));
                QFAIL(qPrintable(texts.at(i) + u" not among "_s + all.join(u' ')));
            }
            QVERIFY2(
                near(found->left, places.at(2 * i)) && found->top >= places.at(2 * i + 1) - 30 &&
                    found->top <= places.at(2 * i + 1) + 120,
                qPrintable(u"%1 at %2, %3"_s.arg(texts.at(i)).arg(found->left).arg(found->top)));
        }
        const QImage page = catalogue.image(pdf, 100);
        QVERIFY(inkAt(page, 100, 1000, 625));  // the insert's box
        QVERIFY(inkAt(page, 100, 3917, 3000)); // its right side
        QVERIFY(inkAt(page, 100, 1000, fold));
        QVERIFY(inkAt(page, 100, 2042, alternate ? 4000 : 4200)); // the column divider
        QVERIFY(!inkAt(page, 100, 6000, 3000));                   // no CD boxes
    }

    // The picture: at 6.792 and 8.052 inches when the label's place is 0, at the label's
    // place otherwise, in the label's size or its own; none for a blank name, and no empty
    // frame.
    void picturePlaceAndSize()
    {
        LabelCatalogue catalogue;
        Record label = cdLabel(catalogue);
        label.setText(lab::ImageName, picture(catalogue.path(), Qt::red));
        label.setNumber(lab::ImageSizeX, 1000);
        label.setText(lab::ImageSizeY, u"500"_s);
        const auto redAt = [](const QImage &page, int x, int y) {
            const QColor c = page.pixelColor(x * 100 / 1000, y * 100 / 1000);
            return c.red() > 200 && c.green() < 80 && c.blue() < 80;
        };
        QImage page = catalogue.image(catalogue.pdf(*catalogue.pages(label, false)), 100);
        QVERIFY(redAt(page, 6792 + 30, 8052 + 30));
        QVERIFY(redAt(page, 6792 + 970, 8052 + 470));
        QVERIFY(!redAt(page, 6792 - 40, 8052 + 200));
        QVERIFY(!redAt(page, 6792 + 1040, 8052 + 200));
        QVERIFY(!redAt(page, 6792 + 500, 8052 + 540));

        // Its own size (96 pixels at 96 dots an inch: one inch), at the label's place.
        label.setNumber(lab::ImagePositionX, 1000);
        label.setNumber(lab::ImagePositionY, 6000);
        label.setNumber(lab::ImageSizeX, 0);
        label.setText(lab::ImageSizeY, u"0"_s);
        page = catalogue.image(catalogue.pdf(*catalogue.pages(label, false)), 100);
        QVERIFY(redAt(page, 1030, 6030) && redAt(page, 1970, 6970));
        QVERIFY(!redAt(page, 2050, 6500) && !redAt(page, 1500, 7050));
        QVERIFY(!redAt(page, 6792 + 300, 8052 + 300));

        // A width alone keeps the picture's proportions.
        label.setNumber(lab::ImageSizeX, 500);
        page = catalogue.image(catalogue.pdf(*catalogue.pages(label, false)), 100);
        QVERIFY(redAt(page, 1470, 6470) && !redAt(page, 1470, 6540));

        label.setText(lab::ImageName, QString());
        QStringList cut;
        page = catalogue.image(catalogue.pdf(*catalogue.pages(label, false, &cut)), 100);
        QVERIFY(cut.isEmpty());
        QVERIFY(!inkAt(page, 100, 1000, 6000) && !inkAt(page, 100, 1250, 6250));
    }

    // A picture that cannot be loaded leaves its place empty; the label prints its texts,
    // and what was cut says so.
    void unloadablePicture()
    {
        LabelCatalogue catalogue;
        Record label = cdLabel(catalogue);
        QFile broken(catalogue.file(u"broken.png"_s));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a picture at all");
        broken.close();
        label.setText(lab::ImageName, broken.fileName());
        QStringList cut;
        const QString pdf = catalogue.pdf(*catalogue.pages(label, false, &cut));
        QCOMPARE(cut, QStringList{u"Image (broken.png cannot be loaded)"_s});
        QVERIFY(LabelCatalogue::word(LabelCatalogue::words(pdf), u"Front1"_s));
        label.setText(lab::ImageName, catalogue.file(u"missing.jpg"_s));
        QVERIFY(catalogue.pages(label, false, &cut));
        QCOMPARE(cut.size(), 1);
    }

    // Texts longer than their areas print as much as fits and no more; lines below a
    // block's foot are left out; both are named as cut.
    void overlongTextsAreCut()
    {
        LabelCatalogue catalogue;
        Record label = cdLabel(catalogue);
        label.setText(lab::CDTitle, QString(100, u'W'));
        QStringList lines;
        for (int i = 1; i <= 60; ++i)
            lines.append(u"Line%1"_s.arg(i));
        label.setMemo(lab::CDCoverText, lines.join(u"\r\n"_s));
        QStringList cut;
        const auto words =
            LabelCatalogue::words(catalogue.pdf(*catalogue.pages(label, false, &cut)));
        QVERIFY(cut.contains(u"Front Cover Title"_s));
        QVERIFY(cut.contains(u"Back Cover Title"_s));
        QVERIFY(cut.contains(u"Back Cover"_s));
        QVERIFY(!cut.contains(u"Front Cover"_s));
        for (const auto &w : words) {
            if (w.text.startsWith(u"WWW"_s)) {
                QVERIFY(w.text.size() < 100);
                QVERIFY(w.right <= qMax(3188 + 4594, 401 + 5385) + 10);
            }
        }
        // 4052 thousandths hold 27 lines of 150.
        QVERIFY(LabelCatalogue::word(words, u"Line27"_s));
        QVERIFY(!LabelCatalogue::word(words, u"Line28"_s));
        for (const auto &w : words)
            if (w.text.startsWith(u"Line"_s))
                QVERIFY(w.bottom <= 635 + 4052 + 10);
    }

    // Song lines keep their leading blanks, so one-digit track numbers stand right of the
    // start of two-digit ones; a long line wraps at a word to the block's next line.
    void songLinesKeepTheirPlaces()
    {
        LabelCatalogue catalogue;
        Record label = cdLabel(catalogue);
        QString longLine = u" 13. Long"_s;
        for (int i = 0; i < 60; ++i)
            longLine += u" word"_s;
        label.setMemo(lab::CDCoverText, u"  3. Intro\r\n 12. Outro\r\n"_s + longLine + u" Last"_s);
        const auto words = LabelCatalogue::words(catalogue.pdf(*catalogue.pages(label, false)));
        const auto three = LabelCatalogue::word(words, u"3."_s);
        const auto twelve = LabelCatalogue::word(words, u"12."_s);
        QVERIFY(three && twelve);
        QVERIFY(three->left > twelve->left + 20);
        const auto last = LabelCatalogue::word(words, u"Last"_s);
        const auto thirteen = LabelCatalogue::word(words, u"13."_s);
        QVERIFY(last && thirteen);
        QVERIFY(last->top > thirteen->top + 100);
        QVERIFY(last->right <= 453 + 5281 + 10);
    }

    // A favourite font prints the area in its typeface, size and colour; one that is not
    // installed still prints, in a face the system offers in its place.
    void favouriteFonts()
    {
        LabelCatalogue catalogue;
        Record label = cdLabel(catalogue);
        label.setNumber(lab::CDInsideTextFontID,
                        catalogue.addFont(u"DejaVu Serif"_s, u"24"_s, u"255"_s, u"700"_s));
        label.setNumber(lab::CDCoverTextFontID, catalogue.addFont(u"No Such Face"_s, u"9"_s));
        const QString pdf = catalogue.pdf(*catalogue.pages(label, false));
        const auto words = LabelCatalogue::words(pdf);
        const auto front1 = LabelCatalogue::word(words, u"Front1"_s);
        const auto back1 = LabelCatalogue::word(words, u"Back1"_s);
        QVERIFY(front1 && back1);
        QVERIFY(front1->bottom - front1->top > 2 * (back1->bottom - back1->top));
        QProcess fonts;
        fonts.start(u"pdffonts"_s, {pdf});
        QVERIFY(fonts.waitForFinished(30000));
        QVERIFY(QString::fromUtf8(fonts.readAllStandardOutput()).contains(u"DejaVuSerif-Bold"_s));
        // Red: the colour 255 holds red in its low byte.
        const QImage page = catalogue.image(pdf, 150);
        bool red = false;
        for (int x = int(front1->left * 0.15); x < int(front1->right * 0.15) && !red; ++x)
            for (int y = int(front1->top * 0.15); y < int(front1->bottom * 0.15) && !red; ++y) {
                const QColor c = page.pixelColor(x, y);
                red = c.red() > 180 && c.green() < 90 && c.blue() < 90;
            }
        QVERIFY(red);
    }
};

QTEST_MAIN(TestLabelPrint)
#include "tst_labelprint.moc"
