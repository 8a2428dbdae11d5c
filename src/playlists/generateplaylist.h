#pragma once

#include "playlistgenerator.h"

#include <QWidget>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace sv {

class FieldEntry;
class Session;

namespace playlists {

// "Generate Play List": how many songs, which release dates and category, a weighting, and
// the DJ choices; Ok draws the play list and closes. Every value starts empty or off each
// time the window opens.
class GeneratePlaylistWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr char Procedure[] = "GeneratePlaylist";

    explicit GeneratePlaylistWindow(Session &session, QWidget *parent = nullptr);

    // Fills the category list; false when it could not be read (the user has been told and
    // the window is not to be shown).
    [[nodiscard]] bool start();

    QLineEdit *sizeEntry() const { return m_size; }
    QLineEdit *startEntry() const { return m_start; }
    QLineEdit *endEntry() const { return m_end; }
    QComboBox *categoryEntry() const { return m_category; }
    QCheckBox *leaveOutBox() const { return m_leaveOut; }
    QCheckBox *noTwiceBox() const { return m_noTwice; }
    QCheckBox *bpmBox() const { return m_bpm; }
    QSpinBox *lowestBpm() const { return m_lowestBpm; }
    QSpinBox *highestBpm() const { return m_highestBpm; }
    QCheckBox *notPlayedBox() const { return m_notPlayed; }
    QSpinBox *notPlayedDays() const { return m_days; }
    QLabel *inForceLabel() const { return m_inForce; }
    void setWeighting(Weighting weighting);

    // The choices as the window holds them; nullopt when an entry is not right (the cursor
    // has been put back in it, with the reason in the status bar).
    std::optional<GeneratorChoices> choices();
    void ok();

Q_SIGNALS:
    // Once, as the window closes: the play list made, or an outcome other than Written.
    void finished(const GeneratedPlaylist &result);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Esc abandons the window as Cancel does; Enter draws the play list as OK does.
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *numberEntry(const QString &name, const QString &picture, FieldType type);
    std::optional<qint64> readEntry(QLineEdit *edit, const QString &name);
    bool checkCategory();
    void refuse(QWidget *field, const QString &why);
    void showInForce();

    Session &m_session;
    QLineEdit *m_size;
    QLineEdit *m_start;
    QLineEdit *m_end;
    QComboBox *m_category;
    QButtonGroup *m_weighting;
    QCheckBox *m_leaveOut;
    QCheckBox *m_noTwice;
    QCheckBox *m_bpm;
    QSpinBox *m_lowestBpm;
    QSpinBox *m_highestBpm;
    QCheckBox *m_notPlayed;
    QSpinBox *m_days;
    QLabel *m_inForce;
    GeneratedPlaylist m_result{GeneratedPlaylist::Outcome::Cancelled};
    bool m_placed = false;
    bool m_ended = false;
};

// Opens the window over `caller` (disabled meanwhile by the caller); `done` follows when it
// closes, by Ok or Cancel. Null when the window could not open (the user has been told).
GeneratePlaylistWindow *generatePlaylist(Session &session, QWidget *caller,
                                         std::function<void(const GeneratedPlaylist &)> done);

} // namespace playlists
} // namespace sv
