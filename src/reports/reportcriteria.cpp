#include "reportcriteria.h"

#include "app/session.h"
#include "app/settings.h"
#include "app/windowposition.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace sv::reports {

namespace {

const QString Procedure = QStringLiteral("ReportCriteria");
constexpr int SelectionWidth = 30;

QString withoutTrailingBlanks(QString text)
{
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

} // namespace

ReportCriteria &reportCriteria()
{
    static ReportCriteria criteria;
    return criteria;
}

bool passesSelection(const ReportCriteria &criteria, const QString &field)
{
    if (criteria.include != u"Selected")
        return true;
    const QString selection = withoutTrailingBlanks(criteria.selection);
    return field.startsWith(selection, Qt::CaseInsensitive);
}

ReportCriteriaWindow::ReportCriteriaWindow(Session &session, const QString &noun, QWidget *parent)
    : QDialog(parent), m_session(session), m_standard(new QRadioButton(QStringLiteral("Standard"))),
      m_brief(new QRadioButton(QStringLiteral("Brief"))),
      m_preview(new QCheckBox(QStringLiteral("Preview"))),
      m_customFont(new QCheckBox(QStringLiteral("Use Custom Font"))),
      m_all(new QRadioButton(QStringLiteral("All"))),
      m_selected(new QRadioButton(QStringLiteral("Selected"))),
      m_prompt(new QLabel(QStringLiteral("Select ") + noun + QStringLiteral(" that start with:"))),
      m_selection(new QLineEdit)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Report Criteria"));
    setObjectName(Procedure);
    setProperty("procedure", Procedure);

    auto *style = new QGroupBox(QStringLiteral("Report &Style"));
    auto *styleRow = new QHBoxLayout(style);
    styleRow->addWidget(m_standard);
    styleRow->addWidget(m_brief);
    auto *include = new QGroupBox(QStringLiteral("&Include"));
    auto *includeRow = new QHBoxLayout(include);
    includeRow->addWidget(m_all);
    includeRow->addWidget(m_selected);
    m_selection->setMaxLength(SelectionWidth);
    m_selection->setObjectName(QStringLiteral("selection"));
    // Wide enough that the window's caption shows whole in its title bar.
    m_selection->setMinimumWidth(m_selection->fontMetrics().averageCharWidth() * 36);
    m_prompt->setBuddy(m_selection);
    auto *ok = new QPushButton(QStringLiteral("&Ok"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(style);
    layout->addWidget(m_preview);
    layout->addWidget(m_customFont);
    layout->addWidget(include);
    layout->addWidget(m_prompt);
    layout->addWidget(m_selection);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    const ReportCriteria &criteria = reportCriteria();
    const QString styleValue =
        criteria.style.isEmpty() ? Settings::global().reportStyle : criteria.style;
    (styleValue == u"Brief" ? m_brief : m_standard)->setChecked(true);
    m_preview->setChecked(criteria.preview);
    m_customFont->setChecked(criteria.customFont);
    (criteria.include == u"Selected" ? m_selected : m_all)->setChecked(true);
    m_selection->setText(criteria.selection);
    includeChanged();

    connect(m_all, &QRadioButton::toggled, this, &ReportCriteriaWindow::includeChanged);
    connect(ok, &QPushButton::clicked, this, &ReportCriteriaWindow::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::finished, this, [this](int result) {
        saveWindowPosition(Procedure, this);
        if (auto done = std::move(m_done))
            done(result == Accepted);
    });
    restoreWindowPosition(Procedure, this, false);
}

ReportCriteriaWindow::~ReportCriteriaWindow()
{
    // Closed without an answer (its parent went): the report does not run.
    if (auto done = std::move(m_done))
        done(false);
}

ReportCriteriaWindow *ReportCriteriaWindow::ask(Session &session, const QString &noun,
                                                QWidget *parent, std::function<void(bool)> done)
{
    auto *window = new ReportCriteriaWindow(session, noun, parent);
    window->m_done = std::move(done);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QString ReportCriteriaWindow::prompt() const
{
    return m_prompt->text();
}

void ReportCriteriaWindow::includeChanged()
{
    // "All" disables the entry but keeps its text for the next "Selected".
    m_selection->setEnabled(m_selected->isChecked());
    m_prompt->setEnabled(m_selected->isChecked());
}

void ReportCriteriaWindow::accept()
{
    ReportCriteria &criteria = reportCriteria();
    criteria.style = m_brief->isChecked() ? QStringLiteral("Brief") : QStringLiteral("Standard");
    criteria.preview = m_preview->isChecked();
    criteria.customFont = m_customFont->isChecked();
    criteria.include = m_selected->isChecked() ? QStringLiteral("Selected") : QStringLiteral("All");
    criteria.selection = m_selection->text();
    QDialog::accept();
}

} // namespace sv::reports
