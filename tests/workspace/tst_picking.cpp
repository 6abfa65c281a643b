#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "workspace/Camera.h"
#include "workspace/KaloModel.h"
#include "workspace/Picking.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace TestMeshes;

namespace {

const QVector3D buildVolume(65.02f, 116.0f, 135.0f);
const QSize viewport(800, 600);

bool close(const QVector3D &a, const QVector3D &b, float tolerance = 1e-3f)
{
    return (a - b).length() <= tolerance;
}

// Where a platform point (mm) appears in the manager's view, in pixels.
QPointF pixelOf(const KaloModel &manager, const QVector3D &mm)
{
    const Camera &camera = manager.camera();
    const QVector3D ndc =
        (camera.projectionMatrix(viewport) * camera.viewMatrix() * manager.sceneMatrix()).map(mm);
    return {(ndc.x() + 1.0) * viewport.width() / 2.0, (1.0 - ndc.y()) * viewport.height() / 2.0};
}

} // namespace

class TstPicking : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_manager.reset(); }

    void rayThroughPixelPassesThroughIt_data();
    void rayThroughPixelPassesThroughIt();
    void triangle_data();
    void triangle();
    void overlappingModelsNearestFirst();
    void typeFilterAdmitsOneType();
    void hitNormalTurnsWithTheModel();

    void clickSelectsNearestAndClearsOnEmptySpace();
    void clickIgnoredOutsideEditingOrForRightButton();
    void leftDragOnModelMovesItNotTheCamera();
    void leftDragOnFloorTurnsTheCamera();
    void deletingTheDraggedModelEndsTheDrag();
    void cameraCommandsAskForRepaint();

private:
    Model *add(const MeshPrimitiveData &mesh, int type = TYPE_NORMAL)
    {
        Model *model = makeModel(mesh, type);
        m_manager->addModel(model);
        return model;
    }
    // A press, moves along the way and a release, as the view reports them.
    void drag(uint button, const QList<QPointF> &path)
    {
        m_manager->onMousePressed(button, uint(path.first().x()), uint(path.first().y()));
        for (int i = 1; i < path.size(); ++i)
            m_manager->onMousePressedMove(button, path.first(), path.at(i - 1), path.at(i));
        m_manager->onMouseReleased(button, uint(path.last().x()), uint(path.last().y()));
    }
    void click(const QPointF &at, uint button = 1)
    {
        m_manager->onMousePressed(button, uint(at.x()), uint(at.y()));
        m_manager->onMouseReleased(button, uint(at.x()), uint(at.y()));
        m_manager->onMouseClicked(button, uint(at.x()), uint(at.y()));
    }

    std::unique_ptr<KaloModel> m_manager;
};

void TstPicking::init()
{
    m_manager = std::make_unique<KaloModel>();
    // What the scene item hands over each frame; without a context no GL is touched.
    m_manager->setViewport(viewport, 1);
}

void TstPicking::rayThroughPixelPassesThroughIt_data()
{
    QTest::addColumn<QPointF>("pixel");
    QTest::addColumn<int>("rotateZ");
    QTest::addColumn<float>("panX");

    QTest::newRow("centre") << QPointF(400, 300) << 0 << 0.0f;
    QTest::newRow("top left") << QPointF(0, 0) << 0 << 0.0f;
    QTest::newRow("turned and panned") << QPointF(620, 110) << 135 << 0.4f;
}

void TstPicking::rayThroughPixelPassesThroughIt()
{
    QFETCH(QPointF, pixel);
    QFETCH(int, rotateZ);
    QFETCH(float, panX);
    Camera camera;
    camera.viewRotateZ = rotateZ;
    camera.viewPanX = panX;
    const QMatrix4x4 projection = camera.projectionMatrix(viewport);
    const PickRay ray = Picking::rayThroughPixel(pixel, viewport, camera.viewMatrix(), projection);

    QVERIFY2(qFuzzyCompare(ray.direction.length(), 1.0f), "the direction is a unit vector");
    const QVector3D eye = camera.viewMatrix().map(ray.origin);
    QVERIFY2(eye.length() < 1e-4f, "the ray starts at the eye");
    for (float t : {0.5f, 3.0f, 20.0f}) {
        const QVector3D ndc = (projection * camera.viewMatrix()).map(ray.origin + ray.direction * t);
        const QPointF expected = Camera::toNdc(pixel, viewport);
        QVERIFY2(std::abs(ndc.x() - expected.x()) < 1e-4 && std::abs(ndc.y() - expected.y()) < 1e-4,
                 qPrintable(QStringLiteral("point at t=%1 appears at ndc %2, %3").arg(t).arg(ndc.x()).arg(ndc.y())));
    }
}

void TstPicking::triangle_data()
{
    QTest::addColumn<QVector3D>("origin");
    QTest::addColumn<QVector3D>("direction");
    QTest::addColumn<bool>("hit");
    QTest::addColumn<float>("t");

    // Triangle (0,0,5) (10,0,5) (0,10,5), facing up.
    QTest::newRow("straight down") << QVector3D(2, 2, 10) << QVector3D(0, 0, -1) << true << 5.0f;
    QTest::newRow("back face counts") << QVector3D(2, 2, 0) << QVector3D(0, 0, 1) << true << 5.0f;
    QTest::newRow("on an edge") << QVector3D(0, 3, 10) << QVector3D(0, 0, -1) << true << 5.0f;
    QTest::newRow("beside the triangle") << QVector3D(8, 8, 10) << QVector3D(0, 0, -1) << false << 0.0f;
    QTest::newRow("parallel, in its plane") << QVector3D(-5, 2, 5) << QVector3D(1, 0, 0) << false << 0.0f;
    QTest::newRow("parallel, above it") << QVector3D(-5, 2, 6) << QVector3D(1, 0, 0) << false << 0.0f;
    QTest::newRow("behind the origin") << QVector3D(2, 2, 10) << QVector3D(0, 0, 1) << false << 0.0f;
    QTest::newRow("origin on the triangle") << QVector3D(2, 2, 5) << QVector3D(0, 0, -1) << false << 0.0f;
}

void TstPicking::triangle()
{
    QFETCH(QVector3D, origin);
    QFETCH(QVector3D, direction);
    QFETCH(bool, hit);
    QFETCH(float, t);
    const std::optional<float> result =
        Picking::intersectTriangle({origin, direction}, QVector3D(0, 0, 5), QVector3D(10, 0, 5), QVector3D(0, 10, 5));
    QCOMPARE(result.has_value(), hit);
    if (hit)
        QVERIFY2(qFuzzyCompare(*result, t), qPrintable(QString::number(*result)));
}

void TstPicking::overlappingModelsNearestFirst()
{
    // Two boxes over the same spot of the plate; the ray comes from above.
    // The lower one is first in the list.
    Model *low = makeModel(box({-5, -5, 0}, {5, 5, 10}));
    Model *high = makeModel(box({-10, -10, 20}, {10, 10, 40}));
    const QList<Model *> models{low, high};
    const QMatrix4x4 scene = Camera::sceneMatrix(buildVolume);
    const PickRay ray{QVector3D(0.01f, 0.02f, 1.0f), QVector3D(0, 0, -1)};

    const std::vector<PickHit> hits = Picking::pickObjects(ray, models, Picking::anyType, scene);
    QCOMPARE(hits.size(), size_t(4));
    QCOMPARE(hits[0].object, high);
    QCOMPARE(hits[1].object, high);
    QCOMPARE(hits[2].object, low);
    QVERIFY2(close(hits[0].point, QVector3D(1.35f, 2.7f, 40)), "the hit point is in platform mm");
    QVERIFY2(close(hits[2].point, QVector3D(1.35f, 2.7f, 10)), "the lower box's top is the third hit");
    for (size_t i = 1; i < hits.size(); ++i)
        QVERIFY2(hits[i - 1].distance <= hits[i].distance, "hits are sorted nearest first");
    QVERIFY2(qFuzzyCompare(hits[0].distance, (135.0f - 40.0f) / 135.0f), "distance in model-space units");
    QVERIFY2(close(hits[0].triangle[0], QVector3D(hits[0].triangle[0].x(), hits[0].triangle[0].y(), 40)),
             "the triangle is in platform mm");
    QVERIFY2(close(hits[0].normal, QVector3D(0, 0, 1)), "the top face's normal points up");
    qDeleteAll(models);
}

void TstPicking::typeFilterAdmitsOneType()
{
    Model *model = makeModel(box({-5, -5, 0}, {5, 5, 10}));
    Model *column = makeModel(box({-1, -1, 10}, {1, 1, 30}), TYPE_SUPPORT);
    const QList<Model *> models{model, column};
    const QMatrix4x4 scene = Camera::sceneMatrix(buildVolume);
    const PickRay ray{QVector3D(0.002f, 0.003f, 1.0f), QVector3D(0, 0, -1)};

    std::vector<PickHit> hits = Picking::pickObjects(ray, models, Picking::anyType, scene);
    QVERIFY(!hits.empty());
    QCOMPARE(hits.front().object, column);
    hits = Picking::pickObjects(ray, models, TYPE_NORMAL, scene);
    QVERIFY(!hits.empty());
    QCOMPARE(hits.front().object, model);
    for (const PickHit &hit : hits)
        QVERIFY2(hit.object == model, "supports are not pickable among normal models only");
    qDeleteAll(models);
}

void TstPicking::hitNormalTurnsWithTheModel()
{
    // A wall facing +x, turned 90° about z, faces +y.
    MeshPrimitiveData wall;
    addTriangle(wall, {5, -10, 0}, {5, 10, 0}, {5, 0, 20});
    Model *model = makeModel(wall);
    model->rotate = QVector3D(0, 0, 90);
    model->dirty = true;
    const PickRay ray{QVector3D(0, 1, 0.05f), QVector3D(0, -1, 0)};
    const std::vector<PickHit> hits =
        Picking::pickObjects(ray, {model}, Picking::anyType, Camera::sceneMatrix(buildVolume));
    QCOMPARE(hits.size(), size_t(1));
    QVERIFY2(close(hits[0].normal, QVector3D(0, 1, 0)), "the normal follows the rotation");
    QVERIFY2(close(hits[0].point, QVector3D(0, 5, 6.75f)), "the hit lies on the turned wall");
    delete model;
}

void TstPicking::clickSelectsNearestAndClearsOnEmptySpace()
{
    // Two boxes on the line of sight through the middle of the view; the far
    // one comes first in the list.
    const QPointF middle(400, 300);
    const Camera &camera = m_manager->camera();
    const PickRay ray =
        Picking::rayThroughPixel(middle, viewport, camera.viewMatrix(), camera.projectionMatrix(viewport));
    const QMatrix4x4 toMm = m_manager->sceneMatrix().inverted();
    const QVector3D nearCentre = toMm.map(ray.origin + ray.direction * 1.0f);
    const QVector3D farCentre = toMm.map(ray.origin + ray.direction * 1.6f);
    const QVector3D half(4, 4, 4);
    Model *far = add(box(farCentre - half, farCentre + half));
    Model *near = add(box(nearCentre - half, nearCentre + half));
    m_manager->selectModel(far);
    QSignalSpy selection(m_manager.get(), &KaloModel::modelSelectionChanged);

    click(middle);
    QCOMPARE(m_manager->selectedModel(), near);
    QCOMPARE(selection.count(), 1);
    QCOMPARE(selection.last().at(0).toInt(), 1);

    click(QPointF(5, 5));
    QCOMPARE(m_manager->selectedModel(), nullptr);
    QCOMPARE(selection.count(), 2);
    QCOMPARE(selection.last().at(0).toInt(), -1);
    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
}

void TstPicking::clickIgnoredOutsideEditingOrForRightButton()
{
    Model *model = add(box({-5, -5, 0}, {5, 5, 10}));
    const QPointF onModel = pixelOf(*m_manager, QVector3D(0, 0, 5));
    click(onModel);
    QCOMPARE(m_manager->selectedModel(), nullptr); // still MODEL_INIT: nothing was ever selected

    m_manager->selectModel(model);
    m_manager->clearSelection(false);
    click(onModel, 2);
    QCOMPARE(m_manager->selectedModel(), nullptr);
    m_manager->setModelStatus(KaloModel::MODEL_SLICING);
    click(onModel);
    QCOMPARE(m_manager->selectedModel(), nullptr);
    m_manager->setModelStatus(KaloModel::MODEL_SHOW_SLICE);
    click(onModel);
    QCOMPARE(m_manager->selectedModel(), model);
}

void TstPicking::leftDragOnModelMovesItNotTheCamera()
{
    Model *model = add(box({-5, -5, 0}, {5, 5, 10}));
    Model *column = makeSupportOf(model, box({-1, -1, 0}, {1, 1, 3}));
    m_manager->addModel(column);
    m_manager->selectModel(column);
    const QMatrix4x4 view = m_manager->camera().viewMatrix();

    const QPointF start = pixelOf(*m_manager, QVector3D(0, 0, 10));
    drag(1, {start, start + QPointF(10, 0), start + QPointF(30, -20)});
    QCOMPARE(m_manager->selectedModel(), model);
    QCOMPARE(m_manager->camera().viewMatrix(), view);
    QCOMPARE(m_manager->dragState(), 3);
    QVERIFY2(model->translate.length() > 5, "the model follows the mouse");
    QCOMPARE(model->translate.z(), 0.0f);
    QCOMPARE(column->translate, model->translate);

    // The click that ends a drag is swallowed and nothing else changes.
    m_manager->onMouseClicked(1, uint(start.x()), uint(start.y()));
    QCOMPARE(m_manager->dragState(), 0);
    QCOMPARE(m_manager->selectedModel(), model);
}

void TstPicking::leftDragOnFloorTurnsTheCamera()
{
    Model *model = add(box({-5, -5, 0}, {5, 5, 10}));
    m_manager->selectModel(model);
    drag(1, {QPointF(10, 10), QPointF(20, 15), QPointF(50, 5)});
    QCOMPARE(m_manager->camera().viewRotateZ, 40);
    QCOMPARE(m_manager->camera().viewRotateY, -5);
    QCOMPARE(model->translate, QVector3D());
    QCOMPARE(m_manager->dragState(), 0);

    // Right drags pan whatever lies under them.
    const QPointF onModel = pixelOf(*m_manager, QVector3D(0, 0, 5));
    drag(2, {onModel, onModel + QPointF(400, 0)});
    QCOMPARE(m_manager->camera().viewPanX, 1.0f);
    QCOMPARE(model->translate, QVector3D());
}

void TstPicking::deletingTheDraggedModelEndsTheDrag()
{
    Model *model = add(box({-5, -5, 0}, {5, 5, 10}));
    m_manager->selectModel(model);
    const QPointF start = pixelOf(*m_manager, QVector3D(0, 0, 10));
    m_manager->onMousePressed(1, uint(start.x()), uint(start.y()));
    m_manager->onMousePressedMove(1, start, start, start + QPointF(5, 0));
    QCOMPARE(m_manager->dragState(), 2);

    m_manager->deleteSelectedModel();
    m_manager->onMousePressedMove(1, start, start + QPointF(5, 0), start + QPointF(10, 0));
    QCOMPARE(m_manager->dragState(), 0);
    QCOMPARE(m_manager->camera().viewRotateZ, 5);
}

void TstPicking::cameraCommandsAskForRepaint()
{
    QSignalSpy repaint(m_manager.get(), &KaloModel::kaloModelDataChanged);
    m_manager->onWheel(QPointF(0, 0));
    QCOMPARE(repaint.count(), 0);
    m_manager->onWheel(QPointF(0, 120));
    m_manager->zoomIn();
    m_manager->zoomOut();
    m_manager->resetViewPrj();
    QCOMPARE(m_manager->camera().viewScale, 1.0f);
    QCOMPARE(repaint.count(), 4);
}

QTEST_GUILESS_MAIN(TstPicking)
#include "tst_picking.moc"
