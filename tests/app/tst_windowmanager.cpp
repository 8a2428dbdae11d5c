// Top-level windows under a real X server with a window manager, which puts a title bar and
// borders around them only once they are shown. The test starts its own virtual screen and
// window manager; without them it is skipped.
#include "app/mainframe.h"
#include "app/messageboxprompter.h"
#include "app/preferences.h"
#include "app/procedures.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/splashwindow.h"
#include "platform/inifile.h"
#include "platform/instances.h"
#include "platform/paths.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

using namespace sv;

namespace {

const QSize ScreenSize(1024, 640); // smaller than the frame's first size with its title bar

// A virtual X screen with a window manager on it, for as long as the object lives.
class ManagedDisplay
{
public:
    ManagedDisplay()
    {
        const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString manager = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (server.isEmpty() || manager.isEmpty() || !m_folder.isValid()) {
            m_problem = "Xvfb or openbox is not installed";
            return;
        }
        // The server names its display on a pipe once it accepts clients.
        int names[2];
        if (pipe(names) != 0) {
            m_problem = "no pipe";
            return;
        }
        const QByteArray screen = QByteArray::number(ScreenSize.width()) + 'x' +
                                  QByteArray::number(ScreenSize.height()) + "x24";
        const QByteArray nameFd = QByteArray::number(names[1]);
        m_server = fork();
        if (m_server == 0) {
            close(names[0]);
            execl(server.toLocal8Bit().constData(), "Xvfb", "-displayfd", nameFd.constData(),
                  "-screen", "0", screen.constData(), "-nolisten", "tcp", nullptr);
            _exit(127);
        }
        close(names[1]);
        QByteArray number;
        char c = 0;
        while (read(names[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(names[0]);
        if (m_server < 0 || number.isEmpty()) {
            m_problem = "Xvfb did not start";
            return;
        }
        m_display = ':' + number;

        // The window manager says it is ready by running its start-up command.
        const QByteArray ready = QFile::encodeName(m_folder.filePath(QStringLiteral("ready")));
        const QByteArray startup = "touch " + ready;
        m_manager = fork();
        if (m_manager == 0) {
            setenv("DISPLAY", m_display.constData(), 1);
            setenv("HOME", QFile::encodeName(m_folder.path()).constData(), 1);
            execl(manager.toLocal8Bit().constData(), "openbox", "--sm-disable", "--startup",
                  startup.constData(), nullptr);
            _exit(127);
        }
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(QString::fromLocal8Bit(ready)) && waited.elapsed() < 20000)
            usleep(20000);
        if (!QFile::exists(QString::fromLocal8Bit(ready)))
            m_problem = "openbox did not start";
    }
    ~ManagedDisplay()
    {
        for (pid_t process : {m_manager, m_server}) {
            if (process > 0) {
                kill(process, SIGTERM);
                waitpid(process, nullptr, 0);
            }
        }
    }

    bool ready() const { return m_problem == nullptr; }
    const char *problem() const { return m_problem; }
    QByteArray name() const { return m_display; }

private:
    QTemporaryDir m_folder;
    pid_t m_server = -1;
    pid_t m_manager = -1;
    QByteArray m_display;
    const char *m_problem = nullptr;
};

ManagedDisplay *display = nullptr;

// The free area of the screen: the room the window and its title bar must lie in.
QRect room()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// Waits until the window manager has framed the window.
void waitForFrame(QWidget *window)
{
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(window->frameGeometry() != window->geometry());
}

QString describe(const QRect &place)
{
    return QStringLiteral("%1,%2 %3x%4")
        .arg(place.x())
        .arg(place.y())
        .arg(place.width())
        .arg(place.height());
}

// The real frame on a catalogue of its own, shown and past its splash window.
class Program
{
public:
    explicit Program(const test::Workspace &workspace) : session(workspace.path())
    {
        Procedures::clear();
        Instances::reset();
        Settings::global() = Settings();
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        settings::writeNumber(QStringLiteral("ShowTips"), 0);
        session.announceTables();
        frame = std::make_unique<MainFrame>(session);
        if (!frame->openCatalogue())
            return;
        frame->showAndStart();
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (qobject_cast<SplashWindow *>(window))
                window->close();
        }
    }
    ~Program()
    {
        if (frame)
            frame->close();
    }

    test::ScriptedPrompter prompter;
    Session session;
    std::unique_ptr<MainFrame> frame;
};

void writePlace(const QString &section, const QRect &place)
{
    const QString file = Paths::positionFile();
    IniFile::put(section, QStringLiteral("Maximize"), QStringLiteral("No"), file);
    IniFile::putNumber(section, QStringLiteral("XPosit"), place.x(), file);
    IniFile::putNumber(section, QStringLiteral("YPosit"), place.y(), file);
    IniFile::putNumber(section, QStringLiteral("Width"), place.width(), file);
    IniFile::putNumber(section, QStringLiteral("Height"), place.height(), file);
}

} // namespace

class TestWindowManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!display->ready())
            QSKIP(display->problem());
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QCOMPARE(QGuiApplication::primaryScreen()->size(), ScreenSize);
    }

    // The frame on a first start, at a saved place on the screen's top edge, and at one
    // saved on a larger screen: all of it lies on the screen with its title bar, whatever
    // the window manager adds around it.
    void frameOnScreen_data()
    {
        QTest::addColumn<QRect>("saved");
        QTest::newRow("first start") << QRect();
        QTest::newRow("top edge") << QRect(140, 0, 800, 500);
        QTest::newRow("screen filled") << QRect(1, 1, 1024, 640);
        QTest::newRow("larger screen") << QRect(2500, 1900, 3410, 3322);
        QTest::newRow("left and above") << QRect(-300, -200, 700, 400);
    }
    void frameOnScreen()
    {
        QFETCH(QRect, saved);
        test::Workspace workspace;
        if (saved.isValid())
            writePlace(QStringLiteral("Main"), saved);
        Program program(workspace);
        MainFrame *frame = program.frame.get();
        waitForFrame(frame);
        QVERIFY2(room().contains(frame->frameGeometry()),
                 qPrintable(describe(frame->frameGeometry())));
        // Still as large as the room lets it be: fitted, not shrunk further.
        const QSize wanted = saved.isValid() ? saved.size() : QSize(1000, 700);
        const QRect placed = frame->frameGeometry();
        if (wanted.width() >= room().width())
            QCOMPARE(placed.width(), room().width());
        if (wanted.height() >= room().height())
            QCOMPARE(placed.height(), room().height());
    }

    // A frame the window manager has fitted saves that place and opens there again, start
    // after start, without creeping by the height of its title bar.
    void savedPlaceKeepsStill()
    {
        test::Workspace workspace;
        writePlace(QStringLiteral("Main"), QRect(200, 0, 600, 400));
        QRect first;
        for (int start = 0; start < 3; ++start) {
            Program program(workspace);
            waitForFrame(program.frame.get());
            QTRY_VERIFY(room().contains(program.frame->frameGeometry()));
            if (start == 0)
                first = program.frame->frameGeometry();
            QCOMPARE(program.frame->frameGeometry(), first);
        }
    }

    // A dialog of its own (Preferences, window-modal over the frame) with a place saved
    // off the screen comes up whole on it, title bar included.
    void dialogOnScreen()
    {
        test::Workspace workspace;
        writePlace(QStringLiteral("Preferences"), QRect(900, 600, 10, 10));
        Program program(workspace);
        waitForFrame(program.frame.get());
        QPointer<Preferences> preferences = Preferences::open(program.session, program.frame.get());
        QVERIFY(preferences);
        waitForFrame(preferences);
        QTRY_VERIFY2(room().contains(preferences->frameGeometry()),
                     qPrintable(describe(preferences->frameGeometry())));
        preferences->reject();
    }

    // A question with a short text and a longer caption is wide enough for the window
    // manager to show the whole caption beside the title bar's icon and buttons.
    void questionShowsItsCaption()
    {
        const Message question{QStringLiteral("Category not found"),
                               QStringLiteral("Add new category?"), Yes | No, Yes, Icon::Question};
        QRect shown;
        int captionRoom = 0;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            QFont title = box->font();
            title.setBold(true);
            // The caption, the window's icon and three buttons, each about as wide as the
            // title bar is high.
            captionRoom = QFontMetrics(title).horizontalAdvance(question.caption) +
                          4 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight);
            shown = box->geometry();
            box->button(QMessageBox::No)->click();
        });
        MessageBoxPrompter prompter;
        QCOMPARE(prompter.ask(question), No);
        QVERIFY(captionRoom > 0);
        QVERIFY2(shown.width() >= captionRoom,
                 qPrintable(QStringLiteral("%1 < %2").arg(shown.width()).arg(captionRoom)));
        QVERIFY(room().contains(shown));
    }
};

int main(int argc, char **argv)
{
    ManagedDisplay managed;
    display = &managed;
    if (managed.ready()) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", managed.name());
    }
    QApplication application(argc, argv);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    TestWindowManager test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowmanager.moc"
