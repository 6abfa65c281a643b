#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "workspace/KaloModel.h"

#include <QtTest>

#include <memory>

using namespace TestMeshes;

namespace {

bool fuzzyEqual(const QVector3D &a, const QVector3D &b, float tolerance = 1e-4f)
{
    return (a - b).length() <= tolerance;
}

QByteArray text(const QVector3D &v)
{
    return QByteArray::number(v.x()) + ", " + QByteArray::number(v.y()) + ", " + QByteArray::number(v.z());
}

#define COMPARE_VEC(actual, expected)                                                                             \
    QVERIFY2(fuzzyEqual((actual), (expected)),                                                                     \
             QByteArray("got (" + text(actual) + "), expected (" + text(expected) + ")").constData())

} // namespace

class TstModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_manager = std::make_unique<KaloModel>(); }
    void cleanup() { m_manager.reset(); }

    void boundsAndVolume_data();
    void boundsAndVolume();
    void thinShellCentreIsRepairedToBoxCentre();
    void flatPlateGetsBoxCentre();
    void scaleAndRotateWorkAboutThePivot();
    void bakeInverseTransformKeepsGeometryInPlace();
    void dropToFloorRestsOnPlate_data();
    void dropToFloorRestsOnPlate();
    void dropToFloorRestsOnBase();
    void settleLowersOnlyFloatingModelsWithoutSupports();
    void attachmentsFollowOwnerTranslation();
    void copiesLineUpAlongY();
    void copyOfCopyNamesTwice();
    void flipDetachesSharedMesh();
    void flipAboutZTurnsNormalModelOnly();
    void destructionUnlinksAttachments();
    void removeAllSupportsDeletesBaseAndColumns();

private:
    Model *add(Model *model)
    {
        m_manager->addModel(model);
        return model;
    }

    std::unique_ptr<KaloModel> m_manager;
};

void TstModel::boundsAndVolume_data()
{
    QTest::addColumn<QVector3D>("min");
    QTest::addColumn<QVector3D>("max");
    QTest::addColumn<int>("grid"); // the top made of grid x grid squares, 0: of one
    QTest::addColumn<float>("volume");
    QTest::addColumn<QVector3D>("center");

    QTest::newRow("unit cube") << QVector3D(0, 0, 0) << QVector3D(1, 1, 1) << 0 << 0.001f << QVector3D(0.5f, 0.5f, 0.5f);
    QTest::newRow("10 mm cube") << QVector3D(-5, -5, 0) << QVector3D(5, 5, 10) << 0 << 1.0f << QVector3D(0, 0, 5);
    // Resin cannot print below the plate: only the 5 mm above it count.
    // Below the plate the centroid is only promised to lie inside the box.
    QTest::newRow("half below the plate") << QVector3D(-5, -5, -5) << QVector3D(5, 5, 5) << 0 << 0.5f << QVector3D();
    QTest::newRow("wholly below the plate") << QVector3D(0, 0, -10) << QVector3D(2, 2, -1) << 0 << 0.0f << QVector3D();
    // 180,000 small terms: summed in single precision they came to 100.6 mL.
    QTest::newRow("fine top") << QVector3D(-50, -50, 0) << QVector3D(50, 50, 10) << 300 << 100.0f << QVector3D(0, 0, 5);
}

void TstModel::boundsAndVolume()
{
    QFETCH(QVector3D, min);
    QFETCH(QVector3D, max);
    QFETCH(int, grid);
    QFETCH(float, volume);
    QFETCH(QVector3D, center);

    MeshPrimitiveData mesh = box(min, max);
    if (grid > 0) {
        // The top's two triangles are the second face's.
        mesh.indices.erase(mesh.indices.begin() + 6, mesh.indices.begin() + 12);
        const QVector3D step = (max - min) / float(grid);
        for (int i = 0; i < grid; ++i) {
            for (int j = 0; j < grid; ++j) {
                const QVector3D a(min.x() + i * step.x(), min.y() + j * step.y(), max.z());
                const QVector3D b = a + QVector3D(step.x(), 0, 0), c = a + QVector3D(step.x(), step.y(), 0);
                const QVector3D d = a + QVector3D(0, step.y(), 0);
                addTriangle(mesh, a, b, c);
                addTriangle(mesh, a, c, d);
            }
        }
    }
    std::unique_ptr<Model> model(makeModel(mesh));
    COMPARE_VEC(model->boundMin, min);
    COMPARE_VEC(model->boundMax, max);
    QVERIFY2(qAbs(model->volume - volume) < 1e-5f * std::max(1.0f, volume),
             qPrintable(QStringLiteral("volume %1 mL, expected %2").arg(model->volume).arg(volume)));
    if (grid > 0) {
        // The centroid's terms keep single precision: a pivot needs no more.
        QVERIFY2((model->center - center).length() < 1e-3f, "the centroid");
    } else if (min.z() >= 0) {
        COMPARE_VEC(model->center, center);
    } else {
        for (int a = 0; a < 3; ++a)
            QVERIFY2(model->center[a] >= min[a] && model->center[a] <= max[a], "centre inside the box");
    }
    QCOMPARE(model->radius, qMax(min.length(), max.length()));
}

void TstModel::thinShellCentreIsRepairedToBoxCentre()
{
    // A bent strip of two triangles far from the origin: an open shell whose
    // volume centroid lies well outside its own box.
    MeshPrimitiveData shell;
    addTriangle(shell, {10, 0, 1}, {11, 0, 1}, {11, 1, 2});
    addTriangle(shell, {10, 0, 1}, {11, 1, 2}, {10, 1, 1});
    std::unique_ptr<Model> model(makeModel(shell));

    COMPARE_VEC(model->center, (model->boundMin + model->boundMax) * 0.5f);
}

void TstModel::flatPlateGetsBoxCentre()
{
    // Encloses no volume: the centroid would be 0/0.
    MeshPrimitiveData plate;
    addTriangle(plate, {0, 0, 0}, {4, 0, 0}, {4, 2, 0});
    addTriangle(plate, {0, 0, 0}, {4, 2, 0}, {0, 2, 0});
    std::unique_ptr<Model> model(makeModel(plate));
    COMPARE_VEC(model->center, QVector3D(2, 1, 0));
    QCOMPARE(model->volume, 0.0f);
}

void TstModel::scaleAndRotateWorkAboutThePivot()
{
    std::unique_ptr<Model> model(makeModel(box({0, 0, 0}, {10, 20, 4})));
    model->pivot = QVector3D(5, 10, 2);

    model->rotate = QVector3D(0, 0, 90);
    model->dirty = true;
    model->updateBounds();
    COMPARE_VEC(model->boundMin, QVector3D(-5, 5, 0));
    COMPARE_VEC(model->boundMax, QVector3D(15, 15, 4));

    model->rotate = QVector3D();
    model->scale = QVector3D(2, 2, 2);
    model->dirty = true;
    model->updateBounds();
    COMPARE_VEC(model->boundMin, QVector3D(-5, -10, -2));
    COMPARE_VEC(model->boundMax, QVector3D(15, 30, 6));
    QVERIFY2(qAbs(model->volume - 20 * 40 * 6 / 1000.0f) < 1e-4f, "volume counts only the part above the plate");
}

void TstModel::bakeInverseTransformKeepsGeometryInPlace()
{
    // Supports are built in platform coordinates, then baked so that the
    // owner's translation brings them back to where they were built.
    std::unique_ptr<Model> support(makeModel(box({1, 2, 0}, {2, 3, 5}), TYPE_SUPPORT));
    support->translate = QVector3D(7, -3, 4);
    support->bakeInverseTransform();
    support->updateBounds(true);
    COMPARE_VEC(support->boundMin, QVector3D(1, 2, 0));
    COMPARE_VEC(support->boundMax, QVector3D(2, 3, 5));
}

void TstModel::dropToFloorRestsOnPlate_data()
{
    QTest::addColumn<float>("startZ");
    QTest::newRow("floating") << 7.5f;
    QTest::newRow("below the plate") << -3.0f;
    QTest::newRow("already resting") << 0.0f;
}

void TstModel::dropToFloorRestsOnPlate()
{
    QFETCH(float, startZ);
    Model *model = add(makeModel(cube(10)));
    model->setTranslate(4, 5, startZ);

    QCOMPARE(model->dropToFloor(), 0.0f);
    model->updateBounds();
    QCOMPARE(model->boundMin.z(), 0.0f);
    COMPARE_VEC(model->translate, QVector3D(4, 5, 0));
}

void TstModel::dropToFloorRestsOnBase()
{
    Model *model = add(makeModel(cube(10)));
    Model *base = add(makeModel(box({-7, -7, 0}, {7, 7, 2}), TYPE_BASE));
    base->owner = model;
    model->base = base;
    model->setTranslate(0, 0, 10);
    base->updateBounds();
    const float top = base->boundMax.z();

    model->dropToFloor();
    model->updateBounds();
    QVERIFY2(qAbs(model->boundMin.z() - top) < 1e-5f, "the model's lowest point rests on the base's top");
}

void TstModel::settleLowersOnlyFloatingModelsWithoutSupports()
{
    Model *floating = add(makeModel(cube(10)));
    floating->setTranslate(0, 0, 3);
    floating->settleIfFloating();
    floating->updateBounds();
    QCOMPARE(floating->boundMin.z(), 0.0f);

    Model *sunk = add(makeModel(cube(10)));
    sunk->setTranslate(0, 0, -3);
    sunk->settleIfFloating();
    QCOMPARE(sunk->translate.z(), -3.0f);

    Model *supported = add(makeModel(cube(10)));
    add(makeSupportOf(supported, box({0, 0, 0}, {1, 1, 3})));
    supported->setTranslate(0, 0, 3);
    supported->settleIfFloating();
    QCOMPARE(supported->translate.z(), 3.0f);
}

void TstModel::attachmentsFollowOwnerTranslation()
{
    Model *model = add(makeModel(cube(10)));
    Model *column = add(makeSupportOf(model, box({0, 0, 0}, {1, 1, 3})));
    Model *base = add(makeModel(box({-7, -7, 0}, {7, 7, 2}), TYPE_BASE));
    base->owner = model;
    model->base = base;

    model->setTranslate(3, 4, 5);
    model->translateBy(1, 1, 1);
    COMPARE_VEC(column->translate, QVector3D(4, 5, 6));
    QVERIFY2(column->dirty && base->dirty, "moved attachments recompute their bounds");
    // The plate follows across the platform and stays on it.
    base->updateBounds();
    COMPARE_VEC(base->boundMin, QVector3D(-3, -2, 0));
}

void TstModel::copiesLineUpAlongY()
{
    Model *source = add(makeModel(box({-5, -4, 0}, {5, 4, 10})));
    source->name = QStringLiteral("part");
    for (int i = 0; i < 3; ++i)
        m_manager->copyModel(0);

    const QList<Model *> &models = m_manager->models();
    QCOMPARE(models.size(), 4);
    for (int k = 1; k <= 3; ++k) {
        Model *copy = models.at(k);
        QCOMPARE(copy->name, QStringLiteral("part_copy"));
        QCOMPARE(copy->mesh, source->mesh);
        // Each copy steps one more depth plus a 3 mm gap along +y.
        COMPARE_VEC(copy->translate, QVector3D(0, k * 11.0f, 0));
        copy->updateBounds();
        COMPARE_VEC(copy->boundMin, QVector3D(-5, -4 + k * 11.0f, 0));
    }
    QVERIFY2(!source->selected || m_manager->getSelectedModelIndex() == 0, "copying keeps the selection");
}

void TstModel::copyOfCopyNamesTwice()
{
    Model *source = add(makeModel(cube(10)));
    source->name = QStringLiteral("part");
    m_manager->copyModel(0);
    m_manager->copyModel(1);
    QCOMPARE(m_manager->models().last()->name, QStringLiteral("part_copy_copy"));
}

void TstModel::flipDetachesSharedMesh()
{
    Model *source = add(makeModel(box({1, 2, 0}, {4, 6, 8})));
    m_manager->copyModel(0);
    Model *copy = m_manager->models().at(1);
    QCOMPARE(copy->mesh, source->mesh);
    const QVector3D sourceMin = source->boundMin;
    const QVector3D copyMin = copy->boundMin;
    const QVector3D copyMax = copy->boundMax;

    copy->flip(1);
    QVERIFY2(copy->mesh != source->mesh, "a flipped copy gets a mesh of its own");
    source->updateBounds(true);
    COMPARE_VEC(source->boundMin, sourceMin);

    // Mirrored about its pivot (the origin here): x range negated, y and z kept.
    copy->updateBounds();
    COMPARE_VEC(copy->boundMin, QVector3D(-copyMax.x(), copyMin.y(), copyMin.z()));
    COMPARE_VEC(copy->boundMax, QVector3D(-copyMin.x(), copyMax.y(), copyMax.z()));
    QCOMPARE(copy->mesh->vertices.front().nx, -source->mesh->vertices.front().nx);
}

void TstModel::flipAboutZTurnsNormalModelOnly()
{
    Model *model = add(makeModel(cube(10)));
    Model *column = add(makeSupportOf(model, box({0, 0, 0}, {1, 1, 3})));
    model->rotate = QVector3D(10, 20, 30);
    column->rotate = QVector3D(10, 20, 30);
    const float columnZ = column->mesh->vertices.front().z;

    model->flip(3);
    COMPARE_VEC(model->rotate, QVector3D(-10, -20, 30));
    COMPARE_VEC(column->rotate, QVector3D(10, 20, 30));
    QCOMPARE(column->mesh->vertices.front().z, -columnZ);
}

void TstModel::destructionUnlinksAttachments()
{
    std::unique_ptr<Model> model(makeModel(cube(10)));
    auto *first = new Model(TYPE_SUPPORT);
    auto *second = new Model(TYPE_SUPPORT);
    auto *base = new Model(TYPE_BASE);
    for (Model *support : {first, second}) {
        support->owner = model.get();
        model->supports.push_back(support);
    }
    base->owner = model.get();
    model->base = base;

    delete first;
    QCOMPARE(model->supports.size(), size_t(1));
    QCOMPARE(model->supports.front(), second);
    delete base;
    QCOMPARE(model->base, nullptr);
    delete second;
    QVERIFY(model->supports.empty());
}

void TstModel::removeAllSupportsDeletesBaseAndColumns()
{
    Model *model = add(makeModel(cube(10)));
    for (int i = 0; i < 2; ++i) {
        add(makeSupportOf(model, box({0, 0, 0}, {1, 1, 3})));
    }
    Model *base = add(makeModel(box({-7, -7, 0}, {7, 7, 2}), TYPE_BASE));
    base->owner = model;
    model->base = base;

    m_manager->scene().removeAttachments(*model);
    QCOMPARE(m_manager->models().size(), 1);
    QCOMPARE(m_manager->models().first(), model);
    QVERIFY(model->supports.empty());
    QCOMPARE(model->base, nullptr);
}

QTEST_GUILESS_MAIN(TstModel)
#include "tst_model.moc"
