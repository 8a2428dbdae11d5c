#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QTreeWidget;
class QTreeWidgetItem;

namespace sv {

class FixRun;
class ProgressWindow;
class RestoreBackupWindow;
class Session;
class Table;

// The maintenance window over every catalogue file: record counts and file names, and
// rebuilding keys, packing, releasing held records or handing a damaged file to the
// repair program, for the tagged files or the highlighted one. The program's own windows
// let go of a file while an action works on it; only another station keeps it.
class FileManager : public QWidget
{
    Q_OBJECT

public:
    enum class Action { Build, Pack, Release, Fix, Info };

    explicit FileManager(Session &session, QWidget *parent = nullptr);
    ~FileManager() override;

    // Opens the window over `caller` (Preferences), which it keeps from being used until it
    // is done, so that the user comes back to the caller; without a caller, a window of its
    // own.
    static FileManager *open(Session &session, QWidget *caller);

    void tagAll(bool tagged);
    void toggleTag(int row);
    // Starts the action on the tagged rows (or the highlighted one); it goes on from the
    // progress window's ticks. False when nothing was started (a run is going on already,
    // or no row has a file).
    bool run(Action action);
    // A run goes on until its progress window closes and any repair it started has ended.
    bool isRunning() const { return !m_progress.isNull() || m_fix; }
    QTreeWidget *list() const { return m_list; }
    // Opens "Restore Backup" over this window; null while an action runs.
    RestoreBackupWindow *openRestoreBackup();

    // At start-up, after a run that stopped while opening a file: offers to repair it.
    // True when the program must end now (the repair has been run).
    static bool offerRepairAfterCrash(Session &session);

    // The repair program; tests point it at the one they built. Empty: the one beside this
    // program, else the one on the PATH.
    static void setRepairProgram(const QString &path);
    static QString repairProgram();

Q_SIGNALS:
    void runFinished(); // the action has run on every file

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void fillList();
    int step(); // ProgressWindow::Step
    void endFix();
    void runOn(Action action, QTreeWidgetItem *row);
    void showCount(QTreeWidgetItem *row, Table &table);
    void build(QTreeWidgetItem *row, Table &table);
    void pack(QTreeWidgetItem *row, Table &table);
    void release(QTreeWidgetItem *row, Table &table);
    void info(QTreeWidgetItem *row, Table &table);
    bool withFileToItself(Table &table, const std::function<bool()> &work);
    void workOnFile(QTreeWidgetItem *row, Table &table, const std::function<bool()> &work,
                    const QString &failure);
    Table *tableOf(QTreeWidgetItem *row) const;

    Session &m_session;
    QTreeWidget *m_list = nullptr;
    QString m_listFormat;
    QPointer<ProgressWindow> m_progress;
    Action m_action = Action::Info;
    QList<QTreeWidgetItem *> m_pending;
    std::unique_ptr<FixRun> m_fix;
    QTreeWidgetItem *m_fixRow = nullptr;
};

} // namespace sv
