#include "filemanager.h"

#include "filework.h"
#include "restorebackup.h"

#include "app/listformat.h"
#include "app/progresswindow.h"
#include "app/session.h"
#include "app/windowposition.h"
#include "platform/paths.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/stationlock.h"
#include "store/warnings.h"

#include "store/serverdatabase.h"
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>

#include <QFileInfo>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace sv {

namespace {

const QString Procedure = QStringLiteral("FileManager");
const QString DesignedFormat =
    QStringLiteral("14C|M@s2@120L(2)|M~Table~@s50@44R(2)|M~Records~@s10@300L(2)|M~File~@s144@");
const QString EventLogLabel = QStringLiteral("EventLog");

enum Column { TagColumn, TableColumn, RecordsColumn, FileColumn };

// The rows of the list, one per catalogue file.
const QStringList &rowLabels()
{
    static const QStringList labels = {
        QStringLiteral("AddWizard"),     QStringLiteral("Album"),
        QStringLiteral("Categories"),    EventLogLabel,
        QStringLiteral("Fonts"),         QStringLiteral("Labels"),
        QStringLiteral("SVPTips"),       QStringLiteral("Media"),
        QStringLiteral("Songvane"),      QStringLiteral("PlaylistDetails"),
        QStringLiteral("PlaylistMaster")};
    return labels;
}

QIcon tickIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 128, 0), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
    return QIcon(pixmap);
}

QString &repairProgramOverride()
{
    static QString path;
    return path;
}

QString progressText(const QString &table, int left)
{
    return QStringLiteral("Current File : %1\nFiles Left     : %2")
        .arg(table.left(20))
        .arg(left, 3);
}

} // namespace

void FileManager::setRepairProgram(const QString &path)
{
    repairProgramOverride() = path;
}

// The repair program ships beside this one; otherwise it is looked for on the PATH.
QString FileManager::repairProgram()
{
    if (!repairProgramOverride().isEmpty())
        return repairProgramOverride();
    const QString beside =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tpsfix"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("tpsfix"));
    return onPath.isEmpty() ? QStringLiteral("tpsfix") : onPath;
}

FileManager *FileManager::open(Session &session, QWidget *caller)
{
    auto *manager = new FileManager(session, caller);
    if (caller) {
        // Over its caller, which waits for it: the window comes in front of Preferences and
        // takes the clicks, and closing it gives Preferences back.
        manager->setWindowFlags(Qt::Dialog);
        manager->setWindowModality(Qt::WindowModal);
    }
    manager->show();
    manager->raise();
    manager->activateWindow();
    return manager;
}

FileManager::FileManager(Session &session, QWidget *parent) : QWidget(parent), m_session(session)
{
    setWindowTitle(QStringLiteral("File Manager"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_list = new QTreeWidget;
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels(
        {QString(), QStringLiteral("Table"), QStringLiteral("Records"), QStringLiteral("File")});
    m_list->setAllColumnsShowFocus(true);
    m_list->setUniformRowHeights(true);
    connect(m_list, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { toggleTag(m_list->indexOfTopLevelItem(item)); });

    struct ButtonSpec
    {
        const char *text;
        const char *hint;
        std::function<void()> pressed;
    };
    const ButtonSpec buttons[] = {
        {"&Tag All", "Tag all the files", [this] { tagAll(true); }},
        {"&Untag All", "Untag all of the files", [this] { tagAll(false); }},
        {"&Build", "Build the key files for the tagged data files", [this] { run(Action::Build); }},
        {"&Pack", "Pack the tagged data files", [this] { run(Action::Pack); }},
        {"&Release", "Release any held records in the tagged files",
         [this] { run(Action::Release); }},
        {"&Fix", "", [this] { run(Action::Fix); }},
        {"&Info", "", [this] { run(Action::Info); }},
        {"Restore Bac&kup...", "Put a backup of the catalogue in its place",
         [this] { openRestoreBackup(); }},
        {"&Done", "Close this window", [this] { close(); }},
    };
    auto *buttonColumn = new QVBoxLayout;
    for (const ButtonSpec &entry : buttons) {
        auto *button = new QPushButton(QString::fromUtf8(entry.text));
        button->setToolTip(QString::fromUtf8(entry.hint));
        button->setStatusTip(QString::fromUtf8(entry.hint));
        connect(button, &QPushButton::clicked, this, entry.pressed);
        buttonColumn->addWidget(button);
    }
    buttonColumn->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttonColumn);

    fillList();
    m_listFormat =
        restoredListFormat(Procedure, QStringLiteral("ListQueue"), QString(), DesignedFormat);
    applyColumnWidths(m_listFormat, m_list->header());
    resize(640, 360);
    restoreWindowPosition(Procedure, this);
}

FileManager::~FileManager()
{
    // A run cut off with the window: its progress window goes first, while this one is
    // still whole for its last call.
    delete m_progress.data();
}

void FileManager::closeEvent(QCloseEvent *event)
{
    // The repair program is replacing a file: the window stays until it has and has been
    // reported.
    if (m_fix) {
        event->ignore();
        return;
    }
    if (m_progress)
        m_progress->cancel();
    saveListFormat(Procedure, QStringLiteral("ListQueue"), QString(),
                   withColumnWidths(m_listFormat, m_list->header()));
    saveWindowPosition(Procedure, this);
    event->accept();
}

void FileManager::fillList()
{
    for (const QString &label : rowLabels()) {
        auto *row = new QTreeWidgetItem(m_list);
        row->setData(TagColumn, Qt::UserRole, QString());
        row->setText(TableColumn, label);
        row->setText(RecordsColumn, QStringLiteral("?"));
        row->setTextAlignment(RecordsColumn, Qt::AlignRight | Qt::AlignVCenter);
    }
    m_list->setCurrentItem(m_list->topLevelItem(0));
}

void FileManager::tagAll(bool tagged)
{
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = m_list->topLevelItem(row);
        item->setData(TagColumn, Qt::UserRole, tagged ? QStringLiteral("1") : QString());
        item->setIcon(TagColumn, tagged ? tickIcon() : QIcon());
    }
}

void FileManager::toggleTag(int row)
{
    QTreeWidgetItem *item = m_list->topLevelItem(row);
    if (!item)
        return;
    const bool tagged = item->data(TagColumn, Qt::UserRole).toString() != u"1";
    item->setData(TagColumn, Qt::UserRole, tagged ? QStringLiteral("1") : QString());
    item->setIcon(TagColumn, tagged ? tickIcon() : QIcon());
}

Table *FileManager::tableOf(QTreeWidgetItem *row) const
{
    return row ? m_session.store().tableByLabel(row->text(TableColumn)) : nullptr;
}

bool FileManager::run(Action action)
{
    if (isRunning())
        return false;
    if (const ServerDatabase *server = m_session.store().database().server();
        server && (action == Action::Release || action == Action::Fix)) {
        inform(QStringLiteral("Information"),
               (action == Action::Release
                    ? QStringLiteral("The catalogue is on the server %1, which holds no record "
                                     "between writes: there is nothing to release.")
                    : QStringLiteral("The catalogue is on the server %1, which keeps its "
                                     "tables sound by itself: Fix mends table files and has "
                                     "nothing to do there. Build and Pack work on the server's "
                                     "tables."))
                   .arg(server->server()));
        return false;
    }
    QList<QTreeWidgetItem *> tagged;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = m_list->topLevelItem(row);
        if (item->data(TagColumn, Qt::UserRole).toString() == u"1" && tableOf(item))
            tagged.append(item);
    }
    if (tagged.isEmpty() && tableOf(m_list->currentItem()))
        tagged.append(m_list->currentItem());
    if (tagged.isEmpty())
        return false;
    m_action = action;
    m_pending = tagged;
    m_progress = new ProgressWindow(
        progressText(tagged.first()->text(TableColumn), int(tagged.size())), this);
    m_progress->setWindowTitle(QStringLiteral("File Manager"));
    m_progress->run(
        tagged.size(), 1, [this] { return ProgressWindow::Step(step()); },
        [this](bool) {
            m_pending.clear();
            m_progress = nullptr; // the window is on its way out
            if (m_fix) {
                // Cancelled while the repair program replaces a file: cut short, it could
                // leave the file half swapped, so it runs to its end and is reported then.
                m_fix->whenFinished(this, [this] {
                    endFix();
                    Q_EMIT runFinished();
                });
                return;
            }
            Q_EMIT runFinished();
        });
    return true;
}

// One file a tick, so the progress window shows each; a repair is waited for tick by tick.
int FileManager::step()
{
    if (m_fix) {
        if (m_fix->running())
            return int(ProgressWindow::Step::Wait);
        endFix();
        return int(ProgressWindow::Step::Yield);
    }
    if (m_pending.isEmpty())
        return int(ProgressWindow::Step::Finished);
    QTreeWidgetItem *row = m_pending.takeFirst();
    m_progress->setMessage(progressText(row->text(TableColumn), int(m_pending.size()) + 1));
    if (m_action == Action::Fix) {
        m_fix = std::make_unique<FixRun>(m_session, *tableOf(row));
        m_fixRow = row;
        if (m_fix->start())
            return int(ProgressWindow::Step::Wait);
        m_fix.reset();
        return int(ProgressWindow::Step::Yield);
    }
    runOn(m_action, row);
    return int(ProgressWindow::Step::Yield);
}

// Tells what the repair gave and shows the file's count again.
void FileManager::endFix()
{
    m_fix->finish();
    m_fix.reset();
    if (Table *table = tableOf(m_fixRow))
        showCount(m_fixRow, *table);
}

void FileManager::runOn(Action action, QTreeWidgetItem *row)
{
    Table &table = *tableOf(row);
    switch (action) {
    case Action::Build:
        build(row, table);
        break;
    case Action::Pack:
        pack(row, table);
        break;
    case Action::Release:
        release(row, table);
        break;
    case Action::Info:
        info(row, table);
        break;
    case Action::Fix:
        break; // waited for by step()
    }
}

// The program's windows let go of the file and no other station may have it open while
// `work` runs on it through a connection of its own; the windows have it back afterwards.
bool FileManager::withFileToItself(Table &table, const std::function<bool()> &work)
{
    // The server takes the locks its work needs and waits for other stations by itself.
    if (m_session.store().database().server())
        return work();
    TableRelease release(m_session, table);
    StationLock alone;
    if (!alone.take(table.fileName(), StationLock::Kind::Exclusive)) {
        if (errorCode() == err::FileLocked)
            informExclusiveAccess();
        else
            inform(QStringLiteral("Error"), QStringLiteral("Error opening file : ") +
                                                table.label() + QStringLiteral(" Error : ") +
                                                errorText());
        return false;
    }
    const bool done = work();
    alone.release();
    return release.reopen() && done;
}

void FileManager::showCount(QTreeWidgetItem *row, Table &table)
{
    const bool openedHere = !table.isOpen() && table.open(OpenMode::ReadOnly);
    const qint64 records = table.isOpen() ? table.records() : -1;
    row->setText(RecordsColumn, records >= 0 && errorCode() == err::None ? QString::number(records)
                                                                         : QStringLiteral("?"));
    if (openedHere)
        table.close();
}

void FileManager::build(QTreeWidgetItem *row, Table &table)
{
    table.send(QStringLiteral("FULLBUILD=on"));
    workOnFile(
        row, table, [&] { return table.build(); }, QStringLiteral("Error building keys for "));
}

// Packed through a connection of its own: packing needs an attachment the station's
// connection may not have to spare.
void FileManager::pack(QTreeWidgetItem *row, Table &table)
{
    workOnFile(
        row, table, [&] { return table.pack(); }, QStringLiteral("Error packing "));
}

// Runs `work` with the file to itself; a failure is shown with what failed, else the count.
void FileManager::workOnFile(QTreeWidgetItem *row, Table &table, const std::function<bool()> &work,
                             const QString &failure)
{
    const bool done = withFileToItself(table, [&] {
        if (work())
            return true;
        inform(QStringLiteral("Error"),
               failure + table.label() + QStringLiteral(" : ") + warningErrorText());
        return false;
    });
    if (done)
        showCount(row, table);
}

// Records are never held between statements here, so the scan finds none to release; it
// still reads the whole file, which shows whether every record can be read.
void FileManager::release(QTreeWidgetItem *row, Table &table)
{
    TableRelease others(m_session, table);
    table.send(QStringLiteral("RECOVER=1"));
    if (!table.open(OpenMode::Exclusive)) {
        informExclusiveAccess();
        return;
    }
    table.send(QStringLiteral("IGNORESTATUS=ON"));
    table.setFileOrder();
    while (table.next()) {
        if (table.send(QStringLiteral("HELDON")) == u"ON") {
            table.send(QStringLiteral("RECOVER=1"));
            (void)table.reget(table.position());
        }
    }
    if (errorCode() != err::RecordNotAvailable)
        inform(QStringLiteral("Error"), QStringLiteral("Error reading ") + table.label() +
                                            QStringLiteral(" : ") + warningErrorText());
    table.send(QStringLiteral("RECOVER=0"));
    table.send(QStringLiteral("IGNORESTATUS=OFF"));
    row->setText(RecordsColumn, QString::number(table.records()));
    table.close();
}

void FileManager::info(QTreeWidgetItem *row, Table &table)
{
    const bool openedHere = table.open(OpenMode::ReadOnly);
    if (!openedHere && errorCode() != err::AlreadyOpen) {
        inform(QStringLiteral("Error"), QStringLiteral("Error opening file : ") + table.label() +
                                            QStringLiteral(" Error : ") + errorText());
        row->setText(RecordsColumn, QStringLiteral("?"));
        return;
    }
    row->setText(RecordsColumn, QString::number(table.records()));
    row->setText(FileColumn, table.location());
    // Left open read-only, the table would later be taken as open by the procedures that
    // write to it.
    if (openedHere)
        table.close();
}

RestoreBackupWindow *FileManager::openRestoreBackup()
{
    if (isRunning())
        return nullptr;
    auto *window = new RestoreBackupWindow(m_session, this);
    // The counts shown are of the files that were put aside.
    connect(window, &RestoreBackupWindow::restored, this, [this] {
        for (int index = 0; index < m_list->topLevelItemCount(); ++index) {
            QTreeWidgetItem *row = m_list->topLevelItem(index);
            if (Table *table = tableOf(row))
                showCount(row, *table);
        }
    });
    window->open();
    return window;
}

bool FileManager::offerRepairAfterCrash(Session &session)
{
    const QString badFile = FileAccess::badFile().trimmed();
    if (badFile.isEmpty())
        return false;
    const Message question{
        QStringLiteral("Warning"),
        QStringLiteral("Warning : The program may have crashed attempting to open the file ") +
            badFile + QStringLiteral(". Do you wish to have the program attempt ") +
            QStringLiteral("to fix the file ? "),
        Yes | No, Yes, Icon::Question};
    if (ask(question) != Yes)
        return false;
    inform(QStringLiteral("Information"),
           QStringLiteral("This program needs to close while the Fix Utility attempts to fix the "
                          "file. When the fix program finishes running you can run this "
                          "application again."));
    // The mark goes whatever the repair gives: a file it cannot mend must not stop every
    // start here again.
    FileAccess::setBadFile(QString());
    Table *table = nullptr;
    for (TableId id : allTables()) {
        if (tableDef(id).fileName.compare(badFile, Qt::CaseInsensitive) == 0)
            table = &session.store().table(id);
    }
    if (!table)
        return true;
    FixRun fix(session, *table);
    if (!fix.start())
        return true;
    // Nothing else runs yet: the program's own event loop serves the progress window until
    // the repair ends, and the program ends with it.
    auto *progress = new ProgressWindow(progressText(table->label(), 1), nullptr);
    progress->setWindowTitle(QStringLiteral("File Manager"));
    progress->run(
        1, 1,
        [&fix] {
            if (fix.running())
                return ProgressWindow::Step::Wait;
            fix.finish();
            return ProgressWindow::Step::Finished;
        },
        [](bool) { QCoreApplication::quit(); });
    QCoreApplication::exec();
    return true;
}

} // namespace sv
