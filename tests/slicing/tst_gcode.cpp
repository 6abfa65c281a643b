#include "settings/SliceBuildConfig.h"
#include "slicing/Gcode.h"

#include <QtTest>

namespace {

// The record as the program fills it for K20C, resin 0, 50 µm, with the
// native raster of the 65 x 116 mm display.
SliceBuildConfig k20cConfig()
{
    SliceBuildConfig c;
    c.layerThickness = 0.05f;
    c.bottomLayers = 3;
    c.bottomExposureMs = 30000;
    c.normalExposureMs = 10000;
    c.pixelsPerMmX = double(21.164021f);
    c.pixelsPerMmY = double(21.164021f);
    c.resolutionX = 1375;
    c.resolutionY = 2455;
    return c;
}

QString gcode(int layers, const SliceBuildConfig &c, int buildHeightMm)
{
    QStringList lines;
    CWS::buildGcode(lines, layers, c, buildHeightMm);
    return lines.join(QString());
}

QString liftText(const SliceBuildConfig &c)
{
    QStringList lines;
    c.appendLiftSequence(lines);
    return lines.join(QString());
}

const char *const startBlock = "\n"
                               "G28\n"
                               "G21 ;Set units to be mm\n"
                               "G91 ;Relative Positioning\n"
                               "M17 ;Enable motors\n"
                               "<Slice> Blank\n"
                               "M106 S0\n";

// Layer blocks of a job: everything between the start and the closing block.
QString layerBlocks(const QString &text)
{
    const int begin = text.indexOf(QLatin1String(startBlock)) + int(strlen(startBlock));
    const int end = text.lastIndexOf(QLatin1String("\nM18 ;Disable Motors\n"));
    return text.mid(begin, end - begin);
}

} // namespace

class TstGcode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyJobIsHeaderStartAndClosing();
    void everyPieceIsOneLine();
    void headerNumberFormats_data();
    void headerNumberFormats();
    void layerExposures_data();
    void layerExposures();
    void liftSequence_data();
    void liftSequence();
    void closingRaise_data();
    void closingRaise();
};

void TstGcode::emptyJobIsHeaderStartAndClosing()
{
    const QString expected = QStringLiteral(
        ";(****Build and Slicing Parameters****)\n"
        ";(Pix per mm X            = 21.164 )\n"
        ";(Pix per mm Y            = 21.164 )\n"
        ";(X Resolution            = 1375 )\n"
        ";(Y Resolution            = 2455 )\n"
        ";(Layer Thickness         = 0.05000 mm )\n"
        ";(Layer Time              = 10000 ms )\n"
        ";(Render Outlines         = False\n"
        ";(Outline Width Inset     = 2\n"
        ";(Outline Width Outset    = 0\n"
        ";(Bottom Layers Time      = 30000 ms )\n"
        ";(Number of Bottom Layers = 3 )\n"
        ";(Blanking Layer Time     = 0 ms )\n"
        ";(Build Direction         = Bottom_Up)\n"
        ";(Lift Distance           = 4 mm )\n"
        ";(Slide/Tilt Value        = 0)\n"
        ";(Anti Aliasing           = True)\n"
        ";(Use Mainlift GCode Tab  = False)\n"
        ";(Anti Aliasing Value     = 2 )\n"
        ";(Z Lift Feed Rate        = 100.0 mm/s )\n"
        ";(Z Bottom Lift Feed Rate = 100.0 mm/s )\n"
        ";(Z Lift Retract Rate     = 100.0 mm/s )\n"
        ";(Flip X                  = True)\n"
        ";(Flip Y                  = True)\n"
        ";Number of Slices         = 0\n"
        ";(****Machine Configuration ******)  \n"
        ";(Platform X Size         = 65.02mm )\n"
        ";(Platform Y Size         = 116mm )  \n"
        ";(Platform Z Size         = 130mm )  \n"
        ";(Max X Feedrate          = 200mm/s )\n"
        ";(Max Y Feedrate          = 200mm/s )\n"
        ";(Max Z Feedrate          = 200mm/s )\n"
        ";(Machine Type            = UV_LCD)  \n")
        + QLatin1String(startBlock)
        + QStringLiteral("\n"
                         "M18 ;Disable Motors\n"
                         "M106 S0\n"
                         "G1 Z50\n"
                         ";<Completed>\n");
    QCOMPARE(gcode(0, k20cConfig(), 150), expected);
}

void TstGcode::everyPieceIsOneLine()
{
    // The slicer writes the pieces with nothing between them, so each must
    // carry exactly its own line feed.
    SliceBuildConfig c = k20cConfig();
    c.liftUpFirstStageHeight = 1;
    c.liftUpFirstStageSpeed = 50;
    QStringList lines;
    CWS::buildGcode(lines, 5, c, 150);
    for (const QString &piece : qAsConst(lines)) {
        QVERIFY2(piece.endsWith(QLatin1Char('\n')) && piece.count(QLatin1Char('\n')) == 1,
                 qPrintable(QStringLiteral("piece should be one line with its line feed: \"%1\"").arg(piece)));
    }
}

void TstGcode::headerNumberFormats_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expectedLine");

    QTest::newRow("fractional lift distance keeps its decimal")
        << "liftHeight" << 6.5 << ";(Lift Distance           = 6.5 mm )\n";
    QTest::newRow("lift-up speed shows one decimal on both rate lines")
        << "liftUpSpeed" << 62.5 << ";(Z Lift Feed Rate        = 62.5 mm/s )\n"
                                    ";(Z Bottom Lift Feed Rate = 62.5 mm/s )\n";
    QTest::newRow("retract rate") << "liftDownSpeed" << 20.0 << ";(Z Lift Retract Rate     = 20.0 mm/s )\n";
    QTest::newRow("thin layer in five decimals")
        << "layerThickness" << 0.035 << ";(Layer Thickness         = 0.03500 mm )\n";
    QTest::newRow("supersampled density in three decimals")
        << "pixelsPerMmX" << 52.91005 << ";(Pix per mm X            = 52.910 )\n";
}

void TstGcode::headerNumberFormats()
{
    QFETCH(QString, field);
    QFETCH(double, value);
    QFETCH(QString, expectedLine);

    SliceBuildConfig c = k20cConfig();
    if (field == QLatin1String("liftHeight"))
        c.liftHeight = float(value);
    else if (field == QLatin1String("liftUpSpeed"))
        c.liftUpSpeed = float(value);
    else if (field == QLatin1String("liftDownSpeed"))
        c.liftDownSpeed = float(value);
    else if (field == QLatin1String("layerThickness"))
        c.layerThickness = float(value);
    else
        c.pixelsPerMmX = value;

    const QString text = gcode(3, c, 150);
    QVERIFY2(text.contains(expectedLine), qPrintable(QStringLiteral("header lacks \"%1\"").arg(expectedLine)));
}

void TstGcode::layerExposures_data()
{
    QTest::addColumn<int>("bottomLayers");
    QTest::addColumn<int>("layers");
    QTest::addColumn<QList<int>>("exposures");

    QTest::newRow("three bottom layers of five") << 3 << 5 << QList<int>{30000, 30000, 30000, 10000, 10000};
    QTest::newRow("no bottom layers") << 0 << 3 << QList<int>{10000, 10000, 10000};
    QTest::newRow("more bottom layers than the job") << 7 << 2 << QList<int>{30000, 30000};
}

void TstGcode::layerExposures()
{
    QFETCH(int, bottomLayers);
    QFETCH(int, layers);
    QFETCH(QList<int>, exposures);

    SliceBuildConfig c = k20cConfig();
    c.bottomLayers = bottomLayers;

    QString expected;
    for (int i = 0; i < layers; ++i) {
        expected += QStringLiteral("\n"
                                   ";<Slice> %1\n"
                                   "M106 S255\n"
                                   ";<Delay> %2\n"
                                   "M106 S0\n"
                                   ";<Slice> Blank\n"
                                   "G1 Z4.000 F100\n"
                                   "G1 Z-3.950 F100\n"
                                   ";<Delay> 6800\n")
                        .arg(i)
                        .arg(exposures.at(i));
    }
    QCOMPARE(layerBlocks(gcode(layers, c, 150)), expected);
}

void TstGcode::liftSequence_data()
{
    QTest::addColumn<float>("height");
    QTest::addColumn<float>("upSpeed");
    QTest::addColumn<float>("downSpeed");
    QTest::addColumn<float>("waitSec");
    QTest::addColumn<float>("upStageHeight");
    QTest::addColumn<float>("upStageSpeed");
    QTest::addColumn<float>("downStageHeight");
    QTest::addColumn<float>("downStageSpeed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("defaults: lowering shows three decimals, delay counts full height down")
        << 4.f << 100.f << 100.f << 2.f << 0.f << 0.f << 0.f << 0.f
        << "G1 Z4.000 F100\nG1 Z-3.950 F100\n;<Delay> 6800\n";
    QTest::newRow("fractional speed") << 4.f << 62.5f << 62.5f << 2.f << 0.f << 0.f << 0.f << 0.f
                                      << "G1 Z4.000 F62.5\nG1 Z-3.950 F62.5\n;<Delay> 9680\n";
    QTest::newRow("different speeds, short wait") << 6.5f << 80.f << 120.f << 0.5f << 0.f << 0.f << 0.f << 0.f
                                                  << "G1 Z6.500 F80\nG1 Z-6.450 F120\n;<Delay> 8625\n";
    QTest::newRow("slow first stage up") << 4.f << 100.f << 100.f << 2.f << 1.f << 50.f << 0.f << 0.f
                                         << "G1 Z1.000 F50\nG1 Z3.000 F100\nG1 Z-3.950 F100\n;<Delay> 7400\n";
    QTest::newRow("slow last stage down") << 4.f << 100.f << 100.f << 2.f << 0.f << 0.f << 0.5f << 25.f
                                          << "G1 Z4.000 F100\nG1 Z-3.450 F100\nG1 Z-0.500 F25\n;<Delay> 7670\n";
    QTest::newRow("both stages")
        << 4.f << 100.f << 100.f << 2.f << 1.f << 50.f << 0.5f << 25.f
        << "G1 Z1.000 F50\nG1 Z3.000 F100\nG1 Z-3.450 F100\nG1 Z-0.500 F25\n;<Delay> 8270\n";
    QTest::newRow("first stage as high as the lift is ignored")
        << 4.f << 100.f << 100.f << 2.f << 4.f << 50.f << 0.f << 0.f
        << "G1 Z4.000 F100\nG1 Z-3.950 F100\n;<Delay> 6800\n";
    QTest::newRow("first stage not slower is ignored") << 4.f << 100.f << 100.f << 2.f << 1.f << 100.f << 0.f << 0.f
                                                       << "G1 Z4.000 F100\nG1 Z-3.950 F100\n;<Delay> 6800\n";
    QTest::newRow("last stage as long as the lowering is ignored")
        << 4.f << 100.f << 100.f << 2.f << 0.f << 0.f << 3.95f << 25.f
        << "G1 Z4.000 F100\nG1 Z-3.950 F100\n;<Delay> 6800\n";
    QTest::newRow("zero lift speed adds no time") << 4.f << 0.f << 100.f << 2.f << 0.f << 0.f << 0.f << 0.f
                                                  << "G1 Z4.000 F0\nG1 Z-3.950 F100\n;<Delay> 4400\n";
}

void TstGcode::liftSequence()
{
    QFETCH(float, height);
    QFETCH(float, upSpeed);
    QFETCH(float, downSpeed);
    QFETCH(float, waitSec);
    QFETCH(float, upStageHeight);
    QFETCH(float, upStageSpeed);
    QFETCH(float, downStageHeight);
    QFETCH(float, downStageSpeed);
    QFETCH(QString, expected);

    SliceBuildConfig c = k20cConfig();
    c.liftHeight = height;
    c.liftUpSpeed = upSpeed;
    c.liftDownSpeed = downSpeed;
    c.waitSecAfterStop = waitSec;
    c.liftUpFirstStageHeight = upStageHeight;
    c.liftUpFirstStageSpeed = upStageSpeed;
    c.liftDownLastStageHeight = downStageHeight;
    c.liftDownLastStageSpeed = downStageSpeed;
    QCOMPARE(liftText(c), expected);
}

void TstGcode::closingRaise_data()
{
    QTest::addColumn<int>("buildHeightMm");
    QTest::addColumn<int>("layers");
    QTest::addColumn<QString>("expectedEnd");

    const QString head = QStringLiteral("\nM18 ;Disable Motors\nM106 S0\n");
    const QString tail = QStringLiteral(";<Completed>\n");
    QTest::newRow("no layers: raise capped at 50") << 150 << 0 << head + "G1 Z50\n" + tail;
    QTest::newRow("200 layers on K20C: 140 mm left, capped") << 150 << 200 << head + "G1 Z50\n" + tail;
    QTest::newRow("49.5 mm left on K30") << 135 << 1710 << head + "G1 Z49.5\n" + tail;
    QTest::newRow("half a millimetre left") << 130 << 2590 << head + "G1 Z0.5\n" + tail;
    QTest::newRow("job exactly as tall as the printer") << 130 << 2600 << head + tail;
    QTest::newRow("job taller than the printer") << 130 << 3000 << head + tail;
}

void TstGcode::closingRaise()
{
    QFETCH(int, buildHeightMm);
    QFETCH(int, layers);
    QFETCH(QString, expectedEnd);

    const QString text = gcode(layers, k20cConfig(), buildHeightMm);
    QVERIFY2(text.endsWith(expectedEnd),
             qPrintable(QStringLiteral("job should end with \"%1\", ends with \"%2\"")
                            .arg(expectedEnd, text.right(expectedEnd.size() + 20))));
}

QTEST_GUILESS_MAIN(TstGcode)
#include "tst_gcode.moc"
