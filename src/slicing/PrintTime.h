#pragma once

#include <QString>
#include <QtGlobal>

struct SliceBuildConfig;

namespace CWS {

// How long the printer runs the G-code of buildGcode with the same
// arguments, ms: every ";<Delay> " of the text (each layer's exposure and its
// lift delay) plus the closing raise at liftUpSpeed. The homing at the start
// is not counted. totalLayers may be 0.
qint64 printTimeMs(int totalLayers, const SliceBuildConfig &config, int buildHeightMm);

// A duration for people, rounded to whole seconds: "45 s" below a minute,
// "12 min 05 s" below an hour, then to whole minutes: "3 h 07 min".
QString durationText(qint64 ms);

} // namespace CWS
