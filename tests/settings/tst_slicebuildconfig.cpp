#include "settings/SliceBuildConfig.h"

#include <QtTest>

class TstSliceBuildConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outputFileBaseName_data();
    void outputFileBaseName();
    void supersamplingEnlargesAndRestoresRaster_data();
    void supersamplingEnlargesAndRestoresRaster();
    void supersamplingOffKeepsRaster();
    void setDefaultsKeepsLift();
};

void TstSliceBuildConfig::outputFileBaseName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("baseName");

    QTest::newRow("plain") << "/tmp/out/part.cws" << "part";
    QTest::newRow("two dots keep all before the last") << "/tmp/out/part.final.cws" << "part.final";
    QTest::newRow("no dot") << "/tmp/out/part" << "part";
    QTest::newRow("dot only in the directory") << "/tmp/v1.2/part" << "part";
    QTest::newRow("spaces and percent signs stay literal") << "/tmp/my part 100%.cws" << "my part 100%";
}

void TstSliceBuildConfig::outputFileBaseName()
{
    QFETCH(QString, path);
    QFETCH(QString, baseName);

    SliceBuildConfig c;
    c.setOutputFile(path);
    QCOMPARE(c.outputPath, path);
    QCOMPARE(c.baseName, baseName);
}

void TstSliceBuildConfig::supersamplingEnlargesAndRestoresRaster_data()
{
    QTest::addColumn<float>("factor");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    QTest::newRow("2") << 2.0f << 2750 << 4910;
    QTest::newRow("2.5 truncates half pixels") << 2.5f << 3437 << 6137;
}

void TstSliceBuildConfig::supersamplingEnlargesAndRestoresRaster()
{
    QFETCH(float, factor);
    QFETCH(int, width);
    QFETCH(int, height);

    SliceBuildConfig c;
    c.resolutionX = 1375;
    c.resolutionY = 2455;
    c.pixelsPerMmX = c.pixelsPerMmY = double(21.164021f);

    c.beginSupersampling(true, factor);
    QVERIFY(c.supersampled);
    QCOMPARE(c.resolutionX, width);
    QCOMPARE(c.resolutionY, height);
    QCOMPARE(c.pixelsPerMmX, double(21.164021f) * double(factor));
    QCOMPARE(c.targetSize, QSize(1375, 2455));

    c.endSupersampling();
    QVERIFY2(!c.supersampled && c.supersampleFactor == 1.0, "supersampling should be over");
    QCOMPARE(c.resolutionX, 1375);
    QCOMPARE(c.resolutionY, 2455);
    QCOMPARE(c.pixelsPerMmX, double(21.164021f));
    QCOMPARE(c.pixelsPerMmY, double(21.164021f));
}

void TstSliceBuildConfig::supersamplingOffKeepsRaster()
{
    SliceBuildConfig c;
    c.resolutionX = 1375;
    c.beginSupersampling(false, 3.0f);
    QVERIFY2(!c.supersampled && c.supersampleFactor == 1.0, "anti-aliasing off should not supersample");
    QCOMPARE(c.resolutionX, 1375);
    c.endSupersampling();
    QCOMPARE(c.resolutionX, 1375);
}

void TstSliceBuildConfig::setDefaultsKeepsLift()
{
    SliceBuildConfig c;
    c.resolutionX = 1375;
    c.layerThickness = 0.035f;
    c.setOutputFile(QStringLiteral("/tmp/part.cws"));
    c.liftHeight = 6.5f;
    c.liftUpSpeed = 62.5f;
    c.waitSecAfterStop = 0.5f;

    c.setDefaults();
    QCOMPARE(c.resolutionX, 1440);
    QCOMPARE(c.layerThickness, 0.05f);
    QVERIFY(c.outputPath.isEmpty() && c.baseName.isEmpty());
    QCOMPARE(c.liftHeight, 6.5f);
    QCOMPARE(c.liftUpSpeed, 62.5f);
    QCOMPARE(c.waitSecAfterStop, 0.5f);
}

QTEST_GUILESS_MAIN(TstSliceBuildConfig)
#include "tst_slicebuildconfig.moc"
