#include "platform/commandline.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

using Action = CommandLine::Action;

// Sets environment variables for one test and puts back what was there before.
class Environment
{
public:
    ~Environment()
    {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            if (it.value().has_value())
                qputenv(it.key().constData(), *it.value());
            else
                qunsetenv(it.key().constData());
        }
    }
    void set(const char *name, const QString &value)
    {
        save(name);
        qputenv(name, value.toLocal8Bit());
    }
    void unset(const char *name)
    {
        save(name);
        qunsetenv(name);
    }

private:
    void save(const char *name)
    {
        if (!m_saved.contains(name))
            m_saved.insert(name, qEnvironmentVariableIsSet(name)
                                     ? std::optional<QByteArray>(qgetenv(name))
                                     : std::nullopt);
    }
    QHash<QByteArray, std::optional<QByteArray>> m_saved;
};

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        m_startFolder = QDir::currentPath();
        m_environment = std::make_unique<Environment>();
        m_environment->set("HOME", m_folder->path());
        m_environment->unset("XDG_DATA_HOME");
        m_environment->unset("SONGVANE_DATA");
        m_environment->unset("SONGVANE_CONFIG");
        QVERIFY(QDir::setCurrent(m_folder->path()));
    }

    void cleanup()
    {
        QDir::setCurrent(m_startFolder);
        m_environment.reset();
        m_folder.reset();
    }

    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("catalogue");
        QTest::addColumn<QString>("errorNames");

        const int run = int(Action::Run), error = int(Action::Error);
        QTest::newRow("nothing") << QStringList{} << run << u""_s << u""_s;
        QTest::newRow("a folder") << QStringList{u"/music/dj"_s} << run << u"/music/dj"_s << u""_s;
        QTest::newRow("option values are not the folder")
            << QStringList{u"--config"_s, u"cfg"_s,         u"--cd-device=disc.cue"_s,
                           u"cat"_s,      u"--cd-device"_s, u"/dev/sr0"_s}
            << run << u"cat"_s << u""_s;
        QTest::newRow("--data alone")
            << QStringList{u"--data"_s, u"here"_s} << run << u""_s << u""_s;
        QTest::newRow("after --") << QStringList{u"--"_s, u"-odd name"_s} << run << u"-odd name"_s
                                  << u""_s;
        QTest::newRow("help") << QStringList{u"--cd-device"_s, u"x"_s, u"--help"_s}
                              << int(Action::Help) << u""_s << u""_s;
        QTest::newRow("-h") << QStringList{u"-h"_s} << int(Action::Help) << u""_s << u""_s;
        QTest::newRow("version") << QStringList{u"--version"_s} << int(Action::Version) << u""_s
                                 << u""_s;
        QTest::newRow("unknown option")
            << QStringList{u"--dta"_s, u"x"_s} << error << u""_s << u"--dta"_s;
        QTest::newRow("unknown short option") << QStringList{u"-d"_s} << error << u""_s << u"-d"_s;
        QTest::newRow("missing value")
            << QStringList{u"folder"_s, u"--config"_s} << error << u""_s << u"--config"_s;
        QTest::newRow("value on a switch")
            << QStringList{u"--version=2"_s} << error << u""_s << u"--version"_s;
        QTest::newRow("two folders")
            << QStringList{u"one"_s, u"two"_s} << error << u""_s << u"one two"_s;
        QTest::newRow("folder and --data")
            << QStringList{u"one"_s, u"--data=two"_s} << error << u""_s << u"one --data"_s;
    }

    // What a user types is either understood or refused with the offending word named;
    // nothing is dropped silently.
    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, catalogue);
        QFETCH(QString, errorNames);
        arguments.prepend(u"songvane"_s);
        const CommandLine line = parseCommandLine(arguments);
        QCOMPARE(int(line.action), action);
        QCOMPARE(line.catalogue, catalogue);
        for (const QString &name : errorNames.split(u' ', Qt::SkipEmptyParts))
            QVERIFY2(line.error.contains(name), qPrintable(line.error));
    }

    // A command takes the arguments after it; the program's own options, before or after
    // it, still choose the folders, and a folder named like a command comes after one.
    void commands()
    {
        const QStringList commands{u"export"_s, u"import"_s};
        CommandLine line = parseCommandLine({u"songvane"_s, u"--data"_s, u"cat"_s, u"export"_s,
                                             u"--csv"_s, u"out.csv"_s, u"--config=cfg"_s,
                                             u"--fields"_s, u"MUS:Artist"_s, u"import"_s},
                                            commands);
        QCOMPARE(int(line.action), int(Action::Command));
        QCOMPARE(line.command, u"export"_s);
        QCOMPARE(line.commandArguments, (QStringList{u"--csv"_s, u"out.csv"_s, u"--fields"_s,
                                                     u"MUS:Artist"_s, u"import"_s}));
        QCOMPARE(line.programArguments,
                 (QStringList{u"songvane"_s, u"--data"_s, u"cat"_s, u"--config=cfg"_s}));
        line = parseCommandLine({u"songvane"_s, u"music"_s, u"export"_s}, commands);
        QCOMPARE(int(line.action), int(Action::Error));
        line = parseCommandLine({u"songvane"_s, u"export"_s, u"--data"_s}, commands);
        QCOMPARE(int(line.action), int(Action::Error));
        QVERIFY(line.error.contains(u"--data"_s));
        QCOMPARE(int(parseCommandLine({u"songvane"_s, u"export"_s}).action), int(Action::Run));
    }

    // Every option the help text lists is one the parser accepts with its value.
    void helpListsWhatIsAccepted()
    {
        const QString help = commandLineHelp();
        QVERIFY(help.startsWith(u"Usage: songvane [OPTION]... [FOLDER]"_s));
        const QStringList variables{u"SONGVANE_DATA"_s, u"SONGVANE_CONFIG"_s, u"SONGVANE_SERVER"_s,
                                    u"SONGVANE_CD_DEVICE"_s, u"XDG_DATA_HOME"_s};
        for (const QString &variable : variables)
            QVERIFY2(help.contains(variable), qPrintable(variable));
        const QRegularExpression entry(u"^  (?:-h, )?(--[a-z-]+)( [A-Z]+)?"_s,
                                       QRegularExpression::MultilineOption);
        int options = 0;
        for (const auto &match : entry.globalMatch(help)) {
            QStringList arguments{u"songvane"_s, match.captured(1)};
            if (!match.captured(2).isEmpty())
                arguments.append(u"value"_s);
            QVERIFY2(parseCommandLine(arguments).action != Action::Error,
                     qPrintable(match.captured(1)));
            ++options;
        }
        QCOMPARE(options, 6);
    }

    // Started with nothing from a folder that holds no catalogue, the program keeps its
    // catalogue in the user's data folder instead of writing table files where it stands.
    void defaultCatalogueUnderXdgDataHome()
    {
        QString problem;
        QVERIFY(Paths::configure({u"songvane"_s}, problem));
        const QString fallback = m_folder->path() + u"/.local/share/songvane/catalogue"_s;
        QCOMPARE(Paths::workingFolder(), fallback);
        QVERIFY(QFileInfo(fallback).isDir());
        QVERIFY(QDir(m_folder->path()).entryList(QDir::Files).isEmpty());

        m_environment->set("XDG_DATA_HOME", m_folder->filePath(u"data"_s));
        QVERIFY(Paths::configure({u"songvane"_s}, problem));
        QCOMPARE(Paths::workingFolder(), m_folder->filePath(u"data/songvane/catalogue"_s));
        QCOMPARE(Paths::defaultCatalogueFolder(), Paths::workingFolder());

        // A relative XDG_DATA_HOME is not a base folder; the standard says to ignore it.
        m_environment->set("XDG_DATA_HOME", u"relative/data"_s);
        QVERIFY(Paths::configure({u"songvane"_s}, problem));
        QCOMPARE(Paths::workingFolder(), fallback);
    }

    void catalogueInCurrentFolderIsKept()
    {
        touch(m_folder->filePath(u"svpdata.tps"_s));
        QString problem;
        QVERIFY(Paths::configure({u"songvane"_s}, problem));
        QCOMPARE(Paths::workingFolder(), m_folder->path());
        QVERIFY(!QFileInfo::exists(m_folder->filePath(u".local/share/songvane"_s)));
    }

    void folderArgument()
    {
        QString problem;
        m_environment->set("SONGVANE_DATA", m_folder->filePath(u"from-environment"_s));
        const QString named = m_folder->filePath(u"new/catalogue"_s);
        QVERIFY(Paths::configure({u"songvane"_s, named}, problem));
        QCOMPARE(Paths::workingFolder(), named);
        QVERIFY(QFileInfo(named).isDir());

        // Opening one of a catalogue's table files opens its folder.
        const QString table = QDir(named).filePath(u"SVPCAT.TPS"_s);
        touch(table);
        QVERIFY(Paths::configure({u"songvane"_s, m_folder->filePath(u"elsewhere"_s)}, problem));
        QVERIFY(Paths::configure({u"songvane"_s, table}, problem));
        QCOMPARE(Paths::workingFolder(), named);

        // A relative folder is taken from where the program was started.
        QVERIFY(Paths::configure({u"songvane"_s, u"new"_s}, problem));
        QCOMPARE(Paths::workingFolder(), m_folder->filePath(u"new"_s));

        QVERIFY(Paths::configure({u"songvane"_s}, problem));
        QCOMPARE(Paths::workingFolder(), m_folder->filePath(u"from-environment"_s));
        QVERIFY(Paths::configure({u"songvane"_s, u"--data"_s, u"by-option"_s}, problem));
        QCOMPARE(Paths::workingFolder(), m_folder->filePath(u"by-option"_s));
    }

    void unusableFolderArgument()
    {
        QString problem;
        const QString notes = m_folder->filePath(u"notes.txt"_s);
        touch(notes);
        QVERIFY(!Paths::configure({u"songvane"_s, notes}, problem));
        QVERIFY2(problem.contains(notes), qPrintable(problem));
        QVERIFY(!QFileInfo::exists(m_folder->filePath(u"svpdata.tps"_s)));

        problem.clear();
        QVERIFY(!Paths::configure({u"songvane"_s, notes + u"/below"_s}, problem));
        QVERIFY2(problem.contains(u"cannot create"_s), qPrintable(problem));
    }

private:
    // A fresh home folder for each test, which is also where the program is started.
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_startFolder;
    std::unique_ptr<Environment> m_environment;
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
