#pragma once

#include <QDialog>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace sv {

class Session;

namespace reports {

// The criteria the song and album reports share for the program's run: each report reads
// what the last Report Criteria window left.
struct ReportCriteria
{
    QString style; // "Standard" or "Brief"; empty until a window sets it
    bool preview = false;
    bool customFont = false;
    QString include; // "All" or "Selected"
    QString selection;
};

// The one set of criteria of this run of the program.
ReportCriteria &reportCriteria();

// "Report Criteria": how the song and album reports run (standard or brief, preview or
// printer, the custom font, all records or those whose selection field starts with a
// text), shared by every report for the program's run. `noun` names what the selection
// matches ("artists", "titles").
class ReportCriteriaWindow : public QDialog
{
    Q_OBJECT

public:
    ReportCriteriaWindow(Session &session, const QString &noun, QWidget *parent = nullptr);
    ~ReportCriteriaWindow() override;

    // Opens the window; `done` follows once, with true after Ok (the criteria are then
    // stored in the session) and false after Cancel, Esc or the close box.
    static ReportCriteriaWindow *ask(Session &session, const QString &noun, QWidget *parent,
                                     std::function<void(bool ok)> done);

    QString prompt() const;
    void accept() override;

private:
    void includeChanged();

    Session &m_session;
    QRadioButton *m_standard;
    QRadioButton *m_brief;
    QCheckBox *m_preview;
    QCheckBox *m_customFont;
    QRadioButton *m_all;
    QRadioButton *m_selected;
    QLabel *m_prompt;
    QLineEdit *m_selection;
    std::function<void(bool)> m_done;
};

// Whether a record's selection field passes the criteria: always with "All"; with
// "Selected", when the field starts with the selection text (trailing blanks dropped),
// without regard to case. An empty selection takes every record.
bool passesSelection(const ReportCriteria &criteria, const QString &field);

} // namespace reports
} // namespace sv
