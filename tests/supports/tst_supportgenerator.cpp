#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "supports/Support.h"
#include "supports/SupportGenerator.h"
#include "supports/SupportPlanner.h"
#include "workspace/KaloModel.h"

#include <QImage>
#include <QPainter>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <cstring>
#include <memory>

using namespace TestMeshes;

Q_DECLARE_METATYPE(MeshPrimitiveData)

namespace {

// An 8-bit layer of the given size, white inside rect (empty rect: black).
QImage layer(const QSize &size, const QRect &rect)
{
    QImage image(size, QImage::Format_Grayscale8);
    image.fill(0);
    QPainter(&image).fillRect(rect, Qt::white);
    return image;
}

// The solid pixels of an 8-bit layer, as the planner takes them.
CWS::RowRuns solid(const QImage &image)
{
    CWS::RowRuns lit, runs;
    CWS::RowRuns::fromImage(image, lit, runs);
    return runs;
}

QList<QPoint> points(const std::vector<CWS::SupportLocation> &supports)
{
    QList<QPoint> result;
    for (const CWS::SupportLocation &s : supports)
        result << QPoint(s.x, s.y);
    return result;
}

// A column's tip on the platform (mm): the centre of its top ring, the last vertex.
QVector3D tip(const Model *support)
{
    const MeshVertex &v = support->mesh->vertices.back();
    return support->modelMatrix().map(QVector3D(v.x, v.y, v.z));
}

struct Report
{
    float ratio;
    bool cancled;
    QString event;
};

} // namespace

// Automatic supports: where the planner puts them on layer images, and what
// a run through the model manager adds to the scene.
class TstSupportGenerator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void planner_data();
    void planner();
    void islandsBeyondSixteenBitLabels();
    void armsJoinedFurtherDownAreOneIsland();
    void placements_data();
    void placements();
    void cancelKeepsSupportsFound();
    void refusedOutsideLoaded();
    void editsRefusedWhileGenerating();
    void overhangRunAndRemoval_data();
    void overhangRunAndRemoval();

private:
    // Sets the layer raster: size x size pixels at pixelsPerMm, thickness (mm).
    void useRaster(int size, double pixelsPerMm, float thickness);
    // Calls visit(layers done) on the generator's thread after each layer of
    // the runs that start from now on.
    void onGeneratorLayer(const std::function<void(int)> &visit);
    // Starts automatic supports and waits for the end report; returns every report.
    QList<Report> runAuto();

    std::unique_ptr<KaloModel> m_manager;
};

void TstSupportGenerator::initTestCase()
{
    qRegisterMetaType<KaloModel::ModelStatus>();
    KaloConfig::instance();
    // These tests describe the straight columns of "Islands only".
    KaloConfig::instance()->supportConfig()->setMode(CWS::SupportConfig::IslandsOnly);
}

void TstSupportGenerator::init()
{
    KaloConfig::instance()->useAntialise(false);
    m_manager = std::make_unique<KaloModel>();
}

void TstSupportGenerator::cleanup()
{
    m_manager.reset();
}

void TstSupportGenerator::useRaster(int size, double pixelsPerMm, float thickness)
{
    SliceBuildConfig *config = KaloConfig::instance()->buildConfig();
    config->resolutionX = config->resolutionY = size;
    config->pixelsPerMmX = config->pixelsPerMmY = pixelsPerMm;
    config->layerThickness = thickness;
}

void TstSupportGenerator::onGeneratorLayer(const std::function<void(int)> &visit)
{
    // Connected on entering MODEL_AUTO_GEN_SUPPORT, before the thread starts;
    // selecting a model re-announces the status.
    connect(m_manager.get(), &KaloModel::modelStatusChanged, this,
            [this, visit](KaloModel::ModelStatus previous, KaloModel::ModelStatus status) {
                if (status == KaloModel::MODEL_AUTO_GEN_SUPPORT && previous != status)
                    connect(m_manager->supportGenerator(), &CWS::SupportGenerator::layerDone, this, visit,
                            Qt::DirectConnection);
            });
}

QList<Report> TstSupportGenerator::runAuto()
{
    QList<Report> reports;
    QSignalSpy spy(m_manager.get(), &KaloModel::sliceCompletedProgress);
    m_manager->addSupportAuto(1);
    while (reports.isEmpty() || reports.last().ratio <= 1) {
        if (spy.isEmpty() && !spy.wait(60000))
            break;
        const QList<QVariant> report = spy.takeFirst();
        reports.append({report.at(0).toFloat(), report.at(1).toBool(), report.at(2).toString()});
    }
    return reports;
}

void TstSupportGenerator::planner_data()
{
    // Layer 1 holds `lower`; layer 1 + gap holds `upper`, at 0.05 mm layers.
    QTest::addColumn<int>("spacing"); // px
    QTest::addColumn<QRect>("lower");
    QTest::addColumn<int>("gap"); // layers
    QTest::addColumn<QRect>("upper");
    QTest::addColumn<QList<QPoint>>("expected");
    const QRect block(10, 10, 10, 10);
    QTest::newRow("38 layers above material") << 100 << block << 38 << block << QList<QPoint>{};
    // 2 mm over 0.05 mm layers is 39, not 40: the float thickness lies above 0.05.
    QTest::newRow("39 layers above material") << 100 << block << 39 << block << QList<QPoint>{{14, 14}};
    // The box centre lies over material too close below: the scan finds the
    // first column over nothing.
    QTest::newRow("half over nothing") << 100 << block << 38 << QRect(10, 10, 20, 10) << QList<QPoint>{{20, 10}};
    QTest::newRow("one pixel tall") << 5 << QRect() << 2 << QRect(10, 3, 20, 1)
                                    << QList<QPoint>{{10, 3}, {16, 3}, {22, 3}, {28, 3}};
}

void TstSupportGenerator::planner()
{
    QFETCH(int, spacing);
    QFETCH(QRect, lower);
    QFETCH(int, gap);
    QFETCH(QRect, upper);
    QFETCH(QList<QPoint>, expected);
    const QSize size(64, 32);
    CWS::SupportPlanner planner(size.width(), size.height(), spacing, CWS::SupportGenerator::minGapLayers(0.05f));

    const QImage first = layer(size, lower);
    QVERIFY2(planner.addLayer(1, solid(first)).empty(), "islands of layer 1 rest on layer 0");
    const std::vector<CWS::SupportLocation> supports = planner.addLayer(1 + gap, solid(layer(size, upper)));
    QCOMPARE(points(supports), expected);
    for (const CWS::SupportLocation &s : supports) {
        QCOMPARE(s.layer, 1 + gap);
        QVERIFY2(s.baseLayer == (lower.contains(s.x, s.y) ? 1 : 0), "the base is the last layer with material below");
    }
}

void TstSupportGenerator::islandsBeyondSixteenBitLabels()
{
    // 90000 single-pixel islands: more than 16-bit labels can tell apart.
    const QSize size(600, 600);
    QImage dots(size, QImage::Format_Grayscale8);
    dots.fill(0);
    for (int y = 0; y < size.height(); y += 2) {
        uchar *line = dots.scanLine(y);
        for (int x = 0; x < size.width(); x += 2)
            line[x] = 255;
    }
    CWS::SupportPlanner planner(size.width(), size.height(), 100, 39);
    const std::vector<CWS::SupportLocation> supports = planner.addLayer(2, solid(dots));

    QCOMPARE(planner.islandCount(), 90000);
    QCOMPARE(int(supports.size()), 90000);
    QCOMPARE(QPoint(supports.back().x, supports.back().y), QPoint(598, 598));
    for (size_t i = 0; i < supports.size(); ++i) {
        // Column by column: island i is the dot at column i / 300, row i % 300.
        const QPoint expected(int(i / 300) * 2, int(i % 300) * 2);
        if (QPoint(supports[i].x, supports[i].y) != expected)
            QFAIL(qPrintable(QStringLiteral("support %1 should stand on its own dot").arg(i)));
    }
}

void TstSupportGenerator::armsJoinedFurtherDownAreOneIsland()
{
    // A comb over nothing: three teeth that meet only in its back, rows below
    // their tips, between a dot left of it and a dot above its middle tooth.
    QImage layer(64, 64, QImage::Format_Grayscale8);
    layer.fill(0);
    const auto fill = [&layer](const QRect &area) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            std::fill_n(layer.scanLine(y) + area.left(), area.width(), uchar(255));
    };
    for (int tooth : {10, 30, 50})
        fill(QRect(tooth, 5, 3, 36));
    fill(QRect(10, 40, 43, 3));
    fill(QRect(5, 50, 1, 1));
    fill(QRect(31, 2, 1, 1));
    CWS::SupportPlanner planner(layer.width(), layer.height(), 100, 39);
    const std::vector<CWS::SupportLocation> supports = planner.addLayer(3, solid(layer));

    QCOMPARE(planner.islandCount(), 3);
    QList<QPoint> placed;
    for (const CWS::SupportLocation &s : supports)
        placed.append(QPoint(s.x, s.y));
    // Found column by column; the comb, narrower than the spacing, gets one
    // support at the centre of its box.
    QCOMPARE(placed, (QList<QPoint>{{5, 50}, {31, 23}, {31, 2}}));
}

void TstSupportGenerator::placements_data()
{
    QTest::addColumn<MeshPrimitiveData>("mesh");
    QTest::addColumn<float>("lift");      // mm
    QTest::addColumn<int>("raster");      // px, square
    QTest::addColumn<double>("pixelsPerMm");
    QTest::addColumn<float>("thickness"); // mm
    QTest::addColumn<QList<QPoint>>("expected"); // tips, px from the raster's centre
    QTest::addColumn<float>("tipZ");      // mm, every tip

    QTest::newRow("sphere on the plate") << sphere(5, {0, 0, 5}) << 0.0f << 64 << 5.0 << 0.1f << QList<QPoint>{} << 0.0f;
    // First cross-section in layer 50 (z = 5.05 mm), smaller than the 25 px spacing.
    QTest::newRow("sphere lifted 5 mm") << sphere(5, {0, 0, 5}) << 5.0f << 64 << 5.0 << 0.1f << QList<QPoint>{{0, 0}}
                                        << 5.051f;
    // spacingPx 100: a 4 x 4 grid at a pitch of 101 px from the minimum corner.
    QList<QPoint> grid;
    for (int x : {-200, -99, 2, 103}) {
        for (int y : {-200, -99, 2, 103})
            grid << QPoint(x, y);
    }
    QTest::newRow("20 mm block, 20 px/mm") << box({-10, -10, 0}, {10, 10, 0.3f}) << 1.0f << 500 << 20.0 << 0.1f << grid
                                            << 1.051f;
    // The box centre falls into the hole: the scan supports the corner.
    QTest::newRow("ring") << ring(4, 2, 0.5f) << 2.0f << 64 << 10.0 << 0.1f << QList<QPoint>{{-20, -20}} << 2.051f;
    const MeshPrimitiveData foot = box({-1.5f, -1.5f, 0}, {1.5f, 1.5f, 1});
    QTest::newRow("bridge 1.5 mm above")
        << combined(foot, box({-1.5f, -1.5f, 2.5f}, {1.5f, 1.5f, 2.8f})) << 0.0f << 64 << 10.0 << 0.1f
        << QList<QPoint>{} << 0.0f;
    QTest::newRow("bridge 2 mm above") << combined(foot, box({-1.5f, -1.5f, 3}, {1.5f, 1.5f, 3.3f})) << 0.0f << 64
                                       << 10.0 << 0.1f << QList<QPoint>{{0, 0}} << 3.051f;
    QTest::newRow("first found in layer 100") << box({-1, -1, 0}, {1, 1, 0.2f}) << 5.0f << 64 << 10.0 << 0.05f
                                              << QList<QPoint>{{0, 0}} << 5.0255f;
}

void TstSupportGenerator::placements()
{
    QFETCH(MeshPrimitiveData, mesh);
    QFETCH(float, lift);
    QFETCH(int, raster);
    QFETCH(double, pixelsPerMm);
    QFETCH(float, thickness);
    QFETCH(QList<QPoint>, expected);
    QFETCH(float, tipZ);
    useRaster(raster, pixelsPerMm, thickness);
    Model *model = makeModel(mesh);
    model->translate.setZ(lift);
    model->dirty = true;
    m_manager->addModel(model);
    m_manager->setModelStatus(KaloModel::MODEL_LOADED);

    const QList<Report> reports = runAuto();

    QVERIFY2(!reports.isEmpty() && reports.last().ratio > 1 && !reports.last().cancled,
             "the run ends with the report 1.1, not cancelled");
    QVERIFY2(std::all_of(reports.begin(), reports.end(), [](const Report &r) { return r.event == "autoSupport"; }),
             "every report is an autoSupport event");
    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
    QVERIFY2(m_manager->supportGenerator() == nullptr, "the generator is gone");
    QVERIFY2(m_manager->selectedModel() == model, "the model processed is selected");

    QList<QPoint> tips;
    for (const Model *support : model->supports) {
        const QVector3D t = tip(support);
        tips << QPoint(qRound(t.x() * pixelsPerMm), qRound(t.y() * pixelsPerMm));
        QVERIFY2(qAbs(t.z() - tipZ) < 1e-4f, qPrintable(QStringLiteral("tip at %1 mm, expected %2").arg(t.z()).arg(tipZ)));
        QVERIFY2(qAbs(support->boundMin.z()) < 1e-4f, "every column stands on the platform");
        QVERIFY2(m_manager->models().contains(const_cast<Model *>(support)), "the column is in the scene");
    }
    QCOMPARE(tips, expected);

    // The whole run is one undo step.
    const int count = m_manager->models().size();
    QVERIFY(m_manager->undo());
    QVERIFY2(m_manager->models().size() == 1 && model->supports.empty(), "undo takes back every column of the run");
    QVERIFY(m_manager->redo());
    QCOMPARE(m_manager->models().size(), count);
    QCOMPARE(int(model->supports.size()), expected.size());
}

void TstSupportGenerator::overhangRunAndRemoval_data()
{
    QTest::addColumn<MeshPrimitiveData>("mesh");
    QTest::addColumn<float>("lift"); // mm
    QTest::addColumn<bool>("needed");
    QTest::addColumn<float>("shift");         // mm along x, on a platform reaching to x = 10 mm
    QTest::addColumn<QString>("unsupported"); // the reason of the one region the list names, if any
    QTest::newRow("cube lifted 3 mm") << cube(6) << 3.0f << true << 0.0f << QString();
    QTest::newRow("cube on the platform") << cube(6) << 0.0f << false << 0.0f << QString();
    QTest::newRow("cube lifted 3 mm over the platform's edge")
        << cube(6) << 3.0f << true << 8.0f << QStringLiteral("beyond the platform");
}

void TstSupportGenerator::overhangRunAndRemoval()
{
    QFETCH(MeshPrimitiveData, mesh);
    QFETCH(float, lift);
    QFETCH(bool, needed);
    QFETCH(float, shift);
    QFETCH(QString, unsupported);
    useRaster(400, 20, 0.05f);
    CWS::SupportConfig *config = KaloConfig::instance()->supportConfig();
    config->setMode(CWS::SupportConfig::IslandsAndOverhangs);
    Model *model = makeModel(mesh);
    model->translate += QVector3D(shift, 0, lift);
    model->dirty = true;
    m_manager->addModel(model);
    m_manager->setModelStatus(KaloModel::MODEL_LOADED);
    QSignalSpy messages(m_manager.get(), &KaloModel::notice);
    runAuto();
    config->setMode(CWS::SupportConfig::IslandsOnly);

    const size_t columns = model->supports.size();
    QVERIFY2((columns > 0) == needed, qPrintable(QStringLiteral("%1 columns").arg(columns)));
    QCOMPARE(messages.count(), needed ? 0 : 1);
    if (!needed) {
        QCOMPARE(messages.first().at(0).toString(), QStringLiteral("No supports needed"));
        return;
    }
    // What no column can hold is one entry of the check's list, with its reason and place.
    QStringList named;
    for (const QVariant &entry : m_manager->printCheckList()) {
        const QVariantMap f = entry.toMap();
        named << f.value("reason").toString();
        const QString text = f.value("text").toString();
        QVERIFY2(f.value("kind") == "unsupported region" && text.startsWith("unsupported region (" + unsupported + ")")
                     && f.value("xMm").toDouble() > 8.5 && std::abs(f.value("bottomMm").toDouble() - lift) < 0.01,
                 qPrintable(text));
    }
    QCOMPARE(named, unsupported.isEmpty() ? QStringList() : QStringList{unsupported});
    QCOMPARE(m_manager->printCheckCounts(), unsupported.isEmpty() ? QString() : QStringLiteral("1 unsupported region"));
    // A column stands under the bottom face with its foot on the platform.
    const Model *column = model->supports.front();
    QVERIFY2(std::abs(column->boundMin.z()) < 1e-4f && column->boundMax.z() > lift,
             qPrintable(QStringLiteral("column from %1 to %2 mm").arg(column->boundMin.z()).arg(column->boundMax.z())));

    m_manager->selectModel(model);
    QVERIFY(m_manager->removeSupports());
    QVERIFY2(model->supports.empty() && m_manager->models().size() == 1, "every column is gone");
    QVERIFY2(m_manager->printCheckList().isEmpty(), "an edit of the model takes its regions off the list");
    QVERIFY(m_manager->undo());
    QCOMPARE(m_manager->models().front()->supports.size(), columns);
}

void TstSupportGenerator::cancelKeepsSupportsFound()
{
    useRaster(64, 10, 0.1f);
    // Layers 0 … 39: one island first found in layer 5, another in layer 30.
    Model *model = makeModel(combined(box({-2.5f, -1, 0.5f}, {-0.5f, 1, 0.8f}), box({0.5f, -1, 3}, {2.5f, 1, 4})));
    m_manager->addModel(model);
    m_manager->setModelStatus(KaloModel::MODEL_LOADED);

    // The generator pauses after layer 20 until the cancel has reached the
    // model manager.
    QSemaphore cancelled;
    bool undoRefused = false;
    onGeneratorLayer([&](int layers) {
        if (layers != 20)
            return;
        QMetaObject::invokeMethod(
            m_manager.get(),
            [&] {
                undoRefused = !m_manager->undo();
                m_manager->cancleSlice();
                cancelled.release();
            },
            Qt::QueuedConnection);
        cancelled.acquire();
    });

    const QList<Report> reports = runAuto();

    QVERIFY2(!reports.isEmpty() && reports.last().ratio > 1 && reports.last().cancled,
             "the run ends with the report 1.1, cancelled");
    for (int i = 0; i + 1 < reports.size(); ++i)
        QVERIFY2(reports[i].ratio <= 0.5f, "no progress beyond the layer the cancel came after");
    QVERIFY2(undoRefused, "undo is refused while the generator runs");
    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
    QCOMPARE(int(model->supports.size()), 1);
    QVERIFY2(qAbs(tip(model->supports.front()).z() - 0.551f) < 1e-4f, "the support found before the cancel stays");
}

void TstSupportGenerator::refusedOutsideLoaded()
{
    useRaster(64, 10, 0.1f);
    m_manager->addModel(makeModel(box({-1, -1, 1}, {1, 1, 2})));
    m_manager->setModelStatus(KaloModel::MODEL_SHOW_SLICE);
    QSignalSpy status(m_manager.get(), &KaloModel::modelStatusChanged);

    m_manager->addSupportAuto(1);

    QVERIFY2(m_manager->supportGenerator() == nullptr && status.isEmpty(), "nothing starts while a preview is shown");
    QCOMPARE(m_manager->status(), KaloModel::MODEL_SHOW_SLICE);
}

void TstSupportGenerator::editsRefusedWhileGenerating()
{
    // The generator reads the models on its thread: while it runs nothing
    // may change them or start another run. It pauses after layer 5 until
    // every edit has been tried.
    useRaster(64, 10, 0.1f);
    Model *model = makeModel(combined(box({-2.5f, -1, 0.5f}, {-0.5f, 1, 0.8f}), box({0.5f, -1, 3}, {2.5f, 1, 4})));
    m_manager->addModel(model);
    m_manager->setModelStatus(KaloModel::MODEL_LOADED);
    QSemaphore paused, resume;
    onGeneratorLayer([&](int layers) {
        if (layers != 5)
            return;
        paused.release();
        resume.acquire();
    });
    QSignalSpy reports(m_manager.get(), &KaloModel::sliceCompletedProgress);
    m_manager->addSupportAuto(1);
    QVERIFY(paused.tryAcquire(1, 60000));

    const QVector3D translate = model->translate, scale = model->scale, rotate = model->rotate;
    const std::vector<MeshVertex> vertices = model->mesh->vertices;
    const int count = m_manager->models().size();
    QTemporaryDir dir;
    const QString archive = dir.filePath("job.cws");
    const QString stl = dir.filePath("box.stl");
    {
        QFile file(stl);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
                   "endloop\nendfacet\nendsolid s\n");
    }
    m_manager->selectModel(model);
    m_manager->setSelectedModelTranslate(5, 5, 0);
    m_manager->setSelectedModelScale(2, 2, 2);
    m_manager->setSelectedModelRotate(0, 0, 45);
    m_manager->flip(1);
    m_manager->moveToBottom();
    m_manager->copyModel(0);
    m_manager->autoLayoutModel();
    m_manager->addSupportBase(1);
    m_manager->addSupportAuto(1);
    m_manager->deleteSelectedModel();
    const bool previewed = m_manager->setShowSliceEnable(true);
    m_manager->sliceTo(archive);
    const bool loaded = m_manager->loadModel(QUrl::fromLocalFile(stl));
    const bool unchanged = model->translate == translate && model->scale == scale && model->rotate == rotate
                           && model->mesh->vertices.size() == vertices.size()
                           && std::memcmp(model->mesh->vertices.data(), vertices.data(),
                                          vertices.size() * sizeof(MeshVertex)) == 0
                           && m_manager->models().size() == count;
    const KaloModel::ModelStatus status = m_manager->status();
    resume.release();

    QVERIFY2(unchanged, "no edit reached the model or the scene");
    QVERIFY2(!previewed && !loaded, "neither the preview nor a load starts");
    QCOMPARE(status, KaloModel::MODEL_AUTO_GEN_SUPPORT);
    while (reports.isEmpty() || reports.last().at(0).toFloat() <= 1)
        QVERIFY(reports.wait(60000));
    QVERIFY2(!QFile::exists(archive), "no slicing run started");
    QCOMPARE(reports.last().at(2).toString(), QStringLiteral("autoSupport"));
    m_manager->selectModel(model);
    m_manager->setSelectedModelTranslate(5, 5, 0);
    QCOMPARE(model->translate, QVector3D(5, 5, 0));
}

QTEST_GUILESS_MAIN(TstSupportGenerator)
#include "tst_supportgenerator.moc"
