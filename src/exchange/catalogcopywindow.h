#pragma once

#include "store/catalogcopy.h"
#include "store/serverdatabase.h"

#include <QDialog>
#include <QTimer>

#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace sv {

class Session;

namespace exchange {

// File / "Copy Catalogue to Server..." and "Copy Catalogue from Server...": the server's
// URL (taken from the program's server setting, its password never kept), for the way back
// the folder to copy into, then the copy a table at a time with a bar for the table and one
// for the whole, each table's count check as it is done, and Cancel. Runs a batch of records
// a tick from a timer, so the program's other windows keep working meanwhile.
class CatalogueCopyWindow : public QDialog
{
    Q_OBJECT

public:
    CatalogueCopyWindow(Session &session, CatalogueCopy::Direction direction,
                        QWidget *parent = nullptr);
    ~CatalogueCopyWindow() override;

    static CatalogueCopyWindow *open(Session &session, CatalogueCopy::Direction direction,
                                     QWidget *parent);

    // Asked for the server's password when neither the URL nor ~/.pgpass gave one; tests
    // answer it. Empty: a password dialog.
    static void setPasswordPrompt(ServerDatabase::PasswordPrompt prompt);

    QLineEdit *serverField() const { return m_url; }
    QLineEdit *folderField() const { return m_folder; }
    QPushButton *copyButton() const { return m_copy; }
    QPushButton *cancelButton() const { return m_cancel; }
    QProgressBar *tableBar() const { return m_tableBar; }
    QProgressBar *overallBar() const { return m_overallBar; }
    QListWidget *tableList() const { return m_tables; }
    QString status() const;
    bool isCopying() const { return m_run != nullptr; }

    void startCopy();       // as the Copy button
    void reject() override; // Escape, the title bar's close and Cancel

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void browse();
    void updateCopyButton();
    void tick();
    void showProgress();
    void end(CatalogueCopy::Step step);
    void setStatus(const QString &text);

    Session &m_session;
    CatalogueCopy::Direction m_direction;
    QLineEdit *m_url;
    QLineEdit *m_folder = nullptr;
    QPushButton *m_browse = nullptr;
    QLabel *m_tableLabel;
    QProgressBar *m_tableBar;
    QProgressBar *m_overallBar;
    QListWidget *m_tables;
    QLabel *m_status;
    QPushButton *m_copy;
    QPushButton *m_cancel;
    QTimer m_timer;
    std::unique_ptr<ServerDatabase> m_server;
    std::unique_ptr<CatalogueCopy> m_run;
    int m_listed = 0; // tables of the run shown in the list
};

} // namespace exchange
} // namespace sv
