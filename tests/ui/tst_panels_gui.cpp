#include "common/MainWindow.h"
#include "common/TestMeshes.h"
#include "common/UiDriver.h"
#include "geometry/Model.h"
#include "supports/Support.h"

#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace TestMeshes;

namespace {

const QStringList leftButtons = {"buttonInfo",    "buttonMove",   "buttonScale",  "buttonRotate",
                                 "buttonFlip",    "buttonCopy",   "buttonSupport", "buttonHollow",
                                 "buttonLayout",  "buttonSlice"};

// The model to look at in the screenshots: the file KALO3D_SCREENSHOT_MODEL
// names, when it exists, otherwise generated.
QString screenshotModel()
{
    const QString file = qEnvironmentVariable("KALO3D_SCREENSHOT_MODEL");
    if (!file.isEmpty() && QFileInfo::exists(file))
        return file;
    return UiDriver::stlFile(QStringLiteral("ring.stl"), ring(20, 12, 15));
}

} // namespace

// The left column, its pages and the other panels of the main window, driven
// through their items with the real model manager.
class TstPanelsGui : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_main.reset(); }

    void emptyWindowOnlyMenuSettingsAndViewButtonsReact();
    void loadingAnStlEnablesTheEditingButtons();
    void pagesOpenBesideTheirButtons_data();
    void pagesOpenBesideTheirButtons();
    void movePageMovesAsTypedAndLoadsWithoutMoving();
    void scaleAllScalesEvenly();
    void editsKeepTheModelWhereItStood_data();
    void editsKeepTheModelWhereItStood();
    void copyLayoutAndSliceButtons();
    void selectedSupportCannotBeEdited();
    void modelWithSupportsMovesAndFlipsInXYOnly();
    void supportPageSettingsAndManualMode();
    void automaticSupportsShowTheirProgress();
    void hollowPageHollowsAndDrains();
    void closingAPageGivesTheKeysBackToTheView();
    void previewSliderShowsTheChosenLayer();

private:
    QQuickItem *item(const QString &name) const
    {
        QQuickItem *found = m_main->item(name);
        if (!found)
            qWarning() << "no item" << name;
        return found;
    }
    bool enabled(const QString &name) const { return item(name)->isEnabled(); }
    QString text(const QString &name) const { return item(name)->property("text").toString(); }
    // The status bar shows the figures slicing would give now.
    void verifyFigures() const
    {
        KaloModel *manager = m_main->manager();
        QCOMPARE(text(QStringLiteral("volumeText")), QString::number(double(manager->getTotalVolume()), 'f', 2));
        QCOMPARE(text(QStringLiteral("layersText")), QString::number(manager->printLayers()));
    }
    QStringList enabledButtons() const
    {
        QStringList on;
        for (const QString &name : leftButtons) {
            if (enabled(name))
                on << name;
        }
        return on;
    }
    // A 20 mm cube opened through File → Open, selected as after any load.
    Model *openCube()
    {
        const QString file = UiDriver::stlFile(QStringLiteral("cube.stl"), cube(20));
        if (!UiDriver::openThroughMenu(*m_main, file))
            return nullptr;
        return m_main->manager()->selectedModel();
    }
    // A support column 5 mm long under model, as automatic supports add them.
    CWS::Support *addSupport(Model *model)
    {
        CWS::Support *support = m_main->manager()->createSupport(2, 2, 5, model);
        support->bakeInverseTransform();
        support->updateBounds(true);
        return support;
    }
    void keep(const QString &name) const { MainWindow::keep(m_main->frame(), name); }

    std::unique_ptr<MainWindow> m_main;
};

void TstPanelsGui::init()
{
    m_main = std::make_unique<MainWindow>();
    QVERIFY2(m_main->window(), "the main window is shown");
}

void TstPanelsGui::emptyWindowOnlyMenuSettingsAndViewButtonsReact()
{
    keep(QStringLiteral("main_empty"));
    QVERIFY2(item(QStringLiteral("hintText"))->isVisible(), "the hint shows while the scene is empty");
    QCOMPARE(enabledButtons(), QStringList());
    QVERIFY2(!enabled(QStringLiteral("showSliceBox")), "no preview without a model");
    QVERIFY2(!enabled(QStringLiteral("layerSlider")), "no layers without a model");

    // A disabled button does nothing when clicked.
    m_main->click(QStringLiteral("buttonMove"));
    QVERIFY2(!item(QStringLiteral("pageMove"))->isVisible(), "the Move page stays closed");

    KaloModel *manager = m_main->manager();
    const float scale = manager->camera().viewScale;
    m_main->click(QStringLiteral("zoomOutButton"));
    QVERIFY2(manager->camera().viewScale > scale, "\"+\" brings the scene closer");
    m_main->click(QStringLiteral("zoomInButton"));
    m_main->click(QStringLiteral("zoomInButton"));
    QVERIFY2(manager->camera().viewScale < scale, "\"-\" moves it away");
    m_main->click(QStringLiteral("homeButton"));
    QCOMPARE(manager->camera().viewScale, scale);

    QVERIFY2(enabled(QStringLiteral("settingsButton")), "the settings can be changed at any time");
    m_main->click(QStringLiteral("settingsButton"));
    auto *settings = m_main->item<QObject>(QStringLiteral("sliceSettingDialog"));
    QTRY_VERIFY2(settings->property("visible").toBool(), "the settings button opens the settings dialog");
    QMetaObject::invokeMethod(settings, "reject");
    QVERIFY(UiDriver::reactivate(*m_main));
}

void TstPanelsGui::loadingAnStlEnablesTheEditingButtons()
{
    const QString file = screenshotModel();
    QVERIFY2(UiDriver::openThroughMenu(*m_main, file), "File → Open offers the file dialog");
    KaloModel *manager = m_main->manager();
    QCOMPARE(manager->status(), KaloModel::MODEL_LOADED);
    QVERIFY2(manager->selectedModel(), "the loaded model is selected");

    QCOMPARE(enabledButtons(), leftButtons);
    QVERIFY2(!item(QStringLiteral("hintText"))->isVisible(), "the hint goes with the first model");
    QVERIFY2(enabled(QStringLiteral("showSliceBox")), "the preview can be switched on");
    const Model *model = manager->selectedModel();
    QCOMPARE(item(QStringLiteral("volumeText"))->property("text").toString(),
             QString::number(double(model->volume), 'f', 2));
    QCOMPARE(item(QStringLiteral("layersText"))->property("text").toString(),
             QString::number(manager->calcNumSlices()));
    keep(QStringLiteral("main_loaded_selected"));
    QTest::mouseMove(m_main->window(), MainWindow::centreOf(item(QStringLiteral("buttonMove"))));
    QTest::qWait(800); // the tool tip's delay
    keep(QStringLiteral("tooltip_move"));
    m_main->click(QStringLiteral("buttonSupport"));
    m_main->window()->resize(m_main->window()->minimumSize());
    QTRY_COMPARE(m_main->window()->size(), QSize(800, 600));
    QTest::qWait(300); // the new size reaches the frame buffer
    keep(QStringLiteral("main_smallest"));
    const QRectF supportPage = item(QStringLiteral("pageSupport"))->mapRectToScene(QRectF(0, 0, 350, 520));
    QVERIFY2(m_main->window()->contentItem()->contains(supportPage.bottomRight()),
             "pages stay inside the smallest window");
    QVERIFY2(supportPage.bottom() <= item(QStringLiteral("bottomLabel"))->mapToScene(QPointF()).y(),
             "and end above the status bar");
    m_main->click(QStringLiteral("buttonSupport"));

    // Deleting the only model empties the scene again.
    QTest::keyClick(m_main->window(), Qt::Key_Delete);
    QCOMPARE(manager->status(), KaloModel::MODEL_INIT);
    QCOMPARE(enabledButtons(), QStringList());
    QVERIFY(item(QStringLiteral("hintText"))->isVisible());
}

void TstPanelsGui::pagesOpenBesideTheirButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QSize>("size");
    QTest::newRow("Info") << "buttonInfo" << "pageInfo" << QSize(150, 120);
    QTest::newRow("Move") << "buttonMove" << "pageMove" << QSize(300, 150);
    QTest::newRow("Scale") << "buttonScale" << "pageScale" << QSize(230, 180);
    QTest::newRow("Rotate") << "buttonRotate" << "pageRotate" << QSize(150, 150);
    QTest::newRow("Flip") << "buttonFlip" << "pageFlip" << QSize(250, 50);
    QTest::newRow("Support") << "buttonSupport" << "pageSupport" << QSize(350, 520);
    QTest::newRow("Hollow") << "buttonHollow" << "pageHollow" << QSize(350, 330);
}

void TstPanelsGui::pagesOpenBesideTheirButtons()
{
    QFETCH(QString, button);
    QFETCH(QString, page);
    QFETCH(QSize, size);
    const QString file = screenshotModel();
    QVERIFY(UiDriver::openThroughMenu(*m_main, file));

    // Another page is open: this button replaces it.
    const QString other = page == QLatin1String("pageInfo") ? QStringLiteral("buttonMove") : QStringLiteral("buttonInfo");
    m_main->click(other);
    m_main->click(button);
    QQuickItem *pageItem = item(page);
    QVERIFY2(pageItem->isVisible(), "the button opens its page");
    QCOMPARE(pageItem->size().toSize(), size);
    int open = 0;
    for (const char *name : {"pageInfo", "pageMove", "pageScale", "pageRotate", "pageFlip", "pageSupport", "pageHollow"})
        open += item(QLatin1String(name))->isVisible() ? 1 : 0;
    QCOMPARE(open, 1);

    const QQuickItem *buttonItem = item(button);
    const QRectF buttonRect = buttonItem->mapRectToScene(QRectF(0, 0, buttonItem->width(), buttonItem->height()));
    const QRectF pageRect = pageItem->mapRectToScene(QRectF(0, 0, pageItem->width(), pageItem->height()));
    const QQuickItem *column = item(QStringLiteral("leftButtons"));
    const double dpiRatio = Startup::dpiRatio(m_main->window()->screen()->logicalDotsPerInch());
    QCOMPARE(pageRect.left(), column->mapToScene(QPointF(column->width(), 0)).x() + 10 * dpiRatio);
    // Beside its button, or as far up as it needs to end above the status bar.
    const qreal statusBarTop = item(QStringLiteral("bottomLabel"))->mapToScene(QPointF()).y();
    if (pageRect.bottom() < statusBarTop - 5)
        QCOMPARE(pageRect.top(), buttonRect.top());
    else
        QVERIFY2(pageRect.top() <= buttonRect.top(), "a tall page moves up, not down");
    QVERIFY2(pageRect.bottom() <= statusBarTop, "the page leaves the status bar free");
    keep(QStringLiteral("page_") + page.mid(4).toLower());

    if (page == QLatin1String("pageInfo")) {
        QCOMPARE(item(QStringLiteral("infoVolume"))->property("text").toString(),
                 QString::number(double(m_main->manager()->selectedModel()->volume), 'f', 2));
        // The open page follows an edit.
        const QString before = text(QStringLiteral("infoX"));
        m_main->manager()->setSelectedModelScale(2, 2, 2);
        QCOMPARE(text(QStringLiteral("infoX")), m_main->manager()->getSelectedModelInfo().first());
        QVERIFY2(text(QStringLiteral("infoX")) != before, "the size doubled");
    }

    m_main->click(button);
    QVERIFY2(!pageItem->isVisible(), "a second click closes the page");
}

void TstPanelsGui::movePageMovesAsTypedAndLoadsWithoutMoving()
{
    Model *first = openCube();
    QVERIFY(first);
    Model *second = openCube();
    QVERIFY(second && second != first);
    KaloModel *manager = m_main->manager();
    second->setTranslate(30, 0, 0);
    manager->selectModel(first);

    m_main->click(QStringLiteral("buttonMove"));
    UiDriver::typeInto(m_main->window(), item(QStringLiteral("moveX")), QStringLiteral("12.5"));
    QCOMPARE(first->translate, QVector3D(12.5f, 0, 0));
    QCOMPARE(item(QStringLiteral("moveX"))->property("value").toDouble(), 12.5);

    // The page now shows the other model's place and moves nothing.
    manager->selectModel(second);
    QCOMPARE(item(QStringLiteral("moveX"))->property("value").toDouble(), 30.0);
    QCOMPARE(first->translate, QVector3D(12.5f, 0, 0));
    QCOMPARE(second->translate, QVector3D(30, 0, 0));

    second->setTranslate(30, 0, 6);
    m_main->click(QStringLiteral("dockToBottom"));
    QCOMPARE(second->translate.z(), 0.0f);
    QCOMPARE(item(QStringLiteral("moveZ"))->property("value").toDouble(), 0.0);

    m_main->click(QStringLiteral("moveReset"));
    QCOMPARE(second->translate, QVector3D());
}

void TstPanelsGui::scaleAllScalesEvenly()
{
    Model *first = openCube();
    Model *second = openCube();
    QVERIFY(first && second);
    KaloModel *manager = m_main->manager();
    manager->selectModel(first);

    m_main->click(QStringLiteral("buttonScale"));
    QVERIFY2(item(QStringLiteral("scaleAll"))->property("checked").toBool(), "Scale All is on for an even scale");
    QVERIFY2(!enabled(QStringLiteral("scaleY")) && !enabled(QStringLiteral("scaleZ")), "Y and Z follow X");
    UiDriver::typeInto(m_main->window(), item(QStringLiteral("scaleX")), QStringLiteral("2"));
    QCOMPARE(first->scale, QVector3D(2, 2, 2));
    QCOMPARE(item(QStringLiteral("scaleZ"))->property("value").toDouble(), 2.0);

    m_main->click(QStringLiteral("scaleAll"));
    QVERIFY(enabled(QStringLiteral("scaleY")));
    UiDriver::typeInto(m_main->window(), item(QStringLiteral("scaleY")), QStringLiteral("0.5"));
    QCOMPARE(first->scale, QVector3D(2, 0.5f, 2));

    // Uneven scales show with Scale All off; selecting shows and scales nothing.
    manager->selectModel(second);
    QVERIFY(item(QStringLiteral("scaleAll"))->property("checked").toBool());
    QCOMPARE(second->scale, QVector3D(1, 1, 1));
    manager->selectModel(first);
    QVERIFY2(!item(QStringLiteral("scaleAll"))->property("checked").toBool(), "an uneven scale shows Scale All off");
    QCOMPARE(item(QStringLiteral("scaleY"))->property("value").toDouble(), 0.5);
    QCOMPARE(first->scale, QVector3D(2, 0.5f, 2));

    m_main->click(QStringLiteral("scaleReset"));
    QCOMPARE(first->scale, QVector3D(1, 1, 1));
}

void TstPanelsGui::editsKeepTheModelWhereItStood_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<float>("base");  // thickness of a base plate (mm), 0: none
    QTest::addColumn<float>("raise"); // how high the user lifted the model (mm)
    // A 20 x 10 x 4 mm slab turns about its centroid, 2 mm above the plate.
    for (const char *edit : {"scale 0.5", "rotate 90 about x", "flip z"}) {
        QTest::addRow("%s on the plate", edit) << QString::fromLatin1(edit) << 0.0f << 0.0f;
        QTest::addRow("%s raised 5 mm", edit) << QString::fromLatin1(edit) << 0.0f << 5.0f;
    }
    QTest::newRow("scale 0.5 on a base plate") << "scale 0.5" << 1.5f << 0.0f;
    QTest::newRow("rotate 90 about x on a base plate") << "rotate 90 about x" << 1.5f << 0.0f;
}

void TstPanelsGui::editsKeepTheModelWhereItStood()
{
    QFETCH(QString, edit);
    QFETCH(float, base);
    QFETCH(float, raise);
    const QString file = UiDriver::stlFile(QStringLiteral("slab.stl"), box({-10, -5, 0}, {10, 5, 4}));
    QVERIFY(UiDriver::openThroughMenu(*m_main, file));
    KaloModel *manager = m_main->manager();
    Model *model = manager->selectedModel();
    QVERIFY(model);
    if (base > 0)
        manager->addSupportBase(base);
    if (raise > 0)
        manager->setSelectedModelTranslate(0, 0, raise);
    model->updateBounds();
    const float lowest = model->boundMin.z();
    QCOMPARE(lowest, base + raise);

    if (edit == QLatin1String("scale 0.5"))
        manager->setSelectedModelScale(0.5f, 0.5f, 0.5f);
    else if (edit == QLatin1String("rotate 90 about x"))
        manager->setSelectedModelRotate(90, 0, 0);
    else
        manager->flip(3);

    model->updateBounds();
    QVERIFY2(qAbs(model->boundMin.z() - lowest) < 1e-4f,
             qPrintable(QStringLiteral("the lowest point stays at %1 mm, got %2").arg(lowest).arg(model->boundMin.z())));
    const float height = edit.startsWith(QLatin1String("scale")) ? 2 : edit.startsWith(QLatin1String("rotate")) ? 10 : 4;
    QVERIFY2(qAbs(model->boundMax.z() - lowest - height) < 1e-4f, "the model keeps its new shape");
    if (model->base)
        QCOMPARE(model->base->boundMax.z(), base);
    verifyFigures();
}

void TstPanelsGui::copyLayoutAndSliceButtons()
{
    Model *model = openCube();
    QVERIFY(model);
    KaloModel *manager = m_main->manager();
    m_main->click(QStringLiteral("buttonCopy"));
    QCOMPARE(manager->models().size(), 2);
    QCOMPARE(manager->selectedModel(), model);
    QCOMPARE(text(QStringLiteral("volumeText")), QString::number(2 * double(model->volume), 'f', 2));

    model->setTranslate(-40, 25, 0);
    m_main->click(QStringLiteral("buttonLayout"));
    const Model *copy = manager->models().last();
    const QVector3D centre = (model->translate + copy->translate) / 2;
    QVERIFY2(qAbs(centre.x()) < 12 && qAbs(centre.y()) < 12, "Layout gathers the models in the middle");
    QVERIFY2((model->translate - copy->translate).length() >= 20, "side by side, not on top of each other");

    m_main->click(QStringLiteral("buttonSlice"));
    auto *dialog = m_main->item<QObject>(QStringLiteral("fileDialog"));
    QVERIFY2(dialog->property("visible").toBool(), "Slice asks for the archive");
    QCOMPARE(dialog->property("mode").toString(), QStringLiteral("Slice"));
    QMetaObject::invokeMethod(dialog, "reject");
    QVERIFY(UiDriver::reactivate(*m_main));

    // Deleting the selection leaves nothing selected: nothing left to edit.
    m_main->view()->forceActiveFocus();
    QTest::keyClick(m_main->window(), Qt::Key_Delete);
    QCOMPARE(manager->models().size(), 1);
    QCOMPARE(enabledButtons(), (QStringList{"buttonSupport", "buttonLayout", "buttonSlice"}));
    verifyFigures();
    QTest::keyClick(m_main->window(), Qt::Key_Delete);
    QCOMPARE(manager->models().size(), 1);
    QCOMPARE(text(QStringLiteral("statusMessageText")), QStringLiteral("Delete: select a model or support first"));
}

void TstPanelsGui::hollowPageHollowsAndDrains()
{
    Model *model = openCube();
    QVERIFY(model);
    KaloModel *manager = m_main->manager();
    const float solid = manager->getTotalVolume();
    m_main->click(QStringLiteral("buttonHollow"));
    QCOMPARE(text(QStringLiteral("hollowState")), QStringLiteral("Solid"));
    QVERIFY2(!enabled(QStringLiteral("addDrainHoles")), "a solid model has nothing to drain");

    m_main->click(QStringLiteral("hollow"));
    QCOMPARE(text(QStringLiteral("hollowState")), QStringLiteral("Hollow, wall 2.0 mm"));
    // 20 mm cube, 2 mm wall: 8 mL less 4.1 mL of cavity once it is made.
    QTRY_VERIFY_WITH_TIMEOUT(std::fabs(manager->getTotalVolume() - 3.904f) < 0.05f, 30000);
    QVERIFY(solid > 7.9f);
    verifyFigures();

    m_main->click(QStringLiteral("addDrainHoles"));
    auto *holes = m_main->item<QQuickItem>(QStringLiteral("drainHoleList"));
    QTRY_COMPARE(holes->property("count").toInt(), 1);
    QCOMPARE(int(model->hollowing.drainHoles.size()), 1);
    keep(QStringLiteral("hollow_page"));
    // The preview's layer 60 (3 mm) runs through the drain hole.
    m_main->click(QStringLiteral("showSliceBox"));
    item(QStringLiteral("layerSlider"))->setProperty("value", 60);
    keep(QStringLiteral("hollow_preview"));
    m_main->click(QStringLiteral("showSliceBox"));
    manager->selectModel(model);
    if (!item(QStringLiteral("pageHollow"))->isVisible())
        m_main->click(QStringLiteral("buttonHollow"));

    m_main->click(QStringLiteral("lattice"));
    m_main->click(QStringLiteral("hollow"));
    QCOMPARE(text(QStringLiteral("hollowState")), QStringLiteral("Hollow, wall 2.0 mm, lattice every 10 mm"));
    QCOMPARE(model->hollowing.lattice.spacingMm, 10.0f);
    QVERIFY2(manager->undo(), "the lattice is a step of its own");
    QCOMPARE(model->hollowing.lattice.spacingMm, 0.0f);
    manager->selectModel(model);
    if (!item(QStringLiteral("pageHollow"))->isVisible())
        m_main->click(QStringLiteral("buttonHollow"));

    m_main->click(QStringLiteral("makeSolid"));
    QCOMPARE(text(QStringLiteral("hollowState")), QStringLiteral("Solid"));
    QCOMPARE(holes->property("count").toInt(), 0);
    QTRY_COMPARE(manager->getTotalVolume(), solid);
    QVERIFY2(manager->undo(), "making it solid is one step");
    QCOMPARE(model->hollowing.wallMm, 2.0f);
    QCOMPARE(int(model->hollowing.drainHoles.size()), 1);
}

void TstPanelsGui::selectedSupportCannotBeEdited()
{
    Model *model = openCube();
    QVERIFY(model);
    CWS::Support *support = addSupport(model);
    m_main->click(QStringLiteral("buttonMove"));
    m_main->manager()->selectModel(support);

    const QStringList expected = {"buttonSupport", "buttonLayout", "buttonSlice"};
    QCOMPARE(enabledButtons(), expected);
    QVERIFY2(!item(QStringLiteral("pageMove"))->isVisible(), "the Move page closes with its button");
}

void TstPanelsGui::modelWithSupportsMovesAndFlipsInXYOnly()
{
    Model *model = openCube();
    QVERIFY(model);
    addSupport(model);
    KaloModel *manager = m_main->manager();
    manager->selectModel(model);

    const QStringList expected = {"buttonInfo",    "buttonMove",   "buttonFlip",   "buttonCopy",
                                  "buttonSupport", "buttonHollow", "buttonLayout", "buttonSlice"};
    QCOMPARE(enabledButtons(), expected);

    m_main->click(QStringLiteral("buttonFlip"));
    QVERIFY2(!enabled(QStringLiteral("flipZ")), "supports cannot be turned upside down");
    const MeshVertex before = model->mesh->vertices.front();
    m_main->click(QStringLiteral("flipX"));
    m_main->click(QStringLiteral("flipY"));
    const MeshVertex after = model->mesh->vertices.front();
    QCOMPARE(after.x, -before.x);
    QCOMPARE(after.y, -before.y);
    QCOMPARE(after.z, before.z);

    m_main->click(QStringLiteral("buttonMove"));
    UiDriver::typeInto(m_main->window(), item(QStringLiteral("moveY")), QStringLiteral("-8"));
    QCOMPARE(model->translate.y(), -8.0f);

    // Without supports the same model may be turned and flipped upside down.
    manager->scene().removeAttachments(*model);
    manager->selectModel(model);
    QVERIFY(enabled(QStringLiteral("buttonRotate")) && enabled(QStringLiteral("buttonScale")));
    m_main->click(QStringLiteral("buttonFlip"));
    QVERIFY(enabled(QStringLiteral("flipZ")));
}

void TstPanelsGui::supportPageSettingsAndManualMode()
{
    Model *model = openCube();
    QVERIFY(model);
    KaloModel *manager = m_main->manager();
    m_main->click(QStringLiteral("buttonSupport"));
    QVERIFY2(!item(QStringLiteral("headTopRadius"))->isVisible(), "straight columns' radii show with Islands only");
    UiDriver::typeInto(m_main->window(), item(QStringLiteral("supportSpacing")), QStringLiteral("2.5"));
    QCOMPARE(m_main->config()->supportConfig()->overhangSpacing(), 2.5);
    QCOMPARE(m_main->config()->supportConfig()->preset(), int(CWS::SupportConfig::Custom));
    item(QStringLiteral("supportMode"))->setProperty("currentIndex", 0);

    UiDriver::typeInto(m_main->window(), item(QStringLiteral("headTopRadius")), QStringLiteral("0.9"));
    QCOMPARE(m_main->config()->supportConfig()->headTopRadius(), 0.9);
    UiDriver::typeInto(m_main->window(), item(QStringLiteral("footHeight")), QStringLiteral("1.4"));
    QCOMPARE(m_main->config()->supportConfig()->footHeight(), double(1.4f));

    UiDriver::typeInto(m_main->window(), item(QStringLiteral("baseThickness")), QStringLiteral("1.5"));
    m_main->click(QStringLiteral("addSupportBase"));
    QVERIFY2(model->base, "Add+Update Support lays a base plate under the model");
    QCOMPARE(model->baseThickness, 1.5f);

    m_main->click(QStringLiteral("manualSupport"));
    QVERIFY2(manager->manualAddingSupport(), "the check box switches manual placement on");
    m_main->click(QStringLiteral("buttonSupport"));
    QVERIFY2(!manager->manualAddingSupport(), "closing the page ends manual placement");
    m_main->click(QStringLiteral("buttonSupport"));
    QVERIFY2(!item(QStringLiteral("manualSupport"))->property("checked").toBool(), "the box shows it");
}

void TstPanelsGui::automaticSupportsShowTheirProgress()
{
    Model *model = openCube();
    QVERIFY(model);
    KaloModel *manager = m_main->manager();
    m_main->click(QStringLiteral("buttonSupport"));
    // Lifted 5 mm: its bottom needs supports.
    model->setTranslate(0, 0, 5);

    qRegisterMetaType<KaloModel::ModelStatus>();
    QSignalSpy status(manager, &KaloModel::modelStatusChanged);
    m_main->click(QStringLiteral("addSupportAuto"));
    QQuickItem *progress = item(QStringLiteral("sliceProgress"));
    QCOMPARE(status.value(0).value(1).value<KaloModel::ModelStatus>(), KaloModel::MODEL_AUTO_GEN_SUPPORT);
    QVERIFY2(progress->mapToScene(QPointF(0, progress->height())).y()
                 <= item(QStringLiteral("bottomLabel"))->mapToScene(QPointF()).y(),
             "the progress bar leaves the status bar free");
    // A small model's supports may be done already.
    if (manager->status() == KaloModel::MODEL_AUTO_GEN_SUPPORT) {
        QCOMPARE(enabledButtons(), QStringList{QStringLiteral("buttonSupport")});
        for (const char *menuItem : {"menuSlice", "menuOpen", "menuNew", "menuUndo"})
            QVERIFY2(!m_main->item<QObject>(QLatin1String(menuItem))->property("enabled").toBool(),
                     qPrintable(QStringLiteral("%1 waits for the supports").arg(QLatin1String(menuItem))));
    }
    QTRY_COMPARE_WITH_TIMEOUT(manager->status(), KaloModel::MODEL_LOADED, 60000);
    QTRY_VERIFY2(!progress->isVisible(), "the progress bar hides at the end");
    QCOMPARE(item(QStringLiteral("progressPrompt"))->property("text").toString(),
             QStringLiteral("Press Ctrl+C or Escape to cancel generating supports"));
    QVERIFY2(!model->supports.empty(), "the lifted cube got supports");
    verifyFigures();
    QVERIFY(m_main->item<QObject>(QStringLiteral("menuSlice"))->property("enabled").toBool());
    QVERIFY2(!m_main->item<QObject>(QStringLiteral("sliceDialog"))->property("visible").toBool(),
             "supports end without the slicing dialog");
}

void TstPanelsGui::closingAPageGivesTheKeysBackToTheView()
{
    Model *model = openCube();
    QVERIFY(model);
    m_main->click(QStringLiteral("buttonMove"));
    UiDriver::typeInto(m_main->window(), item(QStringLiteral("moveX")), QStringLiteral("3"));
    QVERIFY2(!m_main->view()->hasActiveFocus(), "typing into the box took the keys");

    m_main->click(QStringLiteral("buttonMove"));
    QVERIFY2(m_main->view()->hasActiveFocus(), "closing the page gives them back");
    QTest::keyClick(m_main->window(), Qt::Key_Delete);
    QCOMPARE(m_main->manager()->models().size(), 0);
}

void TstPanelsGui::previewSliderShowsTheChosenLayer()
{
    KaloConfig::instance()->buildConfig()->layerThickness = 0.05f;
    Model *model = openCube();
    QVERIFY(model);
    KaloModel *manager = m_main->manager();
    QQuickItem *slider = item(QStringLiteral("layerSlider"));

    m_main->click(QStringLiteral("showSliceBox"));
    QCOMPARE(manager->status(), KaloModel::MODEL_SHOW_SLICE);
    QVERIFY2(slider->isEnabled(), "the slider works while the preview is on");
    QCOMPARE(slider->property("maximumValue").toInt(), 399);
    QVERIFY2(!enabled(QStringLiteral("buttonMove")), "no editing during the preview");
    QVERIFY(enabled(QStringLiteral("buttonSupport")));

    // The slider takes the keys as the preview starts.
    const struct
    {
        Qt::Key key;
        int layer;
    } keys[] = {{Qt::Key_Up, 1},       {Qt::Key_Up, 2},     {Qt::Key_PageUp, 12}, {Qt::Key_Down, 11},
                {Qt::Key_PageDown, 1}, {Qt::Key_End, 399},  {Qt::Key_Up, 399},    {Qt::Key_PageDown, 389},
                {Qt::Key_Home, 0},     {Qt::Key_Down, 0}};
    for (const auto &k : keys) {
        QTest::keyClick(m_main->window(), k.key);
        QCOMPARE(manager->currentLayer(), k.layer);
    }
    // A wheel notch is a layer, whatever the number of layers.
    const QPoint onSlider = MainWindow::centreOf(slider);
    for (const int notches : {1, 1, 3, -2}) {
        QWheelEvent wheel(onSlider, m_main->window()->mapToGlobal(onSlider), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QGuiApplication::sendEvent(m_main->window(), &wheel);
    }
    QCOMPARE(manager->currentLayer(), 3);
    slider->setProperty("value", 250);
    QCOMPARE(manager->currentLayer(), 250);
    QCOMPARE(text(QStringLiteral("layerTipText")), QStringLiteral("250\n12.55 mm"));
    keep(QStringLiteral("slice_preview"));

    m_main->click(QStringLiteral("showSliceBox"));
    QCOMPARE(manager->status(), KaloModel::MODEL_LOADED);
    QVERIFY(!slider->isEnabled());
    QCOMPARE(slider->property("value").toInt(), 0);
    QCOMPARE(manager->currentLayer(), -1);
}

QTEST_MAIN(TstPanelsGui)
#include "tst_panels_gui.moc"
