#include "slicing/PrintTime.h"

#include "settings/SliceBuildConfig.h"
#include "slicing/Gcode.h"

#include <algorithm>

namespace CWS {

qint64 printTimeMs(int totalLayers, const SliceBuildConfig &config, int buildHeightMm)
{
    qint64 totalMs = 0;
    for (int i = 0; i < totalLayers; ++i)
        totalMs += layerExposureMs(config, i);
    totalMs += qint64(std::max(totalLayers, 0)) * liftDelayMs(config);
    // The raise line carries no speed of its own; the lift speed is the
    // closest to what the printer moves at.
    totalMs += qRound64(moveSeconds(closingRaiseMm(totalLayers, config, buildHeightMm), config.liftUpSpeed) * 1000);
    return totalMs;
}

QString durationText(qint64 ms)
{
    const qint64 seconds = (ms + 500) / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    const qint64 minutes = (seconds + 30) / 60;
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace CWS
