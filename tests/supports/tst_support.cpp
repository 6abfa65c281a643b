#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "settings/SupportConfig.h"
#include "supports/Support.h"
#include "workspace/KaloModel.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <memory>

using namespace TestMeshes;

namespace {

QVector3D position(const Model &model, int vertex)
{
    const MeshVertex &v = model.mesh->vertices.at(size_t(vertex));
    return {v.x, v.y, v.z};
}

// Vertex positions on the platform (mm).
QVector3D placed(const Model &model, int vertex)
{
    return model.modelMatrix().map(position(model, vertex));
}

QByteArray text(const QVector3D &v)
{
    return QByteArray::number(v.x()) + ", " + QByteArray::number(v.y()) + ", " + QByteArray::number(v.z());
}

bool near(const QVector3D &a, const QVector3D &b, float tolerance = 1e-4f)
{
    return (a - b).length() <= tolerance;
}

// Mean of the n vertices of a ring starting at first.
QVector3D ringCentre(const CWS::Support &s, int first, int n)
{
    QVector3D sum;
    for (int k = 0; k < n; ++k)
        sum += position(s, first + k);
    return sum / float(n);
}

CWS::SupportConfig *supportConfig()
{
    return KaloConfig::instance()->supportConfig();
}

} // namespace

// A support column: its shape, its name, and how it follows and aims at its model.
class TstSupport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init() { m_manager = std::make_unique<KaloModel>(); }
    void cleanup();

    void columnShape_data();
    void columnShape();
    void columnFacesOutward();
    void settingsApplyToTheNextColumnOnly();
    void copiesTakeNewNames();
    void followsModelUp();
    void tinyMoveChangesNothing();
    void modelLoweredBeyondTheBodyNeverInvertsIt();
    void aimHeadAlongNormal_data();
    void aimHeadAlongNormal();

private:
    // A floating 10 mm cube (z 5 ... 15) with a finished support under (x, y).
    CWS::Support *supportedCube(float x, float y)
    {
        Model *cubeModel = makeModel(cube(10));
        m_manager->addModel(cubeModel);
        cubeModel->setTranslate(0, 0, 5);
        CWS::Support *support = m_manager->createSupport(x, y, 5, cubeModel);
        support->bakeInverseTransform();
        support->updateBounds(true);
        return support;
    }

    std::unique_ptr<KaloModel> m_manager;
};

void TstSupport::initTestCase()
{
    CWS::Support first(nullptr);
    QCOMPARE(first.name, QStringLiteral("Support_0"));
    QCOMPARE(first.type, int(TYPE_SUPPORT));
}

void TstSupport::cleanup()
{
    m_manager.reset();
    // Every case starts from the initial settings.
    CWS::SupportConfig *config = supportConfig();
    config->segments = 11;
    config->setHeadTopRadius(0.6);
    config->setHeadBottomRadius(0.8);
    config->setFootTopRadius(1.2);
    config->setFootBottomRadius(2.0);
    config->setHeadHeight(2.0);
    config->setFootHeight(1.0);
}

void TstSupport::columnShape_data()
{
    QTest::addColumn<int>("segments");
    QTest::addColumn<float>("length");
    QTest::addColumn<float>("foot"); // expected actual heights, mm
    QTest::addColumn<float>("head");

    QTest::newRow("10 mm, full cones") << 11 << 10.0f << 1.0f << 2.0f;
    QTest::newRow("3 mm, head shortened") << 11 << 3.0f << 1.0f << 1.2f;
    QTest::newRow("2 mm, both shortened") << 11 << 2.0f << 0.8f << 0.8f;
    QTest::newRow("6 segments") << 6 << 10.0f << 1.0f << 2.0f;
}

void TstSupport::columnShape()
{
    QFETCH(int, segments);
    QFETCH(float, length);
    QFETCH(float, foot);
    QFETCH(float, head);
    supportConfig()->segments = segments;
    CWS::Support s(nullptr);
    s.buildColumn(supportConfig(), length);
    const int n = segments;

    QCOMPARE(int(s.mesh->vertices.size()), 5 * n + 2);
    QCOMPARE(int(s.mesh->indices.size()), 30 * n);
    QVERIFY2(qFuzzyCompare(s.actualFootHeight, foot), QByteArray::number(s.actualFootHeight));
    QVERIFY2(qFuzzyCompare(s.actualHeadHeight, head), QByteArray::number(s.actualHeadHeight));

    struct Ring
    {
        int first;
        float radius;
        float z;
    };
    const Ring rings[] = {{s.footBottomRing, 2.0f, 0.0f},
                          {s.footTopRing, 1.2f, foot},
                          {s.bodyBottomRing, 1.2f, foot},
                          {s.headBottomRing, 0.8f, length - head},
                          {s.headTopRing, 0.6f, length}};
    for (const Ring &ring : rings) {
        for (int k = 0; k < n; ++k) {
            const QVector3D p = position(s, ring.first + k);
            const float angle = float(2 * M_PI * k / n);
            const QVector3D expected(ring.radius * std::cos(angle), ring.radius * std::sin(angle), ring.z);
            QVERIFY2(near(p, expected), "ring vertex at " + text(p) + ", expected " + text(expected));
            QCOMPARE(s.mesh->vertices[size_t(ring.first + k)].nx, 0.0f);
        }
    }
    for (int k = 0; k < n; ++k)
        QVERIFY2(position(s, s.footTopRing + k) == position(s, s.bodyBottomRing + k), "rings 1 and 2 are identical");
    QVERIFY2(position(s, s.footBottomRing + n) == QVector3D(0, 0, 0), "bottom centre vertex");
    QVERIFY2(position(s, s.headTopRing + n) == QVector3D(0, 0, length), "top centre vertex");
    QCOMPARE(s.boundMin.z(), 0.0f);
    QCOMPARE(s.boundMax.z(), length);
}

void TstSupport::columnFacesOutward()
{
    CWS::Support s(nullptr);
    s.buildColumn(supportConfig(), 10);
    const auto &indices = s.mesh->indices;
    int bottomCap = 0, topCap = 0, sides = 0;
    for (size_t k = 0; k < indices.size(); k += 3) {
        const QVector3D a = position(s, int(indices[k]));
        const QVector3D b = position(s, int(indices[k + 1]));
        const QVector3D c = position(s, int(indices[k + 2]));
        const QVector3D normal = QVector3D::crossProduct(b - a, c - a);
        if (normal.length() < 1e-6f)
            continue; // the band between the identical rings 1 and 2
        if (a.z() == 0 && b.z() == 0 && c.z() == 0) {
            ++bottomCap;
            QVERIFY2(normal.z() < 0, "the bottom cap faces down");
        } else if (a.z() == 10 && b.z() == 10 && c.z() == 10) {
            ++topCap;
            QVERIFY2(normal.z() > 0, "the top cap faces up");
        } else {
            ++sides;
            const QVector3D centroid = (a + b + c) / 3;
            const QVector3D outward(centroid.x(), centroid.y(), 0);
            QVERIFY2(QVector3D::dotProduct(normal, outward) > 0, "side triangles face away from the axis");
        }
    }
    QCOMPARE(bottomCap, 11);
    QCOMPARE(topCap, 11);
    QCOMPARE(sides, 3 * 2 * 11);
}

void TstSupport::settingsApplyToTheNextColumnOnly()
{
    CWS::Support before(nullptr);
    before.buildColumn(supportConfig(), 10);
    supportConfig()->setHeadTopRadius(1.0);
    supportConfig()->setFootHeight(3.0);
    CWS::Support after(nullptr);
    after.buildColumn(supportConfig(), 10);

    QVERIFY2(qFuzzyCompare(position(before, before.headTopRing).x(), 0.6f), "the existing column keeps its tip");
    QCOMPARE(before.actualFootHeight, 1.0f);
    QVERIFY2(qFuzzyCompare(position(after, after.headTopRing).x(), 1.0f), "the next column gets the new tip");
    QCOMPARE(after.actualFootHeight, 3.0f);
}

void TstSupport::copiesTakeNewNames()
{
    Model *owner = makeModel(cube(10));
    m_manager->addModel(owner);
    CWS::Support *first = m_manager->createSupport(1, 1, 4, owner);
    CWS::Support *second = m_manager->createSupport(2, 2, 4, owner);
    const int number = first->name.mid(QStringLiteral("Support_").size()).toInt();
    QCOMPARE(second->name, QStringLiteral("Support_%1").arg(number + 1));
    QCOMPARE(owner->supports, (std::vector<Model *>{first, second}));

    const CWS::Support copy(*second);
    QCOMPARE(copy.name, QStringLiteral("Support_%1").arg(number + 2));
    QCOMPARE(copy.owner, nullptr);
    QVERIFY2(copy.mesh != second->mesh, "a copied column owns its mesh");
    QCOMPARE(copy.mesh->vertices.size(), second->mesh->vertices.size());
    QCOMPARE(copy.headBottomRing, second->headBottomRing);
    QCOMPARE(copy.actualHeadHeight, second->actualHeadHeight);
    QVERIFY2(position(copy, copy.headTopRing + 11) == position(*second, second->headTopRing + 11),
             "the copy stands where the source stands");
}

void TstSupport::followsModelUp()
{
    CWS::Support *support = supportedCube(2, 3);
    Model *owner = support->owner;
    QCOMPARE(support->boundMin.z(), 0.0f);
    QVERIFY2(qFuzzyCompare(support->boundMax.z(), 5.0f), "the tip touches the cube's bottom");
    const float bodyBefore = placed(*support, support->headBottomRing).z() - placed(*support, support->bodyBottomRing).z();
    const QVector3D footBefore = placed(*support, support->footBottomRing + 3);

    owner->translateBy(0, 0, 5);
    support->updateBounds();
    owner->updateBounds();
    QVERIFY2(std::abs(support->boundMin.z()) < 1e-5f, "the foot stays on the platform");
    QVERIFY2(qFuzzyCompare(support->boundMax.z(), owner->boundMin.z()), "the tip stays on the cube");
    const float bodyAfter = placed(*support, support->headBottomRing).z() - placed(*support, support->bodyBottomRing).z();
    QVERIFY2(qFuzzyCompare(bodyAfter, bodyBefore + 5), QByteArray::number(bodyAfter));
    QVERIFY2(near(placed(*support, support->footBottomRing + 3), footBefore), "the foot does not move");
    QCOMPARE(support->translate, owner->translate);
    QVERIFY2(!support->buffersValid, "the re-fitted column is uploaded again");
}

void TstSupport::tinyMoveChangesNothing()
{
    CWS::Support *support = supportedCube(2, 3);
    const std::vector<MeshVertex> before = support->mesh->vertices;
    support->followOwnerZ(1e-7f);
    QVERIFY2(std::memcmp(before.data(), support->mesh->vertices.data(), before.size() * sizeof(MeshVertex)) == 0,
             "a move below the float epsilon leaves the column alone");
}

void TstSupport::modelLoweredBeyondTheBodyNeverInvertsIt()
{
    // The 5 mm column has a 1 mm foot, a 2 mm head and a 2 mm body.
    CWS::Support *support = supportedCube(2, 3);
    Model *owner = support->owner;
    owner->translateBy(0, 0, -4);
    const float body = placed(*support, support->headBottomRing).z() - placed(*support, support->bodyBottomRing).z();
    QVERIFY2(std::abs(body) < 1e-5f, "the body shrinks to nothing, not below: " + QByteArray::number(body));
    support->updateBounds();
    owner->updateBounds();
    QVERIFY2(std::abs(support->boundMin.z()) < 1e-5f, "the foot stays on the platform");
    QVERIFY2(support->boundMax.z() > owner->boundMin.z(), "the head reaches into the lowered cube");

    owner->translateBy(0, 0, 4);
    support->updateBounds();
    owner->updateBounds();
    QVERIFY2(support->boundMax.z() >= owner->boundMin.z(), "raised again, the head still reaches the cube");
}

void TstSupport::aimHeadAlongNormal_data()
{
    QTest::addColumn<QVector3D>("normal");
    QTest::addColumn<QVector3D>("axis");

    QTest::newRow("surface facing down") << QVector3D(0, 0, -1) << QVector3D(0, 0, 1);
    QTest::newRow("surface facing up") << QVector3D(0, 0, 1) << QVector3D(0, 0, 1);
    QTest::newRow("surface facing +x") << QVector3D(1, 0, 0) << QVector3D(-0.8f, 0, 0.6f);
    QTest::newRow("slanted down towards -y") << QVector3D(0, -0.6f, -0.8f) << QVector3D(0, 0.6f, 0.8f);
}

void TstSupport::aimHeadAlongNormal()
{
    QFETCH(QVector3D, normal);
    QFETCH(QVector3D, axis);
    const QVector3D point(4, -3, 10);
    CWS::Support s(nullptr);
    s.buildColumn(supportConfig(), point.z());
    s.transformScope = 0;
    s.translateScoped(point.x(), point.y(), 0);
    const std::vector<MeshVertex> before = s.mesh->vertices;
    s.transformScope = 1;
    s.aimHead(point, normal);
    s.transformScope = 0;
    const int n = 11;

    QVERIFY2(near(position(s, s.headTopRing + n), point), "the tip's centre is the clicked point");
    for (int k = 0; k < n; ++k) {
        const QVector3D offset = position(s, s.headTopRing + k) - point;
        QVERIFY2(std::abs(QVector3D::dotProduct(offset, axis)) < 1e-4f, "the tip ring is square to the head axis");
        QVERIFY2(std::abs(offset.length() - 0.6f) < 1e-4f, "the tip ring keeps its radius");
    }
    const QVector3D lower = point - 2.0f * axis;
    QVERIFY2(near(ringCentre(s, s.headBottomRing, n), lower),
             "the head's lower ring lies on the axis, 2 mm below the tip: " + text(ringCentre(s, s.headBottomRing, n)));
    for (int k = 0; k < n; ++k) {
        const QVector3D p = position(s, s.headBottomRing + k);
        QVERIFY2(std::abs(p.z() - lower.z()) < 1e-4f, "the head's lower ring is horizontal");
        QVERIFY2(std::abs((p - lower).length() - 0.8f) < 1e-4f, "the head's lower ring keeps its radius");
    }
    for (int i = 0; i < s.headBottomRing; ++i) {
        const QVector3D was(before[size_t(i)].x, before[size_t(i)].y, before[size_t(i)].z);
        QVERIFY2(position(s, i) == was, "foot and body stay on the vertical through the point");
    }
}

QTEST_GUILESS_MAIN(TstSupport)
#include "tst_support.moc"
