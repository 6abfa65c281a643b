#include "workspace/KaloModel.h"

#include "geometry/MeshImport.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/Cavity.h"
#include "slicing/PlacedMesh.h"
#include "slicing/FindingImage.h"
#include "slicing/PrintCheckRun.h"
#include "slicing/PrintTime.h"
#include "supports/OverhangPlanner.h"
#include "supports/Support.h"
#include "supports/VerticalRays.h"
#include "workspace/Picking.h"
#include "workspace/ProjectObjects.h"

#include <QDebug>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <utility>

namespace {
KaloModel *g_instance = nullptr;
}

KaloModel::KaloModel(QObject *parent)
    : QObject(parent)
{
    g_instance = this;
    connect(&m_run, &SceneRun::progress, this, &KaloModel::updateSliceProgress);
    connect(&m_run, &SceneRun::supportFound, this, &KaloModel::autoAddSupport);
    connect(&m_run, &SceneRun::supportPlaced, this, &KaloModel::autoPlaceSupport);
    connect(&m_run, &SceneRun::supportImpossible, this, [this](const CWS::UnsupportedRegion &r, Model *model) {
        m_unsupported << QStringLiteral("%1: %2, %3, %4 mm: %5")
                             .arg(model->name)
                             .arg(r.extent.center().x(), 0, 'f', 2)
                             .arg(r.extent.center().y(), 0, 'f', 2)
                             .arg(double(r.lowest.z()), 0, 'f', 2)
                             .arg(QString::fromLatin1(r.reason));
        m_unsupportedRegions.add(*model, r);
    });
    // An edit of a model takes its unsupported regions off the list.
    connect(this, &KaloModel::kaloModelDataChanged, this, [this] {
        if (m_unsupportedRegions.prune(models()))
            showFindings(m_found);
    });
    connect(&m_run, &SceneRun::modelStarted, this, &KaloModel::selectModel);
    // Every edit shows: one that leaves a hollow model's cavity stale starts a new one.
    connect(this, &KaloModel::kaloModelDataChanged, &m_cavities, &CavityBuilds::refresh);
    connect(&m_cavities, &CavityBuilds::built, this, [this](Model *model) {
        Q_EMIT hollowingChanged();
        Q_EMIT kaloModelDataChanged();
        if (model == std::exchange(m_drainHolesDue, nullptr))
            addDrainHolesTo(*model);
    });
    connect(&m_run, &SceneRun::finished, this, [this](const QString &event) {
        if (event == QLatin1String("slice"))
            sliceFinished();
        else
            autoGenSupportFinished();
    });
}

KaloModel::~KaloModel()
{
    g_instance = nullptr;
    qDebug() << QThread::currentThreadId() << "KaloModel::~KaloModel()";
    // A run still going is cancelled and waited for: its jobs read the models.
    m_run.disconnect(this);
    m_run.cancel();
    m_check.reset();
    qDebug() << "KaloModel::~KaloModel() end";
    // Every model goes with the scene; their GL buffers go with the context.
}

KaloModel *KaloModel::instance()
{
    return g_instance;
}

QVector3D KaloModel::buildVolume()
{
    const DeviceDescriptor device = settings().printer().device();
    const QVector3D volume(device.x, device.y, device.z);
    // Asked whenever the view is drawn: a printer chosen meanwhile rescales it.
    if (volume != m_buildVolume) {
        m_buildVolume = volume;
        m_view.setBuildVolume(volume);
    }
    return volume;
}

KaloConfig &KaloModel::settings()
{
    return *KaloConfig::instance();
}

bool KaloModel::refusedWhileRunning(const char *what)
{
    if (!m_run.running())
        return false;
    qDebug() << what << "refused: a slicing run or the support generator is going";
    Q_EMIT notice(tr("Not while %1: %2 waits until the run ends (Escape cancels it)")
                      .arg(m_status == MODEL_AUTO_GEN_SUPPORT ? tr("generating supports") : tr("slicing"),
                           QString::fromLatin1(what)));
    return true;
}

void KaloModel::setModelStatus(int status)
{
    setModelStatus(ModelStatus(status), false);
}

void KaloModel::setModelStatus(ModelStatus status, bool force)
{
    if (m_scene.isEmpty())
        status = MODEL_INIT;
    if (!force && status == m_status)
        return;
    const ModelStatus previous = m_status;
    m_status = status;
    emitStatus(previous);
}

void KaloModel::emitStatus(ModelStatus previous)
{
    const Model *selected = selectedModel();
    const bool haveSupports = selected && (selected->base || !selected->supports.empty());
    const bool isNormalType = selected && selected->type == TYPE_NORMAL;
    Q_EMIT modelStatusChanged(previous, m_status, haveSupports, isNormalType);
    Q_EMIT statusChanged();
}

bool KaloModel::loadModel(const QUrl &url, QString *problem)
{
    if (refusedWhileRunning("load"))
        return false;
    qDebug() << QThread::currentThreadId() << "KaloModel::loadModel " << url;
    // A model joins the scene as it stands, not cut away.
    if (m_status == MODEL_SHOW_SLICE)
        setShowSliceEnable(false);
    if (m_status > MODEL_LOADED) {
        qDebug() << "invalid status for load" << m_status;
        return false;
    }
    if (!MeshImport::isModelFile(url.fileName())) {
        qDebug() << "ERROR: unsupported file type:" << url.fileName();
        const QString reason = QStringLiteral("only %1 models and kalo3d projects (.kalo3d) load")
                                   .arg(MeshImport::formatNames());
        Q_EMIT criticalMessage(QStringLiteral("load modal failed!\n%1: %2").arg(url.fileName(), reason));
        if (problem)
            *problem = reason;
        return false;
    }

    auto *model = new Model(TYPE_NORMAL);
    QString reason;
    if (!model->load(url, m_smoothNormalMode, false, &reason)) {
        qDebug() << "load failed";
        delete model;
        // The user learns which file failed and why, under the usual heading.
        Q_EMIT criticalMessage(QStringLiteral("load model failed!\n%1: %2").arg(url.fileName(), reason));
        if (problem)
            *problem = reason;
        return false;
    }
    remember();
    addModel(model);
    selectModel(model);
    return true;
}

bool KaloModel::loadObjects(ProjectObjects &objects)
{
    if (refusedWhileRunning("load"))
        return false;
    if (m_status == MODEL_SHOW_SLICE)
        setShowSliceEnable(false);
    if (m_status > MODEL_LOADED) {
        qDebug() << "invalid status for load" << m_status;
        return false;
    }
    const size_t count = objects.objects.size();
    remember();
    const std::vector<Model *> added = objects.releaseLinked();
    for (Model *model : added)
        addModel(model);
    qDebug() << "read models:" << count << "actual" << added.size();
    setModelStatus(MODEL_LOADED);
    clearSelection(true);
    Q_EMIT kaloModelDataChanged();
    return true;
}

void KaloModel::addModel(Model *model)
{
    m_scene.add(model);
    m_preview.adopt(m_scene.models());
}

void KaloModel::removeModel(Model *model)
{
    m_view.forget(model);
    m_scene.remove(model);
}

void KaloModel::selectModel(Model *model)
{
    if (!model)
        return;
    m_scene.select(model);
    const int index = m_scene.indexOf(model);
    if (index < 0)
        return;
    if (m_status == MODEL_INIT)
        m_status = MODEL_LOADED;
    setModelStatus(m_status, true);
    Q_EMIT modelSelectionChanged(index);
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::clearSelection(bool emitSignals)
{
    m_scene.clearSelection();
    if (emitSignals) {
        setModelStatus(m_status, true);
        Q_EMIT modelSelectionChanged(-1);
        Q_EMIT kaloModelDataChanged();
    }
}

Model *KaloModel::selectedModel() const
{
    return m_scene.selected();
}

int KaloModel::getSelectedModelIndex()
{
    const Model *selected = selectedModel();
    return selected ? m_scene.indexOf(selected) : -1;
}

void KaloModel::autoLayoutModel(int sel)
{
    if (refusedWhileRunning("layout"))
        return;
    qDebug() << "autoLayoutModel" << sel;
    // The view and the panels show the models where they now stand.
    remember();
    if (m_editor.layout(settings().lcdSpec())) {
        Q_EMIT kaloModelDataChanged();
    } else {
        m_history.forgetLast();
        Q_EMIT historyChanged();
        Q_EMIT notice(tr("Layout: the models do not fit on the platform side by side; nothing was moved"));
    }
}

void KaloModel::deleteSelectedModel()
{
    if (refusedWhileRunning("delete"))
        return;
    qDebug() << "delete the selected Model";
    if (m_status != MODEL_LOADED && m_status != MODEL_SHOW_SLICE) {
        qDebug() << "not in status MODEL_LOADED, do nothing";
        return;
    }
    Model *model = selectedModel();
    if (!model) {
        Q_EMIT notice(tr("Delete: select a model or support first"));
        return;
    }
    if (m_manualAddingSupport) {
        qDebug() << "forbid del model when add support manually";
        Q_EMIT notice(tr("Delete: not while adding supports manually"));
        return;
    }
    if (m_status == MODEL_SHOW_SLICE && model->type == TYPE_NORMAL) {
        qDebug() << "forbid del normal model when show 3d slice";
        Q_EMIT notice(tr("Delete: switch the slice preview off to delete a model"));
        return;
    }
    remember();
    m_view.forget(model);
    m_editor.remove(model);
    Q_EMIT kaloModelDataChanged();
    if (m_scene.isEmpty())
        setModelStatus(MODEL_INIT, false);
    else
        clearSelection(true); // nothing is selected now: the editing buttons follow
}

void KaloModel::remember()
{
    m_history.record();
    Q_EMIT historyChanged();
}

bool KaloModel::undo()
{
    if (refusedWhileRunning("undo") || m_status > MODEL_LOADED || !m_history.canUndo())
        return false;
    for (Model *model : models())
        m_view.forget(model);
    m_history.undo();
    afterHistoryMove();
    return true;
}

bool KaloModel::redo()
{
    if (refusedWhileRunning("redo") || m_status > MODEL_LOADED || !m_history.canRedo())
        return false;
    for (Model *model : models())
        m_view.forget(model);
    m_history.redo();
    afterHistoryMove();
    return true;
}

void KaloModel::afterHistoryMove()
{
    m_preview.adopt(models());
    m_status = m_scene.isEmpty() ? MODEL_INIT : MODEL_LOADED;
    clearSelection(true);
    Q_EMIT historyChanged();
    Q_EMIT hollowingChanged();
    m_drainHolesDue = nullptr;
}

void KaloModel::markSaved()
{
    m_history.markSaved();
    Q_EMIT historyChanged();
}

bool KaloModel::newScene()
{
    if (refusedWhileRunning("new"))
        return false;
    if (m_preview.active())
        setShowSliceEnable(false);
    for (Model *model : models())
        m_view.forget(model);
    m_scene.replaceModels({});
    m_history.clear();
    m_history.markSaved();
    afterHistoryMove();
    Q_EMIT kaloModelDataChanged();
    return true;
}

void KaloModel::clearHistory()
{
    m_history.clear();
    Q_EMIT historyChanged();
}

void KaloModel::copyModel(int n)
{
    if (refusedWhileRunning("copy"))
        return;
    if (n < 0 || n >= models().size()) {
        qWarning() << "KaloModel::copyModel input out of range:" << n;
        return;
    }
    Model *source = models().at(n);
    if (source->type != TYPE_NORMAL) {
        qWarning() << "only normal model can be copyed";
        return;
    }
    remember();
    m_editor.copy(*source);
    m_preview.adopt(models());
    Q_EMIT kaloModelDataChanged();
}

float KaloModel::getTotalVolume()
{
    double total = 0;
    for (Model *model : models()) {
        model->updateBounds();
        total += double(model->volume);
    }
    return float(total);
}

QStringList KaloModel::getSelectedModelInfo()
{
    const Model *model = selectedModel();
    if (!model)
        return {QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("0.00")};
    const QVector3D size = model->boundMax - model->boundMin;
    return {QString::number(size.x(), 'f', 2), QString::number(size.y(), 'f', 2),
            QString::number(size.z(), 'f', 2), QString::number(model->volume, 'f', 2)};
}

int KaloModel::calcNumSlices(Model *model)
{
    m_layerThickness = settings().buildConfig()->layerThickness;
    return CWS::PlacedMesh::layerCount(model ? QList<Model *>{model} : models(), m_layerThickness);
}

QString KaloModel::nothingToSlice()
{
    if (m_scene.isEmpty())
        return tr("Nothing to slice: the scene is empty. Load a model first.");
    if (printLayers() == 0)
        return tr("Nothing to slice: no part of the models lies above the plate.");
    return QString();
}

int KaloModel::printLayers()
{
    float top = 0;
    for (Model *model : models()) {
        const float drop = model->floatHeight();
        top = std::max(top, model->boundMax.z() - drop);
    }
    return CWS::PlacedMesh::layerCount(top, settings().buildConfig()->layerThickness);
}

void KaloModel::sliceTo(const QString &archivePath)
{
    qDebug() << QThread::currentThreadId() << "KaloModel::startSlice " << archivePath;
    if (m_status == MODEL_AUTO_GEN_SUPPORT || refusedWhileRunning("slice"))
        return;
    const QString refusal = nothingToSlice();
    if (!refusal.isEmpty()) {
        Q_EMIT criticalMessage(refusal);
        return;
    }
    // The archive holds the whole models, whatever layer the preview showed.
    if (m_preview.active())
        setShowSliceEnable(false);
    setModelStatus(MODEL_SLICING);
    for (Model *model : models())
        model->settleIfFloating();
    clearSelection(true);
    m_sliceCancelled = false;
    m_sliceCount = calcNumSlices();
    m_run.prepareSlicing(models(), m_sliceCount, archivePath, settings());
    m_run.start();
}

void KaloModel::sliceFinished()
{
    setModelStatus(MODEL_LOADED);
    const bool failed = !m_run.sliceError().isEmpty();
    if (failed)
        Q_EMIT criticalMessage(m_run.sliceError());
    else if (m_sliceCancelled && !m_run.sliceCompleted())
        Q_EMIT notice(tr("Slicing cancelled"));
    if (m_run.sliceCompleted()) {
        // The run checked the layers it wrote: they replace the last check's list.
        if (m_check)
            m_check->disconnect(this);
        m_check.reset();
        showFindings(m_run.findings());
    }
    // A failed run ends like a cancelled one: no completion dialog.
    Q_EMIT sliceCompletedProgress(1.1f, m_sliceCancelled || failed, QStringLiteral("slice"));
}

void KaloModel::updateSliceProgress(int layers, QString event)
{
    if (layers < m_sliceCount)
        Q_EMIT sliceCompletedProgress(float(layers) / float(m_sliceCount), m_sliceCancelled, event);
}

QString KaloModel::getSliceCostTime()
{
    return m_run.cost().toString(Qt::TextDate);
}

int KaloModel::sliceNumber()
{
    return m_sliceCount;
}

QString KaloModel::getPrintTime()
{
    const int layers = printLayers();
    return CWS::durationText(CWS::printTimeMs(layers, *settings().buildConfig(), settings().buildHeightMm()));
}

void KaloModel::cancleSlice()
{
    qDebug() << "cancle slice";
    m_sliceCancelled = true;
    m_run.cancel();
}

bool KaloModel::getCancleSlice()
{
    return m_sliceCancelled;
}

Model *KaloModel::selectionToEdit(const char *what)
{
    if (refusedWhileRunning(what))
        return nullptr;
    Model *model = selectedModel();
    if (!model)
        qWarning() << "no model selected";
    else
        remember();
    return model;
}

void KaloModel::setSelectedModelTranslate(float x, float y, float z)
{
    if (Model *model = selectionToEdit("move")) {
        m_editor.moveTo(*model, QVector3D(x, y, z));
        Q_EMIT kaloModelDataChanged();
    }
}

float KaloModel::moveToBottom()
{
    qDebug() << "KaloModel::moveToBottom";
    Model *model = selectionToEdit("move to bottom");
    if (!model)
        return 0;
    const float z = m_editor.dropToFloor(*model);
    Q_EMIT kaloModelDataChanged();
    return z;
}

void KaloModel::setSelectedModelScale(float x, float y, float z)
{
    if (Model *model = selectionToEdit("scale")) {
        m_editor.scale(*model, QVector3D(x, y, z));
        Q_EMIT kaloModelDataChanged();
    }
}

void KaloModel::setSelectedModelRotate(float x, float y, float z)
{
    if (Model *model = selectionToEdit("rotate")) {
        m_editor.rotate(*model, QVector3D(x, y, z));
        Q_EMIT kaloModelDataChanged();
    }
}

QStringList KaloModel::selectedVector(const char *what, float fallback, QVector3D Model::*field)
{
    qDebug() << what;
    const Model *model = selectedModel();
    if (!model)
        qWarning() << "no model selected";
    const QVector3D v = model ? model->*field : QVector3D(fallback, fallback, fallback);
    return {QString::number(v.x(), 'g', 6), QString::number(v.y(), 'g', 6), QString::number(v.z(), 'g', 6)};
}

QStringList KaloModel::getSelectedModelTranslate()
{
    return selectedVector("KaloModel::getSelectedModelTranslate", 0, &Model::translate);
}

QStringList KaloModel::getSelectedModelScale()
{
    return selectedVector("KaloModel::getSelectedModelScale", 1, &Model::scale);
}

QStringList KaloModel::getSelectedModelRotate()
{
    return selectedVector("KaloModel::getSelectedModelRotate", 0, &Model::rotate);
}

void KaloModel::flip(int flag)
{
    if (Model *model = selectionToEdit("flip")) {
        m_editor.flip(*model, flag);
        Q_EMIT kaloModelDataChanged();
    }
}

void KaloModel::setViewport(const QSize &viewportSize, qreal devicePixelRatio)
{
    m_view.setViewport(viewportSize, devicePixelRatio);
}

void KaloModel::onMouseClicked(uint button, uint x, uint y)
{
    m_view.clicked(button, QPointF(x, y));
}

void KaloModel::addSupportUnder(const PickHit &hit)
{
    const CWS::SupportConfig *config = settings().supportConfig();
    CWS::Support *support = nullptr;
    if (config->mode() == CWS::SupportConfig::IslandsAndOverhangs) {
        // A column held from below cannot reach a surface that faces up.
        if (hit.normal.z() > 0.05f) {
            Q_EMIT notice(tr("Supports go under a surface, not on top of it"));
            return;
        }
        std::vector<const Model *> normals;
        for (const Model *m : models()) {
            if (m->type == TYPE_NORMAL)
                normals.push_back(m);
        }
        const CWS::VerticalRays scene(normals);
        const SliceBuildConfig &c = *settings().buildConfig();
        const double w = c.resolutionX / c.pixelsPerMmX, h = c.resolutionY / c.pixelsPerMmY;
        CWS::OverhangPlanner planner(config->shape(), scene, QRectF(-w / 2, -h / 2, w, h));
        CWS::SupportPlacement placement;
        if (!planner.place(hit.point, hit.normal, placement)) {
            Q_EMIT notice(planner.unsupported().empty()
                                      ? tr("No support needed: material lies right under this point")
                                      : tr("No support fits here: %1").arg(QString::fromLatin1(
                                            planner.unsupported().front().reason)));
            return;
        }
        remember();
        support = m_editor.addTippedSupport(placement, hit.object, config);
    } else {
        remember();
        support = m_editor.addSupportUnder(hit.point, hit.normal, hit.object, config);
    }
    m_preview.adopt(models());
    // During the preview the new column is shown cut at the layer like every other model.
    if (m_preview.active())
        SlicePreview::buildLayerGeometry(*support, m_preview.layer(), m_preview.height());
    setModelStatus(m_status, true);
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::dragBy(Model &model, const QVector3D &delta)
{
    // A whole drag is one step.
    if (!m_dragRecorded) {
        remember();
        m_dragRecorded = true;
    }
    m_editor.moveBy(model, delta.x(), delta.y());
    selectModel(&model);
}

void KaloModel::onMousePressed(uint button, uint x, uint y)
{
    Q_UNUSED(button)
    Q_UNUSED(x)
    Q_UNUSED(y)
    m_dragRecorded = false;
    m_view.pressed();
}

void KaloModel::onMouseReleased(uint button, uint x, uint y)
{
    Q_UNUSED(button)
    Q_UNUSED(x)
    Q_UNUSED(y)
    m_view.released();
}

void KaloModel::onMousePressedMove(uint button, QPointF from, QPointF pre, QPointF to)
{
    m_view.moved(button, from, pre, to);
}

void KaloModel::onWheel(QPointF angleDelta)
{
    m_view.wheel(angleDelta);
}

void KaloModel::zoomOut()
{
    m_view.zoomOut();
}

void KaloModel::zoomIn()
{
    m_view.zoomIn();
}

void KaloModel::resetViewPrj()
{
    m_view.resetCamera();
}

void KaloModel::setManualAddingSupport(bool checked)
{
    qDebug() << "set manual add support mode" << checked;
    m_manualAddingSupport = checked;
}

CWS::Support *KaloModel::createSupport(float x, float y, float length, Model *owner)
{
    CWS::Support *support = m_editor.addSupport(x, y, length, owner, settings().supportConfig());
    m_preview.adopt(models());
    return support;
}

void KaloModel::addSupportBase(float thickness)
{
    if (refusedWhileRunning("base plates"))
        return;
    qDebug() << "KaloModel::addSupportBase";
    const ModelStatus previous = m_status;
    remember();
    m_editor.addBasePlates(thickness);
    m_preview.adopt(models());
    if (m_scene.isEmpty())
        m_status = MODEL_INIT;
    emitStatus(previous);
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::addSupportAuto(float thickness)
{
    if (refusedWhileRunning("automatic supports"))
        return;
    Q_UNUSED(thickness)
    qDebug() << "KaloModel::addSupportAuto";
    if (m_status != MODEL_LOADED)
        return;

    std::vector<CWS::SupportGenerator::Job> jobs;
    for (Model *model : models()) {
        if (model->type == TYPE_NORMAL)
            jobs.push_back({model, calcNumSlices(model)});
    }
    // The whole run is one step.
    remember();
    m_unsupported.clear();
    m_unsupportedRegions.clear();
    m_supportsAdded = 0;
    m_run.prepareSupports(std::move(jobs), settings());
    setModelStatus(MODEL_AUTO_GEN_SUPPORT);
    m_sliceCancelled = false;
    m_sliceCount = calcNumSlices();
    m_run.start();
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::autoAddSupport(float x, float y, float z, float zbase, Model *model)
{
    Q_UNUSED(zbase)
    ++m_supportsAdded;
    m_editor.addColumn(x, y, z, model, settings().supportConfig());
    m_preview.adopt(models());
}

void KaloModel::autoPlaceSupport(const CWS::SupportPlacement &placement, Model *model)
{
    m_editor.addTippedSupport(placement, model, settings().supportConfig());
    ++m_supportsAdded;
    m_preview.adopt(models());
}

bool KaloModel::removeSupports()
{
    if (refusedWhileRunning("remove supports"))
        return false;
    Model *model = selectedModel();
    if (model && model->type == TYPE_SUPPORT)
        model = model->owner;
    if (!model || model->supports.empty())
        return false;
    remember();
    m_editor.removeSupports(*model);
    m_preview.adopt(models());
    selectModel(model);
    setModelStatus(m_status, true);
    Q_EMIT kaloModelDataChanged();
    return true;
}

void KaloModel::autoGenSupportFinished()
{
    if (!m_sliceCancelled && settings().supportConfig()->mode() == CWS::SupportConfig::IslandsAndOverhangs
        && m_supportsAdded == 0 && m_unsupported.isEmpty())
        Q_EMIT notice(tr("No supports needed"));
    setModelStatus(MODEL_LOADED);
    if (m_sliceCancelled)
        Q_EMIT notice(tr("Support generation cancelled"));
    // The regions the run could not hold join the list at once (and those of
    // the run before leave it), before any check.
    if (!m_unsupportedRegions.empty() || m_checkFindings.size() != m_found.size())
        showFindings(m_found);
    Q_EMIT sliceCompletedProgress(1.1f, m_sliceCancelled, QStringLiteral("autoSupport"));
    // The new columns count in the volume, and may raise the top.
    Q_EMIT kaloModelDataChanged();
}

bool KaloModel::setShowSliceEnable(bool enable)
{
    if (!enable) {
        m_preview.stop(models());
        // Leaving a preview that is not shown must not end a slicing run's status.
        if (m_status == MODEL_SHOW_SLICE)
            setModelStatus(MODEL_LOADED);
        clearSelection(true);
        return false;
    }
    if (m_scene.isEmpty() || m_status == MODEL_SLICING || refusedWhileRunning("slice preview"))
        return false;

    m_sliceCount = calcNumSlices();
    qDebug() << "total slice number:" << m_sliceCount;
    Q_EMIT layerChanged(m_sliceCount);
    m_preview.start(models(), m_sliceCount);
    setModelStatus(MODEL_SHOW_SLICE);
    showLayer(0);
    return true;
}

void KaloModel::setCurrentLayer(int layer)
{
    if (m_status != MODEL_SHOW_SLICE || layer < 0 || layer >= m_sliceCount) {
        qDebug() << "no preview layer" << layer;
        return;
    }
    showLayer(layer);
}

void KaloModel::showLayer(int layer)
{
    qDebug() << "show layer" << layer;
    m_preview.show(models(), layer, (float(layer) + 0.5f) * m_layerThickness);
    Q_EMIT kaloModelDataChanged();
}

QImage KaloModel::findingImage(int layer) const
{
    if (models().isEmpty() || layer < 0)
        return QImage();
    KaloConfig &config = settings();
    return CWS::FindingImage::render(*config.buildConfig(), models(), layer, config.useAntialise(),
                                     config.antiAliseValue(), m_checkFindings);
}

void KaloModel::showFindings(const std::vector<CWS::PrintFinding> &findings)
{
    m_checkModelNames = normalModelNames();
    // Copied first: findings may be m_found itself.
    std::vector<CWS::PrintFinding> found = findings;
    m_checkFindings = found;
    m_found = std::move(found);
    m_unsupportedRegions.prune(models());
    for (CWS::PrintFinding &f : m_unsupportedRegions.findings(models(), settings().buildConfig()->layerThickness))
        m_checkFindings.push_back(std::move(f));
    const bool marks = LiveCheck::mark(models(), m_checkFindings);
    Q_EMIT printCheckDone();
    if (marks)
        Q_EMIT kaloModelDataChanged();
}

void KaloModel::setLiveCheck(bool on)
{
    if (on == m_liveOn)
        return;
    m_liveOn = on;
    m_live.stop();
    m_live.disconnect(this);
    disconnect(this, nullptr, &m_live, nullptr);
    if (!on)
        return;
    const auto changed = [this] {
        if (m_status == MODEL_LOADED)
            m_live.changed(*settings().buildConfig(), models());
        else
            m_live.stop(); // a run or the preview: the scene is not being edited
    };
    connect(this, &KaloModel::kaloModelDataChanged, &m_live, changed);
    connect(this, &KaloModel::modelStatusChanged, &m_live, changed);
    connect(&m_live, &LiveCheck::due, this, [this] {
        if (m_status == MODEL_LOADED)
            m_live.start(*settings().buildConfig(), models(), calcNumSlices());
    });
    connect(&m_live, &LiveCheck::done, this, [this] {
        qDebug() << "live check:" << m_live.findings().size() << "findings";
        showFindings(m_live.findings());
    });
    changed();
}

QStringList KaloModel::normalModelNames() const
{
    QStringList names;
    for (const Model *model : models()) {
        if (model->type == TYPE_NORMAL)
            names << QFileInfo(model->url.toLocalFile()).fileName();
    }
    return names;
}

void KaloModel::checkPrint()
{
    if (m_check)
        m_check->disconnect(this);
    m_check.reset(); // cancels and waits: only the newest check reports
    const int layers = calcNumSlices();
    KaloConfig &config = settings();
    m_check = std::make_unique<CWS::PrintCheckRun>(*config.buildConfig(), models(), layers, config.useAntialise(),
                                                    config.antiAliseValue());
    connect(m_check.get(), &QThread::finished, this, [this] { showFindings(m_check->findings()); });
    m_check->start(QThread::LowPriority);
}

QVariantList KaloModel::printCheckList() const
{
    QVariantList list;
    for (const CWS::PrintFinding &f : m_checkFindings) {
        const QString model = f.model >= 0 && f.model < m_checkModelNames.size() ? m_checkModelNames[f.model] : QString();
        // The reason comes first: the panel's narrow list cuts the end of a line off.
        const QString kind = CWS::PrintFinding::kindName(f.kind);
        const QString what = f.reason.isEmpty() ? kind : QStringLiteral("%1 (%2)").arg(kind, f.reason);
        const QString text = tr("%1 at layer %2 (%3 mm), x %4 y %5 mm, %6 mm²")
                                 .arg(what)
                                 .arg(f.firstLayer)
                                 .arg(f.bottomMm, 0, 'f', 2)
                                 .arg(f.xMm, 0, 'f', 1)
                                 .arg(f.yMm, 0, 'f', 1)
                                 .arg(f.areaMm2, 0, 'f', 1);
        list << QVariantMap{{QStringLiteral("kind"), CWS::PrintFinding::kindName(f.kind)},
                            {QStringLiteral("firstLayer"), f.firstLayer},
                            {QStringLiteral("lastLayer"), f.lastLayer},
                            {QStringLiteral("bottomMm"), f.bottomMm},
                            {QStringLiteral("topMm"), f.topMm},
                            {QStringLiteral("xMm"), f.xMm},
                            {QStringLiteral("yMm"), f.yMm},
                            {QStringLiteral("areaMm2"), f.areaMm2},
                            {QStringLiteral("model"), model},
                            {QStringLiteral("reason"), f.reason},
                            {QStringLiteral("text"), text}};
    }
    return list;
}

QString KaloModel::printCheckCounts() const
{
    QStringList parts;
    for (int kind = CWS::PrintFinding::Island; kind <= CWS::PrintFinding::Unsupported; ++kind) {
        const auto n = std::count_if(m_checkFindings.begin(), m_checkFindings.end(),
                                     [&](const CWS::PrintFinding &f) { return f.kind == kind; });
        if (n)
            parts << CWS::PrintFinding::count(CWS::PrintFinding::Kind(kind), n);
    }
    return parts.join(QStringLiteral(", "));
}

void KaloModel::showFinding(int index)
{
    if (index < 0 || index >= int(m_checkFindings.size()))
        return;
    if (m_status != MODEL_SHOW_SLICE && !setShowSliceEnable(true))
        return;
    const int layer = m_checkFindings[size_t(index)].firstLayer;
    setCurrentLayer(layer);
    Q_EMIT findingLayerChosen(layer);
}

Model *KaloModel::hollowingTarget(const char *what)
{
    if (refusedWhileRunning(what))
        return nullptr;
    Model *model = selectedModel();
    if (!model || model->type != TYPE_NORMAL) {
        Q_EMIT notice(tr("Select a model first"));
        return nullptr;
    }
    return model;
}

void KaloModel::hollowingEdited()
{
    Q_EMIT hollowingChanged();
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::hollowSelected(float wallMm, float latticeSpacingMm, float latticeWallMm)
{
    Model *model = hollowingTarget("hollowing");
    if (!model)
        return;
    m_drainHolesDue = nullptr;
    remember();
    if (!m_editor.hollow(*model, wallMm, {latticeSpacingMm, latticeWallMm})) {
        m_history.forgetLast();
        Q_EMIT historyChanged();
        return;
    }
    model->updateBounds();
    hollowingEdited();
}

float KaloModel::selectedLatticeSpacing() const
{
    const Model *model = selectedModel();
    return model ? model->hollowing.lattice.spacingMm : 0;
}

float KaloModel::selectedWall() const
{
    const Model *model = selectedModel();
    return model ? model->hollowing.wallMm : 0;
}

void KaloModel::setDrainHoleMode(bool on)
{
    m_drainHoleMode = on;
}

void KaloModel::setDrainHoleDiameter(float mm)
{
    m_drainHoleDiameter = std::clamp(mm, 1.0f, 10.0f);
}

void KaloModel::addDrainHoleAt(const PickHit &hit)
{
    if (refusedWhileRunning("drain hole"))
        return;
    if (!hit.object->hollowing.isHollow()) {
        Q_EMIT notice(tr("Hollow the model before adding drain holes"));
        return;
    }
    remember();
    m_editor.addDrainHole(*hit.object, {hit.point, -hit.normal, m_drainHoleDiameter});
    selectModel(hit.object);
    hollowingEdited();
}

void KaloModel::addDrainHolesAuto()
{
    Model *model = hollowingTarget("drain holes");
    if (!model)
        return;
    if (!model->hollowing.isHollow()) {
        Q_EMIT notice(tr("Hollow the model before adding drain holes"));
        return;
    }
    if (!model->cavityFits()) {
        m_drainHolesDue = model;
        Q_EMIT notice(tr("Add drain holes: the hollow is being made, the holes follow"));
        return;
    }
    addDrainHolesTo(*model);
}

void KaloModel::addDrainHolesTo(Model &model)
{
    const QMatrix4x4 matrix = model.modelMatrix();
    const std::vector<DrainHole> holes = CWS::Cavity::drainHoles(
        *model.mesh, matrix, model.cavity.onPlatform(matrix), model.hollowing.wallMm, m_drainHoleDiameter);
    if (holes.empty()) {
        Q_EMIT notice(tr("Add drain holes: no enclosed hollow needs one"));
        return;
    }
    remember();
    for (const DrainHole &hole : holes)
        m_editor.addDrainHole(model, hole);
    hollowingEdited();
}

QVariantList KaloModel::drainHoleList() const
{
    QVariantList list;
    const Model *model = selectedModel();
    if (!model)
        return list;
    const QMatrix4x4 matrix = model->modelMatrix();
    for (const DrainHole &hole : model->hollowing.drainHoles) {
        const QVector3D p = matrix.map(hole.position);
        list << QVariantMap{{QStringLiteral("text"), tr("%1 mm at %2, %3, %4")
                                                         .arg(double(hole.diameterMm))
                                                         .arg(double(p.x()), 0, 'f', 1)
                                                         .arg(double(p.y()), 0, 'f', 1)
                                                         .arg(double(p.z()), 0, 'f', 1)}};
    }
    return list;
}

void KaloModel::removeDrainHole(int index)
{
    Model *model = hollowingTarget("drain holes");
    if (!model)
        return;
    remember();
    if (!m_editor.removeDrainHole(*model, index)) {
        m_history.forgetLast();
        Q_EMIT historyChanged();
        return;
    }
    hollowingEdited();
}
