#include "tipwindow.h"

#include "session.h"
#include "settings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace sv {

namespace {

const QString TipEntry = QStringLiteral("Tip");
const QString ShowTipsEntry = QStringLiteral("ShowTips");

QPixmap lightBulb()
{
    QPixmap pixmap(64, 92);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath glass;
    glass.addEllipse(QPointF(32, 30), 24, 24);
    QPainterPath neck;
    neck.addPolygon(
        QPolygonF({QPointF(20, 44), QPointF(44, 44), QPointF(40, 62), QPointF(24, 62)}));
    glass = glass.united(neck);
    QRadialGradient glow(QPointF(26, 22), 34);
    glow.setColorAt(0, QColor(255, 255, 225));
    glow.setColorAt(1, QColor(250, 196, 30));
    painter.setPen(QPen(QColor(150, 105, 0), 1.5));
    painter.setBrush(glow);
    painter.drawPath(glass);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(170, 90, 0), 1.5));
    painter.drawPolyline(
        QPolygonF({QPointF(27, 60), QPointF(27, 40), QPointF(30, 34), QPointF(32, 40),
                   QPointF(34, 34), QPointF(37, 40), QPointF(37, 60)}));

    painter.setPen(QPen(QColor(90, 90, 90), 1));
    painter.setBrush(QColor(175, 175, 180));
    for (int band = 0; band < 3; ++band)
        painter.drawRoundedRect(QRectF(23, 63 + band * 6, 18, 5), 2, 2);
    painter.setBrush(QColor(80, 80, 80));
    painter.drawEllipse(QRectF(27, 81, 10, 6));
    return pixmap;
}

// The bulb beside the tip's text, and the buttons below: the layout both the tip of the day
// and the tip form have.
void layOutTip(QWidget *window, QPlainTextEdit *text, const QList<QWidget *> &bottomRow)
{
    auto *picture = new QLabel;
    picture->setPixmap(lightBulb());
    picture->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text->setMinimumSize(340, 140);
    auto *top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(text, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(bottomRow.first());
    bottom->addStretch();
    for (QWidget *widget : bottomRow.mid(1))
        bottom->addWidget(widget);
    auto *layout = new QVBoxLayout(window);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
}

const QString WindowTitle = QStringLiteral("SongVane Pro Tip of the Day...");

} // namespace

TipWindow::TipWindow(Session &session, QWidget *parent)
    : QDialog(parent), m_tips(session.store().table(TableId::Tips)),
      m_tipsUse(session.files().use(m_tips)), m_text(new QPlainTextEdit),
      m_showTips(new QCheckBox(QStringLiteral("Show tips at start up")))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(WindowTitle);
    m_text->setReadOnly(true);
    m_showTips->setChecked(Settings::global().showTips != 0);
    auto *back = new QPushButton(QStringLiteral("&Back"));
    auto *next = new QPushButton(QStringLiteral("&Next"));
    auto *close = new QPushButton(QStringLiteral("Cl&ose"));
    next->setDefault(true);
    connect(back, &QPushButton::clicked, this, [this] { step(false); });
    connect(next, &QPushButton::clicked, this, [this] { step(true); });
    connect(close, &QPushButton::clicked, this, &TipWindow::reject);
    layOutTip(this, m_text, {m_showTips, back, next, close});
}

TipWindow::~TipWindow() = default;

QString TipWindow::tipText() const
{
    return m_text->toPlainText();
}

TipWindow *TipWindow::showTipOfTheDay(Session &session, QWidget *parent,
                                      std::function<void()> closed)
{
    auto *window = new TipWindow(session, parent);
    window->m_closed = std::move(closed);
    const qint64 last = settings::readNumber(TipEntry, 1);
    if (!window->m_tipsUse || !window->showTip(last + 1, true)) {
        window->finish();
        return nullptr;
    }
    window->open();
    return window;
}

// Shows the first tip numbered `from` or beyond in the given direction, going round to
// the other end past the last (or first) one; false only when there is no tip at all.
// Tips are found by their numbers rather than by counting, so the numbers a deleted tip
// leaves behind do not hide the tips after them.
bool TipWindow::showTip(qint64 from, bool forward)
{
    Record &tip = m_tips.buffer();
    tip.clear();
    tip.setNumber(tip::ID, from);
    m_tips.setFrom(tip::KeyID);
    if (!(forward ? m_tips.next() : m_tips.previous())) {
        m_tips.set(tip::KeyID);
        if (!(forward ? m_tips.next() : m_tips.previous()))
            return false;
    }
    m_number = tip.number(tip::ID);
    m_text->setPlainText(tip.text(tip::Tip));
    return true;
}

void TipWindow::step(bool forward)
{
    showTip(forward ? m_number + 1 : m_number - 1, forward);
}

void TipWindow::reject()
{
    closeTips();
}

void TipWindow::closeTips()
{
    Settings::global().showTips = m_showTips->isChecked() ? 1 : 0;
    settings::writeNumber(ShowTipsEntry, Settings::global().showTips);
    settings::writeNumber(TipEntry, m_number);
    finish();
}

void TipWindow::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_tipsUse.reset();
    const std::function<void()> closed = std::move(m_closed);
    QDialog::done(Rejected); // closes; deleted later
    if (closed)
        closed();
}

TipForm::TipForm(Session &session, Request request, QWidget *parent)
    : UpdateForm(session, TableId::Tips, QStringLiteral("UpdateTips"), request, parent),
      m_text(new QPlainTextEdit)
{
    bindMemo(m_text, tableDef(TableId::Tips).fields.at(tip::Tip).size);
    auto *ok = new QPushButton(QStringLiteral("&Ok"));
    auto *close = new QPushButton(QStringLiteral("Cl&ose"));
    close->setFocusPolicy(Qt::TabFocus); // a click abandons the text as it is
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &UpdateForm::accept);
    connect(close, &QPushButton::clicked, this, &UpdateForm::cancel);
    // The form edits tips rather than showing them: no Back, Next or start-up check box.
    layOutTip(this, m_text, {new QWidget, ok, close});
}

QString TipForm::tipText() const
{
    return m_text->toPlainText();
}

QString TipForm::title(Request) const
{
    return WindowTitle;
}

QString TipForm::duplicateKeyName(int key) const
{
    return key == tip::KeyTip ? QStringLiteral("Tips") : QStringLiteral("ID");
}

void TipForm::loadFields()
{
    UpdateForm::loadFields();
    m_text->setPlainText(record().text(tip::Tip));
    m_text->setFocus();
}

void TipForm::storeFields()
{
    UpdateForm::storeFields();
    record().setText(tip::Tip, m_text->toPlainText());
}

} // namespace sv
