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
QImage downscale(const QImage &mono, const QRect &content, const QSize &size);

} // namespace CWS
