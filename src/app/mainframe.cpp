#include "mainframe.h"

#include "aboutwindow.h"
#include "browser.h"
#include "housekeeping.h"
#include "procedures.h"
#include "session.h"
#include "settings.h"
#include "splashwindow.h"
#include "updateform.h"
#include "windowposition.h"

#include "platform/instances.h"
#include "platform/paths.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <cstdio>

namespace sv {

namespace {

const QString FrameSection = QStringLiteral("Main");
const QString VersionText = QStringLiteral(SONGVANE_VERSION_TEXT);
// Releases before this one kept no album table: their users are offered to build it.
constexpr double FirstVersionWithAlbums = 1.2;

double leadingNumber(const QString &version)
{
    qsizetype end = 0;
    while (end < version.size() && (version.at(end).isDigit() || version.at(end) == u'.'))
        ++end;
    bool ok = false;
    const double value = version.left(end).toDouble(&ok);
    return ok ? value : 0.0;
}

} // namespace

// The frame's work area, which shows the logo behind the open windows.
class LogoArea : public QMdiArea
{
public:
    // The frame is sized by its user alone: no child window, however large its minimum or
    // however it was tiled, makes the frame grow.
    QSize minimumSizeHint() const override { return {160, 120}; }
    QSize sizeHint() const override { return {640, 480}; }

    void setLogo(const QPixmap &logo)
    {
        m_logo = logo;
        viewport()->update();
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QMdiArea::paintEvent(event);
        if (m_logo.isNull())
            return;
        QPainter painter(viewport());
        const QSize room = viewport()->size() * 0.6;
        const QPixmap scaled =
            m_logo.width() > room.width() || m_logo.height() > room.height()
                ? m_logo.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                : m_logo;
        painter.setOpacity(0.85);
        painter.drawPixmap((viewport()->width() - scaled.width()) / 2,
                           (viewport()->height() - scaled.height()) / 2, scaled);
    }

private:
    QPixmap m_logo;
};

MainFrame::MainFrame(Session &session) : m_session(session)
{
    // The title names the open catalogue: several can be kept, and one is chosen at start.
    const ServerDatabase *server = session.store().database().server();
    setWindowTitle(QStringLiteral("SongVane Pro 98 - ") +
                   (server ? server->server() : QDir::toNativeSeparators(Paths::workingFolder())));
    m_area = new LogoArea;
    m_area->setBackground(QColor(58, 70, 96));
    // Windows that do not fit (tiled below their minimum size) are reached by scrolling:
    // with the scroll bars off, tiling would make the whole frame grow instead.
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_area);
    connect(m_area, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow *child) {
        if (!child)
            return;
        if (auto *browser = qobject_cast<Browser *>(child->widget()))
            browser->takeOverToolbar();
        else if (auto *form = qobject_cast<UpdateForm *>(child->widget()))
            form->takeOverToolbar();
    });
    buildMenus();
    buildToolBar();
    statusBar();
    resize(1000, 700);
    // The F1 shortcut belongs to the frame, so a dialog that blocks the frame (Preferences)
    // would swallow it; its key press is caught here instead.
    qApp->installEventFilter(this);
}

MainFrame::~MainFrame()
{
    // Windows closed by the frame's own destruction must not start the next step, nor
    // reach the record buttons, which go before them.
    m_closing = true;
    releaseRecordButtons();
    delete m_helpBesideDialog;
}

QMdiArea *MainFrame::mdiArea() const
{
    return m_area;
}

QAction *MainFrame::addProcedureAction(QMenu *menu, const QString &text, const QString &hint,
                                       const QString &procedure)
{
    QAction *action = menu->addAction(text);
    action->setStatusTip(hint);
    action->setEnabled(Procedures::has(procedure));
    connect(action, &QAction::triggered, this, [this, procedure] { startProcedure(procedure); });
    m_actions.insert(procedure, action);
    return action;
}

void MainFrame::buildMenus()
{
    struct Entry
    {
        const char *text;
        const char *hint;
        const char *procedure;
    };
    const auto addEntries = [this](QMenu *menu, std::initializer_list<Entry> entries) {
        for (const Entry &entry : entries)
            addProcedureAction(menu, QString::fromUtf8(entry.text), QString::fromUtf8(entry.hint),
                               QString::fromUtf8(entry.procedure));
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction *printSetup = file->addAction(QStringLiteral("Print &Setup ..."));
    printSetup->setStatusTip(QStringLiteral("Setup printer"));
    connect(printSetup, &QAction::triggered, this, [this] {
        auto *dialog = new QPrintDialog(&m_session.printer(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    addEntries(file, {{"&Preferences", "Options and settings", "Preferences"}});
    // Songs as comma-delimited text for other programs, or the whole catalogue without loss.
    QMenu *import = file->addMenu(QStringLiteral("&Import"));
    addEntries(import,
               {{"&Songs (comma-delimited)...", "Import from a comma-delimited file", "Import"},
                {"&Whole catalogue (JSON)...", "Import a whole catalogue written by Export",
                 "ImportCatalogue"}});
    QMenu *exportMenu = file->addMenu(QStringLiteral("&Export"));
    addEntries(exportMenu,
               {{"&Songs (comma-delimited)...", "Export to a comma-delimited file", "Export"},
                {"&Whole catalogue (JSON)...", "Export every table and field to one file",
                 "ExportCatalogue"}});
    // The whole catalogue between the folder of table files and a server, either way.
    addEntries(file, {{"Copy Catalogue to Ser&ver...",
                       "Copy every table of this catalogue to a server", "CopyCatalogueToServer"},
                      {"Copy Catalogue f&rom Server...",
                       "Copy every table of a catalogue on a server into a folder",
                       "CopyCatalogueFromServer"}});
    addEntries(file, {{"&CD Player", "Start the CD Player", "CDPlayer"}});
    file->addSeparator();
    QAction *exit = file->addAction(QStringLiteral("E&xit"));
    exit->setStatusTip(QStringLiteral("Exit this application"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    const struct
    {
        const char *text;
        const char *hint;
        const char *slot; // the same slot on every kind of text field
    } clipboard[] = {{"Cu&t", "Cut Selection To Clipboard", "cut"},
                     {"&Copy", "Copy Selection To Clipboard", "copy"},
                     {"&Paste", "Paste From Clipboard", "paste"}};
    for (const auto &entry : clipboard) {
        QAction *action = edit->addAction(QString::fromUtf8(entry.text));
        action->setStatusTip(QString::fromUtf8(entry.hint));
        const char *slot = entry.slot;
        connect(action, &QAction::triggered, this, [slot] {
            if (QWidget *focus = QApplication::focusWidget())
                QMetaObject::invokeMethod(focus, slot);
        });
    }

    QMenu *browse = menuBar()->addMenu(QStringLiteral("&Browse"));
    addEntries(browse, {{"&Albums", "Browse Information by Album", "BrowseAlbums"},
                        {"&Songs", "Browse Song Vane Database", "BrowseSongs"}});
    QMenu *wizards = browse->addMenu(QStringLiteral("&Wizards"));
    addEntries(wizards, {{"Add &Compilation", "", "AddCompilation"},
                         {"Add &Single Artist Album", "", "AddSingleArtist"},
                         {"Add Album (S&tandard)", "Add an Album", "AlbumWizard"},
                         {"Add &Label", "", "LabelWizard"}});
    addEntries(browse, {{"&Labels", "", "BrowseLabels"},
                        {"&Play Lists", "", "BrowsePlayLists"},
                        {"&Categories", "", "BrowseCategories"},
                        {"&Media Formats", "Browse Media Formats", "BrowseMedia"}});

    QMenu *reports = menuBar()->addMenu(QStringLiteral("&Reports"));
    QMenu *songReports = reports->addMenu(QStringLiteral("&Songs"));
    addEntries(songReports,
               {{"By &Artist", "Print ordered by Songs By Artist", "ReportSongsByArtist"},
                {"By &Title", "Print ordered by Songs By Title", "ReportSongsByTitle"},
                {"By A&lbum", "Print ordered by Songs By Album", "ReportSongsByAlbum"},
                {"By &Media", "Print ordered by Songs By Media", "ReportSongsByMedia"},
                {"By &Category", "Print ordered by Songs By Category", "ReportSongsByCategory"},
                {"By &BPM", "Songs by Beats Per Minute", "ReportSongsByBPM"}});
    QMenu *albumReports = reports->addMenu(QStringLiteral("&Albums"));
    addEntries(
        albumReports,
        {{"By &Artist", "Print List of Albums by Artist", "ReportAlbumsByArtist"},
         {"By A&lbum", "Print List of Albums", "ReportAlbumsByAlbum"},
         {"By &File Number", "Print List of Albums by File Number", "ReportAlbumsByFileNumber"},
         {"By &Category", "", "ReportAlbumsByCategory"}});
    addEntries(reports, {{"CD &Binder Pages", "Print 4 per page CD listings", "CDBinderPages"}});
    QMenu *paperSavers = reports->addMenu(QStringLiteral("&Paper Savers"));
    paperSavers->menuAction()->setStatusTip(QStringLiteral("Reports Using Small Fonts"));
    addEntries(paperSavers,
               {{"By &Artist", "", "PaperSaverByArtist"}, {"By &Title", "", "PaperSaverByTitle"}});
    QAction *labelReports = reports->addAction(QStringLiteral("&Labels"));
    labelReports->setStatusTip(QStringLiteral("Design and Print CD and Cassette Labels"));
    labelReports->setEnabled(Procedures::has(QStringLiteral("BrowseLabels")));
    connect(labelReports, &QAction::triggered, this,
            [this] { startProcedure(QStringLiteral("BrowseLabels")); });
    QAction *playlistReports = reports->addAction(QStringLiteral("&Playlists"));
    playlistReports->setEnabled(Procedures::has(QStringLiteral("BrowsePlayLists")));
    connect(playlistReports, &QAction::triggered, this,
            [this] { startProcedure(QStringLiteral("BrowsePlayLists")); });
    addEntries(reports, {{"&DJ Log", "Log ordered by Artist and Title", "DJLog"}});

    QMenu *window = menuBar()->addMenu(QStringLiteral("&Window"));
    QAction *tile = window->addAction(QStringLiteral("&Tile"));
    tile->setStatusTip(QStringLiteral("Make all open windows visible"));
    connect(tile, &QAction::triggered, m_area, &QMdiArea::tileSubWindows);
    QAction *cascade = window->addAction(QStringLiteral("&Cascade"));
    cascade->setStatusTip(QStringLiteral("Stack all open windows"));
    connect(cascade, &QAction::triggered, m_area, &QMdiArea::cascadeSubWindows);
    QAction *arrange = window->addAction(QStringLiteral("&Arrange Icons"));
    arrange->setStatusTip(QStringLiteral("Align all window icons"));
    connect(arrange, &QAction::triggered, this, [this] {
        // Minimized windows are lined up along the bottom of the work area.
        int x = 0;
        for (QMdiSubWindow *child : m_area->subWindowList()) {
            if (!child->isMinimized())
                continue;
            child->move(x, m_area->viewport()->height() - child->height());
            x += child->width();
        }
    });
    // The open windows, listed afresh each time the menu opens.
    connect(window, &QMenu::aboutToShow, this, [this, window] {
        const QList<QAction *> entries = window->actions();
        for (QAction *entry : entries) {
            if (entry->property("openWindow").toBool())
                delete entry;
        }
        const QList<QMdiSubWindow *> children = m_area->subWindowList();
        for (int i = 0; i < children.size(); ++i) {
            QMdiSubWindow *child = children.at(i);
            if (i == 0)
                window->addSeparator()->setProperty("openWindow", true);
            const QString title = child->windowTitle().replace(u'&', QStringLiteral("&&"));
            QAction *entry =
                window->addAction(i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(title) : title);
            entry->setProperty("openWindow", true);
            entry->setCheckable(true);
            entry->setChecked(child == m_area->activeSubWindow());
            connect(entry, &QAction::triggered, m_area,
                    [this, child] { m_area->setActiveSubWindow(child); });
        }
    });

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    const auto helpPage = [this, help](const char *text, HelpWindow::Page page) {
        QAction *action = help->addAction(QString::fromUtf8(text));
        connect(action, &QAction::triggered, this, [this, page] { showHelp(page); });
    };
    helpPage("&Contents", HelpWindow::Page::Contents);
    helpPage("&Search for Help On...", HelpWindow::Page::Search);
    helpPage("&How to Use Help", HelpWindow::Page::HowToUse);
    // F1 anywhere: the help page of the window in use.
    auto *windowHelp = new QAction(this);
    windowHelp->setShortcut(QKeySequence::HelpContents);
    windowHelp->setShortcutContext(Qt::ApplicationShortcut);
    connect(windowHelp, &QAction::triggered, this, &MainFrame::helpForActiveWindow);
    addAction(windowHelp);
    help->addSeparator();
    addEntries(help, {{"&Tips", "View Tip of the Day", "Tips"}});
    QAction *about = help->addAction(QStringLiteral("&About"));
    about->setStatusTip(QStringLiteral("Help About This Program"));
    connect(about, &QAction::triggered, this, [this] {
        closeSplash();
        openChild(new AboutWindow(QPixmap(QStringLiteral(":/images/logo.png"))));
    });
}

void MainFrame::buildToolBar()
{
    QToolBar *bar = addToolBar(QStringLiteral("Toolbar"));
    bar->setObjectName(QStringLiteral("FrameToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    const struct
    {
        const char *text;
        const char *procedure;
        QStyle::StandardPixmap icon;
    } buttons[] = {{"Albums", "BrowseAlbums", QStyle::SP_DirIcon},
                   {"Songs", "BrowseSongs", QStyle::SP_FileDialogDetailedView},
                   {"Labels", "BrowseLabels", QStyle::SP_FileDialogInfoView},
                   {"Playlists", "BrowsePlayLists", QStyle::SP_FileDialogListView},
                   {"Play CD", "CDPlayer", QStyle::SP_MediaPlay}};
    for (const auto &button : buttons) {
        const QString procedure = QString::fromUtf8(button.procedure);
        QAction *action =
            bar->addAction(style()->standardIcon(button.icon), QString::fromUtf8(button.text));
        action->setEnabled(Procedures::has(procedure));
        action->setStatusTip(m_actions.value(procedure) ? m_actions.value(procedure)->statusTip()
                                                        : QString());
        connect(action, &QAction::triggered, this,
                [this, procedure] { startProcedure(procedure); });
    }
    bar->addSeparator();
    // The record and navigation buttons belong to whichever browser has the focus.
    for (const RecordButtonInfo &button : recordButtons()) {
        QAction *action = bar->addAction(style()->standardIcon(button.icon), QString());
        action->setToolTip(QString::fromUtf8(button.tip));
        action->setEnabled(false);
        m_recordButtons.insert(button.button, action);
        if (auto *widget = bar->widgetForAction(action))
            qobject_cast<QToolButton *>(widget)->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
}

void MainFrame::releaseRecordButtons()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_recordConnections))
        disconnect(connection);
    m_recordConnections.clear();
    for (QAction *action : std::as_const(m_recordButtons))
        action->setEnabled(false);
}

void MainFrame::takeRecordButtons(QObject *owner,
                                  const QHash<RecordButton, RecordButtonUse> &buttons)
{
    releaseRecordButtons();
    for (auto it = buttons.constBegin(); it != buttons.constEnd(); ++it) {
        QAction *action = m_recordButtons.value(it.key());
        if (!action)
            continue;
        action->setEnabled(it->enabled);
        action->setToolTip(it->tip.isNull() ? recordButtonTip(it.key()) : it->tip);
        m_recordConnections.append(connect(action, &QAction::triggered, owner, it->action));
    }
    m_recordConnections.append(
        connect(owner, &QObject::destroyed, this, &MainFrame::releaseRecordButtons));
}

QWidget *MainFrame::startProcedure(const QString &name)
{
    closeSplash();
    if (!Procedures::has(name))
        return nullptr;
    if (Procedures::placement(name) == Procedures::Placement::Direct)
        return Procedures::create(name, m_session, *this);
    const int instance = Instances::start();
    QWidget *window = Procedures::create(name, m_session, *this);
    if (!window) {
        Instances::end(instance);
        return nullptr;
    }
    return openChild(window, instance);
}

QWidget *MainFrame::openChild(QWidget *window, int instance)
{
    if (instance == 0)
        instance = Instances::start();
    window->setProperty("instance", instance);
    const QSize designed = window->size();
    connect(window, &QObject::destroyed, this, [instance] { Instances::end(instance); });
    showInWorkArea(m_area, window, [window, designed](QMdiSubWindow *child) {
        // The frame around the window adds to the size the window was made with.
        child->adjustSize();
        child->resize(child->size().expandedTo(designed + child->size() - window->sizeHint()));
    });
    return window;
}

bool MainFrame::openCatalogue()
{
    Store &store = m_session.store();
    m_catalogue =
        m_session.files().use({&store.table(TableId::Albums), &store.table(TableId::Media),
                               &store.table(TableId::Songs)});
    if (!m_catalogue)
        return false;
    Bindings &bindings = store.bindings();
    bindings.bindRecord(QStringLiteral("MUS"), store.table(TableId::Songs).buffer());
    bindings.bindRecord(QStringLiteral("ALB"), store.table(TableId::Albums).buffer());
    bindings.bindRecord(QStringLiteral("MED"), store.table(TableId::Media).buffer());
    seedMedia();
    return true;
}

void MainFrame::seedMedia()
{
    Table &media = m_session.store().table(TableId::Media);
    const qint64 count = media.records();
    if (count > 0)
        return;
    if (errorCode() != err::None) {
        standardWarning(warning::RecordRetrieval, media.label());
        return;
    }
    static const char *const formats[] = {"CD",
                                          "LP",
                                          "EP",
                                          "7\" Single",
                                          "CD Single",
                                          "Cassette (Dolby B)",
                                          "Cassette (Dolby C)",
                                          "Cassette (Dolby S)",
                                          "Cassette (DBX)",
                                          "Cassette (HX Pro)",
                                          "Cassette (Prerecorded)",
                                          "Other"};
    Database &database = m_session.store().database();
    bool written = database.logout(2, {TableId::Media});
    for (const char *format : formats) {
        if (!written)
            break;
        media.buffer().clear();
        media.buffer().setText(med::Media, QString::fromUtf8(format));
        written = media.add();
    }
    if (written && database.commit())
        return;
    // None of the formats is kept; the next start seeds them again.
    saveError();
    if (database.inTransaction() && !database.rollback())
        saveError();
    standardWarning(warning::ProcessError, QStringLiteral("Put"), media.label());
}

void MainFrame::showAndStart()
{
    restoreWindowPosition(FrameSection, this);
    m_session.previousVersion =
        settings::read(QStringLiteral("Version"), QString(), settings::GlobalSection);
    settings::write(QStringLiteral("Version"), VersionText, settings::GlobalSection);
    Settings::global().load();
    showLogo();
    if (!isVisible())
        show();
    // An album build asked for at start-up runs first: the splash, which stays on top,
    // would hide its progress, and the start-up windows after it would show the albums
    // half built.
    checkAlbumTable(m_session.previousVersion, [this] { showSplash(); });
}

void MainFrame::showSplash()
{
    if (m_closing)
        return;
    auto *splash = new SplashWindow(QStringLiteral("Version ") + VersionText,
                                    QPixmap(QStringLiteral(":/images/logo.png")));
    m_splash = splash;
    connect(splash, &QObject::destroyed, this, &MainFrame::splashClosed);
    splash->move(geometry().center() - splash->rect().center());
    splash->show();
}

void MainFrame::showLogo()
{
    const Settings &settings = Settings::global();
    QString chosen;
    for (const QString &candidate :
         {settings::read(QStringLiteral("FrameLogo"), QString(), settings::GlobalSection),
          settings.logo, settings.mainLogo}) {
        if (!candidate.trimmed().isEmpty())
            chosen = candidate.trimmed();
    }
    QPixmap logo;
    if (!chosen.isEmpty() && logo.load(chosen))
        m_logoFile = chosen;
    else
        logo.load(QStringLiteral(":/images/logo.png"));
    m_area->setLogo(logo);
}

void MainFrame::checkAlbumTable(const QString &previousVersion, std::function<void()> then)
{
    Store &store = m_session.store();
    if (store.table(TableId::Albums).records() > 0 || store.table(TableId::Songs).records() == 0 ||
        leadingNumber(previousVersion) >= FirstVersionWithAlbums) {
        then();
        return;
    }
    const Message question{QStringLiteral("Album Database Empty"),
                           QStringLiteral("Do you want to copy your album information from the "
                                          "general music database into the album database? "
                                          "(Recommended)"),
                           Yes | No, Yes, Icon::Question};
    if (ask(question) != Yes) {
        then();
        return;
    }
    runAlbumBuild(m_session, false, this, [then = std::move(then)](bool) {
        Settings::global().autoAddToAlbums = QStringLiteral("1");
        settings::write(QStringLiteral("AutoAddToAlbums"), QStringLiteral("1"));
        then();
    });
}

void MainFrame::closeSplash()
{
    if (m_splash)
        m_splash->close();
}

void MainFrame::splashClosed()
{
    QTimer::singleShot(0, this, [this] { runStartUpActions(0); });
}

// After the splash: the setup wizard on first use, then the tip of the day (or the tip
// editor in tip maintenance mode), then the browsers the user asked to see at start-up,
// each step waiting for the window of the one before.
void MainFrame::runStartUpActions(int step)
{
    if (m_closing)
        return;
    const Settings &settings = Settings::global();
    const auto continueAfter = [this, step](QWidget *window) {
        if (!window) {
            runStartUpActions(step + 1);
            return;
        }
        connect(window, &QObject::destroyed, this, [this, step] {
            QTimer::singleShot(0, this, [this, step] { runStartUpActions(step + 1); });
        });
    };
    switch (step) {
    case 0:
        continueAfter(settings.setupWizardComplete == 0
                          ? startProcedure(QStringLiteral("SetupWizard"))
                          : nullptr);
        return;
    case 1:
        if (settings.dbgMode == 1) {
            ask(Message{QStringLiteral("Introduction"), QStringLiteral("Add Tips"), Ok, Ok,
                        Icon::Information});
            startProcedure(QStringLiteral("BrowseTips"));
            continueAfter(nullptr);
        } else {
            continueAfter(settings.showTips == 1 ? startProcedure(QStringLiteral("Tips"))
                                                 : nullptr);
        }
        return;
    case 2: {
        const std::pair<int, const char *> browsers[] = {{settings.suSongs, "BrowseSongs"},
                                                         {settings.suAlbums, "BrowseAlbums"},
                                                         {settings.suPlaylists, "BrowsePlayLists"},
                                                         {settings.suLabels, "BrowseLabels"}};
        for (const auto &[wanted, procedure] : browsers) {
            if (wanted == 1)
                startProcedure(QString::fromUtf8(procedure));
        }
        Q_EMIT startUpFinished();
        return;
    }
    default:
        return;
    }
}

// One help window: asking for help again turns it to the page asked for.
void MainFrame::showHelp(HelpWindow::Page page, const QString &topic)
{
    closeSplash();
    if (QApplication::activeModalWidget()) {
        showHelpBesideDialog(page, topic);
        return;
    }
    for (QMdiSubWindow *child : m_area->subWindowList()) {
        if (auto *help = qobject_cast<HelpWindow *>(child->widget())) {
            topic.isEmpty() ? help->showPage(page) : help->showTopic(topic);
            m_area->setActiveSubWindow(child);
            return;
        }
    }
    auto *help = new HelpWindow(page);
    if (!topic.isEmpty())
        help->showTopic(topic);
    openChild(help);
}

void MainFrame::showHelpBesideDialog(HelpWindow::Page page, const QString &topic)
{
    if (!m_helpBesideDialog) {
        m_helpBesideDialog = new HelpWindow(page);
        m_helpBesideDialog->setAttribute(Qt::WA_DeleteOnClose);
        m_helpBesideDialog->resize(640, 480);
    }
    topic.isEmpty() ? m_helpBesideDialog->showPage(page) : m_helpBesideDialog->showTopic(topic);
    m_helpBesideDialog->show();
    m_helpBesideDialog->raise();
    m_helpBesideDialog->activateWindow();
}

bool MainFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F1 &&
        watched->isWidgetType() && QApplication::activeModalWidget() &&
        static_cast<QWidget *>(watched)->window() == QApplication::activeModalWidget()) {
        helpForActiveWindow();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainFrame::helpForActiveWindow()
{
    QWidget *window = QApplication::activeWindow();
    if (!window || window == this) {
        QMdiSubWindow *child = m_area->activeSubWindow();
        window = child ? child->widget() : nullptr;
    }
    if (qobject_cast<HelpWindow *>(window))
        return;
    showHelp(HelpWindow::Page::Contents, HelpWindow::topicFor(window));
}

// Before the program ends, each open form with changes asks whether to keep them: Yes
// saves through the form's OK (a refused entry keeps the form, and the program, open), No
// drops them, Cancel keeps the program running. Forms without changes are cancelled. The
// newest form goes first: a form opened from another (a play list's entry, an album's
// song) is settled while the one it reports to still waits for it.
bool MainFrame::settleForms()
{
    QList<QPointer<QMdiSubWindow>> children;
    const QList<QMdiSubWindow *> opened = m_area->subWindowList(QMdiArea::CreationOrder);
    for (auto child = opened.crbegin(); child != opened.crend(); ++child)
        children.append(*child);
    for (const QPointer<QMdiSubWindow> &child : std::as_const(children)) {
        QPointer<UpdateForm> form = child ? qobject_cast<UpdateForm *>(child->widget()) : nullptr;
        if (!form || form->hasEnded())
            continue;
        Button answer = No;
        if (form->hasUnsavedChanges() && !m_noQuestions) {
            m_area->setActiveSubWindow(child);
            answer = ask(Message{form->windowTitle(),
                                 QStringLiteral("Do you want to save the changes you made in "
                                                "this window before SongVane Pro 98 closes?"),
                                 Yes | No | Cancel, Yes, Icon::Question});
        }
        if (!form || form->hasEnded())
            continue;
        if (m_noQuestions && form->hasUnsavedChanges()) {
            answer = No;
            std::fprintf(stderr, "SongVane Pro 98: the changes in \"%s\" were not saved.\n",
                         qPrintable(form->windowTitle()));
        }
        if (answer == Cancel)
            return false;
        if (answer == Yes) {
            form->accept();
            if (form && !form->hasEnded())
                return false; // the form shows what is wrong
        } else {
            form->cancel();
        }
    }
    return true;
}

void MainFrame::endWithoutQuestions()
{
    m_noQuestions = true;
    // The question on screen (and any dialog under it) is answered as its Escape would.
    for (int i = 0; i < 10; ++i) {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            break;
        dialog->reject();
    }
    if (!m_settling)
        QTimer::singleShot(0, this, [this] {
            if (close())
                QCoreApplication::quit();
        });
}

void MainFrame::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    closeSplash();
    m_settling = true;
    const bool settled = settleForms();
    m_settling = false;
    if (!settled) {
        event->ignore();
        return;
    }
    m_area->closeAllSubWindows();
    // A form tells its browser that it ended on the next turn of the event loop, and a
    // browser does not close while its form is open.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    m_area->closeAllSubWindows();
    if (!m_area->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    m_catalogue.reset();
    saveWindowPosition(FrameSection, this);
    if (m_helpBesideDialog)
        m_helpBesideDialog->close();
    m_closing = true;
    event->accept();
}

} // namespace sv
