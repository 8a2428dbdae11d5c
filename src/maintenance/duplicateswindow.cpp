#include "duplicateswindow.h"

#include "app/progresswindow.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/windowposition.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QAbstractListModel>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace sv {

namespace {

const QString Procedure = QStringLiteral("FindDuplicates");
const QString Caption = QStringLiteral("Find Duplicates");
constexpr int RowsPerStep = 400;
constexpr int TickMilliseconds = 15;
const QColor Differs(255, 236, 160);

struct Column
{
    int field; // -1: the play-list entries
    const char *header;
};

const Column Columns[] = {
    {mus::ID, "Number"},
    {mus::Artist, "Artist"},
    {mus::Title, "Title"},
    {mus::Mix, "Mix"},
    {mus::Album, "Album"},
    {mus::Media, "Media"},
    {mus::FileNumber, "File Number"},
    {mus::Side, "Side"},
    {mus::TrackNumber, "Track"},
    {mus::Time, "Time"},
    {mus::BeatsPerMinute, "BPM"},
    {mus::ReleaseDate, "Release Date"},
    {mus::CategoryID, "Category"},
    {mus::Style, "Style"},
    {mus::Composer, "Composer"},
    {mus::Rating, "Rating"},
    {mus::ChartNumber, "Chart"},
    {mus::LastPlayed, "Last Played"},
    {-1, "Play Lists"},
};

QList<int> allSongFields()
{
    QList<int> fields;
    for (int field = 0; field < tableDef(TableId::Songs).fields.size(); ++field)
        fields.append(field);
    return fields;
}

} // namespace

// The groups found, each shown as the artist and title of its first song and how many
// songs it has; a label is read only when the list shows it.
class DuplicateGroupModel : public QAbstractListModel
{
public:
    DuplicateGroupModel(const QList<DuplicateGroup> &groups, std::function<QString(int)> label,
                        QObject *parent)
        : QAbstractListModel(parent), m_groups(groups), m_label(std::move(label))
    {}
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_groups.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_groups.size())
            return {};
        auto found = m_labels.constFind(index.row());
        if (found == m_labels.cend())
            found = m_labels.insert(index.row(), m_label(index.row()));
        return found.value();
    }
    void reset()
    {
        beginResetModel();
        m_labels.clear();
        endResetModel();
    }

private:
    const QList<DuplicateGroup> &m_groups;
    std::function<QString(int)> m_label;
    mutable QHash<int, QString> m_labels;
};

DuplicatesWindow *DuplicatesWindow::open(Session &session, QWidget *caller)
{
    auto *window = new DuplicatesWindow(session, caller);
    if (!window->hasSongs()) {
        delete window;
        return nullptr;
    }
    if (caller) {
        window->setWindowFlags(Qt::Dialog);
        window->setWindowModality(Qt::WindowModal);
    }
    window->show();
    window->raise();
    window->activateWindow();
    // Once the window is up: its progress window then comes in front of it.
    QTimer::singleShot(0, window, &DuplicatesWindow::find);
    return window;
}

DuplicatesWindow *DuplicatesWindow::create(Session &session)
{
    auto *window = new DuplicatesWindow(session);
    if (!window->hasSongs()) {
        delete window;
        return nullptr;
    }
    QTimer::singleShot(0, window, &DuplicatesWindow::find);
    return window;
}

DuplicatesWindow::DuplicatesWindow(Session &session, QWidget *parent)
    : QWidget(parent), m_session(session), m_marks(session.store().database().folder())
{
    setWindowTitle(Caption);
    setAttribute(Qt::WA_DeleteOnClose);
    Store &store = session.store();
    m_uses = session.files().use({&store.table(TableId::Songs), &store.table(TableId::Categories),
                                  &store.table(TableId::PlaylistDetails)});
    if (m_uses) {
        m_rows = std::make_unique<View>(store.table(TableId::Songs), mus::KeyID, QString());
        m_rows->setFields(allSongFields());
        if (!m_rows->open())
            m_rows.reset();
    }

    auto *layout = new QVBoxLayout(this);
    buildRules(layout);

    m_model = new DuplicateGroupModel(
        m_groups,
        [this](int group) {
            const DuplicateGroup &found = m_groups.at(group);
            Cursor::Row row;
            if (!m_rows || !m_rows->rowAt(found.positions.first(), row))
                return QStringLiteral("?");
            return QString::fromUtf8(row.fields.at(mus::Artist).toByteArray()) +
                   QStringLiteral(" - ") +
                   QString::fromUtf8(row.fields.at(mus::Title).toByteArray()) +
                   QStringLiteral("  (%1)").arg(found.ids.size());
        },
        this);
    m_groupList = new QListView;
    m_groupList->setModel(m_model);
    m_groupList->setUniformItemSizes(true);
    m_groupList->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_groupList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { showGroup(current.row()); });

    m_songs = new QTableWidget(0, int(std::size(Columns)));
    QStringList headers;
    for (const Column &column : Columns)
        headers.append(QString::fromUtf8(column.header));
    m_songs->setHorizontalHeaderLabels(headers);
    m_songs->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_songs->setSelectionMode(QAbstractItemView::SingleSelection);
    m_songs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_songs->verticalHeader()->hide();
    m_songs->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_songs->setWordWrap(false);
    connect(m_songs, &QTableWidget::cellDoubleClicked, this,
            [this](int row) { keepAndMerge(row); });

    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(m_groupList);
    splitter->addWidget(m_songs);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    m_status = new QLabel;
    m_merge = new QPushButton(QStringLiteral("&Keep This One, Merge Others"));
    m_merge->setToolTip(QStringLiteral("Keep the highlighted song; the others' play-list entries "
                                       "move to it, its empty fields are filled from theirs, and "
                                       "they are deleted"));
    m_notDuplicates = new QPushButton(QStringLiteral("&Not Duplicates"));
    m_notDuplicates->setToolTip(QStringLiteral("These songs are not the same: do not show them "
                                               "again"));
    auto *done = new QPushButton(QStringLiteral("&Done"));
    connect(m_merge, &QPushButton::clicked, this, [this] { keepAndMerge(m_songs->currentRow()); });
    connect(m_notDuplicates, &QPushButton::clicked, this, &DuplicatesWindow::markNotDuplicates);
    connect(done, &QPushButton::clicked, this, &QWidget::close);
    m_progressRow = new QHBoxLayout;
    m_progressRow->addStretch();
    m_progressRow->addStretch();
    m_progressRow->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_progressRow);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_merge);
    buttons->addWidget(m_notDuplicates);
    buttons->addWidget(done);
    layout->addLayout(buttons);

    showGroup(-1);
    showStatus();
    resize(740, 500);
    restoreWindowPosition(Procedure, this);
}

DuplicatesWindow::~DuplicatesWindow()
{
    // A scan cut off with the window: its progress window goes first, while this one is
    // still whole for its last call.
    delete m_progress.data();
}

void DuplicatesWindow::buildRules(QLayout *layout)
{
    auto *rules = new QHBoxLayout;
    m_compareTimes = new QCheckBox(QStringLiteral("Playing &times within"));
    m_tolerance = new QSpinBox;
    m_tolerance->setRange(0, 60);
    m_tolerance->setValue(3);
    m_tolerance->setSuffix(QStringLiteral(" seconds"));
    m_tolerance->setEnabled(false);
    connect(m_compareTimes, &QCheckBox::toggled, m_tolerance, &QWidget::setEnabled);
    m_compareMixes = new QCheckBox(QStringLiteral("&Mixes must match"));
    m_find = new QPushButton(QStringLiteral("&Find"));
    m_find->setToolTip(QStringLiteral("Look through the songs again with these rules"));
    connect(m_find, &QPushButton::clicked, this, &DuplicatesWindow::find);
    rules->addWidget(new QLabel(QStringLiteral("Same artist and title, and:")));
    rules->addWidget(m_compareTimes);
    rules->addWidget(m_tolerance);
    rules->addSpacing(12);
    rules->addWidget(m_compareMixes);
    rules->addStretch();
    rules->addWidget(m_find);
    static_cast<QBoxLayout *>(layout)->addLayout(rules);
}

void DuplicatesWindow::closeEvent(QCloseEvent *event)
{
    if (m_progress)
        m_progress->cancel();
    saveWindowPosition(Procedure, this);
    event->accept();
}

bool DuplicatesWindow::find()
{
    if (isScanning() || !m_uses)
        return false;
    DuplicateRules rules;
    rules.compareTimes = m_compareTimes->isChecked();
    rules.toleranceSeconds = m_tolerance->value();
    rules.compareMixes = m_compareMixes->isChecked();
    m_marks.load();
    m_groups.clear();
    m_model->reset();
    showGroup(-1);
    m_scan =
        std::make_unique<DuplicateScan>(m_session.store().table(TableId::Songs), rules, m_marks);
    if (!m_scan->start()) {
        m_scan.reset();
        standardWarning(warning::ViewOpen, m_session.store().table(TableId::Songs).label());
        Q_EMIT scanFinished(false);
        return false;
    }
    m_find->setEnabled(false);
    m_status->setText(QStringLiteral("Looking through the songs..."));
    m_progress = new ProgressWindow(QStringLiteral("Finding Duplicates"), this);
    m_progress->setWindowTitle(Caption);
    // Shown in this window rather than over it: it stays in sight wherever the window is,
    // and the rest of the program goes on around it.
    m_progress->setWindowFlags(Qt::Widget);
    m_progressRow->insertWidget(1, m_progress);
    m_progress->setProgressText(QStringLiteral("0% Completed"));
    m_progress->setTickMilliseconds(TickMilliseconds);
    m_progress->run(
        qMax<qint64>(1, m_scan->songsTotal()), RowsPerStep,
        [this] {
            switch (m_scan->step(RowsPerStep)) {
            case DuplicateScan::Step::Going:
                return ProgressWindow::Step::Continue;
            case DuplicateScan::Step::Done:
                return ProgressWindow::Step::Finished;
            case DuplicateScan::Step::Failed:
                break;
            }
            standardWarning(warning::RecordRetrieval,
                            m_session.store().table(TableId::Songs).label());
            return ProgressWindow::Step::Stopped;
        },
        [this](bool completed) {
            if (completed)
                m_groups = m_scan->groups();
            m_scan.reset();
            m_progress = nullptr;
            m_find->setEnabled(true);
            m_model->reset();
            if (!m_groups.isEmpty())
                m_groupList->setCurrentIndex(m_model->index(0));
            showStatus();
            if (!completed)
                m_status->setText(QStringLiteral("The search was stopped."));
            Q_EMIT scanFinished(completed);
        });
    return true;
}

void DuplicatesWindow::showStatus()
{
    if (m_groups.isEmpty())
        m_status->setText(QStringLiteral("No duplicates found."));
    else
        m_status->setText(m_groups.size() == 1 ? QStringLiteral("1 group of duplicates")
                                               : QStringLiteral("%1 groups of duplicates")
                                                     .arg(QLocale().toString(m_groups.size())));
}

int DuplicatesWindow::currentGroup() const
{
    const int row = m_groupList->currentIndex().row();
    return row >= 0 && row < m_groups.size() ? row : -1;
}

// The songs side by side, each differing field highlighted; the song with the most play-list
// entries, else the lowest number, is offered to be kept.
void DuplicatesWindow::showGroup(int group)
{
    m_songs->setRowCount(0);
    m_shown.clear();
    const bool valid = group >= 0 && group < m_groups.size() && m_rows;
    m_merge->setEnabled(valid);
    m_notDuplicates->setEnabled(valid);
    if (!valid)
        return;
    Store &store = m_session.store();
    const QString datePicture = Settings::global().datePicture();
    const TableDef &songs = tableDef(TableId::Songs);
    int offered = 0;
    int mostEntries = -1;
    for (const RecordPosition position : m_groups.at(group).positions) {
        Cursor::Row row;
        if (!m_rows->rowAt(position, row))
            continue; // gone since the search
        const int at = m_songs->rowCount();
        m_songs->insertRow(at);
        const qint64 id = row.fields.at(mus::ID).toLongLong();
        m_shown.append({position, row.revision, id});
        for (int column = 0; column < int(std::size(Columns)); ++column) {
            const int field = Columns[column].field;
            QString text;
            if (field < 0) {
                View entries(store.table(TableId::PlaylistDetails), pla::KeyID, QString());
                entries.setRange(id);
                entries.setFields({pla::ID});
                int count = 0;
                if (entries.open()) {
                    entries.set();
                    while (entries.next())
                        ++count;
                }
                text = QString::number(count);
                if (count > mostEntries) {
                    mostEntries = count;
                    offered = at;
                }
            } else if (field == mus::CategoryID) {
                const qint64 category = row.fields.at(field).toLongLong();
                View named(store.table(TableId::Categories), cat::KeyCategoryID, QString());
                named.setRange(category);
                named.setFields({cat::Category});
                if (category != 0 && named.open()) {
                    named.set();
                    if (named.next())
                        text = QString::fromUtf8(named.row().fields.at(0).toByteArray());
                }
            } else if (songs.fields.at(field).type == FieldType::String) {
                text = QString::fromUtf8(row.fields.at(field).toByteArray());
            } else {
                const qint64 value = row.fields.at(field).toLongLong();
                QString picture = songs.fields.at(field).picture;
                if (field == mus::ReleaseDate)
                    picture = datePicture;
                text = value == 0          ? QString()
                       : picture.isEmpty() ? QString::number(value)
                                           : format(value, picture).trimmed();
            }
            auto *item = new QTableWidgetItem(text);
            if (field < 0 || (field != -1 && songs.fields.at(field).type != FieldType::String))
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_songs->setItem(at, column, item);
        }
    }
    // Every field in which the songs are not alike.
    for (int column = 0; column < m_songs->columnCount(); ++column) {
        bool alike = true;
        for (int r = 1; r < m_songs->rowCount(); ++r)
            alike = alike && m_songs->item(r, column)->text() == m_songs->item(0, column)->text();
        if (alike || Columns[column].field == mus::ID)
            continue;
        for (int r = 0; r < m_songs->rowCount(); ++r)
            m_songs->item(r, column)->setBackground(Differs);
    }
    m_songs->resizeColumnsToContents();
    m_songs->selectRow(offered);
    m_merge->setEnabled(m_shown.size() >= 2);
}

bool DuplicatesWindow::keepAndMerge(int row)
{
    const int group = currentGroup();
    if (group < 0 || row < 0 || row >= m_shown.size() || m_shown.size() < 2)
        return false;
    const Shown kept = m_shown.at(row);
    const QString name =
        m_songs->item(row, 1)->text() + QStringLiteral(" - ") + m_songs->item(row, 2)->text();
    const qsizetype others = m_shown.size() - 1;
    const Message question{
        Caption,
        QStringLiteral("Keep song %1, \"%2\", and merge the other %3 into it?  Their play-list "
                       "entries move to it, its empty fields are filled from theirs, and they "
                       "are deleted.")
            .arg(kept.id)
            .arg(name)
            .arg(others == 1 ? QStringLiteral("song") : QStringLiteral("%1 songs").arg(others)),
        Yes | No, No, Icon::Question};
    if (ask(question) != Yes)
        return false;
    QList<Integrity::SongVersion> merged;
    for (const Shown &song : std::as_const(m_shown)) {
        if (song.position != kept.position)
            merged.append({song.position, song.revision});
    }
    const Integrity::UpdateResult result =
        m_session.integrity().mergeSongs({kept.position, kept.revision}, merged);
    if (result != Integrity::Written) {
        // What changed meanwhile is shown as it now is.
        showGroup(group);
        return false;
    }
    removeGroup(group);
    return true;
}

bool DuplicatesWindow::markNotDuplicates()
{
    const int group = currentGroup();
    if (group < 0)
        return false;
    if (!m_marks.mark(m_groups.at(group).ids)) {
        ask(Message{Caption,
                    QStringLiteral("The songs could not be marked as not duplicates: the file "
                                   "\"SVPDUPES.TXT\" in the catalogue's folder cannot be written."),
                    Ok, Ok, Icon::Exclamation});
        return false;
    }
    removeGroup(group);
    return true;
}

void DuplicatesWindow::removeGroup(int group)
{
    m_groups.removeAt(group);
    m_model->reset();
    if (!m_groups.isEmpty())
        m_groupList->setCurrentIndex(m_model->index(qMin(group, int(m_groups.size()) - 1)));
    else
        showGroup(-1);
    showStatus();
}

} // namespace sv
