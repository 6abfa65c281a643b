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

std::vector<SupportLocation> SupportPlanner::addLayer(int layer, const uchar *pixels, qsizetype bytesPerLine)
{
    const auto value = quint16(layer);
    m_minX = m_minY = std::numeric_limits<int>::max();
    m_maxX = m_maxY = -1;
    for (int y = 0; y < m_height; ++y) {
        const uchar *line = pixels + y * bytesPerLine;
        quint16 *map = &m_layerMap[size_t(y) * size_t(m_width)];
        int first = -1, last = -1;
        for (int x = 0; x < m_width; ++x) {
            const bool solid = line[x] >= solidLevel;
            map[x] = solid ? value : 0;
            if (solid) {
                first = first < 0 ? x : first;
                last = x;
            }
        }
        // Layer 0 is all zero in the map: nothing to search or record.
        if (first >= 0 && value != 0) {
            m_minX = std::min(m_minX, first);
            m_maxX = std::max(m_maxX, last);
            m_minY = std::min(m_minY, y);
            m_maxY = y;
        }
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

    // Labels only exist inside the box: clearing it leaves the whole visit map zero.
    for (int y = m_minY; y <= m_maxY; ++y) {
        const size_t row = size_t(y) * size_t(m_width);
        std::fill(m_visit.begin() + long(row) + m_minX, m_visit.begin() + long(row) + m_maxX + 1, 0u);
        for (int x = m_minX; x <= m_maxX; ++x) {
            if (m_layerMap[row + size_t(x)] != 0)
                m_lastSolidMap[row + size_t(x)] = m_layerMap[row + size_t(x)];
        }
    }
    return supports;
}

std::vector<SupportPlanner::Island> SupportPlanner::findIslands()
{
    std::vector<Island> islands;
    quint32 label = 1;
    for (int x = m_minX; x <= m_maxX; ++x) {
        for (int y = m_minY; y <= m_maxY; ++y) {
            const int index = x + y * m_width;
            if (m_layerMap[size_t(index)] == 0 || m_visit[size_t(index)] != 0)
                continue;
            Island island;
            island.label = label++;
            island.minX = island.minY = std::numeric_limits<int>::max();
            island.maxX = island.maxY = std::numeric_limits<int>::min();
            island.layer = m_layerMap[size_t(index)];
            flood(island, x, y);
            islands.push_back(island);
        }
    }
    return islands;
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

void SupportPlanner::flood(Island &island, int seedX, int seedY)
{
    const auto visit = [&](int x, int y) {
        const int index = x + y * m_width;
        m_visit[size_t(index)] = island.label;
        m_next.push_back({x, y});
        island.minX = std::min(island.minX, x);
        island.maxX = std::max(island.maxX, x);
        island.minY = std::min(island.minY, y);
        island.maxY = std::max(island.maxY, y);
        ++island.pixelCount;
        if (m_layerMap[size_t(index)] == m_lastSolidMap[size_t(index)] + 1)
            ++island.supportedPixels;
    };
    const auto reach = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height)
            return;
        const int index = x + y * m_width;
        if (m_layerMap[size_t(index)] != 0 && m_visit[size_t(index)] == 0)
            visit(x, y);
    };

    m_next.clear();
    visit(seedX, seedY);
    spread(reach);
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
