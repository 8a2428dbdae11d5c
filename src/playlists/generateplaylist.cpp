#include "generateplaylist.h"

#include "app/browser.h"
#include "app/fieldentry.h"
#include "app/mainframe.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/windowposition.h"
#include "platform/prompter.h"
#include "songs/codetables.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace sv::playlists {

namespace {

const QString SizePrompt = QStringLiteral("Play List Size (Number of Songs):");
const QString StartPrompt = QStringLiteral("Starting Release Date:");
const QString EndPrompt = QStringLiteral("Ending Release Date:");

// The name a prompt gives a field in messages: without mnemonic and colon.
QString nameOf(const QString &prompt)
{
    QString name = prompt;
    name.remove(u'&');
    if (name.endsWith(u':'))
        name.chop(1);
    return name;
}

} // namespace

GeneratePlaylistWindow::GeneratePlaylistWindow(Session &session, QWidget *parent)
    : QWidget(parent), m_session(session), m_category(new QComboBox),
      m_weighting(new QButtonGroup(this)),
      m_leaveOut(new QCheckBox(QStringLiteral("Leave out songs marked Do Not Play or Skips"))),
      m_noTwice(new QCheckBox(QStringLiteral("No song twice"))),
      m_bpm(new QCheckBox(QStringLiteral("BPM from"))), m_lowestBpm(new QSpinBox),
      m_highestBpm(new QSpinBox),
      m_notPlayed(new QCheckBox(QStringLiteral("Not played in the last"))), m_days(new QSpinBox),
      m_inForce(new QLabel)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Generate Play List"));
    setProperty("procedure", QString::fromLatin1(Procedure));

    const QString datePicture = Settings::global().datePicture();
    m_size = numberEntry(nameOf(SizePrompt), QStringLiteral("@n2"), FieldType::Byte);
    m_start = numberEntry(nameOf(StartPrompt), datePicture, FieldType::Long);
    m_end = numberEntry(nameOf(EndPrompt), datePicture, FieldType::Long);
    m_category->setEditable(true);
    m_category->setInsertPolicy(QComboBox::NoInsert);
    m_category->lineEdit()->setMaxLength(20);
    m_category->installEventFilter(this);
    m_category->lineEdit()->installEventFilter(this);

    auto *fields = new QFormLayout;
    const auto addRow = [fields](const QString &prompt, QWidget *field) {
        auto *label = new QLabel(prompt);
        label->setBuddy(field);
        fields->addRow(label, field);
    };
    addRow(SizePrompt, m_size);
    addRow(StartPrompt, m_start);
    addRow(EndPrompt, m_end);
    addRow(QStringLiteral("Category (Blank for All):"), m_category);

    auto *weighting = new QGroupBox(QStringLiteral("Weighting"));
    auto *weightingLayout = new QVBoxLayout(weighting);
    const QList<QPair<Weighting, QString>> weightings = {
        {Weighting::None, QStringLiteral("No Weighting")},
        {Weighting::RecentAddition, QStringLiteral("Recent Addition")},
        {Weighting::RecentRelease, QStringLiteral("Recent Release")},
        {Weighting::OlderAddition, QStringLiteral("Older Addition")},
        {Weighting::OlderRelease, QStringLiteral("Older Release")},
    };
    for (const auto &[value, caption] : weightings) {
        auto *button = new QRadioButton(caption);
        m_weighting->addButton(button, int(value));
        weightingLayout->addWidget(button);
    }
    m_weighting->button(int(Weighting::None))->setChecked(true);

    auto *dj = new QGroupBox(QStringLiteral("For DJs"));
    auto *djLayout = new QVBoxLayout(dj);
    djLayout->addWidget(m_leaveOut);
    djLayout->addWidget(m_noTwice);
    for (QSpinBox *bpm : {m_lowestBpm, m_highestBpm}) {
        bpm->setRange(1, 999);
        bpm->setValue(bpm == m_lowestBpm ? 120 : 130);
    }
    auto *bpmRow = new QHBoxLayout;
    bpmRow->addWidget(m_bpm);
    bpmRow->addWidget(m_lowestBpm);
    bpmRow->addWidget(new QLabel(QStringLiteral("to")));
    bpmRow->addWidget(m_highestBpm);
    bpmRow->addStretch();
    djLayout->addLayout(bpmRow);
    m_days->setRange(1, 3650);
    m_days->setValue(7);
    auto *daysRow = new QHBoxLayout;
    daysRow->addWidget(m_notPlayed);
    daysRow->addWidget(m_days);
    daysRow->addWidget(new QLabel(QStringLiteral("days")));
    daysRow->addStretch();
    djLayout->addLayout(daysRow);
    m_inForce->setObjectName(QStringLiteral("inForce"));
    m_inForce->setWordWrap(true);
    djLayout->addWidget(m_inForce);

    for (QCheckBox *box : {m_leaveOut, m_noTwice, m_bpm, m_notPlayed})
        connect(box, &QCheckBox::toggled, this, &GeneratePlaylistWindow::showInForce);
    for (QSpinBox *spin : {m_lowestBpm, m_highestBpm, m_days})
        connect(spin, &QSpinBox::valueChanged, this, &GeneratePlaylistWindow::showInForce);
    showInForce();

    auto *ok = new QPushButton(QStringLiteral("&Ok"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(ok, &QPushButton::clicked, this, &GeneratePlaylistWindow::ok);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(weighting);
    layout->addWidget(dj);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QLineEdit *GeneratePlaylistWindow::numberEntry(const QString &name, const QString &picture,
                                               FieldType type)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(name);
    const FieldDef field{name, type, type == FieldType::Byte ? 1 : 4, picture};
    edit->setValidator(new FieldEntry(field, picture, false, edit));
    edit->installEventFilter(this);
    return edit;
}

bool GeneratePlaylistWindow::start()
{
    Store &store = m_session.store();
    TableUse categories = m_session.files().use(store.table(TableId::Categories));
    if (!categories)
        return false;
    fillCategoryChoices(store, m_category, 0);
    if (errorCode() != err::None && errorCode() != err::RecordNotAvailable) {
        standardWarning(warning::RecordRetrieval, QStringLiteral("Categories"));
        return false;
    }
    // The list shows the names in order of their spelling, the blank entry first.
    m_category->model()->sort(0);
    m_category->setCurrentIndex(0);
    return true;
}

void GeneratePlaylistWindow::setWeighting(Weighting weighting)
{
    m_weighting->button(int(weighting))->setChecked(true);
}

void GeneratePlaylistWindow::showInForce()
{
    m_lowestBpm->setEnabled(m_bpm->isChecked());
    m_highestBpm->setEnabled(m_bpm->isChecked());
    m_days->setEnabled(m_notPlayed->isChecked());
    GeneratorChoices chosen;
    chosen.leaveOutDoNotPlay = m_leaveOut->isChecked();
    chosen.noSongTwice = m_noTwice->isChecked();
    chosen.bpmRange = m_bpm->isChecked();
    chosen.lowestBpm = m_lowestBpm->value();
    chosen.highestBpm = m_highestBpm->value();
    chosen.notPlayedDays = m_notPlayed->isChecked() ? m_days->value() : 0;
    const QStringList phrases = chosen.inForce();
    m_inForce->setText(phrases.isEmpty()
                           ? QStringLiteral("In force: none; every song the choices above "
                                            "allow may be drawn, and drawn again.")
                           : QStringLiteral("In force: ") + phrases.join(QStringLiteral("; ")) +
                                 u'.');
}

void GeneratePlaylistWindow::refuse(QWidget *field, const QString &why)
{
    QApplication::beep();
    if (auto *frame = qobject_cast<MainFrame *>(window()))
        frame->statusBar()->showMessage(why);
    field->setFocus();
    if (auto *edit = qobject_cast<QLineEdit *>(field))
        edit->selectAll();
}

std::optional<qint64> GeneratePlaylistWindow::readEntry(QLineEdit *edit, const QString &name)
{
    const auto *entry = qobject_cast<const FieldEntry *>(edit->validator());
    const FieldEntry::Reading reading = entry->read(edit->text(), name);
    if (!reading.ok) {
        refuse(edit, reading.why);
        return std::nullopt;
    }
    return reading.value.toLongLong();
}

// The category typed must be one of the list, and takes the list's spelling.
bool GeneratePlaylistWindow::checkCategory()
{
    const QString typed = m_category->currentText().trimmed();
    if (typed.isEmpty()) {
        m_category->setCurrentIndex(0);
        return true;
    }
    const int row = m_category->findText(typed, Qt::MatchFixedString);
    if (row < 0) {
        refuse(m_category,
               QStringLiteral("Category (Blank for All): \"%1\" is not a category.").arg(typed));
        return false;
    }
    m_category->setCurrentIndex(row);
    return true;
}

std::optional<GeneratorChoices> GeneratePlaylistWindow::choices()
{
    GeneratorChoices chosen;
    const std::optional<qint64> size = readEntry(m_size, nameOf(SizePrompt));
    if (!size)
        return std::nullopt;
    const std::optional<qint64> start = readEntry(m_start, nameOf(StartPrompt));
    if (!start)
        return std::nullopt;
    const std::optional<qint64> end = readEntry(m_end, nameOf(EndPrompt));
    if (!end || !checkCategory())
        return std::nullopt;
    chosen.songs = int(*size);
    chosen.startDate = qint32(*start);
    chosen.endDate = qint32(*end);
    chosen.category = m_category->currentText().trimmed();
    chosen.weighting = Weighting(qMax(0, m_weighting->checkedId()));
    chosen.leaveOutDoNotPlay = m_leaveOut->isChecked();
    chosen.noSongTwice = m_noTwice->isChecked();
    chosen.bpmRange = m_bpm->isChecked();
    chosen.lowestBpm = qMin(m_lowestBpm->value(), m_highestBpm->value());
    chosen.highestBpm = qMax(m_lowestBpm->value(), m_highestBpm->value());
    chosen.notPlayedDays = m_notPlayed->isChecked() ? m_days->value() : 0;
    return chosen;
}

void GeneratePlaylistWindow::ok()
{
    const std::optional<GeneratorChoices> chosen = choices();
    if (!chosen)
        return;
    PlaylistGenerator generator(m_session);
    m_result = generator.generate(*chosen);
    if (m_result.outcome == GeneratedPlaylist::Outcome::Written && m_result.entries < chosen->songs)
        ask({QStringLiteral("Generate Play List"),
             QStringLiteral("%1 holds %2 of the %3 songs asked for: no other song meets the "
                            "choices made.")
                 .arg(m_result.description)
                 .arg(m_result.entries)
                 .arg(chosen->songs),
             Ok, Ok, Icon::Information});
    close();
}

bool GeneratePlaylistWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Leaving the category for another field of this window checks it at once.
    if (event->type() == QEvent::FocusOut && watched == m_category->lineEdit()) {
        const QWidget *next = QApplication::focusWidget();
        if (next && next != m_category && isAncestorOf(next) && !m_ended) {
            const auto *button = qobject_cast<const QPushButton *>(next);
            if (!(button && button->text() == QStringLiteral("Cancel")))
                QTimer::singleShot(0, this, [this] {
                    if (!m_ended)
                        checkCategory();
                });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void GeneratePlaylistWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        restoreWindowPosition(QString::fromLatin1(Procedure), placementWindow(this), false);
    }
}

void GeneratePlaylistWindow::closeEvent(QCloseEvent *event)
{
    if (!m_ended) {
        m_ended = true;
        if (isVisible())
            saveWindowPosition(QString::fromLatin1(Procedure), placementWindow(this));
        Q_EMIT finished(m_result);
    }
    event->accept();
}

void GeneratePlaylistWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
        ok();
        return;
    }
    QWidget::keyPressEvent(event);
}

GeneratePlaylistWindow *generatePlaylist(Session &session, QWidget *caller,
                                         std::function<void(const GeneratedPlaylist &)> done)
{
    auto *window = new GeneratePlaylistWindow(session);
    if (!window->start()) {
        delete window;
        return nullptr;
    }
    if (done)
        QObject::connect(window, &GeneratePlaylistWindow::finished, window, done);
    showProcedureWindow(caller, window);
    window->sizeEntry()->setFocus();
    return window;
}

} // namespace sv::playlists
