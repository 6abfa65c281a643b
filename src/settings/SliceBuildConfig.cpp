#include "settings/SliceBuildConfig.h"

#include <QUrl>

// appendLiftSequence lives with the rest of the G-code text in slicing/Gcode.cpp.

void SliceBuildConfig::setDefaults()
{
    SliceBuildConfig defaults;
    defaults.liftHeight = liftHeight;
    defaults.liftUpSpeed = liftUpSpeed;
    defaults.liftDownSpeed = liftDownSpeed;
    defaults.liftUpFirstStageHeight = liftUpFirstStageHeight;
    defaults.liftUpFirstStageSpeed = liftUpFirstStageSpeed;
    defaults.liftDownLastStageHeight = liftDownLastStageHeight;
    defaults.liftDownLastStageSpeed = liftDownLastStageSpeed;
    defaults.waitSecAfterStop = waitSecAfterStop;
    *this = defaults;
}

void SliceBuildConfig::setOutputFile(const QString &path)
{
    outputPath = path;
    const QString fileName = QUrl::fromLocalFile(path).fileName(QUrl::FullyDecoded);
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    baseName = dot < 0 ? fileName : fileName.left(dot);
}

void SliceBuildConfig::beginSupersampling(bool on, float factor)
{
    if (!on) {
        supersampled = false;
        supersampleFactor = 1.0;
        return;
    }
    savedPixelsPerMmX = pixelsPerMmX;
    savedPixelsPerMmY = pixelsPerMmY;
    savedResolutionX = resolutionX;
    savedResolutionY = resolutionY;
    targetSize = QSize(resolutionX, resolutionY);
    supersampled = true;
    supersampleFactor = factor;
    pixelsPerMmX *= double(factor);
    pixelsPerMmY *= double(factor);
    resolutionX = int(float(resolutionX) * factor);
    resolutionY = int(float(resolutionY) * factor);
}

void SliceBuildConfig::endSupersampling()
{
    if (!supersampled)
        return;
    pixelsPerMmX = savedPixelsPerMmX;
    pixelsPerMmY = savedPixelsPerMmY;
    resolutionX = savedResolutionX;
    resolutionY = savedResolutionY;
    supersampleFactor = 1.0;
    supersampled = false;
}
