#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "settings/PrinterProfile.h"
#include "workspace/KaloModel.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

namespace {

PrinterProfile twelveK()
{
    PrinterProfile p;
    p.name = QStringLiteral("12K");
    p.resolutionX = 11520;
    p.resolutionY = 5120;
    p.sizeXMm = 218.88;
    p.sizeYMm = 122.88;
    p.buildHeightMm = 250;
    p.mirrorY = true;
    p.format = ArchiveFormat::Sl1;
    p.presetGroup = 0;
    return p;
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

class TstPrinterProfile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void builtInPrintersKeepTheirRaster();
    void validation_data();
    void validation();
    void userPrintersRoundTrip();
    void damagedFileIsRefused_data();
    void damagedFileIsRefused();
    void switchingPrinterKeepsModels();

private:
    QTemporaryDir m_dir;
};

void TstPrinterProfile::builtInPrintersKeepTheirRaster()
{
    KaloConfig settings(QString(), true);
    QCOMPARE(settings.modelPrinters(),
             QStringList({"K20", "K20A", "K20C", "K20D", "K20DO", "K30", "SL1S"}));
    for (int i = 0; i < 6; ++i) {
        settings.setModelIndex(i);
        settings.updateBuildConfig();
        const SliceBuildConfig &c = *settings.buildConfig();
        QVERIFY2(c.resolutionX == 1375 && c.resolutionY == 2455 && c.pixelsPerMmX == double(21.164021f)
                     && c.pixelsPerMmY == c.pixelsPerMmX && c.mirrorY && !c.mirrorX && !c.portrait
                     && c.format == ArchiveFormat::Cws,
                 "every K printer slices today's 1375 x 2455 raster into a .cws as drawn");
    }
    settings.setModelIndex(6);
    settings.updateBuildConfig();
    const SliceBuildConfig &c = *settings.buildConfig();
    QVERIFY2(c.resolutionX == 2560 && c.resolutionY == 1620 && c.pixelsPerMmX == 20 && c.pixelsPerMmY == 20
                 && c.mirrorX && !c.mirrorY && c.portrait && c.format == ArchiveFormat::Sl1,
             "SL1S: 2560 x 1620 on 128 x 81 mm, mirrored in X, portrait, SL1");
    QCOMPARE(settings.buildHeightMm(), 150);
}

void TstPrinterProfile::validation_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::newRow("12K") << "" << 0.0 << "";
    QTest::newRow("resolution X 0") << "resolutionX" << 0.0 << "resolution X must be 1 to 32768 pixels";
    QTest::newRow("resolution X 32768") << "resolutionX" << 32768.0 << "";
    QTest::newRow("resolution Y 32769") << "resolutionY" << 32769.0 << "resolution Y must be 1 to 32768 pixels";
    QTest::newRow("size X 0.5") << "sizeXMm" << 0.5 << "display size X must be 1 to 1000 mm";
    QTest::newRow("size Y 1000") << "sizeYMm" << 1000.0 << "";
    QTest::newRow("size Y 1000.1") << "sizeYMm" << 1000.1 << "display size Y must be 1 to 1000 mm";
    QTest::newRow("height 0") << "buildHeightMm" << 0.0 << "build height must be 1 to 1000 mm";
}

void TstPrinterProfile::validation()
{
    QFETCH(QString, field);
    QFETCH(double, value);
    QFETCH(QString, message);
    QJsonObject json = twelveK().toJson();
    if (!field.isEmpty())
        json.insert(field, value);
    PrinterProfile read;
    QString error;
    const bool ok = PrinterProfile::fromJson(json, read, &error);
    QCOMPARE(ok, message.isEmpty());
    QVERIFY2(message.isEmpty() ? error.isEmpty() : error.startsWith(message), qPrintable("expected \"" + message + "\", got \"" + error + "\""));

    if (ok)
        QVERIFY2(read.toJson() == json, "an accepted profile reads back as written");
}

void TstPrinterProfile::userPrintersRoundTrip()
{
    QVERIFY(m_dir.isValid());
    const QString settingsFile = m_dir.filePath("round/slice.custom.conf");
    QVERIFY(QDir().mkpath(m_dir.filePath("round")));
    PrinterProfile portrait = twelveK();
    portrait.name = "Portrait 4K";
    portrait.resolutionX = 3840;
    portrait.resolutionY = 2400;
    portrait.sizeXMm = 192.5;
    portrait.sizeYMm = 120;
    portrait.mirrorX = true;
    portrait.mirrorY = false;
    portrait.portrait = true;
    portrait.format = ArchiveFormat::Cws;
    portrait.presetGroup = 2;
    portrait.resins = {{1, 50, 4, 40000, 9000, 8000}};
    {
        KaloConfig settings(settingsFile, false);
        QString error;
        QVERIFY2(settings.setUserPrinters({twelveK(), portrait}, &error), qPrintable(error));
        PrinterProfile clash = twelveK();
        clash.name = "k20c";
        QVERIFY2(!settings.setUserPrinters({clash}, &error) && error.contains("exists already"),
                 "a user printer cannot take a built-in printer's name");
        PrinterProfile blank = twelveK();
        blank.resolutionY = 0;
        QVERIFY2(!settings.setUserPrinters({blank}, &error) && error.contains("resolution Y must be 1 to 32768"),
                 "an invalid printer is refused with the field at fault");
        settings.setModelIndex(settings.printerIndex("portrait 4k"));
    }
    const QByteArray text = [&] {
        QFile file(m_dir.filePath("round/printers.json"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QVERIFY2(text.contains("\"orientation\": \"portrait\"") && text.contains("\"sizeXMm\": 192.5"),
             "the printers are kept as readable JSON beside the settings");

    KaloConfig settings(settingsFile, false);
    QCOMPARE(settings.printers().size(), size_t(9));
    for (const PrinterProfile &expected : {twelveK(), portrait}) {
        const PrinterProfile &read = settings.printers()[size_t(settings.printerIndex(expected.name))];
        QVERIFY2(read.toJson() == expected.toJson(), qPrintable(expected.name + " reads back equal"));
    }
    QCOMPARE(settings.printer().name, QStringLiteral("Portrait 4K"));
    const SliceBuildConfig &c = *settings.buildConfig();
    QVERIFY2(qAbs(c.pixelsPerMmX - 3840 / 192.5) < 1e-4 && qAbs(c.pixelsPerMmY - 20) < 1e-4,
             "non-square pixels: 50.13 um in x, 50 um in y");
    const int row = settings.printerIndex("Portrait 4K");
    const ResinPreset own = settings.presetFor(row, 1, 100);
    QVERIFY2(own.bottomLayers == 4 && own.bottomExposureMs == 80000 && own.normalExposureMs == 18000,
             "the printer's own elastic resin row, at 100 um: 4 bottom layers, 80 s and 18 s");
    const ResinPreset group = settings.presetFor(row, 0, 0);
    QVERIFY2(group.bottomExposureMs == 12000 && group.normalExposureMs == 4000,
             "a resin without a row of its own comes from the printer's group: 12 s and 4 s");

    // Export and import: a file with the one profile.
    const QString exported = m_dir.filePath("export.json");
    QVERIFY(PrinterProfile::writeFile(exported, {portrait}, nullptr));
    std::vector<PrinterProfile> imported;
    QVERIFY(PrinterProfile::readFile(exported, imported, nullptr));
    QVERIFY(imported.size() == 1 && imported.front().toJson() == portrait.toJson());
}

void TstPrinterProfile::damagedFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    const QByteArray good = QJsonDocument(twelveK().toJson()).toJson();
    QByteArray text = good;
    QTest::newRow("cut short") << good.left(40) << "not JSON";
    QTest::newRow("a list") << QByteArray("[1, 2]") << "not a JSON object";
    QTest::newRow("text for a number") << text.replace("11520", "\"wide\"")
                                       << "printer 1 \"12K\": \"resolutionX\" must be a whole number";
    text = good;
    QTest::newRow("half a pixel") << text.replace("5120", "5120.5")
                                  << "printer 1 \"12K\": \"resolutionY\" must be a whole number";
    text = good;
    QTest::newRow("orientation") << text.replace("landscape", "upside")
                                 << "\"orientation\" must be \"landscape\" or \"portrait\"";
    text = good;
    QTest::newRow("missing key") << text.replace("buildHeightMm", "height") << "\"buildHeightMm\" is missing";
    text = good;
    QTest::newRow("out of range") << text.replace("122.88", "1222.88") << "display size Y must be 1 to 1000 mm";
    PrinterProfile withResins = twelveK();
    withResins.resins = {{0, 50, 3, 30000, 8000, 8000}, {2, 50, 3, 30000, 8000, 8000}};
    const QByteArray resins = QJsonDocument(withResins.toJson()).toJson();
    text = resins;
    QTest::newRow("resin exposure") << text.replace("8000", "0")
                                    << "printer 1 \"12K\": resin row 1: exposure must be 1000 to 180000 ms";
    text = resins;
    QTest::newRow("resin listed twice") << text.replace("\"resin\": 2", "\"resin\": 0")
                                        << "resin row 2: resin 0 has a row already";
    text = resins;
    QTest::newRow("resin rows not a list") << text.replace("\"resins\": [", "\"resins\": 1, \"x\": [")
                                           << "\"resins\" must be a list";
}

void TstPrinterProfile::damagedFileIsRefused()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/printers.json";
    QVERIFY(writeText(path, text));

    std::vector<PrinterProfile> read;
    QString error;
    QVERIFY2(!PrinterProfile::readFile(path, read, &error), "the damaged file is refused");
    QVERIFY2(error.startsWith(path + ": ") && error.contains(message),
             qPrintable("expected the file and \"" + message + "\", got \"" + error + "\""));

    KaloConfig settings(folder + "/slice.custom.conf", true);
    QCOMPARE(settings.printers().size(), size_t(7));
}

void TstPrinterProfile::switchingPrinterKeepsModels()
{
    KaloConfig settings(QString(), true);
    KaloModel manager;
    Model *model = TestMeshes::makeModel(TestMeshes::box({-30, -20, 0}, {-10, 5, 12}));
    manager.addModel(model);
    model->updateBounds(true);
    const QVector3D min = model->boundMin, max = model->boundMax;
    const QVector3D k20c = manager.buildVolume();

    QVERIFY(settings.setUserPrinters({twelveK()}, nullptr));
    settings.setModelIndex(settings.printerIndex("12K"));
    const QVector3D volume = manager.buildVolume();
    QVERIFY2(qFuzzyCompare(volume, QVector3D(218.88f, 122.88f, 250)) && !qFuzzyCompare(volume, k20c),
             "the view's build volume is the 12K printer's");
    model->updateBounds(true);
    QVERIFY2(model->boundMin == min && model->boundMax == max, "the model stays where it was");
}

QTEST_MAIN(TstPrinterProfile)
#include "tst_printerprofile.moc"
