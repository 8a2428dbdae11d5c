#include "setupwizard.h"

#include "appcontrol.h"
#include "housekeeping.h"
#include "platform/prompter.h"
#include "settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace sv {

DateFormatList::DateFormatList(QWidget *parent) : QComboBox(parent)
{
    setEditable(false);
    for (const DateFormatChoice &choice : dateFormatChoices())
        addItem(choice.text);
    setCurrentIndex(-1);
}

void DateFormatList::showPicture(const QString &picture)
{
    setCurrentIndex(findText(dateFormatText(picture)));
}

QString DateFormatList::chosenText() const
{
    return currentIndex() < 0 ? QString() : currentText();
}

bool confirmYearOnlyConversion()
{
    Message question;
    question.caption = u"Basic Format Changed"_s;
    question.text = u"Convert existing entries to Year Only format (day and month information "
                    u"will be lost!)?"_s;
    question.buttons = Yes | No;
    question.defaultButton = Yes;
    question.icon = Icon::Question;
    return ask(question) == Yes;
}

void saveDateFormat(const QString &chosenText)
{
    Settings &settings = Settings::global();
    const QString picture = dateFormatPicture(chosenText);
    if (!picture.isEmpty())
        settings.dateFormat = picture;
    settings.writeDateFormat();
}

namespace {

// A stylised record, painted so that the wizard ships no picture files.
class DiscPicture : public QWidget
{
public:
    explicit DiscPicture(QWidget *parent = nullptr) : QWidget(parent) { setFixedSize(140, 140); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = rect().center() + QPointF(0.5, 0.5);
        const qreal radius = qMin(width(), height()) / 2.0 - 4;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(25, 25, 30));
        painter.drawEllipse(centre, radius, radius);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(70, 70, 80), 1));
        for (qreal groove = radius - 6; groove > radius * 0.42; groove -= 5)
            painter.drawEllipse(centre, groove, groove);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 40, 40));
        painter.drawEllipse(centre, radius * 0.36, radius * 0.36);
        painter.setBrush(QColor(240, 200, 60));
        painter.drawEllipse(centre, radius * 0.12, radius * 0.12);
        painter.setBrush(palette().window());
        painter.drawEllipse(centre, 3.0, 3.0);
    }
};

// Lines kept exactly as written, one label each, so that none is rewrapped.
void addLines(QVBoxLayout *layout, const QStringList &lines)
{
    auto *block = new QVBoxLayout;
    block->setSpacing(0);
    for (const QString &line : lines)
        block->addWidget(new QLabel(line));
    layout->addLayout(block);
}

QWidget *pictureAndText(const QList<QStringList> &paragraphs)
{
    auto *page = new QWidget;
    auto *row = new QHBoxLayout(page);
    row->addWidget(new DiscPicture, 0, Qt::AlignTop);
    auto *text = new QVBoxLayout;
    for (const QStringList &lines : paragraphs)
        addLines(text, lines);
    text->addStretch();
    row->addLayout(text, 1);
    return page;
}

QWidget *welcomePage()
{
    return pictureAndText({
        {u"Welcome to SongVane Pro 98, the best way to organize your"_s, u"music collection."_s},
        {u"Features Include:"_s, u"- Quick locators that help you find what you want fast!"_s,
         u"- Query Wizards for detailed searching."_s, u"- Many reporting options."_s},
        {u"The way SongVane Pro 98 works can be easily customized."_s},
        {u"Please tell us your wishes for some of the basics...  press Next."_s},
    });
}

QWidget *donePage()
{
    return pictureAndText({
        {u"That's it!  You are now ready to start using SongVane Pro 98!"_s},
        {u"Further customization can be done by selecting \"File\" and"_s,
         u"then \"Preferences\" from the main menu."_s},
        {u"Categories and media formats can be changed by selecting"_s,
         u"\"Browse\" then \"Categories\" or \"Media Formats\" from the main"_s, u"menu."_s},
        {u"Press Finish to complete your setup."_s},
    });
}

QPushButton *wizardButton(const QString &text, QLayout *row)
{
    auto *button = new QPushButton(text);
    button->setAutoDefault(false);
    row->addWidget(button);
    return button;
}

} // namespace

SetupWizard *SetupWizard::open(Session &session, QWidget *parent, std::function<void()> finished)
{
    auto *wizard = new SetupWizard(session, parent, std::move(finished));
    wizard->QDialog::open();
    return wizard;
}

SetupWizard::SetupWizard(Session &session, QWidget *parent, std::function<void()> finished)
    : QDialog(parent), m_session(session), m_finished(std::move(finished))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"Setup Wizard"_s);
    m_pages = new QStackedWidget;
    m_pages->addWidget(welcomePage());
    m_pages->addWidget(createDatePage());
    m_pages->addWidget(createUserDefinedKeyPage());
    m_pages->addWidget(createStartUpPage());
    m_pages->addWidget(donePage());
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addLayout(createButtons());
    layout->setSizeConstraint(QLayout::SetFixedSize);
    loadFields();
    goTo(Welcome);
}

QWidget *SetupWizard::createDatePage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    addLines(layout, {u"Your reports and screen can use a common date format for "_s,
                      u"release dates.   Please select a format:"_s});
    m_dateFormat = new DateFormatList;
    layout->addWidget(m_dateFormat, 0, Qt::AlignLeft);
    layout->addStretch();
    return page;
}

QWidget *SetupWizard::createUserDefinedKeyPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    addLines(layout, {
                         u"SongVane Pro 98 lets you track everything from basic song"_s,
                         u"information like the artist and title to detailed background"_s,
                         u"information such as beats per minute, performance notes"_s,
                         u"and more!  There are also four \"additional information\" fields"_s,
                         u"that you can use to track things we didn't think of..."_s,
                     });
    addLines(layout, {
                         u"You can use one of the four \"user defined fields\" as part of a"_s,
                         u"quick locator / tab order window.  If you'd like to, enter a name "_s,
                         u"for this field here (you can always change or name it later):"_s,
                     });
    m_udkPrompt = new QLineEdit;
    m_udkPrompt->setMaxLength(20);
    m_udkPrompt->setMinimumWidth(m_udkPrompt->fontMetrics().averageCharWidth() * 24);
    layout->addWidget(m_udkPrompt, 0, Qt::AlignLeft);
    layout->addStretch();
    return page;
}

QWidget *SetupWizard::createStartUpPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    addLines(layout, {u"When you start SongVane Pro 98, you can have information"_s,
                      u"automatically displayed.  Which would you like to see?"_s});
    m_albums = new QCheckBox(u"Albums"_s);
    m_songs = new QCheckBox(u"Songs"_s);
    m_labels = new QCheckBox(u"Labels that you've created for cassettes and CDs"_s);
    m_playlists = new QCheckBox(u"Customized \"Playlists\""_s);
    for (QCheckBox *box : {m_albums, m_songs, m_labels, m_playlists})
        layout->addWidget(box);
    auto *tips = new QGroupBox(u"Tips"_s);
    m_showTips = new QCheckBox(u"Show tip at startup"_s);
    (new QVBoxLayout(tips))->addWidget(m_showTips);
    layout->addWidget(tips);
    layout->addStretch();
    return page;
}

QLayout *SetupWizard::createButtons()
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    m_back = wizardButton(u"&Back"_s, row);
    m_next = wizardButton(u"&Next"_s, row);
    m_finish = wizardButton(u"&Finish"_s, row);
    m_cancel = wizardButton(u"Cancel"_s, row);
    connect(m_back, &QPushButton::clicked, this, [this] { goTo(currentPage() - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { goTo(currentPage() + 1); });
    connect(m_finish, &QPushButton::clicked, this, &SetupWizard::finish);
    connect(m_cancel, &QPushButton::clicked, this, &SetupWizard::reject);
    return row;
}

void SetupWizard::loadFields()
{
    Settings &settings = Settings::global();
    settings.load();
    settings.reloadStartUpEntries();
    m_firstUse = settings.setupWizardComplete == 0;
    m_storedPicture = settings.dateFormat;
    m_dateFormat->showPicture(m_storedPicture);
    if (m_dateFormat->chosenText().isEmpty())
        m_dateFormat->setCurrentIndex(m_dateFormat->findText(YearOnlyText));
    m_udkPrompt->setText(settings.udkPrompt.left(20));
    m_albums->setChecked(settings.suAlbums != 0);
    m_songs->setChecked(settings.suSongs != 0);
    m_labels->setChecked(settings.suLabels != 0);
    m_playlists->setChecked(settings.suPlaylists != 0);
    m_showTips->setChecked(settings.showTips != 0);
}

int SetupWizard::currentPage() const
{
    return m_pages->currentIndex();
}

void SetupWizard::goTo(int page)
{
    page = qBound(0, page, PageCount - 1);
    m_pages->setCurrentIndex(page);
    const bool last = page == PageCount - 1;
    m_back->setEnabled(page > 0);
    m_next->setEnabled(!last);
    m_finish->setVisible(last);
    (last ? m_finish : m_next)->setDefault(true);
    (last ? m_finish : m_next)->setFocus();
}

void SetupWizard::finish()
{
    Settings &settings = Settings::global();
    settings.udkPrompt = m_udkPrompt->text();
    settings.suAlbums = m_albums->isChecked();
    settings.suSongs = m_songs->isChecked();
    settings.suLabels = m_labels->isChecked();
    settings.suPlaylists = m_playlists->isChecked();
    settings.showTips = m_showTips->isChecked();
    settings.writeSetupWizard();
    // The wizard's writer leaves the tips choice out; without this it would be lost.
    settings::writeNumber(u"ShowTips"_s, settings.showTips);
    settings.setupWizardComplete = 1;
    m_firstUse = false;

    const QString chosenText = m_dateFormat->chosenText();
    const bool hadDates =
        !m_storedPicture.trimmed().isEmpty() && dateFormatText(m_storedPicture) != YearOnlyText;
    if (!hadDates || chosenText != YearOnlyText || !confirmYearOnlyConversion()) {
        saveDateFormatAndClose(chosenText);
        return;
    }
    m_busy = true;
    for (QPushButton *button : {m_back, m_finish, m_cancel})
        button->setEnabled(false);
    QPointer<SetupWizard> self(this);
    runDateConversions(m_session, this, [self, chosenText](bool) {
        if (self)
            self->saveDateFormatAndClose(chosenText);
        else
            saveDateFormat(chosenText);
    });
}

void SetupWizard::saveDateFormatAndClose(const QString &chosenText)
{
    m_busy = false;
    saveDateFormat(chosenText);
    const std::function<void()> finished = m_finished;
    accept();
    if (finished)
        finished();
}

void SetupWizard::reject()
{
    if (m_busy)
        return;
    if (m_firstUse)
        endProgramNow();
    QDialog::reject();
}

} // namespace sv
