#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "supports/Support.h"
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

#define COMPARE_VEC(actual, expected)                                                                             \
    QVERIFY2(((actual) - (expected)).length() < 1e-4f,                                                            \
             QByteArray("got (" + text(actual) + "), expected (" + text(expected) + ")").constData())

} // namespace

// Base plates under the models, and how plates and supports are copied and removed.
class TstSupportBase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<KaloModel::ModelStatus>(); }
    void init() { m_manager = std::make_unique<KaloModel>(); }
    void cleanup() { m_manager.reset(); }

    void everyNormalModelGetsOnePlate();
    void plateOverhangsTheFootprint();
    void restingModelRisesOntoThePlate();
    void floatingModelKeepsItsHeight();
    void addingAgainReplacesThePlates();
    void noModelsSettlesTheStatus();
    void copyBringsPlateAndSupports();
    void removingPlatesAndSupports();

private:
    Model *load(const MeshPrimitiveData &mesh)
    {
        Model *model = makeModel(mesh);
        m_manager->addModel(model);
        m_manager->selectModel(model);
        return model;
    }
    // A finished support under owner at (x, y) whose tip is at height top (mm).
    CWS::Support *support(Model *owner, float x, float y, float top)
    {
        CWS::Support *column = m_manager->createSupport(x, y, top, owner);
        column->bakeInverseTransform();
        column->updateBounds(true);
        return column;
    }

    std::unique_ptr<KaloModel> m_manager;
};

void TstSupportBase::everyNormalModelGetsOnePlate()
{
    Model *first = load(cube(10));
    Model *second = load(box({20, 0, 0}, {30, 5, 5}));
    support(second, 25, 2, 3);
    QSignalSpy status(m_manager.get(), &KaloModel::modelStatusChanged);

    m_manager->addSupportBase(1);
    const QList<Model *> &models = m_manager->models();
    QCOMPARE(models.size(), 5);
    QCOMPARE(models.at(3), first->base);
    QCOMPARE(models.at(4), second->base);
    for (Model *model : {first, second}) {
        QCOMPARE(model->base->type, int(TYPE_BASE));
        QCOMPARE(model->base->owner, model);
        QCOMPARE(model->baseThickness, 1.0f);
        QCOMPARE(model->base->baseThickness, 1.0f);
        QVERIFY2(model->base->loaded && model->base->isNew, "a new plate is drawn, in red");
        QCOMPARE(model->base->mesh->vertices.size(), size_t(36));
        QCOMPARE(model->base->mesh->indices.size(), size_t(36));
    }
    QCOMPARE(status.count(), 1);
    const QList<QVariant> announced = status.first();
    QCOMPARE(announced.at(0).value<KaloModel::ModelStatus>(), KaloModel::MODEL_LOADED);
    QCOMPARE(announced.at(1).value<KaloModel::ModelStatus>(), KaloModel::MODEL_LOADED);
    QVERIFY2(announced.at(2).toBool(), "the selected model now has supports");
}

void TstSupportBase::plateOverhangsTheFootprint()
{
    Model *model = load(box({-5, -4, 0}, {5, 4, 6}));
    model->setTranslate(10, 3, 0);
    m_manager->addSupportBase(1.5f);
    Model *plate = model->base;
    plate->updateBounds();
    model->updateBounds();
    COMPARE_VEC(plate->boundMin, QVector3D(3, -3, 0));
    COMPARE_VEC(plate->boundMax, QVector3D(17, 9, 1.5f));
    QCOMPARE(plate->boundMax.x() - plate->boundMin.x(), model->boundMax.x() - model->boundMin.x() + 4);
    QCOMPARE(plate->boundMax.y() - plate->boundMin.y(), model->boundMax.y() - model->boundMin.y() + 4);
    QVERIFY2(qAbs(plate->volume - 14 * 12 * 1.5f / 1000) < 1e-5f, "the plate is a closed box facing outwards");

    // The plate goes where its model goes.
    m_manager->setSelectedModelTranslate(0, 0, model->translate.z());
    plate->updateBounds();
    COMPARE_VEC(plate->boundMin, QVector3D(-7, -6, 0));
}

void TstSupportBase::restingModelRisesOntoThePlate()
{
    Model *model = load(box({-5, -5, 0}, {5, 5, 10}));
    CWS::Support *column = support(model, 7, 0, 4);
    const QVector3D footBefore = column->modelMatrix().map(QVector3D(column->mesh->vertices[0].x,
                                                                     column->mesh->vertices[0].y,
                                                                     column->mesh->vertices[0].z));
    m_manager->addSupportBase(1);

    model->updateBounds();
    column->updateBounds();
    QCOMPARE(model->boundMin.z(), 1.0f);
    QCOMPARE(model->translate.z(), 1.0f);
    QVERIFY2(qAbs(column->boundMin.z()) < 1e-5f, "the support still stands on the platform");
    QVERIFY2(qFuzzyCompare(column->boundMax.z(), 5.0f), "and its tip rose with the model");
    const QVector3D footAfter = column->modelMatrix().map(QVector3D(column->mesh->vertices[0].x,
                                                                    column->mesh->vertices[0].y,
                                                                    column->mesh->vertices[0].z));
    COMPARE_VEC(footAfter, footBefore);
    model->base->updateBounds();
    QCOMPARE(model->base->boundMin.z(), 0.0f);
    QCOMPARE(model->base->boundMax.z(), 1.0f);
}

void TstSupportBase::floatingModelKeepsItsHeight()
{
    Model *model = load(cube(10));
    model->setTranslate(0, 0, 5);
    support(model, 0, 0, 5);
    m_manager->addSupportBase(1);
    model->updateBounds();
    QCOMPARE(model->boundMin.z(), 5.0f);
    model->base->updateBounds();
    QCOMPARE(model->base->boundMin.z(), 0.0f);
    QCOMPARE(model->base->boundMax.z(), 1.0f);
}

void TstSupportBase::addingAgainReplacesThePlates()
{
    Model *first = load(cube(10));
    Model *second = load(box({20, 0, 0}, {30, 5, 5}));
    m_manager->addSupportBase(1);
    m_manager->addSupportBase(2);
    QCOMPARE(m_manager->models().size(), 4);
    int plates = 0;
    for (Model *model : m_manager->models())
        plates += model->type == TYPE_BASE;
    QCOMPARE(plates, 2);
    QCOMPARE(first->baseThickness, 2.0f);
    first->updateBounds();
    second->updateBounds();
    QCOMPARE(first->boundMin.z(), 2.0f);
    QCOMPARE(second->boundMin.z(), 2.0f);
}

void TstSupportBase::noModelsSettlesTheStatus()
{
    QSignalSpy status(m_manager.get(), &KaloModel::modelStatusChanged);
    m_manager->addSupportBase(1);
    QVERIFY(m_manager->models().isEmpty());
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.first().at(1).value<KaloModel::ModelStatus>(), KaloModel::MODEL_INIT);
}

void TstSupportBase::copyBringsPlateAndSupports()
{
    Model *source = load(box({-5, -4, 0}, {5, 4, 10}));
    CWS::Support *a = support(source, 6, 0, 3);
    CWS::Support *b = support(source, -6, 0, 3);
    m_manager->addSupportBase(0.5f);
    const int before = m_manager->models().size();

    m_manager->copyModel(0);
    const QList<Model *> &models = m_manager->models();
    QCOMPARE(models.size(), before + 4);
    Model *copy = models.at(before);
    Model *plate = models.at(before + 1);
    QCOMPARE(copy->type, int(TYPE_NORMAL));
    QCOMPARE(plate->type, int(TYPE_BASE));
    QCOMPARE(copy->base, plate);
    QCOMPARE(plate->owner, copy);
    QCOMPARE(plate->baseThickness, 0.5f);
    QCOMPARE(copy->supports, (std::vector<Model *>{models.at(before + 2), models.at(before + 3)}));
    const int numberB = b->name.mid(8).toInt();
    QCOMPARE(models.at(before + 2)->name, QStringLiteral("Support_%1").arg(numberB + 1));
    QCOMPARE(models.at(before + 3)->name, QStringLiteral("Support_%1").arg(numberB + 2));

    // The copy stands beside the source, 12 mm deep with its plate plus a
    // 3 mm gap, on a plate of its own.
    copy->updateBounds();
    plate->updateBounds();
    QCOMPARE(copy->boundMin.z(), 0.5f);
    COMPARE_VEC(plate->boundMin, QVector3D(-7, 9, 0));
    COMPARE_VEC(plate->boundMax, QVector3D(7, 21, 0.5f));
    for (Model *column : copy->supports) {
        QCOMPARE(column->owner, copy);
        column->updateBounds();
        QVERIFY2(qAbs(column->boundMin.z()) < 1e-5f, "copied supports stand on the platform");
        QVERIFY2(column->boundMin.y() > 5, "beside the source's");
    }
    QCOMPARE(source->supports, (std::vector<Model *>{a, b}));
}

void TstSupportBase::removingPlatesAndSupports()
{
    Model *model = load(cube(10));
    Model *other = load(box({20, 0, 0}, {30, 5, 5}));
    CWS::Support *column = support(model, 6, 0, 3);
    m_manager->addSupportBase(1);
    Model *plate = model->base;

    // One support alone, selected and deleted.
    m_manager->selectModel(column);
    m_manager->deleteSelectedModel();
    QVERIFY(model->supports.empty());
    QVERIFY(m_manager->models().contains(plate));

    // No deleting while supports are added by hand.
    m_manager->setManualAddingSupport(true);
    m_manager->selectModel(plate);
    m_manager->deleteSelectedModel();
    QVERIFY(m_manager->models().contains(plate));
    m_manager->setManualAddingSupport(false);

    QSignalSpy status(m_manager.get(), &KaloModel::modelStatusChanged);
    m_manager->deleteSelectedModel();
    QCOMPARE(model->base, nullptr);
    m_manager->selectModel(model);
    QVERIFY2(!status.last().at(2).toBool(), "a model without plate or supports has no supports");

    // A model goes with its plate and supports.
    support(model, 6, 0, 3);
    m_manager->addSupportBase(1);
    m_manager->selectModel(model);
    m_manager->deleteSelectedModel();
    QCOMPARE(m_manager->models(), (QList<Model *>{other, other->base}));
}

QTEST_GUILESS_MAIN(TstSupportBase)
#include "tst_supportbase.moc"
