#pragma once
#include <QtGlobal>

#include <functional>
#include <optional>
class QWidget;
namespace sv {
class Session;
// Batch processes over the catalogue, each in a progress window that handles 25 records a
// timer tick; `done` receives true when the process ran to the end, false when cancelled
// or stopped by an error. All of them return at once.
void runAlbumBuild(Session &session, bool askFirst, QWidget *parent,
                   std::function<void(bool)> done);
// The album build without a window, for the command line: runs to its end here, telling
// `progress` the songs done of the total after each. The albums it added; nullopt when it
// stopped on an error (reported through the prompter), what it built before staying.
[[nodiscard]] std::optional<qint64>
buildAlbums(Session &session, const std::function<void(qint64 done, qint64 total)> &progress);
void runLinkTest(Session &session, QWidget *parent, std::function<void(bool)> done);
// The song date conversion, then the album one.
void runDateConversions(Session &session, QWidget *parent, std::function<void(bool)> done);
} // namespace sv
