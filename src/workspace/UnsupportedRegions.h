#pragma once

#include "slicing/PrintCheck.h"
#include "supports/OverhangPlanner.h"

#include <QList>

#include <vector>

class Model;

// The regions the last support run of each model could not hold, for the
// print check's list. Each stays until its model is supported anew or
// edited: moved, turned, scaled, mirrored, or its columns changed (removed,
// added, undone). GUI thread.
class UnsupportedRegions
{
public:
    // Forgets every region (a new run begins).
    void clear() { m_entries.clear(); }
    // A region of model as the model stands now, its columns included.
    void add(const Model &model, const CWS::UnsupportedRegion &region);
    // Forgets the regions of models gone from models or changed since;
    // true when any went.
    bool prune(const QList<Model *> &models);
    // The regions as findings of kind Unsupported: model indexes the normal
    // models of models in list order (as the check's footprints do), the
    // layers are those of layerThickness (mm).
    std::vector<CWS::PrintFinding> findings(const QList<Model *> &models, float layerThickness) const;
    bool empty() const { return m_entries.empty(); }

private:
    struct Entry
    {
        const Model *model;
        std::vector<double> state;
        CWS::UnsupportedRegion region;
    };
    static std::vector<double> state(const Model &model);

    std::vector<Entry> m_entries;
};
