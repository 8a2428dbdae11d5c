#include "importwindow.h"

#include "filechooser.h"
#include "picturedialog.h"
#include "songfields.h"

#include "app/housekeeping.h"
#include "app/session.h"
#include "platform/prompter.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace sv::exchange {

namespace {

void tell(const Failure &failure)
{
    ask(Message{failure.caption, failure.text, Ok, Ok, Icon::Exclamation});
}

} // namespace

ImportWindow *ImportWindow::choose(Session &session, QWidget *parent)
{
    while (true) {
        const QString path = chooseFile(
            parent, {QStringLiteral("Import File"),
                     QStringLiteral("Import Files (*.CSV *.csv);;All Files (*)"), false});
        if (path.isEmpty())
            return nullptr;
        auto import = std::make_unique<SongImport>(session);
        switch (import->open(path)) {
        case SongImport::Opened::Ok:
            return new ImportWindow(session, std::move(import));
        case SongImport::Opened::Empty:
            ask(Message{QStringLiteral("Attention!"),
                        QStringLiteral("That file is empty!  Please pick another file."), Ok, Ok,
                        Icon::Exclamation});
            break;
        case SongImport::Opened::CannotOpen:
            tell(import->failure());
            break;
        case SongImport::Opened::Unreadable:
            tell(import->failure());
            return nullptr;
        }
    }
}

ImportWindow::ImportWindow(Session &session, std::unique_ptr<SongImport> import, QWidget *parent)
    : QWidget(parent), m_session(session), m_import(std::move(import)), m_columns(new QTreeWidget),
      m_targets(new QTreeWidget), m_record(new QLineEdit), m_encoding(new QLabel),
      m_strip(new QCheckBox(QStringLiteral("Strip &header record (field names)")))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Assign fields for Import..."));
    setProperty("procedure", QStringLiteral("Import"));

    m_columns->setColumnCount(3);
    m_columns->setHeaderLabels(
        {QStringLiteral("Import Field"), QStringLiteral("Picture"), QStringLiteral("Value")});
    m_columns->setRootIsDecorated(false);
    m_columns->header()->setStretchLastSection(true);
    m_targets->setColumnCount(3);
    m_targets->setHeaderLabels(
        {QStringLiteral("Target Field"), QStringLiteral("="), QStringLiteral("Import Field")});
    m_targets->setRootIsDecorated(false);
    m_targets->header()->setStretchLastSection(true);
    m_targets->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_targets->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_record->setReadOnly(true);
    m_record->setMaximumWidth(110);
    m_record->setAlignment(Qt::AlignRight);
    m_encoding->setText(
        QStringLiteral("File: %1 (%2)")
            .arg(QFileInfo(m_import->fileName()).fileName(), encodingName(m_import->encoding())));
    m_encoding->setObjectName(QStringLiteral("Encoding"));

    const auto makeButton = [this](const char *caption, std::function<void()> clicked) {
        return m_buttons.add(caption, std::move(clicked));
    };
    auto *preview = new QHBoxLayout;
    preview->addWidget(makeButton("&Next", [this] { previewNext(); }));
    preview->addWidget(new QLabel(QStringLiteral("Rec#")));
    preview->addWidget(m_record);
    preview->addWidget(makeButton("&Picture", [this] { editPicture(); }));
    preview->addStretch();

    auto *middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(makeButton("&Assign", [this] { assign(); }));
    middle->addWidget(makeButton("A&uto", [this] { autoAssign(); }));
    middle->addWidget(makeButton("&Unassign", [this] { unassign(); }));
    middle->addStretch();

    auto *left = new QVBoxLayout;
    left->addWidget(m_columns);
    left->addLayout(preview);
    auto *lists = new QHBoxLayout;
    lists->addLayout(left, 1);
    lists->addLayout(middle);
    lists->addWidget(m_targets, 1);

    QHBoxLayout *bottom = m_buttons.closingRow(m_strip, [this] { ok(); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_encoding);
    layout->addLayout(lists);
    layout->addLayout(bottom);

    for (const QString &target : importTargets())
        new QTreeWidgetItem(m_targets, {target, QString(), QString()});
    showColumns();
    if (m_columns->topLevelItemCount() > 0)
        m_columns->setCurrentItem(m_columns->topLevelItem(0));
    m_targets->setCurrentItem(m_targets->topLevelItem(0));
    resize(900, 480);
}

ImportWindow::~ImportWindow()
{
    m_closing = true;
    delete m_progress;
}

QPushButton *ImportWindow::button(const QString &caption) const
{
    return m_buttons.find(caption);
}

void ImportWindow::showColumns()
{
    const QList<ImportColumn> &columns = m_import->columns();
    for (qsizetype i = 0; i < columns.size(); ++i) {
        QTreeWidgetItem *item = m_columns->topLevelItem(int(i));
        if (!item)
            item = new QTreeWidgetItem(m_columns);
        item->setText(0, columns.at(i).name);
        item->setText(1, pictureTypeText(columns.at(i).picture, false));
        item->setText(2, columns.at(i).value);
    }
    m_record->setText(QString::number(m_import->previewRecord()));
}

void ImportWindow::showTargets()
{
    const QList<int> &assigned = m_import->assignments();
    for (qsizetype t = 0; t < assigned.size(); ++t) {
        QTreeWidgetItem *item = m_targets->topLevelItem(int(t));
        const int column = assigned.at(t);
        item->setText(1, column >= 0 ? QStringLiteral("=") : QString());
        item->setText(2, column >= 0 ? m_import->columns().at(column).name : QString());
    }
}

void ImportWindow::assign()
{
    QTreeWidgetItem *target = m_targets->currentItem();
    QTreeWidgetItem *column = m_columns->currentItem();
    if (!target || !column)
        return;
    m_import->assign(m_targets->indexOfTopLevelItem(target),
                     m_columns->indexOfTopLevelItem(column));
    showTargets();
}

void ImportWindow::unassign()
{
    if (QTreeWidgetItem *target = m_targets->currentItem()) {
        m_import->assign(m_targets->indexOfTopLevelItem(target), -1);
        showTargets();
    }
}

void ImportWindow::autoAssign()
{
    m_import->autoAssign();
    m_strip->setChecked(true);
    showTargets();
}

void ImportWindow::editPicture()
{
    QTreeWidgetItem *item = m_columns->currentItem();
    if (!item)
        return;
    const int row = m_columns->indexOfTopLevelItem(item);
    setEnabled(false);
    PictureDialog::ask(this, m_import->columns().at(row).picture,
                       [this, row](const QString &picture) {
                           setEnabled(true);
                           if (!picture.isEmpty()) {
                               m_import->columns()[row].picture = picture;
                               showColumns();
                           }
                       });
}

void ImportWindow::previewNext()
{
    if (m_import->previewNext()) {
        button(QStringLiteral("A&uto"))->setEnabled(false);
        showColumns();
        return;
    }
    button(QStringLiteral("&Next"))->setEnabled(false);
    if (!m_import->failure().caption.isEmpty())
        tell(m_import->failure());
}

void ImportWindow::ok()
{
    if (!m_import->anyAssigned()) {
        ask(Message{QStringLiteral("No Fields Selected for Import!"),
                    QStringLiteral("You must select one or more fields to import."), Ok, Ok,
                    Icon::Exclamation});
        return;
    }
    m_import->stripHeader = m_strip->isChecked();
    if (!m_import->begin()) {
        if (!m_import->failure().caption.isEmpty())
            tell(m_import->failure());
        close();
        return;
    }
    setEnabled(false);
    m_progress = new ProgressWindow(m_import->fileName(), this);
    m_progress->setWindowTitle(QStringLiteral("Importing Records"));
    m_progress->setTickMilliseconds(WindowTickMilliseconds);
    m_progress->run(
        m_import->fileSize(), 1, [this] { return step(); },
        [this](bool completed) { finished(completed); });
}

ProgressWindow::Step ImportWindow::step()
{
    const SongImport::Step outcome = m_import->next();
    m_progress->setUnitsDone(m_import->bytesRead());
    switch (outcome) {
    case SongImport::Step::Line:
        return ProgressWindow::Step::Continue;
    case SongImport::Step::End:
        return ProgressWindow::Step::Finished;
    case SongImport::Step::Wait:
        return ProgressWindow::Step::Wait;
    case SongImport::Step::Failed:
        break;
    }
    m_failed = true;
    tell(m_import->failure());
    return ProgressWindow::Step::Stopped;
}

void ImportWindow::finished(bool completed)
{
    m_progress = nullptr;
    m_import->end();
    if (m_closing)
        return;
    // A failure ends the import as if it had run to the end: the lines before it stay.
    if (completed || m_failed) {
        const Button answer =
            ask(Message{QStringLiteral("Import Complete"),
                        QStringLiteral("The Songs database has been updated.  Do you want to "
                                       "create Albums database entries for the imported songs?"),
                        Yes | No, Yes, Icon::Question});
        if (answer == Yes) {
            QWidget *parent = parentWidget() ? window() : nullptr;
            runAlbumBuild(m_session, false, parent, [](bool) {});
        }
    }
    close();
}

} // namespace sv::exchange
