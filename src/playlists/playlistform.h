#pragma once

#include "app/updateform.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace sv {

class PlaylistEntries;

// "Update Playlist": a play list's name, its entries and notes. A new play list takes its
// number at once; cancelling it gives the number back with every entry added meanwhile.
class PlaylistForm : public UpdateForm
{
    Q_OBJECT

public:
    PlaylistForm(Session &session, Request request, QWidget *parent = nullptr);

    enum Tab { PlayList, Notes };
    QTabWidget *tabs() const { return m_tabs; }
    PlaylistEntries *entries() const { return m_entries; }
    QString totalTimeShown() const;
    QString lastEditDateShown() const;

    // "Mark as &Played": after a question, every song of the play list is marked played
    // today, all in one transaction.
    void markAsPlayed();

    QSize sizeHint() const override { return {720, 460}; }

protected:
    void loadFields() override;
    void storeFields() override;
    bool checkFields() override;
    bool removePrimed() override;
    QString title(Request request) const override;
    QString duplicateKeyName(int key) const override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool markSongs(const QList<qint64> &songIds);

    TableUses m_lookups; // entries, songs
    QTabWidget *m_tabs = nullptr;
    QLineEdit *m_description = nullptr;
    PlaylistEntries *m_entries = nullptr;
    QLabel *m_lastEdit = nullptr;
    QPlainTextEdit *m_notes = nullptr;
    QPushButton *m_markPlayed = nullptr;
};

} // namespace sv
