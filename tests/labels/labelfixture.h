#pragma once

#include "catalogue.h"
#include "labels/labelprint.h"
#include "reports/reportoutput.h"
#include "reports/reportwriter.h"
#include "store/schema.h"
#include "testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace sv::test {

// A catalogue with the tables labels read, and helpers that add albums, songs, labels and
// favourite fonts, and read printed pages back from PDF.
class LabelCatalogue : public Catalogue
{
public:
    LabelCatalogue()
        : Catalogue({TableId::Songs, TableId::Albums, TableId::Labels, TableId::Fonts,
                     TableId::Categories, TableId::Media})
    {}

    qint64 addAlbum(const QString &title, const QString &artist, const QString &fileNumber = {},
                    const QString &image = {})
    {
        Table &albums = table(TableId::Albums);
        albums.buffer().clear();
        const qint64 id = ++m_lastAlbum;
        albums.buffer().setNumber(alb::AlbumID, id);
        albums.buffer().setText(alb::Album, title);
        albums.buffer().setText(alb::Artist, artist);
        albums.buffer().setText(alb::FileNumber, fileNumber);
        albums.buffer().setText(alb::Media, QStringLiteral("CD"));
        albums.buffer().setText(alb::AssociatedImage, image);
        if (!albums.add())
            qWarning("album not added: %s", qPrintable(title));
        return id;
    }

    struct Song
    {
        QString title;
        QString artist;
        QString album;
        qint64 albumId = 0;
        int track = 0;
        int side = 0;
        qint64 time = 0; // standard time: hundredths + 1
        QString fileNumber = QString();
        QString media = QStringLiteral("CD");
        QString extra = QString(); // first additional-information field
        QString mix = QString();
    };

    qint64 addSong(const Song &song)
    {
        Table &songs = table(TableId::Songs);
        songs.buffer().clear();
        const qint64 id = ++m_lastSong;
        Record &r = songs.buffer();
        r.setNumber(mus::ID, id);
        r.setText(mus::Title, song.title);
        r.setText(mus::Artist, song.artist);
        r.setText(mus::Album, song.album);
        r.setNumber(mus::AlbumID, song.albumId);
        r.setNumber(mus::TrackNumber, song.track);
        r.setNumber(mus::Side, song.side);
        r.setNumber(mus::Time, song.time);
        r.setText(mus::FileNumber, song.fileNumber);
        r.setText(mus::Media, song.media);
        r.setText(mus::AdditionalInformation1, song.extra);
        r.setText(mus::Mix, song.mix);
        if (!songs.add())
            qWarning("song not added: %s", qPrintable(song.title));
        return id;
    }

    qint64 addFont(const QString &face, const QString &size,
                   const QString &colour = QStringLiteral("0"),
                   const QString &style = QStringLiteral("400"))
    {
        Table &fonts = table(TableId::Fonts);
        fonts.buffer().clear();
        const qint64 id = ++m_lastFont;
        fonts.buffer().setNumber(fon::FontID, id);
        fonts.buffer().setText(fon::TypeFace, face);
        fonts.buffer().setText(fon::Size, size);
        fonts.buffer().setText(fon::Colour, colour);
        fonts.buffer().setText(fon::Style, style);
        if (!fonts.add())
            qWarning("font not added: %s", qPrintable(face));
        return id;
    }

    // A label record with no texts, of a type.
    Record label(const QString &type) const
    {
        Record made(tableDef(TableId::Labels));
        made.setNumber(lab::LabelID, 1);
        made.setText(lab::LabelType, type);
        return made;
    }

    // The label laid out on its page.
    std::shared_ptr<reports::PageList> pages(const Record &label, bool alternate,
                                             QStringList *cut = nullptr)
    {
        auto list = std::make_shared<reports::PageList>();
        reports::ReportLayout layout;
        layout.paper = labels::LabelPaper;
        layout.pageHeader = false;
        reports::ReportWriter writer(*list, layout, QString());
        const labels::LabelPage page = labels::layLabel(store(), label, alternate, writer);
        if (cut)
            *cut = page.cut;
        if (!writer.page(page.items))
            return nullptr;
        return list;
    }

    QString pdf(const reports::PageList &list)
    {
        const QString path = file(QStringLiteral("label-%1.pdf").arg(++m_files));
        QString error;
        if (!reports::writePdf(list, path, error)) {
            qWarning("%s", qPrintable(error));
            return QString();
        }
        return path;
    }

    // Each word of the PDF with its box in thousandths of an inch.
    struct Word
    {
        QString text;
        double left, top, right, bottom;
    };
    static QList<Word> words(const QString &pdf, int page = 1)
    {
        QProcess process;
        process.start(QStringLiteral("pdftotext"),
                      {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                       QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
        if (!process.waitForFinished(30000))
            return {};
        const QString html = QString::fromUtf8(process.readAllStandardOutput());
        static const QRegularExpression word(QStringLiteral(
            R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
        QList<Word> found;
        for (auto it = word.globalMatch(html); it.hasNext();) {
            const auto match = it.next();
            // Points (1/72 inch) to mils.
            const auto mils = [&](int group) {
                return match.captured(group).toDouble() * 1000 / 72;
            };
            found.append({match.captured(5), mils(1), mils(2), mils(3), mils(4)});
        }
        return found;
    }
    static std::optional<Word> word(const QList<Word> &words, const QString &text, int nth = 0)
    {
        for (const Word &w : words)
            if (w.text == text && nth-- == 0)
                return w;
        return std::nullopt;
    }
    // The page as an image at `dpi`.
    QImage image(const QString &pdf, int dpi = 50)
    {
        const QString prefix = file(QStringLiteral("page-%1").arg(++m_files));
        QProcess process;
        process.start(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
                       QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                       QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, prefix});
        if (!process.waitForFinished(30000))
            return QImage();
        return QImage(prefix + QStringLiteral(".png"));
    }

private:
    qint64 m_lastAlbum = 0;
    qint64 m_lastSong = 0;
    qint64 m_lastFont = 0;
    int m_files = 0;
};

// Standard time of minutes and seconds.
inline qint64 timeOf(int hours, int minutes, int seconds)
{
    return (qint64(hours) * 3600 + minutes * 60 + seconds) * 100 + 1;
}

} // namespace sv::test
