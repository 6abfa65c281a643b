#include "workspace/Scene.h"

#include "geometry/Model.h"

#include <QDebug>

#include <algorithm>
#include <utility>

Scene::~Scene()
{
    // Links are cut first so that no model unlinks itself from an owner
    // that is already gone.
    for (Model *model : qAsConst(m_models)) {
        model->owner = nullptr;
        model->base = nullptr;
        model->supports.clear();
    }
    qDeleteAll(m_models);
    for (Model *model : m_parked)
        deleteUnlinked(model);
}

void Scene::deleteUnlinked(Model *model)
{
    model->owner = nullptr;
    model->base = nullptr;
    model->supports.clear();
    delete model;
}

void Scene::retireBuffers(Model &model)
{
    if (model.vbo != 0)
        m_retiredBuffers.insert(m_retiredBuffers.end(), {model.vbo, model.ibo});
    model.vbo = 0;
    model.ibo = 0;
    model.buffersValid = false;
}

void Scene::replaceModels(const QList<Model *> &models)
{
    const std::unordered_set<const Model *> next(models.begin(), models.end());
    for (Model *model : qAsConst(m_models)) {
        if (!next.count(model)) {
            retireBuffers(*model);
            m_parked.push_back(model);
        }
    }
    std::vector<Model *> stillParked;
    for (Model *model : m_parked) {
        if (!next.count(model))
            stillParked.push_back(model);
    }
    m_parked = std::move(stillParked);
    m_models = models;
}

void Scene::deleteParkedExcept(const std::unordered_set<const Model *> &keep)
{
    std::vector<Model *> kept;
    for (Model *model : m_parked) {
        if (keep.count(model))
            kept.push_back(model);
        else
            deleteUnlinked(model);
    }
    m_parked = std::move(kept);
}

int Scene::indexOf(const Model *model) const
{
    return m_models.indexOf(const_cast<Model *>(model));
}

void Scene::add(Model *model)
{
    qInfo() << "set add new model" << model;
    m_models.append(model);
}

void Scene::remove(Model *model)
{
    qDebug() << "set remove model" << model;
    const int index = m_models.indexOf(model);
    if (index < 0)
        return;
    m_models.removeAt(index);
    // A frame being drawn may still use the buffers: the renderer deletes
    // them at its next synchronisation. It draws from copies, so the model
    // itself can go now. A parked model that returns gets new buffers, so
    // that nothing depends on what the render thread has deleted meanwhile.
    retireBuffers(*model);
    if (!m_keepRemoved) {
        delete model;
        return;
    }
    // The owner forgets a parked attachment as it would forget a deleted one;
    // the history restores the links of the state it brings back.
    if (Model *owner = model->owner) {
        auto &list = owner->supports;
        list.erase(std::remove(list.begin(), list.end(), model), list.end());
        if (owner->base == model)
            owner->base = nullptr;
    }
    m_parked.push_back(model);
}

void Scene::removeAttachments(Model &model)
{
    qDebug() << "remove all supports of" << &model;
    if (model.base) {
        qDebug() << "remove base support" << model.base;
        remove(model.base);
        model.base = nullptr;
    }
    const std::vector<Model *> snapshot = model.supports;
    for (Model *support : snapshot) {
        qDebug() << "remove suport" << support;
        remove(support);
    }
    model.supports.clear();
}

Model *Scene::selected() const
{
    for (Model *model : m_models) {
        if (model->selected)
            return model;
    }
    return nullptr;
}

void Scene::select(Model *model)
{
    clearSelection();
    model->selected = true;
    model->isNew = false;
}

void Scene::clearSelection()
{
    for (Model *model : qAsConst(m_models)) {
        model->isNew = false;
        model->selected = false;
    }
}

std::vector<unsigned int> Scene::takeRetiredBuffers()
{
    return std::exchange(m_retiredBuffers, {});
}
