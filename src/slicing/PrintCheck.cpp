#include "slicing/PrintCheck.h"

#include "geometry/Model.h"
#include "settings/SliceBuildConfig.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace CWS {

namespace {

constexpr int kSolid = 128;
constexpr int kIslandSupport = 10;  // pixels
constexpr double kOverhangMm = 2.0;
constexpr double kOverhangAreaMm2 = 0.5;
constexpr int kDrainPixels = 10;
constexpr int kCupPixels = 100;
constexpr double kCupHeightMm = 0.5;

// The sums of one region of runs, for its centre, area and box.
struct Region
{
    int64_t sumX = 0, sumY = 0;
    int area = 0;
    int left = std::numeric_limits<int>::max(), top = std::numeric_limits<int>::max();
    int right = -1, bottom = -1;

    void add(const PixelRun &run)
    {
        const int length = run.length();
        area += length;
        sumX += int64_t(run.begin + run.end - 1) * length / 2;
        sumY += int64_t(run.row) * length;
        left = std::min(left, run.begin);
        right = std::max(right, run.end - 1);
        top = std::min(top, int(run.row));
        bottom = std::max(bottom, int(run.row));
    }
    QRect box() const { return QRect(QPoint(left, top), QPoint(right, bottom)); }
};

// Union-find over the runs of a set, 4-connected: runs of neighbouring rows
// that share a column are one region, whose root is its first run in
// raster order, so roots in increasing order are regions in the order a
// raster scan meets them.
class Regions
{
public:
    explicit Regions(std::vector<int> &parent)
        : m_parent(parent)
    {
    }
    void join(const RowRuns &set)
    {
        const std::vector<PixelRun> &runs = set.runs();
        m_parent.resize(runs.size());
        for (size_t i = 0; i < runs.size(); ++i)
            m_parent[i] = int(i);
        for (size_t i = 0; i < runs.size(); ++i) {
            const PixelRun &run = runs[i];
            const PixelRun *above = set.rowBegin(run.row - 1), *end = set.rowEnd(run.row - 1);
            above = std::partition_point(above, end, [&](const PixelRun &r) { return r.end <= run.begin; });
            for (; above != end && above->begin < run.end; ++above)
                unite(int(i), int(above - runs.data()));
        }
    }
    int find(int i)
    {
        while (m_parent[size_t(i)] != i) {
            m_parent[size_t(i)] = m_parent[size_t(m_parent[size_t(i)])];
            i = m_parent[size_t(i)];
        }
        return i;
    }
    void unite(int a, int b)
    {
        a = find(a);
        b = find(b);
        if (a < b)
            m_parent[size_t(b)] = a;
        else if (b < a)
            m_parent[size_t(a)] = b;
    }

private:
    std::vector<int> &m_parent;
};

// Removes [low, high) from pieces (runs of one row, left to right).
void cut(std::vector<PixelRun> &pieces, int low, int high, std::vector<PixelRun> &scratch)
{
    scratch.clear();
    for (const PixelRun &p : pieces) {
        if (p.end <= low || p.begin >= high) {
            scratch.push_back(p);
            continue;
        }
        if (p.begin < low)
            scratch.push_back({p.row, p.begin, low});
        if (p.end > high)
            scratch.push_back({p.row, high, p.end});
    }
    pieces.swap(scratch);
}

} // namespace

QString PrintFinding::kindName(Kind kind)
{
    switch (kind) {
    case Island: return QStringLiteral("island");
    case Overhang: return QStringLiteral("overhang");
    case ResinTrap: return QStringLiteral("resin trap");
    case SuctionCup: return QStringLiteral("suction cup");
    case Clipped: return QStringLiteral("clipped");
    case Floating: return QStringLiteral("floating");
    case Unsupported: return QStringLiteral("unsupported region");
    }
    return QString();
}

QString PrintFinding::count(Kind kind, qint64 n)
{
    QString noun = kindName(kind);
    if (kind == Clipped)
        noun += QStringLiteral(" part");
    else if (kind == Floating)
        noun += QStringLiteral(" model");
    return QStringLiteral("%1 %2%3").arg(n).arg(noun, n == 1 ? QString() : QStringLiteral("s"));
}

std::vector<ModelFootprint> ModelFootprint::of(const QList<Model *> &models)
{
    std::vector<ModelFootprint> footprints;
    for (const Model *model : models) {
        if (model->type != TYPE_NORMAL)
            continue;
        QVector3D low = model->boundMin, high = model->boundMax;
        std::vector<const Model *> parts(model->supports.begin(), model->supports.end());
        if (model->base)
            parts.push_back(model->base);
        for (const Model *part : parts) {
            for (int axis = 0; axis < 3; ++axis) {
                low[axis] = std::min(low[axis], part->boundMin[axis]);
                high[axis] = std::max(high[axis], part->boundMax[axis]);
            }
        }
        ModelFootprint f;
        f.bounds = QRectF(QPointF(low.x(), low.y()), QPointF(high.x(), high.y()));
        f.bottomMm = low.z();
        f.topMm = high.z();
        f.supported = !parts.empty();
        footprints.push_back(f);
    }
    return footprints;
}

PrintCheck::PrintCheck(const SliceBuildConfig &config, std::vector<ModelFootprint> footprints)
    : m_footprints(std::move(footprints))
{
    if (config.supersampled) {
        m_width = config.targetSize.width();
        m_height = config.targetSize.height();
        m_ppmX = config.savedPixelsPerMmX;
        m_ppmY = config.savedPixelsPerMmY;
    } else {
        m_width = config.resolutionX;
        m_height = config.resolutionY;
        m_ppmX = config.pixelsPerMmX;
        m_ppmY = config.pixelsPerMmY;
    }
    m_centreX = m_width / 2 + config.offsetX;
    m_centreY = m_height / 2 + config.offsetY;
    m_layerMm = config.layerThickness;
    m_solid.reset(m_height);
    m_hollowRuns.reset(m_height);
    // A pixel is near solid dy rows away when solid lies within m_reach[dy]
    // columns; the squared distances are summed as a float row distance and
    // a double row gap, which decides the pixels exactly on the 2 mm circle.
    const double mmX = 1.0 / m_ppmX, mmY = 1.0 / m_ppmY;
    const double limit = kOverhangMm * kOverhangMm;
    const int reachX = int(std::ceil(kOverhangMm * m_ppmX)) + 1;
    const int reachY = int(std::ceil(kOverhangMm * m_ppmY)) + 1;
    for (int dy = 0; dy <= reachY; ++dy) {
        const double dyMm2 = dy * mmY * dy * mmY;
        if (dyMm2 > limit)
            break;
        int d = 0;
        while (d < reachX && double(float((d + 1) * mmX * (d + 1) * mmX)) + dyMm2 <= limit)
            ++d;
        m_reach.push_back(d);
    }

    const QRectF display(xMm(0), yMm(0), m_width / m_ppmX, m_height / m_ppmY);
    for (size_t i = 0; i < m_footprints.size(); ++i) {
        const ModelFootprint &f = m_footprints[i];
        PrintFinding finding;
        finding.model = int(i);
        // The layers whose cutting planes, at (i + 0.5) layers, meet the model.
        finding.firstLayer = std::max(0, int(std::ceil(f.bottomMm / m_layerMm - 0.5)));
        finding.lastLayer = std::max(finding.firstLayer, int(std::ceil(f.topMm / m_layerMm - 0.5)) - 1);
        finding.bottomMm = finding.firstLayer * m_layerMm;
        finding.topMm = (finding.lastLayer + 1) * m_layerMm;
        const QRectF inside = f.bounds & display;
        const double area = f.bounds.width() * f.bounds.height();
        const double insideArea = inside.isValid() ? inside.width() * inside.height() : 0;
        if (area - insideArea > 1e-6) {
            // The centre of the part of the rectangle outside the display.
            const QPointF c = (f.bounds.center() * area - (inside.isValid() ? inside.center() * insideArea : QPointF()))
                              / (area - insideArea);
            finding.kind = PrintFinding::Clipped;
            finding.xMm = c.x();
            finding.yMm = c.y();
            finding.areaMm2 = area - insideArea;
            m_findings.push_back(finding);
        }
        if (f.bottomMm > m_layerMm / 2 && !f.supported) {
            finding.kind = PrintFinding::Floating;
            finding.xMm = f.bounds.center().x();
            finding.yMm = f.bounds.center().y();
            finding.areaMm2 = area;
            m_findings.push_back(finding);
        }
    }
}

double PrintCheck::xMm(double column) const
{
    return (column - m_centreX) / m_ppmX;
}

QPoint PrintCheck::pixelAt(double x, double y) const
{
    return QPoint(int(std::floor(x * m_ppmX + m_centreX)), int(std::floor(y * m_ppmY + m_centreY)));
}

double PrintCheck::yMm(double row) const
{
    return (row - m_centreY) / m_ppmY;
}

void PrintCheck::addLayer(const QImage &image, std::pair<int, int> rows)
{
    if (!fits(image))
        return;
    RowRuns lit, solid;
    RowRuns::fromImage(image, lit, solid, rows.first, rows.second);
    addLayer(std::move(lit), std::move(solid));
}

void PrintCheck::addLayer(RowRuns lit, RowRuns solid)
{
    std::swap(m_solid, m_prevSolid);
    std::swap(m_hollowRuns, m_prevHollowRuns);
    std::swap(m_hollowOf, m_prevHollowOf);
    m_lit = std::move(lit);
    m_solid = std::move(solid);
    islandsAndOverhangs();
    hollows();
    ++m_layer;
}

void PrintCheck::islandsAndOverhangs()
{
    // Findings still growing in the layer below; addFinding extends them or
    // appends this layer's, and whatever did not reach this layer is dropped.
    std::vector<Open> prevIslands, prevOverhangs;
    prevIslands.swap(m_openIslands);
    prevOverhangs.swap(m_openOverhangs);
    m_marks.clear();
    if (m_lit.empty() || m_layer == 0)
        return;

    const std::vector<PixelRun> &runs = m_lit.runs();
    Regions regions(m_parent);
    regions.join(m_lit);
    std::vector<Region> sums(runs.size());
    std::vector<int> solidBelow(runs.size(), 0);
    // Regions in the order a raster scan meets their first pixel that does
    // not rest on solid: the order islands are reported in.
    std::vector<int> order;
    std::vector<char> ordered(runs.size(), 0);
    std::vector<PixelRun> unsupported; // lit, not solid below
    std::vector<int> owner;            // the run each of those lies in
    for (size_t i = 0; i < runs.size(); ++i) {
        const PixelRun &run = runs[i];
        const int r = regions.find(int(i));
        const PixelRun *below = m_prevSolid.rowBegin(run.row), *end = m_prevSolid.rowEnd(run.row);
        below = std::partition_point(below, end, [&](const PixelRun &b) { return b.end <= run.begin; });
        int x = run.begin, covered = 0;
        const size_t before = unsupported.size();
        for (; below != end && below->begin < run.end; ++below) {
            if (below->begin > x)
                unsupported.push_back({run.row, x, below->begin});
            covered += std::min(below->end, run.end) - std::max(below->begin, run.begin);
            x = std::max(x, below->end);
        }
        if (x < run.end)
            unsupported.push_back({run.row, x, run.end});
        owner.resize(unsupported.size(), int(i));
        sums[size_t(r)].add(run);
        solidBelow[size_t(r)] += covered;
        if (unsupported.size() > before && !ordered[size_t(r)]) {
            ordered[size_t(r)] = 1;
            order.push_back(r);
        }
    }
    std::vector<char> island(runs.size(), 0);
    bool any = false;
    for (int r : order) {
        const Region &s = sums[size_t(r)];
        island[size_t(r)] = solidBelow[size_t(r)] < kIslandSupport && solidBelow[size_t(r)] * 4 < s.area;
        any = any || island[size_t(r)];
    }
    if (any) {
        // A region without one solid pixel that meets solid of its own layer
        // at a corner is the grey fringe anti-aliasing draws along a diagonal
        // edge: nothing of it cures on its own, the edge holds it.
        const auto solidIn = [this](int row, int begin, int end) {
            const PixelRun *p = m_solid.rowBegin(row), *last = m_solid.rowEnd(row);
            p = std::partition_point(p, last, [&](const PixelRun &b) { return b.end <= begin; });
            return p != last && p->begin < end;
        };
        std::vector<char> solid(runs.size(), 0), corner(runs.size(), 0);
        for (size_t i = 0; i < runs.size(); ++i) {
            const PixelRun &run = runs[i];
            const size_t r = size_t(regions.find(int(i)));
            if (!island[r])
                continue;
            solid[r] = solid[r] || solidIn(run.row, run.begin, run.end);
            corner[r] = corner[r] || solidIn(run.row - 1, run.begin - 1, run.end + 1)
                        || solidIn(run.row + 1, run.begin - 1, run.end + 1);
        }
        for (int r : order) {
            island[size_t(r)] = island[size_t(r)] && (solid[size_t(r)] || !corner[size_t(r)]);
            const Region &s = sums[size_t(r)];
            if (island[size_t(r)])
                addFinding(PrintFinding::Island, m_layer, s.box(), double(s.sumX), double(s.sumY), s.area, prevIslands);
        }
    }
    if (m_marking) {
        for (size_t i = 0; i < runs.size(); ++i) {
            if (island[size_t(regions.find(int(i)))])
                m_marks.push_back(runs[i]);
        }
    }
    m_openIslands.swap(prevIslands); // addFinding appended this layer's after the previous ones
    m_openIslands.erase(std::remove_if(m_openIslands.begin(), m_openIslands.end(),
                                       [&](const Open &o) { return m_findings[o.finding].lastLayer != m_layer; }),
                        m_openIslands.end());

    // Overhangs are sought among the pixels that do not rest on solid and
    // are no island's.
    size_t kept = 0;
    for (size_t i = 0; i < unsupported.size(); ++i) {
        if (!island[size_t(regions.find(owner[i]))])
            unsupported[kept++] = unsupported[i];
    }
    unsupported.resize(kept);
    overhangs(unsupported, prevOverhangs);
}

void PrintCheck::overhangs(const std::vector<PixelRun> &candidates, std::vector<Open> &prevOverhangs)
{
    // What stays of each candidate run once the reach of the solid runs
    // below, row by row outwards, is cut away: most candidates lie beside
    // solid and are gone after a row or two.
    RowRuns far;
    far.reset(m_height);
    std::vector<PixelRun> pieces, scratch;
    for (const PixelRun &candidate : candidates) {
        pieces.assign(1, candidate);
        for (size_t dy = 0; dy < m_reach.size() && !pieces.empty(); ++dy) {
            const int reach = m_reach[dy];
            for (int side : {-1, 1}) {
                if (pieces.empty() || (dy == 0 && side > 0))
                    break;
                const int row = candidate.row + side * int(dy);
                if (row < 0 || row >= m_height)
                    continue;
                const int low = pieces.front().begin, high = pieces.back().end;
                const PixelRun *solid = m_prevSolid.rowBegin(row), *end = m_prevSolid.rowEnd(row);
                solid = std::partition_point(solid, end, [&](const PixelRun &s) { return s.end + reach <= low; });
                for (; solid != end && solid->begin - reach < high && !pieces.empty(); ++solid)
                    cut(pieces, solid->begin - reach, solid->end + reach, scratch);
            }
        }
        for (const PixelRun &p : pieces)
            far.add(p.row, p.begin, p.end);
    }

    const double pixelMm2 = 1.0 / (m_ppmX * m_ppmY);
    Regions regions(m_parent);
    regions.join(far);
    const std::vector<PixelRun> &runs = far.runs();
    std::vector<Region> sums(runs.size());
    for (size_t i = 0; i < runs.size(); ++i)
        sums[size_t(regions.find(int(i)))].add(runs[i]);
    for (size_t i = 0; i < runs.size(); ++i) {
        const Region &s = sums[i];
        if (s.area && s.area * pixelMm2 >= kOverhangAreaMm2)
            addFinding(PrintFinding::Overhang, m_layer, s.box(), double(s.sumX), double(s.sumY), s.area,
                       prevOverhangs);
    }
    if (m_marking) {
        for (size_t i = 0; i < runs.size(); ++i) {
            if (sums[size_t(regions.find(int(i)))].area * pixelMm2 >= kOverhangAreaMm2)
                m_marks.push_back(runs[i]);
        }
    }
    m_openOverhangs.swap(prevOverhangs);
    m_openOverhangs.erase(std::remove_if(m_openOverhangs.begin(), m_openOverhangs.end(),
                                         [&](const Open &o) { return m_findings[o.finding].lastLayer != m_layer; }),
                          m_openOverhangs.end());
}

void PrintCheck::addFinding(PrintFinding::Kind kind, int layer, const QRect &box, double sumX, double sumY, int area,
                            std::vector<Open> &opened)
{
    const double pixelMm2 = 1.0 / (m_ppmX * m_ppmY);
    const QPointF centre(xMm(sumX / area + 0.5), yMm(sumY / area + 0.5));
    for (Open &o : opened) {
        PrintFinding &f = m_findings[o.finding];
        if (f.lastLayer == layer - 1 && o.box.adjusted(-1, -1, 1, 1).intersects(box)) {
            f.lastLayer = layer;
            f.topMm = (layer + 1) * m_layerMm;
            if (area * pixelMm2 > f.areaMm2) {
                f.areaMm2 = area * pixelMm2;
                f.xMm = centre.x();
                f.yMm = centre.y();
            }
            o.box = box;
            return;
        }
    }
    PrintFinding f;
    f.kind = kind;
    f.firstLayer = f.lastLayer = layer;
    f.bottomMm = layer * m_layerMm;
    f.topMm = (layer + 1) * m_layerMm;
    f.xMm = centre.x();
    f.yMm = centre.y();
    f.areaMm2 = area * pixelMm2;
    m_findings.push_back(f);
    opened.push_back({box, int(m_findings.size()) - 1});
}

int PrintCheck::root(int hollow)
{
    while (m_hollows[hollow].parent != hollow) {
        m_hollows[hollow].parent = m_hollows[m_hollows[hollow].parent].parent;
        hollow = m_hollows[hollow].parent;
    }
    return hollow;
}

void PrintCheck::hollows()
{
    // The unsolid runs between two solid runs of a row may be enclosed; the
    // rest of a row's unsolid pixels are outside. A gap is outside when it
    // meets an outside run of the row above or below, or the raster's edge,
    // and so is every gap joined to it.
    RowRuns gaps;
    gaps.reset(m_height);
    const std::vector<PixelRun> &solidRuns = m_solid.runs();
    for (size_t i = 1; i < solidRuns.size(); ++i) {
        if (solidRuns[i].row == solidRuns[i - 1].row)
            gaps.add(solidRuns[i].row, solidRuns[i - 1].end, solidRuns[i].begin);
    }
    const std::vector<PixelRun> &runs = gaps.runs();
    Regions regions(m_parent);
    regions.join(gaps);
    std::vector<char> outside(runs.size(), 0);
    for (size_t i = 0; i < runs.size(); ++i) {
        const PixelRun &gap = runs[i];
        for (int row : {gap.row - 1, gap.row + 1}) {
            const PixelRun *first = m_solid.rowBegin(row), *end = m_solid.rowEnd(row);
            if (row < 0 || row >= m_height || first == end || gap.begin < first->begin || gap.end > (end - 1)->end)
                outside[size_t(regions.find(int(i)))] = 1;
        }
    }

    // This layer's hollows, in raster order: each continues the hollows of
    // the layer below it overlaps, merged into one, or starts a new one.
    struct Enclosed
    {
        Region sums;
        int openBelow = 0; // pixels over the outside of the layer below
        int hollow = -1;
    };
    std::vector<Enclosed> enclosed(runs.size());
    std::vector<std::pair<int, int>> continues; // (region, hollow of the layer below)
    for (size_t i = 0; i < runs.size(); ++i) {
        const int r = regions.find(int(i));
        if (outside[size_t(r)])
            continue;
        const PixelRun &gap = runs[i];
        Enclosed &e = enclosed[size_t(r)];
        e.sums.add(gap);
        if (m_layer == 0)
            continue; // on the plate, layer 0 rests on nothing open
        int hollowBelow = 0;
        const PixelRun *below = m_prevHollowRuns.rowBegin(gap.row), *end = m_prevHollowRuns.rowEnd(gap.row);
        below = std::partition_point(below, end, [&](const PixelRun &b) { return b.end <= gap.begin; });
        for (; below != end && below->begin < gap.end; ++below) {
            hollowBelow += std::min(below->end, gap.end) - std::max(below->begin, gap.begin);
            continues.emplace_back(r, m_prevHollowOf[size_t(below - m_prevHollowRuns.runs().data())]);
        }
        e.openBelow += gap.length() - hollowBelow
                       - RowRuns::overlap(gap, m_prevSolid.rowBegin(gap.row), m_prevSolid.rowEnd(gap.row));
    }
    std::stable_sort(continues.begin(), continues.end(),
                     [](const std::pair<int, int> &a, const std::pair<int, int> &b) { return a.first < b.first; });
    std::vector<int> roots;
    auto next = continues.begin();
    for (size_t r = 0; r < runs.size(); ++r) {
        if (outside[r] || !enclosed[r].sums.area)
            continue;
        Enclosed &e = enclosed[r];
        roots.clear();
        for (; next != continues.end() && next->first == int(r); ++next) {
            const int below = root(next->second);
            if (std::find(roots.begin(), roots.end(), below) == roots.end())
                roots.push_back(below);
        }
        int h;
        if (roots.empty()) {
            h = int(m_hollows.size());
            const bool open = e.openBelow >= kDrainPixels;
            m_hollows.push_back({h, m_layer, m_layer, open, !open, 0, 0, 0, 0, true});
        } else {
            // Regions that meet in this layer are one hollow.
            h = roots.front();
            for (size_t i = 1; i < roots.size(); ++i) {
                Hollow &a = m_hollows[size_t(h)];
                Hollow &b = m_hollows[size_t(roots[i])];
                a.firstLayer = std::min(a.firstLayer, b.firstLayer);
                a.open = a.open || b.open;
                a.closedBelow = a.closedBelow || b.closedBelow;
                a.maxArea = std::max(a.maxArea, b.maxArea);
                a.sumX += b.sumX;
                a.sumY += b.sumY;
                a.count += b.count;
                b.parent = h;
            }
            if (e.openBelow >= kDrainPixels)
                m_hollows[size_t(h)].open = true;
        }
        Hollow &hollow = m_hollows[size_t(h)];
        hollow.lastLayer = m_layer;
        hollow.continued = true;
        hollow.maxArea = std::max(hollow.maxArea, e.sums.area);
        hollow.sumX += double(e.sums.sumX);
        hollow.sumY += double(e.sums.sumY);
        hollow.count += e.sums.area;
        e.hollow = h;
    }
    m_hollowRuns.reset(m_height);
    m_hollowOf.clear();
    for (size_t i = 0; i < runs.size(); ++i) {
        const int r = regions.find(int(i));
        if (!outside[size_t(r)]) {
            m_hollowRuns.add(runs[i].row, runs[i].begin, runs[i].end);
            m_hollowOf.push_back(enclosed[size_t(r)].hollow);
        }
    }

    // The hollows of the layer below: drained where 10 or more of their pixels
    // meet the outside here, closed where nothing of them goes on.
    std::vector<int> alive, touch;
    std::vector<int> index(m_hollows.size(), -1);
    const std::vector<PixelRun> &belowRuns = m_prevHollowRuns.runs();
    for (size_t i = 0; i < belowRuns.size(); ++i) {
        const PixelRun &run = belowRuns[i];
        const int r = root(m_prevHollowOf[i]);
        if (index[size_t(r)] < 0) {
            index[size_t(r)] = int(alive.size());
            alive.push_back(r);
            touch.push_back(0);
        }
        touch[size_t(index[size_t(r)])] += run.length()
            - RowRuns::overlap(run, m_solid.rowBegin(run.row), m_solid.rowEnd(run.row))
            - RowRuns::overlap(run, m_hollowRuns.rowBegin(run.row), m_hollowRuns.rowEnd(run.row));
    }
    for (size_t i = 0; i < alive.size(); ++i) {
        Hollow &h = m_hollows[size_t(alive[i])];
        if (touch[i] >= kDrainPixels)
            h.open = true;
        if (h.lastLayer != m_layer)
            endHollow(alive[i]);
    }
}

void PrintCheck::endHollow(int index)
{
    const Hollow &h = m_hollows[index];
    PrintFinding f;
    f.firstLayer = h.firstLayer;
    f.lastLayer = h.lastLayer;
    f.bottomMm = h.firstLayer * m_layerMm;
    f.topMm = (h.lastLayer + 1) * m_layerMm;
    f.xMm = xMm(h.sumX / h.count + 0.5);
    f.yMm = yMm(h.sumY / h.count + 0.5);
    f.areaMm2 = h.maxArea / (m_ppmX * m_ppmY);
    if (h.closedBelow && h.maxArea >= kCupPixels && f.topMm - f.bottomMm >= kCupHeightMm - 1e-6) {
        f.kind = PrintFinding::SuctionCup;
        m_findings.push_back(f);
    }
    // What the empty layer after the last one ends is open at the top.
    // A hollow smaller than the least drain is a grey edge pixel or two, not a trap.
    if (!h.open && !m_finishing && h.maxArea >= kDrainPixels) {
        f.kind = PrintFinding::ResinTrap;
        m_findings.push_back(f);
    }
}

std::vector<PrintFinding> PrintCheck::finish()
{
    // A black layer above the last one ends every hollow still going on, open.
    m_finishing = true;
    QImage empty(m_width, m_height, QImage::Format_Grayscale8);
    empty.fill(0);
    addLayer(empty, {0, -1});
    --m_layer;
    m_finishing = false;

    for (PrintFinding &f : m_findings) {
        if (f.model < 0)
            f.model = modelAt(f.xMm, f.yMm, f.bottomMm, f.topMm);
    }
    std::stable_sort(m_findings.begin(), m_findings.end(),
                     [](const PrintFinding &a, const PrintFinding &b) { return a.firstLayer < b.firstLayer; });
    return m_findings;
}

int PrintCheck::modelAt(double x, double y, double bottomMm, double topMm) const
{
    // The smallest footprint that holds the centre at that height, else the
    // nearest one: regions between models are rare and belong to either.
    int best = -1;
    double bestScore = std::numeric_limits<double>::max();
    const QPointF point(x, y);
    for (size_t i = 0; i < m_footprints.size(); ++i) {
        const ModelFootprint &f = m_footprints[i];
        const QRectF r = f.bounds.adjusted(-0.5, -0.5, 0.5, 0.5);
        const bool heightMeets = f.bottomMm <= topMm + 0.5 && f.topMm >= bottomMm - 0.5;
        double score;
        if (r.contains(point) && heightMeets) {
            score = r.width() * r.height();
        } else {
            const double dx = std::max({r.left() - x, 0.0, x - r.right()});
            const double dy = std::max({r.top() - y, 0.0, y - r.bottom()});
            score = 1e12 + std::hypot(dx, dy) + (heightMeets ? 0 : 1e6);
        }
        if (score < bestScore) {
            bestScore = score;
            best = int(i);
        }
    }
    return best;
}

} // namespace CWS
