#pragma once

#include <QWidget>

namespace sv {

// The window shown while the program starts: its title, picture and version. It closes at
// its own timer, on a click or key in it, or when the frame closes it at the user's first
// menu choice.
class SplashWindow : public QWidget
{
    Q_OBJECT

public:
    SplashWindow(const QString &versionText, const QPixmap &picture, QWidget *parent = nullptr);
    static constexpr int ShowMilliseconds = 3000;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_versionText;
    QPixmap m_picture;
};

} // namespace sv
