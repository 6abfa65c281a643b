#include "slicing/Gcode.h"

#include "settings/SliceBuildConfig.h"

#include <QLatin1String>

#include <algorithm>
#include <vector>

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

// One move of a lift: up or down by mm at mmPerMin.
struct ZMove
{
    bool up;
    float mm;
    float mmPerMin;
};

// The moves of one layer's lift and the delay (ms) that covers them and the
// wait after them: the G-code lines and the print time both come from here.
struct Lift
{
    std::vector<ZMove> moves;
    int delayMs = 0;
};

Lift liftOf(const SliceBuildConfig &c)
{
    Lift lift;
    const float h = c.liftHeight;
    const float down = c.liftHeight - c.layerThickness;

    double upSeconds;
    const float h1 = c.liftUpFirstStageHeight;
    const float s1 = c.liftUpFirstStageSpeed;
    if (h1 > 0 && h1 < h && s1 > 0 && s1 < c.liftUpSpeed) {
        lift.moves.push_back({true, h1, s1});
        lift.moves.push_back({true, h - h1, c.liftUpSpeed});
        upSeconds = float(CWS::moveSeconds(h1, s1)) + CWS::moveSeconds(h - h1, c.liftUpSpeed);
    } else {
        lift.moves.push_back({true, h, c.liftUpSpeed});
        upSeconds = CWS::moveSeconds(h, c.liftUpSpeed);
    }

    double downSeconds;
    const float h2 = c.liftDownLastStageHeight;
    const float s2 = c.liftDownLastStageSpeed;
    if (h2 > 0 && h2 < down && s2 > 0 && s2 < c.liftDownSpeed) {
        lift.moves.push_back({false, down - h2, c.liftDownSpeed});
        lift.moves.push_back({false, h2, s2});
        downSeconds = CWS::moveSeconds(down - h2, c.liftDownSpeed) + CWS::moveSeconds(h2, s2);
    } else {
        lift.moves.push_back({false, down, c.liftDownSpeed});
        // Timed over the full lift height, not the shorter lowering: the
        // delays printers have always received from this program stay as they were.
        downSeconds = CWS::moveSeconds(h, c.liftDownSpeed);
    }

    const float moveSecondsTotal = float(upSeconds + downSeconds);
    lift.delayMs = int((moveSecondsTotal + c.waitSecAfterStop) * 1000.0f);
    return lift;
}

} // namespace

void SliceBuildConfig::appendLiftSequence(QStringList &lines) const
{
    const Lift lift = liftOf(*this);
    for (const ZMove &move : lift.moves) {
        lines << line(QLatin1String(move.up ? "G1 Z" : "G1 Z-") + three(move.mm) + QLatin1String(" F")
                      + shortNum(move.mmPerMin));
    }
    lines << line(QLatin1String(";<Delay> ") + QString::number(lift.delayMs));
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
        add(QString());
        add(QStringLiteral(";<Slice> ") + QString::number(i));
        add(QStringLiteral("M106 S255"));
        add(QStringLiteral(";<Delay> ") + QString::number(layerExposureMs(config, i)));
        add(QStringLiteral("M106 S0"));
        add(QStringLiteral(";<Slice> Blank"));
        config.appendLiftSequence(lines);
    }

    add(QString());
    add(QStringLiteral("M18 ;Disable Motors"));
    add(QStringLiteral("M106 S0"));
    const float raiseMm = closingRaiseMm(totalLayers, config, buildHeightMm);
    if (raiseMm > 0)
        add(QStringLiteral("G1 Z") + shortNum(raiseMm));
    add(QStringLiteral(";<Completed>"));
}

int layerExposureMs(const SliceBuildConfig &config, int layer)
{
    return layer < config.bottomLayers ? config.bottomExposureMs : config.normalExposureMs;
}

int liftDelayMs(const SliceBuildConfig &config)
{
    return liftOf(config).delayMs;
}

float closingRaiseMm(int totalLayers, const SliceBuildConfig &config, int buildHeightMm)
{
    const float remainingMm = float(buildHeightMm) - float(totalLayers) * config.layerThickness;
    return remainingMm > 0 ? std::min(remainingMm, 50.0f) : 0.0f;
}

// A speed of 0 can only come from an edited settings file: no time rather
// than an infinite delay.
double moveSeconds(double mm, double mmPerMin)
{
    return mmPerMin > 0 ? mm * 60 / mmPerMin : 0;
}

} // namespace CWS
