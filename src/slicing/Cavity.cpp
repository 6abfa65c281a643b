#include "slicing/Cavity.h"

#include "slicing/IsoSurface.h"
#include "slicing/PlacedMesh.h"

#include <QVector2D>
#include <QVector3D>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace CWS {

namespace {

// Spacing (mm) of the planes, and of the rows in each plane, on which the
// distance to the model's outside is measured: about a printer's layer and
// pixel, so that the wall comes out as exact as it prints. Along a row the
// distance is exact.
constexpr double kFineMm = 0.05;

// Inside spans of a row closer than this (mm) are one.
constexpr float kTouchingMm = 1e-3f;

// Closed parts of a cavity smaller than this (mm3) are left solid.
constexpr double kMinPartMm3 = 1;

// The side (mm) of the square windows in a lattice's walls: narrow enough
// that the wall above one holds as a bridge.
constexpr double kWindowMm = 3;

// Fine samples over lo to hi that begin and end a hair outside them: the
// flat faces at a model's extremes (its base, a flat top) are then measured
// to within that hair rather than to within a spacing.
std::vector<float> fineSamples(float lo, float hi)
{
    const double hair = 1e-3 * kFineMm;
    const int steps = std::max(1, int(std::ceil((double(hi) - lo) / kFineMm)));
    const double step = (double(hi) - lo + 2 * hair) / steps;
    std::vector<float> samples(size_t(steps) + 1);
    for (int i = 0; i <= steps; ++i)
        samples[size_t(i)] = float(lo - hair + i * step);
    // Far from the origin the hair may be lost to rounding.
    samples.front() = std::min(samples.front(), std::nextafter(lo, -std::numeric_limits<float>::infinity()));
    samples.back() = std::max(samples.back(), std::nextafter(hi, std::numeric_limits<float>::infinity()));
    return samples;
}

// Coarse samples over lo to hi where the cavity can be, with one outside it
// at each end so that its surface closes: a point nearer than wall to lo or
// hi is never in the cavity. Empty when nothing is far enough from both.
GridAxis coarseAxis(float lo, float hi, double wall, double step)
{
    const double first = lo + wall - step / 2;
    const double last = hi - wall + step / 2;
    if (last - first <= step)
        return {};
    return {first, step, int(std::ceil((last - first) / step)) + 1};
}

// Runs work(index, slot) for every index from 0 to count - 1 on up to
// threads threads, this one among them; each thread takes the next index
// when it is done with one and passes its own slot (0 to threads - 1).
template<typename Work>
void shareOut(int count, int threads, const Work &work)
{
    std::atomic_int next{0};
    const auto run = [&](int slot) {
        for (int index = next++; index < count; index = next++)
            work(index, slot);
    };
    std::vector<std::thread> helpers;
    for (int slot = 1; slot < std::min(threads, count); ++slot) {
        // Without a thread to be had, the others take its share.
        try {
            helpers.emplace_back(run, slot);
        } catch (const std::system_error &) {
            break;
        }
    }
    run(0);
    for (std::thread &helper : helpers)
        helper.join();
}

// What one thread needs to measure one plane, kept from plane to plane.
struct PlaneScratch
{
    std::vector<SliceSegment> segments;
    std::vector<std::pair<int, int>> rowsCrossed; // per segment: first row and one past its last
    std::vector<int> firstCrossing;               // per row, into crossings
    std::vector<std::pair<float, int>> crossings; // x (mm) and +1 entering, -1 leaving
    std::vector<float> spans;                     // inside from spans[2n] to spans[2n + 1]
    std::vector<float> along;                     // squared distances along the rows, column by column
    std::vector<float> columnX;                   // the coarse columns over the section (mm)
    std::vector<double> siteY, siteValue, siteFrom;
    std::vector<std::pair<float, float>> zeroRuns; // from and to (mm)
};

// Appends to spans where row crossings (sorted) lie inside: where the
// winding is not zero, as the layer raster fills them, or between odd and
// even crossings where the windings do not sum to zero. A row with an odd
// number of crossings, an open mesh, counts as outside.
void insideSpans(const std::pair<float, int> *crossing, int count, std::vector<float> &spans)
{
    if (count % 2)
        return;
    int sum = 0;
    for (int c = 0; c < count; ++c)
        sum += crossing[c].second;
    int winding = 0;
    for (int c = 0; c < count; ++c) {
        const int before = winding;
        winding += crossing[c].second;
        if (sum != 0 || (before == 0) != (winding == 0)) {
            // Parts of a mesh that touch meet in faces whose crossings may
            // differ by a rounding: no gap between them.
            if (spans.size() % 2 == 0 && !spans.empty() && crossing[c].first - spans.back() < kTouchingMm)
                spans.pop_back();
            else
                spans.push_back(crossing[c].first);
        }
    }
}

// Writes to field (xs.count x ys.count, row by row in y) the squared
// distance (mm², at most limit) from each coarse point of the plane to the
// nearest point outside the section segments cut: exact along the fine
// rows at rowY, which lie over the whole model, sampled across them.
void measurePlane(PlaneScratch &s, const std::vector<float> &rowY, const GridAxis &xs, const GridAxis &ys, float limit,
                  float *field)
{
    std::fill(field, field + size_t(xs.count) * size_t(ys.count), 0.0f);
    const std::vector<SliceSegment> &segments = s.segments;
    if (segments.empty())
        return;
    float xLow = segments[0].p1.x(), xHigh = xLow, yLow = segments[0].p1.y(), yHigh = yLow;
    for (const SliceSegment &segment : segments) {
        for (const QVector3D &p : {segment.p1, segment.p2}) {
            xLow = std::min(xLow, p.x());
            xHigh = std::max(xHigh, p.x());
            yLow = std::min(yLow, p.y());
            yHigh = std::max(yHigh, p.y());
        }
    }
    // A segment crosses the rows from its lower end up to, not including,
    // its upper one, as the layer raster counts them: a closed outline
    // crosses every row an even number of times.
    const int rowCount = int(rowY.size());
    const double rowStep = (double(rowY.back()) - rowY.front()) / (rowCount - 1);
    // The first row at or above y: where the spacing puts it, then
    // corrected to the row positions as rounded.
    const auto rowAt = [&rowY, rowCount, rowStep](float y) {
        int row = std::clamp(int((double(y) - rowY.front()) / rowStep), 0, rowCount);
        while (row > 0 && rowY[size_t(row) - 1] >= y)
            --row;
        while (row < rowCount && rowY[size_t(row)] < y)
            ++row;
        return row;
    };
    // The rows begin and end outside the mesh: a section reaching them
    // does so by a rounding.
    const int firstRow = std::max(1, rowAt(yLow));
    const int endRow = std::min(rowCount - 1, rowAt(yHigh));
    const int columnLow = xs.firstFrom(xLow), columnHigh = xs.lastUpTo(xHigh);
    const int lineLow = ys.firstFrom(yLow), lineHigh = ys.lastUpTo(yHigh);
    if (firstRow >= endRow || columnLow > columnHigh || lineLow > lineHigh)
        return;
    const int rows = endRow - firstRow;

    s.firstCrossing.assign(size_t(rows) + 1, 0);
    s.rowsCrossed.resize(segments.size());
    for (size_t k = 0; k < segments.size(); ++k) {
        const float y1 = segments[k].p1.y(), y2 = segments[k].p2.y();
        s.rowsCrossed[k] = {std::max(firstRow, rowAt(std::min(y1, y2))), std::min(endRow, rowAt(std::max(y1, y2)))};
        for (int row = s.rowsCrossed[k].first; row < s.rowsCrossed[k].second; ++row)
            ++s.firstCrossing[size_t(row - firstRow) + 1];
    }
    for (int row = 0; row < rows; ++row)
        s.firstCrossing[size_t(row) + 1] += s.firstCrossing[size_t(row)];
    s.crossings.resize(size_t(s.firstCrossing.back()));
    std::vector<int> &next = s.firstCrossing; // filled up to the next row's first, then shifted back
    for (size_t k = 0; k < segments.size(); ++k) {
        const SliceSegment &segment = segments[k];
        if (s.rowsCrossed[k].first >= s.rowsCrossed[k].second)
            continue;
        const QVector3D &from = segment.winding < 0 ? segment.p2 : segment.p1;
        const QVector3D &to = segment.winding < 0 ? segment.p1 : segment.p2;
        // Running down (-y) with the inside on its left, the outline enters
        // the inside at increasing x.
        const int enters = to.y() < from.y() ? 1 : -1;
        const double slope = (double(to.x()) - from.x()) / (double(to.y()) - from.y());
        for (int row = s.rowsCrossed[k].first; row < s.rowsCrossed[k].second; ++row)
            s.crossings[size_t(next[size_t(row - firstRow)]++)] = {
                float(from.x() + (rowY[size_t(row)] - from.y()) * slope), enters};
    }
    for (int row = rows; row > 0; --row)
        next[size_t(row)] = next[size_t(row) - 1];
    next[0] = 0;

    const int columns = columnHigh - columnLow + 1;
    // Column by column, as the pass across the rows reads them.
    s.along.assign(size_t(rows) * size_t(columns), limit);
    const float reach = std::sqrt(limit);
    s.columnX.resize(size_t(columns));
    for (int column = 0; column < columns; ++column)
        s.columnX[size_t(column)] = float(xs.at(columnLow + column));
    for (int row = 0; row < rows; ++row) {
        auto *begin = s.crossings.data() + s.firstCrossing[size_t(row)];
        auto *end = s.crossings.data() + s.firstCrossing[size_t(row) + 1];
        // Where two parts of a mesh touch, entering the one before leaving
        // the other keeps them one span.
        std::sort(begin, end, [](const std::pair<float, int> &a, const std::pair<float, int> &b) {
            return a.first < b.first || (a.first == b.first && a.second > b.second);
        });
        s.spans.clear();
        insideSpans(begin, int(end - begin), s.spans);
        float *out = &s.along[size_t(row)];
        int column = 0;
        for (size_t span = 0; span < s.spans.size(); span += 2) {
            const float from = s.spans[span], to = s.spans[span + 1];
            for (; column < columns && s.columnX[size_t(column)] < from; ++column)
                out[size_t(column) * size_t(rows)] = 0;
            for (; column < columns && s.columnX[size_t(column)] <= to; ++column) {
                const float d = std::min(s.columnX[size_t(column)] - from, to - s.columnX[size_t(column)]);
                if (d * d < limit) {
                    out[size_t(column) * size_t(rows)] = d * d;
                } else {
                    // The columns deeper in keep the limit they start with.
                    column = std::max(column, int((to - reach - s.columnX[0]) / xs.step));
                }
            }
        }
        for (; column < columns; ++column)
            out[size_t(column) * size_t(rows)] = 0;
    }

    // Across the rows: the lower envelope of the parabolas (y - row)² +
    // along² of every row, evaluated at the coarse points (Felzenszwalb and
    // Huttenlocher). The rows just outside the section are outside.
    for (int column = 0; column < columns; ++column) {
        s.siteY.clear();
        s.siteValue.clear();
        s.siteFrom.clear();
        const auto addSite = [&s](double y, double value) {
            double from = -std::numeric_limits<double>::infinity();
            while (!s.siteY.empty()) {
                const double y0 = s.siteY.back(), v0 = s.siteValue.back();
                from = ((value + y * y) - (v0 + y0 * y0)) / (2 * (y - y0));
                if (from > s.siteFrom.back())
                    break;
                s.siteY.pop_back();
                s.siteValue.pop_back();
                s.siteFrom.pop_back();
                from = -std::numeric_limits<double>::infinity();
            }
            s.siteY.push_back(y);
            s.siteValue.push_back(value);
            s.siteFrom.push_back(from);
        };
        // Inside a run of rows outside the section a point is no farther
        // from the outside than half a row: only the run's ends are sites,
        // and points within it are outside.
        s.zeroRuns.clear();
        int runFrom = -2, runTo = -2;
        const auto endRun = [&] {
            if (runTo > runFrom) {
                addSite(rowY[size_t(runTo)], 0);
                s.zeroRuns.push_back({rowY[size_t(runFrom)], rowY[size_t(runTo)]});
            }
            runFrom = runTo = -2;
        };
        for (int row = firstRow - 1; row <= endRow; ++row) {
            const float value = row < firstRow || row == endRow
                                    ? 0.0f
                                    : s.along[size_t(column) * size_t(rows) + size_t(row - firstRow)];
            // A row farther than the limit never comes nearest within it.
            if (value >= limit)
                continue;
            if (value == 0 && row == runTo + 1) {
                runTo = row;
                continue;
            }
            endRun();
            addSite(rowY[size_t(row)], value);
            if (value == 0)
                runFrom = runTo = row;
        }
        endRun();
        size_t site = 0, run = 0;
        for (int line = lineLow; line <= lineHigh; ++line) {
            const double y = ys.at(line);
            while (run < s.zeroRuns.size() && s.zeroRuns[run].second < y)
                ++run;
            if (run < s.zeroRuns.size() && s.zeroRuns[run].first <= y)
                continue;
            while (site + 1 < s.siteY.size() && s.siteFrom[site + 1] < y)
                ++site;
            const double dy = y - s.siteY[site];
            field[size_t(line) * size_t(xs.count) + size_t(columnLow + column)] =
                float(std::min(s.siteValue[site] + dy * dy, double(limit)));
        }
    }
}

// How far (mm, about) the point x, y, z, given from the lattice's middle
// (and z from its lowest windows' middle), lies outside the lattice's
// walls; below zero inside them. Each wall has a window midway between
// the walls across it, every spacing in height.
float outsideLattice(const Lattice &lattice, double x, double y, double z)
{
    const double s = lattice.spacingMm;
    const auto toPlane = [s](double v) { return std::abs(v - s * std::round(v / s)); };
    const auto toMiddle = [s](double v) { return std::abs(v - s * (std::floor(v / s) + 0.5)); };
    const double walls = std::min(toPlane(x), toPlane(y)) - lattice.wallMm / 2;
    const double windows = std::max(std::min(toMiddle(x), toMiddle(y)), toPlane(z)) - kWindowMm / 2;
    return float(std::max(walls, -windows));
}

// The closed parts of a cavity: for each, the vertices its triangles join.
std::vector<std::vector<uint32_t>> closedParts(const MeshPrimitiveData &cavity)
{
    std::vector<uint32_t> parent(cavity.vertices.size());
    for (uint32_t k = 0; k < parent.size(); ++k)
        parent[k] = k;
    const auto root = [&parent](uint32_t k) {
        while (parent[k] != k)
            k = parent[k] = parent[parent[k]];
        return k;
    };
    for (size_t k = 0; k + 2 < cavity.indices.size(); k += 3) {
        for (int corner = 1; corner < 3; ++corner)
            parent[root(cavity.indices[k + size_t(corner)])] = root(cavity.indices[k]);
    }
    std::vector<std::vector<uint32_t>> parts;
    std::vector<int> partOf(cavity.vertices.size(), -1);
    for (uint32_t k = 0; k < parent.size(); ++k) {
        int &part = partOf[root(k)];
        if (part < 0) {
            part = int(parts.size());
            parts.emplace_back();
        }
        parts[size_t(part)].push_back(k);
    }
    return parts;
}

// The cavity without its closed parts of less than minVolume (mm3): slivers
// where the wall's inner surface grazes a fold of the model save no resin,
// and no drain hole fits them.
MeshPrimitiveData withoutSlivers(MeshPrimitiveData cavity, double minVolume)
{
    const std::vector<std::vector<uint32_t>> parts = closedParts(cavity);
    std::vector<int> partOf(cavity.vertices.size());
    for (size_t part = 0; part < parts.size(); ++part) {
        for (uint32_t k : parts[part])
            partOf[k] = int(part);
    }
    std::vector<double> volume(parts.size(), 0);
    const auto at = [&cavity](uint32_t k) {
        const MeshVertex &v = cavity.vertices[k];
        return QVector3D(v.x, v.y, v.z);
    };
    for (size_t k = 0; k + 2 < cavity.indices.size(); k += 3) {
        const uint32_t *t = &cavity.indices[k];
        volume[size_t(partOf[t[0]])] +=
            double(QVector3D::dotProduct(at(t[0]), QVector3D::crossProduct(at(t[1]), at(t[2])))) / 6;
    }
    // Facing inwards, a part's volume comes out negative.
    if (std::all_of(volume.begin(), volume.end(), [minVolume](double v) { return -v >= minVolume; }))
        return cavity;
    std::vector<uint32_t> kept;
    kept.reserve(cavity.indices.size());
    for (size_t k = 0; k + 2 < cavity.indices.size(); k += 3) {
        if (-volume[size_t(partOf[cavity.indices[k]])] >= minVolume)
            kept.insert(kept.end(), cavity.indices.begin() + long(k), cavity.indices.begin() + long(k) + 3);
    }
    // Only the vertices the kept triangles use: a vertex of no triangle
    // would count as a part of its own.
    std::vector<uint32_t> renumbered(cavity.vertices.size(), std::numeric_limits<uint32_t>::max());
    std::vector<MeshVertex> vertices;
    for (uint32_t &index : kept) {
        if (renumbered[index] == std::numeric_limits<uint32_t>::max()) {
            renumbered[index] = uint32_t(vertices.size());
            vertices.push_back(cavity.vertices[index]);
        }
        index = renumbered[index];
    }
    return {std::move(vertices), std::move(kept)};
}

} // namespace

MeshPrimitiveData Cavity::build(const MeshPrimitiveData &mesh, const QMatrix4x4 &matrix, float wallMm,
                                const Lattice &lattice, const std::atomic_bool *cancel)
{
    if (!(wallMm > 0) || mesh.indices.size() < 3)
        return {};
    QVector3D low(std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                  std::numeric_limits<float>::max());
    QVector3D high = -low;
    for (uint32_t index : mesh.indices) {
        const MeshVertex &v = mesh.vertices[index];
        // Mapped as the planes' cut maps them, so that the bounds hold every cut.
        const QVector3D p = matrix.map(QVector3D(v.x, v.y, v.z));
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = std::min(low[axis], p[axis]);
            high[axis] = std::max(high[axis], p[axis]);
        }
    }
    // A fifth of the wall keeps the wall's thickness to a few hundredths
    // of a millimetre where the surface is smooth.
    const double step = std::clamp(wallMm / 5.0, 0.2, 1.0);
    const GridAxis xs = coarseAxis(low.x(), high.x(), wallMm, step);
    const GridAxis ys = coarseAxis(low.y(), high.y(), wallMm, step);
    const GridAxis zs = coarseAxis(low.z(), high.z(), wallMm, step);
    if (xs.count == 0 || ys.count == 0 || zs.count == 0)
        return {};

    const std::vector<float> rowY = fineSamples(low.y(), high.y());
    const std::vector<float> planeZ = fineSamples(low.z(), high.z());
    // The caller's mesh outlives the planes: referred to, not shared.
    const PlacedMesh placed(std::shared_ptr<const MeshPrimitiveData>(std::shared_ptr<const MeshPrimitiveData>(), &mesh),
                            matrix, planeZ);
    // A point that far from the outside is deep in the cavity: how much
    // farther does not change the surface, which lies within a cube's
    // diagonal of the points next to it.
    const double reach = wallMm + 2 * step;
    const auto limit = float(reach * reach);
    const size_t points = size_t(xs.count) * size_t(ys.count);
    const int threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    // Planes measured at once: enough for the threads to wait for each
    // other seldom, within 32 MB of distances.
    const int batch = std::max(threads, int(std::min<size_t>(size_t(32) * size_t(threads), (size_t(32) << 20) / (points * sizeof(float)))));
    const auto cancelled = [cancel] { return cancel && cancel->load(); };

    std::vector<PlaneScratch> scratch(static_cast<size_t>(threads));
    std::vector<float> fields(size_t(batch) * points);
    // The coarse layers still open, from layer firstOpen up; their buffers
    // are used again for the layers above.
    std::deque<std::vector<float>> open;
    std::vector<std::vector<float>> spare;
    int firstOpen = 0;
    // The cavity's surface, where the distance to the outside is the wall.
    IsoSurface surface(xs, ys, zs);
    const int planes = int(planeZ.size());
    for (int first = 0; first < planes; first += batch) {
        const int count = std::min(batch, planes - first);
        shareOut(count, threads, [&](int k, int slot) {
            if (cancelled())
                return;
            PlaneScratch &s = scratch[size_t(slot)];
            s.segments.clear();
            placed.cut(first + k, s.segments);
            measurePlane(s, rowY, xs, ys, limit, &fields[size_t(k) * points]);
        });
        if (cancelled())
            return {};
        // Every layer within reach of these planes is open.
        const double top = planeZ[size_t(first + count - 1)];
        while (firstOpen + int(open.size()) < zs.count && zs.at(firstOpen + int(open.size())) - reach <= top) {
            std::vector<float> layer = spare.empty() ? std::vector<float>() : std::move(spare.back());
            if (!spare.empty())
                spare.pop_back();
            layer.assign(points, limit);
            open.push_back(std::move(layer));
        }
        // Each point's distance is the nearest of the planes' distances
        // with the height between added.
        shareOut(ys.count, threads, [&](int line, int) {
            const size_t from = size_t(line) * size_t(xs.count), to = from + size_t(xs.count);
            for (int k = 0; k < count; ++k) {
                const double z = planeZ[size_t(first + k)];
                const float *field = &fields[size_t(k) * points];
                for (size_t m = 0; m < open.size(); ++m) {
                    const double dz = zs.at(firstOpen + int(m)) - z;
                    if (dz * dz >= limit)
                        continue;
                    const auto rise = float(dz * dz);
                    float *layer = open[m].data();
                    for (size_t p = from; p < to; ++p)
                        layer[p] = std::min(layer[p], field[p] + rise);
                }
            }
        });
        // A layer is done once no plane still to come lies within reach.
        const bool last = first + count == planes;
        while (!open.empty() && (last || zs.at(firstOpen) + reach < planeZ[size_t(first + count)])) {
            std::vector<float> &layer = open.front();
            for (float &value : layer)
                value = std::sqrt(value) - wallMm;
            // The cavity is also outside the lattice: the nearer of the two
            // boundaries bounds it. The lowest windows open onto the
            // cavity's floor where it lies flat, so that no cell holds resin.
            if (lattice.any()) {
                const double z = zs.at(firstOpen) - (low.z() + wallMm + kWindowMm / 2);
                for (int line = 0; line < ys.count; ++line) {
                    const double y = ys.at(line) - (double(low.y()) + high.y()) / 2;
                    float *row = &layer[size_t(line) * size_t(xs.count)];
                    for (int column = 0; column < xs.count; ++column)
                        row[column] = std::min(
                            row[column], outsideLattice(lattice, xs.at(column) - (double(low.x()) + high.x()) / 2, y, z));
                }
            }
            surface.addLayer(open.front());
            spare.push_back(std::move(open.front()));
            open.pop_front();
            ++firstOpen;
        }
    }
    return withoutSlivers(surface.finish(), kMinPartMm3);
}

std::vector<DrainHole> Cavity::drainHoles(const MeshPrimitiveData &mesh, const QMatrix4x4 &matrix,
                                          const MeshPrimitiveData &cavity, float wallMm, float diameterMm)
{
    const std::vector<std::vector<uint32_t>> parts = closedParts(cavity);
    if (parts.empty())
        return {};

    std::vector<std::array<QVector3D, 3>> triangles(mesh.indices.size() / 3);
    for (size_t t = 0; t < triangles.size(); ++t) {
        for (int corner = 0; corner < 3; ++corner) {
            const MeshVertex &v = mesh.vertices[mesh.indices[3 * t + size_t(corner)]];
            triangles[t][size_t(corner)] = matrix.map(QVector3D(v.x, v.y, v.z));
        }
    }
    // Where the way out from inside point from runs through the model's
    // surface into the open, along out (a unit vector): the first surface
    // beyond which the outline winds around nothing, so that a face inside
    // the model (where two of its parts meet) is passed through. Its
    // distance from from, or none.
    const auto wayOut = [&triangles](const QVector3D &from, const QVector3D &out) -> std::optional<float> {
        std::vector<std::pair<float, int>> hits; // distance, +1 leaving the model, -1 entering it
        for (const auto &corner : triangles) {
            const QVector3D e1 = corner[1] - corner[0], e2 = corner[2] - corner[0];
            const QVector3D p = QVector3D::crossProduct(out, e2);
            const float det = QVector3D::dotProduct(e1, p);
            if (det == 0)
                continue;
            const QVector3D s = from - corner[0];
            const float u = QVector3D::dotProduct(s, p) / det;
            if (u < 0 || u > 1)
                continue;
            const QVector3D q = QVector3D::crossProduct(s, e1);
            const float v = QVector3D::dotProduct(out, q) / det;
            const float t = QVector3D::dotProduct(e2, q) / det;
            if (v >= 0 && u + v <= 1 && t > 0)
                hits.push_back({t, QVector3D::dotProduct(QVector3D::crossProduct(e1, e2), out) > 0 ? 1 : -1});
        }
        std::sort(hits.begin(), hits.end());
        int beyond = 0;
        for (const auto &hit : hits)
            beyond += hit.second;
        for (const auto &hit : hits) {
            beyond -= hit.second;
            if (beyond == 0)
                return hit.first;
        }
        return std::nullopt;
    };

    const float radius = diameterMm / 2;
    std::vector<DrainHole> holes;
    for (const std::vector<uint32_t> &part : parts) {
        float lowest = std::numeric_limits<float>::max();
        QVector2D partLow(lowest, lowest), partHigh = -partLow;
        for (uint32_t k : part) {
            const MeshVertex &v = cavity.vertices[k];
            lowest = std::min(lowest, v.z);
            partLow = QVector2D(std::min(partLow.x(), v.x), std::min(partLow.y(), v.y));
            partHigh = QVector2D(std::max(partHigh.x(), v.x), std::max(partHigh.y(), v.y));
        }
        // A hole runs from a point of the cavity's surface near its floor
        // through the wall the shortest way, along the surface's normal
        // there; sideways if it can, since an opening facing down may sit
        // on the plate or the supports, and with its lower edge on the floor
        // so that nothing is left standing below it.
        const float target = lowest + radius;
        std::vector<std::pair<std::pair<int, float>, uint32_t>> candidates; // (sidewaysness, height off target), vertex
        for (uint32_t k : part) {
            const MeshVertex &v = cavity.vertices[k];
            if (v.z <= lowest + diameterMm)
                candidates.push_back({{-int(std::lround(std::hypot(v.nx, v.ny) * 20)), std::abs(v.z - target)}, k});
        }
        std::sort(candidates.begin(), candidates.end());
        const auto holeFrom = [&](const auto &accept) -> std::optional<DrainHole> {
            // Each try casts a ray through the whole mesh: a few must do.
            int tries = 16;
            for (const auto &candidate : candidates) {
                const MeshVertex &v = cavity.vertices[candidate.second];
                const QVector3D from(v.x, v.y, v.z), in(v.nx, v.ny, v.nz);
                if (!accept(from, in))
                    continue;
                if (tries-- == 0)
                    break;
                const std::optional<float> length = wayOut(from, -in);
                // The hole reaches wall + 1 mm in: the cavity must begin within.
                if (length && *length <= wallMm + 0.5f)
                    return DrainHole{from - in * *length, in, diameterMm};
            }
            return std::nullopt;
        };
        const std::optional<DrainHole> first = holeFrom([](const QVector3D &, const QVector3D &) { return true; });
        if (!first)
            continue;
        holes.push_back(*first);
        // A wide cavity drains faster with air let in on its other side:
        // where the wall faces the other way.
        if (std::max(partHigh.x() - partLow.x(), partHigh.y() - partLow.y()) <= 30)
            continue;
        const QVector2D firstWay = first->direction.toVector2D();
        const std::optional<DrainHole> second = holeFrom([&firstWay](const QVector3D &, const QVector3D &in) {
            return QVector2D::dotProduct(in.toVector2D(), firstWay) < 0;
        });
        if (second)
            holes.push_back(*second);
    }
    return holes;
}

} // namespace CWS
