#pragma once

#include "settings/DeviceDescriptor.h"
#include "settings/PrinterTables.h"

#include <QJsonObject>
#include <QString>

#include <vector>

// The archive a printer reads.
enum class ArchiveFormat {
    Cws, // zip of layer PNGs and the G-code
    Sl1  // zip of layer PNGs, config.ini and prusaslicer.ini
};

// One printer: its display, build height, how it expects the layer images
// and which archive it reads.
//
// The display: resolutionX x resolutionY pixels on sizeXMm x sizeYMm, X along
// the platform's x axis; the pixel pitch per axis follows and need not be
// square. The layer image as written is, without mirroring, the layer seen
// from above (platform x to the right, y up); mirrorX / mirrorY flip the
// platform's x / y axis; portrait turns that image a quarter clockwise, so
// that the written PNG is resolutionY pixels wide (platform x then runs down,
// y to the right).
struct PrinterProfile
{
    QString name;
    int resolutionX = 2560; // pixels, 1 to 32768
    int resolutionY = 1620;
    double sizeXMm = 128; // mm, 1 to 1000
    double sizeYMm = 81;
    int buildHeightMm = 150; // 1 to 1000
    bool mirrorX = false;
    bool mirrorY = false;
    bool portrait = false;
    ArchiveFormat format = ArchiveFormat::Cws;
    // Group of the built-in resin preset table the printer proposes
    // settings from (0 to presetGroupCount - 1).
    int presetGroup = 1;
    // The printer's own proposals, at most one row per resin (0 to
    // resinCount - 1), each at 10 to 100 µm, 0 to 10 bottom layers and
    // exposures of 1000 to 180000 ms; a resin without a row here is
    // proposed from presetGroup.
    std::vector<ResinPreset> resins;
    // Built-in printers only, not stored: the display row of the built-in
    // table they slice with, so that their images stay those they always were.
    bool builtIn = false;
    LcdSpec builtInLcd;

    static constexpr int maxResolution = 32768;
    static constexpr int maxSizeMm = 1000;
    static constexpr int presetGroupCount = 3;
    static constexpr int resinCount = 4;

    // The display geometry slicing, layout and supports read.
    LcdSpec lcd() const;
    // The build volume the 3D view draws: the display and the build height;
    // the built-in printers keep the volume the view always drew.
    DeviceDescriptor device() const;

    // Empty when every field is in range, else a sentence naming the first
    // field at fault and its range ("resolution Y must be 1 to 32768 pixels").
    QString validate() const;

    // The profile as readable JSON keys: name, resolutionX/Y, sizeXMm/YMm,
    // buildHeightMm, mirrorX/Y, orientation ("portrait" or "landscape"),
    // format ("cws" or "sl1"), resinPresetGroup, and when there are any the
    // printer's own resin rows, "resins": [{resin, thicknessUm, bottomLayers,
    // bottomExposureMs, exposureMs}, ...].
    QJsonObject toJson() const;
    // The profile of obj; false with *error naming the key at fault when a
    // key is missing, of the wrong type or out of range.
    static bool fromJson(const QJsonObject &obj, PrinterProfile &profile, QString *error);

    // The printers that are always there: K20, K20A, K20C, K20D, K20DO and
    // K30 on the built-in display (1375 x 2455 pixels at 21.164 px/mm), then
    // SL1S (2560 x 1620 on 128 x 81 mm, mirrored in X, portrait, SL1).
    static std::vector<PrinterProfile> builtIns();

    // A file of profiles: {"printers": [profile, ...]}, or one profile object
    // (an exported one). An empty list for a file that does not exist. False,
    // with *error naming the file and the field at fault, when it cannot be
    // read, is not such JSON, or a profile is not valid; nothing is taken
    // from such a file.
    static bool readFile(const QString &path, std::vector<PrinterProfile> &profiles, QString *error);
    // Writes profiles as {"printers": [...]}, indented; false with *error
    // when the file cannot be written. Replaces the file only once complete.
    static bool writeFile(const QString &path, const std::vector<PrinterProfile> &profiles, QString *error);
};
