#include "workspace/KaloModel.h"

#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "workspace/Model.h"

#include <QDebug>
#include <QThread>

#include <algorithm>

namespace {
KaloModel *g_instance = nullptr;
}

KaloModel::KaloModel(QObject *parent)
    : QObject(parent)
{
    g_instance = this;
}

KaloModel::~KaloModel()
{
    g_instance = nullptr;
    qDebug() << QThread::currentThreadId() << "KaloModel::~KaloModel()";
    qDebug() << "KaloModel::~KaloModel() end";
    // Every model goes with the scene; links are cut first so that no model
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

void KaloModel::deleteSelectedModel()
{
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
    float total = 0;
    for (Model *model : qAsConst(m_models)) {
        model->updateBounds();
        total += model->volume;
    }
    return total;
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

void KaloModel::setSelectedModelTranslate(float x, float y, float z)
{
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
    Model *model = selectedModel();
    if (!model)
        return;
    model->flip(flag);
    Q_EMIT kaloModelDataChanged();
}
