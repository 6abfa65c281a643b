#include "common/TestMeshes.h"
#include "settings/SliceBuildConfig.h"
#include "settings/SupportConfig.h"
#include "slicing/PrintCheck.h"
#include "slicing/Slice.h"
#include "supports/OverhangPlanner.h"
#include "supports/Support.h"
#include "supports/VerticalRays.h"

#include <QtTest>

#include <cmath>
#include <memory>

namespace {

using Kind = CWS::PrintFinding::Kind;
using Meshes = QVector<MeshPrimitiveData>;

MeshPrimitiveData box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return TestMeshes::box({x0, y0, z0}, {x1, y1, z1});
}

// mesh turned by degrees about the x axis, then moved so that its lowest
// point lies at z.
MeshPrimitiveData turnedAboutX(MeshPrimitiveData mesh, double degrees, float z)
{
    const double a = degrees * M_PI / 180;
    float low = std::numeric_limits<float>::max();
    for (MeshVertex &v : mesh.vertices) {
        const double y = v.y * std::cos(a) - v.z * std::sin(a);
        const double zz = v.y * std::sin(a) + v.z * std::cos(a);
        v.y = float(y);
        v.z = float(zz);
        low = std::min(low, v.z);
    }
    for (MeshVertex &v : mesh.vertices)
        v.z += z - low;
    return mesh;
}

SliceBuildConfig display()
{
    SliceBuildConfig config;
    config.layerThickness = 0.05f;
    config.pixelsPerMmX = 21.164021;
    config.pixelsPerMmY = 21.164021;
    config.resolutionX = 720; // 34 mm
    config.resolutionY = 720;
    return config;
}

} // namespace

Q_DECLARE_METATYPE(Meshes)

class TstOverhangSupports : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void leavesNothingInMidAir_data();
    void leavesNothingInMidAir();
};

void TstOverhangSupports::leavesNothingInMidAir_data()
{
    QTest::addColumn<Meshes>("meshes"); // separate models
    QTest::addColumn<int>("preset");
    QTest::addColumn<bool>("needsSupports");
    QTest::addColumn<bool>("standsOnModel"); // some column stands on a model instead of the platform

    const auto tee = TestMeshes::combined(box(-1, -5, 0, 1, 5, 5), box(-8, -5, 5, 8, 5, 6));
    QTest::newRow("T with flat arms") << Meshes{tee} << int(CWS::SupportConfig::Medium) << true << false;
    QTest::newRow("... light") << Meshes{tee} << int(CWS::SupportConfig::Light) << true << false;
    QTest::newRow("... heavy") << Meshes{tee} << int(CWS::SupportConfig::Heavy) << true << false;
    QTest::newRow("mushroom") << Meshes{TestMeshes::combined(box(-2, -2, 0, 2, 2, 5), box(-6, -6, 5, 6, 6, 6))}
                              << int(CWS::SupportConfig::Medium) << true << false;
    QTest::newRow("arch") << Meshes{TestMeshes::combined(
        TestMeshes::combined(box(-8, -4, 0, -5, 4, 6), box(5, -4, 0, 8, 4, 6)), box(-8, -4, 6, 8, 4, 8))}
                          << int(CWS::SupportConfig::Medium) << true << false;
    QTest::newRow("sphere lifted 5 mm") << Meshes{TestMeshes::sphere(5, {0, 0, 10})}
                                        << int(CWS::SupportConfig::Medium) << true << false;
    QTest::newRow("sphere resting on the platform") << Meshes{TestMeshes::sphere(8, {0, 0, 8})}
                                                   << int(CWS::SupportConfig::Medium) << true << false;
    QTest::newRow("plate tilted 30 degrees") << Meshes{turnedAboutX(box(-6, -5, 0, 6, 5, 1), 30, 3)}
                                             << int(CWS::SupportConfig::Medium) << true << false;
    QTest::newRow("ring on its side") << Meshes{turnedAboutX(TestMeshes::ring(14, 8, 4), 90, 0)}
                                      << int(CWS::SupportConfig::Medium) << true << true;
    QTest::newRow("one model under the other's overhang") << Meshes{tee, box(3, -3, 0, 7, 3, 3)}
                                                          << int(CWS::SupportConfig::Medium) << true << true;
    QTest::newRow("cube on the platform") << Meshes{TestMeshes::cube(8)} << int(CWS::SupportConfig::Medium) << false
                                          << false;
}

void TstOverhangSupports::leavesNothingInMidAir()
{
    QFETCH(Meshes, meshes);
    QFETCH(int, preset);
    QFETCH(bool, needsSupports);
    QFETCH(bool, standsOnModel);

    std::vector<std::unique_ptr<Model>> owned;
    std::vector<const Model *> normals;
    QList<Model *> models;
    for (const MeshPrimitiveData &mesh : meshes) {
        owned.emplace_back(TestMeshes::makeModel(mesh));
        normals.push_back(owned.back().get());
        models << owned.back().get();
    }
    // Declared after the models, so that the columns go first: a column
    // leaves its owner's list as it is deleted.
    std::vector<std::unique_ptr<Model>> ownedColumns;
    CWS::SupportConfig config;
    config.setPreset(preset);
    const SliceBuildConfig raster = display();
    const CWS::VerticalRays scene(normals);
    int columns = 0, onModel = 0;
    for (size_t m = 0; m < normals.size(); ++m) {
        CWS::OverhangPlanner planner(config.shape(), scene, QRectF(-17, -17, 34, 34));
        for (const CWS::SupportPlacement &p : planner.plan(int(m))) {
            // No body runs through material: its axis from the foot's top to the knee is clear.
            for (float t = 0.05f; t < 1; t += 0.1f) {
                const QVector3D q(p.knee.x(), p.knee.y(), p.footTopZ + t * (p.knee.z() - p.footTopZ));
                QVERIFY2(!scene.inside(q), qPrintable(QStringLiteral("body inside a model at %1, %2, %3")
                                                          .arg(q.x()).arg(q.y()).arg(q.z())));
            }
            auto *column = new CWS::Support(models[int(m)]);
            column->buildTipped(&config, p);
            ownedColumns.emplace_back(column);
            models << column;
            ++columns;
            onModel += p.onModel;
        }
        QStringList unsupported;
        for (const CWS::UnsupportedPoint &u : planner.unsupported())
            unsupported << QStringLiteral("%1, %2, %3: %4").arg(u.point.x()).arg(u.point.y()).arg(u.point.z()).arg(u.reason);
        QVERIFY2(unsupported.isEmpty(), qPrintable(unsupported.join("; ")));
    }
    QVERIFY2((columns > 0) == needsSupports, qPrintable(QStringLiteral("%1 columns").arg(columns)));
    QVERIFY2((onModel > 0) == standsOnModel, qPrintable(QStringLiteral("%1 on a model").arg(onModel)));

    CWS::PrintCheck check(raster, CWS::ModelFootprint::of(models));
    float top = 0;
    for (const Model *model : qAsConst(models))
        top = std::max(top, model->boundMax.z());
    for (int i = 0; (i + 0.5f) * raster.layerThickness < top; ++i) {
        CWS::Slice slice(nullptr, &raster, i, (i + 0.5f) * raster.layerThickness, &models);
        slice.renderLayer(false, nullptr);
        check.addLayer(*slice.image());
    }
    QStringList left;
    for (const CWS::PrintFinding &f : check.finish()) {
        if (f.kind == Kind::Island || f.kind == Kind::Overhang || f.kind == Kind::Floating)
            left << QStringLiteral("%1 layers %2-%3 at (%4, %5) %6 mm²")
                        .arg(CWS::PrintFinding::kindName(f.kind)).arg(f.firstLayer).arg(f.lastLayer)
                        .arg(f.xMm, 0, 'f', 2).arg(f.yMm, 0, 'f', 2).arg(f.areaMm2, 0, 'f', 2);
    }
    QVERIFY2(left.isEmpty(), qPrintable(QStringLiteral("%1 columns left: ").arg(columns) + left.join("; ")));
}

QTEST_GUILESS_MAIN(TstOverhangSupports)
#include "tst_overhangsupports.moc"
