#include "slicing/Sl1Config.h"

#include "settings/SliceBuildConfig.h"

#include <QMap>
#include <QString>

namespace CWS {

namespace {

QByteArray iniText(const QMap<QString, QString> &values)
{
    QByteArray text;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        text += (it.key() + QStringLiteral(" = ") + it.value() + QLatin1Char('\n')).toUtf8();
    return text;
}

QString number(double value)
{
    return QString::number(value, 'g', 7);
}

// The display as the printer has it: the native raster, whatever the run
// enlarged it to for anti-aliasing.
double displayMm(int pixels, double pixelsPerMm)
{
    return pixelsPerMm > 0 ? double(pixels) / pixelsPerMm : 0;
}

} // namespace

QByteArray sl1ConfigIni(const SliceBuildConfig &config, int layers, double printTimeS, double usedMaterialMl,
                        const QDateTime &created)
{
    // The printer takes the printer model as the kind of machine; a printer
    // of the user's keeps SL1S's, the class of display archives it reads.
    return iniText({
        {QStringLiteral("action"), QStringLiteral("print")},
        {QStringLiteral("expTime"), number(config.normalExposureMs / 1000.0)},
        {QStringLiteral("expTimeFirst"), number(config.bottomExposureMs / 1000.0)},
        {QStringLiteral("expUserProfile"), QStringLiteral("0")},
        {QStringLiteral("fileCreationTimestamp"),
         created.toUTC().toString(QStringLiteral("yyyy-MM-dd 'at' HH:mm:ss 'UTC'"))},
        {QStringLiteral("hollow"), QStringLiteral("0")},
        {QStringLiteral("jobDir"), config.baseName},
        {QStringLiteral("layerHeight"), number(double(config.layerThickness))},
        {QStringLiteral("materialName"), config.materialName},
        {QStringLiteral("numFade"), QString::number(config.bottomLayers)},
        {QStringLiteral("numFast"), QString::number(layers)},
        {QStringLiteral("numSlow"), QStringLiteral("0")},
        {QStringLiteral("printProfile"), QString()},
        {QStringLiteral("printTime"), QString::number(printTimeS, 'f', 6)},
        {QStringLiteral("printerModel"), QStringLiteral("SL1S")},
        {QStringLiteral("printerProfile"), config.printerName},
        {QStringLiteral("printerVariant"), QStringLiteral("default")},
        {QStringLiteral("prusaSlicerVersion"), QStringLiteral("kalo3d")},
        {QStringLiteral("usedMaterial"), QString::number(usedMaterialMl, 'f', 6)},
    });
}

QByteArray sl1PrusaSlicerIni(const SliceBuildConfig &config, int buildHeightMm)
{
    const int pixelsX = config.supersampled ? config.savedResolutionX : config.resolutionX;
    const int pixelsY = config.supersampled ? config.savedResolutionY : config.resolutionY;
    const double width = displayMm(pixelsX, config.supersampled ? config.savedPixelsPerMmX : config.pixelsPerMmX);
    const double height = displayMm(pixelsY, config.supersampled ? config.savedPixelsPerMmY : config.pixelsPerMmY);
    return iniText({
        {QStringLiteral("bed_shape"),
         QStringLiteral("0x0,%1x0,%1x%2,0x%2").arg(number(width), number(height))},
        {QStringLiteral("display_height"), number(height)},
        {QStringLiteral("display_mirror_x"), QString::number(int(config.mirrorX))},
        {QStringLiteral("display_mirror_y"), QString::number(int(config.mirrorY))},
        {QStringLiteral("display_orientation"),
         config.portrait ? QStringLiteral("portrait") : QStringLiteral("landscape")},
        {QStringLiteral("display_pixels_x"), QString::number(pixelsX)},
        {QStringLiteral("display_pixels_y"), QString::number(pixelsY)},
        {QStringLiteral("display_width"), number(width)},
        {QStringLiteral("exposure_time"), number(config.normalExposureMs / 1000.0)},
        {QStringLiteral("faded_layers"), QString::number(config.bottomLayers)},
        {QStringLiteral("initial_exposure_time"), number(config.bottomExposureMs / 1000.0)},
        {QStringLiteral("layer_height"), number(double(config.layerThickness))},
        {QStringLiteral("max_print_height"), QString::number(buildHeightMm)},
        {QStringLiteral("pad_enable"), QStringLiteral("0")},
        {QStringLiteral("printer_model"), QStringLiteral("SL1S")},
        {QStringLiteral("printer_settings_id"), config.printerName},
        {QStringLiteral("printer_technology"), QStringLiteral("SLA")},
        {QStringLiteral("sla_material_settings_id"), config.materialName},
        {QStringLiteral("supports_enable"), QStringLiteral("0")},
    });
}

} // namespace CWS
