#include "binderpages.h"

#include "labeltext.h"

#include "app/browser.h"
#include "app/mainframe.h"
#include "app/session.h"
#include "app/windowposition.h"
#include "reports/catalogue.h"
#include "reports/listsource.h"
#include "reports/reportrun.h"
#include "reports/reportwriter.h"
#include "songs/selectalbum.h"
#include "songs/songtitle.h"
#include "store/errors.h"
#include "store/store.h"
#include "store/warnings.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace sv::labels {

using reports::PageItem;
using reports::ReportFont;
using reports::ReportWriter;

namespace {

// Colour values hold red in the low byte.
QColor fromStored(quint32 value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

const quint32 BinderCycle[15] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000,
                                 0x800080, 0x808000, 0x808080, 0xC0C0C0, 0x0000FF,
                                 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00};
const quint32 FlapCycle[15] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000,
                               0x800080, 0x808000, 0xFF0000, 0x000080, 0x0000FF,
                               0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00};

const QString Face = QStringLiteral("Arial");

// Binder: landscape 10.5 x 8 inches.
constexpr int BinderHeadingHeight = 625;
constexpr int BinderLine = 208;
constexpr int BinderWidth = 9521;
// Flap: bands 4.75 inches wide.
constexpr int FlapHeadingHeight = 417;
constexpr int FlapLine = 177;
constexpr int FlapFooterHeight = 260;

PageItem textItem(ReportWriter &writer, const ReportFont &font, const QRect &box,
                  Qt::Alignment align, const QString &text)
{
    PageItem item;
    item.font = quint8(writer.fontIndex(font));
    item.align = quint16(align | Qt::AlignVCenter);
    item.box = box;
    item.text = reports::fitted(text, writer.measure(item.font), box.width());
    return item;
}

void addText(std::vector<PageItem> &items, ReportWriter &writer, const ReportFont &font,
             const QRect &box, Qt::Alignment align, const QString &text)
{
    if (!text.trimmed().isEmpty())
        items.push_back(textItem(writer, font, box, align, text));
}

// A text and its run of dots in a column: as the dot leader of `length` characters would
// print cut to the column, found with two measures instead of a search over the whole run.
void addLeader(std::vector<PageItem> &items, ReportWriter &writer, const ReportFont &font,
               const QRect &box, const QString &text, int length)
{
    const QString base = text.trimmed().left(length);
    const int index = writer.fontIndex(font);
    const QFontMetricsF &measure = writer.measure(index);
    const double used = measure.horizontalAdvance(base);
    if (used > box.width()) {
        addText(items, writer, font, box, Qt::AlignLeft, base);
        return;
    }
    const double dot = qMax(1.0, measure.horizontalAdvance(QStringLiteral(".")));
    int dots = qMin(int(length - base.size()), int((box.width() - used) / dot));
    QString led = base + QString(qMax(0, dots), u'.');
    while (dots > 0 && measure.horizontalAdvance(led) > box.width()) {
        led.chop(1);
        --dots;
    }
    PageItem item;
    item.font = quint8(index);
    item.align = quint16(Qt::AlignLeft | Qt::AlignVCenter);
    item.box = box;
    item.text = led;
    items.push_back(std::move(item));
}

bool sameArtist(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace

BinderSelection &binderSelection()
{
    static BinderSelection selection;
    return selection;
}

QColor binderColour(int albumsBefore)
{
    return fromStored(BinderCycle[albumsBefore % 15]);
}

QColor flapColour(qint64 recordNumber)
{
    return fromStored(FlapCycle[recordNumber % 15]);
}

QString albumHeading(const QString &album, const QString &artist, bool displayName, int width)
{
    const QString title = album.trimmed();
    if (artist.trimmed() == u"Various")
        return title.left(width);
    return (title + QStringLiteral(" - ") +
            (displayName ? artistDisplayName(artist) : artist.trimmed()))
        .left(width);
}

BinderSource::BinderSource(Session &session, const BinderSelection &selection)
    : m_session(session), m_selection(selection)
{}

BinderSource::~BinderSource() = default;

bool BinderSource::isFlap() const
{
    return m_selection.style.trimmed().compare(u"Flap", Qt::CaseInsensitive) == 0;
}

bool BinderSource::open()
{
    Store &store = m_session.store();
    Table &albums = store.table(TableId::Albums);
    m_uses = m_session.files().use({&albums, &store.table(TableId::Songs)});
    if (!m_uses)
        return false;
    m_albums = std::make_unique<View>(albums, alb::KeyFileNumber, QString());
    QList<int> fields;
    for (int field = 0; field < albums.definition().fields.size(); ++field)
        fields.append(field);
    m_albums->setFields(fields);
    if (!m_albums->open()) {
        standardWarning(warning::ViewOpen, albums.label());
        return false;
    }
    Record from(tableDef(TableId::Albums));
    from.setText(alb::FileNumber, m_selection.startingFileNumber);
    m_albums->setFrom(from);
    return true;
}

qint64 BinderSource::recordsToProcess()
{
    return m_session.store().table(TableId::Albums).records();
}

reports::ReportLayout BinderSource::layout() const
{
    reports::ReportLayout layout;
    layout.title = isFlap() ? QStringLiteral("CD Flap Pages") : QStringLiteral("CD Binder Pages");
    layout.pageHeader = false;
    layout.landscape = !isFlap();
    if (!isFlap())
        layout.paper = QSize(10500, 8000);
    return layout;
}

reports::ReportSource::Read BinderSource::next(ReportWriter &writer)
{
    if (!m_albums->next()) {
        if (errorCode() == err::RecordNotAvailable)
            return Read::End;
        standardWarning(warning::RecordRetrieval, m_albums->table().label());
        return Read::Failed;
    }
    Record album(tableDef(TableId::Albums));
    reports::loadRow(album, m_albums->fields(), m_albums->row());
    const QString fileNumber = album.text(alb::FileNumber).trimmed();
    if (fileNumber.compare(m_selection.endingFileNumber.trimmed(), Qt::CaseInsensitive) > 0)
        return Read::End;
    std::vector<PageItem> heading;
    QColor colour;
    if (isFlap()) {
        colour = flapColour(m_albums->row().position);
        const QString text =
            albumHeading(album.text(alb::Album), album.text(alb::Artist), false, 200);
        // A long heading takes the smaller band's type so that more of it shows.
        const bool longHeading = text.trimmed().size() >= LongFlapHeading;
        const ReportFont font{Face, longHeading ? 9 : 13, true, false, colour};
        addText(heading, writer, font, QRect(0, 0, 4740, FlapHeadingHeight),
                longHeading ? Qt::AlignLeft : Qt::AlignHCenter, text);
        if (!writer.band(std::move(heading), FlapHeadingHeight, FlapLine))
            return Read::Failed;
    } else {
        colour = binderColour(m_printed);
        const ReportFont font{Face, 14, true, false, colour};
        addText(heading, writer, font, QRect(31, 0, 6656, BinderHeadingHeight - 40), Qt::AlignLeft,
                albumHeading(album.text(alb::Album), album.text(alb::Artist), true, 80));
        addText(heading, writer, font, QRect(6729, 0, 2802, BinderHeadingHeight - 40),
                Qt::AlignRight, fileNumber);
        PageItem rule;
        rule.kind = PageItem::Kind::Line;
        rule.box = QRect(QPoint(0, BinderHeadingHeight - 30),
                         QPoint(BinderWidth, BinderHeadingHeight - 30));
        heading.push_back(rule);
        if (!writer.band(std::move(heading), BinderHeadingHeight, BinderLine))
            return Read::Failed;
    }
    ++m_printed;
    if (!printSongs(writer, album, colour))
        return Read::Failed;
    if (isFlap()) {
        std::vector<PageItem> footer;
        addText(footer, writer, ReportFont{Face, 9, true, false, colour},
                QRect(0, 0, 4708, FlapFooterHeight), Qt::AlignRight, fileNumber);
        if (!writer.band(std::move(footer), FlapFooterHeight))
            return Read::Failed;
    }
    return Read::Record;
}

bool BinderSource::printSongs(ReportWriter &writer, const Record &album, const QColor &)
{
    Table &songs = m_session.store().table(TableId::Songs);
    View view(songs, mus::KeyAlbumID, QString());
    QList<int> fields;
    for (int field = 0; field < songs.definition().fields.size(); ++field)
        fields.append(field);
    view.setFields(fields);
    view.setRange(album.number(alb::AlbumID));
    if (!view.open()) {
        standardWarning(warning::ViewOpen, songs.label());
        return false;
    }
    view.set();
    const ReportFont font{Face, 8};
    const bool flap = isFlap();
    Record song(tableDef(TableId::Songs));
    while (view.next()) {
        reports::loadRow(song, view.fields(), view.row());
        const QString track = QString::number(song.number(mus::TrackNumber));
        const QString time = reports::songTime(song.number(mus::Time)).trimmed();
        const QString artist = artistDisplayName(song.text(mus::Artist));
        const QString title = SongDisplayTitle(song);
        std::vector<PageItem> line;
        if (!flap) {
            addText(line, writer, font, QRect(21, 0, 167, BinderLine), Qt::AlignRight, track);
            addLeader(line, writer, font, QRect(323, 0, 3552, BinderLine), artist, 100);
            addLeader(line, writer, font, QRect(3875, 0, 5198, BinderLine), title, 100);
            addText(line, writer, font, QRect(9073, 0, 448, BinderLine), Qt::AlignRight, time);
            if (!writer.band(std::move(line), BinderLine))
                return false;
            continue;
        }
        addText(line, writer, font, QRect(31, 0, 167, FlapLine), Qt::AlignRight, track);
        if (!sameArtist(song.text(mus::Artist), album.text(alb::Artist))) {
            addLeader(line, writer, font, QRect(271, 0, 1917, FlapLine), artist, 200);
            addLeader(line, writer, font, QRect(2198, 0, 2188, FlapLine), title, 200);
        } else {
            addLeader(line, writer, font, QRect(271, 0, 4105, FlapLine), title, 200);
        }
        addText(line, writer, font, QRect(4375, 0, 385, FlapLine), Qt::AlignRight, time);
        if (!writer.band(std::move(line), FlapLine))
            return false;
    }
    if (errorCode() != err::RecordNotAvailable) {
        standardWarning(warning::RecordRetrieval, songs.label());
        return false;
    }
    return true;
}

QWidget *printBinderPages(Session &session, const BinderSelection &selection, QWidget *parent,
                          QMdiArea *area)
{
    auto *run = new reports::ReportRun(session, std::make_unique<BinderSource>(session, selection),
                                       reports::ReportRun::Destination::Preview, parent);
    run->setWorkArea(area);
    if (!run->start())
        return nullptr;
    return run->progressWindow();
}

BinderPagesWindow::BinderPagesWindow(Session &session, QWidget *parent)
    : QWidget(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("CD Binder Pages"));
    setAttribute(Qt::WA_DeleteOnClose);
    const BinderSelection &kept = binderSelection();
    auto *rows = new QVBoxLayout(this);
    auto *styleBox = new QGroupBox(QStringLiteral("Page Style"));
    auto *styleRow = new QHBoxLayout(styleBox);
    m_style = new QButtonGroup(this);
    int id = 0;
    for (const QString &caption : {QStringLiteral("Binder"), QStringLiteral("Flap")}) {
        auto *option = new QRadioButton(caption);
        styleRow->addWidget(option);
        m_style->addButton(option, id++);
    }
    setStyle(kept.style);
    rows->addWidget(styleBox);
    auto *form = new QFormLayout;
    const auto entry = [this, form](const QString &prompt, const QString &value) {
        auto *edit = new QLineEdit(value);
        edit->setMaxLength(30);
        auto *find = new QPushButton(QStringLiteral("..."));
        find->setAutoDefault(false);
        find->setToolTip(QStringLiteral("Select An Album"));
        connect(find, &QPushButton::clicked, this, [this, edit] { lookUp(edit); });
        auto *row = new QHBoxLayout;
        row->addWidget(edit, 1);
        row->addWidget(find);
        auto *label = new QLabel(prompt);
        label->setBuddy(edit);
        form->addRow(label, row);
        return edit;
    };
    m_start = entry(QStringLiteral("&Starting File Number:"), kept.startingFileNumber);
    m_end = entry(QStringLiteral("&Ending File Number:"), kept.endingFileNumber);
    rows->addLayout(form);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = new QPushButton(QStringLiteral("&OK"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(ok, &QPushButton::clicked, this, &BinderPagesWindow::accept);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    rows->addLayout(buttons);
}

void BinderPagesWindow::setStyle(const QString &style)
{
    m_style->button(style.trimmed().compare(u"Flap", Qt::CaseInsensitive) == 0 ? 1 : 0)
        ->setChecked(true);
}

void BinderPagesWindow::lookUp(QLineEdit *entry)
{
    if (m_busy)
        return;
    auto *picker = new SelectAlbum(m_session, Request::Select);
    if (!picker->start()) {
        delete picker;
        return;
    }
    m_busy = true;
    setEnabled(false);
    const QPointer<QLineEdit> target(entry);
    connect(picker, &Browser::finished, this, [this, target](const WindowResult &result) {
        m_busy = false;
        setEnabled(true);
        if (result.response == Response::Completed && target)
            target->setText(
                m_session.store().table(TableId::Albums).buffer().text(alb::FileNumber).trimmed());
    });
    showProcedureWindow(this, picker);
}

void BinderPagesWindow::accept()
{
    if (m_busy)
        return;
    BinderSelection &kept = binderSelection();
    kept.style = m_style->checkedId() == 1 ? QStringLiteral("Flap") : QStringLiteral("Binder");
    kept.startingFileNumber = m_start->text().trimmed();
    kept.endingFileNumber = m_end->text().trimmed();
    auto *frame = qobject_cast<MainFrame *>(window());
    QMdiArea *area = frame ? frame->mdiArea() : nullptr;
    Session &session = m_session;
    QWidget *parent = frame ? static_cast<QWidget *>(frame) : nullptr;
    close();
    printBinderPages(session, kept, parent, area);
}

void BinderPagesWindow::closeEvent(QCloseEvent *event)
{
    if (m_busy) { // the album list it opened answers to it
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace sv::labels
