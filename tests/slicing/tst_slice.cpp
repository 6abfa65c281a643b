#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "geometry/PlaneCut.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/LayerSink.h"
#include "slicing/Slice.h"
#include "workspace/KaloModel.h"

#include <QDir>
#include <QRegularExpression>
#include <QThreadPool>
#include <QTransform>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <set>

Q_DECLARE_METATYPE(MeshPrimitiveData)
Q_DECLARE_METATYPE(QVector<QPolygonF>)

namespace {

constexpr double kPixelsPerMm = 21.164021;

// The built-in display without anti-aliasing.
SliceBuildConfig display()
{
    SliceBuildConfig config;
    config.layerThickness = 0.05f;
    config.pixelsPerMmX = kPixelsPerMm;
    config.pixelsPerMmY = kPixelsPerMm;
    config.resolutionX = 1375;
    config.resolutionY = 2455;
    return config;
}

QImage render(const SliceBuildConfig &config, float z, Model *onlyModel = nullptr)
{
    CWS::Slice slice(nullptr, &config, 0, z, &KaloModel::instance()->models());
    slice.renderLayer(false, onlyModel);
    return *slice.image();
}

// Brightness of pixel (column, row) counted from the image centre: 0 … 255.
int level(const QImage &image, int column, int row)
{
    return qGray(image.pixel(image.width() / 2 + column, image.height() / 2 + row));
}

// Exposed area in pixels: white pixels, grey ones counting in proportion.
double exposure(const QImage &image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    double sum = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            sum += line[x];
    }
    return sum / 255.0;
}

// Centre of the exposed area in mm, from the pixel columns and rows.
QPointF exposureCentre(const QImage &image, double pixelsPerMm)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    double sx = 0, sy = 0, sum = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x) {
            sx += line[x] * double(x - grey.width() / 2);
            sy += line[x] * double(y - grey.height() / 2);
            sum += line[x];
        }
    }
    return QPointF(sx / sum / pixelsPerMm, sy / sum / pixelsPerMm);
}

// Counter-clockwise rectangle around the origin (mm).
QPolygonF rectangle(double halfWidth, double halfHeight)
{
    return QPolygonF(QVector<QPointF>{{-halfWidth, -halfHeight}, {halfWidth, -halfHeight},
                                      {halfWidth, halfHeight}, {-halfWidth, halfHeight}});
}

// Area (mm²), perimeter measured as |dx| + |dy| (mm) and centroid of
// polygons given counter-clockwise, holes clockwise.
struct PolygonMeasure
{
    double area = 0;
    double perimeterL1 = 0;
    QPointF centroid;
};

PolygonMeasure measure(const QVector<QPolygonF> &loops)
{
    PolygonMeasure m;
    double cx = 0, cy = 0;
    for (const QPolygonF &loop : loops) {
        for (int i = 0; i < loop.size(); ++i) {
            const QPointF p = loop[i], q = loop[(i + 1) % loop.size()];
            const double cross = p.x() * q.y() - q.x() * p.y();
            m.area += cross / 2;
            cx += (p.x() + q.x()) * cross;
            cy += (p.y() + q.y()) * cross;
            m.perimeterL1 += std::abs(q.x() - p.x()) + std::abs(q.y() - p.y());
        }
    }
    m.centroid = QPointF(cx / (6 * m.area), cy / (6 * m.area));
    return m;
}

// Writes the image into the test's working directory if the test has failed
// by the time the scope ends.
class KeepImageOnFailure
{
public:
    explicit KeepImageOnFailure(const QImage &image) : m_image(image) {}
    ~KeepImageOnFailure()
    {
        if (!QTest::currentTestFailed())
            return;
        QString name = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            name += QLatin1Char('_') + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
        name += QStringLiteral(".png");
        m_image.save(name);
        qWarning() << "layer image kept in" << QDir::current().absoluteFilePath(name);
    }

private:
    const QImage &m_image;
};

QStringList g_messages;

void collectMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_messages.append(message);
}

} // namespace

class TstSlice : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void triangleCut_data();
    void triangleCut();
    void cubeFillsExactlyItsColumnsAndRows();
    void emptyLayerIsBlack_data();
    void emptyLayerIsBlack();
    void ringHoleStaysBlack();
    void areaMatchesPolygon_data();
    void areaMatchesPolygon();
    void vertexTouchingPlaneMarksOnePixel();
    void overlappingModelsUnite();
    void oddCrossingRowIsLoggedAndSkipped();
    void antiAliasedLayerHasGreyEdges_data();
    void antiAliasedLayerHasGreyEdges();
    void poolJobsHandLayersToSlicer();

private:
    Model *add(const MeshPrimitiveData &mesh)
    {
        Model *model = TestMeshes::makeModel(mesh);
        m_manager->addModel(model);
        return model;
    }

    std::unique_ptr<KaloModel> m_manager;
};

void TstSlice::initTestCase()
{
    // Created here so that pool threads never create it.
    KaloConfig::instance();
}

void TstSlice::init()
{
    KaloConfig::instance()->useAntialise(false);
    KaloConfig::instance()->buildConfig()->layerThickness = 0.05f;
    m_manager = std::make_unique<KaloModel>();
}

void TstSlice::cleanup()
{
    m_manager.reset();
}

void TstSlice::triangleCut_data()
{
    QTest::addColumn<QVector3D>("p");
    QTest::addColumn<QVector3D>("q");
    QTest::addColumn<QVector3D>("r");
    QTest::addColumn<QVector<QVector3D>>("expected"); // ends of the one segment, or empty

    const QVector3D p(1, 2, 1), q(3, 2, 1), r(1, 5, 1); // a triangle in the plane z = 1
    const QVector3D up(0, 0, 1), down(0, 0, -1);
    QTest::newRow("crossing") << QVector3D(0, 0, 0) << QVector3D(2, 0, 2) << QVector3D(0, 4, 2)
                              << QVector<QVector3D>{{1, 0, 1}, {0, 2, 1}};
    QTest::newRow("crossing, uneven") << QVector3D(0.5f, 0, 0.25f) << QVector3D(3, 1, 1.75f) << QVector3D(0, 4, 3)
                                      << QVector<QVector3D>{{1.75f, 0.5f, 1}, {0.5f - 0.5f * 0.75f / 2.75f, 3.0f / 2.75f, 1}};
    QTest::newRow("vertex on plane, rest above") << p << q + up << r + up << QVector<QVector3D>{p, p};
    QTest::newRow("vertex on plane, rest below") << p << q + down << r + down << QVector<QVector3D>{};
    QTest::newRow("vertex on plane, one above one below") << p << q + up << r + down
                                                          << QVector<QVector3D>{p, {2, 3.5f, 1}};
    QTest::newRow("edge on plane, third above") << p << q << r + up << QVector<QVector3D>{q, p};
    QTest::newRow("edge on plane, third below") << p << q << r + down << QVector<QVector3D>{};
    QTest::newRow("lying in plane") << p << q << r << QVector<QVector3D>{};
}

void TstSlice::triangleCut()
{
    QFETCH(QVector3D, p);
    QFETCH(QVector3D, q);
    QFETCH(QVector3D, r);
    QFETCH(QVector<QVector3D>, expected);

    MeshPrimitiveData mesh;
    TestMeshes::addTriangle(mesh, p, q, r);
    std::unique_ptr<Model> model(TestMeshes::makeModel(mesh));
    std::vector<SliceSegment> segments{{QVector3D(9, 9, 9), QVector3D(9, 9, 9)}};
    const int added = PlaneCut::cut(*model, 1.0f, segments);

    QCOMPARE(added, expected.isEmpty() ? 0 : 1);
    QVERIFY2(segments.size() == size_t(1 + added), "segments are appended after what the list held");
    if (added) {
        const SliceSegment &s = segments.back();
        QVERIFY2(qFuzzyCompare(s.p1, expected[0]) && qFuzzyCompare(s.p2, expected[1]),
                 qPrintable(QStringLiteral("expected the segment (%1 %2 %3)-(%4 %5 %6), got (%7 %8 %9)-(%10 %11 %12)")
                                .arg(expected[0].x()).arg(expected[0].y()).arg(expected[0].z())
                                .arg(expected[1].x()).arg(expected[1].y()).arg(expected[1].z())
                                .arg(s.p1.x()).arg(s.p1.y()).arg(s.p1.z())
                                .arg(s.p2.x()).arg(s.p2.y()).arg(s.p2.z())));
        QCOMPARE(s.p1.z(), 1.0f);
        QCOMPARE(s.p2.z(), 1.0f);
    }
}

void TstSlice::cubeFillsExactlyItsColumnsAndRows()
{
    add(TestMeshes::cube(10));
    QCOMPARE(m_manager->calcNumSlices(), 200);

    const SliceBuildConfig config = display();
    float z = config.layerThickness * 0.5f;
    for (int layer = 0; layer < 200; ++layer, z += config.layerThickness) {
        const QImage image = render(config, z);
        KeepImageOnFailure keep(image);
        QCOMPARE(image.format(), QImage::Format_Mono);
        QCOMPARE(image.size(), QSize(1375, 2455));
        int whiteInside = 0;
        for (int row = -105; row <= 105; ++row) {
            for (int column = -105; column <= 105; ++column)
                whiteInside += level(image, column, row) == 255;
        }
        const QByteArray where = "layer " + QByteArray::number(layer);
        QVERIFY2(whiteInside == 211 * 211, where + ": every pixel from -105 to +105 should be white");
        QVERIFY2(exposure(image) == 211 * 211, where + ": nothing outside -105 … +105 should be white");
    }
}

void TstSlice::emptyLayerIsBlack_data()
{
    QTest::addColumn<bool>("withCube");
    QTest::addColumn<float>("z");
    QTest::newRow("no models") << false << 0.025f;
    QTest::newRow("above the top") << true << 10.025f;
}

void TstSlice::emptyLayerIsBlack()
{
    QFETCH(bool, withCube);
    QFETCH(float, z);
    if (withCube)
        add(TestMeshes::cube(10));

    const QImage image = render(display(), z);
    KeepImageOnFailure keep(image);
    QCOMPARE(image.size(), QSize(1375, 2455));
    QCOMPARE(image.format(), QImage::Format_Mono);
    QVERIFY2(exposure(image) == 0, "an empty layer is all black");
}

void TstSlice::ringHoleStaysBlack()
{
    add(TestMeshes::ring(20, 10, 5));
    const QImage image = render(display(), 2.025f);
    KeepImageOnFailure keep(image);

    // The hole spans 5 mm either side = 105.8 pixels, the ring 10 mm = 211.6.
    int whiteInHole = 0, blackInWall = 0;
    for (int row = -210; row <= 210; ++row) {
        for (int column = -210; column <= 210; ++column) {
            const int reach = std::max(std::abs(row), std::abs(column));
            const bool white = level(image, column, row) == 255;
            whiteInHole += reach < 105 && white;
            blackInWall += reach > 106 && !white;
        }
    }
    QVERIFY2(whiteInHole == 0, "the hole must not be exposed");
    QVERIFY2(blackInWall == 0, "the wall of the ring must be exposed throughout");
}

void TstSlice::areaMatchesPolygon_data()
{
    QTest::addColumn<MeshPrimitiveData>("mesh");
    QTest::addColumn<QVector3D>("pivot");
    QTest::addColumn<QVector3D>("rotate");
    QTest::addColumn<QPointF>("shift");
    QTest::addColumn<float>("z");
    QTest::addColumn<QVector<QPolygonF>>("section"); // platform mm, counter-clockwise, holes clockwise

    auto placed = [](const QVector<QPolygonF> &loops, double degrees, QPointF shift) {
        QTransform transform;
        transform.translate(shift.x(), shift.y());
        transform.rotate(degrees);
        QVector<QPolygonF> result;
        for (const QPolygonF &loop : loops)
            result << transform.map(loop);
        return result;
    };
    auto prismRow = [&](const char *name, const QPolygonF &outline, double degrees, QPointF shift) {
        QTest::newRow(name) << TestMeshes::prism(outline, 6) << QVector3D() << QVector3D(0, 0, float(degrees))
                            << shift << 3.025f << placed({outline}, degrees, shift);
    };
    const QPolygonF square = rectangle(5, 5);
    prismRow("square", square, 0, {});
    prismRow("square turned 30, off centre", square, 30, {12.5, -7.3});
    prismRow("hexagon turned 17, far corner", TestMeshes::regularPolygon(6, 8), 17, {-20, 35});
    prismRow("64-gon", TestMeshes::regularPolygon(64, 12), 0, {3, 4});
    prismRow("star", TestMeshes::star(5, 12, 5), 0, {});
    prismRow("star turned 45", TestMeshes::star(5, 12, 5), 45, {-6, 10});

    const QPolygonF outer = rectangle(10, 10);
    QPolygonF hole = rectangle(5, 5);
    std::reverse(hole.begin(), hole.end());
    for (double degrees : {0.0, 33.0}) {
        QTest::newRow(qPrintable(QStringLiteral("ring turned %1").arg(degrees)))
            << TestMeshes::ring(20, 10, 6) << QVector3D() << QVector3D(0, 0, float(degrees)) << QPointF(4, -9)
            << 3.025f << placed({outer, hole}, degrees, {4, -9});
    }

    // Several shells in one mesh, as many exports write them: where they
    // overlap they print as one; one inside another facing inwards is a hollow.
    const MeshPrimitiveData first = TestMeshes::box({-10, -10, 0}, {10, 10, 6});
    const QPolygonF twoSquares({{-10, -10}, {10, -10}, {10, 0}, {20, 0}, {20, 20}, {0, 20}, {0, 10}, {-10, 10}});
    for (double degrees : {0.0, 21.0}) {
        QTest::newRow(qPrintable(QStringLiteral("overlapping cubes in one mesh, turned %1").arg(degrees)))
            << TestMeshes::combined(first, TestMeshes::box({0, 0, 0}, {20, 20, 6})) << QVector3D()
            << QVector3D(0, 0, float(degrees)) << QPointF(-3, 2) << 3.025f << placed({twoSquares}, degrees, {-3, 2});
    }
    QTest::newRow("cube inside a cube, facing inwards")
        << TestMeshes::combined(first, TestMeshes::inverted(TestMeshes::box({-5, -5, 0}, {5, 5, 6}))) << QVector3D()
        << QVector3D() << QPointF() << 3.025f << QVector<QPolygonF>{rectangle(10, 10), hole};
    QTest::newRow("cube inside a cube, facing outwards")
        << TestMeshes::combined(first, TestMeshes::box({-5, -5, 0}, {5, 5, 6})) << QVector3D() << QVector3D()
        << QPointF() << 3.025f << QVector<QPolygonF>{rectangle(10, 10)};

    // Turned 45 degrees about x around its centre, the cube stands on an
    // edge; 1 mm above the centre the plane cuts 5√2 - 1 mm to either side.
    const double half = 5 * std::sqrt(2.0) - 1;
    QTest::newRow("cube on an edge")
        << TestMeshes::cube(10) << QVector3D(0, 0, 5) << QVector3D(45, 0, 0) << QPointF() << 6.0f
        << QVector<QPolygonF>{rectangle(5, half)};
}

void TstSlice::areaMatchesPolygon()
{
    QFETCH(MeshPrimitiveData, mesh);
    QFETCH(QVector3D, pivot);
    QFETCH(QVector3D, rotate);
    QFETCH(QPointF, shift);
    QFETCH(float, z);
    QFETCH(QVector<QPolygonF>, section);

    Model *model = add(mesh);
    model->pivot = pivot;
    model->rotate = rotate;
    model->translate = QVector3D(float(shift.x()), float(shift.y()), 0);
    model->dirty = true;

    const QImage image = render(display(), z);
    KeepImageOnFailure keep(image);

    // Each crossing of a row moves that row's edge by under a pixel, and the
    // outline adds at most one pixel per pixel of boundary: the error stays
    // below the boundary length in pixels, taken as |dx| + |dy|.
    const PolygonMeasure expected = measure(section);
    const double expectedPixels = expected.area * kPixelsPerMm * kPixelsPerMm;
    const double tolerance = expected.perimeterL1 * kPixelsPerMm;
    const double exposed = exposure(image);
    QVERIFY2(std::abs(exposed - expectedPixels) <= tolerance,
             qPrintable(QStringLiteral("expected %1 ± %2 exposed pixels, got %3")
                            .arg(expectedPixels).arg(tolerance).arg(exposed)));

    // Truncation pulls every edge toward the centre by under a pixel.
    const QPointF centre = exposureCentre(image, kPixelsPerMm);
    const double off = QLineF(centre, expected.centroid).length() * kPixelsPerMm;
    QVERIFY2(off < 2, qPrintable(QStringLiteral("expected the exposed area centred at (%1, %2) mm, got (%3, %4)")
                                     .arg(expected.centroid.x()).arg(expected.centroid.y())
                                     .arg(centre.x()).arg(centre.y())));
}

void TstSlice::vertexTouchingPlaneMarksOnePixel()
{
    // A square pyramid standing on its apex, which lies exactly on the first
    // layer's plane; the apex sits off centre so that its pixel is distinct.
    const float layerZ = 0.05f * 0.5f;
    const QVector3D apex(2, 3, layerZ);
    const QVector3D c[4] = {{-3, -2, 5}, {7, -2, 5}, {7, 8, 5}, {-3, 8, 5}};
    MeshPrimitiveData mesh;
    for (int i = 0; i < 4; ++i)
        TestMeshes::addTriangle(mesh, apex, c[(i + 1) % 4], c[i]);
    TestMeshes::addTriangle(mesh, c[0], c[1], c[2]);
    TestMeshes::addTriangle(mesh, c[0], c[2], c[3]);
    add(mesh);

    const QImage image = render(display(), layerZ);
    KeepImageOnFailure keep(image);
    QVERIFY2(exposure(image) == 1, "only the apex pixel is exposed");
    QCOMPARE(level(image, int(2 * kPixelsPerMm), int(3 * kPixelsPerMm)), 255);
}

void TstSlice::overlappingModelsUnite()
{
    Model *left = add(TestMeshes::cube(10));
    Model *right = add(TestMeshes::sphere(6, QVector3D(0, 0, 6)));
    left->translate = QVector3D(-3, 0, 0);
    right->translate = QVector3D(4, 2, 0);
    left->dirty = right->dirty = true;

    const SliceBuildConfig config = display();
    const QImage both = render(config, 5.025f);
    KeepImageOnFailure keep(both);
    QImage united = render(config, 5.025f, left).convertToFormat(QImage::Format_Grayscale8);
    const QImage second = render(config, 5.025f, right).convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < united.height(); ++y) {
        uchar *line = united.scanLine(y);
        for (int x = 0; x < united.width(); ++x)
            line[x] = std::max(line[x], second.constScanLine(y)[x]);
    }
    QVERIFY2(level(both, 0, 0) == 255, "the overlap is exposed");
    QVERIFY2(both.convertToFormat(QImage::Format_Grayscale8) == united,
             "the layer is the union of the models' areas");
}

void TstSlice::oddCrossingRowIsLoggedAndSkipped()
{
    // The cube's +x wall loses its lower-right triangle: on the plane z the
    // outline's right side stops at y = z - 5, and the rows above it have
    // one crossing.
    MeshPrimitiveData mesh = TestMeshes::cube(10);
    mesh.indices.erase(mesh.indices.begin() + 18, mesh.indices.begin() + 21);
    add(mesh);

    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
    const QImage image = render(display(), 2.025f);
    qInstallMessageHandler(previous);
    KeepImageOnFailure keep(image);

    const QRegularExpression oddRow(QStringLiteral("^Row y=(-?\\d+) odd # of points = 1 - Model may have holes$"));
    std::set<int> logged;
    for (const QString &message : qAsConst(g_messages)) {
        const QRegularExpressionMatch match = oddRow.match(message);
        if (match.hasMatch())
            logged.insert(match.captured(1).toInt());
    }
    const int firstOpen = int((2.025f - 5) * kPixelsPerMm);
    QCOMPARE(int(logged.size()), 105 - firstOpen);
    QCOMPARE(*logged.begin(), firstOpen);
    for (int row = -104; row < 105; ++row) {
        const bool filled = level(image, 0, row) == 255;
        QVERIFY2(filled != bool(logged.count(row)),
                 qPrintable(QStringLiteral("row %1 should be %2").arg(row).arg(filled ? "left open" : "filled")));
    }
}

void TstSlice::antiAliasedLayerHasGreyEdges_data()
{
    QTest::addColumn<float>("factor");
    QTest::addColumn<QSize>("drawnSize");
    QTest::newRow("factor 2") << 2.0f << QSize(2750, 4910);
    QTest::newRow("factor 2.5") << 2.5f << QSize(3437, 6137);
}

void TstSlice::antiAliasedLayerHasGreyEdges()
{
    QFETCH(float, factor);
    QFETCH(QSize, drawnSize);

    const double radius = 8;
    add(TestMeshes::prism(TestMeshes::regularPolygon(64, radius), 4));
    KaloConfig::instance()->useAntialise(true);
    SliceBuildConfig config = display();
    config.beginSupersampling(true, factor);

    CWS::Slice slice(nullptr, &config, 0, 1.025f, &m_manager->models());
    slice.renderLayer(true, nullptr);
    const QImage &image = *slice.image();
    KeepImageOnFailure keep(image);
    QVERIFY2(slice.supersampledImage(), "the enlarged image is kept");
    QCOMPARE(slice.supersampledImage()->size(), drawnSize);
    QCOMPARE(image.size(), QSize(1375, 2455));
    QCOMPARE(image.format(), QImage::Format_Grayscale8);

    // Grey only where the edge passes: between the inscribed and the
    // circumscribed circle, widened by the two pixels a down-scale blurs.
    const double inner = radius * std::cos(M_PI / 64) * kPixelsPerMm - 2;
    const double outer = radius * kPixelsPerMm + 2;
    int grey = 0, misplaced = 0;
    for (int row = -200; row <= 200; ++row) {
        for (int column = -200; column <= 200; ++column) {
            const int v = level(image, column, row);
            const double r = std::hypot(column, row);
            if (v > 0 && v < 255) {
                ++grey;
                misplaced += r < inner || r > outer;
            } else {
                misplaced += (v == 255 && r > outer) || (v == 0 && r < inner);
            }
        }
    }
    QVERIFY2(grey > 0, "the edges are grey");
    QVERIFY2(misplaced == 0, "inside white, outside black, grey only along the edge");

    config.endSupersampling();
    KaloConfig::instance()->useAntialise(false);
    const double sharp = exposure(render(config, 1.025f));
    const double tolerance = measure({TestMeshes::regularPolygon(64, radius)}).perimeterL1 * kPixelsPerMm;
    QVERIFY2(std::abs(exposure(image) - sharp) <= tolerance,
             qPrintable(QStringLiteral("expected the coverage of the 1-bit layer, %1 ± %2 pixels, got %3")
                            .arg(sharp).arg(tolerance).arg(exposure(image))));
}

namespace {

class RecordingSink : public CWS::LayerSink
{
public:
    void layerDone(QImage *image, int layerIndex, QImage *supersampledImage, std::pair<int, int>) override
    {
        const std::lock_guard<std::mutex> lock(mutex);
        layers[layerIndex] = exposure(*image);
        sawSupersampled |= supersampledImage != nullptr;
    }

    std::mutex mutex;
    QMap<int, double> layers;
    bool sawSupersampled = false;
};

} // namespace

void TstSlice::poolJobsHandLayersToSlicer()
{
    // The cube's top is 10 mm: layers 199 and below carry its square, 200 is empty.
    add(TestMeshes::cube(10));
    m_manager->calcNumSlices();
    const SliceBuildConfig config = display();
    RecordingSink sink;
    QThreadPool pool;
    const QList<int> layers{0, 57, 199, 200};
    for (int layer : layers)
        pool.start(new CWS::Slice(&sink, &config, layer, (layer + 0.5f) * config.layerThickness,
                                  &m_manager->models()));
    pool.waitForDone();

    // The jobs have ended; the lock only shows ThreadSanitizer, which cannot
    // see the pool's own locks, that they wrote before this reads.
    const std::lock_guard<std::mutex> lock(sink.mutex);
    QCOMPARE(sink.layers.keys(), layers);
    for (int layer : {0, 57, 199})
        QCOMPARE(sink.layers[layer], 211.0 * 211.0);
    QCOMPARE(sink.layers[200], 0.0);
    QVERIFY2(!sink.sawSupersampled, "no enlarged image without supersampling");
}

QTEST_MAIN(TstSlice)
#include "tst_slice.moc"
