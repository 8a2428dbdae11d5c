#pragma once

#include <QDialog>

#include <functional>

class QLineEdit;

namespace sv::exchange {

// "Enter Picture...": one picture for a column or field. OK takes only a picture that
// begins with "@" and can be read; `done` receives it, or "" on Cancel or closing.
class PictureDialog : public QDialog
{
    Q_OBJECT

public:
    static PictureDialog *ask(QWidget *parent, const QString &current,
                              std::function<void(const QString &picture)> done);

    QLineEdit *pictureEdit() const { return m_picture; }
    void accept() override;
    void reject() override;

private:
    PictureDialog(QWidget *parent, const QString &current);

    QLineEdit *m_picture;
    std::function<void(const QString &)> m_done;
};

} // namespace sv::exchange
