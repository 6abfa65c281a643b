#include "workspace/SkylinePacker.h"

#include <QDebug>

#include <algorithm>
#include <cstddef>

namespace {
// The margin plus the one grid point by which an inclusive footprint is
// longer than its extent.
constexpr int marginAndEdge = SkylinePacker::margin + 1;
constexpr float usableWidth = 0.999f;
} // namespace

LayoutGrid::LayoutGrid(const LcdSpec &lcd)
    : lcd(lcd)
    , width(int(lcd.widthMm * lcd.pixelsPerMmX) + 1)
    , depth(int(lcd.heightMm * lcd.pixelsPerMmY) + 1)
{
}

int LayoutGrid::toGridX(float xMm) const
{
    return int((lcd.widthMm / 2 + xMm) * lcd.pixelsPerMmX);
}

int LayoutGrid::toGridY(float yMm) const
{
    return int((lcd.heightMm / 2 + yMm) * lcd.pixelsPerMmY);
}

Footprint LayoutGrid::footprint(const QVector3D &boundMin, const QVector3D &boundMax) const
{
    return {toGridX(boundMax.x()) - toGridX(boundMin.x()), toGridY(boundMax.y()) - toGridY(boundMin.y())};
}

SkylinePacker::SkylinePacker(int width, int depth)
    : m_width(width)
    , m_depth(depth)
    , m_skyline{{0, 0, int(float(width) * usableWidth)}}
{
}

bool SkylinePacker::place(const Footprint &footprint, Placement &placement)
{
    return place(footprint, {footprint.d, footprint.w}, placement);
}

bool SkylinePacker::place(const Footprint &upright, const Footprint &turned, Placement &placement)
{
    bool found = false;
    Candidate best;
    const auto consider = [&](const Candidate &candidate) {
        // Strictly lower only: the first of equal candidates wins.
        if (!found || candidate.top < best.top) {
            best = candidate;
            found = true;
        }
    };
    for (size_t i = 0; i < m_skyline.size(); ++i) {
        Candidate candidate;
        if (candidateAt(i, upright.w, upright.d, false, candidate))
            consider(candidate);
        if (candidateAt(i, turned.w, turned.d, true, candidate))
            consider(candidate);
    }
    if (!found) {
        qWarning() << "No space left to layout";
        return false;
    }
    if (best.rotated)
        occupy(best, turned.w, turned.d);
    else
        occupy(best, upright.w, upright.d);
    m_maxRight = std::max(m_maxRight, m_skyline[best.segment].x1);
    m_maxTop = std::max(m_maxTop, best.top);
    placement = {best.x, best.y, best.rotated};
    return true;
}

bool SkylinePacker::candidateAt(size_t start, int alongX, int alongY, bool rotated, Candidate &candidate) const
{
    const int h = m_skyline[start].height;
    int sum = 0;
    for (size_t j = start; j < m_skyline.size(); ++j) {
        // The footprint would rest on this stretch at height h and cut into it.
        if (m_skyline[j].height > h) {
            qDebug() << "the next line is too high";
            return false;
        }
        sum += m_skyline[j].x1 - m_skyline[j].x0;
        if (sum >= alongX + marginAndEdge) {
            // Placed behind its front margin, the footprint must end on the grid.
            const int top = h + alongY + 1;
            if (top + margin > m_depth)
                return false;
            candidate = {start, m_skyline[start].x0 + margin, h + margin, rotated, top};
            return true;
        }
    }
    return false;
}

void SkylinePacker::occupy(const Candidate &candidate, int alongX, int alongY)
{
    SkylineSegment &chosen = m_skyline[candidate.segment];
    const int h = chosen.height;
    const int x0 = chosen.x0;
    const int x1 = chosen.x1;
    const int k = alongX + marginAndEdge;
    chosen.height = h + alongY + marginAndEdge;
    chosen.x1 = x0 + k;
    const auto next = m_skyline.begin() + std::ptrdiff_t(candidate.segment) + 1;
    if (k < x1 - x0) {
        m_skyline.insert(next, {h, x0 + k, x1});
        return;
    }
    // The footprint spans lower stretches to the right: those it covers
    // entirely go, the first one it only partly covers is shortened.
    int total = x1 - x0;
    auto it = next;
    while (it != m_skyline.end()) {
        total += it->x1 - it->x0;
        if (total > k) {
            it->x0 = x0 + k;
            break;
        }
        ++it;
    }
    m_skyline.erase(next, it);
}

QPoint SkylinePacker::centringOffset() const
{
    // Along y the arrangement reaches margin beyond maxTop, so half the room
    // can be too much; along x maxRight already counts the left margin.
    return {m_maxRight < m_width ? (m_width - m_maxRight) / 2 : 0,
            m_maxTop < m_depth ? std::min((m_depth - m_maxTop) / 2, m_depth - m_maxTop - margin) : 0};
}
