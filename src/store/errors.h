#pragma once

#include <QString>

#include <optional>

namespace sv {

// Error numbers left by every record-store operation. Callers read them after each
// statement; nothing is thrown across the store's interface.
namespace err {
inline constexpr int None = 0;
inline constexpr int FileNotFound = 2;
inline constexpr int PathNotFound = 3;
inline constexpr int AccessDenied = 5;
inline constexpr int FileLocked = 32;
inline constexpr int RecordNotAvailable = 33; // end of a scan, or no current record
inline constexpr int RecordNotFound = 35;
inline constexpr int InvalidDataFile = 36;
inline constexpr int FileNotOpen = 37;
inline constexpr int DuplicateKey = 40;
inline constexpr int InvalidKeyFile = 46;
inline constexpr int InvalidRecordDeclaration = 47;
inline constexpr int AlreadyOpen = 52;
inline constexpr int LogoutActive = 56;
inline constexpr int BadOption = 75;
inline constexpr int InvalidKeyLength = 88;
inline constexpr int ChangedByAnotherStation = 89;
inline constexpr int FileSystemError = 90; // engine error: see fileErrorCode()/fileError()
inline constexpr int NoLogoutActive = 91;
inline constexpr int InvalidFilter = 800; // a view filter that does not compile
} // namespace err

struct StoreError
{
    int code = err::None;
    QString text;          // the store's own text for the code
    QString fileErrorCode; // for engine errors: the engine's code
    QString fileError;     // for engine errors: the engine's message
};

// The last error of this process, as ERRORCODE(), ERROR(), FILEERRORCODE(), FILEERROR().
int errorCode();
QString errorText();
QString fileErrorCode();
QString fileError();
const StoreError &lastError();

QString standardErrorText(int code);

// An error kept by a routine that rolled back after a failing step, so the warning that
// follows reports that error rather than whatever the rollback left.
void saveError();
std::optional<StoreError> takeSavedError();
// The error a warning would report now: the saved one, else the last; nothing is taken.
const StoreError &reportedError();

void setError(int code);
void restoreError(const StoreError &error); // an error taken from lastError() earlier
void setEngineError(int engineCode, const QString &engineMessage);
void clearError();

} // namespace sv
