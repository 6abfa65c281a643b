#include "common/TestMeshes.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/FindingImage.h"
#include "slicing/PrintCheck.h"
#include "slicing/Slice.h"

#include <QtTest>

#include <cmath>
#include <memory>
#include <numeric>

namespace {

using Kind = CWS::PrintFinding::Kind;

// One mesh made of several, which must not overlap (the fill is even-odd).
MeshPrimitiveData join(std::initializer_list<MeshPrimitiveData> parts, const QVector3D &offset = {})
{
    MeshPrimitiveData mesh;
    for (const MeshPrimitiveData &part : parts) {
        const auto first = uint32_t(mesh.vertices.size());
        for (MeshVertex v : part.vertices) {
            v.x += offset.x();
            v.y += offset.y();
            v.z += offset.z();
            mesh.vertices.push_back(v);
        }
        for (uint32_t index : part.indices)
            mesh.indices.push_back(first + index);
    }
    return mesh;
}

MeshPrimitiveData box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return TestMeshes::box({x0, y0, z0}, {x1, y1, z1});
}

// A square ring (outer, inner edge) from z0 to z1 centred on x = y = 0.
MeshPrimitiveData ring(float outer, float inner, float z0, float z1)
{
    return join({TestMeshes::ring(outer, inner, z1 - z0)}, {0, 0, z0});
}

// A prism along y (from -5 to 5 mm) over a convex outline in the x-z plane.
MeshPrimitiveData alongY(const QPolygonF &xz)
{
    MeshPrimitiveData mesh;
    const QPointF c = std::accumulate(xz.begin(), xz.end(), QPointF()) / xz.size();
    for (int i = 0; i < xz.size(); ++i) {
        const QPointF p = xz[i], q = xz[(i + 1) % xz.size()];
        const QVector3D p0(float(p.x()), -5, float(p.y())), q0(float(q.x()), -5, float(q.y()));
        const QVector3D p1(p0.x(), 5, p0.z()), q1(q0.x(), 5, q0.z());
        TestMeshes::addTriangle(mesh, p0, q0, q1);
        TestMeshes::addTriangle(mesh, p0, q1, p1);
        TestMeshes::addTriangle(mesh, {float(c.x()), -5, float(c.y())}, q0, p0);
        TestMeshes::addTriangle(mesh, {float(c.x()), 5, float(c.y())}, p1, q1);
    }
    return mesh;
}

// Eight 2 mm pillars from the plate to z under a 12 mm cap around x = y = 0.
MeshPrimitiveData pillars(float z)
{
    MeshPrimitiveData mesh;
    for (int i = -1; i <= 1; ++i) {
        for (int j = -1; j <= 1; ++j) {
            if (i || j)
                mesh = join({mesh, box(4.5f * i - 1, 4.5f * j - 1, 0, 4.5f * i + 1, 4.5f * j + 1, z)});
        }
    }
    return mesh;
}

SliceBuildConfig display()
{
    SliceBuildConfig config;
    config.layerThickness = 0.05f;
    config.pixelsPerMmX = 21.164021;
    config.pixelsPerMmY = 18.0; // a different pitch per axis
    config.resolutionX = 600; // 28.3 mm
    config.resolutionY = 540; // 30 mm
    return config;
}

} // namespace

Q_DECLARE_METATYPE(MeshPrimitiveData)
Q_DECLARE_METATYPE(Kind)

class TstPrintCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void findsWhatFailsAPrint_data();
    void findsWhatFailsAPrint();
    void greyFringeOfAnEdgeIsNoIsland_data();
    void greyFringeOfAnEdgeIsNoIsland();
};

void TstPrintCheck::findsWhatFailsAPrint_data()
{
    QTest::addColumn<MeshPrimitiveData>("mesh");
    QTest::addColumn<QVector3D>("offset"); // where the model is moved to (mm)
    QTest::addColumn<MeshPrimitiveData>("support"); // empty: none
    QTest::addColumn<Kind>("kind");
    // Findings of that kind; for the first: its first layer, centre and area.
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("layer");
    QTest::addColumn<QPointF>("centre");
    QTest::addColumn<double>("area");

    const MeshPrimitiveData none;
    const MeshPrimitiveData stack = join({box(-5, -5, 0, 5, 5, 5), box(-3, -3, 7, 3, 3, 10)});
    QTest::newRow("block floating above another") << stack << QVector3D(3, 2, 0) << none << Kind::Island << 1 << 140
                                                   << QPointF(3, 2) << 36.0;
    QTest::newRow("... joined by a support") << stack << QVector3D(3, 2, 0) << box(-1, -1, 4.9f, 1, 1, 7.1f)
                                             << Kind::Island << 0 << 0 << QPointF() << 0.0;
    const MeshPrimitiveData mushroom = join({box(-2, -2, 0, 2, 2, 5), box(-6, -6, 5, 6, 6, 6)});
    // The cap less the stem grown by 2 mm: 144 - (16 + 4 * 4 * 2 + 4 pi).
    QTest::newRow("mushroom cap") << mushroom << QVector3D() << none << Kind::Overhang << 1 << 100 << QPointF()
                                  << 144 - (48 + 4 * M_PI);
    QTest::newRow("... on pillars") << mushroom << QVector3D() << pillars(5.1f) << Kind::Overhang << 0 << 0
                                    << QPointF() << 0.0;
    const MeshPrimitiveData tee = join({box(-1, -5, 0, 1, 5, 5), box(-8, -5, 5, 8, 5, 6)});
    QTest::newRow("flat-armed T") << tee << QVector3D() << none << Kind::Overhang << 2 << 100 << QPointF(-5.5, 0)
                                  << 50.0;
    QTest::newRow("... on walls") << tee << QVector3D()
                                  << join({box(-6.5f, -5, 0, -3.5f, 5, 5.1f), box(3.5f, -5, 0, 6.5f, 5, 5.1f)})
                                  << Kind::Overhang << 0 << 0 << QPointF() << 0.0;
    QTest::newRow("ramp at 45 degrees") << alongY(QPolygonF({{-6, 0}, {-4, 0}, {6, 10}, {-6, 10}})) << QVector3D() << none
                                        << Kind::Overhang << 0 << 0 << QPointF() << 0.0;
    QTest::newRow("ramp at 45 degrees, islands") << alongY(QPolygonF({{-6, 0}, {-4, 0}, {6, 10}, {-6, 10}})) << QVector3D()
                                                 << none << Kind::Island << 0 << 0 << QPointF() << 0.0;
    const MeshPrimitiveData hollow = join({box(-5, -5, 0, 5, 5, 10), TestMeshes::inverted(box(-4, -4, 1, 4, 4, 9))});
    QTest::newRow("hollow closed cube") << hollow << QVector3D(-2, 3, 0) << none << Kind::ResinTrap << 1 << 20
                                        << QPointF(-2, 3) << 64.0;
    QTest::newRow("... makes a suction cup") << hollow << QVector3D() << none << Kind::SuctionCup << 1 << 20
                                             << QPointF() << 64.0;
    const MeshPrimitiveData floorAndWalls = join({box(-5, -5, 0, 5, 5, 1), ring(10, 8, 1, 9)});
    QTest::newRow("... with a drain hole") << join({floorAndWalls, ring(10, 2, 9, 10)}) << QVector3D() << none
                                           << Kind::ResinTrap << 0 << 0 << QPointF() << 0.0;
    QTest::newRow("... with a hole under 10 pixels") << join({floorAndWalls, ring(10, 0.1f, 9, 10)}) << QVector3D()
                                                     << none << Kind::ResinTrap << 1 << 20 << QPointF() << 64.0;
    QTest::newRow("cup open at the top") << floorAndWalls << QVector3D() << none << Kind::ResinTrap << 0 << 0
                                         << QPointF() << 0.0;
    QTest::newRow("model partly off the display") << TestMeshes::cube(10) << QVector3D(12, 0, 0) << none
                                                  << Kind::Clipped << 1 << 0
                                                  << QPointF((17 + 300 / 21.164021) / 2, 0)
                                                  << (17 - 300 / 21.164021) * 10;
    QTest::newRow("... moved back") << TestMeshes::cube(10) << QVector3D(8, 0, 0) << none << Kind::Clipped << 0 << 0
                                    << QPointF() << 0.0;
    QTest::newRow("model above the plate") << TestMeshes::cube(4) << QVector3D(0, 0, 2) << none << Kind::Floating << 1
                                           << 40 << QPointF() << 16.0;
    QTest::newRow("... on a support") << TestMeshes::cube(4) << QVector3D(0, 0, 2) << box(-1, -1, 0, 1, 1, 2.1f)
                                      << Kind::Floating << 0 << 0 << QPointF() << 0.0;
}

void TstPrintCheck::findsWhatFailsAPrint()
{
    QFETCH(MeshPrimitiveData, mesh);
    QFETCH(QVector3D, offset);
    QFETCH(MeshPrimitiveData, support);
    QFETCH(Kind, kind);
    QFETCH(int, count);
    QFETCH(int, layer);
    QFETCH(QPointF, centre);
    QFETCH(double, area);

    // A plain cube beside the model comes first: findings name the model by its index.
    std::unique_ptr<Model> bystander(TestMeshes::makeModel(join({TestMeshes::cube(3)}, {-11, -11, 0})));
    std::unique_ptr<Model> model(TestMeshes::makeModel(join({mesh}, offset)));
    QList<Model *> models{bystander.get(), model.get()};
    std::unique_ptr<Model> column;
    if (!support.indices.empty()) {
        column.reset(TestMeshes::makeSupportOf(model.get(), join({support}, {offset.x(), offset.y(), 0})));
        models << column.get();
    }

    const SliceBuildConfig config = display();
    CWS::PrintCheck check(config, CWS::ModelFootprint::of(models));
    const float top = std::max(model->boundMax.z(), column ? column->boundMax.z() : 0.0f);
    for (int i = 0; (i + 0.5f) * config.layerThickness < top; ++i) {
        CWS::Slice slice(nullptr, &config, i, (i + 0.5f) * config.layerThickness, &models);
        slice.renderLayer(false, nullptr);
        check.addLayer(*slice.image());
    }
    std::vector<CWS::PrintFinding> found;
    QStringList all;
    const std::vector<CWS::PrintFinding> findings = check.finish();
    for (const CWS::PrintFinding &f : findings) {
        all << QStringLiteral("%1 layers %2-%3 at (%4, %5) %6 mm²")
                   .arg(CWS::PrintFinding::kindName(f.kind)).arg(f.firstLayer).arg(f.lastLayer)
                   .arg(f.xMm, 0, 'f', 2).arg(f.yMm, 0, 'f', 2).arg(f.areaMm2, 0, 'f', 2);
        if (f.kind == kind)
            found.push_back(f);
    }
    const QString seen = QStringLiteral(" (found: %1)").arg(all.join(QStringLiteral("; ")));
    QVERIFY2(int(found.size()) == count,
             qPrintable(QStringLiteral("expected %1 of %2").arg(count).arg(CWS::PrintFinding::kindName(kind)) + seen));
    if (!count)
        return;
    const CWS::PrintFinding &f = found.front();
    QVERIFY2(std::abs(f.firstLayer - layer) <= 1, qPrintable(QStringLiteral("expected layer %1").arg(layer) + seen));
    QVERIFY2(std::abs(f.bottomMm - f.firstLayer * 0.05) < 1e-4, "the height range starts at the first layer");
    // A pixel of either pitch off the true position, area within a pixel row around the outline.
    QVERIFY2(std::hypot(f.xMm - centre.x(), f.yMm - centre.y()) < 0.1,
             qPrintable(QStringLiteral("expected the centre (%1, %2)").arg(centre.x()).arg(centre.y()) + seen));
    QVERIFY2(std::abs(f.areaMm2 - area) < 0.03 * area + 0.5,
             qPrintable(QStringLiteral("expected %1 mm²").arg(area) + seen));
    QVERIFY2(f.model == 1, qPrintable(QStringLiteral("expected model 1, got %1").arg(f.model)));

    // The layer image of the preview draws it red: an island or overhang
    // where it starts, a hollow halfway up.
    if (kind == Kind::Clipped || kind == Kind::Floating)
        return;
    const bool hollow = kind == Kind::ResinTrap || kind == Kind::SuctionCup;
    const int shown = hollow ? (f.firstLayer + f.lastLayer) / 2 : f.firstLayer;
    const QImage image = CWS::FindingImage::render(config, models, shown, false, 1, findings);
    int red = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        red += int(std::count(line, line + image.width(), CWS::FindingImage::red));
    }
    double expected = 0; // the T's two arms overhang in one layer
    for (const CWS::PrintFinding &g : found) {
        if (hollow ? g.firstLayer <= shown && shown <= g.lastLayer : g.firstLayer == shown)
            expected += g.areaMm2;
    }
    const double redMm2 = red / (config.pixelsPerMmX * config.pixelsPerMmY);
    QVERIFY2(std::abs(redMm2 - expected) < 0.03 * expected + 0.5,
             qPrintable(QStringLiteral("expected %1 mm² red in layer %2, got %3").arg(expected).arg(shown).arg(redMm2)));
}

void TstPrintCheck::greyFringeOfAnEdgeIsNoIsland_data()
{
    // A pixel lit in layer 1 beside a block that layer 0 also holds; nothing under the pixel.
    QTest::addColumn<int>("grey");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<int>("islands");
    QTest::newRow("grey pixel at the block's corner") << 63 << QPoint(30, 30) << 0;
    QTest::newRow("solid pixel at the block's corner") << 255 << QPoint(30, 30) << 1;
    QTest::newRow("grey pixel apart") << 63 << QPoint(40, 40) << 1;
}

void TstPrintCheck::greyFringeOfAnEdgeIsNoIsland()
{
    QFETCH(int, grey);
    QFETCH(QPoint, pixel);
    QFETCH(int, islands);
    const SliceBuildConfig config = display();
    QImage layer(config.resolutionX, config.resolutionY, QImage::Format_Grayscale8);
    layer.fill(0);
    for (int y = 10; y < 30; ++y)
        std::fill_n(layer.scanLine(y) + 10, 20, uchar(255));
    CWS::PrintCheck check(config, {});
    check.addLayer(layer);
    layer.scanLine(pixel.y())[pixel.x()] = uchar(grey);
    check.addLayer(layer);
    const std::vector<CWS::PrintFinding> found = check.finish();
    const auto island = [](const CWS::PrintFinding &f) { return f.kind == Kind::Island; };
    QCOMPARE(int(std::count_if(found.begin(), found.end(), island)), islands);
}

QTEST_MAIN(TstPrintCheck)
#include "tst_printcheck.moc"
