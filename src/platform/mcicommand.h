#pragma once

#include "cddevice.h"

#include <QString>

#include <functional>
#include <optional>

namespace sv {

// Result codes of the command strings for the device "cdaudio"; 0 is success. The
// numbers are those the classic command-string interface uses for the same conditions,
// so logs read the way users of older versions know them.
namespace mci {
enum Error : int {
    UnrecognizedKeyword = 259,  // an item or option the command does not know
    UnrecognizedCommand = 261,  // the first word is no command
    InvalidDeviceName = 263,    // not "cdaudio", not open, or no drive or image there
    DeviceOpen = 265,           // "open" while this program has the device open already
    MissingCommandString = 267, // nothing to do
    BadInteger = 270,           // a number or position that cannot be read
    MissingParameter = 273,     // "status cdaudio", "from" without a value
    DeviceNotReady = 276,       // no disc, the disc not readable yet, or the tray open
    OutOfRange = 282,           // a track or position the disc does not have
    DeviceInUse = 291,          // another program holds the drive
    MissingDeviceName = 292,    // a command without the device
    BadTimeFormat = 293,        // "set cdaudio time format" with an unknown format
};
} // namespace mci

// The one path to the CD drive: interprets `command` ("open cdaudio shareable", "status
// cdaudio length track 3", "play cdaudio from 5", ...) or, when modeQuery is true, the
// command "status cdaudio mode" whatever `command` holds. Returns the reply text:
//  - on success the reply, with "true" given as "1" and "false" as "" (blank);
//  - "Error:1" when the device is already open in this program (nothing logged);
//  - on any other failure "Error:" and the code (see mci::Error), after logging the three
//    entries "MCI Request" (the command), "MCI Return" (the reply text) and "MCI Error"
//    (the code).
// Replies: "open" gives "1"; lengths are "mm:ss:ff" in the time formats tmsf and msf;
// positions "tt:mm:ss:ff" (track and the time into it) in tmsf and "mm:ss:ff" on the
// disc's own clock in msf; in ms every length and position is whole milliseconds, a
// position counted on the disc's own clock (the first track starts at 2000). Opening
// sets the time format msf. The mode is one of "not ready", "open", "stopped", "playing"
// and "paused"; "ready" is false only while there is no disc the drive can read, so an
// open tray is ready and reports its mode "open". Replies are at most 99 characters.
QString SendMCICommand(const QString &command, bool modeQuery = false);

// Where failures are logged; the application points it at its event log, which writes
// only while the log is switched on. Empty (the default): failures are not logged.
using MciLogger = std::function<void(const QString &label, const QString &data)>;
void setMciLogger(MciLogger logger);

// Sees every command interpreted and its reply as returned, for diagnostics and tests.
using MciTracer = std::function<void(const QString &command, const QString &reply)>;
void setMciTracer(MciTracer tracer);

// The table of contents of the disc in the open device; nothing when the device is not
// open or holds no readable disc. For the identifiers on-line databases know a disc by.
std::optional<CdToc> cdaudioTableOfContents();

// What the user should know about playing the disc in the open device (no sound device,
// the disc stopped being readable); blank when all is well or the device is not open.
QString cdaudioPlaybackNote();

// Closes the device without a command, as at the end of the program; for tests.
void resetCdAudio();

} // namespace sv
