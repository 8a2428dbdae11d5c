#pragma once

class QWidget;

namespace sv {

class Session;

namespace exchange {

// File / Export / "Whole catalogue (JSON)...": asks for the file, then writes the catalogue
// under a progress window with Cancel. Returns that window, or null when nothing started
// (the dialog was cancelled, or the user has been told why).
QWidget *exportWholeCatalogue(Session &session, QWidget *parent);

// File / Import / "Whole catalogue (JSON)...": asks for the file and, when the catalogue
// already holds records, what becomes of the file's records that match them; then reads
// it under a progress window. Cancel stops after the record being read: the records
// before it stay, each whole, and the user is told how many.
QWidget *importWholeCatalogue(Session &session, QWidget *parent);

} // namespace exchange
} // namespace sv
