#pragma once

#include "duplicates.h"

#include "store/fileaccess.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QListView;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace sv {

class DuplicateGroupModel;
class ProgressWindow;
class Session;

// "Find Duplicates": looks through the songs for ones that are the same by the rules chosen,
// lists the groups found, and shows the songs of a group side by side with every field in
// which they differ highlighted. The user keeps one song of a group and merges the others
// into it, or says the group is not duplicates so that it is not shown again.
class DuplicatesWindow : public QWidget
{
    Q_OBJECT

public:
    explicit DuplicatesWindow(Session &session, QWidget *parent = nullptr);
    ~DuplicatesWindow() override;

    // Opens the window over `caller` (Preferences), which waits for it; without a caller,
    // a window of its own. Null when the song file could not be opened (the user was told).
    static DuplicatesWindow *open(Session &session, QWidget *caller);
    // The window for the frame to show as one of its own; it starts looking once shown.
    // Null when the song file could not be opened (the user was told).
    static DuplicatesWindow *create(Session &session);
    bool hasSongs() const { return bool(m_uses); }

    // Looks for duplicates with the rules shown; the scan goes on from its progress window.
    // False when a scan is running already.
    bool find();
    bool isScanning() const { return !m_progress.isNull(); }
    const QList<DuplicateGroup> &groups() const { return m_groups; }
    QListView *groupList() const { return m_groupList; }
    QTableWidget *songTable() const { return m_songs; }
    void showGroup(int group);
    // Keeps the song in `row` of the song table and merges the others into it, after a
    // question; true when merged.
    bool keepAndMerge(int row);
    // Marks the group shown as not duplicates; true when marked.
    bool markNotDuplicates();

Q_SIGNALS:
    void scanFinished(bool completed);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildRules(QLayout *layout);
    void showStatus();
    void removeGroup(int group);
    int currentGroup() const;

    Session &m_session;
    TableUses m_uses;
    NotDuplicates m_marks;
    QList<DuplicateGroup> m_groups;
    std::unique_ptr<DuplicateScan> m_scan;
    QPointer<ProgressWindow> m_progress;
    std::unique_ptr<View> m_rows; // reads a song's fields by position, leaving the buffer alone
    struct Shown
    {
        RecordPosition position;
        qint64 revision;
        qint64 id;
    };
    QList<Shown> m_shown; // the songs in the song table, by row

    QCheckBox *m_compareTimes = nullptr;
    QSpinBox *m_tolerance = nullptr;
    QCheckBox *m_compareMixes = nullptr;
    QListView *m_groupList = nullptr;
    DuplicateGroupModel *m_model = nullptr;
    QTableWidget *m_songs = nullptr;
    QLabel *m_status = nullptr;
    QHBoxLayout *m_progressRow = nullptr;
    QPushButton *m_merge = nullptr;
    QPushButton *m_notDuplicates = nullptr;
    QPushButton *m_find = nullptr;
};

} // namespace sv
