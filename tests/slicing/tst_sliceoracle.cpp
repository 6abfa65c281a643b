// The fast slicing path against the straightforward one it replaced, kept
// here as the oracle: every layer cuts every triangle (PlaneCut::cut), every
// row tests every segment, QPainter draws outline and fill, QImage::scaled
// reduces the anti-aliased drawing and QImage::save writes the PNG. Every
// decoded pixel of every layer must agree. Scenes whose meshes are each one
// closed shell are held to the even-odd fill the slicer had before it
// filled by winding: their layers must not change by a pixel.

#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "geometry/PlaneCut.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "settings/SupportConfig.h"
#include "slicing/Downscale.h"
#include "slicing/Gcode.h"
#include "slicing/LayerRaster.h"
#include "slicing/PngEncoder.h"
#include "slicing/Slice.h"
#include "supports/Support.h"
#include "workspace/KaloModel.h"

#include <QBuffer>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip.h>
#include <quazipfile.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <set>
#include <string>

namespace {

// How a row is filled between its crossings.
enum class Fill {
    EvenOdd, // between the 1st and 2nd, 3rd and 4th, ... crossing
    NonZero, // where the outlines wind around, when every segment's way is known and the row's windings sum to zero
};

// The first drawSegments: outline by QPainter, then every row from the
// lowest to the highest segment row (excluded) tests every segment.
void referenceDrawSegments(QPainter &painter, const std::vector<SliceSegment> &segments,
                           const SliceBuildConfig &config, Fill fill = Fill::EvenOdd)
{
    if (segments.empty())
        return;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(255, 255, 255, 255), 1, Qt::SolidLine));
    const int centreX = config.resolutionX / 2 + config.offsetX;
    const int centreY = config.resolutionY / 2 + config.offsetY;
    struct PixelSegment
    {
        int x1, y1, x2, y2;
        int winding;
    };
    std::vector<PixelSegment> pixels;
    int minRow = std::numeric_limits<int>::max();
    int maxRow = std::numeric_limits<int>::min();
    bool oriented = true;
    for (const SliceSegment &s : segments) {
        oriented = oriented && s.winding != 0;
        const PixelSegment p{int(double(s.p1.x()) * config.pixelsPerMmX), int(double(s.p1.y()) * config.pixelsPerMmY),
                             int(double(s.p2.x()) * config.pixelsPerMmX), int(double(s.p2.y()) * config.pixelsPerMmY),
                             s.winding};
        pixels.push_back(p);
        minRow = std::min({minRow, p.y1, p.y2});
        maxRow = std::max({maxRow, p.y1, p.y2});
        painter.drawLine(p.x1 + centreX, p.y1 + centreY, p.x2 + centreX, p.y2 + centreY);
    }
    // Column and winding: +1 where the outline goes to larger rows, or along
    // the row enters it; -1 the other way.
    std::vector<std::pair<int, int>> crossings;
    for (int row = minRow; row < maxRow; ++row) {
        crossings.clear();
        int sum = 0;
        for (const PixelSegment &p : pixels) {
            if (row < std::min(p.y1, p.y2) || row > std::max(p.y1, p.y2))
                continue;
            if (p.y1 == row && p.y2 == row) {
                crossings.emplace_back(p.x1, p.winding);
                crossings.emplace_back(p.x2, -p.winding);
                continue;
            }
            const bool firstIsLow = p.y1 < p.y2;
            const int xl = firstIsLow ? p.x1 : p.x2, yl = firstIsLow ? p.y1 : p.y2;
            const int xh = firstIsLow ? p.x2 : p.x1, yh = firstIsLow ? p.y2 : p.y1;
            if (yh == row)
                continue;
            const int w = firstIsLow ? p.winding : -p.winding;
            crossings.emplace_back(yl == row ? xl : int(xl + double(xh - xl) * (row - yl) / (yh - yl)), w);
            sum += w;
        }
        if (crossings.size() % 2 != 0)
            continue;
        std::sort(crossings.begin(), crossings.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        const auto span = [&](int from, int to) {
            painter.drawLine(from + centreX, row + centreY, to + centreX, row + centreY);
        };
        if (fill == Fill::EvenOdd || !oriented || sum != 0) {
            for (size_t i = 0; i < crossings.size(); i += 2)
                span(crossings[i].first, crossings[i + 1].first);
            continue;
        }
        int inside = 0, start = 0;
        for (const auto &[x, w] : crossings) {
            if (inside == 0)
                start = x;
            inside += w;
            if (inside == 0)
                span(start, x);
        }
    }
}

QImage blankLayer(const SliceBuildConfig &config, bool greyscale)
{
    QImage image(config.resolutionX, config.resolutionY, greyscale ? QImage::Format_Grayscale8 : QImage::Format_Mono);
    if (!greyscale)
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(0);
    return image;
}

// What the first drawSegments drew for segments on a black 1-bit raster.
QImage referenceDrawing(const std::vector<SliceSegment> &segments, const SliceBuildConfig &config)
{
    QImage image = blankLayer(config, false);
    QPainter painter(&image);
    referenceDrawSegments(painter, segments, config);
    painter.end();
    return image;
}

QImage referenceReduction(const QImage &drawn, const QSize &size)
{
    return drawn.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_Grayscale8);
}

// The layer as the first renderLayer made it, filled by fill.
QImage referenceLayer(const QList<Model *> &models, const SliceBuildConfig &config, int layer, float z, bool greyscale,
                      Fill fill = Fill::EvenOdd)
{
    QImage image = blankLayer(config, greyscale);
    for (Model *model : models) {
        std::vector<SliceSegment> segments;
        PlaneCut::cut(*model, z, segments);
        QPainter painter(&image);
        referenceDrawSegments(painter, segments, config, fill);
    }
    return config.supersampled ? referenceReduction(image, config.targetSize) : image;
}

QByteArray referencePng(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// Bit depth and colour type from a PNG's header.
QPair<int, int> pngKind(const QByteArray &png)
{
    return png.size() > 25 ? qMakePair(int(uchar(png[24])), int(uchar(png[25]))) : qMakePair(-1, -1);
}

QImage grey(const QImage &image)
{
    return image.convertToFormat(QImage::Format_Grayscale8);
}

// The first differing pixel, for the failure message.
QString firstDifference(const QImage &expected, const QImage &actual)
{
    if (expected.size() != actual.size())
        return QStringLiteral("size %1x%2 instead of %3x%4")
            .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
    const QImage a = grey(expected), b = grey(actual);
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.constScanLine(y)[x] != b.constScanLine(y)[x])
                return QStringLiteral("pixel (%1, %2) is %3 instead of %4")
                    .arg(x).arg(y).arg(b.constScanLine(y)[x]).arg(a.constScanLine(y)[x]);
        }
    }
    return QString();
}

MeshPrimitiveData merged(const QList<MeshPrimitiveData> &parts)
{
    MeshPrimitiveData mesh;
    for (const MeshPrimitiveData &part : parts) {
        const auto offset = uint32_t(mesh.vertices.size());
        mesh.vertices.insert(mesh.vertices.end(), part.vertices.begin(), part.vertices.end());
        for (uint32_t index : part.indices)
            mesh.indices.push_back(index + offset);
    }
    return mesh;
}

// Torus around the z axis through centre: ring radius R, tube radius r (mm).
MeshPrimitiveData torus(float R, float r, const QVector3D &centre, int around = 48, int tube = 24)
{
    MeshPrimitiveData mesh;
    const auto point = [&](int i, int j) {
        const double u = 2 * M_PI * i / around, v = 2 * M_PI * j / tube;
        return centre + QVector3D(float((R + r * std::cos(v)) * std::cos(u)), float((R + r * std::cos(v)) * std::sin(u)),
                                  float(r * std::sin(v)));
    };
    for (int i = 0; i < around; ++i) {
        for (int j = 0; j < tube; ++j) {
            TestMeshes::addTriangle(mesh, point(i, j), point(i + 1, j), point(i + 1, j + 1));
            TestMeshes::addTriangle(mesh, point(i, j), point(i + 1, j + 1), point(i, j + 1));
        }
    }
    return mesh;
}

// A cube of the given edge standing on the plate, centred on x = y = 0, with
// square holes of a third of the edge through the middle of each side: the
// 20 cells of a 3 x 3 x 3 grid that lie on an edge or a corner.
MeshPrimitiveData cubeWithHoles(float edge)
{
    const float cell = edge / 3;
    QList<MeshPrimitiveData> cells;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                if ((i == 1) + (j == 1) + (k == 1) >= 2)
                    continue;
                const QVector3D min(-edge / 2 + i * cell, -edge / 2 + j * cell, k * cell);
                cells << TestMeshes::box(min, min + QVector3D(cell, cell, cell));
            }
        }
    }
    return merged(cells);
}

using SceneBuilder = std::function<void(KaloModel &)>;

Model *add(KaloModel &manager, const MeshPrimitiveData &mesh, const QVector3D &translate = {},
           const QVector3D &rotate = {})
{
    Model *model = TestMeshes::makeModel(mesh);
    model->pivot = (model->boundMin + model->boundMax) / 2;
    model->translate = translate;
    model->rotate = rotate;
    model->dirty = true;
    manager.addModel(model);
    return model;
}

} // namespace

Q_DECLARE_METATYPE(SceneBuilder)
Q_DECLARE_METATYPE(Fill)

class TstSliceOracle : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void archiveMatchesReference_data();
    void archiveMatchesReference();
    void renderLayerMatchesReference_data();
    void renderLayerMatchesReference();
    void rasterMatchesPainter_data();
    void rasterMatchesPainter();
    void outlineMatchesPainter_data();
    void outlineMatchesPainter();
    void downscaleMatchesQImage_data();
    void downscaleMatchesQImage();
    void pngDecodesToTheImage_data();
    void pngDecodesToTheImage();

private:
    std::unique_ptr<KaloModel> m_manager;
    QTemporaryDir m_dir;
};

void TstSliceOracle::initTestCase()
{
    QVERIFY(m_dir.isValid());
    KaloConfig::instance();
    // Open meshes log every row they leave open.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg && !message.startsWith(QLatin1String("ERROR: n != 2")))
            fprintf(stderr, "%s\n", qPrintable(message));
    });
}

void TstSliceOracle::init()
{
    KaloConfig *settings = KaloConfig::instance();
    settings->useAntialise(false);
    settings->antiAliseValue(2);
    SliceBuildConfig *config = settings->buildConfig();
    // A small display keeps the reference quick: 36 x 48 mm at 10 px/mm.
    config->resolutionX = 360;
    config->resolutionY = 480;
    config->pixelsPerMmX = config->pixelsPerMmY = 10;
    config->layerThickness = 0.4f;
    m_manager = std::make_unique<KaloModel>();
}

void TstSliceOracle::cleanup()
{
    m_manager.reset();
}

void TstSliceOracle::archiveMatchesReference_data()
{
    QTest::addColumn<SceneBuilder>("scene");
    QTest::addColumn<bool>("antiAliasing");
    QTest::addColumn<float>("factor");
    QTest::addColumn<Fill>("fill");

    // Scenes of models that are each one closed shell, or an open one, whose
    // layers must stay as they were; the others hold meshes of several
    // shells, which unite where they overlap.
    std::vector<std::pair<const char *, SceneBuilder>> scenes;
    std::set<std::string> severalShells{"cube with holes, turned", "overlapping models"};
    scenes.emplace_back("sphere", SceneBuilder([](KaloModel &m) { add(m, TestMeshes::sphere(9, {3, -4, 9}, 24, 48)); }));
    // Enough triangles to be placed for the run on several threads at once.
    scenes.emplace_back("fine sphere, turned", SceneBuilder([](KaloModel &m) {
                            add(m, TestMeshes::sphere(8, {0, 0, 8}, 200, 256), {-2, 5, 0}, {20, 0, 30});
                        }));
    scenes.emplace_back("torus, tilted", SceneBuilder([](KaloModel &m) {
                            add(m, torus(10, 3.5f, {0, 0, 0}), {1, 2, 6.5f}, {35, 10, 0});
                        }));
    scenes.emplace_back("cube with holes, turned", SceneBuilder([](KaloModel &m) {
                            add(m, cubeWithHoles(15), {-2, 3, 0}, {0, 0, 25});
                        }));
    scenes.emplace_back("overlapping models", SceneBuilder([](KaloModel &m) {
                            add(m, TestMeshes::cube(12), {-4, 0, 0});
                            add(m, TestMeshes::sphere(7, {0, 0, 7}), {3, 2, 0});
                            add(m, TestMeshes::ring(16, 8, 5), {0, -6, 0}, {0, 0, 15});
                        }));
    scenes.emplace_back("model with supports", SceneBuilder([](KaloModel &m) {
                            Model *owner = add(m, TestMeshes::sphere(6, {0, 0, 12}, 16, 32));
                            CWS::SupportConfig *columns = KaloConfig::instance()->supportConfig();
                            for (const QVector3D &foot : {QVector3D(-3, -2, 0), QVector3D(2.5f, 3, 0), QVector3D(0, 0, 0)}) {
                                auto *support = new CWS::Support(owner);
                                support->buildColumn(columns, 7.5f);
                                support->translateScoped(foot.x(), foot.y(), 0);
                                support->updateBounds(true);
                                m.addModel(support);
                            }
                        }));
    scenes.emplace_back("planes through vertices and an open mesh", SceneBuilder([](KaloModel &m) {
                            // Tops and apexes exactly at layer heights, summed as the slicer sums them.
                            float z = 0.2f;
                            for (int i = 0; i < 6; ++i)
                                z += 0.4f;
                            add(m, TestMeshes::box({-9, -9, 0}, {-2, 2, z}));
                            MeshPrimitiveData pyramid;
                            const QVector3D apex(4, 3, z);
                            const QVector3D c[4] = {{0, -1, 9}, {8, -1, 9}, {8, 7, 9}, {0, 7, 9}};
                            for (int i = 0; i < 4; ++i)
                                TestMeshes::addTriangle(pyramid, apex, c[(i + 1) % 4], c[i]);
                            TestMeshes::addTriangle(pyramid, c[0], c[1], c[2]);
                            TestMeshes::addTriangle(pyramid, c[0], c[2], c[3]);
                            add(m, pyramid);
                            MeshPrimitiveData open = TestMeshes::cube(6);
                            open.indices.erase(open.indices.begin() + 18, open.indices.begin() + 21);
                            add(m, open, {3, -10, 0});
                        }));
    scenes.emplace_back("reaching beyond the display", SceneBuilder([](KaloModel &m) {
                            add(m, TestMeshes::box({-25, -30, 0}, {15, 5, 6}), {}, {0, 0, 20});
                            add(m, TestMeshes::cube(8), {30, 0, 0});
                        }));

    for (const auto &scene : scenes) {
        const Fill fill = severalShells.count(scene.first) ? Fill::NonZero : Fill::EvenOdd;
        QTest::addRow("%s, 1-bit", scene.first) << scene.second << false << 2.0f << fill;
        QTest::addRow("%s, anti-aliased x2", scene.first) << scene.second << true << 2.0f << fill;
        QTest::addRow("%s, anti-aliased x2.5", scene.first) << scene.second << true << 2.5f << fill;
        QTest::addRow("%s, anti-aliased x1.5", scene.first) << scene.second << true << 1.5f << fill;
    }
}

void TstSliceOracle::archiveMatchesReference()
{
    QFETCH(SceneBuilder, scene);
    QFETCH(bool, antiAliasing);
    QFETCH(float, factor);
    QFETCH(Fill, fill);
    KaloConfig *settings = KaloConfig::instance();
    settings->useAntialise(antiAliasing);
    settings->antiAliseValue(factor);
    scene(*m_manager);

    const QString path = m_dir.filePath(QStringLiteral("oracle.cws"));
    QSignalSpy spy(m_manager.get(), &KaloModel::sliceCompletedProgress);
    m_manager->sliceTo(path);
    while (spy.isEmpty() || spy.last().at(0).toFloat() <= 1)
        QVERIFY2(spy.wait(120000), "the run ends");
    QVERIFY2(m_manager->sliceError().isEmpty(), qPrintable(m_manager->sliceError()));
    const int layers = m_manager->sliceNumber();
    QVERIFY2(layers > 10, "the scene spans layers");

    QuaZip zip(path);
    QVERIFY(zip.open(QuaZip::mdUnzip));
    QHash<QString, QByteArray> entries;
    QStringList names;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFile file(&zip);
        QVERIFY(file.open(QIODevice::ReadOnly));
        names << file.getActualFileName();
        entries.insert(names.last(), file.readAll());
    }

    const SliceBuildConfig native = *settings->buildConfig();
    SliceBuildConfig config = native;
    config.beginSupersampling(antiAliasing, factor);
    const int digits = QString::number(layers).size();
    QStringList expectedNames;
    float z = config.layerThickness * 0.5f;
    for (int layer = 0; layer < layers; ++layer, z += config.layerThickness) {
        const QString name = QStringLiteral("oracle%1.png").arg(layer, digits, 10, QLatin1Char('0'));
        expectedNames << name;
        const QImage expected = referenceLayer(m_manager->models(), config, layer, z, antiAliasing, fill);
        const QByteArray png = entries.value(name);
        QCOMPARE(pngKind(png), pngKind(referencePng(expected)));
        const QImage actual = QImage::fromData(png, "PNG");
        const QString difference = firstDifference(expected, actual);
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("%1: %2").arg(name, difference)));
    }

    expectedNames << QStringLiteral("oracle.gcode");
    QCOMPARE(names.last(), expectedNames.last());
    names.sort();
    expectedNames.sort();
    QCOMPARE(names, expectedNames);
    QStringList gcode;
    CWS::buildGcode(gcode, layers, native, settings->buildHeightMm());
    const QString text = QString::fromLatin1(entries.value(QStringLiteral("oracle.gcode")));
    QCOMPARE(text.mid(text.indexOf(QLatin1Char('\n')) + 1), gcode.join(QString()));
}

void TstSliceOracle::renderLayerMatchesReference_data()
{
    QTest::addColumn<bool>("supersampled");
    QTest::newRow("native") << false;
    QTest::newRow("supersampled x2") << true;
}

void TstSliceOracle::renderLayerMatchesReference()
{
    // The support generator's way in: one model at a time, 8-bit grey.
    QFETCH(bool, supersampled);
    add(*m_manager, torus(10, 3.5f, {0, 0, 0}), {1, 2, 6.5f}, {35, 10, 0});
    Model *second = add(*m_manager, cubeWithHoles(15), {-2, 3, 0}, {0, 0, 25});
    SliceBuildConfig config = *KaloConfig::instance()->buildConfig();
    config.beginSupersampling(supersampled, 2);
    float z = config.layerThickness * 0.5f;
    for (int layer = 0; layer < 40; ++layer, z += config.layerThickness) {
        CWS::Slice slice(nullptr, &config, layer, z, &m_manager->models());
        slice.renderLayer(true, second);
        const QImage expected = referenceLayer({second}, config, layer, z, true);
        QCOMPARE(slice.image()->format(), QImage::Format_Grayscale8);
        const QString difference = firstDifference(expected, *slice.image());
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("layer %1: %2").arg(layer).arg(difference)));
    }
}

void TstSliceOracle::rasterMatchesPainter_data()
{
    QTest::addColumn<int>("seed");
    for (int seed = 1; seed <= 12; ++seed)
        QTest::addRow("random closed outlines %d", seed) << seed;
}

void TstSliceOracle::rasterMatchesPainter()
{
    // Closed outlines of random corners, crossing themselves, each other and
    // the raster's edges, with horizontal edges and edges of one pixel.
    QFETCH(int, seed);
    QRandomGenerator random{quint32(seed)};
    SliceBuildConfig config;
    config.resolutionX = 101 + seed * 7;
    config.resolutionY = 67 + seed * 5;
    config.pixelsPerMmX = config.pixelsPerMmY = 10;
    std::vector<SliceSegment> segments;
    for (int loop = 0; loop < 3; ++loop) {
        std::vector<QVector3D> corners;
        const int count = 3 + int(random.bounded(12));
        for (int i = 0; i < count; ++i) {
            const float x = float(random.bounded(18.0) - 9.0) * config.resolutionX / 100;
            // Rows repeat often, so that segments lie on rows and meet on them.
            const float y = i % 3 == 1 ? corners.back().y() : float(int(random.bounded(-8, 8))) * config.resolutionY / 120;
            corners.emplace_back(x, y, 0);
        }
        for (int i = 0; i < count; ++i)
            segments.push_back({corners[size_t(i)], corners[size_t(i + 1) % size_t(count)]});
    }
    segments.push_back({QVector3D(0.31f, 0.42f, 0), QVector3D(0.31f, 0.42f, 0)});

    CWS::LayerRaster raster(config);
    raster.drawSegments(segments);
    const QImage expected = referenceDrawing(segments, config);
    const QString difference = firstDifference(expected, raster.image());
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QVERIFY2(grey(raster.toGrey()) == grey(expected), "the 8-bit copy shows the same drawing");
    // Everything white lies within content().
    QImage outside = grey(expected);
    for (int y = 0; y < outside.height(); ++y) {
        for (int x = 0; x < outside.width(); ++x) {
            if (raster.content().contains(x, y))
                outside.scanLine(y)[x] = 0;
        }
    }
    QVERIFY2(outside == blankLayer(config, true), "content() holds every white pixel");
}

void TstSliceOracle::outlineMatchesPainter_data()
{
    // Lines between random pixels of a box (image pixels) that keeps to
    // some directions and lengths: each is drawn alone and compared.
    QTest::addColumn<QRect>("box");
    QTest::addColumn<int>("slopes"); // 0 any, 1 within a pixel of an axis, 2 within a pixel of a diagonal
    const QRect raster(0, 0, 151, 97);
    QTest::newRow("short lines") << QRect(60, 40, 6, 6) << 0;
    QTest::newRow("long lines") << raster << 0;
    QTest::newRow("near the axes") << raster << 1;
    QTest::newRow("near the diagonals") << raster << 2;
    QTest::newRow("ends on the edges") << QRect(0, 0, 3, 97) << 0;
    QTest::newRow("ends beyond the edges") << raster.adjusted(-40, -30, 40, 30) << 0;
}

void TstSliceOracle::outlineMatchesPainter()
{
    QFETCH(QRect, box);
    QFETCH(int, slopes);
    SliceBuildConfig config;
    config.resolutionX = 151;
    config.resolutionY = 97;
    config.pixelsPerMmX = config.pixelsPerMmY = 10;
    const QPoint centre(config.resolutionX / 2, config.resolutionY / 2);
    // The middle of an image pixel in mm, so that truncation finds that pixel.
    const auto mm = [&](const QPoint &pixel) {
        const QPointF p = pixel - centre;
        const auto middle = [](double v) { return float((v + (v < 0 ? -0.5 : 0.5)) / 10); };
        return QVector3D(middle(p.x()), middle(p.y()), 0);
    };
    QRandomGenerator random(11);
    const auto inBox = [&] {
        return QPoint(box.left() + int(random.bounded(box.width())), box.top() + int(random.bounded(box.height())));
    };
    for (int i = 0; i < 3000; ++i) {
        const QPoint from = inBox();
        QPoint to = inBox();
        const int wobble = int(random.bounded(3)) - 1;
        if (slopes == 1)
            to = random.bounded(2) ? QPoint(to.x(), from.y() + wobble) : QPoint(from.x() + wobble, to.y());
        else if (slopes == 2)
            to = from + QPoint(to.x() - from.x() + wobble, (random.bounded(2) ? 1 : -1) * (to.x() - from.x()));
        const std::vector<SliceSegment> segments{{mm(from), mm(to)}};
        CWS::LayerRaster raster(config);
        raster.drawSegments(segments);
        const QString difference = firstDifference(referenceDrawing(segments, config), raster.image());
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("line (%1, %2) to (%3, %4): %5")
                                                      .arg(from.x()).arg(from.y()).arg(to.x()).arg(to.y())
                                                      .arg(difference)));
    }
}

void TstSliceOracle::downscaleMatchesQImage_data()
{
    QTest::addColumn<QSize>("native");
    QTest::addColumn<float>("factor");
    QTest::addColumn<QRect>("content"); // where the drawing has white pixels, native pixels
    const QSize display(1375, 2455);
    QTest::newRow("display x2") << display << 2.0f << QRect(300, 900, 700, 400);
    QTest::newRow("display x2, odd columns to the right edge") << display << 2.0f << QRect(1001, 3, 374, 50);
    QTest::newRow("x2, odd width") << QSize(13, 9) << 2.0f << QRect(0, 0, 13, 9);
    QTest::newRow("display x2.5") << display << 2.5f << QRect(0, 2000, 1375, 455);
    QTest::newRow("x2.1, odd sizes") << QSize(137, 245) << 2.1f << QRect(0, 0, 137, 245);
    QTest::newRow("x3") << QSize(140, 99) << 3.0f << QRect(10, 5, 100, 50);
    QTest::newRow("x4.9") << QSize(83, 61) << 4.9f << QRect(70, 40, 13, 21);
    QTest::newRow("x5") << QSize(64, 80) << 5.0f << QRect(0, 0, 64, 80);
    QTest::newRow("x1.5, drawn as the library draws") << QSize(90, 70) << 1.5f << QRect(0, 0, 90, 70);
}

void TstSliceOracle::downscaleMatchesQImage()
{
    // Random pixels inside content: every mix of white and black the
    // reduction can meet, up to the edges of the image.
    QFETCH(QSize, native);
    QFETCH(float, factor);
    QFETCH(QRect, content);
    SliceBuildConfig config;
    config.resolutionX = native.width();
    config.resolutionY = native.height();
    config.beginSupersampling(true, factor);
    QImage drawn = blankLayer(config, false);
    const QRect area(content.topLeft() * factor, content.bottomRight() * factor);
    QRandomGenerator random(7);
    for (int y = area.top(); y <= area.bottom() && y < drawn.height(); ++y) {
        for (int x = area.left(); x <= area.right() && x < drawn.width(); ++x)
            drawn.setPixel(x, y, random.bounded(3) == 0 ? 1 : 0);
    }
    const QImage reduced = CWS::downscale(drawn, area & drawn.rect(), config.targetSize);
    QCOMPARE(reduced.format(), QImage::Format_Grayscale8);
    const QString difference = firstDifference(referenceReduction(grey(drawn), config.targetSize), reduced);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TstSliceOracle::pngDecodesToTheImage_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<int>("top");    // first row with white, or the height for none
    QTest::addColumn<int>("bottom"); // last row with white
    for (QImage::Format format : {QImage::Format_Mono, QImage::Format_Grayscale8}) {
        const char *kind = format == QImage::Format_Mono ? "1-bit" : "8-bit";
        QTest::addRow("%s, black", kind) << format << 700 << 0;
        QTest::addRow("%s, black margins", kind) << format << 300 << 420;
        QTest::addRow("%s, from the first row", kind) << format << 0 << 200;
        QTest::addRow("%s, to the last row", kind) << format << 650 << 699;
        QTest::addRow("%s, no margins", kind) << format << 0 << 699;
    }
}

void TstSliceOracle::pngDecodesToTheImage()
{
    QFETCH(QImage::Format, format);
    QFETCH(int, top);
    QFETCH(int, bottom);
    // Long black runs, odd widths, every level; 700 rows exceed a deflate window.
    QImage image(1001, 700, format);
    if (format == QImage::Format_Mono)
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(0);
    QRandomGenerator random(3);
    for (int y = top; y <= bottom; ++y) {
        const int from = int(random.bounded(image.width())), to = int(random.bounded(from, image.width()));
        for (int x = from; x <= to; ++x)
            image.setPixel(x, y, format == QImage::Format_Mono ? 1 : uint(random.bounded(4) ? 255 : random.bounded(256)));
    }
    const QByteArray png = CWS::encodePng(image);
    QCOMPARE(pngKind(png), pngKind(referencePng(image)));
    const QImage decoded = QImage::fromData(png, "PNG");
    QVERIFY2(!decoded.isNull(), "the PNG decodes");
    QVERIFY2(grey(decoded) == grey(image), "the decoded pixels are the image's");
}

QTEST_MAIN(TstSliceOracle)
#include "tst_sliceoracle.moc"
