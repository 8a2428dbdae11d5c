#pragma once

#include <QDialog>
#include <QTimer>

#include <functional>

class QLabel;
class QPushButton;

namespace sv {

// "Processing Records": runs a batch one record at a time from a timer, RecordsPerTick
// records a tick, so the program's other windows keep working and Cancel acts at once.
// No nested event loop and no thread: every tick returns to the event loop.
class ProgressWindow : public QDialog
{
    Q_OBJECT

public:
    enum class Step {
        Continue, // one record handled
        Yield,    // one record handled; the next in the next tick (a long step per record)
        Wait,     // nothing handled yet (waiting for another program): asked again next tick
        Finished, // the end of the table: the process ran to the end
        Stopped,  // an error, already reported
    };
    static constexpr int RecordsPerTick = 25;
    static constexpr int TickMilliseconds = 10;

    ProgressWindow(const QString &message, QWidget *parent);
    ~ProgressWindow() override;

    // Shows the window and starts the ticks. Progress is measured in `total` units of
    // which each record counts `unitsPerRecord`. `finished` is called once, with true when
    // `step` reached Finished and false on Cancel or Stopped, before the window closes (and
    // with false when the window goes with its parent before the end).
    void run(qint64 total, qint64 unitsPerRecord, std::function<Step()> step,
             std::function<void(bool completed)> finished);

    // The size of the run in units, for a run that learns it only from its first records.
    void setTotal(qint64 total) { m_total = total; }
    // Records handled in one tick, for runs whose records each take a few microseconds.
    void setRecordsPerTick(int records) { m_recordsPerTick = qMax(1, records); }
    // Instead of a count, records for about this long each tick (at least one), for runs
    // whose records take a few microseconds but vary in cost.
    void setTickMilliseconds(int milliseconds) { m_tickMilliseconds = milliseconds; }
    // The units done so far, for a run whose records are of unequal size (bytes of a
    // file); from then on progress follows these instead of the records counted.
    void setUnitsDone(qint64 units) { m_unitsDone = units; }
    QString message() const;
    void setMessage(const QString &message);
    QString progressText() const;
    // The percentage line before the first record ("0% Completed" for processes that show it).
    void setProgressText(const QString &text);
    qint64 recordsDone() const { return m_records; }
    // Asked when the user cancels, before the run stops: true stops it, false lets it go
    // on. `escape` tells Esc and the title bar's close from the Cancel button. Records are
    // not handled while it asks.
    void setCancelCheck(std::function<bool(bool escape)> check)
    {
        m_cancelCheck = std::move(check);
    }
    void cancel();
    void reject() override; // Escape and the title bar's close act as Cancel

Q_SIGNALS:
    void progressTextChanged(const QString &text);

private:
    void tick();
    void countRecord();
    void requestCancel(bool escape);
    bool confirmCancel(bool escape);
    void stop(bool completed);
    void finish(bool completed);

    QLabel *m_message;
    QLabel *m_progress;
    QPushButton *m_cancel;
    QTimer m_timer;

    std::function<Step()> m_step;
    std::function<void(bool)> m_finished;
    std::function<bool(bool)> m_cancelCheck;
    qint64 m_total = 0;
    qint64 m_unitsPerRecord = 1;
    qint64 m_records = 0;
    qint64 m_unitsDone = -1;
    int m_recordsPerTick = RecordsPerTick;
    int m_tickMilliseconds = 0;
    int m_percent = -1;
    bool m_inTick = false;
    bool m_cancelRequested = false;
    bool m_cancelByEscape = false;
    bool m_asking = false; // the cancel check's question is on screen
    bool m_done = false;
};

} // namespace sv
