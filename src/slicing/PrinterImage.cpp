#include "slicing/PrinterImage.h"

#include "settings/SliceBuildConfig.h"

#include <QTransform>

#include <algorithm>
#include <array>
#include <cstring>

namespace CWS {

namespace {

// Qt turns a 1-bit image into grey through 32-bit pixels: at 12K that is
// 236 MB and most of a layer's time. A 1-bit layer of the raster (index 0
// black, 1 white) spreads its bits a byte at a time instead, skipping the
// black rows that most of a layer is, and turning it upside down on the way
// when flipRows asks, so that a flip costs no pass of its own.
QImage greyOf(const QImage &image, bool flipRows)
{
    if (image.format() != QImage::Format_Mono || image.colorCount() != 2 || image.color(0) != qRgb(0, 0, 0)
        || image.color(1) != qRgb(255, 255, 255))
        return image.convertToFormat(QImage::Format_Grayscale8).mirrored(false, flipRows);
    static const auto spread = [] {
        std::array<std::array<uchar, 8>, 256> table{};
        for (int byte = 0; byte < 256; ++byte) {
            for (int bit = 0; bit < 8; ++bit)
                table[size_t(byte)][size_t(bit)] = (byte >> (7 - bit)) & 1 ? 255 : 0;
        }
        return table;
    }();
    QImage grey(image.size(), QImage::Format_Grayscale8);
    const int width = image.width();
    const int rowBytes = (width + 7) / 8;
    for (int y = 0; y < image.height(); ++y) {
        const uchar *bits = image.constScanLine(y);
        uchar *to = grey.scanLine(flipRows ? image.height() - 1 - y : y);
        if (std::all_of(bits, bits + rowBytes, [](uchar b) { return b == 0; })) {
            std::memset(to, 0, size_t(width));
            continue;
        }
        int x = 0;
        for (; x + 8 <= width; x += 8)
            std::memcpy(to + x, spread[bits[x / 8]].data(), 8);
        for (; x < width; ++x)
            to[x] = spread[bits[x / 8]][size_t(x % 8)];
    }
    return grey;
}

} // namespace

QImage printerImage(const QImage &layer, const SliceBuildConfig &config, bool grey)
{
    QImage image = layer;
    // The raster's rows already run down with y, which is the top view
    // mirrored in y.
    const bool flipRows = !config.portrait && !config.mirrorY;
    bool flipped = false;
    // Qt turns only whole-byte pixels a quarter without going through a
    // general transformation.
    if ((grey || config.portrait) && image.format() != QImage::Format_Grayscale8) {
        image = greyOf(image, flipRows);
        flipped = flipRows;
    }
    if (!config.portrait) {
        if (config.mirrorX || flipRows != flipped)
            image = image.mirrored(config.mirrorX, flipRows != flipped);
        return image;
    }
    // The unmirrored portrait image is the raster transposed (x down, y to
    // the right). A quarter clockwise takes column c, row r of the result
    // from column r, row height - 1 - c of the raster: a transposition
    // mirrored in y.
    image = image.transformed(QTransform().rotate(90));
    if (!config.mirrorY || config.mirrorX)
        image = image.mirrored(!config.mirrorY, config.mirrorX);
    return image;
}

} // namespace CWS
