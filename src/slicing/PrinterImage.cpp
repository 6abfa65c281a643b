#include "slicing/PrinterImage.h"

#include "settings/SliceBuildConfig.h"

#include <QTransform>

#include <algorithm>
#include <array>
#include <cstring>

namespace CWS {

namespace {

// An image of this thread's, reused from its last call once nobody holds it
// any more. A fresh 12K image a layer costs the kernel 59 MB of zeroed pages
// each time: several times what turning the layer itself takes.
QImage &scratch(const QSize &size, QImage::Format format)
{
    thread_local QImage image;
    if (image.size() != size || image.format() != format || !image.isDetached())
        image = QImage(size, format);
    return image;
}

// Copies row y of the 8-bit layer, or of the 1-bit layer (index 0 black,
// 1 white) with its bits spread a byte at a time, to to; reversed when
// mirror asks.
void copyRow(const QImage &layer, int y, uchar *to, bool mirror)
{
    const int width = layer.width();
    const uchar *from = layer.constScanLine(y);
    if (layer.format() == QImage::Format_Grayscale8) {
        if (mirror)
            std::reverse_copy(from, from + width, to);
        else
            std::memcpy(to, from, size_t(width));
        return;
    }
    static const auto spread = [] {
        std::array<std::array<uchar, 8>, 256> table{};
        for (int byte = 0; byte < 256; ++byte) {
            for (int bit = 0; bit < 8; ++bit)
                table[size_t(byte)][size_t(bit)] = (byte >> (7 - bit)) & 1 ? 255 : 0;
        }
        return table;
    }();
    const int rowBytes = (width + 7) / 8;
    // Most rows of a layer are black.
    if (std::all_of(from, from + rowBytes, [](uchar b) { return b == 0; })) {
        std::memset(to, 0, size_t(width));
        return;
    }
    int x = 0;
    for (; x + 8 <= width; x += 8)
        std::memcpy(to + x, spread[from[x / 8]].data(), 8);
    for (; x < width; ++x)
        to[x] = spread[from[x / 8]][size_t(x % 8)];
    if (mirror)
        std::reverse(to, to + width);
}

bool rasterLayer(const QImage &image)
{
    return image.format() == QImage::Format_Grayscale8
           || (image.format() == QImage::Format_Mono && image.colorCount() == 2 && image.color(0) == qRgb(0, 0, 0)
               && image.color(1) == qRgb(255, 255, 255));
}

} // namespace

QImage printerImage(const QImage &layer, const SliceBuildConfig &config, bool grey)
{
    // The raster's rows already run down with y, which is the top view
    // mirrored in y.
    const bool flipRows = !config.portrait && !config.mirrorY;
    const bool asDrawn = !flipRows && !config.mirrorX && !config.portrait;
    if (asDrawn && (!grey || layer.format() == QImage::Format_Grayscale8))
        return layer;
    if (!config.portrait && (grey || layer.format() == QImage::Format_Grayscale8) && rasterLayer(layer)) {
        QImage &image = scratch(layer.size(), QImage::Format_Grayscale8);
        const int height = layer.height();
        for (int y = 0; y < height; ++y)
            copyRow(layer, y, image.scanLine(flipRows ? height - 1 - y : y), config.mirrorX);
        return image;
    }
    QImage image = layer;
    // Qt turns only whole-byte pixels a quarter without going through a
    // general transformation.
    if ((grey || config.portrait) && image.format() != QImage::Format_Grayscale8)
        image = image.convertToFormat(QImage::Format_Grayscale8);
    if (!config.portrait)
        return image.mirrored(config.mirrorX, flipRows);
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
