#include "workspace/KaloModel.h"

#include "app/KaloApp.h"
#include "app/ProjectFile.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/PrintTime.h"
#include "slicing/Slice.h"
#include "slicing/Slicer.h"
#include "supports/Support.h"
#include "supports/SupportGenerator.h"
#include "view/SceneRenderer.h"
#include "workspace/Model.h"
#include "workspace/Picking.h"
#include "workspace/SkylinePacker.h"

#include <QDebug>
#include <QQuickWindow>
#include <QThread>

#include <algorithm>

namespace {
KaloModel *g_instance = nullptr;
}

KaloModel::KaloModel(QObject *parent)
    : QObject(parent)
    , m_renderer(std::make_unique<SceneRenderer>())
{
    g_instance = this;
}

KaloModel::~KaloModel()
{
    g_instance = nullptr;
    qDebug() << QThread::currentThreadId() << "KaloModel::~KaloModel()";
    // A run still going is cancelled and waited for: its jobs read the models.
    m_supportGenerator.reset();
    m_slicer.reset();
    qDebug() << "KaloModel::~KaloModel() end";
    // Every model goes with the scene; their GL buffers go with the context.
    // Links are cut first so that no model
    // unlinks itself from an owner that is already gone.
    for (Model *model : qAsConst(m_models)) {
        model->owner = nullptr;
        model->base = nullptr;
        model->supports.clear();
    }
    qDeleteAll(m_models);
    m_models.clear();
}

KaloModel *KaloModel::instance()
{
    return g_instance;
}

bool KaloModel::refusedWhileRunning(const char *what) const
{
    if (!m_slicer && !m_supportGenerator)
        return false;
    qDebug() << what << "refused: a slicing run or the support generator is going";
    return true;
}

void KaloModel::setModelStatus(int status)
{
    setModelStatus(ModelStatus(status), false);
}

void KaloModel::setModelStatus(ModelStatus status, bool force)
{
    if (m_models.isEmpty())
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
}

bool KaloModel::loadModel(const QUrl &url, QString *problem)
{
    if (refusedWhileRunning("load"))
        return false;
    qDebug() << QThread::currentThreadId() << "KaloModel::loadModel " << url;
    if (m_status > MODEL_LOADED) {
        qDebug() << "invalid status for load" << m_status;
        return false;
    }
    // The open dialog offers more types than the importer is trusted with.
    if (!url.fileName().toLower().endsWith(QLatin1String(".stl"))) {
        qDebug() << "ERROR: unsupported file type: only accept .stl";
        if (problem)
            *problem = QStringLiteral("only STL models (.stl) and kalo3d projects (.kalo3d) load");
        return false;
    }

    auto *model = new Model(TYPE_NORMAL);
    QString reason;
    if (!model->load(url, m_smoothNormalMode, false, &reason)) {
        qDebug() << "load failed";
        delete model;
        // The user learns which file failed and why, under the usual heading.
        if (KaloApp *app = KaloApp::instance())
            app->showCriticalMsgBox(QStringLiteral("load modal failed!\n%1: %2").arg(url.fileName(), reason));
        if (problem)
            *problem = reason;
        return false;
    }
    qDebug() << "load succeed 1";
    // Zero facet normals made assimp's importer join vertices across facets
    // (the readers of our own make the normals as they read); only a second
    // read without the stored normals gives facets their own.
    if (model->normalsAreZero()) {
        qDebug() << "normal is invalid, reload and generate normal";
        delete model;
        model = new Model(TYPE_NORMAL);
        if (!model->load(url, m_smoothNormalMode, true, problem)) {
            qDebug() << "load failed";
            delete model;
            return false;
        }
    }
    addModel(model);
    selectModel(model);
    return true;
}

bool KaloModel::loadObjects(ProjectObjects &objects)
{
    if (refusedWhileRunning("load"))
        return false;
    if (m_status > MODEL_LOADED) {
        qDebug() << "invalid status for load" << m_status;
        return false;
    }
    const size_t count = objects.objects.size();
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
    qInfo() << "set add new model" << model;
    if (m_currentLayer >= 0) {
        model->layerCacheOrder.clear();
        model->layerCache.clear();
        model->layerCache.resize(size_t(std::max(m_sliceCount, 0)));
    }
    m_models.append(model);
}

void KaloModel::removeModel(Model *model)
{
    qDebug() << "set remove model" << model;
    const int index = m_models.indexOf(model);
    if (index < 0)
        return;
    m_models.removeAt(index);
    if (model == m_draggedObject) {
        m_draggedObject = nullptr;
        m_dragState = 0;
    }
    // A frame being drawn may still use the buffers: the renderer deletes
    // them at its next sync. It draws from copies, so the model itself can go now.
    m_renderer->retireBuffers(model->vbo, model->ibo);
    delete model;
}

void KaloModel::selectModel(Model *model)
{
    if (!model)
        return;
    clearSelection(false);
    model->selected = true;
    model->isNew = false;
    const int index = m_models.indexOf(model);
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
    for (Model *model : qAsConst(m_models)) {
        model->isNew = false;
        model->selected = false;
    }
    if (emitSignals) {
        setModelStatus(m_status, true);
        Q_EMIT modelSelectionChanged(-1);
        Q_EMIT kaloModelDataChanged();
    }
}

Model *KaloModel::selectedModel() const
{
    for (Model *model : m_models) {
        if (model->selected)
            return model;
    }
    return nullptr;
}

int KaloModel::getSelectedModelIndex()
{
    const Model *selected = selectedModel();
    return selected ? m_models.indexOf(const_cast<Model *>(selected)) : -1;
}

void KaloModel::autoLayoutModel(int sel)
{
    if (refusedWhileRunning("layout"))
        return;
    qDebug() << "autoLayoutModel" << sel;
    const LayoutGrid grid(KaloConfig::instance()->lcdSpec());
    SkylinePacker packer(grid.width, grid.depth);

    QList<Model *> normals;
    for (Model *model : qAsConst(m_models)) {
        if (model->type == TYPE_NORMAL) {
            model->updateBounds();
            normals.append(model);
        }
    }
    const auto key = [](const Model *model) {
        const QVector3D size = model->boundMax - model->boundMin;
        return std::max(size.x(), size.y());
    };
    std::stable_sort(normals.begin(), normals.end(),
                     [&](const Model *a, const Model *b) { return key(a) > key(b); });

    std::vector<Placement> placements;
    for (Model *model : qAsConst(normals)) {
        Placement placement;
        if (!packer.place(grid.footprint(model->boundMin, model->boundMax), placement))
            break;
        placements.push_back(placement);
    }
    if (placements.size() != size_t(normals.size())) {
        qDebug() << "layout failed" << placements.size() << normals.size();
        return;
    }

    qDebug() << "layout cal succeed, apply them" << packer.maxRight() << packer.maxTop() << grid.width
             << grid.depth;
    const QPoint offset = packer.centringOffset();
    for (int i = 0; i < normals.size(); ++i) {
        Model *model = normals[i];
        const Placement &placement = placements[size_t(i)];
        if (placement.rotated) {
            model->dirty = true;
            model->rotate.setZ(model->rotate.z() + 90);
            model->updateBounds();
        }
        const int gridDx = placement.x + offset.x() - grid.toGridX(model->boundMin.x());
        const int gridDy = placement.y + offset.y() - grid.toGridY(model->boundMin.y());
        const float dx = float(gridDx) / grid.lcd.pixelsPerMmX;
        const float dy = float(gridDy) / grid.lcd.pixelsPerMmY;
        qDebug() << "move" << model << dx << dy;
        model->translateBy(dx, dy, 0);
    }
    // The view and the panels show the models where they now stand.
    Q_EMIT kaloModelDataChanged();
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
    if (!model)
        return;
    if (m_manualAddingSupport) {
        qDebug() << "forbid del model when add support manully";
        return;
    }
    if (m_status == MODEL_SHOW_SLICE && model->type == TYPE_NORMAL) {
        qDebug() << "forbid del normal model when show 3d slice";
        return;
    }
    model->removeAllSupports();
    removeModel(model);
    Q_EMIT kaloModelDataChanged();
    if (m_models.isEmpty())
        setModelStatus(MODEL_INIT, false);
}

void KaloModel::copyModel(int n)
{
    if (refusedWhileRunning("copy"))
        return;
    if (n < 0 || n >= m_models.size()) {
        qWarning() << "KaloModel::copyModel input out of range:" << n;
        return;
    }
    Model *source = m_models.at(n);
    if (source->type != TYPE_NORMAL) {
        qWarning() << "only normal model can be copyed";
        return;
    }
    for (Model *copy : source->copyWithAttachments())
        addModel(copy);
}

float KaloModel::getTotalVolume()
{
    double total = 0;
    for (Model *model : qAsConst(m_models)) {
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
    const float thickness = KaloConfig::instance()->buildConfig()->layerThickness;
    m_layerThickness = thickness;

    float top = 0;
    bool any = false;
    const QList<Model *> scope = model ? QList<Model *>{model} : m_models;
    for (Model *m : scope) {
        m->updateBounds();
        top = any ? std::max(top, m->boundMax.z()) : m->boundMax.z();
        any = true;
    }
    // A scene entirely below the plate has no layer to print.
    if (top <= 0 || thickness <= 0)
        return 0;
    const int n = int(top / thickness);
    return top >= (float(n) + 0.5f) * thickness ? n + 1 : n;
}

void KaloModel::startSlice()
{
    const KaloApp *app = KaloApp::instance();
    sliceTo(app ? app->cwsFileUrl().toLocalFile() : QString());
}

void KaloModel::sliceTo(const QString &archivePath)
{
    qDebug() << QThread::currentThreadId() << "KaloModel::startSlice " << archivePath;
    if (m_status == MODEL_AUTO_GEN_SUPPORT || refusedWhileRunning("slice"))
        return;
    setModelStatus(MODEL_SLICING);
    for (Model *model : qAsConst(m_models))
        model->settleIfFloating();
    clearSelection(true);
    m_sliceCancelled = false;
    m_sliceError.clear();
    m_sliceCompleted = false;
    m_sliceCount = calcNumSlices();

    SliceBuildConfig *config = KaloConfig::instance()->buildConfig();
    config->setOutputFile(archivePath);
    m_slicer = std::make_unique<CWS::Slicer>(*config, m_models, m_sliceCount);
    connect(m_slicer.get(), &QThread::finished, this, &KaloModel::sliceFinished);
    connect(m_slicer.get(), &CWS::Slicer::layerWritten, this, [this](int layers) { updateSliceProgress(layers); });
    m_sliceTimer.start();
    m_slicer->start(QThread::InheritPriority);
}

void KaloModel::sliceFinished()
{
    if (!m_slicer)
        return;
    m_slicer->disconnect(this);
    m_slicer->wait();
    m_sliceError = m_slicer->error();
    m_sliceCompleted = m_slicer->completed();
    m_slicer.reset();
    qDebug() << QThread::currentThreadId() << "slice thread finished";
    m_sliceCost = QTime::fromMSecsSinceStartOfDay(int(m_sliceTimer.elapsed()));

    setModelStatus(MODEL_LOADED);
    const bool failed = !m_sliceError.isEmpty();
    if (failed) {
        if (KaloApp *app = KaloApp::instance())
            app->showCriticalMsgBox(m_sliceError);
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
    return m_sliceCost.toString(Qt::TextDate);
}

int KaloModel::sliceNumber()
{
    return m_sliceCount;
}

QString KaloModel::getPrintTime()
{
    KaloConfig *settings = KaloConfig::instance();
    return CWS::durationText(CWS::printTimeMs(calcNumSlices(), *settings->buildConfig(), settings->buildHeightMm()));
}

void KaloModel::cancleSlice()
{
    qDebug() << "cancle slice";
    m_sliceCancelled = true;
    if (m_slicer)
        m_slicer->cancel();
    if (m_supportGenerator)
        m_supportGenerator->cancel();
}

bool KaloModel::getCancleSlice()
{
    return m_sliceCancelled;
}

void KaloModel::setSelectedModelTranslate(float x, float y, float z)
{
    if (refusedWhileRunning("move"))
        return;
    Model *model = selectedModel();
    if (!model) {
        qWarning() << "no model selected";
        return;
    }
    model->setTranslate(x, y, z);
    Q_EMIT kaloModelDataChanged();
}

float KaloModel::moveToBottom()
{
    if (refusedWhileRunning("move to bottom"))
        return 0;
    qDebug() << "KaloModel::moveToBottom";
    Model *model = selectedModel();
    if (!model) {
        qCritical() << "no model selected";
        return 0;
    }
    const float z = model->dropToFloor();
    Q_EMIT kaloModelDataChanged();
    return z;
}

void KaloModel::setSelectedModelScale(float x, float y, float z)
{
    if (refusedWhileRunning("scale"))
        return;
    Model *model = selectedModel();
    if (!model) {
        qWarning() << "no model selected";
        return;
    }
    qDebug() << "set model" << model << "new scale" << x << y << z;
    model->dirty = true;
    model->scale = QVector3D(x, y, z);
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::setSelectedModelRotate(float x, float y, float z)
{
    if (refusedWhileRunning("rotate"))
        return;
    Model *model = selectedModel();
    if (!model) {
        qWarning() << "no model selected";
        return;
    }
    qDebug() << "set model" << model << "new rotate" << x << y << z;
    model->dirty = true;
    model->rotate = QVector3D(x, y, z);
    Q_EMIT kaloModelDataChanged();
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
    if (refusedWhileRunning("flip"))
        return;
    Model *model = selectedModel();
    if (!model)
        return;
    model->flip(flag);
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::sync(const QSize &viewportSize, QQuickWindow *window)
{
    m_viewportSize = viewportSize;
    m_window = window;
    const KaloApp *app = KaloApp::instance();
    const DeviceDescriptor device = app ? app->device() : DeviceDescriptor();
    const QVector3D buildVolume(device.x, device.y, device.z);
    m_sceneMatrix = Camera::sceneMatrix(buildVolume);
    m_renderer->synchronize({viewportSize, buildVolume, m_sceneMatrix, m_camera.viewMatrix(),
                             m_camera.projectionMatrix(viewportSize), window},
                            m_models);
}

void KaloModel::paint()
{
    m_renderer->paint();
}

void KaloModel::releaseGraphics()
{
    m_renderer->releaseGraphics(m_models);
}

QSizeF KaloModel::viewSize() const
{
    const qreal ratio = m_window ? m_window->devicePixelRatio() : 1.0;
    return QSizeF(m_viewportSize) / ratio;
}

std::vector<PickHit> KaloModel::pickObjects(const QPointF &pixel, int typeFilter) const
{
    const QSizeF view = viewSize();
    if (view.isEmpty())
        return {};
    const PickRay ray = Picking::rayThroughPixel(pixel, view, m_camera.viewMatrix(),
                                                 m_camera.projectionMatrix(m_viewportSize));
    return Picking::pickObjects(ray, m_models, typeFilter, m_sceneMatrix);
}

void KaloModel::onMouseClicked(uint button, uint x, uint y)
{
    if (button != Qt::LeftButton || (m_status != MODEL_LOADED && m_status != MODEL_SHOW_SLICE))
        return;
    // The release that ends a drag is no click.
    if (m_dragState >= 2) {
        m_dragState = 0;
        return;
    }
    if (m_manualAddingSupport) {
        manualSupportClick(QPointF(x, y));
        return;
    }
    const std::vector<PickHit> hits = pickObjects(QPointF(x, y), Picking::anyType);
    if (hits.empty())
        clearSelection(true);
    else
        selectModel(hits.front().object);
}

void KaloModel::manualSupportClick(const QPointF &pixel)
{
    if (refusedWhileRunning("support click"))
        return;
    // Supports and plates are not pickable here: a click on a column reaches the model behind it.
    const std::vector<PickHit> hits = pickObjects(pixel, TYPE_NORMAL);
    if (hits.empty()) {
        clearSelection(true);
        return;
    }
    const PickHit &hit = hits.front();
    // The first click on a model selects it, later ones add supports to it.
    if (hit.object != selectedModel()) {
        selectModel(hit.object);
        return;
    }
    if (hit.point.z() < 0.1f) {
        qWarning() << "support is too low, not create";
        return;
    }
    CWS::Support *support = createSupport(hit.point.x(), hit.point.y(), hit.point.z(), hit.object);
    support->transformScope = 1;
    support->aimHead(hit.point, hit.normal);
    support->transformScope = 0;
    support->bakeInverseTransform();
    support->updateBounds(true);
    // During the preview the new column is shown cut at the layer like every other model.
    if (m_currentLayer >= 0)
        support->buildLayerGeometry(m_currentLayer, m_currentLayerHeight);
    setModelStatus(m_status, true);
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::onMousePressed(uint button, uint x, uint y)
{
    Q_UNUSED(button)
    Q_UNUSED(x)
    Q_UNUSED(y)
    if (m_status == MODEL_LOADED)
        m_dragState = 1;
}

void KaloModel::onMouseReleased(uint button, uint x, uint y)
{
    Q_UNUSED(button)
    Q_UNUSED(x)
    Q_UNUSED(y)
    if (m_dragState == 2)
        m_dragState = 3;
}

void KaloModel::onMousePressedMove(uint button, QPointF from, QPointF pre, QPointF to)
{
    const QPointF delta = to - pre;
    if (button == Qt::RightButton) {
        m_camera.pan(delta, viewSize());
        Q_EMIT kaloModelDataChanged();
        return;
    }
    if (button != Qt::LeftButton || refusedWhileRunning("drag"))
        return;

    const bool previewing = m_currentLayer >= 0;
    // The first move decides what the drag does: move the model under the
    // press position, or turn the camera when there is none.
    if (!previewing && m_dragState == 1) {
        const std::vector<PickHit> hits = pickObjects(from, TYPE_NORMAL);
        if (hits.empty()) {
            m_dragState = 0;
        } else {
            m_dragState = 2;
            m_draggedObject = hits.front().object;
            selectModel(m_draggedObject);
        }
    }
    if (m_status == MODEL_LOADED && !previewing && m_dragState == 2) {
        const QVector3D d = m_camera.dragDelta(m_sceneMatrix, m_viewportSize, viewSize(), pre, to);
        m_draggedObject->translateBy(d.x(), d.y(), 0);
        selectModel(m_draggedObject);
        return;
    }
    m_camera.rotate(delta);
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::onWheel(QPointF angleDelta)
{
    if (m_camera.wheel(angleDelta))
        Q_EMIT kaloModelDataChanged();
}

void KaloModel::zoomOut()
{
    m_camera.zoomOut();
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::zoomIn()
{
    m_camera.zoomIn();
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::resetViewPrj()
{
    m_camera.reset();
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::setManualAddingSupport(bool checked)
{
    qDebug() << "set manual add support mode" << checked;
    m_manualAddingSupport = checked;
}

CWS::Support *KaloModel::createSupport(float x, float y, float length, Model *owner)
{
    auto *support = new CWS::Support(owner);
    support->buildColumn(KaloConfig::instance()->supportConfig(), length);
    support->transformScope = 0;
    support->translateScoped(x, y, 0);
    // The centre from before the move: with unit scale and no rotation the
    // pivot does not change where the column stands.
    support->pivot = support->center;
    support->loaded = true;
    addModel(support);
    return support;
}

void KaloModel::addSupportBase(float thickness)
{
    if (refusedWhileRunning("base plates"))
        return;
    qDebug() << "KaloModel::addSupportBase";
    const ModelStatus previous = m_status;
    QList<Model *> normals;
    for (Model *model : qAsConst(m_models)) {
        if (model->type == TYPE_NORMAL)
            normals.append(model);
    }
    for (Model *model : qAsConst(normals))
        addModel(model->makeSupportBase(thickness));
    if (m_models.isEmpty())
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
    for (Model *model : qAsConst(m_models)) {
        if (model->type == TYPE_NORMAL)
            jobs.push_back({model, calcNumSlices(model)});
    }
    KaloConfig *settings = KaloConfig::instance();
    m_supportGenerator = std::make_unique<CWS::SupportGenerator>(settings->supportConfig(),
                                                                 *settings->buildConfig(), std::move(jobs));
    CWS::SupportGenerator *generator = m_supportGenerator.get();
    connect(generator, &CWS::SupportGenerator::genNewSupport, this, &KaloModel::autoAddSupport);
    connect(generator, &QThread::finished, this, &KaloModel::autoGenSupportFinished);
    // The selection belongs to the GUI thread: the generator only says which model is next.
    connect(generator, &CWS::SupportGenerator::modelStarted, this, &KaloModel::selectModel);
    connect(generator, &CWS::SupportGenerator::layerDone, this,
            [this](int layers) { updateSliceProgress(layers, QStringLiteral("autoSupport")); });
    setModelStatus(MODEL_AUTO_GEN_SUPPORT);

    m_sliceTimer.start();
    m_sliceCancelled = false;
    m_sliceCount = calcNumSlices();
    generator->start(QThread::InheritPriority);
    Q_EMIT kaloModelDataChanged();
}

void KaloModel::autoAddSupport(float x, float y, float z, float zbase, Model *model)
{
    Q_UNUSED(zbase)
    CWS::Support *support = createSupport(x, y, z, model);
    support->bakeInverseTransform();
    support->updateBounds(true);
}

void KaloModel::autoGenSupportFinished()
{
    qDebug() << QThread::currentThreadId() << "SupportGenerator thread finished";
    if (m_supportGenerator) {
        m_supportGenerator->disconnect(this);
        m_supportGenerator.reset();
    }
    m_sliceCost = QTime::fromMSecsSinceStartOfDay(int(m_sliceTimer.elapsed()));
    setModelStatus(MODEL_LOADED);
    Q_EMIT sliceCompletedProgress(1.1f, m_sliceCancelled, QStringLiteral("autoSupport"));
}

bool KaloModel::setShowSliceEnable(bool enable)
{
    if (!enable) {
        m_currentLayer = -1;
        // Leaving a preview that is not shown must not end a slicing run's status.
        if (m_status == MODEL_SHOW_SLICE)
            setModelStatus(MODEL_LOADED);
        for (Model *model : qAsConst(m_models)) {
            model->layerCacheOrder.clear();
            std::vector<LayerGeometry>().swap(model->layerCache);
            model->buffersValid = false;
        }
        clearSelection(true);
        return false;
    }
    if (m_models.isEmpty() || m_status == MODEL_SLICING || refusedWhileRunning("slice preview"))
        return false;

    m_sliceCount = calcNumSlices();
    qDebug() << "total slice number:" << m_sliceCount;
    Q_EMIT layerChanged(m_sliceCount);
    for (Model *model : qAsConst(m_models)) {
        model->layerCacheOrder.clear();
        model->layerCache.clear();
        model->layerCache.resize(size_t(m_sliceCount));
    }
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
    m_currentLayer = layer;
    m_currentLayerHeight = (float(layer) + 0.5f) * m_layerThickness;
    CWS::Slice slice(nullptr, KaloConfig::instance()->buildConfig(), layer, m_currentLayerHeight);
    slice.prepareLayerGeometry();
    Q_EMIT kaloModelDataChanged();
}
