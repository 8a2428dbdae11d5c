#include "tipwindow.h"

#include "session.h"
#include "settings.h"
#include "store/errors.h"
#include "store/warnings.h"

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

qint64 highestTipId(Table &tips)
{
    qint64 highest = 0;
    tips.highest(tip::KeyID, tip::ID, highest);
    return highest;
}

} // namespace

TipWindow::TipWindow(Session &session, Mode mode, QWidget *parent)
    : QDialog(parent), m_session(session), m_tips(session.store().table(TableId::Tips)),
      m_mode(mode)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("SongVane Pro Tip of the Day..."));
    buildLayout();
    m_tipsUse = session.files().use(m_tips);
}

TipWindow::~TipWindow() = default;

void TipWindow::buildLayout()
{
    auto *picture = new QLabel;
    picture->setPixmap(lightBulb());
    picture->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_text = new QPlainTextEdit;
    m_text->setReadOnly(m_mode == Mode::TipOfTheDay);
    m_text->setMinimumSize(340, 140);

    m_showTips = new QCheckBox(QStringLiteral("Show tips at start up"));
    m_showTips->setChecked(Settings::global().showTips != 0);
    m_back = new QPushButton(QStringLiteral("&Back"));
    m_next = new QPushButton(QStringLiteral("&Next"));
    m_ok = new QPushButton(QStringLiteral("&Ok"));
    m_close = new QPushButton(QStringLiteral("Cl&ose"));
    const bool maintenance = m_mode == Mode::Maintenance;
    m_back->setVisible(!maintenance);
    m_next->setVisible(!maintenance);
    m_ok->setVisible(maintenance);
    m_showTips->setVisible(!maintenance); // the form edits tips, it does not show them
    (maintenance ? m_ok : m_next)->setDefault(true);

    connect(m_back, &QPushButton::clicked, this, [this] { step(false); });
    connect(m_next, &QPushButton::clicked, this, [this] { step(true); });
    connect(m_ok, &QPushButton::clicked, this, &TipWindow::save);
    connect(m_close, &QPushButton::clicked, this, &TipWindow::reject);

    auto *top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(m_text, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_showTips);
    bottom->addStretch();
    for (QPushButton *button : {m_back, m_next, m_ok, m_close})
        bottom->addWidget(button);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
}

QString TipWindow::tipText() const
{
    return m_text->toPlainText();
}

TipWindow *TipWindow::showTipOfTheDay(Session &session, QWidget *parent,
                                      std::function<void()> closed)
{
    auto *window = new TipWindow(session, Mode::TipOfTheDay, parent);
    window->m_done = [closed = std::move(closed)](bool) {
        if (closed)
            closed();
    };
    const qint64 last = settings::readNumber(TipEntry, 1);
    if (!window->m_tipsUse || !window->showTip(last + 1, true)) {
        window->finish(false);
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
    if (m_mode == Mode::TipOfTheDay)
        closeTips();
    else
        finish(false);
}

void TipWindow::closeTips()
{
    Settings::global().showTips = m_showTips->isChecked() ? 1 : 0;
    settings::writeNumber(ShowTipsEntry, Settings::global().showTips);
    settings::writeNumber(TipEntry, m_number);
    finish(false);
}

void TipWindow::finish(bool saved)
{
    if (m_finished)
        return;
    m_finished = true;
    m_tipsUse.reset();
    const std::function<void(bool)> done = std::move(m_done);
    QDialog::done(saved ? Accepted : Rejected); // closes; deleted later
    if (done)
        done(saved);
}

TipWindow *TipWindow::openForm(Session &session, QWidget *parent, Request request,
                               std::function<void(bool saved)> done)
{
    auto *window = new TipWindow(session, Mode::Maintenance, parent);
    window->m_done = std::move(done);
    window->m_request = request;
    if (request == Request::Delete) {
        const bool removed = window->m_tipsUse && standardWarning(warning::ConfirmDelete) == Ok &&
                             session.integrity().remove(TableId::Tips);
        window->finish(removed);
        return nullptr;
    }
    if (!window->m_tipsUse || !window->prepareForm(request)) {
        window->finish(false);
        return nullptr;
    }
    window->open();
    return window;
}

bool TipWindow::prepareForm(Request request)
{
    if (request == Request::Insert) {
        m_tips.buffer().clear();
        return true;
    }
    // Re-read the record so that a change made meanwhile by another station is noticed
    // when this one is written.
    m_tips.watch();
    if (!m_tips.reget(m_tips.position())) {
        standardWarning(warning::RecordRetrieval, m_tips.label());
        return false;
    }
    m_number = m_tips.buffer().number(tip::ID);
    m_text->setPlainText(m_tips.buffer().text(tip::Tip));
    return true;
}

void TipWindow::save()
{
    if (m_request == Request::Insert ? saveNew() : saveChange())
        finish(true);
}

// False keeps the form open with the user's text, whatever went wrong.
bool TipWindow::saveNew()
{
    const QString text = tipText();
    for (;;) {
        m_number = highestTipId(m_tips) + 1;
        Record &tip = m_tips.buffer();
        tip.clear();
        tip.setText(tip::Tip, text);
        tip.setNumber(tip::ID, m_number);
        if (reportDuplicate())
            return false;
        if (m_tips.add())
            return true;
        saveError();
        // The check before adding passes over the record last read; now nothing is current.
        if (errorCode() == err::DuplicateKey && reportDuplicate()) {
            takeSavedError();
            return false;
        }
        standardWarning(warning::InsertError);
        if (standardWarning(warning::UpdateRetry) != Yes)
            return false;
    }
}

bool TipWindow::saveChange()
{
    m_tips.buffer().setText(tip::Tip, tipText());
    if (reportDuplicate())
        return false;
    switch (m_session.integrity().update(TableId::Tips, true)) {
    case Integrity::Written:
        return true;
    case Integrity::ChangedElsewhere:
        m_text->setPlainText(m_tips.buffer().text(tip::Tip)); // the other station's version
        return false;
    case Integrity::DeletedElsewhere:
        Integrity::reportDeletedElsewhere(Integrity::Deleted::ChangesLost);
        return false;
    case Integrity::Failed:
        break;
    }
    return false;
}

bool TipWindow::reportDuplicate()
{
    if (m_tips.duplicate(tip::KeyTip)) {
        standardWarning(warning::DuplicateKey, QStringLiteral("Tips"));
        return true;
    }
    if (m_tips.duplicate(tip::KeyID)) {
        standardWarning(warning::DuplicateKey, QStringLiteral("ID"));
        return true;
    }
    return false;
}

} // namespace sv
