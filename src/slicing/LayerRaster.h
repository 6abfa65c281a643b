#pragma once

#include "geometry/SliceSegment.h"

#include <QImage>
#include <QLine>
#include <QRect>

#include <vector>

struct SliceBuildConfig;

namespace CWS {

// The 1-bit drawing of one layer: models' outlines and the areas they
// enclose, in white on black.
//
// Raster: config's resolutionX x resolutionY pixels at pixelsPerMmX/Y.
// Platform x = y = 0 lies on pixel (resolutionX / 2 + offsetX,
// resolutionY / 2 + offsetY); columns grow with platform x and rows with
// platform y. A coordinate becomes a pixel by truncation toward zero (in
// double precision), so the centre column and row cover twice the width of
// the others. Whatever falls outside the raster is dropped.
class LayerRaster
{
public:
    // A black raster of config's size and scale. canvas, when it has that
    // size and format (Format_Mono, index 0 black, 1 white) and is all
    // black, is drawn on instead of a new image.
    explicit LayerRaster(const SliceBuildConfig &config, QImage canvas = QImage());

    // Draws one model's cut in white, uniting it with what is drawn: every
    // segment as a 1-pixel line (the painting library's aliased line), then
    // each row from the lowest segment row up to, but not including, the
    // highest filled where the outlines wind around it (non-zero rule): from
    // a crossing where the winding leaves zero to the one where it returns,
    // both end pixels included. So overlapping shells of one mesh print as
    // their union, a shell inside another with its triangles facing inwards
    // as a hollow, and a single closed shell as the even-odd rule fills it.
    // A segment crosses a row between its end rows, at the truncated
    // interpolated column, counting +1 or -1 by which way its outline runs
    // (SliceSegment::winding); an end on the row counts only as the
    // segment's lower end, and a segment lying on the row counts both ends,
    // +1 where its outline enters and -1 where it leaves. A row with an odd
    // number of crossings (an open or self-intersecting mesh) is logged
    // ("Row y=...") and keeps its outline only; a row whose windings do not
    // sum to zero, and every row when a segment's winding is not known, is
    // filled between the 1st and 2nd, 3rd and 4th, ... crossing (even-odd
    // rule). Rows outside the raster are neither filled nor logged.
    void drawSegments(const std::vector<SliceSegment> &segments) { paint<true>(segments); }
    // Clears in black what drawSegments would draw in white for segments
    // (outline pixels included): a drain hole's section taken out of the
    // model drawn just before it.
    void clearSegments(const std::vector<SliceSegment> &segments) { paint<false>(segments); }

    // Format_Mono, index 0 black, 1 white.
    const QImage &image() const { return m_image; }
    // Holds every white pixel; empty while nothing is drawn.
    QRect content() const { return m_content; }
    // The same drawing as 8-bit grey: 0 black, 255 white.
    QImage toGrey() const;

private:
    // drawSegments in white, clearSegments in black; the colour is fixed at
    // compile time, so that drawing pays nothing for clearing.
    template<bool White>
    void paint(const std::vector<SliceSegment> &segments);
    // Draws a 1-pixel line with both ends on the raster (image pixels) as
    // the painting library's aliased, square-capped line does.
    template<bool White>
    void drawOutline(const QLine &line);
    // Fills pixels from x1 to x2 (both included, image columns) of image row y.
    template<bool White>
    void fillSpan(int y, int x1, int x2);

    QImage m_image;
    QRect m_content;
    int m_centreX;
    int m_centreY;
    double m_scaleX;
    double m_scaleY;
};

} // namespace CWS
