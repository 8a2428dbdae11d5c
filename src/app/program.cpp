#include "program.h"

#include "backups.h"
#include "eventlog.h"
#include "mainframe.h"
#include "messageboxprompter.h"
#include "platform/cddevice.h"
#include "platform/commandline.h"
#include "platform/inifile.h"
#include "platform/mcicommand.h"
#include "platform/paths.h"
#include "session.h"
#include "settings.h"
#include "store/serverdatabase.h"
#include "terminal.h"
#include "testscript.h"

#include <QApplication>
#include <QIcon>
#include <QInputDialog>
#include <QSessionManager>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

// Outside any namespace, as the resource initialiser's declaration must be.
static void initResources()
{
    Q_INIT_RESOURCE(app);
}

namespace sv {

namespace {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// Written by the signal handler, which can reach nothing else.
int terminationPipe[2] = {-1, -1};

// Set once a termination signal has closed the frame. The notifier can fire while the frame
// is still starting, before the event loop runs, and quit() does nothing then.
bool terminationHandled = false;

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(terminationPipe[1], &byte, 1);
}

// SIGTERM and SIGINT close the frame the same orderly way as File / Exit, open forms
// asking about their changes; a second signal, even while such a question is on screen,
// ends the program without more questions. The signal only writes a byte, which the
// event loop turns into a close.
void closeOnTermination(MainFrame *frame)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, terminationPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, frame);
    QObject::connect(notifier, &QSocketNotifier::activated, frame, [frame, requests = 0]() mutable {
        char byte;
        [[maybe_unused]] const auto read = ::read(terminationPipe[0], &byte, 1);
        if (++requests > 1) {
            frame->endWithoutQuestions();
            return;
        }
        if (frame->close()) {
            terminationHandled = true;
            QApplication::quit();
        }
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// The server the catalogue is on when one is chosen (null: the folder's files, or `problem`
// says why the choice cannot be used).
std::unique_ptr<ServerDatabase> chosenServer(const QStringList &arguments,
                                             const ServerDatabase::PasswordPrompt &prompt,
                                             QString &problem)
{
    const ServerChoice choice =
        chooseServer(arguments, qEnvironmentVariable("SONGVANE_SERVER"),
                     IniFile::get(QStringLiteral("Settings"), QStringLiteral("Server"), {},
                                  Paths::settingsFile()));
    problem = choice.problem;
    if (!problem.isEmpty() || choice.url.isEmpty())
        return nullptr;
    return std::make_unique<ServerDatabase>(choice.url, prompt);
}

std::optional<QString> askPassword(const QString &server)
{
    bool ok = false;
    const QString password = QInputDialog::getText(nullptr, QStringLiteral("SongVane Pro 98"),
                                                   QStringLiteral("Password for %1:").arg(server),
                                                   QLineEdit::Password, {}, &ok);
    return ok ? std::optional<QString>(password) : std::nullopt;
}

QString helpText(const QList<ProgramCommand> &commands)
{
    QString text = commandLineHelp();
    if (commands.isEmpty())
        return text;
    text += QStringLiteral("\nCommands, run on the catalogue without a window (the options above\n"
                           "may stand before or after them):\n");
    for (const ProgramCommand &command : commands) {
        for (const QString &usage : command.usage.split(u'\n'))
            text += QStringLiteral("  songvane %1\n").arg(usage);
    }
    return text;
}

// A command needs no display: no window is made, and every message goes to the terminal.
int runCommand(int argc, char *argv[], const CommandLine &line, const ProgramCommand &command)
{
    std::unique_ptr<QCoreApplication> app;
    if (command.draws) {
        // Pages are drawn with fonts, which need the graphics layer; no display is needed.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("SongVane Pro 98"));
    QString problem;
    if (!Paths::configure(line.programArguments, problem))
        return terminal::usage(problem);
    terminal::Prompter prompter;
    // Without a window no password is asked for: ~/.pgpass or the URL gives it.
    std::unique_ptr<ServerDatabase> server = chosenServer(line.programArguments, {}, problem);
    if (!problem.isEmpty())
        return terminal::usage(problem);
    Session session(Paths::workingFolder(), std::move(server));
    session.announceTables();
    return command.run(session, line.commandArguments);
}

} // namespace

int runProgram(int argc, char *argv[], const ProgramParts &parts)
{
    // Help and the version need no display. Qt's own options are not known yet, so the
    // rest of the command line is checked once the application has taken them out.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments.append(QString::fromLocal8Bit(argv[i]));
    for (const QString &argument : rawArguments.mid(1)) {
        if (argument == u"--help" || argument == u"-h") {
            std::fputs(qPrintable(helpText(parts.commands)), stdout);
            return 0;
        }
        if (argument == u"--version") {
            std::printf("%s\n", SONGVANE_VERSION_TEXT);
            return 0;
        }
    }
    QStringList commandNames;
    for (const ProgramCommand &command : parts.commands)
        commandNames.append(command.name);
    if (const CommandLine line = parseCommandLine(rawArguments, commandNames);
        line.action == CommandLine::Action::Command) {
        return runCommand(argc, argv, line, parts.commands.at(commandNames.indexOf(line.command)));
    } else if (line.action == CommandLine::Action::Error &&
               std::any_of(commandNames.cbegin(), commandNames.cend(),
                           [&](const QString &name) { return rawArguments.contains(name); })) {
        return terminal::usage(line.error); // a command's line is wrong: no display needed
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
    initResources();
    QApplication::setApplicationName(QStringLiteral("SongVane Pro 98"));
    // The icon is drawn once as SVG; without Qt's SVG icon engine the logo stands in.
    QIcon icon(QStringLiteral(":/images/songvane.svg"));
    if (icon.pixmap(32).isNull())
        icon = QIcon(QStringLiteral(":/images/logo.png"));
    QApplication::setWindowIcon(icon);
    const QStringList arguments = QApplication::arguments();
    const CommandLine line = parseCommandLine(arguments);
    QString problem = line.error;
    if (line.action == CommandLine::Action::Error || !Paths::configure(arguments, problem)) {
        std::fprintf(stderr, "songvane: %s\nTry 'songvane --help' for the options.\n",
                     qPrintable(problem));
        return 2;
    }
    configureCdDevice(QApplication::arguments());
    setMciLogger(logEvent);
    MessageBoxPrompter::install();

    std::unique_ptr<ServerDatabase> server = chosenServer(arguments, askPassword, problem);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "songvane: %s\n", qPrintable(problem));
        return 2;
    }
    Session session(Paths::workingFolder(), std::move(server));
    session.announceTables();
    if (parts.registerProcedures)
        parts.registerProcedures();
    if (parts.endsBeforeFrame && parts.endsBeforeFrame(session))
        return 0;

    MainFrame frame(session);
    if (!frame.openCatalogue())
        return 1;
    closeOnTermination(&frame);
    // The session ending: the forms ask about their changes when the session allows
    // questions, and Cancel there keeps the session going; else nothing is asked.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &frame,
                     [&frame](QSessionManager &manager) {
                         if (!manager.allowsInteraction()) {
                             frame.endWithoutQuestions();
                             return;
                         }
                         const bool closed = frame.close();
                         manager.release();
                         if (!closed)
                             manager.cancel();
                     });
    noteCatalogueBaseline(session);
    frame.showAndStart();
    // Ended while starting (a termination signal during the album question, say).
    if (terminationHandled || !frame.isVisible())
        return 0;
    runTestScript(frame);
    const int status = app.exec();
    // A run that changed the catalogue ends with a backup of it, whoever made the changes.
    if (Settings::global().autoBackup != 0 && catalogueChangedSinceBaseline(session)) {
        // The progress window going is not the end: what the backup has to tell follows it.
        QApplication::setQuitOnLastWindowClosed(false);
        bool running = true;
        if (runBackup(session, nullptr, false,
                      [&running](bool) {
                          running = false;
                          QCoreApplication::quit();
                      }) &&
            running)
            app.exec();
    }
    return status;
}

} // namespace sv
