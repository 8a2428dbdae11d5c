#include "filemanager.h"

#include "app/listformat.h"
#include "app/session.h"
#include "app/windowposition.h"
#include "platform/paths.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QProcess>
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

FileManager::ProcessStarter &processStarter()
{
    static FileManager::ProcessStarter starter =
        [](const QString &program, const QStringList &arguments, const QString &folder) {
            return QProcess::startDetached(program, arguments, folder);
        };
    return starter;
}

// The repair program ships beside this one; otherwise it is looked for on the PATH.
QString repairProgram()
{
    const QString beside =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tpsfix"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("tpsfix"));
    return onPath.isEmpty() ? QStringLiteral("tpsfix") : onPath;
}

void inform(const QString &caption, const QString &text)
{
    ask(Message{caption, text, Ok, Ok, Icon::Information});
}

// A small window that shows which file an action works on and how many are left.
class ProgressWindow : public QWidget
{
public:
    explicit ProgressWindow(QWidget *parent) : QWidget(parent, Qt::Tool | Qt::WindowTitleHint)
    {
        setWindowTitle(QStringLiteral("File Manager"));
        auto *grid = new QGridLayout(this);
        grid->addWidget(new QLabel(QStringLiteral("Current File :")), 0, 0);
        grid->addWidget(m_current = new QLabel, 0, 1);
        grid->addWidget(new QLabel(QStringLiteral("Files Left     :")), 1, 0);
        grid->addWidget(m_left = new QLabel, 1, 1);
        m_current->setMinimumWidth(fontMetrics().averageCharWidth() * 20);
    }

    void show(const QString &table, int left)
    {
        m_current->setText(table.left(20));
        m_left->setText(QString::number(left));
        QWidget::show();
        QCoreApplication::processEvents();
    }

private:
    QLabel *m_current = nullptr;
    QLabel *m_left = nullptr;
};

} // namespace

void FileManager::setProcessStarter(ProcessStarter starter)
{
    if (!starter)
        starter = [](const QString &program, const QStringList &arguments, const QString &folder) {
            return QProcess::startDetached(program, arguments, folder);
        };
    processStarter() = std::move(starter);
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

FileManager::~FileManager() = default;

void FileManager::closeEvent(QCloseEvent *event)
{
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

void FileManager::run(Action action)
{
    QList<QTreeWidgetItem *> tagged;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = m_list->topLevelItem(row);
        if (item->data(TagColumn, Qt::UserRole).toString() == u"1" && tableOf(item))
            tagged.append(item);
    }
    if (tagged.isEmpty() && tableOf(m_list->currentItem()))
        tagged.append(m_list->currentItem());
    ProgressWindow progress(this);
    for (qsizetype i = 0; i < tagged.size(); ++i) {
        progress.show(tagged.at(i)->text(TableColumn), int(tagged.size() - i));
        runOn(action, tagged.at(i));
    }
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
        fix(m_session, table, true);
        break;
    }
}

bool FileManager::openExclusively(Table &table)
{
    if (table.open(OpenMode::Exclusive))
        return true;
    inform(QStringLiteral("File Access Error"),
           QStringLiteral("This option requires exclusive file access.\nPlease ensure no other "
                          "users are in the system."));
    return false;
}

void FileManager::showCount(QTreeWidgetItem *row, Table &table)
{
    const qint64 records = table.records();
    row->setText(RecordsColumn,
                 errorCode() == err::None ? QString::number(records) : QStringLiteral("?"));
}

void FileManager::build(QTreeWidgetItem *row, Table &table)
{
    if (!openExclusively(table))
        return;
    table.send(QStringLiteral("FULLBUILD=on"));
    if (!table.build())
        inform(QStringLiteral("Error"), QStringLiteral("Error rebuilding file : ") + table.label() +
                                            QStringLiteral(" Error : ") + warningErrorText());
    showCount(row, table);
    table.close();
}

void FileManager::pack(QTreeWidgetItem *row, Table &table)
{
    if (!openExclusively(table))
        return;
    if (!table.pack())
        inform(QStringLiteral("Error"), QStringLiteral("Error packing file : ") + table.label() +
                                            QStringLiteral(" Error : ") + warningErrorText());
    showCount(row, table);
    table.close();
}

// Records are never held between statements here, so the scan finds none to release; it
// still reads the whole file, which shows whether every record can be read.
void FileManager::release(QTreeWidgetItem *row, Table &table)
{
    table.send(QStringLiteral("RECOVER=1"));
    if (!openExclusively(table))
        return;
    table.send(QStringLiteral("IGNORESTATUS=ON"));
    table.setFileOrder();
    while (table.next()) {
        if (table.send(QStringLiteral("HELDON")) == u"ON") {
            table.send(QStringLiteral("RECOVER=1"));
            table.reget(table.position());
        }
    }
    table.send(QStringLiteral("RECOVER=0"));
    table.send(QStringLiteral("IGNORESTATUS=OFF"));
    showCount(row, table);
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
    showCount(row, table);
    row->setText(FileColumn, table.fileName());
    // Left open read-only, the table would later be taken as open by the procedures that
    // write to it.
    if (openedHere)
        table.close();
}

void FileManager::fix(Session &session, Table &table, bool checkAccess)
{
    // The repair program replaces the file: nobody may be using it meanwhile.
    if (checkAccess) {
        if (!table.open(OpenMode::Exclusive)) {
            inform(QStringLiteral("File Access Error"),
                   QStringLiteral("This option requires exclusive file access.\nPlease ensure "
                                  "no other users are in the system."));
            return;
        }
        table.close();
    }
    const QString name = table.definition().fileName;
    const QString example = name + QStringLiteral(".tpe");
    if (!session.upgrades().isAnnounced(table.definition())) {
        inform(QStringLiteral("Error"), QStringLiteral("Unable to create TPE Example file."));
        return;
    }
    if (!session.upgrades().makeTpe(table.definition(), Paths::inWorkingFolder(example))) {
        inform(QStringLiteral("Error"), QStringLiteral("Error creating TPE file : ") + errorText());
        return;
    }
    const QStringList arguments{name + QStringLiteral(".tps"), QStringLiteral("/E:") + example,
                                QStringLiteral("/K")};
    if (!processStarter()(repairProgram(), arguments, Paths::workingFolder()))
        inform(QStringLiteral("Error"),
               QStringLiteral("The repair program tpsfix could not be started."));
}

bool FileManager::offerRepairAfterCrash(Session &session)
{
    const QString badFile = FileAccess::badFile();
    if (badFile.trimmed().isEmpty())
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
    for (TableId id : allTables()) {
        if (tableDef(id).fileName.compare(badFile.trimmed(), Qt::CaseInsensitive) == 0)
            fix(session, session.store().table(id), false);
    }
    FileAccess::setBadFile(QString());
    return true;
}

} // namespace sv
