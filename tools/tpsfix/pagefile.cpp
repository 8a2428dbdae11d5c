#include "pagefile.h"

namespace sv::tpsfix {

bool hasSqliteSignature(const QByteArray &bytes)
{
    static const QByteArray signature("SQLite format 3", 16); // with its terminating zero
    return bytes.startsWith(signature);
}

quint32 bigEndian(const QByteArray &bytes, qsizetype offset, int width)
{
    if (offset < 0 || width < 1 || width > 4 || offset + width > bytes.size())
        return 0;
    quint32 value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | quint8(bytes.at(offset + i));
    return value;
}

std::optional<Varint> readVarint(const QByteArray &bytes, qsizetype offset, qsizetype end)
{
    end = qMin(end, bytes.size());
    if (offset < 0)
        return std::nullopt;
    quint64 value = 0;
    for (int i = 0; i < 9; ++i) {
        if (offset + i >= end)
            return std::nullopt;
        const quint8 byte = quint8(bytes.at(offset + i));
        if (i == 8)
            return Varint{value << 8 | byte, 9};
        value = value << 7 | (byte & 0x7F);
        if ((byte & 0x80) == 0)
            return Varint{value, i + 1};
    }
    return std::nullopt;
}

bool PageFile::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    m_size = m_file.size();
    return true;
}

QByteArray PageFile::header()
{
    if (!m_file.seek(0))
        return QByteArray();
    return m_file.read(FileHeaderSize);
}

void PageFile::setPageSize(quint32 pageSize)
{
    m_pageSize = pageSize;
    const qint64 pages = pageSize == 0 ? 0 : (m_size + pageSize - 1) / pageSize;
    m_pageCount = quint32(qMin<qint64>(pages, 0xFFFFFFFE));
}

QByteArray PageFile::page(quint32 number)
{
    if (!contains(number) || !m_file.seek(qint64(number - 1) * m_pageSize))
        return QByteArray();
    QByteArray bytes = m_file.read(m_pageSize);
    if (bytes.size() != qsizetype(m_pageSize))
        return QByteArray();
    return bytes;
}

} // namespace sv::tpsfix
