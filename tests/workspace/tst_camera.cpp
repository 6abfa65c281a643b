#include "workspace/Camera.h"

#include <QtTest>

#include <cmath>

namespace {

const QVector3D buildVolume(65.02f, 116.0f, 135.0f);

bool finite(const QMatrix4x4 &m)
{
    for (int i = 0; i < 16; ++i) {
        if (!std::isfinite(m.constData()[i]))
            return false;
    }
    return true;
}

// Where a platform point (mm) appears in a view of size view (pixels).
QPointF pixelOf(const Camera &camera, const QVector3D &mm, const QSize &view)
{
    const QVector3D ndc =
        (camera.projectionMatrix(view) * camera.viewMatrix() * Camera::sceneMatrix(buildVolume)).map(mm);
    return {(ndc.x() + 1.0) * view.width() / 2.0, (1.0 - ndc.y()) * view.height() / 2.0};
}

} // namespace

class TstCamera : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rightDragOfHalfWidthPansByOne();
    void tenWheelStepsAwayGrowBy1_1PowerTen();
    void wheel_data();
    void wheel();
    void plateCentreIsInTheMiddleOfTheView();
    void zeroHeightViewportGivesFiniteMatrices();
    void dragKeepsThePlaneUnderTheMouse_data();
    void dragKeepsThePlaneUnderTheMouse();
    void dragTurnsByTheSumOfItsMoves_data();
    void dragTurnsByTheSumOfItsMoves();
};

void TstCamera::rightDragOfHalfWidthPansByOne()
{
    Camera camera;
    const QSizeF view(800, 600);
    camera.pan(QPointF(400, 0), view);
    QCOMPARE(camera.viewPanX, 1.0f);
    QCOMPARE(camera.viewPanY, 0.0f);

    // Downwards on screen is negative in ndc: the picture follows the mouse.
    camera.pan(QPointF(0, 150), view);
    QCOMPARE(camera.viewPanY, -0.5f);

    const QVector3D origin;
    Camera moved;
    const QPointF before = pixelOf(moved, origin, view.toSize());
    moved.pan(QPointF(40, 30), view);
    const QPointF after = pixelOf(moved, origin, view.toSize());
    QVERIFY2(std::abs(after.x() - before.x() - 40) < 1e-3 && std::abs(after.y() - before.y() - 30) < 1e-3,
             "a pan moves the picture by exactly the mouse's move");
}

void TstCamera::tenWheelStepsAwayGrowBy1_1PowerTen()
{
    Camera camera;
    for (int i = 0; i < 10; ++i)
        QVERIFY(camera.wheel(QPointF(0, 120)));
    QVERIFY2(qFuzzyCompare(camera.viewScale, float(std::pow(1.1, 10))), "ten steps give 1.1^10 (about 2.594)");
    for (int i = 0; i < 10; ++i)
        camera.zoomIn();
    QVERIFY2(qFuzzyCompare(camera.viewScale, 1.0f), "zoomIn undoes zoomOut");
}

void TstCamera::wheel_data()
{
    QTest::addColumn<QPointF>("angleDelta");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<float>("scale");

    // One step per event whatever the size of the delta.
    QTest::newRow("one notch away") << QPointF(0, 120) << true << 1.1f;
    QTest::newRow("fine touchpad step") << QPointF(0, 8) << true << 1.1f;
    QTest::newRow("three notches at once") << QPointF(0, 360) << true << 1.1f;
    QTest::newRow("towards the user") << QPointF(0, -120) << true << 1.0f / 1.1f;
    QTest::newRow("horizontal only") << QPointF(120, 0) << false << 1.0f;
}

void TstCamera::wheel()
{
    QFETCH(QPointF, angleDelta);
    QFETCH(bool, changed);
    QFETCH(float, scale);
    Camera camera;
    QCOMPARE(camera.wheel(angleDelta), changed);
    QVERIFY2(qFuzzyCompare(camera.viewScale, scale), qPrintable(QString::number(camera.viewScale)));
}

void TstCamera::plateCentreIsInTheMiddleOfTheView()
{
    // The first view looks down on the plate from the front: the plate centre
    // lies on the vertical centre line, below the middle, and the top of the
    // volume above it.
    Camera camera;
    const QSize view(800, 600);
    const QPointF centre = pixelOf(camera, QVector3D(0, 0, 0), view);
    const QPointF top = pixelOf(camera, QVector3D(0, 0, 135), view);
    QVERIFY2(std::abs(centre.x() - 400) < 1e-3, "the plate centre is horizontally centred");
    QVERIFY2(centre.y() > 300 && centre.y() < 600, "the plate centre is in the lower half");
    QVERIFY2(top.y() < centre.y(), "up on the platform is up on screen");
}

void TstCamera::zeroHeightViewportGivesFiniteMatrices()
{
    Camera camera;
    QVERIFY2(finite(camera.projectionMatrix(QSize(800, 0))), "a minimised window gives no NaN");
    QVERIFY2(finite(camera.projectionMatrix(QSize(0, 0))), "an empty view gives no NaN");
    camera.pan(QPointF(10, 10), QSizeF(800, 0));
    QVERIFY2(camera.viewPanX == 0 && camera.viewPanY == 0, "nothing to pan over an empty view");
    const QVector3D d = camera.dragDelta(Camera::sceneMatrix(buildVolume), QSize(800, 0), QSizeF(800, 0),
                                         QPointF(10, 10), QPointF(20, 20));
    QVERIFY2(std::isfinite(d.x()) && std::isfinite(d.y()), "a drag over an empty view moves nothing far");
}

void TstCamera::dragKeepsThePlaneUnderTheMouse_data()
{
    QTest::addColumn<int>("rotateZ");
    QTest::addColumn<float>("scale");
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");

    QTest::newRow("first view, diagonal") << 0 << 1.0f << QPointF(300, 350) << QPointF(340, 310);
    QTest::newRow("turned and zoomed") << 70 << 2.0f << QPointF(420, 380) << QPointF(390, 420);
}

void TstCamera::dragKeepsThePlaneUnderTheMouse()
{
    QFETCH(int, rotateZ);
    QFETCH(float, scale);
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);

    Camera camera;
    camera.viewRotateZ = rotateZ;
    camera.viewScale = scale;
    const QSize view(800, 600);
    const QMatrix4x4 scene = Camera::sceneMatrix(buildVolume);
    const QVector3D d = camera.dragDelta(scene, view, view, from, to);

    // The point of the drag plane under `from`, moved by the full delta,
    // appears under `to`.
    const QMatrix4x4 toNdc = camera.projectionMatrix(view) * camera.viewMatrix() * scene;
    const float depth = toNdc.map(QVector3D()).z();
    const QPointF a = Camera::toNdc(from, view);
    const QVector3D grabbed = toNdc.inverted().map(QVector3D(float(a.x()), float(a.y()), depth));
    const QPointF landed = pixelOf(camera, grabbed + d, view);
    QVERIFY2((landed - to).manhattanLength() < 0.01,
             qPrintable(QStringLiteral("landed at %1, %2").arg(landed.x()).arg(landed.y())));
}

void TstCamera::dragTurnsByTheSumOfItsMoves_data()
{
    QTest::addColumn<QPointF>("move"); // logical pixels per mouse event
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("turnZ"); // degrees
    QTest::addColumn<int>("turnY");
    QTest::newRow("whole pixels") << QPointF(3, -2) << 4 << 12 << -8;
    // At a device pixel ratio of 2 a slow drag moves half a logical pixel at a time.
    QTest::newRow("half pixels") << QPointF(0.5, -0.5) << 10 << 5 << -5;
    QTest::newRow("quarter and three quarters") << QPointF(0.25, 0.75) << 8 << 2 << 6;
}

void TstCamera::dragTurnsByTheSumOfItsMoves()
{
    QFETCH(QPointF, move);
    QFETCH(int, events);
    QFETCH(int, turnZ);
    QFETCH(int, turnY);
    Camera camera;
    for (int i = 0; i < events; ++i)
        camera.rotate(move);
    QCOMPARE(camera.viewRotateZ, turnZ);
    QCOMPARE(camera.viewRotateY, turnY);
}

QTEST_GUILESS_MAIN(TstCamera)
#include "tst_camera.moc"
