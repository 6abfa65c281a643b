#include "common/TestMeshes.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/Gcode.h"
#include "slicing/PrintTime.h"
#include "workspace/KaloModel.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip.h>
#include <quazipfile.h>

namespace {

// The record as the program fills it for K20C, resin 0, 50 µm.
SliceBuildConfig k20cConfig()
{
    SliceBuildConfig c;
    c.layerThickness = 0.05f;
    c.bottomLayers = 3;
    c.bottomExposureMs = 30000;
    c.normalExposureMs = 10000;
    return c;
}

// What the printer spends on a G-code text, read from the text alone: every
// ";<Delay> " value, plus the raise after "M18" at upSpeed (mm/min). Sets ok
// to false when a delay is not a whole number.
qint64 summedGcodeMs(const QString &text, double upSpeed, bool *ok)
{
    *ok = true;
    qint64 totalMs = 0;
    bool closing = false;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line == QLatin1String("M18 ;Disable Motors"))
            closing = true;
        if (line.startsWith(QLatin1String(";<Delay> "))) {
            bool number = false;
            totalMs += line.mid(9).toLongLong(&number);
            *ok = *ok && number;
        } else if (closing && line.startsWith(QLatin1String("G1 Z"))) {
            totalMs += qRound64(line.mid(4).toDouble() * 60.0 / upSpeed * 1000.0);
        }
    }
    return totalMs;
}

QString gcode(int layers, const SliceBuildConfig &c, int buildHeightMm)
{
    QStringList lines;
    CWS::buildGcode(lines, layers, c, buildHeightMm);
    return lines.join(QString());
}

QString gcodeOfArchive(const QString &path)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdUnzip))
        return QString();
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        if (!zip.getCurrentFileName().endsWith(QLatin1String(".gcode")))
            continue;
        QuaZipFile file(&zip);
        if (file.open(QIODevice::ReadOnly))
            return QString::fromLatin1(file.readAll());
    }
    return QString();
}

} // namespace

class TstPrintTime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void estimateIsTheGcodesDelays_data();
    void estimateIsTheGcodesDelays();
    void defaultJob();
    void durationText_data();
    void durationText();
    void sliceRunMatchesItsGcode();
};

void TstPrintTime::estimateIsTheGcodesDelays_data()
{
    QTest::addColumn<int>("layers");
    QTest::addColumn<int>("bottomLayers");
    QTest::addColumn<int>("buildHeightMm");
    QTest::addColumn<float>("upSpeed");
    QTest::addColumn<float>("upStageHeight");
    QTest::addColumn<float>("upStageSpeed");
    QTest::addColumn<float>("downStageHeight");
    QTest::addColumn<float>("downStageSpeed");

    QTest::newRow("no layers: only the raise") << 0 << 3 << 150 << 100.f << 0.f << 0.f << 0.f << 0.f;
    QTest::newRow("bottom layers, then normal ones") << 10 << 3 << 150 << 100.f << 0.f << 0.f << 0.f << 0.f;
    QTest::newRow("no bottom layers") << 10 << 0 << 150 << 100.f << 0.f << 0.f << 0.f << 0.f;
    QTest::newRow("more bottom layers than the job") << 2 << 7 << 150 << 100.f << 0.f << 0.f << 0.f << 0.f;
    QTest::newRow("slow first stage up") << 10 << 3 << 150 << 100.f << 1.f << 50.f << 0.f << 0.f;
    QTest::newRow("slow last stage down") << 10 << 3 << 150 << 100.f << 0.f << 0.f << 0.5f << 25.f;
    QTest::newRow("both stages, fractional speed") << 10 << 3 << 150 << 62.5f << 1.f << 30.f << 0.5f << 25.f;
    QTest::newRow("raise below the 50 mm cap") << 1710 << 3 << 135 << 100.f << 0.f << 0.f << 0.f << 0.f;
    QTest::newRow("job as tall as the printer: no raise") << 2600 << 3 << 130 << 100.f << 0.f << 0.f << 0.f << 0.f;
}

void TstPrintTime::estimateIsTheGcodesDelays()
{
    QFETCH(int, layers);
    QFETCH(int, bottomLayers);
    QFETCH(int, buildHeightMm);
    QFETCH(float, upSpeed);
    QFETCH(float, upStageHeight);
    QFETCH(float, upStageSpeed);
    QFETCH(float, downStageHeight);
    QFETCH(float, downStageSpeed);

    SliceBuildConfig c = k20cConfig();
    c.bottomLayers = bottomLayers;
    c.liftUpSpeed = upSpeed;
    c.liftUpFirstStageHeight = upStageHeight;
    c.liftUpFirstStageSpeed = upStageSpeed;
    c.liftDownLastStageHeight = downStageHeight;
    c.liftDownLastStageSpeed = downStageSpeed;

    bool ok = false;
    const qint64 summed = summedGcodeMs(gcode(layers, c, buildHeightMm), double(upSpeed), &ok);
    QVERIFY2(ok, "every delay of the G-code is a whole number of ms");
    QCOMPARE(CWS::printTimeMs(layers, c, buildHeightMm), summed);
}

void TstPrintTime::defaultJob()
{
    // 200 layers on K20C: 3 x 30 s + 197 x 10 s of light, 200 lifts of
    // 6.8 s, and the raise capped at 50 mm, 30 s at 100 mm/min.
    const qint64 ms = CWS::printTimeMs(200, k20cConfig(), 150);
    QCOMPARE(ms, qint64(90000 + 1970000 + 1360000 + 30000));
    QCOMPARE(CWS::durationText(ms), QStringLiteral("57 min 30 s"));
}

void TstPrintTime::durationText_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");

    QTest::newRow("nothing") << qint64(0) << "0 s";
    QTest::newRow("half a second rounds up") << qint64(500) << "1 s";
    QTest::newRow("just under a minute") << qint64(59499) << "59 s";
    QTest::newRow("rounds up to a minute") << qint64(59500) << "1 min 00 s";
    QTest::newRow("minutes and seconds") << qint64(754000) << "12 min 34 s";
    QTest::newRow("last second below an hour") << qint64(3599499) << "59 min 59 s";
    QTest::newRow("rounds up to an hour") << qint64(3599500) << "1 h 00 min";
    QTest::newRow("hours drop the seconds") << qint64((3 * 3600 + 7 * 60 + 29) * 1000) << "3 h 07 min";
    QTest::newRow("half a minute rounds up") << qint64((3 * 3600 + 7 * 60 + 30) * 1000) << "3 h 08 min";
    QTest::newRow("more than a day") << qint64(25 * 3600 * 1000) << "25 h 00 min";
}

void TstPrintTime::durationText()
{
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(CWS::durationText(ms), text);
}

void TstPrintTime::sliceRunMatchesItsGcode()
{
    // The estimate the window shows must be what the archive of a real run
    // makes the printer do, staged lift included.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    KaloConfig *settings = KaloConfig::instance();
    settings->useAntialise(false);
    SliceBuildConfig *config = settings->buildConfig();
    config->resolutionX = config->resolutionY = 100;
    config->pixelsPerMmX = config->pixelsPerMmY = 10;
    config->layerThickness = 0.05f;
    config->bottomLayers = 5;
    config->liftUpFirstStageHeight = 1;
    config->liftUpFirstStageSpeed = 40;

    KaloModel manager;
    manager.addModel(TestMeshes::makeModel(TestMeshes::cube(2)));
    const QString estimate = manager.getPrintTime();
    const qint64 estimateMs = CWS::printTimeMs(manager.calcNumSlices(), *config, settings->buildHeightMm());

    QSignalSpy spy(&manager, &KaloModel::sliceCompletedProgress);
    const QString path = dir.filePath(QStringLiteral("job.cws"));
    manager.sliceTo(path);
    while (spy.isEmpty() || spy.last().at(0).toFloat() <= 1) {
        if (!spy.wait(60000))
            QFAIL("the slicing run ends");
    }
    QCOMPARE(manager.sliceNumber(), 40);

    bool ok = false;
    const qint64 summed = summedGcodeMs(gcodeOfArchive(path), double(config->liftUpSpeed), &ok);
    QVERIFY2(ok && summed > 0, "the archive holds G-code with whole-number delays");
    QCOMPARE(estimateMs, summed);
    QCOMPARE(estimate, CWS::durationText(summed));
}

QTEST_MAIN(TstPrintTime)
#include "tst_printtime.moc"
