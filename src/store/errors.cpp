#include "errors.h"

namespace sv {

namespace {

StoreError &current()
{
    static StoreError error;
    return error;
}

std::optional<StoreError> &saved()
{
    static std::optional<StoreError> error;
    return error;
}

} // namespace

void restoreError(const StoreError &error)
{
    current() = error;
}

void saveError()
{
    saved() = current();
}

std::optional<StoreError> takeSavedError()
{
    return std::exchange(saved(), std::nullopt);
}

const StoreError &reportedError()
{
    return saved() ? *saved() : current();
}

int errorCode()
{
    return current().code;
}

QString errorText()
{
    return current().text;
}

QString fileErrorCode()
{
    return current().fileErrorCode;
}

QString fileError()
{
    return current().fileError;
}

const StoreError &lastError()
{
    return current();
}

QString standardErrorText(int code)
{
    switch (code) {
    case err::None:
        return QString();
    case err::FileNotFound:
        return QStringLiteral("File Not Found");
    case err::PathNotFound:
        return QStringLiteral("Path Not Found");
    case err::AccessDenied:
        return QStringLiteral("Access Denied");
    case err::FileLocked:
        return QStringLiteral("File Is Already Locked");
    case err::RecordNotAvailable:
        return QStringLiteral("Record Not Available");
    case err::RecordNotFound:
        return QStringLiteral("Record Not Found");
    case err::InvalidDataFile:
        return QStringLiteral("Invalid Data File");
    case err::FileNotOpen:
        return QStringLiteral("File Not Open");
    case err::DuplicateKey:
        return QStringLiteral("Creates Duplicate Key");
    case err::InvalidKeyFile:
        return QStringLiteral("Invalid Key File");
    case err::InvalidRecordDeclaration:
        return QStringLiteral("Invalid Record Declaration");
    case err::AlreadyOpen:
        return QStringLiteral("File Already Open");
    case err::LogoutActive:
        return QStringLiteral("LOGOUT Already Active");
    case err::BadOption:
        return QStringLiteral("Invalid Option");
    case err::InvalidKeyLength:
        return QStringLiteral("Invalid Key Length");
    case err::ChangedByAnotherStation:
        return QStringLiteral("Record Changed By Another Station");
    case err::FileSystemError:
        return QStringLiteral("File System Error");
    case err::NoLogoutActive:
        return QStringLiteral("No LOGOUT Active");
    case err::InvalidFilter:
        return QStringLiteral("Invalid Filter Expression");
    default:
        return QStringLiteral("Error %1").arg(code);
    }
}

void setError(int code)
{
    current() = {code, standardErrorText(code), QString(), QString()};
}

void setEngineError(int engineCode, const QString &engineMessage)
{
    current() = {err::FileSystemError, standardErrorText(err::FileSystemError),
                 QString::number(engineCode), engineMessage};
}

void clearError()
{
    StoreError &error = current();
    if (error.code != err::None || !error.text.isEmpty() || !error.fileError.isEmpty())
        error = StoreError{};
}

} // namespace sv
