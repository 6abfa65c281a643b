#include "slicing/Gcode.h"

#include "settings/SliceBuildConfig.h"

#include <QLatin1String>

#include <algorithm>

// The printer's firmware parses this text literally: every space, missing
// parenthesis and number format below is part of the format it expects.

namespace {

QString line(const QString &text)
{
    return text + QLatin1Char('\n');
}

QString fixed(double x, int decimals)
{
    return QString::number(x, 'f', decimals);
}

// Shortest form, at most 6 significant digits: 4, 2.5, 100.
QString shortNum(double x)
{
    return QString::asprintf("%g", x);
}

QString three(double x)
{
    return QString::asprintf("%.3f", x);
}

// Seconds a move of mm takes at mmPerMin. A speed of 0 (only possible from an
// edited settings file) counts as no time rather than an infinite delay.
double moveSeconds(double mm, double mmPerMin)
{
    return mmPerMin > 0 ? mm * 60 / mmPerMin : 0;
}

} // namespace

void SliceBuildConfig::appendLiftSequence(QStringList &lines) const
{
    const float h = liftHeight;
    const float down = liftHeight - layerThickness;

    double upSeconds;
    const float h1 = liftUpFirstStageHeight;
    const float s1 = liftUpFirstStageSpeed;
    if (h1 > 0 && h1 < h && s1 > 0 && s1 < liftUpSpeed) {
        lines << line(QLatin1String("G1 Z") + three(h1) + QLatin1String(" F") + shortNum(s1));
        lines << line(QLatin1String("G1 Z") + three(h - h1) + QLatin1String(" F") + shortNum(liftUpSpeed));
        upSeconds = float(moveSeconds(h1, s1)) + moveSeconds(h - h1, liftUpSpeed);
    } else {
        lines << line(QLatin1String("G1 Z") + three(h) + QLatin1String(" F") + shortNum(liftUpSpeed));
        upSeconds = moveSeconds(h, liftUpSpeed);
    }

    double downSeconds;
    const float h2 = liftDownLastStageHeight;
    const float s2 = liftDownLastStageSpeed;
    if (h2 > 0 && h2 < down && s2 > 0 && s2 < liftDownSpeed) {
        lines << line(QLatin1String("G1 Z-") + three(down - h2) + QLatin1String(" F") + shortNum(liftDownSpeed));
        lines << line(QLatin1String("G1 Z-") + three(h2) + QLatin1String(" F") + shortNum(s2));
        downSeconds = moveSeconds(down - h2, liftDownSpeed) + moveSeconds(h2, s2);
    } else {
        lines << line(QLatin1String("G1 Z-") + three(down) + QLatin1String(" F") + shortNum(liftDownSpeed));
        // Timed over the full lift height, not the shorter lowering: the
        // delays printers have always received from this program stay as they were.
        downSeconds = moveSeconds(h, liftDownSpeed);
    }

    const float moveSecondsTotal = float(upSeconds + downSeconds);
    const int delayMs = int((moveSecondsTotal + waitSecAfterStop) * 1000.0f);
    lines << line(QLatin1String(";<Delay> ") + QString::number(delayMs));
}

namespace CWS {

void buildGcode(QStringList &lines, int totalLayers, const SliceBuildConfig &config, int buildHeightMm)
{
    const auto add = [&lines](const QString &text) { lines << line(text); };

    add(QStringLiteral(";(****Build and Slicing Parameters****)"));
    add(QStringLiteral(";(Pix per mm X            = ") + fixed(config.pixelsPerMmX, 3) + QStringLiteral(" )"));
    add(QStringLiteral(";(Pix per mm Y            = ") + fixed(config.pixelsPerMmY, 3) + QStringLiteral(" )"));
    add(QStringLiteral(";(X Resolution            = ") + QString::number(config.resolutionX) + QStringLiteral(" )"));
    add(QStringLiteral(";(Y Resolution            = ") + QString::number(config.resolutionY) + QStringLiteral(" )"));
    add(QStringLiteral(";(Layer Thickness         = ") + fixed(config.layerThickness, 5) + QStringLiteral(" mm )"));
    add(QStringLiteral(";(Layer Time              = ") + QString::number(config.normalExposureMs)
        + QStringLiteral(" ms )"));
    add(QStringLiteral(";(Render Outlines         = False"));
    add(QStringLiteral(";(Outline Width Inset     = 2"));
    add(QStringLiteral(";(Outline Width Outset    = 0"));
    add(QStringLiteral(";(Bottom Layers Time      = ") + QString::number(config.bottomExposureMs)
        + QStringLiteral(" ms )"));
    add(QStringLiteral(";(Number of Bottom Layers = ") + QString::number(config.bottomLayers) + QStringLiteral(" )"));
    add(QStringLiteral(";(Blanking Layer Time     = 0 ms )"));
    add(QStringLiteral(";(Build Direction         = Bottom_Up)"));
    add(QStringLiteral(";(Lift Distance           = ") + shortNum(config.liftHeight) + QStringLiteral(" mm )"));
    add(QStringLiteral(";(Slide/Tilt Value        = 0)"));
    add(QStringLiteral(";(Anti Aliasing           = True)"));
    add(QStringLiteral(";(Use Mainlift GCode Tab  = False)"));
    add(QStringLiteral(";(Anti Aliasing Value     = 2 )"));
    // The speeds are mm/min whatever the labels say.
    add(QStringLiteral(";(Z Lift Feed Rate        = ") + fixed(config.liftUpSpeed, 1) + QStringLiteral(" mm/s )"));
    add(QStringLiteral(";(Z Bottom Lift Feed Rate = ") + fixed(config.liftUpSpeed, 1) + QStringLiteral(" mm/s )"));
    add(QStringLiteral(";(Z Lift Retract Rate     = ") + fixed(config.liftDownSpeed, 1)
        + QStringLiteral(" mm/s )"));
    add(QStringLiteral(";(Flip X                  = True)"));
    add(QStringLiteral(";(Flip Y                  = True)"));
    add(QStringLiteral(";Number of Slices         = ") + QString::number(totalLayers));
    add(QStringLiteral(";(****Machine Configuration ******)  "));
    add(QStringLiteral(";(Platform X Size         = 65.02mm )"));
    add(QStringLiteral(";(Platform Y Size         = 116mm )  "));
    add(QStringLiteral(";(Platform Z Size         = 130mm )  "));
    add(QStringLiteral(";(Max X Feedrate          = 200mm/s )"));
    add(QStringLiteral(";(Max Y Feedrate          = 200mm/s )"));
    add(QStringLiteral(";(Max Z Feedrate          = 200mm/s )"));
    add(QStringLiteral(";(Machine Type            = UV_LCD)  "));

    add(QString());
    add(QStringLiteral("G28"));
    add(QStringLiteral("G21 ;Set units to be mm"));
    add(QStringLiteral("G91 ;Relative Positioning"));
    add(QStringLiteral("M17 ;Enable motors"));
    add(QStringLiteral("<Slice> Blank"));
    add(QStringLiteral("M106 S0"));

    for (int i = 0; i < totalLayers; ++i) {
        const int exposureMs = i < config.bottomLayers ? config.bottomExposureMs : config.normalExposureMs;
        add(QString());
        add(QStringLiteral(";<Slice> ") + QString::number(i));
        add(QStringLiteral("M106 S255"));
        add(QStringLiteral(";<Delay> ") + QString::number(exposureMs));
        add(QStringLiteral("M106 S0"));
        add(QStringLiteral(";<Slice> Blank"));
        config.appendLiftSequence(lines);
    }

    add(QString());
    add(QStringLiteral("M18 ;Disable Motors"));
    add(QStringLiteral("M106 S0"));
    const float remainingMm = float(buildHeightMm) - float(totalLayers) * config.layerThickness;
    if (remainingMm > 0)
        add(QStringLiteral("G1 Z") + shortNum(std::min(remainingMm, 50.0f)));
    add(QStringLiteral(";<Completed>"));
}

} // namespace CWS
