#pragma once

#include <QList>
#include <QRectF>
#include <QString>

class Model;
struct SliceBuildConfig;

// The layer images cover the printer's display and nothing more: whatever
// lies beyond its edges is cut off without a trace in the archive.
namespace PrintableArea {

// The part of the platform (mm, plate centre at 0, 0) the layer images of
// config cover: its display's pixels around the raster centre.
QRectF of(const SliceBuildConfig &config);

// Empty when every model, support column and base plate lies within the
// printable area (0.01 mm allowed beyond it); otherwise a sentence naming
// the models (a support's or plate's owner), each once, in list order, and
// the area's size, which the window shows before it slices and the
// command-line tool prints as a warning.
QString warning(const QList<Model *> &models, const SliceBuildConfig &config);

} // namespace PrintableArea
