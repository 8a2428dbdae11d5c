#include "chartcopy.h"

#include "app/progresswindow.h"
#include "app/session.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <memory>
#include <vector>

namespace sv::playlists {

namespace {

const QString Tag = QStringLiteral("LW:");
// The chart estimates its length at 50 entries for the percentage shown.
constexpr int EstimatedEntries = 50;

QString withoutTrailingBlanks(QString text)
{
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

QString withoutLeadingBlanks(const QString &text)
{
    qsizetype first = 0;
    while (first < text.size() && text.at(first) == u' ')
        ++first;
    return text.mid(first);
}

// Reads the entries of one play list in chart order, then writes their new notes.
class ChartCopy
{
public:
    ChartCopy(Session &session, qint64 playlistId)
        : m_session(session), m_details(session.store().table(TableId::PlaylistDetails)),
          m_playlistId(playlistId), m_view(m_details, pla::KeyPlaylistID, QString())
    {}

    bool begin()
    {
        m_use = m_session.files().use(m_details);
        if (!m_use)
            return false;
        m_view.setRange(m_playlistId);
        if (!m_view.open()) {
            standardWarning(warning::ViewOpen, m_details.label());
            return false;
        }
        m_view.set();
        return true;
    }

    ProgressWindow::Step step()
    {
        const Record keep = m_details.buffer();
        const bool read = m_view.next();
        if (!read) {
            m_details.buffer() = keep;
            if (errorCode() != err::RecordNotAvailable) {
                standardWarning(warning::RecordRetrieval, QStringLiteral("PlaylistMaster"));
                return ProgressWindow::Step::Stopped;
            }
            return write() ? ProgressWindow::Step::Finished : ProgressWindow::Step::Stopped;
        }
        Record entry = m_details.buffer();
        Table::CurrentRecord current = m_details.current();
        m_details.buffer() = keep;
        const QString notes =
            chartNotes(entry.text(pla::PlaylistNotes), entry.number(pla::PlaylistSeq));
        if (notes != entry.text(pla::PlaylistNotes)) {
            entry.setText(pla::PlaylistNotes, notes);
            // Written only if no other station changed the entry since it was read here.
            current.watchedRevision = current.revision;
            m_pending.push_back({current, entry});
        }
        return ProgressWindow::Step::Continue;
    }

private:
    bool write()
    {
        if (m_pending.empty())
            return true;
        Database &database = m_session.store().database();
        if (!database.logout(2, {TableId::PlaylistDetails})) {
            standardWarning(warning::ProcessError, QStringLiteral("Put"), m_details.label());
            return false;
        }
        const Record keep = m_details.buffer();
        const Table::CurrentRecord keepCurrent = m_details.current();
        bool written = true;
        for (const Pending &entry : m_pending) {
            m_details.buffer() = entry.record;
            m_details.setCurrent(entry.current);
            if (!m_details.put()) {
                written = false;
                break;
            }
        }
        if (written && !database.commit())
            written = false;
        if (!written) {
            saveError();
            (void)database.rollback();
        }
        m_details.buffer() = keep;
        m_details.setCurrent(keepCurrent);
        if (!written)
            standardWarning(warning::ProcessError, QStringLiteral("Put"), m_details.label());
        return written;
    }

    struct Pending
    {
        Table::CurrentRecord current;
        Record record;
    };

    Session &m_session;
    Table &m_details;
    qint64 m_playlistId;
    TableUse m_use;
    View m_view;
    std::vector<Pending> m_pending;
};

} // namespace

QString chartNotes(const QString &notes, qint64 position)
{
    QString text = notes;
    if (const qsizetype at = text.indexOf(Tag); at >= 0) {
        // The tag and the two characters after it; a position of three digits or more
        // goes whole, so that no digit of it is left behind in the notes.
        qsizetype end = qMin(at + Tag.size() + 2, text.size());
        if (end == at + Tag.size() + 2 && text.at(end - 2).isDigit() && text.at(end - 1).isDigit())
            while (end < text.size() && text.at(end).isDigit())
                ++end;
        text.remove(at, end - at);
    }
    text = withoutTrailingBlanks(text);
    const QString tagged = withoutLeadingBlanks(text + u' ' + Tag + QString::number(position));
    if (tagged.size() <= NotesWidth)
        return tagged;
    return withoutLeadingBlanks(text).left(NotesWidth);
}

ProgressWindow *copyChart(Session &session, qint64 playlistId, QWidget *parent,
                          std::function<void(bool copied)> done)
{
    const Button answer =
        ask({QStringLiteral("Warning"),
             QStringLiteral("This will copy the current chart standings into the notes field to "
                            "be used as \"last week's chart positions\"."),
             Ok | Cancel, Ok, Icon::Exclamation});
    auto copy = std::make_shared<ChartCopy>(session, playlistId);
    if (answer != Ok || !copy->begin()) {
        if (done)
            done(false);
        return nullptr;
    }
    auto *window = new ProgressWindow(QStringLiteral("Updating Chart"), parent);
    window->setProgressText(QStringLiteral("0% Completed"));
    window->run(
        EstimatedEntries, 1, [copy] { return copy->step(); },
        [copy, done = std::move(done)](bool completed) mutable {
            if (done)
                done(completed);
        });
    return window;
}

} // namespace sv::playlists
