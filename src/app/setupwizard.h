#pragma once

#include <QComboBox>
#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace sv {

class Session;

// The date format drop list of Preferences and the setup wizard: the choices' texts in
// their order, not editable, showing nothing for a picture that is not among them.
class DateFormatList : public QComboBox
{
    Q_OBJECT

public:
    explicit DateFormatList(QWidget *parent = nullptr);
    void showPicture(const QString &picture);
    QString chosenText() const; // "" when nothing is shown
};

// Cutting stored dates down to years loses the day and month, so the user decides.
bool confirmYearOnlyConversion();
// Makes the chosen format the one in use and writes it; a blank text keeps the current one.
void saveDateFormat(const QString &chosenText);

// The five-page wizard that sets the basics on first use and on request from Preferences.
// Finish writes the settings; Cancel saves nothing and, while the setup has never been
// completed, ends the program.
class SetupWizard : public QDialog
{
    Q_OBJECT

public:
    enum Page { Welcome, Date, UserDefinedKey, StartUp, Done, PageCount };

    // Opens the wizard (modal, without waiting); `finished` runs once Finish has saved.
    static SetupWizard *open(Session &session, QWidget *parent, std::function<void()> finished);

    int currentPage() const;

public Q_SLOTS:
    void reject() override; // Cancel, Escape and the close box

private:
    SetupWizard(Session &session, QWidget *parent, std::function<void()> finished);
    QWidget *createDatePage();
    QWidget *createUserDefinedKeyPage();
    QWidget *createStartUpPage();
    QLayout *createButtons();
    void loadFields();
    void goTo(int page);
    void finish();
    void saveDateFormatAndClose(const QString &chosenText);

    Session &m_session;
    std::function<void()> m_finished;
    bool m_firstUse = false;
    bool m_busy = false;
    QString m_storedPicture;

    QStackedWidget *m_pages = nullptr;
    DateFormatList *m_dateFormat = nullptr;
    QLineEdit *m_udkPrompt = nullptr;
    QCheckBox *m_albums = nullptr;
    QCheckBox *m_songs = nullptr;
    QCheckBox *m_labels = nullptr;
    QCheckBox *m_playlists = nullptr;
    QCheckBox *m_showTips = nullptr;
    QPushButton *m_back = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_finish = nullptr;
    QPushButton *m_cancel = nullptr;
};

} // namespace sv
