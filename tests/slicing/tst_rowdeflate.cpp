#include "slicing/PngEncoder.h"
#include "slicing/RowDeflate.h"

#include <QImage>
#include <QRandomGenerator>
#include <QtTest>

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// The bytes the zlib stream of a PNG holds: each row led by filter type 0.
QByteArray filteredRows(const QImage &image, int rowBytes)
{
    QByteArray rows;
    for (int y = 0; y < image.height(); ++y) {
        rows.append('\0');
        rows.append(reinterpret_cast<const char *>(image.constScanLine(y)), rowBytes);
    }
    return rows;
}

int rowBytesOf(const QImage &image)
{
    return image.format() == QImage::Format_Mono ? (image.width() + 7) / 8 : image.width();
}

QImage greyImage(int width, int height)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(0);
    return image;
}

// Runs of every length from 1 to 300 of every byte value in turn: every
// copy length and its extra bits, and every literal.
QImage everyRun()
{
    QImage image = greyImage(997, 90);
    int length = 1, value = 0, left = length;
    for (int y = 0; y < image.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            line[x] = uchar(value);
            if (--left == 0) {
                value = (value + 37) % 256;
                length = length % 300 + 1;
                left = length;
            }
        }
    }
    return image;
}

// Single bytes whose counts double from one byte value to the next: the
// plain Huffman code for them is 18 bits deep, deeper than deflate allows.
QImage skewedCounts()
{
    std::vector<std::pair<int, uchar>> left; // count, byte
    for (int value = 1; value <= 18; ++value)
        left.push_back({1 << (value - 1), uchar(value)});
    // The most frequent byte that differs from the one before comes next,
    // so that no two neighbours are equal and every byte is a literal.
    std::vector<uchar> bytes;
    for (;;) {
        std::sort(left.begin(), left.end(), std::greater<>());
        auto next = left.begin();
        if (!bytes.empty() && next != left.end() && next->second == bytes.back())
            ++next;
        if (next == left.end() || next->first == 0)
            break;
        bytes.push_back(next->second);
        --next->first;
    }
    QImage image = greyImage(500, int(bytes.size() + 499) / 500);
    for (size_t i = 0; i < bytes.size(); ++i)
        image.scanLine(int(i / 500))[i % 500] = bytes[i];
    return image;
}

QImage noise(QImage::Format format)
{
    QImage image(301, 77, format);
    if (format == QImage::Format_Mono)
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    QRandomGenerator random(11);
    for (int y = 0; y < image.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < rowBytesOf(image); ++x)
            line[x] = uchar(random.bounded(256));
    }
    return image;
}

} // namespace

class TstRowDeflate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void inflatesToTheRows_data();
    void inflatesToTheRows();
};

void TstRowDeflate::inflatesToTheRows_data()
{
    QTest::addColumn<QImage>("image");
    QTest::newRow("1 x 1 black") << greyImage(1, 1);
    QImage white = greyImage(1, 40);
    white.fill(255);
    QTest::newRow("one white column") << white;
    // 3.4 million equal bytes: the checksum of long runs wraps many times.
    QTest::newRow("black display, 8-bit") << greyImage(1375, 2455);
    QTest::newRow("every run length and byte") << everyRun();
    QTest::newRow("counts deeper than 15 bits") << skewedCounts();
    QTest::newRow("noise, 8-bit") << noise(QImage::Format_Grayscale8);
    QTest::newRow("noise, 1-bit") << noise(QImage::Format_Mono);
}

void TstRowDeflate::inflatesToTheRows()
{
    QFETCH(QImage, image);
    const int rowBytes = rowBytesOf(image);
    const QByteArray expected = filteredRows(image, rowBytes);

    const QByteArray stream = CWS::deflateRows(image, rowBytes);
    // zlib checks the stream's codes and its Adler-32 sum as it inflates.
    QByteArray inflated(expected.size() + 1, '\0');
    uLongf size = uLongf(inflated.size());
    const int result = uncompress(reinterpret_cast<Bytef *>(inflated.data()), &size,
                                  reinterpret_cast<const Bytef *>(stream.constData()), uLong(stream.size()));
    QCOMPARE(result, Z_OK);
    inflated.resize(int(size));
    QVERIFY2(inflated == expected, "the stream inflates to the rows");

    // And a PNG reader gives back the image.
    if (image.format() == QImage::Format_Mono)
        return;
    const QImage decoded = QImage::fromData(CWS::encodePng(image), "PNG");
    QVERIFY2(decoded.convertToFormat(QImage::Format_Grayscale8) == image, "the PNG decodes to the image");
}

QTEST_MAIN(TstRowDeflate)
#include "tst_rowdeflate.moc"
