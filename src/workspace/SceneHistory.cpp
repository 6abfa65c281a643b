#include "workspace/SceneHistory.h"

#include "geometry/Model.h"
#include "workspace/Scene.h"

#include <unordered_set>

SceneHistory::SceneHistory(Scene &scene)
    : m_scene(scene)
{
    m_scene.setKeepRemoved(true);
}

SceneHistory::Step SceneHistory::capture() const
{
    Step step{m_currentId, {}};
    step.entries.reserve(size_t(m_scene.models().size()));
    for (Model *m : m_scene.models()) {
        step.entries.push_back(
            {m, m->mesh, m->translate, m->scale, m->rotate, m->pivot, m->owner, m->base, m->baseThickness, m->supports,
             m->hollowing, m->cavity});
    }
    return step;
}

void SceneHistory::restore(const Step &step)
{
    QList<Model *> models;
    models.reserve(int(step.entries.size()));
    for (const Entry &e : step.entries)
        models.append(e.model);
    m_scene.replaceModels(models);
    for (const Entry &e : step.entries) {
        Model &m = *e.model;
        if (m.mesh != e.mesh) {
            m.mesh = e.mesh;
            m.buffersValid = false;
        }
        m.translate = e.translate;
        m.scale = e.scale;
        m.rotate = e.rotate;
        m.pivot = e.pivot;
        m.owner = e.owner;
        m.base = e.base;
        m.baseThickness = e.baseThickness;
        m.supports = e.supports;
        m.hollowing = e.hollowing;
        m.cavity = e.cavity;
        m.selected = false;
        m.isNew = false;
        m.updateBounds(true);
    }
    m_currentId = step.id;
}

void SceneHistory::record()
{
    m_undo.push_back(capture());
    m_currentId = m_nextId++;
    m_redo.clear();
    if (m_undo.size() > size_t(maxSteps))
        m_undo.pop_front();
    purge();
}

void SceneHistory::forgetLast()
{
    if (m_undo.empty())
        return;
    m_currentId = m_undo.back().id;
    m_undo.pop_back();
}

bool SceneHistory::undo()
{
    if (m_undo.empty())
        return false;
    m_redo.push_back(capture());
    restore(m_undo.back());
    m_undo.pop_back();
    return true;
}

bool SceneHistory::redo()
{
    if (m_redo.empty())
        return false;
    m_undo.push_back(capture());
    restore(m_redo.back());
    m_redo.pop_back();
    return true;
}

void SceneHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    purge();
}

void SceneHistory::purge()
{
    std::unordered_set<const Model *> named;
    for (const std::deque<Step> *steps : {&m_undo, &m_redo}) {
        for (const Step &step : *steps) {
            for (const Entry &e : step.entries)
                named.insert(e.model);
        }
    }
    m_scene.deleteParkedExcept(named);
}
