#include "exportwindow.h"

#include "delimited.h"
#include "filechooser.h"
#include "picturedialog.h"

#include "app/session.h"
#include "platform/prompter.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace sv::exchange {

ExportWindow::ExportWindow(Session &session, QWidget *parent)
    : QWidget(parent), m_session(session), m_available(new QListWidget), m_chosen(new QTreeWidget),
      m_type(new QLineEdit),
      m_header(new QCheckBox(QStringLiteral("Include &header record with field names")))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Choose Fields for Export..."));
    setProperty("procedure", QStringLiteral("Export"));

    m_available->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const ExportField &field : availableExportFields()) {
        auto *item = new QListWidgetItem(field.name, m_available);
        item->setData(Qt::UserRole, field.picture);
    }
    m_chosen->setColumnCount(2);
    m_chosen->setHeaderLabels({QStringLiteral("Export Fields"), QStringLiteral("Picture")});
    m_chosen->setRootIsDecorated(false);
    m_chosen->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_chosen->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_type->setReadOnly(true);
    m_type->setObjectName(QStringLiteral("Picture"));

    const auto makeButton = [this](const char *caption, std::function<void()> clicked) {
        return m_buttons.add(caption, std::move(clicked));
    };
    auto *middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(makeButton("&Add ->", [this] { addMarked(); }));
    middle->addWidget(makeButton("&Remove", [this] { removeMarked(); }));
    middle->addWidget(makeButton("Shift &Up", [this] { shift(-1); }));
    middle->addWidget(makeButton("Shift &Down", [this] { shift(1); }));
    middle->addWidget(makeButton("&Picture", [this] { editPicture(); }));
    middle->addStretch();

    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("All Fields")));
    left->addWidget(m_available);
    auto *right = new QVBoxLayout;
    right->addWidget(m_chosen);
    auto *typeRow = new QHBoxLayout;
    typeRow->addWidget(new QLabel(QStringLiteral("Picture")));
    typeRow->addWidget(m_type);
    right->addLayout(typeRow);

    auto *lists = new QHBoxLayout;
    lists->addLayout(left, 1);
    lists->addLayout(middle);
    lists->addLayout(right, 1);

    QHBoxLayout *bottom = m_buttons.closingRow(m_header, [this] { ok(); });

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addLayout(bottom);
    connect(m_chosen, &QTreeWidget::currentItemChanged, this, [this] { showType(); });
    resize(640, 420);
}

ExportWindow::~ExportWindow()
{
    // Closed with the frame while writing: the file and the tables are let go now, while
    // this window can still take the progress window's end.
    m_closing = true;
    delete m_progress;
}

QPushButton *ExportWindow::button(const QString &caption) const
{
    return m_buttons.find(caption);
}

QList<ExportField> ExportWindow::exportFields() const
{
    QList<ExportField> fields;
    for (int i = 0; i < m_chosen->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_chosen->topLevelItem(i);
        fields.append({item->text(0), item->text(1)});
    }
    return fields;
}

void ExportWindow::showType()
{
    const QTreeWidgetItem *item = m_chosen->currentItem();
    m_type->setText(item ? pictureTypeText(item->text(1), true) : QString());
}

void ExportWindow::addMarked()
{
    QTreeWidgetItem *first = nullptr;
    for (int row = 0; row < m_available->count(); ++row) {
        const QListWidgetItem *field = m_available->item(row);
        if (!field->isSelected() ||
            !m_chosen->findItems(field->text(), Qt::MatchExactly, 0).isEmpty())
            continue;
        auto *item =
            new QTreeWidgetItem(m_chosen, {field->text(), field->data(Qt::UserRole).toString()});
        if (!first)
            first = item;
    }
    if (first)
        m_chosen->setCurrentItem(first);
    showType();
}

void ExportWindow::removeMarked()
{
    const QList<QTreeWidgetItem *> marked = m_chosen->selectedItems();
    for (QTreeWidgetItem *item : marked)
        delete item;
    showType();
}

void ExportWindow::shift(int by)
{
    QTreeWidgetItem *item = m_chosen->currentItem();
    if (!item)
        return;
    const int row = m_chosen->indexOfTopLevelItem(item);
    const int target = row + by;
    if (target < 0 || target >= m_chosen->topLevelItemCount())
        return;
    m_chosen->takeTopLevelItem(row);
    m_chosen->insertTopLevelItem(target, item);
    m_chosen->clearSelection();
    m_chosen->setCurrentItem(item);
}

void ExportWindow::editPicture()
{
    QTreeWidgetItem *item = m_chosen->currentItem();
    if (m_chosen->topLevelItemCount() == 0 || !item) {
        m_available->setFocus();
        return;
    }
    setEnabled(false);
    const int row = m_chosen->indexOfTopLevelItem(item);
    PictureDialog::ask(this, item->text(1), [this, row](const QString &picture) {
        setEnabled(true);
        QTreeWidgetItem *edited = m_chosen->topLevelItem(row);
        if (edited && !picture.isEmpty())
            edited->setText(1, picture);
        showType();
    });
}

void ExportWindow::ok()
{
    if (m_chosen->topLevelItemCount() == 0) {
        ask(Message{QStringLiteral("No Fields Selected for Export!"),
                    QStringLiteral("You must select one or more fields to export."), Ok, Ok,
                    Icon::Exclamation});
        return;
    }
    const QString path =
        chooseFile(this, {QStringLiteral("Export File"),
                          QStringLiteral("Export Files (*.CSV *.csv);;All Files (*)"), true});
    if (path.isEmpty())
        return;
    run(path);
}

void ExportWindow::run(const QString &path)
{
    m_export = std::make_unique<SongExport>(m_session, exportFields(), m_header->isChecked());
    if (!m_export->begin(path)) {
        const Failure failure = m_export->failure();
        m_export.reset();
        if (!failure.caption.isEmpty())
            ask(Message{failure.caption, failure.text, Ok, Ok, Icon::Exclamation});
        close();
        return;
    }
    setEnabled(false);
    m_progress = new ProgressWindow(path, this);
    m_progress->setWindowTitle(QStringLiteral("Exporting Records"));
    m_progress->setTickMilliseconds(WindowTickMilliseconds);
    m_progress->run(
        m_export->total(), 1, [this] { return step(); },
        [this](bool completed) { finished(completed); });
}

ProgressWindow::Step ExportWindow::step()
{
    switch (m_export->next()) {
    case SongExport::Step::Line:
        return ProgressWindow::Step::Continue;
    case SongExport::Step::End:
        return ProgressWindow::Step::Finished;
    case SongExport::Step::Failed:
        return ProgressWindow::Step::Stopped;
    case SongExport::Step::WriteFailed:
        break;
    }
    // Retry offers the same lines again; Abort keeps what the file took.
    while (true) {
        const Failure &failure = m_export->failure();
        if (ask(Message{failure.caption, failure.text, Retry | Abort, Retry, Icon::Exclamation}) !=
            Retry)
            return ProgressWindow::Step::Stopped;
        if (m_export->retryWrite())
            return ProgressWindow::Step::Continue;
    }
}

void ExportWindow::finished(bool)
{
    m_progress = nullptr;
    if (!m_export->end()) {
        const Failure &failure = m_export->failure();
        ask(Message{failure.caption, failure.text, Ok, Ok, Icon::Exclamation});
    }
    m_export.reset();
    if (!m_closing)
        close();
}

} // namespace sv::exchange
