#pragma once

#include "platform/prompter.h"

namespace sv {

// The standard warnings: one routine composes every numbered kind with its caption, text,
// buttons, default button and icon, shows it through the prompter and returns the button
// pressed. Kinds 1 to 5 end the program afterwards (kind 2 only when answered No).
namespace warning {
inline constexpr int InvalidFile = 1;
inline constexpr int InvalidKey = 2;
inline constexpr int KeyRebuildError = 3;
inline constexpr int FileCreationError = 4;
inline constexpr int CreatedFileOpenError = 5;
inline constexpr int RangeError = 10;
inline constexpr int FieldContentsError = 11;
inline constexpr int RestrictUpdate = 12;
inline constexpr int RestrictDelete = 13;
inline constexpr int InsertError = 14;
inline constexpr int UpdateError = 15;
inline constexpr int UpdateRetry = 16;
inline constexpr int DeleteError = 17;
inline constexpr int DeleteRetry = 18;
inline constexpr int ChangesNotAllowed = 20;
inline constexpr int DeletionsNotAllowed = 21;
inline constexpr int ConfirmCancel = 23;
inline constexpr int DuplicateKey = 24;
inline constexpr int AutoIncrementError = 25;
inline constexpr int FileAccessError = 30;
inline constexpr int ProcessError = 31;
inline constexpr int ConfirmDelete = 32;
inline constexpr int TransactionFraming = 34;
inline constexpr int RecordRetrieval = 35;
inline constexpr int ViewOpen = 36;
inline constexpr int RecordNotUpdated = 38;
} // namespace warning

// The message a kind shows, without showing it (the error text is built from the saved or
// current error at the moment of the call, as for the box itself).
Message standardWarningMessage(int kind, const QString &name = QString(),
                               const QString &value = QString());
Button standardWarning(int kind, const QString &name = QString(), const QString &value = QString());

// The error text of the warnings: the engine's message and code for engine errors, else
// the store's text and number. Takes (and clears) a saved error when there is one.
QString warningErrorText();

} // namespace sv
