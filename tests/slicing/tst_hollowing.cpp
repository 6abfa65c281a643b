#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/PlacedMesh.h"
#include "slicing/PrintCheckRun.h"
#include "slicing/Slice.h"

#include <QtTest>

#include <memory>

namespace {

// 28.3 x 30 mm at two pitches, 0.2 mm layers.
SliceBuildConfig display()
{
    SliceBuildConfig config;
    config.layerThickness = 0.2f;
    config.pixelsPerMmX = 21.164021;
    config.pixelsPerMmY = 18.0;
    config.resolutionX = 600;
    config.resolutionY = 540;
    return config;
}

// A 20 mm cube on the plate hollowed with a 2 mm wall, its cavity made by
// hand (the box 2 mm inside every face) for the model as it stands.
Model *hollowCube()
{
    Model *model = TestMeshes::makeModel(TestMeshes::cube(20));
    model->hollowing.wallMm = 2;
    model->cavity = ModelCavity::fromPlatform(TestMeshes::inverted(TestMeshes::box({-8, -8, 2}, {8, 8, 18})),
                                              model->modelMatrix(), 2, {});
    model->updateBounds(true);
    return model;
}

// A drain hole of 3 mm through the +x wall, 1.5 mm above the cavity's floor.
DrainHole sideHole()
{
    return {QVector3D(10, 0, 3.5f), QVector3D(-1, 0, 0), 3};
}

int whitePixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelIndex(x, y);
    }
    return n;
}

// The layer at z as both paths draw it: the models one by one, and placed
// for a run with the cavities they hold.
std::pair<QImage, QImage> layer(const SliceBuildConfig &config, const QList<Model *> &models, float z)
{
    CWS::Slice perModel(nullptr, &config, 0, z, &models);
    perModel.renderLayer(false, nullptr);
    std::vector<CWS::PlacedMesh> placed;
    for (Model *model : models) {
        placed.emplace_back(*model, std::vector<float>{z});
        if (model->cavityFits())
            placed.back().setCavity(model->cavity.mesh);
    }
    CWS::Slice run(nullptr, &config, 0, z, &placed);
    run.renderLayer(false, nullptr);
    return {*perModel.image(), *run.image()};
}

// (column, row) of platform point x, y (mm) on config's raster.
QPoint pixel(const SliceBuildConfig &config, double x, double y)
{
    return QPoint(config.resolutionX / 2 + int(x * config.pixelsPerMmX),
                  config.resolutionY / 2 + int(y * config.pixelsPerMmY));
}

} // namespace

class TstHollowing : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void volumeFollowsCavity_data();
    void volumeFollowsCavity();
    void drainHoleClearsOnlyItsModel();
    void resinTrapDrainsThroughHole_data();
    void resinTrapDrainsThroughHole();
};

void TstHollowing::volumeFollowsCavity_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<double>("volumeMm3"); // of the model and of its sliced layers
    QTest::newRow("hollow") << QString() << 3904.0;
    QTest::newRow("moved: the cavity moves along") << QStringLiteral("move") << 3904.0;
    QTest::newRow("copied: the copy is hollow too") << QStringLiteral("copy") << 3904.0;
    // Until a new cavity is made the model counts and slices solid.
    QTest::newRow("scaled: the cavity is stale") << QStringLiteral("scale") << 8000.0 * 1.1 * 1.1 * 1.1;
    QTest::newRow("new wall: the cavity is stale") << QStringLiteral("wall") << 8000.0;
    QTest::newRow("flipped: the cavity is dropped") << QStringLiteral("flip") << 8000.0;
    QTest::newRow("made solid") << QStringLiteral("solid") << 8000.0;
}

void TstHollowing::volumeFollowsCavity()
{
    QFETCH(QString, edit);
    QFETCH(double, volumeMm3);
    std::unique_ptr<Model> source(hollowCube());
    std::unique_ptr<Model> model(edit == QLatin1String("copy") ? new Model(*source) : hollowCube());
    if (edit == QLatin1String("move"))
        model->setTranslate(3, -2, 0);
    else if (edit == QLatin1String("scale"))
        model->scale = QVector3D(1.1f, 1.1f, 1.1f);
    else if (edit == QLatin1String("wall"))
        model->hollowing.wallMm = 3;
    else if (edit == QLatin1String("flip"))
        model->flip(1);
    else if (edit == QLatin1String("solid"))
        model->hollowing.wallMm = 0;
    model->updateBounds(true);
    QVERIFY2(std::abs(model->volume * 1000 - volumeMm3) < 0.001 * volumeMm3,
             qPrintable(QStringLiteral("expected %1 mm³, the model says %2")
                            .arg(volumeMm3)
                            .arg(model->volume * 1000)));

    const SliceBuildConfig config = display();
    const QList<Model *> models{model.get()};
    double sliced = 0;
    for (int i = 0; (i + 0.5f) * config.layerThickness < model->boundMax.z(); ++i) {
        const auto [perModel, run] = layer(config, models, (i + 0.5f) * config.layerThickness);
        QVERIFY2(perModel == run, qPrintable(QStringLiteral("both paths draw layer %1 alike").arg(i)));
        sliced += whitePixels(run) / (config.pixelsPerMmX * config.pixelsPerMmY) * config.layerThickness;
    }
    // The outline pixels add up to a pixel (1/18 mm) around each wall:
    // (80 mm x 20 mm + 64 mm x 16 mm) / 18 = 146 mm³.
    QVERIFY2(std::abs(sliced - volumeMm3) < 150,
             qPrintable(QStringLiteral("expected %1 mm³ in the layers, got %2").arg(volumeMm3).arg(sliced)));
}

void TstHollowing::drainHoleClearsOnlyItsModel()
{
    // A support column in the hole's way, and a second cube in the way of
    // where the hole starts outside the surface: neither loses a pixel.
    std::unique_ptr<Model> model(hollowCube());
    model->hollowing.drainHoles.push_back(sideHole());
    std::unique_ptr<Model> support(
        TestMeshes::makeSupportOf(model.get(), TestMeshes::box({8.5f, -0.5f, 0}, {9.5f, 0.5f, 10})));
    std::unique_ptr<Model> neighbour(TestMeshes::makeModel(TestMeshes::box({10.1f, -1, 0}, {12, 1, 10})));
    const SliceBuildConfig config = display();
    // The support and the neighbour come first in the list: the holes go first anyway.
    const QList<Model *> models{support.get(), neighbour.get(), model.get()};
    const auto [perModel, run] = layer(config, models, 3.55f);
    QVERIFY2(perModel == run, "both paths draw the hole alike");
    QCOMPARE(run.pixelIndex(pixel(config, 9, 0)), 1);      // the support inside the hole
    QCOMPARE(run.pixelIndex(pixel(config, 11, 0)), 1);     // the neighbour outside the surface
    QCOMPARE(run.pixelIndex(pixel(config, 9, 1.0)), 0);    // the wall where the hole runs
    QCOMPARE(run.pixelIndex(pixel(config, 10, -1.0)), 0);  // the surface's outline pixels too
    QCOMPARE(run.pixelIndex(pixel(config, 9, 2.0)), 1);    // the wall beside it
    QCOMPARE(run.pixelIndex(pixel(config, -9, 0)), 1);     // the opposite wall
    // Above the hole the wall is whole.
    const QImage above = layer(config, models, 5.55f).second;
    QCOMPARE(above.pixelIndex(pixel(config, 9, 1.0)), 1);
}

void TstHollowing::resinTrapDrainsThroughHole_data()
{
    QTest::addColumn<bool>("hole");
    QTest::addColumn<int>("traps");
    QTest::newRow("closed hollow") << false << 1;
    QTest::newRow("with a drain hole near the bottom") << true << 0;
}

void TstHollowing::resinTrapDrainsThroughHole()
{
    QFETCH(bool, hole);
    QFETCH(int, traps);
    std::unique_ptr<Model> model(hollowCube());
    if (hole)
        model->hollowing.drainHoles.push_back(sideHole());
    const SliceBuildConfig config = display();
    const QList<Model *> models{model.get()};
    CWS::PrintCheckRun check(config, models, CWS::PlacedMesh::layerCount(models, config.layerThickness), false, 1);
    check.start();
    QVERIFY(check.wait(60000));
    QStringList found;
    int n = 0;
    for (const CWS::PrintFinding &f : check.findings()) {
        found << QStringLiteral("%1 layers %2-%3")
                     .arg(CWS::PrintFinding::kindName(f.kind))
                     .arg(f.firstLayer)
                     .arg(f.lastLayer);
        n += f.kind == CWS::PrintFinding::ResinTrap;
    }
    QVERIFY2(n == traps, qPrintable(QStringLiteral("expected %1 resin trap(s), found: %2")
                                        .arg(traps)
                                        .arg(found.join(QStringLiteral("; ")))));
}

QTEST_MAIN(TstHollowing)
#include "tst_hollowing.moc"
