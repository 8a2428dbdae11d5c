#include "albumwizard.h"

#include "albumform.h"

#include "app/browser.h"
#include "app/session.h"
#include "app/windowposition.h"

#include <QCloseEvent>
#include <QTimer>

namespace sv {

namespace {

const QString WindowName = QStringLiteral("AddAlbum");

} // namespace

AlbumWizard::AlbumWizard(Session &session, QWidget *parent) : QWidget(parent), m_session(session)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Album Wizard"));
    resize(sizeHint());
}

AlbumForm *AlbumWizard::form() const
{
    return m_form;
}

// The form opens once this window stands in its place, so that it opens over it.
void AlbumWizard::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    restoreWindowPosition(WindowName, placementWindow(this), false);
    setEnabled(false);
    QTimer::singleShot(0, this, &AlbumWizard::openForm);
}

// A blank album buffer: an album left there by another window would otherwise be taken
// for one to copy.
void AlbumWizard::openForm()
{
    m_session.store().table(TableId::Albums).buffer().clear();
    m_form = new AlbumForm(m_session, Request::Insert);
    connect(m_form, &UpdateForm::finished, this, [this] {
        m_formEnded = true;
        close();
    });
    if (m_form->start())
        showProcedureWindow(this, m_form);
}

// While the form is open it decides when this window goes.
void AlbumWizard::closeEvent(QCloseEvent *event)
{
    if (m_started && !m_formEnded) {
        event->ignore();
        return;
    }
    if (isVisible())
        saveWindowPosition(WindowName, placementWindow(this));
    event->accept();
}

} // namespace sv
