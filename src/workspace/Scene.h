#pragma once

#include <QList>

#include <vector>

class Model;

// The objects on the build platform: the one list that owns every Model
// (loaded models, copies, support columns and base plates) in the order they
// joined, and the selection, which is each model's selected flag. Links
// between a model and its supports or base plate are the models' own
// (owner, supports, base) and never own anything.
//
// GUI thread only. Worker threads read the list only while the model
// manager's status keeps it unchanged.
class Scene
{
public:
    Scene() = default;
    Scene(const Scene &) = delete;
    Scene &operator=(const Scene &) = delete;
    // Deletes every model still in the list.
    ~Scene();

    const QList<Model *> &models() const { return m_models; }
    bool isEmpty() const { return m_models.isEmpty(); }
    // Position of model in the list, -1 when it is not there.
    int indexOf(const Model *model) const;

    // Appends model, taking ownership.
    void add(Model *model);
    // Removes the first entry equal to model and deletes it; a model that is
    // not in the list is left alone. Its GL buffers wait in
    // takeRetiredBuffers for the render thread, which owns the context.
    void remove(Model *model);
    // Removes and deletes model's base plate and every support column.
    void removeAttachments(Model &model);

    // The selected model (the first one flagged), or null.
    Model *selected() const;
    // Makes model the one selection; every model stops being new.
    void select(Model *model);
    void clearSelection();

    // GL buffer names of the models removed since the last call.
    std::vector<unsigned int> takeRetiredBuffers();

private:
    QList<Model *> m_models;
    std::vector<unsigned int> m_retiredBuffers;
};
