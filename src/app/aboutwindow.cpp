#include "aboutwindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sv {

AboutWindow::AboutWindow(const QPixmap &picture, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("About SongVane Pro 98"));
    auto *image = new QLabel;
    image->setPixmap(picture.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    auto *title = new QLabel(QStringLiteral("<h2>SongVane Pro 98</h2>"));
    auto *version = new QLabel(QStringLiteral("Version ") + QStringLiteral(SONGVANE_VERSION_TEXT));
    auto *text = new QLabel(QStringLiteral(
        "A catalogue of recorded music for disc jockeys and record collectors: songs, albums, "
        "play lists and charts, printed reports and labels."));
    text->setWordWrap(true);
    auto *ok = new QPushButton(QStringLiteral("&OK"));
    connect(ok, &QPushButton::clicked, this, &QWidget::close);

    auto *words = new QVBoxLayout;
    words->addWidget(title);
    words->addWidget(version);
    words->addWidget(text);
    words->addStretch();
    words->addWidget(ok, 0, Qt::AlignRight);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(image, 0, Qt::AlignTop);
    layout->addLayout(words, 1);
    resize(440, 200);
}

} // namespace sv
