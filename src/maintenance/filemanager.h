#pragma once

#include <QWidget>

#include <functional>

class QTreeWidget;
class QTreeWidgetItem;

namespace sv {

class Session;
class Table;

// The maintenance window over every catalogue file: record counts and file names, and
// rebuilding keys, packing, releasing held records or handing a damaged file to the
// repair program, for the tagged files or the highlighted one.
class FileManager : public QWidget
{
    Q_OBJECT

public:
    enum class Action { Build, Pack, Release, Fix, Info };

    explicit FileManager(Session &session, QWidget *parent = nullptr);
    ~FileManager() override;

    void tagAll(bool tagged);
    void toggleTag(int row);
    void run(Action action);
    QTreeWidget *list() const { return m_list; }

    // At start-up, after a run that stopped while opening a file: offers to repair it.
    // True when the program must end now (the repair program has been started).
    static bool offerRepairAfterCrash(Session &session);

    // Starts the repair program without waiting; tests replace it to see the command line.
    using ProcessStarter = std::function<bool(const QString &program, const QStringList &arguments,
                                              const QString &folder)>;
    static void setProcessStarter(ProcessStarter starter);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void fillList();
    void runOn(Action action, QTreeWidgetItem *row);
    void showCount(QTreeWidgetItem *row, Table &table);
    bool openExclusively(Table &table);
    void build(QTreeWidgetItem *row, Table &table);
    void pack(QTreeWidgetItem *row, Table &table);
    void release(QTreeWidgetItem *row, Table &table);
    void info(QTreeWidgetItem *row, Table &table);
    static void fix(Session &session, Table &table, bool checkAccess);
    Table *tableOf(QTreeWidgetItem *row) const;

    Session &m_session;
    QTreeWidget *m_list = nullptr;
    QString m_listFormat;
};

} // namespace sv
