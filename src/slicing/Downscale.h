#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

namespace CWS {

// The anti-aliased layer: the 1-bit drawing made at the enlarged raster,
// reduced to size as 8-bit grey. Every pixel is the one the painting
// library's smooth scaling gives for the drawing as 8-bit grey
// (QImage::scaled, aspect ratio ignored, smooth transformation, then
// Format_Grayscale8), but only the pixels over content are computed: the
// rest of the reduction of black is black.
//
// mono: Format_Mono, index 0 black, 1 white; content holds its white pixels.
// canvas, when it is an all black Format_Grayscale8 image of size, may be
// drawn on instead of a new image.
QImage downscale(const QImage &mono, const QRect &content, const QSize &size, QImage canvas = QImage());

// The part of a reduction of mono to size that can hold anything but black
// when content holds mono's white pixels; empty when there are none.
QRect reducedContent(const QRect &content, const QSize &monoSize, const QSize &size);

} // namespace CWS
