#include "reportrun.h"

#include "previewwindow.h"
#include "reportoutput.h"

#include "app/progresswindow.h"
#include "app/session.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "platform/stddate.h"

#include <QMdiArea>

namespace sv::reports {

namespace {

QString reportDate()
{
    return format(today(), u"@d4");
}

void note(const QString &text)
{
    (void)ask({QStringLiteral("NOTE..."), text, Ok, Ok, Icon::Information});
}

void pagesNotStored(const QString &reason)
{
    (void)ask({QStringLiteral("Report"),
               QStringLiteral("The report's pages could not be stored: %1").arg(reason), Ok, Ok,
               Icon::Exclamation});
}

} // namespace

ReportRun::ReportRun(Session &session, std::unique_ptr<ReportSource> source,
                     Destination destination, QWidget *parent)
    : QObject(parent), m_session(session), m_source(std::move(source)), m_destination(destination),
      m_parent(parent)
{}

ReportRun::~ReportRun() = default;

bool ReportRun::start()
{
    if (!m_source->open()) {
        deleteLater();
        return false;
    }
    m_pages = std::make_shared<PageList>();
    m_writer = std::make_unique<ReportWriter>(*m_pages, m_source->layout(), reportDate());
    const bool preview = m_destination == Destination::Preview;
    m_progress = new ProgressWindow(preview ? QStringLiteral("Generating Report")
                                            : QStringLiteral("Printing Report"),
                                    m_parent);
    m_progress->setWindowTitle(QStringLiteral("Progress..."));
    m_progress->setProgressText(QStringLiteral("0% Completed"));
    m_progress->setCancelCheck([this](bool escape) { return confirmCancel(escape); });
    m_progress->run(
        m_source->recordsToProcess(), 1,
        [this] {
            switch (m_source->next(*m_writer)) {
            case ReportSource::Read::Record:
                return ProgressWindow::Step::Continue;
            case ReportSource::Read::End:
                if (m_source->finish(*m_writer) && m_writer->finish())
                    return ProgressWindow::Step::Finished;
                pagesNotStored(m_writer->errorString());
                m_failed = true;
                return ProgressWindow::Step::Stopped;
            case ReportSource::Read::Failed:
                break;
            }
            m_failed = true;
            return ProgressWindow::Step::Stopped;
        },
        [this](bool completed) { runFinished(completed); });
    return true;
}

bool ReportRun::confirmCancel(bool escape)
{
    if (ask({QStringLiteral("Question"),
             QStringLiteral("Are you sure you want to CANCEL this Report?"), Yes | No, No,
             Icon::Question}) != Yes)
        return false;
    m_previewSoFar = false;
    // Esc stops at once; the Cancel button offers what was made so far.
    if (escape || m_destination != Destination::Preview || m_writer->pagesWritten() == 0)
        return true;
    const Button answer = ask({QStringLiteral("Question"),
                               QStringLiteral("Report Cancellation Requested!\n \n"
                                              "Preview Report generated so far?"),
                               Yes | No | IgnoreButton,
                               Yes,
                               Icon::Question,
                               {{IgnoreButton, QStringLiteral("Ignore")}}});
    if (answer == IgnoreButton)
        return false;
    m_previewSoFar = answer == Yes;
    return true;
}

void ReportRun::runFinished(bool completed)
{
    // Called from the progress window as it closes: the rest waits for the event loop, so
    // that the window is gone before the preview or a message shows.
    const bool show = !m_failed && (completed || m_previewSoFar);
    QMetaObject::invokeMethod(
        this,
        [this, show, completed] {
            if (!show) {
                endRun(nullptr);
                return;
            }
            if (!completed && !m_writer->finish()) {
                pagesNotStored(m_writer->errorString());
                endRun(nullptr);
                return;
            }
            if (m_destination == Destination::Preview) {
                if (m_pages->isEmpty()) {
                    note(NothingToPreview);
                    endRun(nullptr);
                    return;
                }
                auto *preview = new PreviewWindow(m_session, m_pages, m_source->layout().title);
                preview->showIn(m_area);
                endRun(preview);
                return;
            }
            if (m_pages->isEmpty()) {
                note(NothingToPrint);
                endRun(nullptr);
                return;
            }
            QPrinter &printer = m_session.printer();
            choosePrinter(printer, m_parent, [this, &printer](bool chosen) {
                if (!chosen) {
                    endRun(nullptr);
                    return;
                }
                printPages(m_pages, printer, m_parent, [this](bool) { endRun(nullptr); });
            });
        },
        Qt::QueuedConnection);
}

void ReportRun::endRun(PreviewWindow *preview)
{
    Q_EMIT ended(preview);
    deleteLater();
}

std::shared_ptr<PageList> ReportRun::runToEnd(ReportSource &source, QString &error,
                                              const std::function<void(qint64, qint64)> &progress)
{
    if (!source.open())
        return nullptr;
    auto pages = std::make_shared<PageList>();
    ReportWriter writer(*pages, source.layout(), reportDate());
    const qint64 total = source.recordsToProcess();
    qint64 done = 0;
    for (;;) {
        const ReportSource::Read read = source.next(writer);
        if (read == ReportSource::Read::Failed) {
            error = writer.errorString();
            return nullptr;
        }
        if (read == ReportSource::Read::End)
            break;
        ++done;
        if (progress && done % ProgressWindow::RecordsPerTick == 0)
            progress(done, total);
    }
    if (!source.finish(writer) || !writer.finish()) {
        error = writer.errorString();
        return nullptr;
    }
    if (progress)
        progress(done, total);
    return pages;
}

} // namespace sv::reports
