#pragma once

#include "recordbuttons.h"

#include <QString>

namespace sv {

// What a caller asks of a form or a selecting browser, and what it learns when it ends.
enum class Request { None = 0, Insert = 1, Change = 2, Delete = 3, Select = 4 };

enum class Response { Completed = 1, Cancelled = 2 };

struct WindowResult
{
    Response response = Response::Cancelled;
    int navigation = 0; // InsertAnother: the caller adds another record
    QString endedBy;    // "OK" or "Cancel", for callers that need the button
};

// A form ends with the Insert button's number to have its caller add another record.
inline constexpr int InsertAnother = static_cast<int>(RecordButton::Insert);

} // namespace sv
