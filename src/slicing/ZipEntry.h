#pragma once

#include <QByteArray>
#include <QString>

class QuaZip;

namespace CWS {

// One entry of the print archive, compressed before it is written, so that
// the lock that serialises the archive covers only copying its bytes.
struct ZipEntry
{
    QString name;
    QByteArray deflated; // raw deflate stream
    quint32 crc = 0;     // CRC-32 of the uncompressed data
    qint64 size = 0;     // uncompressed bytes

    // Compresses data as every entry of the archive is compressed: deflate
    // at the default level, window bits -15, memory level 8, default
    // strategy. Plain data work: any thread.
    static ZipEntry compress(const QString &name, const QByteArray &data);

    // Appends the entry, dated now, to zip (open with QuaZip::mdCreate),
    // its name in UTF-8 with the zip's UTF-8 flag (general purpose bit 11)
    // when the name is not ASCII;
    // false, after logging "open fail" and the name when the entry could not
    // be opened, when it was not written completely. One writer at a time
    // per archive.
    bool writeTo(QuaZip &zip) const;
};

} // namespace CWS
