#include "splashwindow.h"

#include <QPainter>
#include <QTimer>

namespace sv {

SplashWindow::SplashWindow(const QString &versionText, const QPixmap &picture, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_versionText(versionText), m_picture(picture)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(420, 260);
    QTimer::singleShot(ShowMilliseconds, this, &QWidget::close);
}

void SplashWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient background(0, 0, 0, height());
    background.setColorAt(0, QColor(24, 36, 72));
    background.setColorAt(1, QColor(8, 12, 28));
    painter.fillRect(rect(), background);
    const QPixmap scaled =
        m_picture.scaled(160, 160, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    painter.drawPixmap(24, (height() - scaled.height()) / 2, scaled);
    painter.setPen(Qt::white);
    QFont title = font();
    title.setPointSize(20);
    title.setBold(true);
    painter.setFont(title);
    const QRect text(200, 70, width() - 210, 60);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                     QStringLiteral("SongVane Pro 98"));
    QFont small = font();
    small.setPointSize(11);
    painter.setFont(small);
    painter.drawText(QRect(200, 140, width() - 210, 30), Qt::AlignLeft, m_versionText);
}

void SplashWindow::mousePressEvent(QMouseEvent *)
{
    close();
}

void SplashWindow::keyPressEvent(QKeyEvent *)
{
    close();
}

} // namespace sv
