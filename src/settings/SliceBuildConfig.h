#pragma once

#include <QSize>
#include <QString>

// The parameters one slicing run reads: layer height, exposures, the display
// raster, the lift movement and where the archive goes. KaloConfig fills it
// from the user's settings.
struct SliceBuildConfig
{
    float layerThickness = 0.05f; // mm
    int bottomLayers = 3;
    int bottomExposureMs = 30000;
    int normalExposureMs = 6000;
    double pixelsPerMmX = 21.164;
    double pixelsPerMmY = 21.164;
    int resolutionX = 1440; // image width, pixels
    int resolutionY = 2560; // image height, pixels
    int offsetX = 0;
    int offsetY = 0;
    float liftHeight = 4.0f;      // mm
    float liftUpSpeed = 100.0f;   // mm/min
    float liftDownSpeed = 100.0f; // mm/min
    float liftUpFirstStageHeight = 0;
    float liftUpFirstStageSpeed = 0;
    float liftDownLastStageHeight = 0;
    float liftDownLastStageSpeed = 0;
    float waitSecAfterStop = 2.0f; // s
    bool supersampled = false;
    double supersampleFactor = 1.0;
    QSize targetSize;
    QString outputPath;
    QString baseName;
};
