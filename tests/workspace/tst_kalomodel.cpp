#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "workspace/KaloModel.h"
#include "workspace/Picking.h"

#include "common/StlWriter.h"

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

// What a user sees of the scene: per model its type, place, size, turn,
// bounds and attachments by list position.
QString sceneText(const KaloModel &manager)
{
    const QList<Model *> &models = manager.models();
    QString text;
    const auto v = [](const QVector3D &p) {
        return QStringLiteral("(%1 %2 %3)").arg(p.x(), 0, 'f', 3).arg(p.y(), 0, 'f', 3).arg(p.z(), 0, 'f', 3);
    };
    for (Model *m : models) {
        m->updateBounds();
        const MeshVertex &first = m->mesh->vertices.front();
        text += v(QVector3D(first.x, first.y, first.z));
        QStringList supports;
        for (Model *s : m->supports)
            supports << QString::number(models.indexOf(s));
        QStringList holes;
        for (const DrainHole &h : m->hollowing.drainHoles)
            holes << v(h.position) + v(h.direction) + QString::number(h.diameterMm);
        text += QStringLiteral("%1 t%2 s%3 r%4 b%5-%6 owner %7 base %8 supports [%9]")
                    .arg(m->type)
                    .arg(v(m->translate), v(m->scale), v(m->rotate), v(m->boundMin), v(m->boundMax))
                    .arg(models.indexOf(m->owner))
                    .arg(models.indexOf(m->base))
                    .arg(supports.join(QLatin1Char(' ')));
        text += QStringLiteral(" wall %1 holes [%2]\n").arg(m->hollowing.wallMm).arg(holes.join(QLatin1Char(' ')));
    }
    return text;
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
    void undoRedoEachEdit_data();
    void undoRedoEachEdit();
    void historyKeepsHundredStepsAndSharesMeshes();
    void hollowingRefusalsAndCavityRemade();

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
    QCOMPARE(log.entries, QStringList{"data"}); // the figures count the copy
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

void TstKaloModel::undoRedoEachEdit_data()
{
    QTest::addColumn<QString>("edit");
    for (const char *edit : {"load", "delete", "move", "drag", "scale", "rotate", "flip", "copy", "layout",
                             "base plates", "manual support", "delete support", "remove supports", "hollow",
                             "make solid", "drain hole", "remove drain hole"})
        QTest::newRow(edit) << QString::fromLatin1(edit);
}

void TstKaloModel::undoRedoEachEdit()
{
    QFETCH(QString, edit);
    Model *model = load(cube(10));
    load(box({30, 0, 0}, {40, 5, 8}));
    attachSupport(*m_manager, model);
    if (edit.contains(QLatin1String("hole")) || edit == "make solid")
        model->hollowing = {2, {}, {{QVector3D(5, 0, 3), QVector3D(-1, 0, 0), 3}}};
    m_manager->selectModel(model);
    m_manager->markSaved();
    const QString before = sceneText(*m_manager);
    QVERIFY(!m_manager->modified());

    QTemporaryDir dir;
    if (edit == "load") {
        const QString path = dir.filePath(QStringLiteral("part.stl"));
        QVERIFY(StlWriter::write(path, cube(4), StlWriter::Binary));
        QVERIFY(m_manager->loadModel(QUrl::fromLocalFile(path)));
    } else if (edit == "delete") {
        m_manager->deleteSelectedModel();
    } else if (edit == "move") {
        m_manager->setSelectedModelTranslate(12, -7, 3);
    } else if (edit == "drag") {
        m_manager->onMousePressed(1, 0, 0);
        for (int step = 0; step < 5; ++step)
            m_manager->dragBy(*model, QVector3D(2, 1, 0));
        m_manager->onMouseReleased(1, 0, 0);
    } else if (edit == "scale") {
        m_manager->setSelectedModelScale(2, 1, 0.5f);
    } else if (edit == "rotate") {
        m_manager->setSelectedModelRotate(0, 30, 45);
    } else if (edit == "flip") {
        m_manager->flip(1);
    } else if (edit == "copy") {
        m_manager->copyModel(0);
    } else if (edit == "layout") {
        m_manager->autoLayoutModel();
    } else if (edit == "base plates") {
        m_manager->addSupportBase(1.5f);
    } else if (edit == "manual support") {
        PickHit hit;
        hit.object = model;
        hit.point = QVector3D(2, 2, 10);
        hit.normal = QVector3D(0, 0, -1);
        // The straight column: a tipped one finds the cube's own material under the point.
        KaloConfig::instance()->supportConfig()->setMode(CWS::SupportConfig::IslandsOnly);
        m_manager->addSupportUnder(hit);
        KaloConfig::instance()->supportConfig()->setMode(CWS::SupportConfig::IslandsAndOverhangs);
    } else if (edit == "remove supports") {
        QVERIFY(m_manager->removeSupports());
        QVERIFY2(model->supports.empty(), "the model's columns are gone");
    } else if (edit == "delete support") {
        m_manager->selectModel(model->supports.front());
        m_manager->deleteSelectedModel();
    } else if (edit == "hollow") {
        m_manager->hollowSelected(3);
    } else if (edit == "make solid") {
        m_manager->hollowSelected(0);
        QVERIFY2(m_manager->drainHoleList().isEmpty(), "a solid model has no drain holes");
    } else if (edit == "drain hole") {
        m_manager->setDrainHoleDiameter(2.5f);
        PickHit hit;
        hit.object = model;
        hit.point = QVector3D(0, 5, 4);
        hit.normal = QVector3D(0, 1, 0);
        m_manager->addDrainHoleAt(hit);
        QCOMPARE(m_manager->drainHoleList().last().toMap().value(QStringLiteral("text")).toString(),
                 QStringLiteral("2.5 mm at 0.0, 5.0, 4.0"));
    } else if (edit == "remove drain hole") {
        m_manager->removeDrainHole(0);
    }
    const QString after = sceneText(*m_manager);
    QVERIFY2(after != before, "the edit should change the scene");
    QVERIFY(m_manager->modified());

    QVERIFY(m_manager->undo());
    QCOMPARE(sceneText(*m_manager), before);
    QVERIFY2(!m_manager->modified(), "back at the saved state");
    QVERIFY2(!m_manager->undo(), "one edit is one step");
    QVERIFY(m_manager->redo());
    QCOMPARE(sceneText(*m_manager), after);
    QVERIFY(m_manager->modified());
    QVERIFY(!m_manager->redo());
}

void TstKaloModel::historyKeepsHundredStepsAndSharesMeshes()
{
    Model *model = load(cube(10));
    std::weak_ptr<MeshPrimitiveData> mesh = model->mesh;
    m_manager->deleteSelectedModel();
    QVERIFY2(!mesh.expired(), "the delete step keeps the model's mesh");
    QVERIFY(m_manager->undo());
    QCOMPARE(m_manager->models().size(), 1);
    model = m_manager->models().front();
    QCOMPARE(model->mesh, mesh.lock());
    QVERIFY2(model->vbo == 0 && !model->buffersValid, "a model back from the history gets new GL buffers");

    m_manager->selectModel(model);
    m_manager->deleteSelectedModel();
    for (int step = 0; step < SceneHistory::maxSteps + 5; ++step) {
        load(cube(2));
        m_manager->setSelectedModelTranslate(0, float(step), 0);
    }
    QVERIFY2(mesh.expired(), "the deleted model is gone once its step leaves the history");
    int undone = 0;
    while (m_manager->undo())
        ++undone;
    QCOMPARE(undone, SceneHistory::maxSteps);
}

void TstKaloModel::hollowingRefusalsAndCavityRemade()
{
    Model *model = load(cube(10));
    QSignalSpy notices(m_manager.get(), &KaloModel::notice);
    QSignalSpy changes(m_manager.get(), &KaloModel::hollowingChanged);
    PickHit hit;
    hit.object = model;
    hit.point = QVector3D(0, 5, 4);
    hit.normal = QVector3D(0, 1, 0);
    m_manager->addDrainHoleAt(hit);
    QCOMPARE(notices.takeLast().at(0).toString(), QStringLiteral("Hollow the model before adding drain holes"));
    QVERIFY2(model->hollowing.drainHoles.empty(), "a solid model takes no hole");

    m_manager->clearSelection(true);
    m_manager->hollowSelected(2);
    QCOMPARE(notices.takeLast().at(0).toString(), QStringLiteral("Select a model first"));
    QVERIFY(!model->hollowing.isHollow());

    // The cavity is made in the background, and again after a scale, but a
    // move keeps it.
    // Drain holes asked for before the cavity is made come once it is.
    m_manager->selectModel(model);
    m_manager->hollowSelected(2);
    QCOMPARE(m_manager->selectedWall(), 2.0f);
    m_manager->addDrainHolesAuto();
    QVERIFY2(changes.wait(10000) && model->cavityFits(), "the cavity follows the wall");
    QVERIFY2(!model->hollowing.drainHoles.empty()
                 || notices.takeLast().at(0).toString() == QStringLiteral("Add drain holes: no enclosed hollow needs one"),
             "the holes, or word that none is needed");
    m_manager->setSelectedModelScale(1.5f, 1.5f, 1.5f);
    QVERIFY(!model->cavityFits());
    QVERIFY2(changes.wait(10000) && model->cavityFits(), "and the scale");
    const auto cavity = model->cavity.mesh;
    m_manager->setSelectedModelTranslate(4, 4, 0);
    QVERIFY2(model->cavityFits() && model->cavity.mesh == cavity, "a move keeps the cavity");
}

QTEST_GUILESS_MAIN(TstKaloModel)
#include "tst_kalomodel.moc"
