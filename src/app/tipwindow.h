#pragma once

#include "store/fileaccess.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace sv {

class Session;
class Table;

// The tip of the day, and the form that edits one tip record. Either way it is modal to
// its parent, opened with open(), and reports back through a callback once it has gone.
class TipWindow : public QDialog
{
    Q_OBJECT

public:
    enum class Mode { TipOfTheDay, Maintenance };
    enum class Request { Insert, Change, Delete };

    // Shows the tip after the one shown last time (the number kept as "Tip"). Null, with `closed`
    // already called, when there is no tip to show or the tips cannot be opened.
    static TipWindow *showTipOfTheDay(Session &session, QWidget *parent,
                                      std::function<void()> closed);
    // The form for the tip in the TIP buffer as the caller positioned it (a new one for
    // Insert). Delete only asks for confirmation and shows no window, so it returns null.
    static TipWindow *openForm(Session &session, QWidget *parent, Request request,
                               std::function<void(bool saved)> done);

    TipWindow(Session &session, Mode mode, QWidget *parent);
    ~TipWindow() override;

    qint64 tipNumber() const { return m_number; }
    QString tipText() const;

    void reject() override; // Escape and the title bar's close act as Cl&ose

private:
    void buildLayout();
    bool showTip(qint64 from, bool forward);
    void step(bool forward);
    bool prepareForm(Request request);
    void save();
    bool saveNew();
    bool saveChange();
    bool reportDuplicate();
    void closeTips();
    void finish(bool saved);

    Session &m_session;
    Table &m_tips;
    Mode m_mode;
    Request m_request = Request::Change;
    TableUse m_tipsUse;
    bool m_finished = false;
    qint64 m_number = 1;
    std::function<void(bool)> m_done;

    QPlainTextEdit *m_text;
    QCheckBox *m_showTips;
    QPushButton *m_back;
    QPushButton *m_next;
    QPushButton *m_close;
    QPushButton *m_ok;
};

} // namespace sv
