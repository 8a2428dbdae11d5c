#include "progresswindow.h"

#include "platform/picture.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sv {

ProgressWindow::ProgressWindow(const QString &message, QWidget *parent)
    : QDialog(parent), m_message(new QLabel(message)), m_progress(new QLabel),
      m_cancel(new QPushButton(QStringLiteral("Cancel")))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Processing Records"));
    setModal(false);
    m_message->setAlignment(Qt::AlignCenter);
    m_progress->setAlignment(Qt::AlignCenter);
    m_progress->setMinimumWidth(260);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_cancel, &QPushButton::clicked, this, &ProgressWindow::cancel);
    m_timer.setInterval(TickMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, &ProgressWindow::tick);
}

ProgressWindow::~ProgressWindow()
{
    // Closed with its parent while running: the process must still end (commit, release).
    if (!m_done)
        stop(false);
}

QString ProgressWindow::message() const
{
    return m_message->text();
}

void ProgressWindow::setMessage(const QString &message)
{
    m_message->setText(message);
}

QString ProgressWindow::progressText() const
{
    return m_progress->text();
}

void ProgressWindow::run(qint64 total, qint64 unitsPerRecord, std::function<Step()> step,
                         std::function<void(bool)> finished)
{
    m_total = total;
    m_unitsPerRecord = qMax<qint64>(unitsPerRecord, 1);
    m_step = std::move(step);
    m_finished = std::move(finished);
    show();
    m_timer.start();
}

void ProgressWindow::tick()
{
    // A warning shown by a step may run an event loop of its own, and the timer must not
    // start another tick inside it.
    if (m_inTick || m_done || m_asking)
        return;
    m_inTick = true;
    Step outcome = Step::Continue;
    QElapsedTimer clock;
    clock.start();
    const auto more = [&](int done) {
        return m_tickMilliseconds > 0 ? clock.elapsed() < m_tickMilliseconds
                                      : done < m_recordsPerTick;
    };
    for (int i = 0; (i == 0 || more(i)) && !m_cancelRequested; ++i) {
        outcome = m_step();
        if (outcome == Step::Continue || outcome == Step::Yield)
            countRecord();
        if (outcome != Step::Continue)
            break;
    }
    m_inTick = false;
    if (m_cancelRequested && outcome != Step::Stopped && outcome != Step::Finished) {
        m_cancelRequested = false;
        if (!confirmCancel(m_cancelByEscape))
            return;
        m_cancelRequested = true;
    }
    if (m_cancelRequested || outcome == Step::Stopped) {
        finish(false);
    } else if (outcome == Step::Finished) {
        setProgressText(QStringLiteral("Process Completed"));
        finish(true);
    }
}

void ProgressWindow::countRecord()
{
    ++m_records;
    if (m_percent >= 100)
        return;
    const qint64 done = m_unitsDone >= 0 ? m_unitsDone : m_records * m_unitsPerRecord;
    const int percent = m_total > 0 ? int(qMin<qint64>(done * 100 / m_total, 100)) : 100;
    if (percent == m_percent)
        return;
    m_percent = percent;
    setProgressText(format(percent, u"N3") + QStringLiteral("% Completed"));
}

void ProgressWindow::setProgressText(const QString &text)
{
    m_progress->setText(text);
    Q_EMIT progressTextChanged(text);
}

void ProgressWindow::cancel()
{
    requestCancel(false);
}

void ProgressWindow::reject()
{
    requestCancel(true);
}

void ProgressWindow::requestCancel(bool escape)
{
    if (m_done || m_asking)
        return;
    if (m_inTick) {
        // The tick ends after its current record, and asks then.
        m_cancelRequested = true;
        m_cancelByEscape = escape;
        return;
    }
    if (confirmCancel(escape))
        finish(false);
}

bool ProgressWindow::confirmCancel(bool escape)
{
    if (!m_cancelCheck)
        return true;
    m_asking = true;
    const bool stop = m_cancelCheck(escape);
    m_asking = false;
    return stop && !m_done;
}

void ProgressWindow::stop(bool completed)
{
    m_done = true;
    m_timer.stop();
    const std::function<void(bool)> finished = std::move(m_finished);
    if (finished)
        finished(completed);
    m_step = nullptr;
}

void ProgressWindow::finish(bool completed)
{
    if (m_done)
        return;
    stop(completed);
    QDialog::done(completed ? Accepted : Rejected); // closes; deleted later
}

} // namespace sv
