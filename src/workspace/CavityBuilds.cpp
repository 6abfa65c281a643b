#include "workspace/CavityBuilds.h"

#include "geometry/Model.h"
#include "slicing/CavitySnapshot.h"
#include "workspace/Scene.h"

#include <QDebug>
#include <QThread>

#include <algorithm>
#include <atomic>

struct CavityBuilds::Build
{
    explicit Build(const Model &m)
        : model(&m)
        , mesh(m.mesh.get())
        , matrix(m.modelMatrix())
        , wallMm(m.hollowing.wallMm)
        , lattice(m.hollowing.lattice)
        , snapshot(m)
    {
    }
    // Made for the model as it is now: moving it changes nothing.
    bool matches(const Model &m) const
    {
        const QMatrix4x4 now = m.modelMatrix();
        for (int c = 0; c < 3; ++c) {
            if (now.column(c) != matrix.column(c))
                return false;
        }
        return &m == model && m.mesh.get() == mesh && m.hollowing.wallMm == wallMm
               && m.hollowing.lattice == lattice;
    }

    const Model *model; // compared, read only while it is in the scene
    const MeshPrimitiveData *mesh;
    QMatrix4x4 matrix;
    float wallMm;
    Lattice lattice;
    CWS::CavitySnapshot snapshot;
    std::atomic_bool cancel{false};
    ModelCavity result; // written by the thread, read after it finished
    std::unique_ptr<QThread> thread;
};

CavityBuilds::CavityBuilds(const Scene &scene, QObject *parent)
    : QObject(parent)
    , m_scene(scene)
{
}

CavityBuilds::~CavityBuilds()
{
    for (const auto &build : m_builds)
        build->cancel = true;
    for (const auto &build : m_builds)
        build->thread->wait();
}

bool CavityBuilds::building(const Model *model) const
{
    return std::any_of(m_builds.begin(), m_builds.end(),
                       [model](const auto &b) { return b->model == model && !b->cancel; });
}

void CavityBuilds::refresh()
{
    for (Model *model : m_scene.models()) {
        if (!model->hollowing.isHollow() || model->cavityFits())
            continue;
        bool going = false;
        for (const auto &b : m_builds) {
            if (b->model != model || b->cancel)
                continue;
            if (b->matches(*model))
                going = true;
            else
                b->cancel = true; // made for the model as it was
        }
        if (going)
            continue;
        qDebug() << "make the cavity of" << model->name << "wall" << model->hollowing.wallMm;
        auto build = std::make_unique<Build>(*model);
        Build *b = build.get();
        b->thread.reset(QThread::create([b] { b->result = b->snapshot.take(&b->cancel); }));
        connect(b->thread.get(), &QThread::finished, this, [this, b] { finish(b); }, Qt::QueuedConnection);
        m_builds.push_back(std::move(build));
        b->thread->start(QThread::LowPriority);
    }
}

void CavityBuilds::finish(Build *build)
{
    const auto it = std::find_if(m_builds.begin(), m_builds.end(), [build](const auto &b) { return b.get() == build; });
    if (it == m_builds.end())
        return;
    std::unique_ptr<Build> done = std::move(*it);
    m_builds.erase(it);
    done->thread->wait();
    // Only a model still in the scene is looked at: one that left may be gone.
    Model *model = nullptr;
    for (Model *m : m_scene.models()) {
        if (m == done->model)
            model = m;
    }
    if (done->cancel || !model || !done->matches(*model))
        return;
    model->cavity = done->result;
    model->updateBounds(true);
    Q_EMIT built(model);
}
