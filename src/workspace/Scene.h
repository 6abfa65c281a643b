#pragma once

#include <QList>

#include <unordered_set>
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

    // With keep set, remove() parks a model instead of deleting it (an undo
    // history may bring it back): it leaves the list and its owner's links,
    // its GL buffers are retired and it gets fresh ones when it returns.
    void setKeepRemoved(bool keep) { m_keepRemoved = keep; }
    // Makes models (live or parked) the list, in that order; models leaving
    // the list are parked as remove() parks them.
    void replaceModels(const QList<Model *> &models);
    // Deletes every parked model not in keep.
    void deleteParkedExcept(const std::unordered_set<const Model *> &keep);

    // The selected model (the first one flagged), or null.
    Model *selected() const;
    // Makes model the one selection; every model stops being new.
    void select(Model *model);
    void clearSelection();

    // GL buffer names of the models removed since the last call.
    std::vector<unsigned int> takeRetiredBuffers();

private:
    // Takes model's GL buffers away for the render thread.
    void retireBuffers(Model &model);
    static void deleteUnlinked(Model *model);

    QList<Model *> m_models;
    std::vector<Model *> m_parked;
    bool m_keepRemoved = false;
    std::vector<unsigned int> m_retiredBuffers;
};
