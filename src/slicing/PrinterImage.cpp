#include "slicing/PrinterImage.h"

#include "settings/SliceBuildConfig.h"

#include <QTransform>

namespace CWS {

QImage printerImage(const QImage &layer, const SliceBuildConfig &config, bool grey)
{
    QImage image = layer;
    // Qt turns only whole-byte pixels a quarter without going through a
    // general transformation.
    if ((grey || config.portrait) && image.format() != QImage::Format_Grayscale8)
        image = image.convertToFormat(QImage::Format_Grayscale8);
    // The raster's rows already run down with y, which is the top view
    // mirrored in y.
    if (!config.portrait) {
        if (config.mirrorX || !config.mirrorY)
            image = image.mirrored(config.mirrorX, !config.mirrorY);
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
