#include "slicing/PngEncoder.h"

#include "slicing/RowDeflate.h"

#include <QImage>
#include <QSize>
#include <QtEndian>

#include <zlib.h>

#include <cstring>

namespace CWS {

namespace {

void appendChunk(QByteArray &png, const char type[4], const QByteArray &data)
{
    const quint32 length = qToBigEndian(quint32(data.size()));
    png.append(reinterpret_cast<const char *>(&length), 4);
    const int start = png.size();
    png.append(type, 4);
    png.append(data);
    const quint32 crc = qToBigEndian(quint32(
        crc32(0, reinterpret_cast<const Bytef *>(png.constData() + start), uInt(png.size() - start))));
    png.append(reinterpret_cast<const char *>(&crc), 4);
}

} // namespace

QByteArray encodePng(const QImage &image)
{
    const bool mono = image.format() == QImage::Format_Mono;
    if (!mono && image.format() != QImage::Format_Grayscale8)
        return QByteArray();
    const int rowBytes = mono ? (image.width() + 7) / 8 : image.width();
    return encodePng(image.size(), mono, [&image, rowBytes](int y) {
        return RowBytes{image.constScanLine(y), 0, rowBytes};
    });
}

QByteArray encodePng(const QSize &imageSize, bool mono, const RowSource &row)
{
    const int rowBytes = mono ? (imageSize.width() + 7) / 8 : imageSize.width();
    QByteArray header(13, '\0');
    const quint32 size[2] = {qToBigEndian(quint32(imageSize.width())), qToBigEndian(quint32(imageSize.height()))};
    std::memcpy(header.data(), size, 8);
    header[8] = char(mono ? 1 : 8); // bit depth
    header[9] = char(mono ? 3 : 0); // colour type: palette or grey
    // compression, filter method and interlacing: 0

    const QByteArray compressed = deflateRows(imageSize.height(), rowBytes, row);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png.reserve(compressed.size() + 64);
    appendChunk(png, "IHDR", header);
    if (mono)
        appendChunk(png, "PLTE", QByteArray("\0\0\0\xff\xff\xff", 6));
    appendChunk(png, "IDAT", compressed);
    appendChunk(png, "IEND", QByteArray());
    return png;
}

} // namespace CWS
