#include "supports/OverhangPlanner.h"

#include "supports/VerticalRays.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace CWS {

namespace {

struct Contact
{
    QVector3D point;
    QVector3D normal;
};

// Contacts filed by their x, y cell, for asking what lies near a point.
class ContactIndex
{
public:
    explicit ContactIndex(float cell)
        : m_cell(cell)
    {
    }
    // Whether a contact lies within xy of point across the platform and
    // within dz of its height.
    bool near(const QVector3D &point, float xy, float dz) const
    {
        const int reach = int(std::ceil(xy / m_cell));
        const qint64 cx = cell(point.x()), cy = cell(point.y());
        for (qint64 y = cy - reach; y <= cy + reach; ++y) {
            for (qint64 x = cx - reach; x <= cx + reach; ++x) {
                const auto it = m_cells.find(key(x, y));
                if (it == m_cells.end())
                    continue;
                for (const QVector3D &q : it->second) {
                    const float dx = q.x() - point.x(), dy = q.y() - point.y();
                    if (dx * dx + dy * dy <= xy * xy && std::fabs(q.z() - point.z()) <= dz)
                        return true;
                }
            }
        }
        return false;
    }
    void add(const QVector3D &point) { m_cells[key(cell(point.x()), cell(point.y()))].push_back(point); }

private:
    qint64 cell(float v) const { return qint64(std::floor(v / m_cell)); }
    // Unsigned: shifting a negative cell number is undefined.
    static quint64 key(qint64 x, qint64 y) { return (quint64(x) << 32) ^ (quint64(y) & 0xffffffffu); }
    float m_cell;
    std::unordered_map<quint64, std::vector<QVector3D>> m_cells;
};

// Barycentric weights of (x, y) in the triangle's projection; all >= -eps inside.
bool weights(const VerticalRays::Triangle &t, float x, float y, double w[3])
{
    const double d = double(t.b.y() - t.c.y()) * (t.a.x() - t.c.x()) + double(t.c.x() - t.b.x()) * (t.a.y() - t.c.y());
    if (std::fabs(d) < 1e-12)
        return false;
    w[0] = (double(t.b.y() - t.c.y()) * (x - t.c.x()) + double(t.c.x() - t.b.x()) * (y - t.c.y())) / d;
    w[1] = (double(t.c.y() - t.a.y()) * (x - t.c.x()) + double(t.a.x() - t.c.x()) * (y - t.c.y())) / d;
    w[2] = 1 - w[0] - w[1];
    const double eps = 1e-6;
    return w[0] >= -eps && w[1] >= -eps && w[2] >= -eps;
}

QVector3D at(const VerticalRays::Triangle &t, const double w[3])
{
    return QVector3D(float(w[0] * t.a.x() + w[1] * t.b.x() + w[2] * t.c.x()),
                     float(w[0] * t.a.y() + w[1] * t.b.y() + w[2] * t.c.y()),
                     float(w[0] * t.a.z() + w[1] * t.b.z() + w[2] * t.c.z()));
}

// The lowest points of the parts of a mesh that start in mid-air: vertices
// (welded by position) with no lower neighbour and a face pointing down
// among their own, a flat run of such vertices taken as one; a run's edges
// are sampled every step.
std::vector<Contact> minima(const std::vector<const VerticalRays::Triangle *> &triangles, float step)
{
    struct Vertex
    {
        QVector3D p;
        QVector3D down; // area-weighted normals of the faces around it pointing down
        std::vector<int> neighbours;
    };
    std::vector<Vertex> vertices;
    struct Key
    {
        qint64 x, y, z;
        bool operator==(const Key &o) const { return x == o.x && y == o.y && z == o.z; }
    };
    struct KeyHash
    {
        size_t operator()(const Key &k) const
        {
            return size_t(k.x * 73856093) ^ size_t(k.y * 19349663) ^ size_t(k.z * 83492791);
        }
    };
    std::unordered_map<Key, int, KeyHash> ids;
    ids.reserve(triangles.size() * 2);
    // Corners closer than a micrometre are one vertex.
    auto id = [&](const QVector3D &p) {
        const Key key{qRound64(double(p.x()) * 1000), qRound64(double(p.y()) * 1000), qRound64(double(p.z()) * 1000)};
        const auto it = ids.find(key);
        if (it != ids.end())
            return it->second;
        vertices.push_back({p, QVector3D(), {}});
        ids.emplace(key, int(vertices.size()) - 1);
        return int(vertices.size()) - 1;
    };
    for (const VerticalRays::Triangle *t : triangles) {
        const int c[3] = {id(t->a), id(t->b), id(t->c)};
        const QVector3D area = QVector3D::crossProduct(t->b - t->a, t->c - t->a);
        for (int k = 0; k < 3; ++k) {
            Vertex &v = vertices[size_t(c[k])];
            if (t->normal.z() < -0.01f)
                v.down += area;
            for (int j = 1; j <= 2; ++j) {
                const int other = c[(k + j) % 3];
                if (std::find(v.neighbours.begin(), v.neighbours.end(), other) == v.neighbours.end())
                    v.neighbours.push_back(other);
            }
        }
    }
    const float flat = 1e-4f;
    std::vector<char> low(vertices.size(), 0);
    for (size_t i = 0; i < vertices.size(); ++i) {
        const Vertex &v = vertices[i];
        low[i] = v.down.z() < 0 && std::all_of(v.neighbours.begin(), v.neighbours.end(), [&](int n) {
                     return vertices[size_t(n)].p.z() >= v.p.z() - flat;
                 });
    }
    std::vector<Contact> out;
    std::vector<char> seen(vertices.size(), 0);
    for (size_t i = 0; i < vertices.size(); ++i) {
        if (!low[i] || seen[i])
            continue;
        // The flat run around it: a minimum only when none of it has a lower neighbour.
        std::vector<int> run{int(i)};
        seen[i] = 1;
        bool minimum = true;
        for (size_t k = 0; k < run.size(); ++k) {
            const Vertex &v = vertices[size_t(run[k])];
            for (int n : v.neighbours) {
                const Vertex &w = vertices[size_t(n)];
                if (std::fabs(w.p.z() - v.p.z()) > flat || seen[size_t(n)])
                    continue;
                seen[size_t(n)] = 1;
                minimum = minimum && low[size_t(n)];
                run.push_back(n);
            }
        }
        if (!minimum || !low[i])
            continue;
        QVector3D down;
        for (int r : run)
            down += vertices[size_t(r)].down;
        const QVector3D normal = down.normalized();
        if (run.size() == 1) {
            out.push_back({vertices[i].p, normal});
            continue;
        }
        for (int r : run) {
            const Vertex &v = vertices[size_t(r)];
            out.push_back({v.p, normal});
            for (int n : v.neighbours) {
                if (n < r || std::find(run.begin(), run.end(), n) == run.end())
                    continue;
                const QVector3D &q = vertices[size_t(n)].p;
                const int pieces = int(std::ceil((q - v.p).length() / step));
                for (int k = 1; k < pieces; ++k)
                    out.push_back({v.p + (q - v.p) * (float(k) / pieces), normal});
            }
        }
    }
    return out;
}

} // namespace

OverhangPlanner::OverhangPlanner(const SupportShape &shape, const VerticalRays &scene, const QRectF &platform)
    : m_shape(shape)
    , m_scene(scene)
    , m_platform(platform)
{
}

std::vector<SupportPlacement> OverhangPlanner::plan(int model, const std::function<bool()> &cancelled)
{
    const float s = float(m_shape.spacing);
    const float steep = float(std::sin(m_shape.criticalAngle * M_PI / 180.0));
    const float nearlyFlat = float(std::cos(10 * M_PI / 180.0));
    std::vector<const VerticalRays::Triangle *> own, held;
    for (size_t i = 0; i < m_scene.triangles().size(); ++i) {
        if (m_scene.owners()[i] != model)
            continue;
        const VerticalRays::Triangle &t = m_scene.triangles()[i];
        own.push_back(&t);
        if (t.normal.z() < -steep && std::max({t.a.z(), t.b.z(), t.c.z()}) >= minimumHeight)
            held.push_back(&t);
    }

    std::vector<Contact> contacts;
    ContactIndex index(s);
    const auto take = [&](const Contact &c, float xy, float dz) {
        if (c.point.z() < minimumHeight || index.near(c.point, xy, dz))
            return;
        index.add(c.point);
        contacts.push_back(c);
    };
    // Parts starting in mid-air first: they print only where a tip holds them.
    for (const Contact &c : minima(own, s))
        take(c, std::min(0.5f * s, 1.0f), 0.5f);
    if (cancelled && cancelled())
        return {};

    // The lattice: rows s * sqrt(3) / 2 apart, every other one shifted by s / 2.
    const float rowPitch = s * float(std::sqrt(3.0) / 2);
    for (const VerticalRays::Triangle *t : held) {
        const float y0 = std::min({t->a.y(), t->b.y(), t->c.y()}), y1 = std::max({t->a.y(), t->b.y(), t->c.y()});
        const float x0 = std::min({t->a.x(), t->b.x(), t->c.x()}), x1 = std::max({t->a.x(), t->b.x(), t->c.x()});
        for (qint64 j = qint64(std::ceil(y0 / rowPitch)); j * rowPitch <= y1; ++j) {
            const float shift = (j & 1) ? s / 2 : 0;
            for (qint64 i = qint64(std::ceil((x0 - shift) / s)); i * s + shift <= x1; ++i) {
                const float x = i * s + shift, y = j * rowPitch;
                double w[3];
                if (weights(*t, x, y, w))
                    take({at(*t, w), t->normal}, 0.5f * s, 0.5f * s);
            }
        }
    }
    if (cancelled && cancelled())
        return {};

    // Whatever the lattice left too far from a contact: the faces sampled
    // every quarter millimetre (and at their corners and centres), lowest first.
    std::vector<Contact> samples;
    const float fine = 0.25f;
    for (const VerticalRays::Triangle *t : held) {
        const float y0 = std::min({t->a.y(), t->b.y(), t->c.y()}), y1 = std::max({t->a.y(), t->b.y(), t->c.y()});
        const float x0 = std::min({t->a.x(), t->b.x(), t->c.x()}), x1 = std::max({t->a.x(), t->b.x(), t->c.x()});
        for (float y = std::ceil(y0 / fine) * fine; y <= y1; y += fine) {
            for (float x = std::ceil(x0 / fine) * fine; x <= x1; x += fine) {
                double w[3];
                if (weights(*t, x, y, w))
                    samples.push_back({at(*t, w), t->normal});
            }
        }
        const QVector3D centre = (t->a + t->b + t->c) / 3;
        samples.push_back({centre, t->normal});
        for (const QVector3D &corner : {t->a, t->b, t->c})
            samples.push_back({corner + (centre - corner) * 0.05f, t->normal});
    }
    std::stable_sort(samples.begin(), samples.end(),
                     [](const Contact &a, const Contact &b) { return a.point.z() < b.point.z(); });
    const float reach = s / float(std::sqrt(3.0)) * 1.02f;
    for (const Contact &c : samples) {
        const float r = c.normal.z() < -nearlyFlat ? std::min(reach, 1.75f) : reach;
        take(c, r, 1.5f * r);
    }

    std::vector<SupportPlacement> placements;
    for (const Contact &c : contacts) {
        if (cancelled && cancelled())
            break;
        SupportPlacement p;
        if (place(c.point, c.normal, p))
            placements.push_back(p);
    }
    std::stable_sort(placements.begin(), placements.end(), [](const SupportPlacement &a, const SupportPlacement &b) {
        return a.contact.z() < b.contact.z();
    });
    return placements;
}

std::vector<UnsupportedRegion> OverhangPlanner::unsupportedRegions() const
{
    const float reach = 2 * float(m_shape.spacing);
    const size_t n = m_unsupported.size();
    std::vector<size_t> byX(n), parent(n);
    for (size_t i = 0; i < n; ++i)
        byX[i] = parent[i] = i;
    std::sort(byX.begin(), byX.end(),
              [&](size_t a, size_t b) { return m_unsupported[a].point.x() < m_unsupported[b].point.x(); });
    const auto root = [&](size_t i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    };
    for (size_t k = 0; k < n; ++k) {
        const UnsupportedPoint &a = m_unsupported[byX[k]];
        for (size_t j = k + 1; j < n && m_unsupported[byX[j]].point.x() - a.point.x() <= reach; ++j) {
            const UnsupportedPoint &b = m_unsupported[byX[j]];
            if (std::strcmp(a.reason, b.reason) == 0 && std::fabs(b.point.y() - a.point.y()) <= reach
                && std::fabs(b.point.z() - a.point.z()) <= reach)
                parent[root(byX[j])] = root(byX[k]);
        }
    }
    std::vector<UnsupportedRegion> regions;
    std::unordered_map<size_t, size_t> regionOf;
    for (size_t i = 0; i < n; ++i) {
        const UnsupportedPoint &u = m_unsupported[i];
        const auto found = regionOf.emplace(root(i), regions.size());
        if (found.second)
            regions.push_back(
                {u.point, QRectF(double(u.point.x()), double(u.point.y()), 0, 0), u.point.z(), 0, u.reason});
        UnsupportedRegion &r = regions[found.first->second];
        if (u.point.z() < r.lowest.z())
            r.lowest = u.point;
        r.topZ = std::max(r.topZ, u.point.z());
        r.extent.setLeft(std::min(r.extent.left(), double(u.point.x())));
        r.extent.setRight(std::max(r.extent.right(), double(u.point.x())));
        r.extent.setTop(std::min(r.extent.top(), double(u.point.y())));
        r.extent.setBottom(std::max(r.extent.bottom(), double(u.point.y())));
        ++r.points;
    }
    std::stable_sort(regions.begin(), regions.end(), [](const UnsupportedRegion &a, const UnsupportedRegion &b) {
        return a.lowest.z() < b.lowest.z();
    });
    return regions;
}

bool OverhangPlanner::place(const QVector3D &contact, const QVector3D &normal, SupportPlacement &out)
{
    const float bodyR = float(m_shape.bodyDiameter / 2);
    // A face lying on other material (where two parts of a model meet) prints on it.
    if (m_scene.inside(contact - QVector3D(0, 0, 0.05f)))
        return false;
    QVector3D axis = -normal.normalized();
    if (axis.isNull())
        axis = QVector3D(0, 0, 1);
    // A tip leaning further would print as an overhang of its own.
    const float minUp = float(std::cos(50 * M_PI / 180.0));
    if (axis.z() < minUp) {
        QVector3D side(axis.x(), axis.y(), 0);
        side = side.isNull() ? QVector3D(1, 0, 0) : side.normalized();
        axis = side * float(std::sin(50 * M_PI / 180.0)) + QVector3D(0, 0, minUp);
    }
    const float depth = float(m_shape.contactDepth);
    float tipLength = float(m_shape.tipLength);
    for (int attempt = 0; attempt < 4; ++attempt, tipLength *= 0.5f) {
        QVector3D knee = contact - axis * tipLength;
        if (knee.z() < 0.2f) {
            // Close to the platform the tip takes what height there is.
            tipLength = std::max(0.0f, (contact.z() - 0.2f) / axis.z());
            knee = contact - axis * tipLength;
        }
        if (tipLength < 0.1f)
            break;
        if (m_scene.inside(knee) || m_scene.inside(contact - axis * (0.5f * tipLength)))
            continue;
        // The highest material under the foot's rim and centre.
        const float footR = 1.6f * bodyR;
        float ground = -std::numeric_limits<float>::infinity();
        bool walled = false;
        // The body's rim must be clear down to the ground; the foot's may
        // lean on a wall, but stands on the highest top under it.
        for (int k = -1; k < 16; ++k) {
            const float angle = float(k * M_PI / 4), r = k < 0 ? 0 : k < 8 ? bodyR : footR;
            const float x = knee.x() + r * std::cos(angle);
            const float y = knee.y() + r * std::sin(angle);
            // A surface level with the knee counts as under it.
            const VerticalRays::Hit hit = m_scene.below(x, y, knee.z() + 0.01f);
            if (!std::isfinite(hit.z))
                continue;
            // Looking down onto an underside means the point lies in material.
            if (!hit.up()) {
                walled = walled || k < 8;
                continue;
            }
            ground = std::max(ground, hit.z);
        }
        if (walled)
            continue;
        SupportPlacement p;
        p.contact = contact;
        p.axis = axis;
        p.knee = knee;
        if (ground > 0.05f) {
            p.onModel = true;
            p.footZ = ground - depth;
            p.footTopZ = ground + 0.2f;
        } else {
            p.footZ = 0;
            p.footTopZ = std::min(0.8f, 0.4f * knee.z());
        }
        if (p.footTopZ > knee.z()) {
            // Material right under the surface: it prints on that, not on a column.
            if (contact.z() - ground < 2 * depth + 0.2f)
                return false;
            continue;
        }
        // The whole foot stays on the display.
        const double rim = double((p.onModel ? 1.6f : 2.5f) * bodyR);
        if (!m_platform.adjusted(rim, rim, -rim, -rim).contains(QPointF(double(knee.x()), double(knee.y())))) {
            // A tip leaning out over the edge may find room standing upright.
            if (axis.z() < 0.999f)
                return place(contact, QVector3D(0, 0, -1), out);
            m_unsupported.push_back({contact, "beyond the platform"});
            return false;
        }
        out = p;
        return true;
    }
    // An underside so close beside a wall that no body fits between prints on the wall.
    if (normal.normalized().z() < -0.7f) {
        for (int k = 0; k < 8; ++k) {
            const float angle = float(k * M_PI / 4), r = bodyR + 0.1f;
            if (m_scene.inside(contact + QVector3D(r * std::cos(angle), r * std::sin(angle), -0.05f)))
                return false;
        }
    }
    m_unsupported.push_back({contact, "no room under it"});
    return false;
}

} // namespace CWS
