#include "windowbuttons.h"

#include "app/mainframe.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace sv::exchange {

QPushButton *WindowButtons::add(const char *caption, std::function<void()> clicked)
{
    auto *button = new QPushButton(QString::fromUtf8(caption));
    QObject::connect(button, &QPushButton::clicked, m_window, std::move(clicked));
    m_buttons.append(button);
    return button;
}

QPushButton *WindowButtons::find(const QString &caption) const
{
    for (QPushButton *candidate : m_buttons) {
        if (candidate->text() == caption)
            return candidate;
    }
    return nullptr;
}

QHBoxLayout *WindowButtons::closingRow(QWidget *option, std::function<void()> ok)
{
    auto *row = new QHBoxLayout;
    row->addWidget(option);
    row->addStretch();
    QPushButton *okButton = add("&OK", std::move(ok));
    okButton->setDefault(true);
    row->addWidget(okButton);
    row->addWidget(add("&Cancel", [window = m_window] { window->close(); }));
    row->addWidget(add("Help", [window = m_window] {
        if (auto *frame = qobject_cast<MainFrame *>(window->window()))
            frame->helpForActiveWindow();
    }));
    return row;
}

} // namespace sv::exchange
