#pragma once
#include <functional>
class QWidget;
namespace sv {
class Session;
// Batch processes over the catalogue, each in a progress window that handles 25 records a
// timer tick; `done` receives true when the process ran to the end, false when cancelled
// or stopped by an error. All of them return at once.
void runAlbumBuild(Session &session, bool askFirst, QWidget *parent,
                   std::function<void(bool)> done);
void runLinkTest(Session &session, QWidget *parent, std::function<void(bool)> done);
// The song date conversion, then the album one.
void runDateConversions(Session &session, QWidget *parent, std::function<void(bool)> done);
} // namespace sv
