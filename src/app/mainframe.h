#pragma once

#include "helpwindow.h"
#include "recordbuttons.h"
#include "store/fileaccess.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <functional>

class QMdiArea;
class QMdiSubWindow;
class QAction;

namespace sv {

class Session;
class LogoArea;

// The program's main window: the multiple-document area every browser, form, wizard and
// report opens in, the menus and toolbar that start them, and the start-up sequence after
// the splash window.
class MainFrame : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainFrame(Session &session);
    ~MainFrame() override;

    // Opens the catalogue's main tables and seeds the media formats; false when a table
    // could not be opened (the user has been told and the program is ending).
    bool openCatalogue();
    void showAndStart(); // restores the position, shows the frame and the splash window

    // Starts a procedure by name as the menu entry would; the window, or null.
    QWidget *startProcedure(const QString &name);
    QAction *menuAction(const QString &procedure) const { return m_actions.value(procedure); }
    QMdiArea *mdiArea() const;
    QString logoFile() const { return m_logoFile; }

    // The navigation and record buttons a focused browser or form takes over.
    QAction *recordButton(RecordButton button) const { return m_recordButtons.value(button); }
    struct RecordButtonUse
    {
        std::function<void()> action;
        bool enabled = true;
        QString tip; // null: the button's own tip
    };
    // Gives the buttons to `owner` until another window takes them or the owner goes; the
    // buttons not named stay disabled.
    void takeRecordButtons(QObject *owner, const QHash<RecordButton, RecordButtonUse> &buttons);
    void helpForActiveWindow(); // F1: the help page of the window in use

    // Ends the program as File / Exit does (close()), but after a second request to end (a
    // second termination signal, a session that ends without room for questions): the
    // question on screen is dismissed, no more are asked, and the changes of open forms
    // are not kept; each one so dropped is named on the standard error.
    void endWithoutQuestions();

Q_SIGNALS:
    void startUpFinished();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    void buildToolBar();
    QAction *addProcedureAction(QMenu *menu, const QString &text, const QString &hint,
                                const QString &procedure);
    void seedMedia();
    void showLogo();
    void checkAlbumTable(const QString &previousVersion, std::function<void()> then);
    void showSplash();
    void splashClosed();
    void runStartUpActions(int step);
    void closeSplash();
    void showHelp(HelpWindow::Page page, const QString &topic = QString());
    void showHelpBesideDialog(HelpWindow::Page page, const QString &topic);
    QWidget *openChild(QWidget *window, int instance = 0);

    Session &m_session;
    LogoArea *m_area = nullptr;
    QHash<QString, QAction *> m_actions;
    QHash<RecordButton, QAction *> m_recordButtons;
    QList<QMetaObject::Connection> m_recordConnections;
    void releaseRecordButtons();
    QPointer<QWidget> m_splash;
    // Help asked for while a dialog holds the frame: a window of its own, which the
    // dialog does not block as it blocks the frame and its children.
    QPointer<HelpWindow> m_helpBesideDialog;
    QString m_logoFile;
    TableUses m_catalogue; // the album, media and song tables, for the program's run
    bool settleForms();
    bool m_closing = false;
    bool m_settling = false;    // asking the open forms about their changes
    bool m_noQuestions = false; // see endWithoutQuestions
};

} // namespace sv
