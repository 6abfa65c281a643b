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

struct Stats
{
    QRect box;
    double sumX = 0, sumY = 0;
    int area = 0;
    int solidBelow = 0;
    bool border = false;
};

// Labels the 4-connected regions of box's unlabelled pixels for which
// in(index) holds, from label first + 1 on. Calls done(stats, label) after
// each region; a region that meets a labelled pixel counts as on the border.
template<class In, class Pixel, class Done>
void regions(std::vector<int32_t> &labels, int width, const QRect &box, int first, In in, Pixel pixel, Done done)
{
    std::vector<int> stack;
    int next = first;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            const int start = y * width + x;
            if (labels[start] || !in(start))
                continue;
            const int label = ++next;
            Stats stats;
            int left = x, right = x, top = y, bottom = y;
            labels[start] = label;
            stack.push_back(start);
            while (!stack.empty()) {
                const int p = stack.back();
                stack.pop_back();
                const int py = p / width, px = p - py * width;
                ++stats.area;
                stats.sumX += px;
                stats.sumY += py;
                left = std::min(left, px);
                right = std::max(right, px);
                top = std::min(top, py);
                bottom = std::max(bottom, py);
                if (px == box.left() || px == box.right() || py == box.top() || py == box.bottom())
                    stats.border = true;
                pixel(p, stats);
                const int neighbours[4] = {px > box.left() ? p - 1 : -1, px < box.right() ? p + 1 : -1,
                                           py > box.top() ? p - width : -1, py < box.bottom() ? p + width : -1};
                for (int q : neighbours) {
                    if (q < 0)
                        continue;
                    if (!labels[q]) {
                        if (in(q)) {
                            labels[q] = label;
                            stack.push_back(q);
                        }
                    } else if (labels[q] != label) {
                        stats.border = true;
                    }
                }
            }
            stats.box = QRect(QPoint(left, top), QPoint(right, bottom));
            done(stats, label);
        }
    }
}

void clearBox(std::vector<int32_t> &values, int width, const QRect &box)
{
    if (box.isEmpty())
        return;
    for (int y = box.top(); y <= box.bottom(); ++y)
        std::fill_n(values.begin() + y * width + box.left(), box.width(), 0);
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
    }
    return QString();
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
    const size_t pixels = size_t(std::max(0, m_width)) * size_t(std::max(0, m_height));
    m_grey.assign(pixels, 0);
    m_prevGrey.assign(pixels, 0);
    m_labels.assign(pixels, 0);
    m_hollowIds.assign(pixels, 0);
    m_prevHollowIds.assign(pixels, 0);

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

double PrintCheck::yMm(double row) const
{
    return (row - m_centreY) / m_ppmY;
}

void PrintCheck::addLayer(const QImage &image)
{
    if (image.width() != m_width || image.height() != m_height)
        return;
    load(image);
    islandsAndOverhangs();
    hollows();
    ++m_layer;
}

void PrintCheck::load(const QImage &image)
{
    std::swap(m_grey, m_prevGrey);
    std::swap(m_box, m_prevBox);
    std::swap(m_hollowIds, m_prevHollowIds);
    // The buffers now current still hold the layer below the previous one.
    if (!m_box.isEmpty()) {
        for (int y = m_box.top(); y <= m_box.bottom(); ++y)
            std::fill_n(m_grey.begin() + y * m_width + m_box.left(), m_box.width(), 0);
        clearBox(m_hollowIds, m_width, m_box);
    }
    m_box = QRect();
    if (image.isNull())
        return;

    const bool mono = image.format() == QImage::Format_Mono;
    const int rowBytes = mono ? (m_width + 7) / 8 : m_width;
    int top = -1, bottom = -1, left = m_width, right = -1;
    for (int y = 0; y < m_height; ++y) {
        const uchar *line = image.constScanLine(y);
        int first = 0;
        // Most rows are black: skip them eight bytes at a time.
        uint64_t word;
        while (first + 8 <= rowBytes && (std::memcpy(&word, line + first, 8), word == 0))
            first += 8;
        while (first < rowBytes && !line[first])
            ++first;
        if (first == rowBytes)
            continue;
        int last = rowBytes - 1;
        while (!line[last])
            --last;
        if (top < 0)
            top = y;
        bottom = y;
        uint8_t *out = m_grey.data() + size_t(y) * m_width;
        if (mono) {
            for (int x = first * 8; x < std::min(m_width, last * 8 + 8); ++x) {
                if (line[x >> 3] & (0x80 >> (x & 7))) {
                    out[x] = 255;
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        } else {
            std::memcpy(out + first, line + first, size_t(last - first + 1));
            left = std::min(left, first);
            right = std::max(right, last);
        }
    }
    if (top >= 0)
        m_box = QRect(QPoint(left, top), QPoint(right, bottom)).adjusted(-1, -1, 1, 1) & QRect(0, 0, m_width, m_height);
}

void PrintCheck::islandsAndOverhangs()
{
    // Findings still growing in the layer below; addFinding extends them or
    // appends this layer's, and whatever did not reach this layer is dropped.
    std::vector<Open> prevIslands, prevOverhangs;
    prevIslands.swap(m_openIslands);
    prevOverhangs.swap(m_openOverhangs);
    if (m_box.isEmpty() || m_layer == 0)
        return;
    const double pixelMm2 = 1.0 / (m_ppmX * m_ppmY);
    clearBox(m_labels, m_width, m_box);

    // Only a region with an unsupported pixel can be an island, and one
    // with 10 solid pixels below is none: the search starts from unsupported
    // pixels and stops at the 10th solid one, or on meeting a region that
    // stopped so, which leaves most of a well supported layer unvisited.
    std::vector<bool> island(1, false);
    const uint8_t *grey = m_grey.data();
    const uint8_t *below = m_prevGrey.data();
    std::vector<int> stack;
    const QRect &box = m_box;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        const int row = y * m_width;
        for (int x = box.left(); x <= box.right(); ++x) {
            const int start = row + x;
            if (!grey[start] || below[start] >= kSolid || m_labels[start])
                continue;
            const int label = int(island.size());
            island.push_back(false);
            int left = x, right = x, top = y, bottom = y, area = 0, solid = 0;
            double sumX = 0, sumY = 0;
            bool supported = false;
            m_labels[start] = label;
            stack.assign(1, start);
            while (!stack.empty() && !supported) {
                const int p = stack.back();
                stack.pop_back();
                const int py = p / m_width, px = p - py * m_width;
                ++area;
                sumX += px;
                sumY += py;
                left = std::min(left, px);
                right = std::max(right, px);
                top = std::min(top, py);
                bottom = std::max(bottom, py);
                if (below[p] >= kSolid && ++solid >= kIslandSupport)
                    supported = true;
                const int neighbours[4] = {px > box.left() ? p - 1 : -1, px < box.right() ? p + 1 : -1,
                                           py > box.top() ? p - m_width : -1, py < box.bottom() ? p + m_width : -1};
                for (int q : neighbours) {
                    if (q < 0 || !grey[q])
                        continue;
                    if (!m_labels[q]) {
                        m_labels[q] = label;
                        stack.push_back(q);
                    } else if (m_labels[q] != label) {
                        supported = true; // part of a region already found supported
                    }
                }
            }
            if (!supported && solid * 4 < area) {
                island.back() = true;
                addFinding(PrintFinding::Island, m_layer, QRect(QPoint(left, top), QPoint(right, bottom)), sumX, sumY,
                           area, prevIslands);
            }
        }
    }
    m_openIslands.swap(prevIslands); // addFinding appended this layer's after the previous ones
    m_openIslands.erase(std::remove_if(m_openIslands.begin(), m_openIslands.end(),
                                       [&](const Open &o) { return m_findings[o.finding].lastLayer != m_layer; }),
                        m_openIslands.end());

    // Pixels that could overhang: lit, not resting on solid, not part of an island.
    QRect candidates;
    for (int y = m_box.top(); y <= m_box.bottom(); ++y) {
        for (int x = m_box.left(); x <= m_box.right(); ++x) {
            const int p = y * m_width + x;
            if (grey[p] && below[p] < kSolid && !island[m_labels[p]])
                candidates |= QRect(x, y, 1, 1);
        }
    }
    if (candidates.isEmpty())
        return;
    const int reachX = int(std::ceil(kOverhangMm * m_ppmX)) + 1;
    const int reachY = int(std::ceil(kOverhangMm * m_ppmY)) + 1;
    const QRect area = candidates.adjusted(-reachX, -reachY, reachX, reachY) & QRect(0, 0, m_width, m_height);
    // Squared distance (mm²) along the row to the nearest solid pixel below.
    const float far = std::numeric_limits<float>::infinity();
    m_rowDistance.assign(size_t(area.width()) * area.height(), far);
    const double mmX = 1.0 / m_ppmX;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uint8_t *line = below + size_t(y) * m_width;
        float *out = m_rowDistance.data() + size_t(y - area.top()) * area.width();
        int last = -1;
        for (int x = area.left(); x <= area.right(); ++x) {
            if (line[x] >= kSolid)
                last = x;
            if (last >= 0)
                out[x - area.left()] = float((x - last) * mmX * (x - last) * mmX);
        }
        last = -1;
        for (int x = area.right(); x >= area.left(); --x) {
            if (line[x] >= kSolid)
                last = x;
            if (last >= 0)
                out[x - area.left()] = std::min(out[x - area.left()], float((last - x) * mmX * (last - x) * mmX));
        }
    }
    const double limit = kOverhangMm * kOverhangMm;
    const double mmY = 1.0 / m_ppmY;
    bool any = false;
    for (int y = candidates.top(); y <= candidates.bottom(); ++y) {
        for (int x = candidates.left(); x <= candidates.right(); ++x) {
            const int p = y * m_width + x;
            if (!grey[p] || below[p] >= kSolid || island[m_labels[p]])
                continue;
            bool near = false;
            for (int dy = 0; dy <= reachY && !near; ++dy) {
                const double dyMm2 = dy * mmY * dy * mmY;
                if (dyMm2 > limit)
                    break;
                for (int yy : {y - dy, y + dy}) {
                    if (yy >= area.top() && yy <= area.bottom()
                        && m_rowDistance[size_t(yy - area.top()) * area.width() + (x - area.left())] + dyMm2 <= limit) {
                        near = true;
                        break;
                    }
                }
            }
            if (!near) {
                m_labels[p] = -1;
                any = true;
            }
        }
    }
    if (!any)
        return;
    // The overhanging pixels carry -1; grouping relabels them from -2 down.
    std::vector<int32_t> &labels = m_labels;
    int32_t next = -1;
    stack.clear(); // the island search may have stopped with pixels left
    for (int y = candidates.top(); y <= candidates.bottom(); ++y) {
        for (int x = candidates.left(); x <= candidates.right(); ++x) {
            const int start = y * m_width + x;
            if (labels[start] != -1)
                continue;
            --next;
            Stats s;
            s.box = QRect(x, y, 1, 1);
            labels[start] = next;
            stack.push_back(start);
            while (!stack.empty()) {
                const int p = stack.back();
                stack.pop_back();
                const int px = p % m_width, py = p / m_width;
                ++s.area;
                s.sumX += px;
                s.sumY += py;
                s.box |= QRect(px, py, 1, 1);
                const int neighbours[4] = {px > candidates.left() ? p - 1 : -1, px < candidates.right() ? p + 1 : -1,
                                           py > candidates.top() ? p - m_width : -1,
                                           py < candidates.bottom() ? p + m_width : -1};
                for (int q : neighbours) {
                    if (q >= 0 && labels[q] == -1) {
                        labels[q] = next;
                        stack.push_back(q);
                    }
                }
            }
            if (s.area * pixelMm2 >= kOverhangAreaMm2)
                addFinding(PrintFinding::Overhang, m_layer, s.box, s.sumX, s.sumY, s.area, prevOverhangs);
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
    const uint8_t *grey = m_grey.data();
    const uint8_t *below = m_prevGrey.data();
    // Regions of unsolid pixels; those reaching the box's edge are the outside.
    std::vector<bool> outside(1, true);
    std::vector<int> hollowOfLabel(1, -1);
    if (!m_box.isEmpty()) {
        clearBox(m_labels, m_width, m_box);
        // What lies before a row's first solid pixel or after its last is
        // outside: marked without a search, as label 1.
        outside.push_back(true);
        hollowOfLabel.push_back(-1);
        for (int y = m_box.top(); y <= m_box.bottom(); ++y) {
            const int row = y * m_width;
            int x = m_box.left();
            while (x <= m_box.right() && grey[row + x] < kSolid)
                m_labels[row + x++] = 1;
            for (int r = m_box.right(); r >= x && grey[row + r] < kSolid; --r)
                m_labels[row + r] = 1;
        }
        std::vector<int> roots;
        int belowOutside = 0;
        regions(
            m_labels, m_width, m_box, 1, [&](int p) { return grey[p] < kSolid; },
            [&](int p, Stats &) {
                if (const int id = m_prevHollowIds[p]) {
                    const int r = root(id - 1);
                    if (std::find(roots.begin(), roots.end(), r) == roots.end())
                        roots.push_back(r);
                } else if (below[p] < kSolid && m_layer > 0) {
                    ++belowOutside; // on the plate, layer 0 rests on nothing open
                }
            },
            [&](const Stats &s, int) {
                outside.push_back(s.border);
                hollowOfLabel.push_back(-1);
                if (!s.border) {
                    int h;
                    if (roots.empty()) {
                        h = int(m_hollows.size());
                        const bool open = belowOutside >= kDrainPixels;
                        m_hollows.push_back({h, m_layer, m_layer, open, !open, 0, 0, 0, 0, true});
                    } else {
                        // Regions that meet in this layer are one hollow.
                        h = roots.front();
                        for (size_t i = 1; i < roots.size(); ++i) {
                            Hollow &a = m_hollows[h];
                            Hollow &b = m_hollows[roots[i]];
                            a.firstLayer = std::min(a.firstLayer, b.firstLayer);
                            a.open = a.open || b.open;
                            a.closedBelow = a.closedBelow || b.closedBelow;
                            a.maxArea = std::max(a.maxArea, b.maxArea);
                            a.sumX += b.sumX;
                            a.sumY += b.sumY;
                            a.count += b.count;
                            b.parent = h;
                        }
                        if (belowOutside >= kDrainPixels)
                            m_hollows[h].open = true;
                    }
                    Hollow &hollow = m_hollows[h];
                    hollow.lastLayer = m_layer;
                    hollow.continued = true;
                    hollow.maxArea = std::max(hollow.maxArea, s.area);
                    hollow.sumX += s.sumX;
                    hollow.sumY += s.sumY;
                    hollow.count += s.area;
                    hollowOfLabel.back() = h;
                }
                roots.clear();
                belowOutside = 0;
            });
        for (int y = m_box.top(); y <= m_box.bottom(); ++y) {
            for (int x = m_box.left(); x <= m_box.right(); ++x) {
                const int p = y * m_width + x;
                const int h = hollowOfLabel[m_labels[p]];
                if (h >= 0)
                    m_hollowIds[p] = root(h) + 1;
            }
        }
    }
    if (m_prevBox.isEmpty())
        return;
    // The hollows of the layer below: drained where 10 or more of their pixels
    // meet the outside here, closed where nothing of them goes on.
    std::vector<int> alive, touch;
    for (int y = m_prevBox.top(); y <= m_prevBox.bottom(); ++y) {
        for (int x = m_prevBox.left(); x <= m_prevBox.right(); ++x) {
            const int p = y * m_width + x;
            if (!m_prevHollowIds[p])
                continue;
            const int r = root(m_prevHollowIds[p] - 1);
            auto it = std::find(alive.begin(), alive.end(), r);
            if (it == alive.end()) {
                alive.push_back(r);
                touch.push_back(0);
                it = alive.end() - 1;
            }
            const bool here = m_box.contains(x, y);
            if (grey[p] < kSolid && (!here || outside[m_labels[p]]))
                ++touch[it - alive.begin()];
        }
    }
    for (size_t i = 0; i < alive.size(); ++i) {
        Hollow &h = m_hollows[alive[i]];
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
    addLayer(empty);
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
