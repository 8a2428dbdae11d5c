#include "messageboxprompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdlib>

namespace sv {

namespace {

QMessageBox::Icon boxIcon(Icon icon)
{
    switch (icon) {
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Information:
        break;
    }
    return QMessageBox::Information;
}

struct ButtonKind
{
    Button button;
    QMessageBox::StandardButton standard;
};

const ButtonKind buttonKinds[] = {{Ok, QMessageBox::Ok},
                                  {Yes, QMessageBox::Yes},
                                  {No, QMessageBox::No},
                                  {Retry, QMessageBox::Retry},
                                  {Cancel, QMessageBox::Cancel}};

} // namespace

Button MessageBoxPrompter::ask(const Message &message)
{
    QMessageBox box(boxIcon(message.icon), message.caption, message.text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    for (const ButtonKind &kind : buttonKinds) {
        if (message.buttons & kind.button)
            box.addButton(kind.standard);
    }
    for (const ButtonKind &kind : buttonKinds) {
        if (kind.button == message.defaultButton)
            box.setDefaultButton(kind.standard);
    }
    const int chosen = box.exec();
    for (const ButtonKind &kind : buttonKinds) {
        if (kind.standard == chosen)
            return kind.button;
    }
    return message.buttons & Cancel ? Cancel : message.defaultButton;
}

void MessageBoxPrompter::install()
{
    static MessageBoxPrompter prompter;
    setPrompter(&prompter);
    setHaltHandler([](const QString &text) {
        QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("SongVane Pro 98"),
                              text);
        std::_Exit(1);
    });
}

} // namespace sv
