#include "addmode.h"

#include "addalbumwizard.h"

#include "app/session.h"
#include "app/settings.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace sv {

SelectAddMode::SelectAddMode(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select Add Mode"));
    auto *group = new QGroupBox(QStringLiteral("Mode"));
    auto *modes = new QVBoxLayout(group);
    m_modes = new QButtonGroup(this);
    for (const QString &mode : {QStringLiteral("Compilation"), QStringLiteral("Single Artist"),
                                QStringLiteral("Normal")}) {
        auto *choice = new QRadioButton(mode);
        m_modes->addButton(choice);
        modes->addWidget(choice);
    }
    m_modes->buttons().first()->setChecked(true);
    auto *ok = new QPushButton(QStringLiteral("&Ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

QString SelectAddMode::chosen() const
{
    return m_modes->checkedButton()->text();
}

QString SelectAddMode::choose(QWidget *parent)
{
    SelectAddMode dialog(parent);
    return dialog.exec() == QDialog::Accepted ? dialog.chosen() : QString();
}

namespace {

// The number of the window a caller is part of: its scratch rows are kept under it.
int instanceOf(QWidget *caller)
{
    for (QWidget *widget = caller; widget; widget = widget->parentWidget()) {
        const QVariant instance = widget->property("instance");
        if (instance.isValid())
            return instance.toInt();
    }
    return 0;
}

bool blankSong(const Record &song)
{
    for (int field : {mus::Title, mus::Artist, mus::FileNumber, mus::Album}) {
        if (!song.text(field).trimmed().isEmpty())
            return false;
    }
    return true;
}

} // namespace

UpdateForm *dispatchAddMode(Session &session, QWidget *caller)
{
    QChar mode = Settings::global().addModeLetter();
    if (mode == u'A') {
        mode = u'N';
        if (blankSong(session.store().table(TableId::Songs).buffer())) {
            const QString answer = SelectAddMode::choose(caller ? caller->window() : nullptr);
            if (!answer.isEmpty())
                mode = answer.at(0).toUpper();
        }
    }
    if (mode != u'C' && mode != u'S')
        return nullptr;
    const auto kind =
        mode == u'C' ? AddAlbumWizard::Kind::Compilation : AddAlbumWizard::Kind::SingleArtist;
    return new AddAlbumWizard(session, kind, instanceOf(caller));
}

} // namespace sv
