#include "app/KaloApp.h"
#include "app/Startup.h"
#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "workspace/KaloModel.h"

#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace TestMeshes;

// The main window's 3D view forwards the mouse, the wheel and the keys to
// the model manager: a person selects, drags and turns with them.
class TstKalo3DView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Startup::registerQmlTypes(); }
    void init();
    void cleanup();

    void clickSelectsAndClears();
    void longPressIsNoClick();
    void drainHoleModeClickDrillsAlongTheNormal();
    void leftDragMovesTheModelUnderTheMouse();
    void dragsOnEmptySpaceTurnAndPan();
    void wheelAndHomeKey();
    void deleteKeyRemovesTheSelection();

private:
    // A point of the view (which starts below the menu bar) in window pixels.
    QPoint at(int x, int y) const { return m_view->mapToScene(QPointF(x, y)).toPoint(); }
    QPoint pixelOf(const QVector3D &mm) const
    {
        const Camera &camera = m_manager->camera();
        const QSize size = m_view->size().toSize();
        const QVector3D ndc =
            (camera.projectionMatrix(size) * camera.viewMatrix() * m_manager->sceneMatrix()).map(mm);
        return at(int((ndc.x() + 1.0f) * size.width() / 2.0f), int((1.0f - ndc.y()) * size.height() / 2.0f));
    }
    void dragAlong(Qt::MouseButton button, const QList<QPoint> &path)
    {
        QTest::mousePress(m_window, button, Qt::NoModifier, path.first());
        for (int i = 1; i < path.size(); ++i)
            QTest::mouseMove(m_window, path.at(i));
        QTest::mouseRelease(m_window, button, Qt::NoModifier, path.last());
    }

    std::unique_ptr<KaloApp> m_app;
    std::unique_ptr<KaloConfig> m_config;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow *m_window = nullptr;
    QQuickItem *m_view = nullptr;
    KaloModel *m_manager = nullptr;
    Model *m_model = nullptr;
};

void TstKalo3DView::init()
{
    m_app = std::make_unique<KaloApp>();
    m_config = std::make_unique<KaloConfig>();
    m_engine = std::make_unique<QQmlApplicationEngine>();
    Startup::setContextProperties(*m_engine, *m_app, *m_config);
    m_engine->load(QUrl(QStringLiteral("qrc:/main.qml")));
    QVERIFY(!m_engine->rootObjects().isEmpty());
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
    QVERIFY(m_window);
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_window->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_manager = KaloModel::instance();
    QVERIFY(m_manager);
    m_view = Startup::findSceneItem(*m_engine);
    QVERIFY(m_view);

    // A 20 mm cube in the middle of the plate, selected as after a load.
    m_model = makeModel(cube(20));
    m_manager->addModel(m_model);
    m_manager->selectModel(m_model);
    m_window->grabWindow(); // one frame hands the view's size to the manager
    QVERIFY(!m_manager->sceneMatrix().isIdentity());
}

void TstKalo3DView::cleanup()
{
    m_engine.reset();
    m_config.reset();
    m_app.reset();
}

void TstKalo3DView::clickSelectsAndClears()
{
    QSignalSpy selection(m_manager, &KaloModel::modelSelectionChanged);
    QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, at(20, 20));
    QCOMPARE(m_manager->selectedModel(), nullptr);
    QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, pixelOf(QVector3D(2, 2, 20)));
    QCOMPARE(m_manager->selectedModel(), m_model);
    QCOMPARE(selection.count(), 2);
}

void TstKalo3DView::longPressIsNoClick()
{
    m_manager->clearSelection(true);
    const QPoint onModel = pixelOf(QVector3D(2, 2, 20));
    QTest::mousePress(m_window, Qt::LeftButton, Qt::NoModifier, onModel);
    QTest::qWait(400);
    QTest::mouseRelease(m_window, Qt::LeftButton, Qt::NoModifier, onModel);
    QCOMPARE(m_manager->selectedModel(), nullptr);
}

void TstKalo3DView::drainHoleModeClickDrillsAlongTheNormal()
{
    m_manager->hollowSelected(2);
    m_manager->setDrainHoleMode(true);
    m_manager->clearSelection(true);
    QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, pixelOf(QVector3D(2, 2, 20)));
    QCOMPARE(m_model->hollowing.drainHoles.size(), size_t(1));
    const DrainHole &hole = m_model->hollowing.drainHoles.front();
    QVERIFY2((hole.position - QVector3D(2, 2, 20)).length() < 0.5f, "the hole opens where the click landed");
    QVERIFY2((hole.direction - QVector3D(0, 0, -1)).length() < 1e-4f, "down through the top face");
    QCOMPARE(hole.diameterMm, 3.0f);
    m_manager->setDrainHoleMode(false);
}

void TstKalo3DView::leftDragMovesTheModelUnderTheMouse()
{
    const Camera before = m_manager->camera();
    const QPoint start = pixelOf(QVector3D(0, 0, 20));
    dragAlong(Qt::LeftButton, {start, start + QPoint(10, 5), start + QPoint(60, 20)});
    QVERIFY2(m_model->translate.length() > 10, "the model moved with the mouse");
    QCOMPARE(m_model->translate.z(), 0.0f);
    QCOMPARE(m_manager->camera().viewRotateZ, before.viewRotateZ);
    QCOMPARE(m_manager->camera().viewRotateY, before.viewRotateY);
    QCOMPARE(m_manager->selectedModel(), m_model);
}

void TstKalo3DView::dragsOnEmptySpaceTurnAndPan()
{
    dragAlong(Qt::LeftButton, {at(20, 20), at(30, 25), at(60, 10)});
    QCOMPARE(m_manager->camera().viewRotateZ, 40);
    QCOMPARE(m_manager->camera().viewRotateY, -10);
    QCOMPARE(m_model->translate, QVector3D());
    QVERIFY2(m_manager->selectedModel() == m_model, "a drag is no click: the selection stays");

    const int width = int(m_view->width());
    dragAlong(Qt::RightButton, {at(20, 20), at(20 + width / 2, 20)});
    QCOMPARE(m_manager->camera().viewPanX, 1.0f);
}

void TstKalo3DView::wheelAndHomeKey()
{
    const QPoint centre = at(m_view->width() / 2, m_view->height() / 2);
    for (int i = 0; i < 3; ++i) {
        QWheelEvent wheel(centre, m_window->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(m_window, &wheel);
    }
    QVERIFY2(qFuzzyCompare(m_manager->camera().viewScale, 1.1f * 1.1f * 1.1f), "three steps away zoom out");

    dragAlong(Qt::LeftButton, {at(20, 20), at(50, 20)});
    QTest::keyClick(m_window, Qt::Key_Home);
    QCOMPARE(m_manager->camera().viewScale, 1.0f);
    QCOMPARE(m_manager->camera().viewRotateZ, 0);
}

void TstKalo3DView::deleteKeyRemovesTheSelection()
{
    QTest::keyClick(m_window, Qt::Key_Delete);
    QVERIFY(m_manager->models().isEmpty());
    QCOMPARE(m_manager->status(), KaloModel::MODEL_INIT);
}

QTEST_MAIN(TstKalo3DView)
#include "tst_kalo3dview_gui.moc"
