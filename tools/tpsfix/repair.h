#pragma once

#include <QStringList>

#include <optional>

namespace sv::tpsfix {

// Exit codes. The damaged file is never touched unless the result is Repaired.
enum ExitCode {
    Repaired = 0,
    BadCommandLine = 1,
    BadExample = 2,    // the layout example is missing or unreadable
    NotATableFile = 3, // the damaged file is missing, empty, or not a file of the table
    WriteFailed = 4,   // the repaired file could not be written or put in place
    InUse = 5,         // another station has the file open
};

struct Options
{
    QString damaged;           // "svpalbum.tps"
    QString example;           // "svpalbum.tpe" (/E:)
    bool keepOriginal = false; // /K: the damaged file stays beside the repaired one
};

// "<file> /E:<example> /K" in any order, options in any case; nullopt when not understood.
std::optional<Options> parseArguments(const QStringList &arguments);

// Rebuilds the damaged file from every record that can still be read, keeps or removes the
// original, appends what happened to tpsfix.log in the current folder and prints a summary.
int repair(const Options &options);

} // namespace sv::tpsfix
