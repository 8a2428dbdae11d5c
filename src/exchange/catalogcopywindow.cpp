#include "catalogcopywindow.h"

#include "app/session.h"
#include "app/settings.h"
#include "platform/prompter.h"
#include "store/store.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace sv::exchange {

namespace {

// Records copied a tick: batches for about this long, so Cancel and the other windows are
// answered at once whatever a batch costs.
constexpr int TickBudgetMs = 40;

ServerDatabase::PasswordPrompt &installedPrompt()
{
    static ServerDatabase::PasswordPrompt prompt;
    return prompt;
}

std::optional<QString> askPassword(QWidget *parent, const QString &server)
{
    if (installedPrompt())
        return installedPrompt()(server);
    bool ok = false;
    const QString password = QInputDialog::getText(parent, QStringLiteral("Server Password"),
                                                   QStringLiteral("Password for %1:").arg(server),
                                                   QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return password;
}

QString caption(CatalogueCopy::Direction direction)
{
    return direction == CatalogueCopy::Direction::ToServer
               ? QStringLiteral("Copy Catalogue to Server")
               : QStringLiteral("Copy Catalogue from Server");
}

bool isServerUrl(const QString &url)
{
    return !url.isEmpty() && chooseServer({}, url, {}).problem.isEmpty();
}

QString number(qint64 value)
{
    return QLocale::system().toString(value);
}

} // namespace

void CatalogueCopyWindow::setPasswordPrompt(ServerDatabase::PasswordPrompt prompt)
{
    installedPrompt() = std::move(prompt);
}

CatalogueCopyWindow *CatalogueCopyWindow::open(Session &session, CatalogueCopy::Direction direction,
                                               QWidget *parent)
{
    auto *window = new CatalogueCopyWindow(session, direction, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // The frame waits meanwhile: what its windows would change in the catalogue under way
    // would not be in the copy.
    window->QDialog::open();
    return window;
}

CatalogueCopyWindow::CatalogueCopyWindow(Session &session, CatalogueCopy::Direction direction,
                                         QWidget *parent)
    : QDialog(parent), m_session(session), m_direction(direction)
{
    setWindowTitle(caption(direction));
    auto *form = new QFormLayout;
    // The program's own server choice, as it would open the catalogue; shown without its
    // password, which the server asks for again when it wants one.
    const ServerChoice choice =
        chooseServer(QApplication::arguments(), qEnvironmentVariable("SONGVANE_SERVER"),
                     settings::read(QStringLiteral("Server"), QString()));
    m_url = new QLineEdit(choice.problem.isEmpty() ? withoutPassword(choice.url) : QString());
    m_url->setPlaceholderText(QStringLiteral("postgresql://host/database"));
    m_url->setMinimumWidth(440);
    form->addRow(QStringLiteral("&Server:"), m_url);
    const QString folder = session.store().database().folder();
    if (direction == CatalogueCopy::Direction::ToServer) {
        form->addRow(QStringLiteral("From:"), new QLabel(QDir::toNativeSeparators(folder)));
    } else {
        m_folder = new QLineEdit;
        m_folder->setPlaceholderText(QStringLiteral("a folder for the table files"));
        m_browse = new QPushButton(QStringLiteral("&Browse..."));
        auto *row = new QHBoxLayout;
        row->addWidget(m_folder, 1);
        row->addWidget(m_browse);
        auto *label = new QLabel(QStringLiteral("&Into folder:"));
        label->setBuddy(m_folder);
        form->addRow(label, row);
        connect(m_browse, &QPushButton::clicked, this, &CatalogueCopyWindow::browse);
        connect(m_folder, &QLineEdit::textChanged, this, &CatalogueCopyWindow::updateCopyButton);
    }

    m_tableLabel = new QLabel(QStringLiteral("Table:"));
    m_tableBar = new QProgressBar;
    m_overallBar = new QProgressBar;
    form->addRow(m_tableLabel, m_tableBar);
    form->addRow(QStringLiteral("All tables:"), m_overallBar);
    m_tableBar->setValue(0);
    m_tableBar->setFormat(QString());
    m_overallBar->setRange(0, TableCount);
    m_overallBar->setValue(0);
    m_overallBar->setFormat(QStringLiteral("%v of %m"));

    m_tables = new QListWidget;
    m_tables->setMinimumHeight(140);
    m_status = new QLabel;
    m_status->setWordWrap(true);
    m_copy = new QPushButton(QStringLiteral("&Copy"));
    m_copy->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_copy);
    buttons->addWidget(m_cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_tables, 1);
    layout->addWidget(m_status);
    layout->addLayout(buttons);

    connect(m_url, &QLineEdit::textChanged, this, &CatalogueCopyWindow::updateCopyButton);
    connect(m_copy, &QPushButton::clicked, this, &CatalogueCopyWindow::startCopy);
    connect(m_cancel, &QPushButton::clicked, this, &CatalogueCopyWindow::reject);
    connect(&m_timer, &QTimer::timeout, this, &CatalogueCopyWindow::tick);
    m_timer.setInterval(0);
    updateCopyButton();
}

CatalogueCopyWindow::~CatalogueCopyWindow()
{
    m_timer.stop();
    m_run.reset(); // a table under way is left as it was
}

QString CatalogueCopyWindow::status() const
{
    return m_status->text();
}

void CatalogueCopyWindow::setStatus(const QString &text)
{
    m_status->setText(text);
}

// The Copy button waits for a postgresql:// URL (and a folder, for the way back); what is
// missing is said below instead.
void CatalogueCopyWindow::updateCopyButton()
{
    if (isCopying())
        return;
    const QString url = m_url->text().trimmed();
    QString missing;
    if (!isServerUrl(url))
        missing = url.isEmpty() ? QStringLiteral("Give the server as a postgresql:// URL.")
                                : QStringLiteral("The server must be a postgresql:// URL.");
    else if (m_folder && m_folder->text().trimmed().isEmpty())
        missing = QStringLiteral("Choose the folder to copy the catalogue into.");
    m_copy->setEnabled(missing.isEmpty());
    setStatus(missing);
}

void CatalogueCopyWindow::browse()
{
    QString chosen;
    // A path a test script gave ahead answers the question without a dialog.
    if (const std::optional<QString> given = takeChosenPath())
        chosen = *given;
    else
        chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Copy Catalogue Into"),
                                                   m_folder->text());
    if (!chosen.isEmpty())
        m_folder->setText(QDir::toNativeSeparators(chosen));
}

void CatalogueCopyWindow::startCopy()
{
    if (isCopying() || !m_copy->isEnabled())
        return;
    const QString title = caption(m_direction);
    const auto refuse = [&](const QString &text) {
        setStatus(text);
        ask(Message{title, text, Ok, Ok, Icon::Exclamation});
    };
    const QString sessionFolder = m_session.store().database().folder();
    QString folder = sessionFolder;
    if (m_folder) {
        folder = QDir::fromNativeSeparators(m_folder->text().trimmed());
        if (!QDir().mkpath(folder))
            return refuse(QStringLiteral("The folder %1 cannot be made.")
                              .arg(QDir::toNativeSeparators(folder)));
        // Its files are open in this program: replaced under it, they would be lost to it.
        if (QFileInfo(folder).canonicalFilePath() == QFileInfo(sessionFolder).canonicalFilePath())
            return refuse(QStringLiteral("%1 holds the catalogue this program has open. Choose "
                                         "another folder.")
                              .arg(QDir::toNativeSeparators(folder)));
    }

    setStatus(QStringLiteral("Connecting to the server..."));
    m_copy->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_server =
        std::make_unique<ServerDatabase>(m_url->text().trimmed(), [this](const QString &server) {
            return askPassword(this, server);
        });
    QApplication::restoreOverrideCursor();
    // The copy goes before the connection it uses.
    std::unique_ptr<CatalogueCopy> run;
    const auto giveUp = [&](const QString &text) {
        run.reset();
        m_server.reset();
        refuse(text);
        m_copy->setEnabled(true);
    };
    // The server's own words come on several indented lines.
    if (!m_server->isValid())
        return giveUp((fileError().isEmpty() ? errorText() : fileError()).simplified());

    run = std::make_unique<CatalogueCopy>(m_direction, folder, *m_server);
    const std::optional<bool> holds = run->targetHoldsCatalogue();
    if (!holds)
        return giveUp(run->message());
    CatalogueCopy::Replace replace = CatalogueCopy::Replace::No;
    if (*holds) {
        const QString target =
            m_direction == CatalogueCopy::Direction::ToServer
                ? QStringLiteral("The server %1").arg(m_server->server())
                : QStringLiteral("The folder %1").arg(QDir::toNativeSeparators(folder));
        const Button answer =
            ask(Message{title,
                        QStringLiteral("%1 already holds a catalogue. Replace it with this "
                                       "copy? Each table is replaced as it is copied.")
                            .arg(target),
                        Yes | No,
                        No,
                        Icon::Question,
                        {{Yes, QStringLiteral("Replace")}}});
        if (answer != Yes) {
            run.reset();
            m_server.reset();
            m_copy->setEnabled(true);
            setStatus(QStringLiteral("Nothing was copied."));
            return;
        }
        replace = CatalogueCopy::Replace::Yes;
    }
    if (!run->start(replace))
        return giveUp(run->message());

    m_run = std::move(run);
    m_listed = 0;
    m_tables->clear();
    m_url->setEnabled(false);
    if (m_folder) {
        m_folder->setEnabled(false);
        m_browse->setEnabled(false);
    }
    setStatus(QStringLiteral("Copying..."));
    showProgress();
    m_timer.start();
}

void CatalogueCopyWindow::tick()
{
    if (!m_run)
        return;
    QElapsedTimer clock;
    clock.start();
    do {
        const CatalogueCopy::Step step = m_run->step();
        if (step != CatalogueCopy::Step::Working && step != CatalogueCopy::Step::TableDone) {
            showProgress();
            end(step);
            return;
        }
    } while (clock.elapsed() < TickBudgetMs);
    showProgress();
}

void CatalogueCopyWindow::showProgress()
{
    if (!m_run)
        return;
    // Each table done, with its count check.
    const QList<CatalogueCopy::TableCount> &finished = m_run->finished();
    for (; m_listed < finished.size(); ++m_listed) {
        const CatalogueCopy::TableCount &count = finished.at(m_listed);
        m_tables->addItem(
            QStringLiteral("%1: %2 records copied, %3 in the source - counts agree")
                .arg(tableDef(count.table).label, number(count.copied), number(count.source)));
    }
    m_tables->scrollToBottom();
    m_overallBar->setValue(int(finished.size()));
    if (finished.size() < m_run->tableCount()) {
        m_tableLabel->setText(QStringLiteral("%1:").arg(tableDef(m_run->currentTable()).label));
        const qint64 total = qMax<qint64>(m_run->total(), 1);
        m_tableBar->setRange(0, 1000);
        m_tableBar->setValue(int(qMin<qint64>(m_run->done(), total) * 1000 / total));
        m_tableBar->setFormat(
            QStringLiteral("%1 of %2").arg(number(m_run->done()), number(m_run->total())));
        if (m_run->makingKeys())
            setStatus(QStringLiteral("Making the keys of %1 (%2 of %3)...")
                          .arg(tableDef(m_run->currentTable()).label)
                          .arg(m_run->keysMade() + 1)
                          .arg(m_run->keysToMake()));
        else
            setStatus(QStringLiteral("Copying..."));
    } else {
        m_tableLabel->setText(QStringLiteral("Table:"));
        m_tableBar->setValue(m_tableBar->maximum());
        m_tableBar->setFormat(QStringLiteral("Every table copied"));
    }
}

void CatalogueCopyWindow::end(CatalogueCopy::Step step)
{
    m_timer.stop();
    const QString message = m_run->message();
    const QString title = caption(m_direction);
    m_run.reset();
    m_server.reset();
    m_copy->setVisible(false);
    m_cancel->setText(QStringLiteral("Close"));
    setStatus(message);
    Message box{title, message, Ok, Ok, Icon::Information};
    if (step == CatalogueCopy::Step::Failed) {
        box.caption = title + QStringLiteral(" Failed");
        box.icon = Icon::Exclamation;
    } else if (step == CatalogueCopy::Step::Cancelled) {
        box.caption = title + QStringLiteral(" Cancelled");
    }
    // Said once the event loop is back: a copy ended because the window is closing says
    // nothing to a user who has left.
    QTimer::singleShot(0, this, [box] { ask(box); });
}

void CatalogueCopyWindow::reject()
{
    if (m_run) {
        m_run->cancel();
        end(CatalogueCopy::Step::Cancelled);
        return;
    }
    QDialog::reject();
}

void CatalogueCopyWindow::closeEvent(QCloseEvent *event)
{
    // Closing in the middle leaves the table under way as it was; the others stay copied.
    if (m_run) {
        m_timer.stop();
        m_run->cancel();
        m_run.reset();
        m_server.reset();
    }
    QDialog::closeEvent(event);
}

} // namespace sv::exchange
