#pragma once

#include <QByteArray>
#include <QDateTime>

struct SliceBuildConfig;

namespace CWS {

// The two text entries of an SL1 archive beside its layer PNGs, "key = value"
// lines sorted by key, each ending in "\n". Plain text work: any thread.

// config.ini, what the printer reads: action, expTime and expTimeFirst (s),
// expUserProfile, fileCreationTimestamp ("2026-12-10 at 06:15:38 UTC"),
// hollow, jobDir (baseName), layerHeight (mm), materialName, numFade (the
// bottom layers), numFast (layers), numSlow, printProfile, printTime (s),
// printerModel, printerProfile (the printer's name), printerVariant,
// prusaSlicerVersion (the writing program), usedMaterial (mL).
QByteArray sl1ConfigIni(const SliceBuildConfig &config, int layers, double printTimeS, double usedMaterialMl,
                        const QDateTime &created);

// prusaslicer.ini, the job's settings for tools that convert the archive:
// the display (display_width/height mm, display_pixels_x/y,
// display_mirror_x/y, display_orientation), bed_shape, max_print_height,
// layer_height, exposure_time, initial_exposure_time, faded_layers,
// printer_technology, printer_model and the names of the printer and material.
QByteArray sl1PrusaSlicerIni(const SliceBuildConfig &config, int buildHeightMm);

} // namespace CWS
