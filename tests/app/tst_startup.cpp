#include "app/Startup.h"

#include <QtTest>

class TstStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dpiRatio_data();
    void dpiRatio();
    void translationFile_data();
    void translationFile();
};

void TstStartup::dpiRatio_data()
{
    QTest::addColumn<double>("logicalDpi");
    QTest::addColumn<double>("ratio");
    QTest::newRow("72 dpi is never shrunk") << 72.0 << 1.0;
    QTest::newRow("96 dpi") << 96.0 << 1.0;
    QTest::newRow("144 dpi") << 144.0 << 1.5;
    QTest::newRow("192 dpi") << 192.0 << 2.0;
}

void TstStartup::dpiRatio()
{
    QFETCH(double, logicalDpi);
    QFETCH(double, ratio);
    QCOMPARE(Startup::dpiRatio(logicalDpi), ratio);
}

void TstStartup::translationFile_data()
{
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<QString>("file");
    QTest::newRow("first language only") << QStringList{"de-DE", "zh-CN"} << "kalo3d_de_DE";
    QTest::newRow("plain language") << QStringList{"fr"} << "kalo3d_fr";
    QTest::newRow("no language") << QStringList{} << QString();
}

void TstStartup::translationFile()
{
    QFETCH(QStringList, languages);
    QFETCH(QString, file);
    QCOMPARE(Startup::translationFileName(languages), file);
}

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
