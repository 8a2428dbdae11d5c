#pragma once

#include "reports/reportsource.h"
#include "store/fileaccess.h"

#include <QColor>
#include <QWidget>

#include <memory>

class QButtonGroup;
class QLineEdit;
class QMdiArea;

namespace sv {

class Session;
class View;

namespace labels {

// Which albums the binder and flap pages print, kept while the program runs.
struct BinderSelection
{
    QString style = QStringLiteral("Binder"); // or "Flap"
    QString startingFileNumber;
    QString endingFileNumber;
};
BinderSelection &binderSelection();

// The colours of album headings: binder pages take them in turn, a flap page by the
// album's place in the album file, so an album keeps its colour whenever it is printed.
QColor binderColour(int albumsBefore);
QColor flapColour(qint64 recordNumber);
// An album's heading: title and artist, or the title alone for "Various" artists.
QString albumHeading(const QString &album, const QString &artist, bool displayName, int width);
// Headings shorter than this go in the flap's larger heading band.
inline constexpr int LongFlapHeading = 40;

// The albums of a file-number range, each with its songs, on binder or flap pages.
class BinderSource : public reports::ReportSource
{
public:
    BinderSource(Session &session, const BinderSelection &selection);
    ~BinderSource() override;

    bool open() override;
    qint64 recordsToProcess() override;
    reports::ReportLayout layout() const override;
    void useFont(const reports::ReportFont &) override {}
    Read next(reports::ReportWriter &writer) override;

private:
    bool isFlap() const;
    bool printSongs(reports::ReportWriter &writer, const Record &album, const QColor &colour);

    Session &m_session;
    BinderSelection m_selection;
    TableUses m_uses;
    std::unique_ptr<View> m_albums;
    int m_printed = 0;
};

// Runs the pages of the selection into the preview (they are never sent straight to the
// printer). Returns the progress window, or null when nothing started.
QWidget *printBinderPages(Session &session, const BinderSelection &selection, QWidget *parent,
                          QMdiArea *area);

// "CD Binder Pages": the page style and the range of file numbers, each looked up in the
// album list; OK prints and closes.
class BinderPagesWindow : public QWidget
{
    Q_OBJECT

public:
    explicit BinderPagesWindow(Session &session, QWidget *parent = nullptr);

    QLineEdit *startingEntry() const { return m_start; }
    QLineEdit *endingEntry() const { return m_end; }
    void setStyle(const QString &style);
    void lookUp(QLineEdit *entry); // the album list; the picked album's file number
    void accept();                 // "&OK"

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Session &m_session;
    QButtonGroup *m_style = nullptr;
    QLineEdit *m_start = nullptr;
    QLineEdit *m_end = nullptr;
    bool m_busy = false;
};

} // namespace labels
} // namespace sv
