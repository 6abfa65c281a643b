#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>

#include <vector>

struct SliceBuildConfig;

namespace CWS {

// A layer as the printer expects it, from the raster as drawn (columns grow
// with platform x, rows with platform y): turned and mirrored as config's
// portrait, mirrorX and mirrorY say (see PrinterProfile). The printer's
// image is never made whole: its rows are made one at a time as the PNG
// encoder reads them, and only where the layer has content, so a mostly
// black 12K layer costs little more than its outlines.
//
// Pixel (x, y) of the printer's image is layer pixel
// - landscape: (mirrorX ? W - 1 - x : x, mirrorY ? y : H - 1 - y), the
//   raster's rows running down with y being the top view mirrored in y;
// - portrait, the top view turned a quarter clockwise:
//   (mirrorX ? W - 1 - y : y, mirrorY ? H - 1 - x : x);
// W x H being the layer's size. The image is 8-bit grey when grey asks for
// it, when the layer is, or when it is turned; else 1-bit as the layer.
//
// Plain image work for one thread at a time (it keeps the rows it makes).
class PrinterImage
{
public:
    // layer: Format_Mono (index 0 black, 1 white) or Format_Grayscale8;
    // content holds every pixel of it that is not black (empty: none).
    // layer is read, not copied: it must outlive this object unchanged.
    PrinterImage(const QImage &layer, const QRect &content, const SliceBuildConfig &config, bool grey);

    QSize size() const { return m_size; }
    bool grey() const { return m_grey; }
    // Pixel (x, y) of the printer's image, 0 black ... 255 white.
    uchar pixel(int x, int y) const;
    // The image as a PNG file (encodePng).
    QByteArray png();
    // What the painting library's QImage::scaled(box, Qt::KeepAspectRatio,
    // Qt::FastTransformation) makes of the printer's image as 8-bit grey,
    // pixel for pixel, sampled from the layer: Format_Grayscale8, null when
    // the scaled size is empty.
    QImage thumbnail(const QSize &box) const;

private:
    struct Row
    {
        const uchar *bytes;
        int begin;
        int end;
    };
    Row landscapeRow(int y);
    Row portraitRow(int y);

    const QImage &m_layer;
    QRect m_content;
    bool m_layerGrey;
    bool m_mirrorX;
    bool m_mirrorY;
    bool m_portrait;
    bool m_grey;
    QSize m_size;
    // A landscape row, or a block of portrait rows from m_blockFirst on.
    std::vector<uchar> m_buffer;
    int m_blockFirst = -1;
};

} // namespace CWS
