#include "fileaccess.h"

#include "errors.h"
#include "warnings.h"

#include "platform/inifile.h"
#include "platform/paths.h"

#include <QFile>
#include <QFileInfo>

#include <utility>

namespace sv {

namespace {

const QString BadFileSection = QStringLiteral("svp98");
const QString BadFileEntry = QStringLiteral("BadFile");

bool openedOrAlreadyOpen(Table &table)
{
    return table.open() || errorCode() == err::AlreadyOpen;
}

QString &damagedFile()
{
    static QString fileName;
    return fileName;
}

// A free name beside the file for keeping a damaged copy: ".damaged", ".damaged2", ...
QString freeDamagedName(const QString &path)
{
    for (int number = 1;; ++number) {
        const QString name =
            path + QStringLiteral(".damaged") + (number > 1 ? QString::number(number) : QString());
        if (!QFileInfo::exists(name) && !QFileInfo::exists(name + QStringLiteral("-journal")))
            return name;
    }
}

} // namespace

FileAccess::FileAccess(Store &store, UpgradeManager &upgrades)
    : m_store(store), m_upgrades(upgrades)
{}

QString FileAccess::badFile()
{
    return IniFile::get(BadFileSection, BadFileEntry, QString(), Paths::systemIniFile());
}

void FileAccess::setBadFile(const QString &fileName)
{
    IniFile::put(BadFileSection, BadFileEntry, fileName, Paths::systemIniFile());
}

TableUse::TableUse(TableUse &&other) noexcept
    : m_files(std::exchange(other.m_files, nullptr)), m_table(std::exchange(other.m_table, nullptr))
{}

TableUse &TableUse::operator=(TableUse &&other) noexcept
{
    if (this != &other) {
        reset();
        m_files = std::exchange(other.m_files, nullptr);
        m_table = std::exchange(other.m_table, nullptr);
    }
    return *this;
}

void TableUse::reset()
{
    if (m_table)
        m_files->release(*m_table);
    m_files = nullptr;
    m_table = nullptr;
}

TableUses &TableUses::operator=(TableUses &&other) noexcept
{
    if (this != &other) {
        reset();
        m_uses = std::move(other.m_uses);
        m_complete = std::exchange(other.m_complete, false);
    }
    return *this;
}

void TableUses::reset()
{
    while (!m_uses.empty())
        m_uses.pop_back();
    m_complete = false;
}

TableUse FileAccess::use(Table &table)
{
    if (!access(table))
        return {};
    return TableUse(this, &table);
}

TableUses FileAccess::use(const QList<Table *> &tables)
{
    TableUses uses;
    for (Table *table : tables) {
        TableUse one = use(*table);
        if (!one)
            return {}; // the holds taken so far go with `uses`
        uses.m_uses.push_back(std::move(one));
    }
    uses.m_complete = true;
    return uses;
}

void FileAccess::clearBadFile()
{
    setBadFile(damagedFile());
}

void FileAccess::noteDamaged(const QString &fileName)
{
    damagedFile() = fileName;
    setBadFile(fileName);
}

void FileAccess::noteRepaired(const QString &fileName)
{
    if (damagedFile().compare(fileName, Qt::CaseInsensitive) == 0)
        damagedFile().clear();
    if (badFile().trimmed().compare(fileName, Qt::CaseInsensitive) == 0)
        setBadFile(damagedFile());
}

bool FileAccess::isEssential(const TableDef &table)
{
    return table.id != TableId::Tips;
}

bool FileAccess::access(Table &table)
{
    int &users = m_users[&table];
    if (users == 0 && !openRoutine(table))
        return false;
    ++users;
    return true;
}

void FileAccess::release(Table &table)
{
    auto it = m_users.find(&table);
    if (it == m_users.end() || it.value() == 0)
        return;
    if (--it.value() == 0)
        table.close();
}

bool FileAccess::openRoutine(Table &table)
{
    setBadFile(table.definition().fileName);
    Outcome outcome = openedOrAlreadyOpen(table) ? Outcome::Opened : Outcome::Unresolved;
    if (outcome == Outcome::Unresolved && errorCode() == err::FileLocked) {
        table.send(QStringLiteral("Recover=10"));
        if (openedOrAlreadyOpen(table))
            outcome = Outcome::Opened;
    }
    if (outcome == Outcome::Unresolved) {
        switch (errorCode()) {
        case err::FileNotFound:
            outcome = openMissing(table);
            break;
        case err::InvalidKeyFile:
            outcome = rebuildKeysAndOpen(table);
            break;
        case err::InvalidRecordDeclaration:
            outcome = upgradeOlderLayout(table);
            break;
        default:
            break;
        }
    }
    if (outcome == Outcome::Unresolved)
        outcome = reportUnopenable(table);
    if (outcome != Outcome::Opened)
        return false;
    clearBadFile();
    return true;
}

bool FileAccess::upgradeAndOpen(Table &table)
{
    clearBadFile();
    m_upgrades.upgrade(table);
    return openedOrAlreadyOpen(table);
}

FileAccess::Outcome FileAccess::openMissing(Table &table)
{
    if (upgradeAndOpen(table))
        return Outcome::Opened;
    return createRoutine(table) ? Outcome::Opened : Outcome::Failed;
}

FileAccess::Outcome FileAccess::upgradeOlderLayout(Table &table)
{
    if (upgradeAndOpen(table))
        return Outcome::Opened;
    standardWarning(warning::InvalidFile, table.definition().fileName);
    return Outcome::Failed;
}

bool FileAccess::createRoutine(Table &table)
{
    const QString fileName = table.definition().fileName;
    if (!table.create()) {
        standardWarning(warning::FileCreationError, fileName);
        return false;
    }
    if (!openedOrAlreadyOpen(table)) {
        standardWarning(warning::CreatedFileOpenError, fileName);
        return false;
    }
    return true;
}

FileAccess::Outcome FileAccess::rebuildKeysAndOpen(Table &table)
{
    const QString fileName = table.definition().fileName;
    if (standardWarning(warning::InvalidKey, fileName) != Yes)
        return Outcome::Failed;
    table.send(QStringLiteral("FULLBUILD=on"));
    if (!table.build()) {
        standardWarning(warning::KeyRebuildError, fileName);
        return Outcome::Failed;
    }
    return openedOrAlreadyOpen(table) ? Outcome::Opened : Outcome::Unresolved;
}

// Damage the steps above could not mend: one upgrade attempt for a damaged file, then the
// file access warning and the end of the program.
FileAccess::Outcome FileAccess::reportUnopenable(Table &table)
{
    const int code = errorCode();
    const bool damaged = code == err::InvalidDataFile || code == err::InvalidKeyLength ||
                         code == err::FileSystemError;
    const QString openError = warningErrorText();
    if (damaged && upgradeAndOpen(table))
        return Outcome::Opened;
    if (damaged && !isEssential(table.definition()))
        return setAsideOrGoOn(table, openError);
    const QString fileName = table.definition().fileName;
    standardWarning(warning::FileAccessError, fileName);
    // A damaged file stays marked so that the next start offers to repair it instead of
    // ending here again.
    setBadFile(damaged ? fileName : QString());
    halt(QStringLiteral("Disk Error"));
    return Outcome::Failed;
}

// A damaged file the program can do without must not end it at every start: the user is
// told which file it is and what was tried, and chooses between an empty file in its place
// (the damaged one kept aside) and going on without it.
FileAccess::Outcome FileAccess::setAsideOrGoOn(Table &table, const QString &error)
{
    const QString path = table.fileName();
    const QString aside = freeDamagedName(path);
    const Message question{
        QStringLiteral("Damaged File"),
        QStringLiteral("The file %1 (%2) is damaged and cannot be opened: %3.\n\nThe program "
                       "opened it again and tried to bring it up to date, without success. It "
                       "can go on without it.\n\nDo you want to keep the damaged file aside as "
                       "%4 and start again with an empty %2 file?\n\nNo goes on without it; "
                       "the file stays as it is, to be mended with Fix in the File Manager "
                       "(File, Preferences, Housekeeping).")
            .arg(QFileInfo(path).fileName(), table.definition().label, error,
                 QFileInfo(aside).fileName()),
        Yes | No, Yes, Icon::Exclamation};
    clearBadFile();
    if (ask(question) != Yes)
        return Outcome::Failed;
    const QString journal = path + QStringLiteral("-journal");
    if (!QFile::rename(path, aside) ||
        (QFileInfo::exists(journal) &&
         !QFile::rename(journal, aside + QStringLiteral("-journal")))) {
        ask(Message{QStringLiteral("Damaged File"),
                    QStringLiteral("The file %1 cannot be moved aside; the program goes on "
                                   "without it.")
                        .arg(QFileInfo(path).fileName()),
                    Ok, Ok, Icon::Information});
        return Outcome::Failed;
    }
    return createRoutine(table) ? Outcome::Opened : Outcome::Failed;
}

} // namespace sv
