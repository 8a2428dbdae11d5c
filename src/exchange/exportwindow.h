#pragma once

#include "windowbuttons.h"

#include "songexport.h"

#include "app/progresswindow.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace sv {

class Session;

namespace exchange {

// "Choose Fields for Export...": the fields of the export and their order and pictures,
// then the file, then the songs written under a progress window.
class ExportWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ExportWindow(Session &session, QWidget *parent = nullptr);
    ~ExportWindow() override;

    QListWidget *availableList() const { return m_available; }
    QTreeWidget *exportList() const { return m_chosen; }
    QLineEdit *typeDisplay() const { return m_type; }
    QCheckBox *headerBox() const { return m_header; }
    QPushButton *button(const QString &caption) const;

    QList<ExportField> exportFields() const;
    ProgressWindow *progress() const { return m_progress; }

    void addMarked();
    void removeMarked();
    void shift(int by);
    void editPicture();
    void ok();

private:
    void showType();
    void run(const QString &path);
    ProgressWindow::Step step();
    void finished(bool completed);

    Session &m_session;
    QListWidget *m_available;
    QTreeWidget *m_chosen;
    QLineEdit *m_type;
    QCheckBox *m_header;
    WindowButtons m_buttons{this};
    std::unique_ptr<SongExport> m_export;
    ProgressWindow *m_progress = nullptr;
    bool m_closing = false;
};

} // namespace exchange
} // namespace sv
