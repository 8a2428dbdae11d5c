#include "labelbrowser.h"

#include "labelform.h"
#include "labelprint.h"

#include "app/browselist.h"
#include "app/mainframe.h"
#include "app/pagemodel.h"
#include "app/session.h"

#include <QBoxLayout>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTableView>

namespace sv {

namespace {

BrowserSetup labelSetup(std::function<QString(qint64)> cassetteTitle)
{
    BrowserSetup setup;
    setup.procedure = QStringLiteral("BrowseLabels");
    setup.windowTitle = QStringLiteral("Browse Labels");
    setup.table = TableId::Labels;
    thumb::Alphabet lettersAndDigits{true, false, true, false};
    setup.tabs = {
        {QStringLiteral("By Description"), lab::KeyLabelDescription, {}, true, lettersAndDigits},
        {QStringLiteral("By Type"), lab::KeyLabelType, {}, true, lettersAndDigits}};
    setup.listFormat = QStringLiteral("120L(2)|M~Label Description~@s30@"
                                      "44L(2)|M~Label Type~@s9@"
                                      "120L(2)|M~Cassette Title~@s255@"
                                      "120L(2)|M~CD Title~@s60@");
    setup.columnText = {
        BrowserSetup::field(lab::LabelDescription),
        BrowserSetup::field(lab::LabelType),
        // The cassette's title is a memo, which a list does not read: it is looked up.
        {{lab::LabelID},
         [cassetteTitle](const Record &label, const QString &) {
             return cassetteTitle(label.number(lab::LabelID));
         }},
        BrowserSetup::field(lab::CDTitle)};
    setup.addCaption = QStringLiteral("&Add");
    setup.minimumSize = QSize(360, 200);
    return setup;
}

} // namespace

LabelBrowser::LabelBrowser(Session &session, Request request, QWidget *parent)
    : Browser(session, labelSetup([this](qint64 id) { return cassetteTitle(id); }), request, parent)
{
    button(QStringLiteral("&Add"))->setToolTip(QStringLiteral("Add a blank label"));
    button(QStringLiteral("&Change"))->setToolTip(QStringLiteral("Modify the highlighted label"));
    button(QStringLiteral("&Delete"))->setToolTip(QStringLiteral("Delete the highlighted label"));
    m_wizard = new QPushButton(QStringLiteral("Wi&zard"));
    m_wizard->setToolTip(QStringLiteral("Make a label with the label wizard"));
    connect(m_wizard, &QPushButton::clicked, this, &LabelBrowser::startWizard);
    m_copy = new QPushButton(QStringLiteral("Cop&y"));
    m_copy->setToolTip(QStringLiteral("Copy label"));
    connect(m_copy, &QPushButton::clicked, this, &LabelBrowser::copy);
    m_print = new QPushButton(QStringLiteral("&Print"));
    m_print->setToolTip(QStringLiteral("Print the highlighted label"));
    connect(m_print, &QPushButton::clicked, this, &LabelBrowser::printLabel);
    const auto update = [this] {
        m_copy->setEnabled(!model()->isEmpty());
        m_print->setEnabled(!model()->isEmpty());
    };
    connect(model(), &QAbstractItemModel::modelReset, this, update);
    update();
    auto *rows = static_cast<QVBoxLayout *>(layout());
    auto *recordRow = static_cast<QBoxLayout *>(rows->itemAt(rows->count() - 1)->layout());
    recordRow->insertWidget(0, m_wizard);
    const int add = recordRow->indexOf(button(QStringLiteral("&Add")));
    recordRow->insertWidget(add + 1, m_copy);
    const int close = recordRow->indexOf(button(QStringLiteral("Cl&ose")));
    recordRow->insertWidget(close, m_print);
    resize(640, 360);
}

UpdateForm *LabelBrowser::createForm(Request request)
{
    return new LabelForm(session(), request);
}

// The first line of a label's cassette title, read for the list without moving the
// label buffer the windows share.
QString LabelBrowser::cassetteTitle(qint64 labelId)
{
    const auto cached = m_titles.constFind(labelId);
    if (cached != m_titles.constEnd())
        return *cached;
    Table &labels = table();
    const Record keep = labels.buffer();
    const Table::CurrentRecord current = labels.current();
    labels.buffer().clear();
    labels.buffer().setNumber(lab::LabelID, labelId);
    QString title;
    if (labels.get(lab::KeyLabelID)) {
        title = labels.buffer().memo(lab::CassetteTitle).section(u'\n', 0, 0);
        title.remove(u'\r');
    }
    labels.buffer() = keep;
    labels.setCurrent(current);
    if (m_titles.size() > 500)
        m_titles.clear();
    m_titles.insert(labelId, title);
    return title;
}

void LabelBrowser::copy()
{
    if (!model()->isEmpty())
        callFormFor(Request::Select);
}

void LabelBrowser::printLabel()
{
    const RecordPosition highlighted = list()->highlighted();
    if (!highlighted || !table().reget(highlighted))
        return;
    auto *frame = qobject_cast<MainFrame *>(window());
    labels::printLabel(session(), table().buffer().number(lab::LabelID), this,
                       frame ? frame->mdiArea() : nullptr);
}

// The wizard adds a label of its own; the list shows it once the wizard has closed.
void LabelBrowser::startWizard()
{
    Table &labels = table();
    labels.buffer().clear();
    auto *wizard = new LabelForm(session(), Request::Insert, LabelForm::Mode::Wizard);
    const QPointer<LabelBrowser> self(this);
    connect(wizard, &UpdateForm::finished, this, [self, wizard](const WindowResult &) {
        if (self)
            self->rebuildView(wizard->recordPosition());
    });
    if (wizard->start())
        showProcedureWindow(this, wizard);
}

void LabelBrowser::extendPopupMenu(QMenu *menu)
{
    QAction *copyEntry = menu->addAction(m_copy->text(), m_copy, &QPushButton::click);
    copyEntry->setEnabled(m_copy->isEnabled());
}

} // namespace sv
