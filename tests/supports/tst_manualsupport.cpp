#include "common/TestMeshes.h"
#include "common/ViewProbe.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "supports/Support.h"
#include "workspace/Camera.h"
#include "workspace/KaloModel.h"
#include "workspace/Picking.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip.h>
#include <quazipfile.h>

#include <memory>

using namespace TestMeshes;

namespace {

const QSize viewport(800, 600);
constexpr double pixelsPerMm = 10;
const QSize raster(700, 1200);

QByteArray text(const QVector3D &v)
{
    return QByteArray::number(v.x()) + ", " + QByteArray::number(v.y()) + ", " + QByteArray::number(v.z());
}

// A layer pixel of a platform point (mm): white (true) or black.
bool exposed(const QImage &layer, float x, float y)
{
    const int column = int(double(x) * pixelsPerMm) + layer.width() / 2;
    const int row = int(double(y) * pixelsPerMm) + layer.height() / 2;
    return qGray(layer.pixel(column, row)) > 127;
}

} // namespace

// Supports placed by clicking on a model, and the print they hold up.
class TstManualSupport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { m_manager.reset(); }

    void firstClickSelectsSecondAddsASupport();
    void clickOnEmptySpaceAddsNothing();
    void tooLowPointsAreRefused_data();
    void tooLowPointsAreRefused();
    void modeIsSwitchedOnAndOff();
    void liftedModelPrintsOnItsSupports();

private:
    QPoint pixelOf(const QVector3D &mm) const { return ViewProbe::pixelOf(*m_manager, viewport, mm); }
    // The nearest normal model's hit under a pixel, as a click sees it.
    PickHit hitAt(const QPoint &pixel) const
    {
        const Camera &camera = m_manager->camera();
        const PickRay ray = Picking::rayThroughPixel(pixel, QSizeF(viewport), camera.viewMatrix(),
                                                     camera.projectionMatrix(viewport));
        const std::vector<PickHit> hits =
            Picking::pickObjects(ray, m_manager->models(), TYPE_NORMAL, m_manager->sceneMatrix());
        return hits.empty() ? PickHit() : hits.front();
    }
    void click(const QPoint &at)
    {
        m_manager->onMousePressed(1, uint(at.x()), uint(at.y()));
        m_manager->onMouseReleased(1, uint(at.x()), uint(at.y()));
        m_manager->onMouseClicked(1, uint(at.x()), uint(at.y()));
    }
    Model *add(const MeshPrimitiveData &mesh)
    {
        Model *model = makeModel(mesh);
        m_manager->addModel(model);
        // Loaded and nothing selected, as after a click beside the model.
        m_manager->selectModel(model);
        m_manager->clearSelection(true);
        return model;
    }
    CWS::Support *lastSupport() const
    {
        return m_manager->models().isEmpty() || m_manager->models().last()->type != TYPE_SUPPORT
                   ? nullptr
                   : static_cast<CWS::Support *>(m_manager->models().last());
    }

    std::unique_ptr<KaloModel> m_manager;
};

void TstManualSupport::initTestCase()
{
    qRegisterMetaType<KaloModel::ModelStatus>();
    KaloConfig *settings = KaloConfig::instance();
    // These tests describe the straight columns of "Islands only".
    KaloConfig::instance()->supportConfig()->setMode(CWS::SupportConfig::IslandsOnly);
    settings->useAntialise(false);
    SliceBuildConfig *config = settings->buildConfig();
    config->layerThickness = 0.5f;
    config->pixelsPerMmX = config->pixelsPerMmY = pixelsPerMm;
    config->resolutionX = raster.width();
    config->resolutionY = raster.height();
}

void TstManualSupport::init()
{
    m_manager = std::make_unique<KaloModel>();
    m_manager->setViewport(viewport, 1);
    m_manager->setManualAddingSupport(true);
}

void TstManualSupport::firstClickSelectsSecondAddsASupport()
{
    Model *model = add(cube(10));
    model->setTranslate(0, 0, 5);
    const QVector3D side = ViewProbe::sideFacingTheEye(*m_manager);
    const QPoint at = pixelOf(side * 5 + QVector3D(0, 0, 6));
    const PickHit expected = hitAt(at);
    QVERIFY2(expected.object == model && std::abs(QVector3D::dotProduct(expected.point, side) - 5) < 1e-3f,
             "the pixel shows the side of the cube: " + text(expected.point));

    click(at);
    QCOMPARE(m_manager->selectedModel(), model);
    QCOMPARE(m_manager->models().size(), 1);

    QSignalSpy status(m_manager.get(), &KaloModel::modelStatusChanged);
    QSignalSpy repaint(m_manager.get(), &KaloModel::kaloModelDataChanged);
    click(at);
    CWS::Support *support = lastSupport();
    QVERIFY2(support, "the second click adds a support");
    QCOMPARE(m_manager->models().size(), 2);
    QCOMPARE(support->owner, model);
    QCOMPARE(model->supports, (std::vector<Model *>{support}));
    QVERIFY2(support->isNew && support->loaded, "the new support is drawn, in red");
    QCOMPARE(m_manager->selectedModel(), model);
    QCOMPARE(status.count(), 1);
    QVERIFY2(status.first().at(2).toBool(), "the selection now has supports");
    QCOMPARE(repaint.count(), 1);

    // The tip touches the clicked point, the foot stands on the platform
    // below it, and the head leans out of the side it holds.
    const QMatrix4x4 matrix = support->modelMatrix();
    auto placed = [&](int i) {
        const MeshVertex &v = support->mesh->vertices[size_t(i)];
        return matrix.map(QVector3D(v.x, v.y, v.z));
    };
    QVERIFY2((placed(support->headTopRing + 11) - expected.point).length() < 1e-3f,
             "tip at " + text(placed(support->headTopRing + 11)) + ", clicked " + text(expected.point));
    QVERIFY2((placed(support->footBottomRing + 11) - QVector3D(expected.point.x(), expected.point.y(), 0)).length()
                 < 1e-3f,
             "foot centre at " + text(placed(support->footBottomRing + 11)));
    QVERIFY2(std::abs(support->boundMin.z()) < 1e-5f, "the support stands on the platform");
    const QVector3D lowerHead = placed(support->headBottomRing) - expected.point;
    QVERIFY2(QVector3D::dotProduct(lowerHead, side) > 0.5f, "the head's lower ring lies off the face it holds");

    // The support moves with its model.
    model->translateBy(3, 0, 0);
    support->updateBounds();
    QVERIFY2(std::abs(support->modelMatrix().map(QVector3D(support->mesh->vertices[size_t(support->headTopRing + 11)].x,
                                                           support->mesh->vertices[size_t(support->headTopRing + 11)].y,
                                                           support->mesh->vertices[size_t(support->headTopRing + 11)].z))
                          .x()
                      - (expected.point.x() + 3))
                 < 1e-3f,
             "the tip follows the model");
}

void TstManualSupport::clickOnEmptySpaceAddsNothing()
{
    Model *model = add(cube(10));
    m_manager->selectModel(model);
    QSignalSpy selection(m_manager.get(), &KaloModel::modelSelectionChanged);
    click(QPoint(5, 5));
    QCOMPARE(m_manager->selectedModel(), nullptr);
    QCOMPARE(selection.count(), 1);
    QCOMPARE(selection.first().at(0).toInt(), -1);
    QCOMPARE(m_manager->models().size(), 1);
}

void TstManualSupport::tooLowPointsAreRefused_data()
{
    QTest::addColumn<float>("height"); // of the flat model's top face, mm
    QTest::addColumn<bool>("added");
    QTest::newRow("0.05 mm") << 0.05f << false;
    QTest::newRow("0.15 mm") << 0.15f << true;
}

void TstManualSupport::tooLowPointsAreRefused()
{
    QFETCH(float, height);
    QFETCH(bool, added);
    add(box({-10, -10, 0}, {10, 10, height}));
    const QPoint at = pixelOf(QVector3D(1, 1, height));
    click(at);
    if (!added)
        QTest::ignoreMessage(QtWarningMsg, "support is too low, not create");
    click(at);
    QCOMPARE(m_manager->models().size(), added ? 2 : 1);
    if (added) {
        // Short columns get shortened cones: 0.4 of the length each.
        CWS::Support *support = lastSupport();
        QVERIFY(support);
        QVERIFY2(std::abs(support->actualFootHeight - 0.4f * height) < 1e-4f, QByteArray::number(support->actualFootHeight));
        QVERIFY2(std::abs(support->actualHeadHeight - 0.4f * height) < 1e-4f, QByteArray::number(support->actualHeadHeight));
    }
}

void TstManualSupport::modeIsSwitchedOnAndOff()
{
    Model *model = add(cube(10));
    m_manager->setManualAddingSupport(false);
    QVERIFY(!m_manager->manualAddingSupport());
    const QPoint at = pixelOf(QVector3D(1, 1, 10));
    click(at);
    click(at);
    QCOMPARE(m_manager->selectedModel(), model);
    QCOMPARE(m_manager->models().size(), 1);

    // Clicks also count during the slice preview, and only with the left button.
    m_manager->setManualAddingSupport(true);
    KaloConfig::instance()->buildConfig()->layerThickness = 0.5f;
    QVERIFY(m_manager->setShowSliceEnable(true));
    m_manager->clearSelection(true);
    click(at);
    m_manager->onMouseClicked(2, uint(at.x()), uint(at.y()));
    QCOMPARE(m_manager->models().size(), 1);
    click(at);
    QCOMPARE(m_manager->models().size(), 2);
    Model *support = m_manager->models().last();
    QCOMPARE(support->layerCache.size(), size_t(m_manager->sliceCount()));
    QVERIFY2(!support->layerCache[0].indices.empty(), "the new column is shown cut at the layer at once");
}

void TstManualSupport::liftedModelPrintsOnItsSupports()
{
    Model *model = add(cube(10));
    model->setTranslate(0, 0, 5);
    const QVector3D side = ViewProbe::sideFacingTheEye(*m_manager);
    const QVector3D along(-side.y(), side.x(), 0);
    QList<QVector3D> feet;
    m_manager->selectModel(model);
    for (float offset : {-3.5f, 0.0f, 3.5f}) {
        const QPoint at = pixelOf(side * 5 + along * offset + QVector3D(0, 0, 5.5f));
        click(at);
        const QVector3D point = hitAt(at).point;
        feet << QVector3D(point.x(), point.y(), 0);
    }
    QCOMPARE(model->supports.size(), size_t(3));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lifted.cws"));
    QSignalSpy progress(m_manager.get(), &KaloModel::sliceCompletedProgress);
    m_manager->sliceTo(path);
    while (progress.isEmpty() || progress.last().at(0).toFloat() <= 1) {
        if (!progress.wait(120000))
            break;
    }
    QVERIFY2(!progress.isEmpty() && progress.last().at(0).toFloat() > 1 && !progress.last().at(1).toBool(),
             "the run completes");
    QCOMPARE(m_manager->sliceNumber(), 30);
    model->updateBounds();
    QCOMPARE(model->boundMin.z(), 5.0f);

    QuaZip zip(path);
    QVERIFY(zip.open(QuaZip::mdUnzip));
    auto layer = [&zip](int i) {
        zip.setCurrentFile(QStringLiteral("lifted%1.png").arg(i, 2, 10, QLatin1Char('0')));
        QuaZipFile file(&zip);
        file.open(QIODevice::ReadOnly);
        return QImage::fromData(file.readAll(), "PNG");
    };
    for (int i : {0, 1}) {
        const QImage image = layer(i);
        QCOMPARE(image.size(), raster);
        for (const QVector3D &foot : feet)
            QVERIFY2(exposed(image, foot.x(), foot.y()), qPrintable(QStringLiteral("layer %1 holds the foot at %2, %3")
                                                                       .arg(i).arg(foot.x()).arg(foot.y())));
        QVERIFY2(!exposed(image, -side.x() * 3, -side.y() * 3), "nothing under the cube but the supports");
    }
    QVERIFY2(!exposed(layer(9), 0, 0), "the cube starts at 5 mm, above layer 9 (4.75 mm)");
    QVERIFY2(exposed(layer(10), 0, 0), "and fills layer 10 (5.25 mm)");
    const QImage inside = layer(20);
    QVERIFY2(exposed(inside, 0, 0), "the cube in its layers");
    for (const QVector3D &foot : feet)
        QVERIFY2(exposed(inside, foot.x() - side.x() * 0.5f, foot.y() - side.y() * 0.5f), "the cube above the feet");
}

QTEST_GUILESS_MAIN(TstManualSupport)
#include "tst_manualsupport.moc"
