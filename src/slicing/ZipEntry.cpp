#include "slicing/ZipEntry.h"

#include <QDebug>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>
#include <zlib.h>

#include <algorithm>

namespace CWS {

ZipEntry ZipEntry::compress(const QString &name, const QByteArray &data)
{
    ZipEntry entry;
    entry.name = name;
    entry.size = data.size();
    entry.crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));

    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    entry.deflated.resize(int(deflateBound(&stream, uLong(data.size()))));
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(entry.deflated.data());
    stream.avail_out = uInt(entry.deflated.size());
    deflate(&stream, Z_FINISH);
    entry.deflated.resize(int(stream.total_out));
    deflateEnd(&stream);
    return entry;
}

bool ZipEntry::writeTo(QuaZip &zip) const
{
    // Without the UTF-8 flag other zip tools read a name as code page 437
    // and show its non-ASCII letters garbled; ASCII names are left as every
    // entry was written before, flag clear. The library encodes the name by
    // one setting and takes the flag from the archive's flags, per entry.
    const bool ascii = std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
    zip.setUtf8Enabled(!ascii);
    if (ascii)
        zipClearFlags(zip.getZipFile(), ZIP_ENCODING_UTF8);
    else
        zipSetFlags(zip.getZipFile(), ZIP_ENCODING_UTF8);
    QuaZipNewInfo info(name);
    info.uncompressedSize = ulong(size);
    QuaZipFile file(&zip);
    // Raw: the bytes go in as they are, already deflated.
    if (!file.open(QIODevice::WriteOnly, info, nullptr, crc, Z_DEFLATED, Z_DEFAULT_COMPRESSION, true)) {
        qDebug() << "open fail" << name;
        return false;
    }
    const bool written = file.write(deflated) == deflated.size();
    file.close();
    return written && file.getZipError() == ZIP_OK;
}

} // namespace CWS
