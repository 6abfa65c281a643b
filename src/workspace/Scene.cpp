#include "workspace/Scene.h"

#include "geometry/Model.h"

#include <QDebug>

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
    // itself can go now.
    if (model->vbo != 0)
        m_retiredBuffers.insert(m_retiredBuffers.end(), {model->vbo, model->ibo});
    delete model;
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
