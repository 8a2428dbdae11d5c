#pragma once

#include "store/fileaccess.h"
#include "updateform.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace sv {

class Session;
class Table;

// The tip of the day: modal to its parent, opened with open(), and reports back through a
// callback once it has gone.
class TipWindow : public QDialog
{
    Q_OBJECT

public:
    // Shows the tip after the one shown last time (the number kept as "Tip"). Null, with `closed`
    // already called, when there is no tip to show or the tips cannot be opened.
    static TipWindow *showTipOfTheDay(Session &session, QWidget *parent,
                                      std::function<void()> closed);

    TipWindow(Session &session, QWidget *parent);
    ~TipWindow() override;

    qint64 tipNumber() const { return m_number; }
    QString tipText() const;

    void reject() override; // Escape and the title bar's close act as Cl&ose

private:
    bool showTip(qint64 from, bool forward);
    void step(bool forward);
    void closeTips();
    void finish();

    Table &m_tips;
    TableUse m_tipsUse;
    bool m_finished = false;
    qint64 m_number = 1;
    std::function<void()> m_closed;

    QPlainTextEdit *m_text;
    QCheckBox *m_showTips;
};

// The tip window as the form that adds, changes or deletes one tip of the maintenance list:
// the text is editable, "&Ok" saves and "Cl&ose" abandons. Numbering, the duplicate checks,
// retries and deleting are those of every form.
class TipForm : public UpdateForm
{
    Q_OBJECT

public:
    TipForm(Session &session, Request request, QWidget *parent = nullptr);

    QString tipText() const;

protected:
    QString title(Request request) const override;
    bool hasHistoryKey() const override { return false; }
    QString duplicateKeyName(int key) const override;
    void loadFields() override;
    void storeFields() override;

private:
    QPlainTextEdit *m_text;
};

} // namespace sv
