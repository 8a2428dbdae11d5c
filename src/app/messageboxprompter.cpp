#include "messageboxprompter.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

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

const ButtonKind buttonKinds[] = {{Ok, QMessageBox::Ok},         {Yes, QMessageBox::Yes},
                                  {No, QMessageBox::No},         {Retry, QMessageBox::Retry},
                                  {Cancel, QMessageBox::Cancel}, {Abort, QMessageBox::Abort}};

void makeRoomForCaption(QMessageBox &box)
{
    // The title bar shows the caption in bold beside the window's icon and its buttons; a
    // box sized for a short text alone cuts a longer caption.
    QFont title = box.font();
    title.setBold(true);
    const int titleBar = box.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QScreen *screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const int wanted = qMin(QFontMetrics(title).horizontalAdvance(box.windowTitle()) + 5 * titleBar,
                            screen ? screen->availableGeometry().width() * 3 / 4 : 600);
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

Button MessageBoxPrompter::ask(const Message &message)
{
    QMessageBox box(boxIcon(message.icon), message.caption, message.text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    for (const ButtonKind &kind : buttonKinds) {
        if (!(message.buttons & kind.button))
            continue;
        QPushButton *button = box.addButton(kind.standard);
        for (const auto &[which, text] : message.buttonTexts) {
            if (which == kind.button)
                button->setText(text);
        }
    }
    makeRoomForCaption(box);
    for (const ButtonKind &kind : buttonKinds) {
        if (kind.button == message.defaultButton)
            box.setDefaultButton(kind.standard);
    }
    const int chosen = box.exec();
    for (const ButtonKind &kind : buttonKinds) {
        if (kind.standard == chosen)
            return kind.button;
    }
    if (message.buttons & Cancel)
        return Cancel;
    return message.buttons & Abort ? Abort : message.defaultButton;
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
