#pragma once

#include "slicing/PrintCheck.h"

#include <QImage>

#include <condition_variable>
#include <map>
#include <mutex>

namespace CWS {

// Hands layer images that arrive in any order, from several threads, to a
// PrintCheck in layer order. Each thread reads its image into runs, in
// parallel, and keeps no image: a layer waits as runs until every layer below
// it has come, and the check runs on whichever thread delivered the next
// layer in order, one thread at a time. When the check
// falls behind, a thread delivering a layer waits while more than a few
// layers wait, so that memory stays flat: drawing slows to the check's pace.
class PrintCheckFeed
{
public:
    PrintCheckFeed(const SliceBuildConfig &config, std::vector<ModelFootprint> footprints);

    // Any thread; each layer index once, from 0 up. rows: as for
    // PrintCheck::addLayer.
    void add(const QImage &image, int layerIndex, std::pair<int, int> rows);
    // Once every layer has been added and no add runs: the findings.
    std::vector<PrintFinding> finish();

private:
    PrintCheck m_check;
    std::mutex m_mutex;
    struct Runs
    {
        bool fits; // the image was of the raster's size
        RowRuns lit, solid;
    };
    std::map<int, Runs> m_waiting; // under m_mutex
    int m_next = 0;                  // under m_mutex
    bool m_checking = false;         // under m_mutex: a thread is feeding the check
    std::condition_variable m_taken; // a waiting layer went to the check, or the feeding stopped
};

} // namespace CWS
