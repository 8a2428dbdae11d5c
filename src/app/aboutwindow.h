#pragma once

#include <QWidget>

namespace sv {

// Help / About: the program's name, version and picture.
class AboutWindow : public QWidget
{
    Q_OBJECT

public:
    explicit AboutWindow(const QPixmap &picture, QWidget *parent = nullptr);
};

} // namespace sv
