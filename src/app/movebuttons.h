#pragma once

#include "reorder.h"

#include <QList>

#include <functional>

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace sv {

// The order of the four buttons in their row.
inline const QList<MoveMode> MoveButtonOrder = {MoveMode::UpOne, MoveMode::ToTop, MoveMode::DownOne,
                                                MoveMode::ToBottom};

// The four buttons beside a numbered list that move its highlighted row: up one, to the
// top, down one, to the bottom, each with its tip. `buttons` receives them in that order.
QHBoxLayout *moveButtonRow(QWidget *owner, const std::function<void(MoveMode)> &move,
                           QList<QPushButton *> *buttons = nullptr);

} // namespace sv
