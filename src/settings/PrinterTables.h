#pragma once

#include <QString>

// Rows of the printer, display and resin tables built into KaloConfig.

// Printable area of an LCD and its pixel density.
struct LcdSpec
{
    float widthMm = 0;
    float heightMm = 0;
    float pixelsPerMmX = 0;
    float pixelsPerMmY = 0;
};

// Proposed settings for one resin at one layer thickness.
struct ResinPreset
{
    int resinIndex = 0;
    int thicknessUM = 0;
    int bottomLayers = 0;
    int bottomExposureMs = 0;
    int normalExposureMs = 0;
    int liftHeightUM = 0;
};
