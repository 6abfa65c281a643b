#pragma once

#include "settings/PrinterProfile.h"

#include <QSize>
#include <QString>
#include <QStringList>

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
    // Optional slow first part of the lift and slow last part of the lowering
    // (mm, mm/min); 0 turns a stage off.
    float liftUpFirstStageHeight = 0;
    float liftUpFirstStageSpeed = 0;
    float liftDownLastStageHeight = 0;
    float liftDownLastStageSpeed = 0;
    float waitSecAfterStop = 2.0f; // s
    bool supersampled = false;
    double supersampleFactor = 1.0;
    QSize targetSize; // native image size while supersampled
    // How the printer expects the layer images and which archive it reads
    // (see PrinterProfile); the defaults write the raster as it is drawn.
    bool mirrorX = false;
    bool mirrorY = true;
    bool portrait = false;
    ArchiveFormat format = ArchiveFormat::Cws;
    QString printerName;
    QString materialName;
    QString outputPath; // local path of the archive
    QString baseName;   // archive file name up to its last "."
    // Native raster kept while supersampled.
    double savedPixelsPerMmX = 21.164;
    double savedPixelsPerMmY = 21.164;
    int savedResolutionX = 1440;
    int savedResolutionY = 2560;

    // Returns every field except the lift movement (liftHeight to
    // waitSecAfterStop) to its initial value above.
    void setDefaults();

    // Sets outputPath, and baseName to the file name of path up to its last
    // "." (the whole file name when it has none): "/a/part.final.cws" gives
    // "part.final".
    void setOutputFile(const QString &path);

    // With on, enlarges the raster by factor (pixels per mm and resolution,
    // the resolution truncated) and keeps the native values to restore;
    // without, only marks the run as not supersampled.
    void beginSupersampling(bool on, float factor);
    // Restores the native raster if beginSupersampling enlarged it.
    void endSupersampling();

    // Appends the G-code lines of one layer's lift: the raise by liftHeight,
    // the lowering by liftHeight - layerThickness (net travel one layer up),
    // each in one or two stages, then the ";<Delay> " line with the time (ms)
    // the moves take plus waitSecAfterStop. Every line ends in "\n". A lift
    // speed of 0 or less adds no time for its move.
    void appendLiftSequence(QStringList &lines) const;
};
