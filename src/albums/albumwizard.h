#pragma once

#include <QPointer>
#include <QWidget>

namespace sv {

class AlbumForm;
class Session;

// The frame's standard way to add an album: a window of its own with nothing in it that
// opens the album form on a new album and goes as soon as the form ends, however it ends.
class AlbumWizard : public QWidget
{
    Q_OBJECT

public:
    explicit AlbumWizard(Session &session, QWidget *parent = nullptr);

    AlbumForm *form() const; // the form it opened, while it is open
    QSize sizeHint() const override { return {240, 60}; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void openForm();

    Session &m_session;
    QPointer<AlbumForm> m_form;
    bool m_started = false;
    bool m_formEnded = false;
};

} // namespace sv
