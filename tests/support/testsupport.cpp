#include "testsupport.h"

#include "platform/paths.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>
#include <sys/mount.h>

namespace sv::test {

Workspace::Workspace()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("config"));
    Paths::setWorkingFolder(m_dir.path());
    Paths::setConfigFolder(m_dir.filePath(QStringLiteral("config")));
}

QString Workspace::file(const QString &name) const
{
    return m_dir.filePath(name);
}

SmallDisk::SmallDisk(const QString &path, int kilobytes) : m_path(path)
{
    QDir().mkpath(path);
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
    m_mounted = ::mount("tmpfs", path.toUtf8().constData(), "tmpfs", 0, options.constData()) == 0;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(m_path.toUtf8().constData(), MNT_DETACH);
}

bool SmallDisk::makeReadOnly()
{
    return ::mount("tmpfs", m_path.toUtf8().constData(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                   nullptr) == 0;
}

QString helperProgram(const QString &name)
{
    return QDir(qEnvironmentVariable("SONGVANE_HELPERS")).filePath(name);
}

ScriptedPrompter::ScriptedPrompter()
{
    setPrompter(this);
    setHaltHandler([this](const QString &text) { halts.append(text); });
}

ScriptedPrompter::~ScriptedPrompter()
{
    setPrompter(nullptr);
    setHaltHandler([](const QString &text) { qFatal("halt: %s", qPrintable(text)); });
}

Button ScriptedPrompter::ask(const Message &message)
{
    shown.append(message);
    return m_answers.isEmpty() ? message.defaultButton : m_answers.takeFirst();
}

QStringList ScriptedPrompter::captions() const
{
    QStringList list;
    for (const Message &message : shown)
        list.append(message.caption);
    return list;
}

quint32 damageLeafInTheMiddle(const QString &path, const char *tree)
{
    constexpr int PageSize = 4096;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *query = nullptr;
    sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = ?", -1, &query,
                       nullptr);
    sqlite3_bind_text(query, 1, tree, -1, SQLITE_STATIC);
    const qint64 root = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : 0;
    sqlite3_finalize(query);
    sqlite3_close(db);
    QFile file(path);
    if (root < 1 || !file.open(QIODevice::ReadWrite))
        return 0;
    const auto number = [](const QByteArray &bytes, qint64 offset, int width) {
        qint64 value = 0;
        for (int i = 0; i < width && offset + i < bytes.size(); ++i)
            value = value << 8 | quint8(bytes.at(offset + i));
        return value;
    };
    qint64 page = root;
    for (int depth = 0; depth < 20; ++depth) {
        if (!file.seek((page - 1) * PageSize))
            return 0;
        const QByteArray bytes = file.read(PageSize);
        const qint64 start = page == 1 ? 100 : 0;
        const int type = int(number(bytes, start, 1));
        if (type != 0x02 && type != 0x05) // a leaf (or no page of a tree at all)
            break;
        const qint64 cell = number(bytes, start + 12 + 2 * (number(bytes, start + 3, 2) / 2), 2);
        page = number(bytes, cell, 4);
    }
    file.seek((page - 1) * PageSize);
    file.write(QByteArray(PageSize, char(0x5A)));
    file.seek(24);
    const quint32 counter = quint32(number(file.read(4), 0, 4)) + 1;
    file.seek(24);
    const char bigEndian[] = {char(counter >> 24), char(counter >> 16), char(counter >> 8),
                              char(counter)};
    file.write(bigEndian, 4);
    return quint32(page);
}

} // namespace sv::test
