#pragma once

#include "windowbuttons.h"

#include "songimport.h"

#include "app/progresswindow.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace sv {

class Session;

namespace exchange {

// "Assign fields for Import...": the file's columns, previewed line by line, assigned to
// song fields; OK imports every line under a progress window.
class ImportWindow : public QWidget
{
    Q_OBJECT

public:
    // Asks for the file (again while it is empty or cannot be opened) and makes the window;
    // null when the user cancelled or the file has nothing to import (they were told).
    static ImportWindow *choose(Session &session, QWidget *parent);
    ImportWindow(Session &session, std::unique_ptr<SongImport> import, QWidget *parent = nullptr);
    ~ImportWindow() override;

    QTreeWidget *columnList() const { return m_columns; }
    QTreeWidget *targetList() const { return m_targets; }
    QCheckBox *stripBox() const { return m_strip; }
    QLineEdit *recordNumber() const { return m_record; }
    QLabel *encodingLabel() const { return m_encoding; }
    QPushButton *button(const QString &caption) const;
    SongImport &import() { return *m_import; }
    ProgressWindow *progress() const { return m_progress; }

    void assign();
    void unassign();
    void autoAssign();
    void editPicture();
    void previewNext();
    void ok();

private:
    void showColumns();
    void showTargets();
    ProgressWindow::Step step();
    void finished(bool completed);

    Session &m_session;
    std::unique_ptr<SongImport> m_import;
    QTreeWidget *m_columns;
    QTreeWidget *m_targets;
    QLineEdit *m_record;
    QLabel *m_encoding;
    QCheckBox *m_strip;
    WindowButtons m_buttons{this};
    ProgressWindow *m_progress = nullptr;
    bool m_failed = false;
    bool m_closing = false;
};

} // namespace exchange
} // namespace sv
