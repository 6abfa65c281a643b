#include "supports/SupportPlanner.h"

#include <QDebug>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace CWS {

SupportPlanner::SupportPlanner(int width, int height, int spacingPx, int minGapLayers)
    : m_width(width)
    , m_height(height)
    , m_spacingPx(spacingPx)
    , m_minGapLayers(minGapLayers)
    , m_solidUntil(size_t(width) * size_t(height), 0)
    , m_visit(size_t(width) * size_t(height), 0)
{
}

std::vector<SupportLocation> SupportPlanner::addLayer(int layer, RowRuns solid)
{
    m_solid = std::move(solid);
    std::vector<SupportLocation> supports;
    m_islandCount = 0;
    // Layer 0 is neither searched nor recorded.
    if (layer >= 1) {
        const std::vector<Island> islands = findIslands(layer);
        m_islandCount = int(islands.size());
        for (const Island &island : islands) {
            if (island.supportedPixels == 0)
                supportIsland(island, supports);
        }
        for (size_t i : m_labelled) {
            const PixelRun &run = m_solid.runs()[i];
            std::fill_n(m_visit.begin() + long(size_t(run.row) * size_t(m_width) + size_t(run.begin)), run.length(),
                        0u);
        }
    }
    // Where the last layer's material ends its stretch is all the map has to
    // learn: writing every solid pixel of every layer cost most of the run
    // for a model of a large cross-section.
    if (m_previousLayer >= 1) {
        const auto until = [this](int row, int begin, int end) {
            std::fill_n(m_solidUntil.begin() + long(size_t(row) * size_t(m_width) + size_t(begin)), end - begin,
                        quint16(m_previousLayer));
        };
        for (const PixelRun &run : m_previous.runs()) {
            const PixelRun *cover = m_solid.rowBegin(run.row), *last = m_solid.rowEnd(run.row);
            cover = std::partition_point(cover, last, [&run](const PixelRun &r) { return r.end <= run.begin; });
            int x = run.begin;
            for (; cover != last && cover->begin < run.end; ++cover) {
                if (cover->begin > x)
                    until(run.row, x, cover->begin);
                x = cover->end;
            }
            if (x < run.end)
                until(run.row, x, run.end);
        }
    }
    std::swap(m_previous, m_solid);
    m_previousLayer = layer;
    return supports;
}

std::vector<SupportPlanner::Island> SupportPlanner::findIslands(int layer)
{
    // Islands are put together from the runs, row by row: a run joins every
    // run of the row above that shares a column with it. Only the islands
    // that rest on nothing get their label painted into the visit map, for
    // supportIsland and clearAround.
    const std::vector<PixelRun> &runs = m_solid.runs();
    m_parent.resize(runs.size());
    for (size_t i = 0; i < runs.size(); ++i)
        m_parent[i] = i;
    size_t previousBegin = 0, previousEnd = 0; // the runs of the last row
    for (size_t begin = 0; begin < runs.size();) {
        const int y = runs[begin].row;
        size_t end = begin;
        while (end < runs.size() && runs[end].row == y)
            ++end;
        if (previousBegin < previousEnd && runs[previousBegin].row == y - 1) {
            for (size_t above = previousBegin, run = begin; above < previousEnd && run < end;) {
                const PixelRun &a = runs[above], &r = runs[run];
                if (a.end > r.begin && r.end > a.begin)
                    unite(above, run);
                if (a.end < r.end)
                    ++above;
                else
                    ++run;
            }
        }
        previousBegin = begin;
        previousEnd = begin = end;
    }

    // Layer 0 is never recorded as material below: every pixel of layer 1
    // counts as resting on it. Otherwise only the layer just below holds.
    const bool allSupported = layer == 1;
    const bool below = m_previousLayer == layer - 1;

    // One island per root, found at its first pixel in the order of a
    // column by column scan: leftmost column, topmost row in it.
    std::vector<Island> islands;
    std::vector<size_t> islandOfRoot(runs.size(), std::numeric_limits<size_t>::max());
    std::vector<std::pair<int, int>> firstPixel;
    for (size_t i = 0; i < runs.size(); ++i) {
        const PixelRun &run = runs[i];
        size_t &index = islandOfRoot[root(i)];
        if (index == std::numeric_limits<size_t>::max()) {
            index = islands.size();
            Island island;
            island.minX = island.minY = std::numeric_limits<int>::max();
            island.maxX = island.maxY = std::numeric_limits<int>::min();
            island.layer = layer;
            islands.push_back(island);
            firstPixel.emplace_back(run.begin, run.row);
        }
        Island &island = islands[index];
        firstPixel[index] = std::min(firstPixel[index], std::make_pair(run.begin, run.row));
        island.minX = std::min(island.minX, run.begin);
        island.maxX = std::max(island.maxX, run.end - 1);
        island.minY = std::min(island.minY, run.row);
        island.maxY = std::max(island.maxY, run.row);
        island.pixelCount += run.length();
        if (allSupported)
            island.supportedPixels += run.length();
        else if (below)
            island.supportedPixels
                += RowRuns::overlap(run, m_previous.rowBegin(run.row), m_previous.rowEnd(run.row));
    }
    std::vector<size_t> order(islands.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&firstPixel](size_t a, size_t b) { return firstPixel[a] < firstPixel[b]; });
    std::vector<Island> found;
    found.reserve(islands.size());
    for (size_t i : order) {
        islands[i].label = quint32(found.size() + 1);
        found.push_back(islands[i]);
    }
    m_labelled.clear();
    for (size_t i = 0; i < runs.size(); ++i) {
        const Island &island = islands[islandOfRoot[root(i)]];
        if (island.supportedPixels != 0)
            continue;
        const PixelRun &run = runs[i];
        std::fill_n(m_visit.begin() + long(size_t(run.row) * size_t(m_width) + size_t(run.begin)), run.length(),
                    island.label);
        m_labelled.push_back(i);
    }
    return found;
}

size_t SupportPlanner::root(size_t run)
{
    while (m_parent[run] != run) {
        m_parent[run] = m_parent[m_parent[run]];
        run = m_parent[run];
    }
    return run;
}

void SupportPlanner::unite(size_t a, size_t b)
{
    a = root(a);
    b = root(b);
    if (a != b)
        m_parent[std::max(a, b)] = std::min(a, b);
}

template<typename Reach>
void SupportPlanner::spread(const Reach &reach)
{
    // Generation by generation rather than recursion: a recursion as deep as
    // a large island is wide would overflow the stack.
    while (!m_next.empty()) {
        m_frontier.swap(m_next);
        m_next.clear();
        for (const Pixel &p : m_frontier) {
            reach(p.x + 1, p.y);
            reach(p.x, p.y + 1);
            reach(p.x - 1, p.y);
            reach(p.x, p.y - 1);
        }
    }
}

bool SupportPlanner::qualifies(int x, int y, int layer) const
{
    const int below = lastSolid(x, y);
    return below == 0 || layer - below >= m_minGapLayers;
}

int SupportPlanner::lastSolid(int x, int y) const
{
    const PixelRun pixel{y, x, x + 1};
    if (m_previousLayer >= 1 && RowRuns::overlap(pixel, m_previous.rowBegin(y), m_previous.rowEnd(y)) != 0)
        return m_previousLayer;
    return m_solidUntil[size_t(y) * size_t(m_width) + size_t(x)];
}

bool SupportPlanner::solidAt(int x, int y) const
{
    const PixelRun pixel{y, x, x + 1};
    return RowRuns::overlap(pixel, m_solid.rowBegin(y), m_solid.rowEnd(y)) != 0;
}

void SupportPlanner::supportIsland(const Island &island, std::vector<SupportLocation> &supports)
{
    qDebug() << "add support for island that have no support at all" << island.label << island.pixelCount;
    if (island.maxX - island.minX < m_spacingPx && island.maxY - island.minY < m_spacingPx) {
        const int cx = (island.minX + island.maxX) / 2;
        const int cy = (island.minY + island.maxY) / 2;
        if (solidAt(cx, cy) && qualifies(cx, cy, island.layer)) {
            supports.push_back({cx, cy, island.layer, lastSolid(cx, cy)});
            return;
        }
    }
    for (int x = island.minX; x <= island.maxX; ++x) {
        for (int y = island.minY; y <= island.maxY; ++y) {
            if (m_visit[size_t(x + y * m_width)] != island.label || !qualifies(x, y, island.layer))
                continue;
            supports.push_back({x, y, island.layer, lastSolid(x, y)});
            clearAround(x, y, island.label);
        }
    }
}

void SupportPlanner::clearAround(int seedX, int seedY, quint32 label)
{
    const auto reach = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height || std::abs(x - seedX) > m_spacingPx
            || std::abs(y - seedY) > m_spacingPx)
            return;
        const int index = x + y * m_width;
        if (m_visit[size_t(index)] == label) {
            m_visit[size_t(index)] = 0;
            m_next.push_back({x, y});
        }
    };

    m_next.clear();
    reach(seedX, seedY);
    spread(reach);
}

} // namespace CWS
