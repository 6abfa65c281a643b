#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "view/SceneRenderer.h"
#include "workspace/KaloModel.h"

#include <QColor>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace TestMeshes;

// What the renderer decides without drawing: the platform frame's geometry
// and the colours models are drawn in. The pixels are checked under Xvfb.
class TstSceneRenderer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frameOfTheBuildVolume();
    void modelColours_data();
    void modelColours();
    void sceneWithoutContextFreesItsModels();
};

void TstSceneRenderer::frameOfTheBuildVolume()
{
    const std::vector<MeshVertex> frame = SceneRenderer::frameVertices(QVector3D(65.02f, 116.0f, 135.0f));
    QCOMPARE(frame.size(), size_t(52)); // 16 for the box, 36 for 18 grid lines

    auto at = [&frame](size_t i) { return QVector3D(frame[i].x, frame[i].y, frame[i].z); };
    QCOMPARE(at(0), QVector3D(32.51f, 58.0f, 0.0f));
    QCOMPARE(at(6), QVector3D(-32.51f, -58.0f, 135.0f));
    QCOMPARE(at(15), QVector3D(32.51f, -58.0f, 135.0f));
    QCOMPARE(at(16), QVector3D(0.0f, 59.0f, 0.0f)); // the centre line reaches 1 mm past the floor
    QCOMPARE(at(17), QVector3D(0.0f, -59.0f, 0.0f));

    float maxGridX = 0, maxGridY = 0;
    for (size_t i = 16; i < frame.size(); i += 2) {
        const QVector3D a = at(i), b = at(i + 1);
        QCOMPARE(a.z(), 0.0f);
        if (a.x() == b.x())
            maxGridX = std::max(maxGridX, std::abs(a.x()));
        else
            maxGridY = std::max(maxGridY, std::abs(a.y()));
    }
    QCOMPARE(maxGridX, 30.0f);
    QCOMPARE(maxGridY, 50.0f);
    for (const MeshVertex &v : frame)
        QVERIFY2(v.nx == 0 && v.ny == 0 && v.nz == 1, "every frame normal points up");
}

void TstSceneRenderer::modelColours_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("isNew");
    QTest::addColumn<QColor>("colour");

    const QColor grey(128, 128, 128), blue(128, 128, 240), yellow(230, 230, 5), red(Qt::red);
    QTest::newRow("model") << int(TYPE_NORMAL) << false << true << grey;
    QTest::newRow("selected model") << int(TYPE_NORMAL) << true << false << blue;
    QTest::newRow("support") << int(TYPE_SUPPORT) << false << false << grey;
    QTest::newRow("selected support") << int(TYPE_SUPPORT) << true << false << yellow;
    QTest::newRow("new support") << int(TYPE_SUPPORT) << false << true << red;
    QTest::newRow("new selected base") << int(TYPE_BASE) << true << true << red;
    QTest::newRow("selected base") << int(TYPE_BASE) << true << false << yellow;
}

void TstSceneRenderer::modelColours()
{
    QFETCH(int, type);
    QFETCH(bool, selected);
    QFETCH(bool, isNew);
    QFETCH(QColor, colour);
    Model model(type);
    model.selected = selected;
    model.isNew = isNew;
    const QVector3D c = SceneRenderer::colourOf(model);
    QCOMPARE(QColor::fromRgbF(c.x(), c.y(), c.z()), colour);
}

void TstSceneRenderer::sceneWithoutContextFreesItsModels()
{
    // A scene item's sync without a current context (no window ever drew)
    // touches no GL; removed models go at once.
    auto manager = std::make_unique<KaloModel>();
    Model *model = makeModel(cube(10));
    manager->addModel(model);
    SceneRenderer renderer;
    renderer.synchronize({QSize(640, 480)}, manager->models());
    QCOMPARE(model->vbo, GLuint(0));
    QVERIFY2(!model->buffersValid, "nothing was uploaded");
    manager->removeModel(model);
    QVERIFY(manager->models().isEmpty());
    renderer.releaseGraphics(manager->models());
    renderer.paint();
}

QTEST_GUILESS_MAIN(TstSceneRenderer)
#include "tst_scenerenderer.moc"
