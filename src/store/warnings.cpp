#include "warnings.h"

#include "errors.h"
#include "fileaccess.h"

#include <QSet>

namespace sv {

namespace {

QString clipped(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    return text.left(end);
}

struct Kind
{
    int number;
    const char *caption;
    const char *text; // {NAME}, {VALUE}, {ERR}, {name} (NAME in lower case) stand for the texts
    int buttons;
    Button defaultButton;
    Icon icon;
    const char *haltText; // the program ends with this text after the box, when set
};

constexpr Icon Info = Icon::Information;
constexpr int SqliteCorrupt = 11;      // the engine's code for a malformed page
constexpr int SqliteNotADatabase = 26; // and for a file that is no database at all
constexpr Icon Exclaim = Icon::Exclamation;

const Kind kinds[] = {
    {1, "Invalid File", "Error: ({ERR}) accessing {NAME}.  Press OK to end this application.", Ok,
     Ok, Info, "Invalid File!"},
    {2, "Invalid Key", "{NAME} key file is invalid.  Do you want to rebuild the key?", Yes | No,
     Yes, Exclaim, "Invalid Key!"},
    {3, "Key Rebuild Error",
     "Error: ({ERR}) repairing key for {NAME}.  Press OK to end this application.", Ok, Ok, Info,
     "Error Rebuilding Key!"},
    {4, "File Creation Error", "Error: ({ERR}) creating {NAME}.  Press OK to end this application.",
     Ok, Ok, Info, "File Creation Error!"},
    {5, "File Creation Error",
     "Error: ({ERR}) opening created file:{NAME}.  Press OK to end this application.", Ok, Ok, Info,
     "File Creation Error!"},
    {10, "Range Error", "The value of {NAME} must be between {VALUE}.", Ok, Ok, Info, nullptr},
    {11, "Field Contents Error", "The value for {NAME} must be found in the {VALUE} file.", Ok, Ok,
     Info, nullptr},
    {12, "Referential Integrity Update Error",
     "This record is referenced from the file {NAME}.  Linking field(s) have been restricted "
     "from change and have been reset to original values.",
     Ok, Ok, Info, nullptr},
    {13, "Referential Integrity Delete Error",
     "This record is referenced from the file {NAME}.  This record cannot be deleted while "
     "these references exist.",
     Ok, Ok, Info, nullptr},
    {14, "Record Insert Error",
     "An error was experienced during the update of record.  Error: "
     "{ERR}.",
     Ok, Ok, Info, nullptr},
    {15, "Update Operation Error",
     "An error ({ERR}) was experienced when attempting to update a record from the file.  "
     "Probable Cause: {NAME}.",
     Ok, Ok, Info, nullptr},
    {16, "Record Update Error",
     "An error was experienced changing this record.  Do you want to try to save again?",
     Yes | No | Cancel, Cancel, Info, nullptr},
    {17, "Delete Operation Error",
     "An error ({ERR}) was experienced when attempting to delete a record from the file {NAME}.",
     Ok, Ok, Info, nullptr},
    {18, "Record Update Error",
     "An error was experienced deleting this record.  Do you want to try to save again?",
     Yes | No | Cancel, Cancel, Info, nullptr},
    {20, "Invalid Request",
     "This procedure was called to change a record, however changes are not allowed for this "
     "procedure.  Press OK to return to the calling procedure",
     Ok, Ok, Info, nullptr},
    {21, "Invalid Request",
     "This procedure was called to delete a record, however deletions are not allowed for this "
     "procedure.  Press OK to return to the calling procedure",
     Ok, Ok, Info, nullptr},
    {23, "Update Cancelled", "Are you sure you want to cancel?", Yes | No, No, Exclaim, nullptr},
    {24, "Duplicate Key Error", "Adding this record creates a duplicate entry for the key:{NAME}",
     Ok, Ok, Info, nullptr},
    {25, "Auto Increment Error",
     "Attempts to automatically number this record have failed.  Error: {ERR}.", Retry | Cancel,
     Cancel, Info, nullptr},
    {30, "File Access Error", "File ({NAME}) could not be opened.  Error: {ERR}.", Ok, Ok, Info,
     nullptr},
    {32, "Confirm Delete",
     "You've selected to delete the highlighted record.  Press OK to confirm deletion of this "
     "record.",
     Ok | Cancel, Cancel, Exclaim, nullptr},
    {34, "Transaction Framing Error",
     "Error: ({ERR}) attempting to frame the {name} transaction on {VALUE}.  {NAME} transaction "
     "cancelled.",
     Ok, Ok, Info, nullptr},
    {35, "Record Retrieval Error",
     "Error: ({ERR}) attempting to access a record from the {NAME} file.  Returning to previous "
     "window.",
     Ok, Ok, Info, nullptr},
    {36, "View Open Error",
     "Error: ({ERR}) attempting to open the current VIEW. Filter and Range Limits ignored.", Ok, Ok,
     Info, nullptr},
    {38, "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use the "
     "Ditto Button or Ctrl+' to recall your changes.",
     Ok, Ok, Info, nullptr},
};

const Kind *findKind(int number)
{
    for (const Kind &kind : kinds) {
        if (kind.number == number)
            return &kind;
    }
    return nullptr;
}

QString errorTextOf(const StoreError &error)
{
    if (error.code == err::FileSystemError)
        return error.fileError + QStringLiteral(" (") + error.fileErrorCode + u')';
    return error.text + QStringLiteral(" (") + QString::number(error.code) + u')';
}

// Kinds 15 and 31 choose their text by what happened.
Message specialMessage(int kind, const QString &name, const QString &value)
{
    Message message;
    if (kind == warning::UpdateError) {
        const std::optional<StoreError> saved = takeSavedError();
        const StoreError error = saved.value_or(lastError());
        message.caption = QStringLiteral("Update Operation Error");
        if (error.code == err::None || error.code == err::ChangedByAnotherStation)
            message.text = QStringLiteral("This record was changed by another station.");
        else
            message.text = QStringLiteral("An error (") + errorTextOf(error) +
                           QStringLiteral(") was experienced when attempting to update a record "
                                          "from the file.  Probable Cause: ") +
                           name + u'.';
        return message;
    }
    const bool put = name == u"Put";
    message.caption =
        put ? QStringLiteral("Process PUT Error") : QStringLiteral("Process DELETE Error");
    message.text =
        (put ? QStringLiteral("An error was experienced when making changes to the ")
             : QStringLiteral("An error was experienced when deleting a record from the ")) +
        value + QStringLiteral(" file.  Error: ") + warningErrorText();
    return message;
}

} // namespace

QString warningErrorText()
{
    const std::optional<StoreError> saved = takeSavedError();
    return errorTextOf(saved.value_or(lastError()));
}

Message standardWarningMessage(int kind, const QString &nameText, const QString &valueText)
{
    const QString name = clipped(nameText);
    const QString value = clipped(valueText);
    if (kind == warning::UpdateError || kind == warning::ProcessError)
        return specialMessage(kind, name, value);
    const Kind *definition = findKind(kind);
    if (!definition)
        return Message{QStringLiteral("Warning"), name, Ok, Ok, Icon::Information};
    QString text = QString::fromUtf8(definition->text);
    if (text.contains(QStringLiteral("{ERR}")))
        text.replace(QStringLiteral("{ERR}"), warningErrorText());
    text.replace(QStringLiteral("{NAME}"), name);
    text.replace(QStringLiteral("{name}"), name.toLower());
    text.replace(QStringLiteral("{VALUE}"), value);
    return Message{QString::fromUtf8(definition->caption), text, definition->buttons,
                   definition->defaultButton, definition->icon};
}

namespace {

// Damage in a file shows only when a read meets it: the engine finds a page that is not
// what it should be, or no table file at all.
bool isDamage(const StoreError &error)
{
    if (error.code != err::FileSystemError)
        return false;
    const int primary = error.fileErrorCode.toInt() & 0xFF;
    return primary == SqliteCorrupt || primary == SqliteNotADatabase;
}

const TableDef *tableLabelled(const QString &label)
{
    for (TableId id : allTables()) {
        if (tableDef(id).label.compare(label, Qt::CaseInsensitive) == 0)
            return &tableDef(id);
    }
    if (label.compare(QStringLiteral("A_Songs"), Qt::CaseInsensitive) == 0)
        return &tableDef(TableId::Songs);
    return nullptr;
}

// The file is marked so that the next start offers to repair it, and the user learns once
// which file it is and what to do.
void reportDamage(const QString &name, const QString &value, const StoreError &error)
{
    const TableDef *table = tableLabelled(name);
    if (!table)
        table = tableLabelled(value);
    if (!table)
        return;
    FileAccess::noteDamaged(table->fileName);
    static QSet<QString> told;
    if (told.contains(table->fileName))
        return;
    told.insert(table->fileName);
    ask(Message{QStringLiteral("Damaged File"),
                QStringLiteral("The file %1.tps (%2) is damaged: %3.\n\nThe window that met "
                               "the damage closes. The file can be repaired with Fix "
                               "in the File Manager (File, Preferences, Housekeeping); the next "
                               "time the program starts it offers to repair it.")
                    .arg(table->fileName, table->label, errorTextOf(error)),
                Ok, Ok, Icon::Exclamation});
}

} // namespace

Button standardWarning(int kind, const QString &name, const QString &value)
{
    const StoreError reported = reportedError();
    const Kind *shown = findKind(kind);
    const bool reportsError = kind == warning::UpdateError || kind == warning::ProcessError ||
                              (shown && QByteArray(shown->text).contains("{ERR}"));
    const bool damage = reportsError && isDamage(reported);
    const Message message = standardWarningMessage(kind, name, value);
    const Button pressed = ask(message);
    if (damage)
        reportDamage(clipped(name), clipped(value), reported);
    const Kind *definition = findKind(kind);
    if (kind == warning::InvalidKey) {
        // No ends the program; the answer is returned only where halting does not end it.
        if (pressed != Yes)
            halt(QString::fromUtf8(definition->haltText));
        return pressed;
    }
    if (definition && definition->haltText)
        halt(QString::fromUtf8(definition->haltText));
    return pressed;
}

} // namespace sv
