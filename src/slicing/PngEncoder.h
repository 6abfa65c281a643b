#pragma once

#include "slicing/RowDeflate.h"

#include <QByteArray>

class QImage;
class QSize;

namespace CWS {

// A layer image as a PNG file, in the form QImage::save(..., "PNG") gives
// it: a Format_Mono image (index 0 black, 1 white) as 1-bit with a
// two-entry palette, a Format_Grayscale8 image as 8-bit grey. Rows are
// stored unfiltered and deflated as runs of equal bytes (deflateRows), which
// changes the bytes but not the decoded pixels.
// Plain data work: any thread. Empty for any other format.
QByteArray encodePng(const QImage &image);
// The same PNG of an image of size pixels, 1-bit when mono else 8-bit grey,
// whose rows (whole bytes, as Format_Mono or Format_Grayscale8 hold them,
// the bits past the last pixel 0) come from row.
QByteArray encodePng(const QSize &size, bool mono, const RowSource &row);

} // namespace CWS
