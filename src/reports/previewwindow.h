#pragma once

#include "reportpage.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QLabel;
class QMdiArea;
class QScrollArea;

namespace sv {

class Session;

namespace reports {

class PageCanvas;

// "Report Preview": the pages of a report run, one or several at a time across and down,
// at a zoom, with printing and saving as PDF. Its pages stay on disk; only those shown are
// read.
class PreviewWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum class Zoom { NoZoom, PageWidth, Percent50, Percent75, Percent100, Percent200, Percent300 };

    PreviewWindow(Session &session, std::shared_ptr<const PageList> pages, const QString &report,
                  QWidget *parent = nullptr);
    ~PreviewWindow() override;

    // Shows the window in the frame's work area, or on its own without one.
    void showIn(QMdiArea *area);

    int pageCount() const { return m_pages->count(); }
    int firstPage() const { return m_first; } // 1-based
    int pagesShown() const;                   // across × down, fewer at the end
    int across() const { return m_across; }
    int down() const { return m_down; }
    Zoom zoom() const { return m_zoom; }
    double scale() const; // screen pixels per mil at the zoom in force
    QString statusText() const;
    QString zoomText() const;
    const PageList &pages() const { return *m_pages; }

    void nextPages();
    void previousPages();
    // Shows the page (1-based) first; false, with the page count's message, when it is
    // outside the report.
    bool jumpTo(int page);
    void setDisplay(int across, int down);
    void setZoom(Zoom zoom);
    void jumpToPage();    // "Jump to a Report Page"
    void changeDisplay(); // "Change the Report Display"
    void print();
    void saveAsPdf();
    // Writes the pages to a file; false when it could not (the user has been told).
    bool saveAsPdf(const QString &file);

Q_SIGNALS:
    void printed(bool printed);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void refreshView();

    Session &m_session;
    std::shared_ptr<const PageList> m_pages;
    QString m_report;
    PageCanvas *m_canvas;
    QScrollArea *m_scroll;
    QLabel *m_pageStatus;
    QLabel *m_zoomStatus;
    QAction *m_next;
    QAction *m_previous;
    int m_first = 1;
    int m_across = 1;
    int m_down = 1;
    Zoom m_zoom = Zoom::Percent100;
};

} // namespace reports
} // namespace sv
