#include "trackdialog.h"

#include "app/session.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace sv {

TrackDialog::TrackDialog(Session &session, bool withArtist, Request request, QWidget *parent)
    : UpdateForm(session, TableId::AddWizard,
                 withArtist ? QStringLiteral("UpdateAddWizard")
                            : QStringLiteral("UpdateAddWizardNoArtist"),
                 request, parent),
      m_track(session.store().table(TableId::AddWizard).buffer().number(aw::Track))
{
    setObjectName(QStringLiteral("Tracks"));
    auto *fields = new QFormLayout;
    const auto line = [&](const QString &prompt, int field, const QString &picture,
                          bool playingTime = false) {
        auto *edit = new QLineEdit;
        bindLineEdit(edit, field, picture, playingTime);
        fields->addRow(prompt, edit);
        return edit;
    };
    line(QStringLiteral("Track:"), aw::Track, QStringLiteral("@n3"));
    if (withArtist)
        m_firstText = line(QStringLiteral("&Artist:"), aw::Artist, QStringLiteral("@s50"));
    QLineEdit *title = line(QStringLiteral("&Title:"), aw::Title, QStringLiteral("@s50"));
    if (!m_firstText)
        m_firstText = title;
    line(QStringLiteral("T&ime:"), aw::Time, QStringLiteral("@t4b"), true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(okCancelButtons(QStringLiteral("&Ok")));
    setMinimumWidth(360); // the title says which track, in full
}

QString TrackDialog::title(Request request) const
{
    if (request == Request::Insert)
        return QStringLiteral("Track Will Be Added  (New)");
    return QStringLiteral("Track Will Be Changed  (") + QString::number(m_track) + u')';
}

// The number is filled in already: tracks are typed one after another from the name on.
void TrackDialog::showEvent(QShowEvent *event)
{
    UpdateForm::showEvent(event);
    // After the work area has given the focus back to where the form put it.
    QTimer::singleShot(0, m_firstText, [field = m_firstText] { field->setFocus(); });
}

QString TrackDialog::duplicateKeyName(int) const
{
    return QStringLiteral("Track Order");
}

} // namespace sv
