#include "workspace/UnsupportedRegions.h"

#include "geometry/Model.h"

#include <algorithm>
#include <cmath>

std::vector<double> UnsupportedRegions::state(const Model &model)
{
    std::vector<double> s{double(reinterpret_cast<quintptr>(model.mesh.get()))};
    for (const QVector3D &v : {model.translate, model.scale, model.rotate})
        s.insert(s.end(), {double(v.x()), double(v.y()), double(v.z())});
    // Columns come and go as whole objects: their addresses say which the model has.
    for (const Model *support : model.supports)
        s.push_back(double(reinterpret_cast<quintptr>(support)));
    return s;
}

void UnsupportedRegions::add(const Model &model, const CWS::UnsupportedRegion &region)
{
    m_entries.push_back({&model, state(model), region});
}

bool UnsupportedRegions::prune(const QList<Model *> &models)
{
    const auto gone = std::remove_if(m_entries.begin(), m_entries.end(), [&](const Entry &e) {
        // Compared by address only until it is known to be in the scene: a deleted model is not read.
        return !models.contains(const_cast<Model *>(e.model)) || state(*e.model) != e.state;
    });
    const bool any = gone != m_entries.end();
    m_entries.erase(gone, m_entries.end());
    return any;
}

std::vector<CWS::PrintFinding> UnsupportedRegions::findings(const QList<Model *> &models, float layerThickness) const
{
    std::vector<CWS::PrintFinding> out;
    for (const Entry &e : m_entries) {
        int index = 0;
        for (const Model *m : models) {
            if (m == e.model)
                break;
            index += m->type == TYPE_NORMAL;
        }
        const CWS::UnsupportedRegion &r = e.region;
        CWS::PrintFinding f;
        f.kind = CWS::PrintFinding::Unsupported;
        f.firstLayer = layerThickness > 0 ? std::max(0, int(std::floor(r.lowest.z() / layerThickness))) : 0;
        f.lastLayer = layerThickness > 0 ? std::max(f.firstLayer, int(std::floor(r.topZ / layerThickness))) : 0;
        f.bottomMm = double(r.lowest.z());
        f.topMm = double(r.topZ);
        f.xMm = r.extent.center().x();
        f.yMm = r.extent.center().y();
        f.areaMm2 = r.extent.width() * r.extent.height();
        f.model = index;
        f.reason = QString::fromLatin1(r.reason);
        out.push_back(f);
    }
    return out;
}
