#include "picturedialog.h"

#include "platform/prompter.h"
#include "songfields.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace sv::exchange {

PictureDialog::PictureDialog(QWidget *parent, const QString &current)
    : QDialog(parent), m_picture(new QLineEdit(current))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Enter Picture..."));
    setObjectName(QStringLiteral("EnterPicture"));
    m_picture->setMaxLength(30);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &PictureDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PictureDialog::reject);
    auto *layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("Picture:"), m_picture);
    layout->addRow(buttons);
}

PictureDialog *PictureDialog::ask(QWidget *parent, const QString &current,
                                  std::function<void(const QString &)> done)
{
    auto *dialog = new PictureDialog(parent, current);
    dialog->m_done = std::move(done);
    dialog->open();
    return dialog;
}

void PictureDialog::accept()
{
    const QString text = m_picture->text().trimmed();
    if (const QString problem = pictureProblem(text); !problem.isEmpty()) {
        sv::ask(Message{QStringLiteral("Invalid Picture!"), problem, Ok, Ok, Icon::Exclamation});
        m_picture->setFocus();
        return;
    }
    const auto done = std::move(m_done);
    m_done = nullptr;
    QDialog::accept();
    if (done)
        done(text);
}

void PictureDialog::reject()
{
    const auto done = std::move(m_done);
    m_done = nullptr;
    QDialog::reject();
    if (done)
        done(QString());
}

} // namespace sv::exchange
