#include "settings/KaloConfig.h"

#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString settingsFile = QStringLiteral("slice.custom.conf");

// Where the default settings object falls back to; the test mode keeps it
// out of the user's own folder.
QString fallbackFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/kalo3d/slice.custom.conf");
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void writeSettingsFile(const QByteArray &bytes)
{
    QFile file(settingsFile);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "test settings file should be writable");
    file.write(bytes);
}

QByteArray binaryJson(const QJsonDocument &doc)
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const QByteArray bytes = doc.toBinaryData();
    QT_WARNING_POP
    return bytes;
}

} // namespace

class TstKaloConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void defaultsWithoutSettingsFile();
    void getConfig_data();
    void getConfig();
    void getConfigOverloadsAsQmlCallsThem();
    void setterRounding_data();
    void setterRounding();
    void saveLoadRoundTrip();
    void exitSavesLiftChangedSinceLastSave();
    void unreadableSettingsKeepBuiltInValues_data();
    void unreadableSettingsKeepBuiltInValues();
    void missingKeysKeepCurrentValues();
    void unknownPrinterIndexUsesInitialPrinterGeometry();
    void saveFailsWhenFileCannotBeWritten();
    void failedSaveKeepsOldFile();
};

void TstKaloConfig::init()
{
    QStandardPaths::setTestModeEnabled(true);
    QFile::remove(fallbackFile());
    QFile::remove(settingsFile);
    QDir().rmdir(settingsFile);
}

void TstKaloConfig::cleanup()
{
    init();
}

void TstKaloConfig::defaultsWithoutSettingsFile()
{
    std::unique_ptr<KaloConfig> config(KaloConfig::instance());
    QCOMPARE(KaloConfig::instance(), config.get());

    QCOMPARE(config->modelPrinters().value(config->modelIndex()), QStringLiteral("K20C"));
    QCOMPARE(config->resinIndex(), 0);
    QCOMPARE(config->thicknessUM(), 50);
    QCOMPARE(config->bottomLayerNum(), 3);
    QCOMPARE(config->bottomExpoMS(), 30000);
    QVERIFY2(config->normalExpoMS() == 8000, "the K20C rigid resin preset should replace the initial 10000 ms");
    QVERIFY(config->useAntialise());
    QCOMPARE(config->antiAliseValue(), 2.0f);
    QCOMPARE(config->buildHeightMm(), 150);
    QCOMPARE(config->getMaxExpoSec(), 180);

    const SliceBuildConfig *c = config->buildConfig();
    QCOMPARE(c->layerThickness, 0.05f);
    QCOMPARE(c->bottomLayers, 3);
    QCOMPARE(c->bottomExposureMs, 30000);
    QCOMPARE(c->normalExposureMs, 8000);
    QCOMPARE(c->resolutionX, 1375);
    QCOMPARE(c->resolutionY, 2455);
    QCOMPARE(c->pixelsPerMmX, double(21.164021f));
    QCOMPARE(c->pixelsPerMmY, double(21.164021f));
    QCOMPARE(config->property("liftHeight").toFloat(), 4.0f);
    QCOMPARE(config->property("liftUpSpeed").toFloat(), 100.0f);
    QCOMPARE(config->property("liftDownSpeed").toFloat(), 100.0f);
    QCOMPARE(config->property("waitSecAfterStop").toFloat(), 2.0f);

    QCOMPARE(config->modelPrinters(),
             QStringList({"K20", "K20A", "K20C", "K20D", "K20DO", "K30", "SL1S"}));
    QCOMPARE(config->resinTypes(),
             QStringList({"Rigid resin", "Elastic resin", "Toughness resin", "Foundry Resin"}));
}

void TstKaloConfig::getConfig_data()
{
    QTest::addColumn<uint>("printer");
    QTest::addColumn<uint>("resin");
    QTest::addColumn<uint>("thick");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("K20C foundry resin at its preset thickness")
        << 2u << 3u << 0u << QStringList{"3", "20", "3", "120000", "20000"};
    QTest::newRow("doubling the thickness caps the bottom exposure")
        << 2u << 3u << 40u << QStringList{"3", "40", "3", "180000", "40000"};
    QTest::newRow("K20 elastic resin at half thickness")
        << 0u << 1u << 25u << QStringList{"1", "25", "3", "15000", "6000"};
    QTest::newRow("preset thickness asked explicitly")
        << 2u << 0u << 50u << QStringList{"0", "50", "3", "30000", "8000"};
    QTest::newRow("K20 foundry resin") << 0u << 3u << 0u << QStringList{"3", "20", "3", "150000", "30000"};
    QTest::newRow("K30 uses the K20C group, scaled to 100 um")
        << 5u << 2u << 100u << QStringList{"2", "100", "3", "60000", "20000"};
    QTest::newRow("thinner layer shortens both exposures")
        << 0u << 0u << 30u << QStringList{"0", "30", "3", "18000", "6000"};
    QTest::newRow("unknown printer falls back to initial values")
        << 9u << 1u << 0u << QStringList{"1", "50", "3", "30000", "10000"};
    QTest::newRow("unknown resin falls back to initial values, scaled")
        << 2u << 4u << 25u << QStringList{"4", "25", "3", "15000", "5000"};
}

void TstKaloConfig::getConfig()
{
    QFETCH(uint, printer);
    QFETCH(uint, resin);
    QFETCH(uint, thick);
    QFETCH(QStringList, expected);

    KaloConfig config;
    QCOMPARE(config.getConfig(printer, resin, thick), expected);
}

void TstKaloConfig::getConfigOverloadsAsQmlCallsThem()
{
    KaloConfig config;
    QStringList one, two;
    QVERIFY2(QMetaObject::invokeMethod(&config, "getConfig", Q_RETURN_ARG(QStringList, one), Q_ARG(uint, 0)),
             "getConfig(printer) should be invokable");
    QVERIFY2(QMetaObject::invokeMethod(&config, "getConfig", Q_RETURN_ARG(QStringList, two), Q_ARG(uint, 2),
                                       Q_ARG(uint, 3)),
             "getConfig(printer, resin) should be invokable");
    QVERIFY2(one == QStringList({"0", "50", "3", "30000", "10000"}), "one argument means resin 0, preset thickness");
    QVERIFY2(two == QStringList({"3", "20", "3", "120000", "20000"}), "two arguments mean preset thickness");
}

void TstKaloConfig::setterRounding_data()
{
    QTest::addColumn<QString>("setter");
    QTest::addColumn<float>("input");
    QTest::addColumn<double>("expected");

    QTest::newRow("35 um") << "setThicknessMM" << 0.035f << 35.0;
    QTest::newRow("29 um, not truncated to 28") << "setThicknessMM" << 0.029f << 29.0;
    QTest::newRow("bottom 2.46 s onto the tenth grid") << "setBottomExpoSec" << 2.46f << 2500.0;
    QTest::newRow("bottom half tenth rounds up") << "setBottomExpoSec" << 2.25f << 2300.0;
    QTest::newRow("normal 2.44 s") << "setNormalExpoSec" << 2.44f << 2400.0;
    QTest::newRow("normal half tenth rounds up") << "setNormalExpoSec" << 7.25f << 7300.0;
    QTest::newRow("anti-aliasing 2.26") << "antiAliseValue" << 2.26f << 2.3;
    QTest::newRow("anti-aliasing 2.24") << "antiAliseValue" << 2.24f << 2.2;
    QTest::newRow("anti-aliasing half rounds up") << "antiAliseValue" << 2.25f << 2.3;
}

void TstKaloConfig::setterRounding()
{
    QFETCH(QString, setter);
    QFETCH(float, input);
    QFETCH(double, expected);

    KaloConfig config;
    double actual = 0;
    if (setter == QLatin1String("setThicknessMM")) {
        config.setThicknessMM(input);
        actual = config.thicknessUM();
    } else if (setter == QLatin1String("setBottomExpoSec")) {
        config.setBottomExpoSec(input);
        actual = config.bottomExpoMS();
    } else if (setter == QLatin1String("setNormalExpoSec")) {
        config.setNormalExpoSec(input);
        actual = config.normalExpoMS();
    } else {
        config.antiAliseValue(input);
        actual = double(config.antiAliseValue());
    }
    QVERIFY2(qFuzzyCompare(float(actual), float(expected)),
             qPrintable(QStringLiteral("%1(%2) read back %3, expected %4").arg(setter).arg(input).arg(actual).arg(expected)));
}

void TstKaloConfig::saveLoadRoundTrip()
{
    {
        KaloConfig config;
        config.setModelIndex(0);
        config.setResinIndex(3);
        config.setThicknessMM(0.035f);
        config.setBottomLayerNum(5);
        config.setBottomExpoSec(45.6f);
        config.setNormalExpoSec(7.3f);
        config.useAntialise(false);
        config.antiAliseValue(3.5f);
        config.setLiftHeight(6.5f);
        config.setLiftUpSpeed(62.5f);
        config.setLiftDownSpeed(80.0f);
        config.setWaitSecAfterStop(1.5f);
        config.supportConfig()->setHeadTopRadius(0.45);
        config.supportConfig()->setFootHeight(1.5);
        config.supportConfig()->setMode(CWS::SupportConfig::IslandsOnly);
        config.supportConfig()->setPreset(CWS::SupportConfig::Heavy);
        config.supportConfig()->setCriticalAngle(30); // makes the preset Custom
        QVERIFY2(config.save(), "save into the working directory should succeed");
    }

    KaloConfig config;
    QCOMPARE(config.modelIndex(), 0);
    QCOMPARE(config.resinIndex(), 3);
    QCOMPARE(config.thicknessUM(), 35);
    QCOMPARE(config.bottomLayerNum(), 5);
    QVERIFY2(config.bottomExpoMS() == 45600, "the saved exposure should win over the resin preset");
    QCOMPARE(config.normalExpoMS(), 7300);
    QCOMPARE(config.useAntialise(), false);
    QCOMPARE(config.antiAliseValue(), 3.5f);
    QCOMPARE(config.liftHeight(), 6.5f);
    QCOMPARE(config.liftUpSpeed(), 62.5f);
    QCOMPARE(config.liftDownSpeed(), 80.0f);
    QCOMPARE(config.waitSecAfterStop(), 1.5f);
    QCOMPARE(config.supportConfig()->headTopRadius(), 0.45);
    QCOMPARE(config.supportConfig()->footHeight(), 1.5);
    QCOMPARE(config.supportConfig()->mode(), int(CWS::SupportConfig::IslandsOnly));
    QCOMPARE(config.supportConfig()->preset(), int(CWS::SupportConfig::Custom));
    QCOMPARE(config.supportConfig()->criticalAngle(), 30.0);
    QCOMPARE(config.supportConfig()->tipDiameter(), CWS::SupportConfig::presetShape(CWS::SupportConfig::Heavy).tipDiameter);

    const SliceBuildConfig *c = config.buildConfig();
    QVERIFY2(c->layerThickness == 0.035f && c->bottomLayers == 5 && c->bottomExposureMs == 45600
                 && c->normalExposureMs == 7300,
             "slicing should see the loaded values");
    QCOMPARE(config.buildHeightMm(), 130);
}

void TstKaloConfig::exitSavesLiftChangedSinceLastSave()
{
    {
        KaloConfig config;
        QVERIFY(config.save());
        QVERIFY(config.setProperty("liftHeight", 7.0f));
        QVERIFY(config.setProperty("waitSecAfterStop", 0.5f));
    }
    KaloConfig config;
    QCOMPARE(config.liftHeight(), 7.0f);
    QCOMPARE(config.waitSecAfterStop(), 0.5f);
}

void TstKaloConfig::unreadableSettingsKeepBuiltInValues_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("JSON as text") << QByteArray(R"({"modelIndex": 0, "normalExpoMS": 1000})");
    QTest::newRow("garbage") << QByteArray("qbjs\x01\x00\x00\x00garbage", 15);
    QTest::newRow("binary JSON array") << binaryJson(QJsonDocument(QJsonArray{1, 2, 3}));
    QByteArray truncated = binaryJson(QJsonDocument(QJsonObject{{"modelIndex", 0}, {"normalExpoMS", 1000}}));
    truncated.chop(8);
    QTest::newRow("truncated binary JSON") << truncated;
}

void TstKaloConfig::unreadableSettingsKeepBuiltInValues()
{
    QFETCH(QByteArray, content);
    writeSettingsFile(content);

    KaloConfig config;
    QVERIFY2(!config.load(), "a settings file without a JSON object should not load");
    QCOMPARE(config.modelIndex(), 2);
    QCOMPARE(config.normalExpoMS(), 8000);
    QCOMPARE(config.buildConfig()->resolutionX, 1375);
}

void TstKaloConfig::missingKeysKeepCurrentValues()
{
    writeSettingsFile(binaryJson(QJsonDocument(QJsonObject{{"thicknessUM", 35}, {"liftUpSpeed", 62.5}})));

    KaloConfig config;
    QCOMPARE(config.thicknessUM(), 35);
    QCOMPARE(config.liftUpSpeed(), 62.5f);
    QCOMPARE(config.modelIndex(), 2);
    QCOMPARE(config.normalExpoMS(), 8000);
    QCOMPARE(config.liftDownSpeed(), 100.0f);
    QCOMPARE(config.antiAliseValue(), 2.0f);
    QCOMPARE(config.buildConfig()->layerThickness, 0.035f);
    QCOMPARE(config.supportConfig()->headTopRadius(), 0.6);
    QCOMPARE(config.supportConfig()->autoSupportSpacing, 5.0);
}

void TstKaloConfig::unknownPrinterIndexUsesInitialPrinterGeometry()
{
    writeSettingsFile(binaryJson(QJsonDocument(QJsonObject{{"modelIndex", 9}})));

    KaloConfig config;
    QCOMPARE(config.modelIndex(), 2);
    QCOMPARE(config.printer().name, QStringLiteral("K20C"));
    QCOMPARE(config.buildHeightMm(), 150);
    QCOMPARE(config.buildConfig()->resolutionX, 1375);
    QCOMPARE(config.buildConfig()->resolutionY, 2455);
}

void TstKaloConfig::saveFailsWhenFileCannotBeWritten()
{
    // A directory in the settings file's place stands for a working folder
    // that cannot be written (permissions do not stop root): the settings go
    // to the per-user folder and are read from there at the next start.
    QVERIFY(QDir().mkdir(settingsFile));
    {
        KaloConfig config;
        config.setThicknessMM(0.035f);
        QVERIFY2(config.save(), "save should fall back to the per-user folder");
        QVERIFY2(config.buildConfig()->layerThickness == 0.035f, "slicing should still see the new thickness");
    }
    QVERIFY2(QFile::exists(fallbackFile()), qPrintable(fallbackFile()));
    KaloConfig config;
    QCOMPARE(config.thicknessUM(), 35);

    KaloConfig readOnly(settingsFile, true);
    QVERIFY2(!readOnly.save(), "a read-only settings object never writes");
}

void TstKaloConfig::failedSaveKeepsOldFile()
{
    {
        KaloConfig config;
        config.setThicknessMM(0.035f);
        QVERIFY(config.save());
    }
    const QByteArray before = fileBytes(settingsFile);

    // A child under a 64-byte file-size limit stands for a full disk; it
    // leaves without destructors so that only the explicit save runs.
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        setrlimit(RLIMIT_FSIZE, &limit);
        auto *config = new KaloConfig;
        config->setThicknessMM(0.08f);
        _exit(config->save() ? 1 : 0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the save should report the failure");
    QCOMPARE(fileBytes(settingsFile), before);
    QVERIFY2(!QFile::exists(fallbackFile()), "no partial settings file should be left in the per-user folder");
    KaloConfig config;
    QCOMPARE(config.thicknessUM(), 35);
}

QTEST_GUILESS_MAIN(TstKaloConfig)
#include "tst_kaloconfig.moc"
