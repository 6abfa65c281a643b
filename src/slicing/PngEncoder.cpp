#include "slicing/PngEncoder.h"

#include <QImage>
#include <QtEndian>

#include <zlib.h>

#include <cstring>

namespace CWS {

namespace {

constexpr quint32 adlerBase = 65521;

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

bool isBlack(const uchar *line, int bytes)
{
    quint64 any = 0;
    int i = 0;
    for (; i + 8 <= bytes; i += 8) {
        quint64 word;
        std::memcpy(&word, line + i, 8);
        any |= word;
    }
    for (; i < bytes; ++i)
        any |= line[i];
    return any == 0;
}

// Deflate's bit order: fields from the lowest bit up, Huffman codes from
// their first bit.
class BitWriter
{
public:
    explicit BitWriter(QByteArray &out) : m_out(out) {}

    void bits(quint32 value, int count)
    {
        m_buffer |= quint64(value) << m_count;
        m_count += count;
        while (m_count >= 8) {
            m_out.append(char(m_buffer & 0xff));
            m_buffer >>= 8;
            m_count -= 8;
        }
    }
    void code(quint32 code, int length)
    {
        quint32 reversed = 0;
        for (int i = 0; i < length; ++i)
            reversed |= ((code >> i) & 1) << (length - 1 - i);
        bits(reversed, length);
    }
    void alignToByte()
    {
        if (m_count > 0)
            bits(0, 8 - m_count);
    }

private:
    QByteArray &m_out;
    quint64 m_buffer = 0;
    int m_count = 0;
};

// A deflate block of count zero bytes. Its own code knows three symbols:
// the literal 0 (code 10), a copy of 258 bytes (0) from distance 1 (0), and
// the end of the block (11); so a run costs 2 bits per 258 bytes instead of
// a pass of the compressor over every byte.
void writeZeroBlock(BitWriter &out, qint64 count, bool last)
{
    out.bits(last ? 1 : 0, 1);
    out.bits(2, 2); // dynamic codes
    out.bits(286 - 257, 5); // literal/length codes up to 285
    out.bits(2 - 1, 5); // distance codes 0 and 1, one bit each: a complete code
    out.bits(18 - 4, 4); // code length code lengths up to that of length 1
    // Code lengths of the code length symbols, in the format's order 16, 17,
    // 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1: "repeat zero
    // 11-138 times" gets 1 bit (code 0), lengths 1 and 2 get 2 bits (10, 11).
    const int order[18] = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2};
    for (int length : order)
        out.bits(quint32(length), 3);
    const auto zeros = [&out](int n) {
        out.code(0, 1);
        out.bits(quint32(n - 11), 7);
    };
    // Lengths: literal 0 -> 2, 1 ... 255 -> none, end of block -> 2,
    // lengths 257 ... 284 -> none, 285 (258 bytes) -> 1; distances 0, 1 -> 1.
    out.code(3, 2);
    zeros(138);
    zeros(117);
    out.code(3, 2);
    zeros(28);
    out.code(2, 2);
    out.code(2, 2);
    out.code(2, 2);

    out.code(2, 2); // literal 0
    for (--count; count >= 258; count -= 258)
        out.bits(0, 2); // 258 bytes (0) from distance 1 (0)
    for (; count > 0; --count)
        out.code(2, 2);
    out.code(3, 2); // end of block
}

// The zlib stream of the image's rows, each led by filter type 0 (none).
// Black rows above and below the drawing, usually most of a layer, are
// written as runs of zeros; the rows between go through zlib.
QByteArray compressRows(const QImage &image, int rowBytes)
{
    const int height = image.height();
    int top = 0;
    while (top < height && isBlack(image.constScanLine(top), rowBytes))
        ++top;
    int bottom = height;
    while (bottom > top && isBlack(image.constScanLine(bottom - 1), rowBytes))
        --bottom;
    const qint64 stride = rowBytes + 1;

    QByteArray out("\x78\x01", 2);
    BitWriter writer(out);
    quint32 adlerA = 1, adlerB = 0;
    const auto addZeros = [&](qint64 count) { adlerB = quint32((adlerB + count % adlerBase * adlerA) % adlerBase); };

    if (top > 0) {
        writeZeroBlock(writer, top * stride, top == height);
        addZeros(top * stride);
    }
    if (bottom > top) {
        // Stored blocks start on a byte: an empty one hands over to zlib.
        writer.bits(0, 3);
        writer.alignToByte();
        out.append("\x00\x00\xff\xff", 4);

        QByteArray raw(int((bottom - top) * stride), Qt::Uninitialized);
        for (int y = top; y < bottom; ++y) {
            char *row = raw.data() + (y - top) * stride;
            row[0] = 0;
            std::memcpy(row + 1, image.constScanLine(y), size_t(rowBytes));
        }
        const uLong adler = adler32(adlerA | (adlerB << 16), reinterpret_cast<const Bytef *>(raw.constData()),
                                    uInt(raw.size()));
        adlerA = quint32(adler & 0xffff);
        adlerB = quint32(adler >> 16);

        z_stream stream{};
        deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_RLE);
        const int start = out.size();
        out.resize(start + int(deflateBound(&stream, uLong(raw.size()))) + 64);
        stream.next_in = reinterpret_cast<Bytef *>(raw.data());
        stream.avail_in = uInt(raw.size());
        stream.next_out = reinterpret_cast<Bytef *>(out.data() + start);
        stream.avail_out = uInt(out.size() - start);
        // A sync flush ends zlib's part on a byte, its last block not final.
        deflate(&stream, Z_SYNC_FLUSH);
        out.resize(start + int(stream.total_out));
        deflateEnd(&stream);

        const int below = height - bottom;
        if (below > 0) {
            writeZeroBlock(writer, below * stride, true);
            addZeros(below * stride);
        } else {
            writer.bits(1, 1); // last block: fixed codes, only the end of block
            writer.bits(1, 2);
            writer.bits(0, 7);
        }
    }
    writer.alignToByte();
    const quint32 adler = qToBigEndian((adlerB << 16) | adlerA);
    out.append(reinterpret_cast<const char *>(&adler), 4);
    return out;
}

} // namespace

QByteArray encodePng(const QImage &image)
{
    const bool mono = image.format() == QImage::Format_Mono;
    if (!mono && image.format() != QImage::Format_Grayscale8)
        return QByteArray();
    const int rowBytes = mono ? (image.width() + 7) / 8 : image.width();

    QByteArray header(13, '\0');
    const quint32 size[2] = {qToBigEndian(quint32(image.width())), qToBigEndian(quint32(image.height()))};
    std::memcpy(header.data(), size, 8);
    header[8] = char(mono ? 1 : 8); // bit depth
    header[9] = char(mono ? 3 : 0); // colour type: palette or grey
    // compression, filter method and interlacing: 0

    const QByteArray compressed = compressRows(image, rowBytes);
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
