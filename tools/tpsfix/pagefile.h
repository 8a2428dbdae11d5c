#pragma once

#include <QByteArray>
#include <QFile>

#include <optional>

namespace sv::tpsfix {

inline constexpr int FileHeaderSize = 100;

// True when the bytes start with the 16-byte signature every SQLite file begins with.
bool hasSqliteSignature(const QByteArray &bytes);

// A big-endian unsigned number of `width` bytes (1..4); 0 when it would leave the buffer.
quint32 bigEndian(const QByteArray &bytes, qsizetype offset, int width);

struct Varint
{
    quint64 value;
    int length;
};
// The variable-length integer at `offset`, which must end before `end`; nullopt otherwise.
std::optional<Varint> readVarint(const QByteArray &bytes, qsizetype offset, qsizetype end);

// Reads a file page by page. Nothing is trusted from inside the file: the page count comes
// from the file's length, and a page that is missing or cut short reads as empty.
class PageFile
{
public:
    bool open(const QString &path);
    qint64 size() const { return m_size; }
    QByteArray header(); // the first 100 bytes, fewer when the file is shorter

    void setPageSize(quint32 pageSize);
    quint32 pageSize() const { return m_pageSize; }
    quint32 pageCount() const { return m_pageCount; }
    bool contains(quint32 number) const { return number >= 1 && number <= m_pageCount; }
    QByteArray page(quint32 number);

private:
    QFile m_file;
    qint64 m_size = 0;
    quint32 m_pageSize = 0;
    quint32 m_pageCount = 0;
};

} // namespace sv::tpsfix
