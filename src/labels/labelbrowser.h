#pragma once

#include "app/browser.h"

#include <QHash>

namespace sv {

// "Browse Labels": the label designs by description or by type, edited in the label form,
// made with the label wizard, copied, and printed.
class LabelBrowser : public Browser
{
    Q_OBJECT

public:
    LabelBrowser(Session &session, Request request = Request::None, QWidget *parent = nullptr);

    enum Tab { ByDescription, ByType };

    void copy();        // "Cop&y": a new label from the highlighted one
    void printLabel();  // "&Print": the highlighted label
    void startWizard(); // "Wi&zard"

protected:
    UpdateForm *createForm(Request request) override;
    void extendPopupMenu(QMenu *menu) override;
    void forgetLookups() override { m_titles.clear(); }

private:
    QString cassetteTitle(qint64 labelId);

    QHash<qint64, QString> m_titles;
    QPushButton *m_copy = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_wizard = nullptr;
};

} // namespace sv
