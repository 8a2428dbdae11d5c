#include "cdplayerpreferences.h"

#include "app/settings.h"
#include "app/windowposition.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace sv {

namespace {

const QString WindowName = u"CDSetup"_s;
constexpr int ChoicesPerRow = 3;

} // namespace

const QList<CdPlayerPreferences::Choice> &CdPlayerPreferences::choices()
{
    static const QList<Choice> list{{u"100"_s, 100}, {u"250"_s, 250}, {u"1000"_s, 1000},
                                    {u"150"_s, 150}, {u"300"_s, 300}, {u"Do Not Check"_s, 0},
                                    {u"200"_s, 200}, {u"500"_s, 500}};
    return list;
}

CdPlayerPreferences *CdPlayerPreferences::open(QWidget *caller,
                                               std::function<void(bool stored)> closed)
{
    auto *window = new CdPlayerPreferences(caller);
    if (closed)
        connect(window, &QDialog::finished, window,
                [closed = std::move(closed)](int result) { closed(result == Accepted); });
    window->QDialog::open();
    return window;
}

// The choices fill three to a row in window order, which puts the periods in rising order
// down each column.
CdPlayerPreferences::CdPlayerPreferences(QWidget *caller)
    : QDialog(caller), m_openingPeriod(Settings::global().cdTimer)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"CD Player Preferences"_s);
    auto *group = new QGroupBox(u"Check CD Status Every n 100ths of a Second"_s);
    auto *grid = new QGridLayout(group);
    m_periods = new QButtonGroup(this);
    for (int i = 0; i < choices().size(); ++i) {
        const Choice &choice = choices().at(i);
        auto *radio = new QRadioButton(choice.text);
        m_periods->addButton(radio, choice.hundredths);
        grid->addWidget(radio, i / ChoicesPerRow, i % ChoicesPerRow);
        radio->setChecked(choice.hundredths == m_openingPeriod);
    }
    connect(m_periods, &QButtonGroup::idClicked, this,
            [](int hundredths) { Settings::global().cdTimer = hundredths; });

    auto *ok = new QPushButton(u"&Ok"_s);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto *cancel = new QPushButton(u"Cancel"_s);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    restoreWindowPosition(WindowName, this, false);
}

void CdPlayerPreferences::accept()
{
    settings::writeNumber(u"CDTimer"_s, Settings::global().cdTimer);
    QDialog::accept();
}

// Only the period goes back: other settings in memory (a wizard's choice for its own run,
// the report criteria) are not this window's to undo.
void CdPlayerPreferences::reject()
{
    Settings::global().cdTimer = m_openingPeriod;
    QDialog::reject();
}

void CdPlayerPreferences::done(int result)
{
    saveWindowPosition(WindowName, this);
    QDialog::done(result);
}

} // namespace sv
