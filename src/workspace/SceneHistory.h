#pragma once

#include "geometry/Hollowing.h"
#include "geometry/MeshData.h"
#include "geometry/ModelCavity.h"

#include <QVector3D>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class Model;
class Scene;

// Undo and redo of scene edits. Each step is the scene as it stood before
// one user action: the model list in order and, per model, its transform,
// its links (owner, base, supports), its hollowing and shared references to
// its mesh and its cavity.
// Meshes are never copied: a support column whose mesh a step still shares
// detaches before it re-fits (CWS::Support), and a flip detaches too. Models
// that leave the scene are parked by the scene (see Scene::setKeepRemoved)
// as long as a step names them, and deleted when the last such step leaves
// the history.
//
// Every state gets a number; isModified compares the current one with the
// number marked as saved, so undoing back to the saved state is clean again.
//
// GUI thread only; the caller refuses undo while a run reads the scene.
class SceneHistory
{
public:
    // Steps kept for undo; older ones are dropped.
    static constexpr int maxSteps = 100;

    explicit SceneHistory(Scene &scene);

    // Remembers the scene as it is now, before an edit; forgets every redo step.
    void record();
    // Back to the state before the last recorded edit; false when there is none.
    bool undo();
    // Forward again after an undo; false when there is nothing to redo.
    bool redo();
    // Drops the step the last record() made, for an edit that changed nothing.
    void forgetLast();
    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    // Forgets every step (a new or opened project) and deletes parked models.
    void clear();

    // The current state is the one saved or opened last.
    void markSaved() { m_savedId = m_currentId; }
    bool isModified() const { return m_currentId != m_savedId; }

private:
    struct Entry {
        Model *model;
        std::shared_ptr<MeshPrimitiveData> mesh;
        QVector3D translate, scale, rotate, pivot;
        Model *owner;
        Model *base;
        float baseThickness;
        std::vector<Model *> supports;
        Hollowing hollowing;
        ModelCavity cavity;
    };
    struct Step {
        std::uint64_t id;
        std::vector<Entry> entries;
    };

    Step capture() const;
    void restore(const Step &step);
    // Deletes parked models that no step names any more.
    void purge();

    Scene &m_scene;
    std::deque<Step> m_undo;
    std::deque<Step> m_redo;
    std::uint64_t m_currentId = 0;
    std::uint64_t m_savedId = 0;
    std::uint64_t m_nextId = 1;
};
