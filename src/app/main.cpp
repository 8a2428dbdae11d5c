#include "app/eventlog.h"
#include "app/mainframe.h"
#include "app/messageboxprompter.h"
#include "app/preferences.h"
#include "app/procedures.h"
#include "app/session.h"
#include "app/setupwizard.h"
#include "app/tipsbrowser.h"
#include "app/tipwindow.h"
#include "maintenance/filemanager.h"
#include "platform/cddevice.h"
#include "platform/mcicommand.h"
#include "platform/paths.h"
#include "songs/codetables.h"
#include "songs/songbrowser.h"

#include <QApplication>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int terminationPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(terminationPipe[1], &byte, 1);
}

// SIGTERM and SIGINT close the frame the same orderly way as File / Exit: the signal only
// writes a byte, which the event loop turns into a close.
void closeOnTermination(QWidget *frame)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, terminationPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, frame);
    QObject::connect(notifier, &QSocketNotifier::activated, frame, [frame, notifier] {
        char byte;
        [[maybe_unused]] const auto read = ::read(terminationPipe[0], &byte, 1);
        notifier->setEnabled(false);
        frame->close();
        QApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// A browser whose table could not be opened is not shown (the user has been told).
QWidget *startedBrowser(sv::Browser *browser)
{
    if (browser->start())
        return browser;
    delete browser;
    return nullptr;
}

void registerProcedures()
{
    using sv::Procedures;
    Procedures::add(QStringLiteral("Preferences"), Procedures::Placement::Direct,
                    [](sv::Session &session, sv::MainFrame &frame) -> QWidget * {
                        sv::MainFrame *framePointer = &frame;
                        sv::Session *sessionPointer = &session;
                        return sv::Preferences::open(
                            session, &frame, [framePointer, sessionPointer] {
                                auto *manager = new sv::FileManager(*sessionPointer);
                                framePointer->mdiArea()->addSubWindow(manager)->show();
                            });
                    });
    Procedures::add(QStringLiteral("Tips"), Procedures::Placement::Direct,
                    [](sv::Session &session, sv::MainFrame &frame) -> QWidget * {
                        return sv::TipWindow::showTipOfTheDay(session, &frame, {});
                    });
    Procedures::add(QStringLiteral("BrowseCategories"), Procedures::Placement::OwnWindow,
                    [](sv::Session &session, sv::MainFrame &) -> QWidget * {
                        return startedBrowser(new sv::CategoryBrowser(session, sv::Request::None));
                    });
    Procedures::add(QStringLiteral("BrowseSongs"), Procedures::Placement::OwnWindow,
                    [](sv::Session &session, sv::MainFrame &) -> QWidget * {
                        return startedBrowser(new sv::SongBrowser(session));
                    });
    Procedures::add(QStringLiteral("BrowseMedia"), Procedures::Placement::OwnWindow,
                    [](sv::Session &session, sv::MainFrame &) -> QWidget * {
                        return startedBrowser(new sv::MediaBrowser(session, sv::Request::None));
                    });
    Procedures::add(QStringLiteral("BrowseTips"), Procedures::Placement::OwnWindow,
                    [](sv::Session &session, sv::MainFrame &) -> QWidget * {
                        return startedBrowser(new sv::TipsBrowser(session));
                    });
    Procedures::add(QStringLiteral("SetupWizard"), Procedures::Placement::Direct,
                    [](sv::Session &session, sv::MainFrame &frame) -> QWidget * {
                        return sv::SetupWizard::open(session, &frame, {});
                    });
}

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", SONGVANE_VERSION_TEXT);
            return 0;
        }
    }
    if (!hasDisplay()) {
        std::fprintf(stderr,
                     "SongVane Pro 98 needs a display. Without one, start it under a "
                     "virtual display:\n  xvfb-run -a -s \"-screen 0 1280x800x24\" "
                     "%s\n",
                     argv[0]);
        return 1;
    }
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(app);
    QApplication::setApplicationName(QStringLiteral("SongVane Pro 98"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/logo.png")));
    sv::Paths::configure(QApplication::arguments());
    sv::configureCdDevice(QApplication::arguments());
    sv::setMciLogger(sv::logEvent);
    sv::MessageBoxPrompter::install();

    sv::Session session(sv::Paths::workingFolder());
    session.announceTables();
    registerProcedures();
    if (sv::FileManager::offerRepairAfterCrash(session))
        return 0;

    sv::MainFrame frame(session);
    if (!frame.openCatalogue())
        return 1;
    closeOnTermination(&frame);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &frame,
                     [&frame](QSessionManager &) { frame.close(); });
    frame.showAndStart();
    return app.exec();
}
