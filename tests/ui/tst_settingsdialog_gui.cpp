#include "common/MainWindow.h"
#include "common/UiDriver.h"

#include <QFile>
#include <QtTest>

#include <memory>

// The slice settings dialog behind the status bar's settings button: it
// proposes the preset values of a printer, resin and thickness, and OK stores
// what it shows.
class TstSettingsDialogGui : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void choicesProposePresetValues_data();
    void choicesProposePresetValues();
    void okStoresTheShownValues();
    void cancelKeepsTheStoredValues();
    void restoreDefaults();
    void printersPage();

private:
    QQuickItem *item(const QString &name) const { return m_main->item(name); }
    double value(const QString &name) const { return item(name)->property("value").toDouble(); }
    // Opens the dialog with the settings button; null when it does not show.
    QQuickWindow *openDialog()
    {
        m_main->click(QStringLiteral("settingsButton"));
        QQuickWindow *dialog = nullptr;
        if (!QTest::qWaitFor([&dialog] { return (dialog = UiDriver::windowTitled(QStringLiteral("Slice config"))); }))
            return nullptr;
        dialog->requestActivate();
        if (!QTest::qWaitFor([dialog] { return QGuiApplication::focusWindow() == dialog; }))
            return nullptr;
        return dialog;
    }
    // Steps a combo box by steps entries (negative: up), as the arrow keys do.
    void stepCombo(QQuickWindow *dialog, const QString &name, int steps)
    {
        item(name)->forceActiveFocus();
        for (int i = 0; i < std::abs(steps); ++i)
            QTest::keyClick(dialog, steps < 0 ? Qt::Key_Up : Qt::Key_Down);
    }
    void closeDialog(QQuickWindow *dialog, const QString &button)
    {
        QVERIFY2(UiDriver::clickButton(dialog, button), qPrintable(button + QStringLiteral(" button")));
        QTRY_VERIFY2(!dialog->isVisible(), "the dialog closes");
        QVERIFY(UiDriver::reactivate(*m_main));
    }

    std::unique_ptr<MainWindow> m_main;
};

void TstSettingsDialogGui::init()
{
    QFile::remove(QStringLiteral("slice.custom.conf"));
    QFile::remove(QStringLiteral("printers.json"));
    m_main = std::make_unique<MainWindow>();
    QVERIFY2(m_main->window(), "the main window is shown");
}

void TstSettingsDialogGui::cleanup()
{
    m_main.reset();
    QFile::remove(QStringLiteral("slice.custom.conf"));
    QFile::remove(QStringLiteral("printers.json"));
}

void TstSettingsDialogGui::printersPage()
{
    QQuickWindow *dialog = openDialog();
    QVERIFY(dialog);
    QTest::mouseClick(dialog, Qt::LeftButton, Qt::NoModifier, MainWindow::centreOf(item(QStringLiteral("printersButton"))));
    QQuickWindow *page = nullptr;
    QVERIFY2(QTest::qWaitFor([&page] { return (page = UiDriver::windowTitled(QStringLiteral("Printers"))); }),
             "\"Printers...\" opens the printers page");
    QCOMPARE(item(QStringLiteral("printerName"))->property("text").toString(), QStringLiteral("K20C"));
    QVERIFY2(UiDriver::clickButton(page, QStringLiteral("Copy")), "Copy button");
    QTRY_COMPARE(item(QStringLiteral("printerName"))->property("text").toString(), QStringLiteral("K20C copy"));
    item(QStringLiteral("printerName"))->setProperty("text", QStringLiteral("My 4K"));
    item(QStringLiteral("printerResolutionX"))->setProperty("value", 3840);
    item(QStringLiteral("printerSizeX"))->setProperty("value", 1001);
    QVERIFY2(UiDriver::clickButton(page, QStringLiteral("Save")), "Save button");
    const KaloConfig *config = m_main->config();
    QTRY_VERIFY2(config->printerIndex(QStringLiteral("My 4K")) > 0, "the edited copy is stored");
    const PrinterProfile &stored = config->printers()[size_t(config->printerIndex(QStringLiteral("My 4K")))];
    QVERIFY2(stored.resolutionX == 3840 && stored.sizeXMm == 1000 && !stored.builtIn,
             "the page keeps sizes within 1 to 1000 mm");
    QFile file(QStringLiteral("printers.json"));
    QVERIFY2(file.open(QIODevice::ReadOnly) && file.readAll().contains("\"My 4K\""), "and written beside the settings");
    file.close();
    MainWindow::keep(page->grabWindow(), QStringLiteral("printers_page"));
    QVERIFY2(UiDriver::clickButton(page, QStringLiteral("Delete")), "Delete button");
    QTRY_COMPARE(config->printerIndex(QStringLiteral("My 4K")), -1);
    QCOMPARE(config->printers().size(), size_t(7));
    QVERIFY2(UiDriver::clickButton(page, QStringLiteral("Close")), "Close button");
    QTRY_VERIFY(!page->isVisible());
    QCOMPARE(item(QStringLiteral("printerBox"))->property("currentText").toString(), QStringLiteral("K20C"));
    closeDialog(dialog, QStringLiteral("Cancel"));
}

void TstSettingsDialogGui::choicesProposePresetValues_data()
{
    QTest::addColumn<int>("printerSteps");
    QTest::addColumn<int>("resinSteps");
    QTest::addColumn<QString>("thickness"); // typed, empty: none
    QTest::addColumn<double>("expectedThickness");
    QTest::addColumn<double>("bottomExposure");
    QTest::addColumn<double>("exposure");

    // Starting from K20C (preset group 1) with rigid resin.
    QTest::newRow("K20 rigid") << -2 << 0 << "" << 0.05 << 30.0 << 10.0;
    QTest::newRow("K20C foundry") << 0 << 3 << "" << 0.02 << 120.0 << 20.0;
    QTest::newRow("K20C foundry at 40 µm is capped") << 0 << 3 << "0.04" << 0.04 << 180.0 << 40.0;
    QTest::newRow("K20 elastic at 25 µm") << -2 << 1 << "0.025" << 0.025 << 15.0 << 6.0;
}

void TstSettingsDialogGui::choicesProposePresetValues()
{
    QFETCH(int, printerSteps);
    QFETCH(int, resinSteps);
    QFETCH(QString, thickness);
    QFETCH(double, expectedThickness);
    QFETCH(double, bottomExposure);
    QFETCH(double, exposure);

    QQuickWindow *dialog = openDialog();
    QVERIFY2(dialog, "the settings button opens the dialog");
    QCOMPARE(item(QStringLiteral("printerBox"))->property("currentText").toString(), QStringLiteral("K20C"));
    // Custom lift values give way to the standard lift of a proposal.
    UiDriver::typeInto(dialog, item(QStringLiteral("bottomLayersBox")), QStringLiteral("7"), Qt::Key_Tab);
    item(QStringLiteral("liftHeightBox"))->setProperty("value", 9.0);

    stepCombo(dialog, QStringLiteral("printerBox"), printerSteps);
    stepCombo(dialog, QStringLiteral("resinBox"), resinSteps);
    if (!thickness.isEmpty())
        UiDriver::typeInto(dialog, item(QStringLiteral("thicknessBox")), thickness, Qt::Key_Tab);

    QCOMPARE(value(QStringLiteral("thicknessBox")), expectedThickness);
    QCOMPARE(value(QStringLiteral("bottomLayersBox")), 3.0);
    QCOMPARE(value(QStringLiteral("bottomExposureBox")), bottomExposure);
    QCOMPARE(value(QStringLiteral("exposureBox")), exposure);
    QCOMPARE(value(QStringLiteral("liftHeightBox")), 4.0);
    QCOMPARE(value(QStringLiteral("waitAfterStopBox")), 2.0);
    QCOMPARE(m_main->config()->thicknessUM(), 50);
    closeDialog(dialog, QStringLiteral("Cancel"));
}

void TstSettingsDialogGui::okStoresTheShownValues()
{
    QQuickWindow *dialog = openDialog();
    QVERIFY(dialog);
    stepCombo(dialog, QStringLiteral("printerBox"), -2);
    stepCombo(dialog, QStringLiteral("resinBox"), 3);
    UiDriver::typeInto(dialog, item(QStringLiteral("exposureBox")), QStringLiteral("32.5"), Qt::Key_Tab);
    QTest::mouseClick(dialog, Qt::LeftButton, Qt::NoModifier, MainWindow::centreOf(item(QStringLiteral("antialiasBox"))));
    // The lift settings are in a drawer.
    QVERIFY(!item(QStringLiteral("liftHeightBox"))->isVisible());
    QTest::mouseClick(dialog, Qt::LeftButton, Qt::NoModifier, MainWindow::centreOf(item(QStringLiteral("liftDrawer"))));
    QVERIFY2(item(QStringLiteral("liftHeightBox"))->isVisible(), "the drawer opens");
    QTRY_VERIFY(dialog->height() >= dialog->contentItem()->childrenRect().height());
    UiDriver::typeInto(dialog, item(QStringLiteral("liftUpSpeedBox")), QStringLiteral("60"), Qt::Key_Tab);
    QTest::qWait(300); // the drawer's arrow turns
    MainWindow::keep(dialog->grabWindow(), QStringLiteral("settings_dialog"));
    closeDialog(dialog, QStringLiteral("OK"));

    KaloConfig *config = m_main->config();
    QCOMPARE(config->modelIndex(), 0);
    QCOMPARE(config->resinIndex(), 3);
    QCOMPARE(config->thicknessUM(), 20);
    QCOMPARE(config->bottomExpoMS(), 150000);
    QCOMPARE(config->normalExpoMS(), 32500);
    QVERIFY2(!config->useAntialise(), "anti-aliasing was switched off");
    QCOMPARE(config->liftUpSpeed(), 60.0f);
    QCOMPARE(config->liftHeight(), 4.0f);
    QVERIFY2(QFile::exists(QStringLiteral("slice.custom.conf")), "OK saves the settings file");
    QCOMPARE(config->buildConfig()->layerThickness, 0.02f);

    QCOMPARE(item(QStringLiteral("settingsButton"))->property("text").toString(), QStringLiteral("K20, 0.02mm"));
}

void TstSettingsDialogGui::cancelKeepsTheStoredValues()
{
    QQuickWindow *dialog = openDialog();
    QVERIFY(dialog);
    stepCombo(dialog, QStringLiteral("resinBox"), 3);
    item(QStringLiteral("liftDownSpeedBox"))->setProperty("value", 150);
    closeDialog(dialog, QStringLiteral("Cancel"));
    QCOMPARE(m_main->config()->resinIndex(), 0);
    QCOMPARE(m_main->config()->liftDownSpeed(), 100.0f);
    QCOMPARE(item(QStringLiteral("settingsButton"))->property("text").toString(), QStringLiteral("K20C, 0.05mm"));

    dialog = openDialog();
    QVERIFY(dialog);
    QCOMPARE(item(QStringLiteral("resinBox"))->property("currentIndex").toInt(), 0);
    QCOMPARE(value(QStringLiteral("thicknessBox")), 0.05);
    QCOMPARE(value(QStringLiteral("liftDownSpeedBox")), 100.0);
    closeDialog(dialog, QStringLiteral("Cancel"));
}

void TstSettingsDialogGui::restoreDefaults()
{
    QQuickWindow *dialog = openDialog();
    QVERIFY(dialog);
    QVERIFY(item(QStringLiteral("antialiasBox"))->property("checked").toBool());
    UiDriver::typeInto(dialog, item(QStringLiteral("antialiasValueBox")), QStringLiteral("4"), Qt::Key_Tab);
    QTest::mouseClick(dialog, Qt::LeftButton, Qt::NoModifier, MainWindow::centreOf(item(QStringLiteral("antialiasBox"))));
    QVERIFY(!item(QStringLiteral("antialiasBox"))->property("checked").toBool());
    UiDriver::typeInto(dialog, item(QStringLiteral("bottomExposureBox")), QStringLiteral("50"), Qt::Key_Tab);
    QVERIFY2(UiDriver::clickButton(dialog, QStringLiteral("Restore Defaults")), "Restore Defaults button");
    QVERIFY2(dialog->isVisible(), "Restore Defaults leaves the dialog open");
    QVERIFY2(item(QStringLiteral("antialiasBox"))->property("checked").toBool(), "anti-aliasing is on, as at the first start");
    QCOMPARE(value(QStringLiteral("antialiasValueBox")), 2.0);
    QCOMPARE(value(QStringLiteral("bottomExposureBox")), 30.0);
    QCOMPARE(value(QStringLiteral("exposureBox")), 8.0);
    closeDialog(dialog, QStringLiteral("Cancel"));
}

QTEST_MAIN(TstSettingsDialogGui)
#include "tst_settingsdialog_gui.moc"
