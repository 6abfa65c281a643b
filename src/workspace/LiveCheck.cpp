#include "workspace/LiveCheck.h"

#include "geometry/Model.h"
#include "slicing/PrintCheckRun.h"

#include <cmath>

LiveCheck::LiveCheck(int delayMs, QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(delayMs);
    connect(&m_timer, &QTimer::timeout, this, &LiveCheck::due);
}

// The checks still winding down are children: deleting them waits for them.
LiveCheck::~LiveCheck() = default;

std::vector<double> LiveCheck::signature(const SliceBuildConfig &config, const QList<Model *> &models)
{
    std::vector<double> s{config.layerThickness, double(config.resolutionX), double(config.resolutionY),
                          config.pixelsPerMmX, config.pixelsPerMmY, double(config.offsetX), double(config.offsetY)};
    for (const Model *m : models) {
        s.push_back(double(reinterpret_cast<quintptr>(m)));
        s.push_back(double(reinterpret_cast<quintptr>(m->mesh.get())));
        s.push_back(m->type);
        for (const QVector3D &v : {m->boundMin, m->boundMax, m->translate, m->scale, m->rotate})
            s.insert(s.end(), {v.x(), v.y(), v.z()});
        s.insert(s.end(), {m->hollowing.wallMm, m->hollowing.lattice.spacingMm, m->hollowing.lattice.wallMm,
                           double(reinterpret_cast<quintptr>(m->cavity.mesh.get()))});
        for (const DrainHole &h : m->hollowing.drainHoles)
            s.insert(s.end(), {h.position.x(), h.position.y(), h.position.z(), h.diameterMm});
    }
    return s;
}

void LiveCheck::retire()
{
    if (!m_run)
        return;
    // Not waited for here: the run reads only its own snapshot and goes
    // once its jobs under way have ended.
    m_run->disconnect(this);
    m_run->cancel();
    connect(m_run, &QThread::finished, m_run, &QObject::deleteLater);
    if (m_run->isFinished())
        m_run->deleteLater();
    m_run = nullptr;
}

void LiveCheck::changed(const SliceBuildConfig &config, const QList<Model *> &models)
{
    if (signature(config, models) == m_checked)
        return;
    retire();
    m_checked.clear();
    m_timer.start();
}

void LiveCheck::stop()
{
    m_timer.stop();
    retire();
    m_checked.clear();
}

void LiveCheck::start(const SliceBuildConfig &config, const QList<Model *> &models, int layers)
{
    std::vector<double> s = signature(config, models);
    if (s == m_checked)
        return;
    retire();
    m_checked = std::move(s);
    m_run = new CWS::PrintCheckRun(config, models, layers, false, 1.0f, this);
    connect(m_run, &QThread::finished, this, [this] {
        m_findings = m_run->findings();
        m_run->deleteLater();
        m_run = nullptr;
        Q_EMIT done();
    });
    m_run->start(QThread::LowPriority);
}

bool LiveCheck::mark(const QList<Model *> &models, const std::vector<CWS::PrintFinding> &findings)
{
    bool changed = false;
    int index = 0;
    for (Model *model : models) {
        if (model->type != TYPE_NORMAL)
            continue;
        std::vector<QVector4D> marks;
        for (const CWS::PrintFinding &f : findings) {
            if (f.model != index
                || (f.kind != CWS::PrintFinding::Island && f.kind != CWS::PrintFinding::Overhang
                    && f.kind != CWS::PrintFinding::Unsupported))
                continue;
            // The disc of the finding's area, and a millimetre around it so
            // that a small island still shows.
            const double radius = std::sqrt(f.areaMm2 / M_PI) + 1.0;
            marks.emplace_back(float(f.xMm), float(f.yMm), float(f.bottomMm), float(radius));
        }
        changed |= model->checkMarks != marks;
        model->checkMarks = std::move(marks);
        ++index;
    }
    return changed;
}
