#include "movebuttons.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>

namespace sv {

QHBoxLayout *moveButtonRow(QWidget *owner, const std::function<void(MoveMode)> &move,
                           QList<QPushButton *> *buttons)
{
    // In the order of MoveButtonOrder.
    const struct
    {
        QStyle::StandardPixmap icon;
        const char *tip;
        MoveMode mode;
    } moves[] = {{QStyle::SP_ArrowUp, "Move record up one", MoveMode::UpOne},
                 {QStyle::SP_MediaSkipBackward, "Move record to the top", MoveMode::ToTop},
                 {QStyle::SP_ArrowDown, "Move record down one", MoveMode::DownOne},
                 {QStyle::SP_MediaSkipForward, "Move record to the bottom", MoveMode::ToBottom}};
    auto *row = new QHBoxLayout;
    for (const auto &entry : moves) {
        auto *button = new QPushButton(owner->style()->standardIcon(entry.icon), QString());
        button->setToolTip(QString::fromUtf8(entry.tip));
        button->setAccessibleName(QString::fromUtf8(entry.tip));
        button->setAutoDefault(false);
        const MoveMode mode = entry.mode;
        QObject::connect(button, &QPushButton::clicked, owner, [move, mode] { move(mode); });
        row->addWidget(button);
        if (buttons)
            buttons->append(button);
    }
    return row;
}

} // namespace sv
