#include "supports/SupportPlanner.h"

#include <QDebug>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace CWS {

namespace {

// Brightest grey values only: the grey seam of an anti-aliased edge is not material.
constexpr uchar solidLevel = 250;

} // namespace

SupportPlanner::SupportPlanner(int width, int height, int spacingPx, int minGapLayers)
    : m_width(width)
    , m_height(height)
    , m_spacingPx(spacingPx)
    , m_minGapLayers(minGapLayers)
    , m_layerMap(size_t(width) * size_t(height), 0)
    , m_lastSolidMap(size_t(width) * size_t(height), 0)
    , m_visit(size_t(width) * size_t(height), 0)
{
}

std::vector<SupportLocation> SupportPlanner::addLayer(int layer, const uchar *pixels, qsizetype bytesPerLine,
                                                     QRect content)
{
    const auto value = quint16(layer);
    m_minX = m_minY = std::numeric_limits<int>::max();
    m_maxX = m_maxY = -1;
    m_runs.clear();
    const QRect whole(0, 0, m_width, m_height);
    content = content.isNull() ? whole : content.intersected(whole);
    for (int y = m_mapped.top(); y <= m_mapped.bottom(); ++y)
        std::fill_n(m_layerMap.begin() + long(size_t(y) * size_t(m_width) + size_t(m_mapped.left())),
                    m_mapped.width(), quint16(0));
    m_mapped = content;
    for (int y = content.top(); y <= content.bottom(); ++y) {
        const uchar *line = pixels + y * bytesPerLine;
        quint16 *map = &m_layerMap[size_t(y) * size_t(m_width)];
        bool anySolid = false;
        for (int x = content.left(); x <= content.right(); ++x) {
            const bool solid = line[x] >= solidLevel;
            map[x] = solid ? value : 0;
            anySolid |= solid;
        }
        // Layer 0 is all zero in the map: nothing to search or record.
        if (!anySolid || value == 0)
            continue;
        int first = content.left(), last = content.right();
        while (map[first] == 0)
            ++first;
        while (map[last] == 0)
            --last;
        m_minX = std::min(m_minX, first);
        m_maxX = std::max(m_maxX, last);
        m_minY = std::min(m_minY, y);
        m_maxY = y;
    }

    std::vector<SupportLocation> supports;
    m_islandCount = 0;
    if (layer >= 1) {
        const std::vector<Island> islands = findIslands();
        m_islandCount = int(islands.size());
        qDebug() << "island count" << m_islandCount;
        for (const Island &island : islands) {
            if (island.supportedPixels == 0)
                supportIsland(island, supports);
        }
    }

    // This layer's material is exactly its runs, and labels lie on runs only.
    for (const Run &run : m_runs) {
        const long begin = long(size_t(run.y) * size_t(m_width) + size_t(run.x0));
        std::fill_n(m_visit.begin() + begin, run.x1 - run.x0 + 1, 0u);
        std::fill_n(m_lastSolidMap.begin() + begin, run.x1 - run.x0 + 1, value);
    }
    return supports;
}

std::vector<SupportPlanner::Island> SupportPlanner::findIslands()
{
    // Islands are put together from runs of solid pixels, row by row: a run
    // joins every run of the row above that shares a column with it. Only
    // the islands that rest on nothing get their label painted into the
    // visit map, for supportIsland and clearAround.
    m_runs.clear();
    size_t previousBegin = 0, previousEnd = 0;
    for (int y = m_minY; y <= m_maxY; ++y) {
        const quint16 *map = &m_layerMap[size_t(y) * size_t(m_width)];
        const size_t begin = m_runs.size();
        for (int x = m_minX; x <= m_maxX; ++x) {
            if (map[x] == 0)
                continue;
            const int first = x;
            while (x < m_maxX && map[x + 1] != 0)
                ++x;
            m_runs.push_back({y, first, x, m_runs.size()});
        }
        for (size_t above = previousBegin, run = begin; above < previousEnd && run < m_runs.size();) {
            const Run &a = m_runs[above], &r = m_runs[run];
            if (a.x1 >= r.x0 && r.x1 >= a.x0)
                unite(above, run);
            if (a.x1 < r.x1)
                ++above;
            else
                ++run;
        }
        previousBegin = begin;
        previousEnd = m_runs.size();
    }

    // One island per root, found at its first pixel in the order of a
    // column by column scan: leftmost column, topmost row in it.
    std::vector<Island> islands;
    std::vector<size_t> islandOfRoot(m_runs.size(), std::numeric_limits<size_t>::max());
    std::vector<std::pair<int, int>> firstPixel;
    for (size_t i = 0; i < m_runs.size(); ++i) {
        const Run &run = m_runs[i];
        size_t &index = islandOfRoot[root(i)];
        if (index == std::numeric_limits<size_t>::max()) {
            index = islands.size();
            Island island;
            island.minX = island.minY = std::numeric_limits<int>::max();
            island.maxX = island.maxY = std::numeric_limits<int>::min();
            island.layer = m_layerMap[size_t(run.y) * size_t(m_width) + size_t(run.x0)];
            islands.push_back(island);
            firstPixel.emplace_back(run.x0, run.y);
        }
        Island &island = islands[index];
        firstPixel[index] = std::min(firstPixel[index], std::make_pair(run.x0, run.y));
        island.minX = std::min(island.minX, run.x0);
        island.maxX = std::max(island.maxX, run.x1);
        island.minY = std::min(island.minY, run.y);
        island.maxY = std::max(island.maxY, run.y);
        island.pixelCount += run.x1 - run.x0 + 1;
        const size_t row = size_t(run.y) * size_t(m_width);
        for (int x = run.x0; x <= run.x1; ++x) {
            if (m_layerMap[row + size_t(x)] == m_lastSolidMap[row + size_t(x)] + 1)
                ++island.supportedPixels;
        }
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
    for (size_t i = 0; i < m_runs.size(); ++i) {
        const Island &island = islands[islandOfRoot[root(i)]];
        if (island.supportedPixels != 0)
            continue;
        const Run &run = m_runs[i];
        std::fill_n(m_visit.begin() + long(size_t(run.y) * size_t(m_width) + size_t(run.x0)), run.x1 - run.x0 + 1,
                    island.label);
    }
    return found;
}

size_t SupportPlanner::root(size_t run)
{
    while (m_runs[run].parent != run) {
        m_runs[run].parent = m_runs[m_runs[run].parent].parent;
        run = m_runs[run].parent;
    }
    return run;
}

void SupportPlanner::unite(size_t a, size_t b)
{
    a = root(a);
    b = root(b);
    if (a != b)
        m_runs[std::max(a, b)].parent = std::min(a, b);
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

bool SupportPlanner::qualifies(int index, int layer) const
{
    const int below = m_lastSolidMap[size_t(index)];
    return below == 0 || layer - below >= m_minGapLayers;
}

void SupportPlanner::supportIsland(const Island &island, std::vector<SupportLocation> &supports)
{
    qDebug() << "add support for island that have no support at all" << island.label << island.pixelCount;
    if (island.maxX - island.minX < m_spacingPx && island.maxY - island.minY < m_spacingPx) {
        const int cx = (island.minX + island.maxX) / 2;
        const int cy = (island.minY + island.maxY) / 2;
        const int centre = cx + cy * m_width;
        if (m_layerMap[size_t(centre)] != 0 && qualifies(centre, island.layer)) {
            supports.push_back({cx, cy, m_layerMap[size_t(centre)], m_lastSolidMap[size_t(centre)]});
            return;
        }
    }
    for (int x = island.minX; x <= island.maxX; ++x) {
        for (int y = island.minY; y <= island.maxY; ++y) {
            const int index = x + y * m_width;
            if (m_visit[size_t(index)] != island.label || !qualifies(index, island.layer))
                continue;
            supports.push_back({x, y, island.layer, m_lastSolidMap[size_t(index)]});
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
