#pragma once

#include "reportsource.h"

#include <QMdiArea>
#include <QObject>
#include <QPointer>

#include "app/progresswindow.h"
#include "platform/prompter.h"

#include <memory>

namespace sv {

class ProgressWindow;
class Session;

namespace reports {

class PreviewWindow;

// One run of a report with its windows: the progress window while the records are read
// on the event loop's timer, then the preview, the printer, or the note that nothing was
// printed. It deletes itself when the run has ended.
class ReportRun : public QObject
{
    Q_OBJECT

public:
    enum class Destination { Preview, Printer };
    ReportRun(Session &session, std::unique_ptr<ReportSource> source, Destination destination,
              QWidget *parent);
    ~ReportRun() override;

    // Opens the tables and the progress window and starts reading; false when a table could
    // not be opened (the user has been told; the run is then deleted later).
    bool start();
    ProgressWindow *progressWindow() const { return m_progress; }
    // Where the preview of this run opens: the frame's work area when given.
    void setWorkArea(QMdiArea *area) { m_area = area; }

    // A run without windows, to the end: the pages, or null when a table could not be
    // opened or the pages could not be stored (`error` says why when it was not a
    // warning already shown). `progress` is told the records done and to do.
    static std::shared_ptr<PageList>
    runToEnd(ReportSource &source, QString &error,
             const std::function<void(qint64, qint64)> &progress = {});

Q_SIGNALS:
    // The run ended: the preview (or null) is open, or the pages went to the printer.
    void ended(PreviewWindow *preview);

private:
    bool confirmCancel(bool escape);
    void runFinished(bool completed);
    void endRun(PreviewWindow *preview);

    Session &m_session;
    std::unique_ptr<ReportSource> m_source;
    Destination m_destination;
    QPointer<QWidget> m_parent;
    QPointer<QMdiArea> m_area;
    std::shared_ptr<PageList> m_pages;
    std::unique_ptr<ReportWriter> m_writer;
    QPointer<ProgressWindow> m_progress;
    bool m_previewSoFar = false;
    bool m_failed = false;
};

// The answer that takes back a cancel: the question's third button, captioned "Ignore".
inline constexpr Button IgnoreButton = Retry;

// The messages a report ends with when it printed nothing.
inline const QString NothingToPreview = QStringLiteral("Nothing to Preview.");
inline const QString NothingToPrint = QStringLiteral("Nothing to Print.");

} // namespace reports
} // namespace sv
