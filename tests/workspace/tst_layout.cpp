#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "workspace/KaloModel.h"
#include "workspace/ModelOutline.h"
#include "workspace/SkylinePacker.h"

#include <QRandomGenerator>
#include <QRect>
#include <QtTest>

#include <memory>

using namespace TestMeshes;

Q_DECLARE_METATYPE(QVector<QVector3D>)


namespace {

// The built-in display: 65 x 116 mm at 21.164021 px/mm.
const LcdSpec builtInLcd{65.0f, 116.0f, 21.164021f, 21.164021f};

// The skyline as "{height, x0, x1}" texts in x order.
QString text(const std::vector<SkylineSegment> &skyline)
{
    QStringList parts;
    for (const SkylineSegment &s : skyline)
        parts << QStringLiteral("{%1, %2, %3}").arg(s.height).arg(s.x0).arg(s.x1);
    return parts.join(' ');
}

// Grid points a placed footprint covers.
QRect covered(const Footprint &f, const Placement &p)
{
    return p.rotated ? QRect(p.x, p.y, f.d + 1, f.w + 1) : QRect(p.x, p.y, f.w + 1, f.d + 1);
}

// Free space between two outlines (mm) along the axis that separates them
// most; negative when they overlap.
double xyGap(const QRectF &a, const QRectF &b)
{
    const double gapX = std::max(b.left() - a.right(), a.left() - b.right());
    const double gapY = std::max(b.top() - a.bottom(), a.top() - b.bottom());
    return std::max(gapX, gapY);
}

// The x/y box of one model alone.
QRectF xyBox(Model *model)
{
    model->updateBounds();
    return QRectF(QPointF(model->boundMin.x(), model->boundMin.y()), QPointF(model->boundMax.x(), model->boundMax.y()));
}

// inner lies within outer, give or take rounding.
bool within(const QRectF &inner, const QRectF &outer)
{
    return outer.adjusted(-1e-3, -1e-3, 1e-3, 1e-3).contains(inner);
}

// No two outlines (model, plate and supports) of the normal models come
// closer than minGap (mm); what failed, or empty.
QString overlaps(const QList<Model *> &models, double minGap)
{
    QVector<QRectF> outlines;
    for (Model *model : models) {
        if (model->type == TYPE_NORMAL)
            outlines << ModelOutline::of(*model);
    }
    for (int i = 0; i < outlines.size(); ++i) {
        for (int j = 0; j < i; ++j) {
            if (xyGap(outlines[i], outlines[j]) < minGap)
                return QStringLiteral("models %1 and %2 are %3 mm apart").arg(j).arg(i).arg(xyGap(outlines[i], outlines[j]));
        }
    }
    return QString();
}

} // namespace

class TstLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_config = std::make_unique<KaloConfig>(QString(), true);
        m_manager = std::make_unique<KaloModel>();
    }
    void cleanup()
    {
        m_manager.reset();
        m_config.reset();
    }

    void threeEqualSquaresInARow();
    void place_data();
    void place();
    void placedFootprintsKeepTheirMargin_data();
    void placedFootprintsKeepTheirMargin();

    void threeCubesLineUpAndAreCentred();
    void modelThatFitsOnlyTurnedIsTurned();
    void nothingMovesUnlessAllFit();
    void largestGoesFirst();
    void selectionHasNoEffect_data();
    void selectionHasNoEffect();
    void modelsEndApartOnPlatform_data();
    void modelsEndApartOnPlatform();
    void copiesGoToFreePlaces_data();
    void copiesGoToFreePlaces();

private:
    Model *add(const MeshPrimitiveData &mesh)
    {
        Model *model = makeModel(mesh);
        m_manager->addModel(model);
        return model;
    }
    Model *attachSupport(Model *owner)
    {
        Model *column = makeSupportOf(owner, box({0, 0, 0}, {1, 1, 3}));
        m_manager->addModel(column);
        return column;
    }

    std::unique_ptr<KaloConfig> m_config;
    std::unique_ptr<KaloModel> m_manager;
};

void TstLayout::threeEqualSquaresInARow()
{
    const LayoutGrid grid(builtInLcd);
    QCOMPARE(grid.width, 1376);
    QCOMPARE(grid.depth, 2456);
    SkylinePacker packer(grid.width, grid.depth);
    QCOMPARE(text(packer.skyline()), QStringLiteral("{0, 0, 1374}"));

    Placement p;
    QVERIFY(packer.place({400, 400}, p));
    QCOMPARE(QPoint(p.x, p.y), QPoint(20, 20));
    QCOMPARE(text(packer.skyline()), QStringLiteral("{421, 0, 421} {0, 421, 1374}"));
    // The raised first stretch would reach 822: the free one to its right wins.
    QVERIFY(packer.place({400, 400}, p));
    QCOMPARE(QPoint(p.x, p.y), QPoint(441, 20));
    QVERIFY(packer.place({400, 400}, p));
    QCOMPARE(QPoint(p.x, p.y), QPoint(862, 20));
    QVERIFY2(!p.rotated, "a square stays upright: upright comes first among equals");

    QCOMPARE(packer.maxRight(), 1263);
    QCOMPARE(packer.maxTop(), 401);
    QCOMPARE(packer.centringOffset(), QPoint((1376 - 1263) / 2, (2456 - 401) / 2));
}

void TstLayout::place_data()
{
    QTest::addColumn<QSize>("grid");
    // Footprints (w, d) placed in turn; all but the last must fit.
    QTest::addColumn<QVector<QPoint>>("footprints");
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<bool>("rotated");
    // The skyline after the last; empty when it finds no place, which must
    // leave the skyline as it was.
    QTest::addColumn<QString>("skyline");

    const QSize builtIn(1376, 2456);
    QTest::newRow("wider than the usable width: turned")
        << builtIn << QVector<QPoint>{{1500, 300}} << QPoint(20, 20) << true << "{1521, 0, 321} {0, 321, 1374}";
    QTest::newRow("turned reaches less far back")
        << builtIn << QVector<QPoint>{{300, 1000}} << QPoint(20, 20) << true << "{321, 0, 1021} {0, 1021, 1374}";
    QTest::newRow("spans a raised and a free stretch")
        << builtIn << QVector<QPoint>{{400, 400}, {1000, 100}} << QPoint(20, 441) << false
        << "{542, 0, 1021} {0, 1021, 1374}";
    QTest::newRow("spans the rest of the usable width exactly")
        << builtIn << QVector<QPoint>{{400, 400}, {1353, 100}} << QPoint(20, 441) << false << "{542, 0, 1374}";
    // After the first two the skyline is 421 | 1421 | 0. Resting on the
    // first stretch would cut into the second model.
    QTest::newRow("higher stretch within reach is skipped")
        << builtIn << QVector<QPoint>{{400, 400}, {400, 1400}, {600, 50}} << QPoint(862, 20) << true
        << "{421, 0, 421} {1421, 421, 842} {621, 842, 913} {0, 913, 1374}";
    // Behind its front margin the footprint ends on the last grid row.
    QTest::newRow("deepest that fits")
        << QSize(500, 500) << QVector<QPoint>{{100, 479}} << QPoint(20, 20) << false << "{500, 0, 121} {0, 121, 499}";
    QTest::newRow("one unit too deep") << QSize(500, 500) << QVector<QPoint>{{100, 480}} << QPoint() << false
                                       << QString();
    QTest::newRow("too large both ways") << builtIn << QVector<QPoint>{{1400, 2500}} << QPoint() << false
                                         << QString();
    QTest::newRow("no room left") << builtIn << QVector<QPoint>{{1200, 2000}, {500, 1300}} << QPoint() << false
                                  << QString();
}

void TstLayout::place()
{
    QFETCH(QSize, grid);
    QFETCH(QVector<QPoint>, footprints);
    QFETCH(QPoint, position);
    QFETCH(bool, rotated);
    QFETCH(QString, skyline);

    SkylinePacker packer(grid.width(), grid.height());
    Placement p;
    for (int i = 0; i < footprints.size() - 1; ++i)
        QVERIFY2(packer.place({footprints[i].x(), footprints[i].y()}, p), "the leading footprints fit");

    const QString before = text(packer.skyline());
    const int maxRight = packer.maxRight();
    const bool fits = !skyline.isEmpty();
    QCOMPARE(packer.place({footprints.last().x(), footprints.last().y()}, p), fits);
    if (!fits) {
        QCOMPARE(text(packer.skyline()), before);
        QCOMPARE(packer.maxRight(), maxRight);
        return;
    }
    QCOMPARE(QPoint(p.x, p.y), position);
    QCOMPARE(p.rotated, rotated);
    QCOMPARE(text(packer.skyline()), skyline);
}

void TstLayout::placedFootprintsKeepTheirMargin_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("largest");
    QTest::newRow("many small") << 1u << 150;
    QTest::newRow("mixed") << 2u << 500;
    QTest::newRow("few large") << 3u << 1100;
}

// Whatever the sizes and order, placed footprints lie inside the usable
// width, behind the front margin, and at least a margin apart.
void TstLayout::placedFootprintsKeepTheirMargin()
{
    QFETCH(quint32, seed);
    QFETCH(int, largest);
    QRandomGenerator random(seed);
    const LayoutGrid grid(builtInLcd);
    SkylinePacker packer(grid.width, grid.depth);

    QVector<QRect> placed;
    for (int i = 0; i < 60; ++i) {
        const Footprint f{random.bounded(10, largest), random.bounded(10, largest)};
        Placement p;
        if (!packer.place(f, p))
            continue; // a later, smaller one may still fit
        const QRect r = covered(f, p);
        QVERIFY2(r.left() >= SkylinePacker::margin && r.right() < 1374, "inside the usable width");
        QVERIFY2(r.top() >= SkylinePacker::margin && r.bottom() < grid.depth, "behind the front margin, on the grid");
        QVERIFY2(r.right() < packer.maxRight() && r.bottom() < packer.maxTop() + SkylinePacker::margin,
                 "within the reported extent");
        for (const QRect &other : qAsConst(placed)) {
            const QRect grown = other.adjusted(-SkylinePacker::margin, -SkylinePacker::margin,
                                               SkylinePacker::margin, SkylinePacker::margin);
            QVERIFY2(!grown.intersects(r), qPrintable(QStringLiteral("footprint %1 keeps the margin").arg(i)));
        }
        placed << r;
    }
    QVERIFY2(placed.size() >= 3, "the sample places something");
}

void TstLayout::threeCubesLineUpAndAreCentred()
{
    // Three cubes loaded on top of each other at the plate's centre; their
    // footprints come out at 400 grid units.
    const LayoutGrid grid(builtInLcd);
    QVector<Model *> cubes;
    for (int i = 0; i < 3; ++i)
        cubes << add(cube(18.9f));
    QCOMPARE(grid.footprint(cubes[0]->boundMin, cubes[0]->boundMax).w, 400);
    QCOMPARE(grid.footprint(cubes[0]->boundMin, cubes[0]->boundMax).d, 400);

    m_manager->autoLayoutModel();

    // Packed at x = 20, 441, 862 and y = 20, then shifted by (56, 1027).
    const int expectedX[3] = {76, 497, 918};
    for (int i = 0; i < 3; ++i) {
        cubes[i]->updateBounds();
        QCOMPARE(grid.toGridX(cubes[i]->boundMin.x()), expectedX[i]);
        QCOMPARE(grid.toGridY(cubes[i]->boundMin.y()), 1047);
        QCOMPARE(cubes[i]->rotate, QVector3D());
        QCOMPARE(cubes[i]->translate.z(), 0.0f);
    }
    // The row as a whole sits in the middle of the platform.
    const float middleX = (cubes[0]->boundMin.x() + cubes[2]->boundMax.x()) / 2;
    const float middleY = (cubes[0]->boundMin.y() + cubes[0]->boundMax.y()) / 2;
    QVERIFY2(std::abs(middleX) < 1.5f, qPrintable(QStringLiteral("row centred along x, off by %1 mm").arg(middleX)));
    QVERIFY2(std::abs(middleY) < 1.5f, qPrintable(QStringLiteral("row centred along y, off by %1 mm").arg(middleY)));
}

void TstLayout::modelThatFitsOnlyTurnedIsTurned()
{
    // 70 mm along x: wider than the 65 mm platform.
    Model *bar = add(box({-35, -5, 0}, {35, 5, 5}));
    bar->rotate = QVector3D(0, 0, 15);
    bar->dirty = true;
    bar->updateBounds();
    Model *column = attachSupport(bar);

    m_manager->autoLayoutModel();

    QCOMPARE(bar->rotate, QVector3D(0, 0, 105));
    bar->updateBounds();
    QVERIFY2(bar->boundMax.y() - bar->boundMin.y() > 65, "the long side now runs along y");
    QVERIFY2(bar->boundMin.x() > -32.5f && bar->boundMax.x() < 32.5f, "on the platform along x");
    QVERIFY2(bar->boundMin.y() > -58 && bar->boundMax.y() < 58, "on the platform along y");
    QCOMPARE(column->rotate, QVector3D());
    QCOMPARE(column->translate, bar->translate);
}

void TstLayout::nothingMovesUnlessAllFit()
{
    // The plate takes the first; the bar, which would need turning, no longer fits.
    add(box({-30, -50, 0}, {30, 50, 2}));
    Model *bar = add(box({-35, -5, 0}, {35, 5, 5}));
    bar->setTranslate(3, 4, 0);
    attachSupport(bar);
    QVector<QVector3D> before;
    for (const Model *model : m_manager->models())
        before << model->translate << model->rotate;

    m_manager->autoLayoutModel();

    QVector<QVector3D> after;
    for (const Model *model : m_manager->models())
        after << model->translate << model->rotate;
    QCOMPARE(after, before);
}

void TstLayout::largestGoesFirst()
{
    Model *small = add(cube(10));
    Model *large = add(cube(30));
    m_manager->autoLayoutModel();
    small->updateBounds();
    large->updateBounds();
    QVERIFY2(large->boundMax.x() < small->boundMin.x(), "the larger model takes the leftmost place");
    QVERIFY2(std::abs(large->boundMin.y() - small->boundMin.y()) < 1 / builtInLcd.pixelsPerMmY,
             "both in the first row");
}

void TstLayout::selectionHasNoEffect_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("sel");
    QTest::newRow("nothing selected, default") << -1 << -1;
    QTest::newRow("first selected") << 0 << 0;
    QTest::newRow("support selected") << 2 << 2;
    QTest::newRow("index out of range") << 1 << 99;
}

void TstLayout::selectionHasNoEffect()
{
    QFETCH(int, selected);
    QFETCH(int, sel);

    // The same scene laid out twice: once without selection and argument,
    // once as the row says.
    QVector<QVector3D> reference;
    for (int run = 0; run < 2; ++run) {
        m_manager.reset();
        m_manager = std::make_unique<KaloModel>();
        Model *a = add(cube(12));
        add(box({-5, -20, 0}, {5, 20, 8}));
        attachSupport(a);
        add(cube(20));
        if (run == 1 && selected >= 0)
            m_manager->selectModel(m_manager->models().at(selected));
        if (run == 0)
            m_manager->autoLayoutModel();
        else
            m_manager->autoLayoutModel(sel);

        QVector<QVector3D> translates;
        for (const Model *model : m_manager->models())
            translates << model->translate;
        if (run == 0)
            reference = translates;
        else
            QCOMPARE(translates, reference);
    }
    QVERIFY2(reference[0] != QVector3D() && reference[3] != QVector3D(), "every normal model moved");
}

void TstLayout::modelsEndApartOnPlatform_data()
{
    // Boxes as (x, y, z) edge lengths (mm), all loaded at the plate's centre,
    // then scaled and tilted about x as the row says; with supports, one
    // column under each model off its centre; with plates, a 1 mm base
    // plate under each (reaching 2 mm beyond its model).
    QTest::addColumn<QVector<QVector3D>>("boxes");
    QTest::addColumn<QVector3D>("scale");
    QTest::addColumn<float>("tilt"); // degrees
    QTest::addColumn<bool>("supports");
    QTest::addColumn<bool>("plates");
    const QVector3D one(1, 1, 1);
    QTest::newRow("equal cubes") << QVector<QVector3D>(9, QVector3D(15, 15, 10)) << one << 0.0f << false << false;
    const QVector<QVector3D> mixed{{30, 10, 5}, {8, 40, 3}, {12, 12, 12}, {5, 5, 30}, {20, 25, 4}, {3, 50, 2}, {25, 6, 9}};
    QTest::newRow("mixed") << mixed << one << 0.0f << false << false;
    QTest::newRow("one turned among upright")
        << QVector<QVector3D>{{64, 8, 3}, {20, 20, 5}, {10, 30, 5}} << one << 0.0f << false << false;
    // Deeper than wide: turned, and the plates and supports with them.
    const QVector<QVector3D> deep{{10, 40, 5}, {12, 30, 8}, {8, 20, 5}, {6, 25, 4}};
    QTest::newRow("deep, on plates with supports") << deep << one << 0.0f << true << true;
    QTest::newRow("mixed, on plates") << mixed << one << 0.0f << true << true;
    QTest::newRow("scaled along x, turned") << deep << QVector3D(2, 1, 1) << 0.0f << true << false;
    QTest::newRow("scaled and tilted, on plates") << deep << QVector3D(1.5f, 0.8f, 1) << 25.0f << true << true;
}

void TstLayout::modelsEndApartOnPlatform()
{
    QFETCH(QVector<QVector3D>, boxes);
    QFETCH(QVector3D, scale);
    QFETCH(float, tilt);
    QFETCH(bool, supports);
    QFETCH(bool, plates);
    QVector<QSizeF> sizes;
    for (const QVector3D &size : boxes) {
        Model *model = add(box(-size / 2 * QVector3D(1, 1, 0), size / 2 * QVector3D(1, 1, 2)));
        model->scale = scale;
        model->rotate = QVector3D(tilt, 0, 0);
        model->dirty = true;
        const QRectF outline = xyBox(model);
        sizes << outline.size();
        if (supports) {
            const QPointF at = outline.topLeft() + QPointF(outline.width() * 0.75, outline.height() * 0.8);
            m_manager->addModel(makeSupportOf(model, box({float(at.x()) - 0.5f, float(at.y()) - 0.5f, 0},
                                                         {float(at.x()) + 0.5f, float(at.y()) + 0.5f, 3})));
        }
    }
    if (plates)
        m_manager->addSupportBase(1.0f);

    m_manager->autoLayoutModel();

    const QList<Model *> &models = m_manager->models();
    // The margin is 20 display pixels; a pixel's truncation may take one.
    const QString overlap = overlaps(models, 19 / builtInLcd.pixelsPerMmX);
    QVERIFY2(overlap.isEmpty(), qPrintable(overlap));
    int index = 0;
    for (Model *model : models) {
        if (model->type != TYPE_NORMAL)
            continue;
        const QRectF outline = ModelOutline::of(*model);
        QVERIFY2(outline.left() >= -32.5 && outline.right() <= 32.5 && outline.top() >= -58 && outline.bottom() <= 58,
                 qPrintable(QStringLiteral("model %1 lies on the platform").arg(index)));
        // Turned or not, the model keeps its shape.
        const QSizeF size = xyBox(model).size();
        const QSizeF before = sizes[index];
        QVERIFY2((qAbs(size.width() - before.width()) < 1e-3 && qAbs(size.height() - before.height()) < 1e-3)
                     || (qAbs(size.width() - before.height()) < 1e-3 && qAbs(size.height() - before.width()) < 1e-3),
                 qPrintable(QStringLiteral("model %1 is %2 x %3 mm, was %4 x %5")
                                .arg(index).arg(size.width()).arg(size.height()).arg(before.width()).arg(before.height())));
        if (plates)
            QVERIFY2(within(xyBox(model), xyBox(model->base)),
                     qPrintable(QStringLiteral("model %1 stays on its plate").arg(index)));
        for (Model *column : model->supports)
            QVERIFY2(within(xyBox(column), xyBox(model)),
                     qPrintable(QStringLiteral("the support of model %1 stays under it").arg(index)));
        ++index;
    }
}

void TstLayout::copiesGoToFreePlaces_data()
{
    // The models copied in turn, by their index in the list at that moment
    // (a copy with a plate adds two entries).
    QTest::addColumn<QVector<int>>("copied");
    QTest::addColumn<bool>("plate");
    QTest::newRow("the source thrice") << QVector<int>{0, 0, 0} << false;
    QTest::newRow("a copy, then the source") << QVector<int>{0, 1, 0} << false;
    QTest::newRow("on a plate, a copy, then the source") << QVector<int>{0, 2, 0, 0} << true;
}

void TstLayout::copiesGoToFreePlaces()
{
    QFETCH(QVector<int>, copied);
    QFETCH(bool, plate);
    add(box({-5, -4, 0}, {5, 4, 10}));
    if (plate)
        m_manager->addSupportBase(1.0f);
    for (const int index : copied) {
        QCOMPARE(m_manager->models().at(index)->type, int(TYPE_NORMAL));
        m_manager->copyModel(index);
    }
    QCOMPARE(m_manager->models().size(), (copied.size() + 1) * (plate ? 2 : 1));
    const QString overlap = overlaps(m_manager->models(), 1.0);
    QVERIFY2(overlap.isEmpty(), qPrintable(overlap));
}

QTEST_GUILESS_MAIN(TstLayout)
#include "tst_layout.moc"
