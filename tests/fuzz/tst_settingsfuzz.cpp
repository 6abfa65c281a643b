#include "fuzz/Mutations.h"
#include "fuzz/SettingsFuzzTarget.h"
#include "settings/KaloConfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

// The value of the setting that key of the settings file holds.
double setting(KaloConfig &settings, const QString &key)
{
    const SliceBuildConfig &c = *settings.buildConfig();
    const QHash<QString, double> values{
        {QStringLiteral("thicknessUM"), settings.thicknessUM()},
        {QStringLiteral("bottomLayerNum"), settings.bottomLayerNum()},
        {QStringLiteral("bottomExpoMS"), settings.bottomExpoMS()},
        {QStringLiteral("normalExpoMS"), settings.normalExpoMS()},
        {QStringLiteral("antiAliseValue"), double(settings.antiAliseValue())},
        {QStringLiteral("liftHeight"), double(c.liftHeight)},
        {QStringLiteral("liftUpSpeed"), double(c.liftUpSpeed)},
        {QStringLiteral("liftDownSpeed"), double(c.liftDownSpeed)},
        {QStringLiteral("waitSecAfterStop"), double(c.waitSecAfterStop)},
        {QStringLiteral("modelIndex"), settings.modelIndex()},
        {QStringLiteral("resinIndex"), settings.resinIndex()},
    };
    return values.value(key, std::nan(""));
}

} // namespace

// Settings files edited by hand or damaged: a value the settings dialog
// could not set is ignored, keeping the built-in one, so that slicing never
// sees a layer of no thickness, an exposure beyond an int or a speed that is
// no number; random damage of real settings files is read safely. The short
// run is part of every test pass; fuzz_settings.cpp runs the same target
// under libFuzzer for long runs.
class TstSettingsFuzz : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void valuesOutsideTheDialogAreIgnored_data();
    void valuesOutsideTheDialogAreIgnored();
    void mutatedSettingsAreSafe();

private:
    QString path() const { return m_dir.filePath(QStringLiteral("slice.custom.conf")); }

    QTemporaryDir m_dir;
};

void TstSettingsFuzz::valuesOutsideTheDialogAreIgnored_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("taken");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const struct
    {
        const char *key;
        double value;
        bool taken;
    } rows[] = {
        {"thicknessUM", 35, true},        {"thicknessUM", 0, false},        {"thicknessUM", 5, false},
        {"thicknessUM", 35.5, false},     {"thicknessUM", 1e9, false},      {"bottomLayerNum", 10, true},
        {"bottomLayerNum", -1, false},    {"bottomLayerNum", 1e6, false},   {"bottomExpoMS", 45600, true},
        {"bottomExpoMS", 1e300, false},   {"bottomExpoMS", -1, false},      {"bottomExpoMS", nan, false},
        {"normalExpoMS", 1000, true},     {"normalExpoMS", 0, false},       {"normalExpoMS", 180001, false},
        {"antiAliseValue", 3.5, true},    {"antiAliseValue", 1, false},     {"antiAliseValue", 1e30, false},
        {"liftHeight", 6.5, true},        {"liftHeight", infinity, false},  {"liftHeight", 2, false},
        {"liftUpSpeed", 62.5, true},      {"liftUpSpeed", 0, false},        {"liftUpSpeed", -100, false},
        {"liftDownSpeed", 200, true},     {"liftDownSpeed", 1e9, false},    {"waitSecAfterStop", 0, true},
        {"waitSecAfterStop", -1, false},  {"waitSecAfterStop", 3600, false},
        // A printer or resin index past its list selects the initial one.
        {"modelIndex", 0, true},          {"modelIndex", 9, false},         {"modelIndex", -1, false},
        {"resinIndex", 3, true},          {"resinIndex", 4, false},         {"resinIndex", 1.5, false},
    };
    for (const auto &row : rows) {
        QTest::addRow("%s %g", row.key, row.value) << QString::fromLatin1(row.key) << row.value << row.taken;
    }
}

void TstSettingsFuzz::valuesOutsideTheDialogAreIgnored()
{
    QFETCH(QString, key);
    QFETCH(double, value);
    QFETCH(bool, taken);
    QFile file(path());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    file.write(QJsonDocument(QJsonObject{{key, value}}).toBinaryData());
    QT_WARNING_POP
    file.close();

    KaloConfig builtIn(QString(), true);
    const double expected = taken ? value : setting(builtIn, key);
    KaloConfig settings(path(), true);

    QVERIFY2(setting(settings, key) == expected,
             qPrintable(QStringLiteral("%1 %2 in the file should give %3, got %4")
                            .arg(key)
                            .arg(value)
                            .arg(expected)
                            .arg(setting(settings, key))));
}

void TstSettingsFuzz::mutatedSettingsAreSafe()
{
    constexpr int iterations = 1000;
    const QtMessageHandler previous = qInstallMessageHandler(dropMessage);
    const QList<QByteArray> seeds = SettingsFuzz::seeds();
    bool seedsRead = true;
    for (const QByteArray &seed : seeds)
        seedsRead = SettingsFuzz::run(seed, path()) && seedsRead;

    QRandomGenerator random(20240612);
    int read = 0;
    for (int i = 0; i < iterations; ++i) {
        if (SettingsFuzz::run(Mutations::mutated(seeds[i % seeds.size()], random, Mutations::LittleEndian), path()))
            ++read;
    }
    qInstallMessageHandler(previous);

    QVERIFY2(seedsRead, "the unchanged settings files are read");
    QVERIFY2(read > 0 && read < iterations,
             qPrintable(QStringLiteral("%1 of %2 damaged settings files were read").arg(read).arg(iterations)));
    qInfo() << read << "of" << iterations << "damaged settings files read";
}

QTEST_GUILESS_MAIN(TstSettingsFuzz)
#include "tst_settingsfuzz.moc"
