#include "supports/VerticalRays.h"

#include "geometry/Model.h"

#include <QMatrix4x4>

#include <algorithm>
#include <cmath>
#include <limits>

namespace CWS {

VerticalRays::VerticalRays(const std::vector<const Model *> &models, float cellMm)
    : m_cell(cellMm)
{
    float x0 = std::numeric_limits<float>::max(), y0 = x0;
    float x1 = -x0, y1 = -x0;
    for (size_t m = 0; m < models.size(); ++m) {
        const Model &model = *models[m];
        if (!model.mesh)
            continue;
        const QMatrix4x4 matrix = model.modelMatrix();
        const auto &v = model.mesh->vertices;
        const auto &idx = model.mesh->indices;
        for (size_t i = 0; i + 2 < idx.size(); i += 3) {
            if (idx[i] >= v.size() || idx[i + 1] >= v.size() || idx[i + 2] >= v.size())
                continue;
            Triangle t;
            QVector3D *corner[3] = {&t.a, &t.b, &t.c};
            for (int k = 0; k < 3; ++k) {
                const MeshVertex &p = v[idx[i + size_t(k)]];
                *corner[k] = matrix.map(QVector3D(p.x, p.y, p.z));
            }
            const QVector3D n = QVector3D::crossProduct(t.b - t.a, t.c - t.a);
            if (n.lengthSquared() <= 0)
                continue;
            t.normal = n.normalized();
            m_triangles.push_back(t);
            m_owners.push_back(int(m));
            for (const QVector3D *p : corner) {
                x0 = std::min(x0, p->x());
                y0 = std::min(y0, p->y());
                x1 = std::max(x1, p->x());
                y1 = std::max(y1, p->y());
            }
        }
    }
    if (m_triangles.empty())
        return;
    m_x0 = x0;
    m_y0 = y0;
    m_columns = int((x1 - x0) / m_cell) + 1;
    m_rows = int((y1 - y0) / m_cell) + 1;
    m_cells.resize(size_t(m_columns) * size_t(m_rows));
    for (size_t i = 0; i < m_triangles.size(); ++i) {
        const Triangle &t = m_triangles[i];
        const int c0 = int((std::min({t.a.x(), t.b.x(), t.c.x()}) - m_x0) / m_cell);
        const int c1 = int((std::max({t.a.x(), t.b.x(), t.c.x()}) - m_x0) / m_cell);
        const int r0 = int((std::min({t.a.y(), t.b.y(), t.c.y()}) - m_y0) / m_cell);
        const int r1 = int((std::max({t.a.y(), t.b.y(), t.c.y()}) - m_y0) / m_cell);
        for (int r = r0; r <= std::min(r1, m_rows - 1); ++r) {
            for (int c = c0; c <= std::min(c1, m_columns - 1); ++c)
                m_cells[size_t(r) * size_t(m_columns) + size_t(c)].push_back(int(i));
        }
    }
}

std::vector<VerticalRays::Hit> VerticalRays::crossings(float x, float y) const
{
    std::vector<Hit> hits;
    const int c = int(std::floor((x - m_x0) / m_cell));
    const int r = int(std::floor((y - m_y0) / m_cell));
    if (c < 0 || r < 0 || c >= m_columns || r >= m_rows)
        return hits;
    for (int i : m_cells[size_t(r) * size_t(m_columns) + size_t(c)]) {
        const Triangle &t = m_triangles[size_t(i)];
        if (std::fabs(t.normal.z()) < 1e-6f)
            continue; // a wall: the line grazes it at most
        // Half-open edge rule: a line through a shared edge counts once.
        const double ax = t.a.x() - x, ay = t.a.y() - y;
        const double bx = t.b.x() - x, by = t.b.y() - y;
        const double cx = t.c.x() - x, cy = t.c.y() - y;
        const double w0 = bx * cy - by * cx;
        const double w1 = cx * ay - cy * ax;
        const double w2 = ax * by - ay * bx;
        const bool pos = w0 >= 0 && w1 >= 0 && w2 >= 0;
        const bool neg = w0 <= 0 && w1 <= 0 && w2 <= 0;
        if (!pos && !neg)
            continue;
        const double sum = w0 + w1 + w2;
        if (sum == 0)
            continue;
        const double z = (w0 * t.a.z() + w1 * t.b.z() + w2 * t.c.z()) / sum;
        hits.push_back({float(z), t.normal});
    }
    std::sort(hits.begin(), hits.end(), [](const Hit &a, const Hit &b) { return a.z < b.z; });
    // A line through an edge or corner meets each triangle there: one crossing.
    std::vector<Hit> unique;
    for (const Hit &h : hits) {
        if (!unique.empty() && std::fabs(unique.back().z - h.z) < 1e-4f && unique.back().up() == h.up())
            continue;
        unique.push_back(h);
    }
    return unique;
}

VerticalRays::Hit VerticalRays::below(float x, float y, float z) const
{
    Hit best{-std::numeric_limits<float>::infinity(), QVector3D()};
    for (const Hit &h : crossings(x, y)) {
        if (h.z < z)
            best = h;
    }
    return best;
}

bool VerticalRays::inside(const QVector3D &point) const
{
    // The lowest crossing above that faces up means material around the point.
    // Where two parts meet, a top and an underside share a height: the top counts.
    float first = std::numeric_limits<float>::infinity();
    bool up = false;
    for (const Hit &h : crossings(point.x(), point.y())) {
        if (h.z <= point.z() || h.z > first + 1e-4f)
            continue;
        first = std::min(first, h.z);
        up = up || h.up();
    }
    return up;
}

} // namespace CWS
