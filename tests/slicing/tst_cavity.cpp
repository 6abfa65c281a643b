#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "geometry/PlaneCut.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/Cavity.h"
#include "slicing/LayerRaster.h"
#include "slicing/PlacedMesh.h"

#include <QtTest>

#include <algorithm>
#include <bitset>
#include <map>
#include <memory>

Q_DECLARE_METATYPE(MeshPrimitiveData)
using Boxes = QVector<QPair<QVector3D, QVector3D>>; // min and max corners (mm)
Q_DECLARE_METATYPE(QVector<Boxes>)

namespace {

using TestMeshes::box;

MeshPrimitiveData mapped(MeshPrimitiveData mesh, const QMatrix4x4 &matrix)
{
    for (MeshVertex &v : mesh.vertices) {
        const QVector3D p = matrix.map(QVector3D(v.x, v.y, v.z));
        v = {p.x(), p.y(), p.z(), 0, 0, 0};
    }
    return mesh;
}

QMatrix4x4 translation(const QVector3D &by)
{
    QMatrix4x4 matrix;
    matrix.translate(by);
    return matrix;
}

// The built-in display's pixels and layers, over 40 mm.
SliceBuildConfig display()
{
    SliceBuildConfig config;
    config.resolutionX = config.resolutionY = 850;
    return config;
}

// The layer at height z (mm) of the built-in display, model and cavity
// drawn together as the slicer draws a hollowed model.
CWS::LayerRaster layer(Model &model, Model *cavity, float z)
{
    std::vector<SliceSegment> segments;
    PlaneCut::cut(model, z, segments);
    if (cavity)
        PlaneCut::cut(*cavity, z, segments);
    CWS::LayerRaster raster{display()};
    raster.drawSegments(segments);
    return raster;
}

// Volume (mm³) of the white pixels of every layer of model with cavity.
double slicedVolume(Model &model, Model *cavity)
{
    const SliceBuildConfig config = display();
    const std::vector<float> heights = CWS::PlacedMesh::layerHeights(
        CWS::PlacedMesh::layerCount({&model}, config.layerThickness), config.layerThickness);
    const CWS::PlacedMesh placedModel(model, heights);
    const std::unique_ptr<CWS::PlacedMesh> placedCavity(cavity ? new CWS::PlacedMesh(*cavity, heights) : nullptr);
    qint64 pixels = 0;
    for (int i = 0; i < int(heights.size()); ++i) {
        std::vector<SliceSegment> segments;
        placedModel.cut(i, segments);
        if (placedCavity)
            placedCavity->cut(i, segments);
        CWS::LayerRaster raster(config);
        raster.drawSegments(segments);
        const QImage &image = raster.image();
        // The bits past the last pixel of a row are not the image's.
        const int bytes = image.width() / 8;
        const auto lastMask = uchar(0xff << (8 - image.width() % 8));
        for (int y = raster.content().top(); y <= raster.content().bottom(); ++y) {
            const uchar *line = image.constScanLine(y);
            for (int b = 0; b < bytes; ++b)
                pixels += std::bitset<8>(line[b]).count();
            pixels += std::bitset<8>(line[bytes] & lastMask).count();
        }
    }
    return pixels * config.layerThickness / (config.pixelsPerMmX * config.pixelsPerMmY);
}

// True when p lies on one of mesh's triangles, to within tolerance (mm).
bool onSurface(const MeshPrimitiveData &mesh, const QVector3D &p, float tolerance)
{
    for (size_t k = 0; k + 2 < mesh.indices.size(); k += 3) {
        const MeshVertex &a = mesh.vertices[mesh.indices[k]], &b = mesh.vertices[mesh.indices[k + 1]],
                         &c = mesh.vertices[mesh.indices[k + 2]];
        const QVector3D pa(a.x, a.y, a.z), ab = QVector3D(b.x, b.y, b.z) - pa, ac = QVector3D(c.x, c.y, c.z) - pa;
        const QVector3D n = QVector3D::crossProduct(ab, ac);
        const QVector3D q = p - pa;
        if (std::abs(QVector3D::dotProduct(q, n.normalized())) > tolerance)
            continue;
        // Barycentric coordinates of p's foot on the triangle's plane.
        const float u = QVector3D::dotProduct(QVector3D::crossProduct(q, ac), n) / n.lengthSquared();
        const float v = QVector3D::dotProduct(QVector3D::crossProduct(ab, q), n) / n.lengthSquared();
        if (u >= -1e-3f && v >= -1e-3f && u + v <= 1.001f)
            return true;
    }
    return false;
}

bool inside(const Boxes &boxes, const QVector3D &p)
{
    return std::any_of(boxes.begin(), boxes.end(), [&p](const QPair<QVector3D, QVector3D> &box) {
        return p.x() > box.first.x() && p.y() > box.first.y() && p.z() > box.first.z() && p.x() < box.second.x()
               && p.y() < box.second.y() && p.z() < box.second.z();
    });
}

} // namespace

class TstCavity : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hollowsWhatIsThickEnough_data();
    void hollowsWhatIsThickEnough();
    void sphereWallInTheMiddleLayer();
    void drainsEveryPart_data();
    void drainsEveryPart();
    void latticeStandsInTheCavity_data();
    void latticeStandsInTheCavity();
};

void TstCavity::hollowsWhatIsThickEnough_data()
{
    QTest::addColumn<MeshPrimitiveData>("mesh");
    QTest::addColumn<QMatrix4x4>("placement"); // mesh to platform
    QTest::addColumn<float>("wall");
    // The model on the platform hollowed exactly, its inner surface facing
    // inwards; empty when the model is too thin to hollow.
    QTest::addColumn<MeshPrimitiveData>("hollow");

    const MeshPrimitiveData cube = TestMeshes::cube(20);
    QTest::newRow("20 mm cube, 2 mm wall: 20³ - 16³")
        << cube << QMatrix4x4() << 2.0f
        << TestMeshes::combined(cube, TestMeshes::inverted(box({-8, -8, 2}, {8, 8, 18})));
    QMatrix4x4 raised = translation({3, -4, 5});
    raised.rotate(90, 0, 0, 1);
    QTest::newRow("... raised and turned, 1 mm wall")
        << cube << raised << 1.0f
        << TestMeshes::combined(mapped(cube, raised), TestMeshes::inverted(box({-6, -13, 6}, {12, 5, 24})));
    // Four boxes side by side, one closed part; turned, their faces where
    // they touch are cut at rounded places. Its cavity rounds the corners
    // around the ring's hole, which the exact hollow here does not: 0.5 %
    // less resin.
    const MeshPrimitiveData ring = TestMeshes::ring(30, 10, 12);
    QMatrix4x4 turned;
    turned.rotate(30, 0, 0, 1);
    QTest::newRow("square ring of four boxes, turned")
        << ring << turned << 2.0f
        << mapped(TestMeshes::combined(
                      ring, TestMeshes::inverted(mapped(TestMeshes::ring(26, 14, 8), translation({0, 0, 2})))),
                  turned);
    QTest::newRow("box with 1.5 mm walls, 1.6 mm wall")
        << TestMeshes::combined(cube, TestMeshes::inverted(box({-8.5f, -8.5f, 1.5f}, {8.5f, 8.5f, 18.5f})))
        << QMatrix4x4() << 1.6f << MeshPrimitiveData();
    // Its inside would be a 0.6 mm cube: too small to save resin or to drain.
    QTest::newRow("4.6 mm cube, 2 mm wall") << TestMeshes::cube(4.6f) << QMatrix4x4() << 2.0f << MeshPrimitiveData();
    QTest::newRow("3 mm rod, 1.6 mm wall")
        << TestMeshes::prism(TestMeshes::regularPolygon(32, 1.5), 20) << QMatrix4x4() << 1.6f << MeshPrimitiveData();
}

void TstCavity::hollowsWhatIsThickEnough()
{
    QFETCH(MeshPrimitiveData, mesh);
    QFETCH(QMatrix4x4, placement);
    QFETCH(float, wall);
    QFETCH(MeshPrimitiveData, hollow);

    const MeshPrimitiveData cavity = CWS::Cavity::build(mesh, placement, wall);
    if (hollow.indices.empty()) {
        QVERIFY2(cavity.indices.empty(), "a model thinner than twice the wall stays solid");
        return;
    }
    QVERIFY2(!cavity.indices.empty(), "a cavity");
    // Closed and facing one way: every edge runs as often each way.
    std::map<std::pair<uint32_t, uint32_t>, int> edges;
    for (size_t k = 0; k < cavity.indices.size(); ++k)
        ++edges[{cavity.indices[k], cavity.indices[k % 3 == 2 ? k - 2 : k + 1]}];
    for (const auto &edge : edges) {
        const auto back = edges.find({edge.first.second, edge.first.first});
        QVERIFY2(back != edges.end() && back->second == edge.second, "a closed surface");
    }
    const std::unique_ptr<Model> model(TestMeshes::makeModel(mapped(mesh, placement)));
    const std::unique_ptr<Model> inside(TestMeshes::makeModel(cavity));
    const std::unique_ptr<Model> exact(TestMeshes::makeModel(hollow));
    const double expected = slicedVolume(*exact, nullptr);
    const double volume = slicedVolume(*model, inside.get());
    QVERIFY2(std::abs(volume - expected) < 0.01 * expected,
             qPrintable(QStringLiteral("sliced %1 mm³, the exact hollow %2").arg(volume).arg(expected)));
}

void TstCavity::sphereWallInTheMiddleLayer()
{
    const MeshPrimitiveData sphere = TestMeshes::sphere(15, {0, 0, 15}, 64, 128);
    const std::unique_ptr<Model> model(TestMeshes::makeModel(sphere));
    const MeshPrimitiveData hollow = CWS::Cavity::build(sphere, QMatrix4x4(), 2);
    QVERIFY(!hollow.indices.empty());
    const std::unique_ptr<Model> cavity(TestMeshes::makeModel(hollow));
    const SliceBuildConfig config = display();
    const QImage image = layer(*model, cavity.get(), 15).toGrey();
    const int centreX = config.resolutionX / 2, centreY = config.resolutionY / 2;
    // A run of white from the outer edge inwards takes in both the pixel the
    // outer surface lies in and the one the inner surface lies in: the wall
    // is one pixel thinner than the run, give or take one.
    const auto wallFrom = [&](int x, int y, int dx, int dy, double pixelsPerMm) {
        while (qGray(image.pixel(x, y)) == 0)
            x += dx, y += dy;
        int run = 0;
        for (; qGray(image.pixel(x, y)) != 0; x += dx, y += dy)
            ++run;
        return (run - 1) / pixelsPerMm;
    };
    const struct
    {
        const char *side;
        int x, y, dx, dy;
        double pixelsPerMm;
    } sides[] = {{"left", 0, centreY, 1, 0, config.pixelsPerMmX},
                 {"right", config.resolutionX - 1, centreY, -1, 0, config.pixelsPerMmX},
                 {"front", centreX, 0, 0, 1, config.pixelsPerMmY},
                 {"back", centreX, config.resolutionY - 1, 0, -1, config.pixelsPerMmY}};
    for (const auto &s : sides) {
        const double wall = wallFrom(s.x, s.y, s.dx, s.dy, s.pixelsPerMm);
        QVERIFY2(std::abs(wall - 2) <= 1 / s.pixelsPerMm,
                 qPrintable(QStringLiteral("%1 wall %2 mm").arg(s.side).arg(wall)));
    }
}

void TstCavity::drainsEveryPart_data()
{
    QTest::addColumn<MeshPrimitiveData>("mesh");
    // The cavity's parts with a 2 mm wall, each as boxes it is made of.
    QTest::addColumn<QVector<Boxes>>("parts");
    QTest::addColumn<int>("holesPerPart");

    QTest::newRow("20 mm cube") << TestMeshes::cube(20) << QVector<Boxes>{{{{-8, -8, 2}, {8, 8, 18}}}} << 1;
    QTest::newRow("40 mm cube, air let in on the other side")
        << TestMeshes::cube(40) << QVector<Boxes>{{{{-18, -18, 2}, {18, 18, 38}}}} << 2;
    QTest::newRow("two cubes at different heights")
        << TestMeshes::combined(box({-16, -6, 0}, {-4, 6, 12}), box({4, -6, 5}, {16, 6, 17}))
        << QVector<Boxes>{{{{-14, -4, 2}, {-6, 4, 10}}}, {{{6, -4, 7}, {14, 4, 15}}}} << 1;
    QTest::newRow("square ring") << TestMeshes::ring(30, 10, 12)
                                 << QVector<Boxes>{{{{-13, -13, 2}, {13, -7, 10}},
                                                    {{-13, 7, 2}, {13, 13, 10}},
                                                    {{-13, -7, 2}, {-7, 7, 10}},
                                                    {{7, -7, 2}, {13, 7, 10}}}}
                                 << 1;
}

void TstCavity::drainsEveryPart()
{
    QFETCH(MeshPrimitiveData, mesh);
    QFETCH(QVector<Boxes>, parts);
    QFETCH(int, holesPerPart);

    const float wall = 2, diameter = 3;
    const MeshPrimitiveData cavity = CWS::Cavity::build(mesh, QMatrix4x4(), wall);
    const std::vector<DrainHole> holes = CWS::Cavity::drainHoles(mesh, QMatrix4x4(), cavity, wall, diameter);
    QCOMPARE(int(holes.size()), parts.size() * holesPerPart);
    for (const Boxes &part : parts) {
        const float floor = part.first().first.z();
        std::vector<DrainHole> drains;
        for (const DrainHole &hole : holes) {
            // The hole is cut wall + 1 mm deep from its opening.
            if (inside(part, hole.position + hole.direction * (wall + 1)))
                drains.push_back(hole);
        }
        QCOMPARE(int(drains.size()), holesPerPart);
        for (const DrainHole &hole : drains) {
            QVERIFY2(onSurface(mesh, hole.position, 0.1f), "opens on the outer surface");
            QVERIFY2(hole.position.z() < floor + diameter + wall, "opens near the floor");
            QCOMPARE(hole.diameterMm, diameter);
        }
        if (drains.size() == 2) {
            QVERIFY2((drains[0].position - drains[1].position).toVector2D().length() > 20,
                     "the second hole on the other side");
        }
    }
}

void TstCavity::latticeStandsInTheCavity_data()
{
    QTest::addColumn<float>("z");       // the layer's height (mm)
    QTest::addColumn<QPointF>("point"); // on the platform (mm), the cube's middle at 0, 0
    QTest::addColumn<bool>("solid");
    // A 40 mm cube with a 2 mm wall and walls 1.5 mm thick every 10 mm
    // through its middle, each with 3 mm windows midway between the walls
    // across it, from the floor (2 mm) up every 10 mm.
    QTest::newRow("wall across x") << 18.0f << QPointF(0, 5) << true;
    QTest::newRow("wall across y") << 18.0f << QPointF(5, -10) << true;
    QTest::newRow("cell") << 18.0f << QPointF(5, 5) << false;
    QTest::newRow("window") << 23.5f << QPointF(0, 5) << false;
    QTest::newRow("walls crossing beside windows") << 23.5f << QPointF(0, 10) << true;
    QTest::newRow("window on the floor") << 3.0f << QPointF(10, -5) << false;
}

void TstCavity::latticeStandsInTheCavity()
{
    QFETCH(float, z);
    QFETCH(QPointF, point);
    QFETCH(bool, solid);
    const MeshPrimitiveData cube = TestMeshes::cube(40);
    const MeshPrimitiveData cavity = CWS::Cavity::build(cube, QMatrix4x4(), 2, Lattice{10, 1.5f});
    const std::unique_ptr<Model> model(TestMeshes::makeModel(cube));
    const std::unique_ptr<Model> inside(TestMeshes::makeModel(cavity));
    const SliceBuildConfig config = display();
    const QImage image = layer(*model, inside.get(), z).toGrey();
    const QPoint pixel(int(config.resolutionX / 2 + point.x() * config.pixelsPerMmX),
                       int(config.resolutionY / 2 + point.y() * config.pixelsPerMmY));
    QCOMPARE(qGray(image.pixel(pixel)) != 0, solid);
    // The windows join the cells into one hollow: the holes of one part drain it.
    QCOMPARE(int(CWS::Cavity::drainHoles(cube, QMatrix4x4(), cavity, 2, 3).size()), 2);
}

QTEST_GUILESS_MAIN(TstCavity)
#include "tst_cavity.moc"
