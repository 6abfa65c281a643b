#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "geometry/PlaneCut.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "workspace/KaloModel.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace TestMeshes;

namespace {

QByteArray text(const QVector3D &v)
{
    return QByteArray::number(v.x()) + ", " + QByteArray::number(v.y()) + ", " + QByteArray::number(v.z());
}

// Area (mm²) and highest point of a layer's cut-away mesh, on the platform.
struct CutExtent
{
    double area = 0;
    float top = -1e9f;
};

CutExtent extentOf(const Model &model, const LayerGeometry &layer)
{
    const QMatrix4x4 matrix = model.modelMatrix();
    const auto &own = model.mesh->vertices;
    auto vertex = [&](uint32_t i) {
        const MeshVertex &v = i < own.size() ? own[i] : layer.vertices[i - own.size()];
        return matrix.map(QVector3D(v.x, v.y, v.z));
    };
    CutExtent extent;
    for (size_t k = 0; k + 2 < layer.indices.size(); k += 3) {
        const QVector3D a = vertex(layer.indices[k]), b = vertex(layer.indices[k + 1]), c = vertex(layer.indices[k + 2]);
        extent.area += 0.5 * double(QVector3D::crossProduct(b - a, c - a).length());
        extent.top = std::max({extent.top, a.z(), b.z(), c.z()});
    }
    return extent;
}

} // namespace

// The slice preview: the models cut away above a chosen layer.
class TstPreview : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { m_manager.reset(); }

    void startsAtLayerZero();
    void keepsTheTwelveLatestLayers();
    void leavingFreesEverything();
    void refusedWithoutModelsOrWhileSlicing();
    void layersOutsideThePreviewAreIgnored();
    void cutKeepsWhatLiesBelowThePlane_data();
    void cutKeepsWhatLiesBelowThePlane();
    void triangleSplits_data();
    void triangleSplits();

private:
    Model *add(const MeshPrimitiveData &mesh)
    {
        Model *model = makeModel(mesh);
        m_manager->addModel(model);
        m_manager->selectModel(model);
        return model;
    }

    std::unique_ptr<KaloModel> m_manager;
};

void TstPreview::initTestCase()
{
    qRegisterMetaType<KaloModel::ModelStatus>();
}

void TstPreview::init()
{
    KaloConfig::instance()->buildConfig()->layerThickness = 0.05f;
    m_manager = std::make_unique<KaloModel>();
}

void TstPreview::startsAtLayerZero()
{
    Model *model = add(cube(10));
    QSignalSpy layers(m_manager.get(), &KaloModel::layerChanged);
    QSignalSpy repaint(m_manager.get(), &KaloModel::kaloModelDataChanged);

    QVERIFY2(m_manager->setShowSliceEnable(true), "the check box stays on");
    QCOMPARE(layers.count(), 1);
    QCOMPARE(layers.first().at(0).toInt(), 200);
    QCOMPARE(m_manager->status(), KaloModel::MODEL_SHOW_SLICE);
    QCOMPARE(m_manager->currentLayer(), 0);
    QCOMPARE(m_manager->currentLayerHeight(), 0.025f);
    QVERIFY(repaint.count() >= 1);
    QCOMPARE(model->layerCache.size(), size_t(200));
    QVERIFY2(!model->layerCache[0].indices.empty(), "layer 0 is built");
    QVERIFY2(!model->buffersValid, "the next frame uploads the cut mesh");
    QCOMPARE(model->layerCacheOrder, (std::list<int>{0}));

    // A model added meanwhile gets its slots too.
    Model *late = makeModel(cube(5));
    m_manager->addModel(late);
    QCOMPARE(late->layerCache.size(), size_t(200));
}

void TstPreview::keepsTheTwelveLatestLayers()
{
    Model *model = add(cube(10));
    m_manager->setShowSliceEnable(true);
    for (int layer = 1; layer < 12; ++layer)
        m_manager->setCurrentLayer(layer);
    QVERIFY2(!model->layerCache[0].indices.empty(), "twelve layers fit");

    m_manager->setCurrentLayer(12);
    QCOMPARE(m_manager->currentLayerHeight(), 12.5f * 0.05f);
    QVERIFY2(model->layerCache[0].indices.empty() && model->layerCache[0].vertices.empty(),
             "the thirteenth layer evicts the oldest");
    QCOMPARE(model->layerCacheOrder.size(), size_t(12));
    QCOMPARE(model->layerCacheOrder.front(), 1);

    const std::vector<uint32_t> five = model->layerCache[5].indices;
    QTest::ignoreMessage(QtDebugMsg, "use cached slice data");
    m_manager->setCurrentLayer(5);
    QCOMPARE(model->layerCache[5].indices, five);
    QCOMPARE(model->layerCacheOrder.back(), 5);
    QCOMPARE(model->layerCacheOrder.size(), size_t(12));
}

void TstPreview::leavingFreesEverything()
{
    Model *model = add(cube(10));
    m_manager->setShowSliceEnable(true);
    m_manager->setCurrentLayer(40);
    QSignalSpy selection(m_manager.get(), &KaloModel::modelSelectionChanged);

    QVERIFY2(!m_manager->setShowSliceEnable(false), "the check box shows the mode off");
    QCOMPARE(m_manager->currentLayer(), -1);
    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
    QVERIFY(model->layerCache.empty());
    QCOMPARE(model->layerCache.capacity(), size_t(0));
    QVERIFY(model->layerCacheOrder.empty());
    QVERIFY(!model->buffersValid);
    QCOMPARE(m_manager->selectedModel(), nullptr);
    QCOMPARE(selection.count(), 1);
}

void TstPreview::refusedWithoutModelsOrWhileSlicing()
{
    QSignalSpy layers(m_manager.get(), &KaloModel::layerChanged);
    QVERIFY(!m_manager->setShowSliceEnable(true));
    QCOMPARE(m_manager->status(), KaloModel::MODEL_INIT);

    add(cube(10));
    m_manager->setModelStatus(KaloModel::MODEL_SLICING);
    QVERIFY(!m_manager->setShowSliceEnable(true));
    QCOMPARE(layers.count(), 0);
    QCOMPARE(m_manager->currentLayer(), -1);

    // Switching the preview off must not end a slicing run's status.
    m_manager->setShowSliceEnable(false);
    QCOMPARE(m_manager->status(), KaloModel::MODEL_SLICING);
}

void TstPreview::layersOutsideThePreviewAreIgnored()
{
    add(cube(10));
    m_manager->setCurrentLayer(3);
    QCOMPARE(m_manager->currentLayer(), -1);

    m_manager->setShowSliceEnable(true);
    m_manager->setCurrentLayer(7);
    for (int layer : {-1, 200, 1000}) {
        m_manager->setCurrentLayer(layer);
        QCOMPARE(m_manager->currentLayer(), 7);
    }
}

void TstPreview::cutKeepsWhatLiesBelowThePlane_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<float>("translateZ"); // of the 10 mm cube, mm
    QTest::addColumn<double>("area");      // expected mm² of the cut mesh

    // Bottom face 100 mm² and four walls 10 mm wide up to the plane.
    QTest::newRow("lowest layer") << 0 << 0.0f << 100 + 40 * 0.025;
    QTest::newRow("middle") << 100 << 0.0f << 100 + 40 * 5.025;
    QTest::newRow("raised cube") << 100 << 2.0f << 100 + 40 * 3.025;
    QTest::newRow("plane below the raised cube") << 10 << 2.0f << 0.0;
}

void TstPreview::cutKeepsWhatLiesBelowThePlane()
{
    QFETCH(int, layer);
    QFETCH(float, translateZ);
    QFETCH(double, area);
    Model *model = add(cube(10));
    // The preview counts layers up to the highest top: a 20 mm post keeps the count at 400.
    add(box({20, 20, 0}, {21, 21, 20}));
    model->setTranslate(0, 0, translateZ);
    m_manager->setShowSliceEnable(true);
    m_manager->setCurrentLayer(layer);

    const CutExtent cut = extentOf(*model, model->layerCache[size_t(layer)]);
    QVERIFY2(std::abs(cut.area - area) < 1e-3 * area + 1e-6,
             qPrintable(QStringLiteral("cut area %1 mm², expected %2").arg(cut.area).arg(area)));
    if (area > 0)
        QVERIFY2(std::abs(cut.top - m_manager->currentLayerHeight()) < 1e-5f, "the cut ends at the plane");
}

void TstPreview::triangleSplits_data()
{
    QTest::addColumn<QVector3D>("p");
    QTest::addColumn<QVector3D>("q");
    QTest::addColumn<QVector3D>("r");
    QTest::addColumn<float>("plane"); // in mesh coordinates; the model is moved by (1, 2, 3)
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<QList<QVector3D>>("created");  // new vertices, mesh coordinates
    QTest::addColumn<QList<QVector3D>>("normals");  // and their normals

    const QVector3D np(1, 0, 0), nq(0, 1, 0), nr(0, 0, 1);
    // Every row carries a triangle far below the plane (indices 0 1 2), which
    // enters whole, and one far above (3 4 5), which is left out; the
    // triangle under test is 6 7 8, and the new vertices count from 9.
    QTest::newRow("one corner below") << QVector3D(0, 0, 0) << QVector3D(4, 0, 2) << QVector3D(0, 4, 2) << 1.0f
                                      << QList<int>{0, 1, 2, 6, 9, 10}
                                      << QList<QVector3D>{{2, 0, 1}, {0, 2, 1}} << QList<QVector3D>{np, nr};
    QTest::newRow("two corners below") << QVector3D(0, 0, 0) << QVector3D(4, 0, 0) << QVector3D(0, 4, 4) << 2.0f
                                       << QList<int>{0, 1, 2, 6, 7, 9, 6, 9, 10}
                                       << QList<QVector3D>{{2, 2, 2}, {0, 2, 2}} << QList<QVector3D>{nq, nr};
    QTest::newRow("corner touching from above")
        << QVector3D(0, 0, 1) << QVector3D(4, 0, 3) << QVector3D(0, 4, 3) << 1.0f << QList<int>{0, 1, 2}
        << QList<QVector3D>{} << QList<QVector3D>{};
    QTest::newRow("edge on the plane, corner above")
        << QVector3D(0, 0, 1) << QVector3D(4, 0, 1) << QVector3D(0, 4, 3) << 1.0f << QList<int>{0, 1, 2}
        << QList<QVector3D>{} << QList<QVector3D>{};
    QTest::newRow("edge on the plane, corner below")
        << QVector3D(0, 0, 1) << QVector3D(4, 0, 1) << QVector3D(0, 4, -1) << 1.0f
        << QList<int>{0, 1, 2, 6, 7, 8} << QList<QVector3D>{} << QList<QVector3D>{};
    QTest::newRow("entirely below") << QVector3D(0, 0, 0) << QVector3D(4, 0, 0) << QVector3D(0, 4, 0.5f) << 1.0f
                                    << QList<int>{0, 1, 2, 6, 7, 8} << QList<QVector3D>{} << QList<QVector3D>{};
}

void TstPreview::triangleSplits()
{
    QFETCH(QVector3D, p);
    QFETCH(QVector3D, q);
    QFETCH(QVector3D, r);
    QFETCH(float, plane);
    QFETCH(QList<int>, indices);
    QFETCH(QList<QVector3D>, created);
    QFETCH(QList<QVector3D>, normals);

    MeshPrimitiveData mesh;
    addTriangle(mesh, {100, 0, -50}, {101, 0, -50}, {100, 1, -50});
    addTriangle(mesh, {100, 0, 50}, {101, 0, 50}, {100, 1, 50});
    const QVector3D corners[3] = {p, q, r};
    const QVector3D cornerNormals[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i) {
        const QVector3D &c = corners[i];
        const QVector3D &n = cornerNormals[i];
        mesh.vertices.push_back({c.x(), c.y(), c.z(), n.x(), n.y(), n.z()});
        mesh.indices.push_back(uint32_t(6 + i));
    }
    std::unique_ptr<Model> model(makeModel(mesh));
    model->translate = QVector3D(1, 2, 3);
    model->dirty = true;
    model->layerCache.resize(1);

    std::vector<SliceSegment> segments;
    const int withGeometry = PlaneCut::cut(*model, plane + 3, segments, &model->layerCache[0]);
    std::vector<SliceSegment> plain;
    QCOMPARE(PlaneCut::cut(*model, plane + 3, plain), withGeometry);

    const LayerGeometry &layer = model->layerCache[0];
    QList<int> actual;
    for (uint32_t i : layer.indices)
        actual << int(i);
    QCOMPARE(actual, indices);
    QCOMPARE(int(layer.vertices.size()), created.size());
    for (int j = 0; j < created.size(); ++j) {
        const MeshVertex &v = layer.vertices[size_t(j)];
        QVERIFY2((QVector3D(v.x, v.y, v.z) - created[j]).length() < 1e-5f,
                 "new vertex " + text(QVector3D(v.x, v.y, v.z)) + ", expected " + text(created[j]));
        QCOMPARE(QVector3D(v.nx, v.ny, v.nz), normals[j]);
    }
}

QTEST_GUILESS_MAIN(TstPreview)
#include "tst_preview.moc"
