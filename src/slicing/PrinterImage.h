#pragma once

#include <QImage>

struct SliceBuildConfig;

namespace CWS {

// A layer as the printer expects it, from the raster as drawn (columns grow
// with platform x, rows with platform y): turned and mirrored as config's
// portrait, mirrorX and mirrorY say (see PrinterProfile). grey asks for
// 8-bit grey whatever layer is; a 1-bit layer that must be turned becomes
// grey too. The raster as drawn (mirrorY, landscape) comes back shared, not
// copied. Plain image work: any thread.
QImage printerImage(const QImage &layer, const SliceBuildConfig &config, bool grey);

} // namespace CWS
