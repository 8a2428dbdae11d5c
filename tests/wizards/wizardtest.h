#pragma once

// What the wizard tests share: finding windows and their fields as a user sees them.
#include <QApplication>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace sv::test {

template <typename T> QList<T *> shown()
{
    QList<T *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            windows.append(window);
    }
    return windows;
}

inline void settle()
{
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

inline QWidget *fieldAfter(QWidget *form, const QString &prompt)
{
    for (QFormLayout *layout : form->findChildren<QFormLayout *>()) {
        for (int row = 0; row < layout->rowCount(); ++row) {
            QLayoutItem *labelItem = layout->itemAt(row, QFormLayout::LabelRole);
            auto *label = labelItem ? qobject_cast<QLabel *>(labelItem->widget()) : nullptr;
            if (label && label->text() == prompt)
                return layout->itemAt(row, QFormLayout::FieldRole)->widget();
        }
    }
    return nullptr;
}

inline QLineEdit *lineAfter(QWidget *form, const QString &prompt)
{
    return qobject_cast<QLineEdit *>(fieldAfter(form, prompt));
}

inline QPushButton *buttonOf(QWidget *window, const QString &caption)
{
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (button->text() == caption || button->toolTip() == caption)
            return button;
    }
    return nullptr;
}

} // namespace sv::test
