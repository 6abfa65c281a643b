#pragma once

#include <QList>
#include <QObject>

#include <memory>
#include <vector>

class Model;
class Scene;

// Makes the cavities of hollow models in the background: every model of the
// scene that is hollow and whose cavity no longer fits it (a new wall, a
// scale, a turn, a flip) gets a new one made on a thread of its own from a
// snapshot (CWS::CavitySnapshot), handed to the model on the GUI thread once
// made, as long as the model is still in the scene and still as it was.
// GUI thread only; deleting cancels the builds going and waits for them.
class CavityBuilds : public QObject
{
    Q_OBJECT
public:
    explicit CavityBuilds(const Scene &scene, QObject *parent = nullptr);
    ~CavityBuilds() override;

    // Starts a build for every model of the scene that needs one and has
    // none going for it as it is now; a build going for a model as it was
    // is dropped.
    void refresh();
    // A build is going for model.
    bool building(const Model *model) const;

Q_SIGNALS:
    // model holds its new cavity, its volume brought up to date.
    void built(Model *model);

private:
    struct Build;
    void finish(Build *build);

    const Scene &m_scene;
    std::vector<std::unique_ptr<Build>> m_builds;
};
