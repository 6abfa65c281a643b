#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "workspace/KaloModel.h"

#include <QtTest>

#include <memory>

using namespace TestMeshes;

namespace {

// Records the manager's signals as short texts, in the order they arrive.
class SignalLog : public QObject
{
public:
    explicit SignalLog(KaloModel *manager)
    {
        connect(manager, &KaloModel::kaloModelDataChanged, this, [this] { entries << QStringLiteral("data"); });
        connect(manager, &KaloModel::modelSelectionChanged, this,
                [this](int index) { entries << QStringLiteral("selection %1").arg(index); });
        connect(manager, &KaloModel::modelStatusChanged, this,
                [this](KaloModel::ModelStatus pre, KaloModel::ModelStatus now, bool haveSupports, bool isNormal) {
                    entries << QStringLiteral("status %1 %2 %3 %4")
                                   .arg(int(pre))
                                   .arg(int(now))
                                   .arg(int(haveSupports))
                                   .arg(int(isNormal));
                });
    }
    QStringList entries;
};

Model *attachSupport(KaloModel &manager, Model *owner)
{
    Model *column = makeSupportOf(owner, box({0, 0, 0}, {1, 1, 3}));
    manager.addModel(column);
    return column;
}

} // namespace

class TstKaloModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_manager = std::make_unique<KaloModel>(); }
    void cleanup() { m_manager.reset(); }

    void firstSelectionLeavesInit();
    void deletingLastModelReturnsToInit();
    void statusOnEmptySceneStaysInit();
    void clearSelectionReportsNoSelection();
    void selectionReportsSupportsAndType();
    void deleteRulesPerStatus_data();
    void deleteRulesPerStatus();
    void deletingModelRemovesItsSupports();
    void copyRefusals();
    void copyBringsSupports();
    void transformCommandsNeedSelection();
    void transformCommandsEditSelection();
    void moveToBottomRestsSelection();
    void infoAndTotalVolume();
    void layerCount_data();
    void layerCount();
    void checkPrintListsFindingsAndOpensTheirLayer();

private:
    Model *load(const MeshPrimitiveData &mesh)
    {
        Model *model = makeModel(mesh);
        m_manager->addModel(model);
        m_manager->selectModel(model);
        return model;
    }

    std::unique_ptr<KaloModel> m_manager;
};

void TstKaloModel::firstSelectionLeavesInit()
{
    SignalLog log(m_manager.get());
    Model *model = makeModel(cube(10));
    m_manager->addModel(model);
    QCOMPARE(m_manager->status(), KaloModel::MODEL_INIT);

    m_manager->selectModel(model);
    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
    QCOMPARE(log.entries, QStringList({"status 1 1 0 1", "selection 0", "data"}));
    QCOMPARE(m_manager->getSelectedModelIndex(), 0);
    QVERIFY2(!model->isNew, "a selected model is no longer new");
}

void TstKaloModel::deletingLastModelReturnsToInit()
{
    load(cube(10));
    SignalLog log(m_manager.get());
    m_manager->deleteSelectedModel();
    QVERIFY(m_manager->models().isEmpty());
    QCOMPARE(m_manager->status(), KaloModel::MODEL_INIT);
    QCOMPARE(log.entries, QStringList({"data", "status 1 0 0 0"}));
}

void TstKaloModel::statusOnEmptySceneStaysInit()
{
    SignalLog log(m_manager.get());
    m_manager->setModelStatus(int(KaloModel::MODEL_SLICING));
    QCOMPARE(m_manager->status(), KaloModel::MODEL_INIT);
    QVERIFY2(log.entries.isEmpty(), "no change, no signal");

    m_manager->setModelStatus(KaloModel::MODEL_SLICING, true);
    QCOMPARE(log.entries, QStringList({"status 0 0 0 0"}));
}

void TstKaloModel::clearSelectionReportsNoSelection()
{
    load(cube(10));
    SignalLog log(m_manager.get());
    m_manager->clearSelection(true);
    QCOMPARE(log.entries, QStringList({"status 1 1 0 0", "selection -1", "data"}));
    QCOMPARE(m_manager->getSelectedModelIndex(), -1);
    QCOMPARE(m_manager->selectedModel(), nullptr);
}

void TstKaloModel::selectionReportsSupportsAndType()
{
    Model *model = load(cube(10));
    Model *column = attachSupport(*m_manager, model);
    SignalLog log(m_manager.get());

    m_manager->selectModel(model);
    m_manager->selectModel(column);
    QCOMPARE(log.entries, QStringList({"status 1 1 1 1", "selection 0", "data", "status 1 1 0 0", "selection 1",
                                       "data"}));
}

void TstKaloModel::deleteRulesPerStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("selectSupport");
    QTest::addColumn<int>("modelsLeft");

    // Scene: one model with one support column (2 entries).
    QTest::newRow("loaded, model") << int(KaloModel::MODEL_LOADED) << false << 0;
    QTest::newRow("loaded, support") << int(KaloModel::MODEL_LOADED) << true << 1;
    QTest::newRow("slicing") << int(KaloModel::MODEL_SLICING) << false << 2;
    QTest::newRow("generating supports") << int(KaloModel::MODEL_AUTO_GEN_SUPPORT) << true << 2;
    QTest::newRow("preview, model refused") << int(KaloModel::MODEL_SHOW_SLICE) << false << 2;
    QTest::newRow("preview, support removed") << int(KaloModel::MODEL_SHOW_SLICE) << true << 1;
}

void TstKaloModel::deleteRulesPerStatus()
{
    QFETCH(int, status);
    QFETCH(bool, selectSupport);
    QFETCH(int, modelsLeft);

    Model *model = load(cube(10));
    Model *column = attachSupport(*m_manager, model);
    if (selectSupport)
        m_manager->selectModel(column);
    m_manager->setModelStatus(status);

    m_manager->deleteSelectedModel();
    QCOMPARE(m_manager->models().size(), modelsLeft);
    if (selectSupport && modelsLeft == 1) {
        QCOMPARE(m_manager->models().first(), model);
        QVERIFY2(model->supports.empty(), "the owner forgets a deleted support");
    }
}

void TstKaloModel::deletingModelRemovesItsSupports()
{
    Model *first = load(cube(10));
    attachSupport(*m_manager, first);
    attachSupport(*m_manager, first);
    Model *second = makeModel(cube(5));
    m_manager->addModel(second);
    m_manager->selectModel(first);

    m_manager->deleteSelectedModel();
    QCOMPARE(m_manager->models(), QList<Model *>{second});
    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
}

void TstKaloModel::copyRefusals()
{
    Model *model = load(cube(10));
    attachSupport(*m_manager, model);

    m_manager->copyModel(-1);
    m_manager->copyModel(2);
    m_manager->copyModel(1); // a support
    QCOMPARE(m_manager->models().size(), 2);
}

void TstKaloModel::copyBringsSupports()
{
    Model *model = load(cube(10));
    attachSupport(*m_manager, model);
    attachSupport(*m_manager, model);
    SignalLog log(m_manager.get());

    m_manager->copyModel(0);
    const QList<Model *> &models = m_manager->models();
    QCOMPARE(models.size(), 6);
    Model *copy = models.at(3);
    QCOMPARE(copy->type, int(TYPE_NORMAL));
    QCOMPARE(copy->supports, (std::vector<Model *>{models.at(4), models.at(5)}));
    for (Model *column : copy->supports) {
        QCOMPARE(column->owner, copy);
        QCOMPARE(column->translate, copy->translate);
        QVERIFY2(column->mesh != model->supports.front()->mesh, "support copies own their mesh");
    }
    QVERIFY2(log.entries.isEmpty(), "copying emits nothing");
    QCOMPARE(m_manager->getSelectedModelIndex(), 0);
}

void TstKaloModel::transformCommandsNeedSelection()
{
    QCOMPARE(m_manager->getSelectedModelTranslate(), QStringList({"0", "0", "0"}));
    QCOMPARE(m_manager->getSelectedModelScale(), QStringList({"1", "1", "1"}));
    QCOMPARE(m_manager->getSelectedModelRotate(), QStringList({"0", "0", "0"}));
    QCOMPARE(m_manager->getSelectedModelInfo(), QStringList({"0.00", "0.00", "0.00", "0.00"}));
    QCOMPARE(m_manager->moveToBottom(), 0.0f);
    m_manager->setSelectedModelTranslate(1, 2, 3); // must not fail
    m_manager->flip(1);
}

void TstKaloModel::transformCommandsEditSelection()
{
    Model *model = load(cube(10));
    Model *column = attachSupport(*m_manager, model);
    m_manager->selectModel(model);
    SignalLog log(m_manager.get());

    m_manager->setSelectedModelTranslate(1.5f, -2, 0.25f);
    m_manager->setSelectedModelScale(2, 1, 0.5f);
    m_manager->setSelectedModelRotate(0, 0, 45);
    QCOMPARE(log.entries, QStringList({"data", "data", "data"}));
    QCOMPARE(m_manager->getSelectedModelTranslate(), QStringList({"1.5", "-2", "0.25"}));
    QCOMPARE(m_manager->getSelectedModelScale(), QStringList({"2", "1", "0.5"}));
    QCOMPARE(m_manager->getSelectedModelRotate(), QStringList({"0", "0", "45"}));
    QCOMPARE(column->translate, QVector3D(1.5f, -2, 0.25f));
    QCOMPARE(column->scale, QVector3D(1, 1, 1));

    model->updateBounds();
    QCOMPARE(model->boundMax.z() - model->boundMin.z(), 5.0f);
}

void TstKaloModel::moveToBottomRestsSelection()
{
    Model *model = load(cube(10));
    m_manager->setSelectedModelTranslate(0, 0, 12);
    QCOMPARE(m_manager->moveToBottom(), 0.0f);
    model->updateBounds();
    QCOMPARE(model->boundMin.z(), 0.0f);
}

void TstKaloModel::infoAndTotalVolume()
{
    load(box({0, 0, 0}, {10, 20, 5}));
    Model *column = attachSupport(*m_manager, m_manager->models().first());
    QCOMPARE(m_manager->getSelectedModelInfo(), QStringList({"10.00", "20.00", "5.00", "1.00"}));
    QVERIFY2(qAbs(m_manager->getTotalVolume() - (1.0f + column->volume)) < 1e-6f,
             "the total counts supports too");
}

void TstKaloModel::layerCount_data()
{
    QTest::addColumn<float>("height");
    QTest::addColumn<int>("layers");

    // At 50 µm a layer counts when its mid-height is at or below the top.
    QTest::newRow("10 mm cube") << 10.0f << 200;
    QTest::newRow("below first mid-height") << 0.024f << 0;
    QTest::newRow("at first mid-height") << 0.025f << 1;
    QTest::newRow("just over one layer") << 0.06f << 1;
    QTest::newRow("empty plate") << 0.0f << 0;
}

void TstKaloModel::layerCount()
{
    QFETCH(float, height);
    QFETCH(int, layers);
    if (height > 0)
        load(box({0, 0, 0}, {1, 1, height}));
    QCOMPARE(m_manager->calcNumSlices(), layers);
    if (height > 0)
        QCOMPARE(m_manager->calcNumSlices(m_manager->models().first()), layers);
}

void TstKaloModel::checkPrintListsFindingsAndOpensTheirLayer()
{
    // A block floating 2 mm above another, the check asked for twice: only the newest reports.
    MeshPrimitiveData stack = box({-5, -5, 0}, {5, 5, 5});
    const MeshPrimitiveData top = box({-3, -3, 7}, {3, 3, 10});
    for (uint32_t index : top.indices)
        stack.indices.push_back(uint32_t(stack.vertices.size()) + index);
    stack.vertices.insert(stack.vertices.end(), top.vertices.begin(), top.vertices.end());
    load(stack);
    QSignalSpy done(m_manager.get(), &KaloModel::printCheckDone);
    QSignalSpy chosen(m_manager.get(), &KaloModel::findingLayerChosen);
    m_manager->checkPrint();
    m_manager->checkPrint();
    QVERIFY2(done.wait(60000), "the check ends");
    QTest::qWait(50);
    QCOMPARE(done.count(), 1);
    QCOMPARE(m_manager->printCheckCounts(), QStringLiteral("1 island"));
    QCOMPARE(m_manager->printCheckList().first().toMap().value("firstLayer").toInt(), 140);

    m_manager->showFinding(0);
    QCOMPARE(m_manager->status(), KaloModel::MODEL_SHOW_SLICE);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().first().toInt(), 140);
}

QTEST_GUILESS_MAIN(TstKaloModel)
#include "tst_kalomodel.moc"
