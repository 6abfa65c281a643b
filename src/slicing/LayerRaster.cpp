#include "slicing/LayerRaster.h"

#include "settings/SliceBuildConfig.h"

#include <QDebug>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace CWS {

namespace {

// A segment in pixels relative to the raster's centre, with the rows it
// crosses: from its lower end row up to, not including, end (a segment
// lying on one row crosses that row only, with both ends).
struct Edge
{
    int xl, yl; // the end with the smaller row
    int xh, yh;
    int end;
    // How the outline crosses the row at xl: +1 to larger rows, -1 to
    // smaller ones; along a row, +1 where it enters the row and -1 (at xh)
    // where it leaves. 0 when the segment's winding is not known.
    int wl;
};

// A crossing of a row and the outline's direction there (Edge::wl).
struct Crossing
{
    int x;
    int w;
};

} // namespace

LayerRaster::LayerRaster(const SliceBuildConfig &config, QImage canvas)
    : m_image(std::move(canvas))
    , m_centreX(config.resolutionX / 2 + config.offsetX)
    , m_centreY(config.resolutionY / 2 + config.offsetY)
    , m_scaleX(config.pixelsPerMmX)
    , m_scaleY(config.pixelsPerMmY)
{
    if (m_image.size() == QSize(config.resolutionX, config.resolutionY) && m_image.format() == QImage::Format_Mono)
        return;
    m_image = QImage(config.resolutionX, config.resolutionY, QImage::Format_Mono);
    m_image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    m_image.fill(0);
}

template<bool White>
void LayerRaster::paint(const std::vector<SliceSegment> &segments)
{
    if (segments.empty())
        return;

    const auto onRaster = [this](int x, int y) {
        return x >= 0 && x < m_image.width() && y >= 0 && y < m_image.height();
    };
    std::vector<Edge> edges;
    std::vector<QLine> offRaster;
    edges.reserve(segments.size());
    int minRow = std::numeric_limits<int>::max();
    int maxRow = std::numeric_limits<int>::min();
    int minColumn = std::numeric_limits<int>::max();
    int maxColumn = std::numeric_limits<int>::min();
    bool oriented = true;
    for (const SliceSegment &s : segments) {
        const int x1 = int(double(s.p1.x()) * m_scaleX), y1 = int(double(s.p1.y()) * m_scaleY);
        const int x2 = int(double(s.p2.x()) * m_scaleX), y2 = int(double(s.p2.y()) * m_scaleY);
        const QLine line(x1 + m_centreX, y1 + m_centreY, x2 + m_centreX, y2 + m_centreY);
        if (onRaster(line.x1(), line.y1()) && onRaster(line.x2(), line.y2()))
            drawOutline<White>(line);
        else
            offRaster.push_back(line);
        oriented = oriented && s.winding != 0;
        // Along a row the outline enters at p1 when it runs from p1 to p2.
        if (y1 == y2)
            edges.push_back({x1, y1, x2, y2, y1 + 1, s.winding});
        else if (y1 < y2)
            edges.push_back({x1, y1, x2, y2, y2, s.winding});
        else
            edges.push_back({x2, y2, x1, y1, y1, -s.winding});
        minRow = std::min({minRow, y1, y2});
        maxRow = std::max({maxRow, y1, y2});
        minColumn = std::min({minColumn, x1, x2});
        maxColumn = std::max({maxColumn, x1, x2});
    }
    if (White) {
        m_content |= QRect(QPoint(minColumn + m_centreX, minRow + m_centreY),
                           QPoint(maxColumn + m_centreX, maxRow + m_centreY))
                     & m_image.rect();
    }

    if (!offRaster.empty()) {
        // The painting library shortens a line at the raster's edge before
        // stepping along it, which moves its pixels; it draws these itself.
        QPainter painter(&m_image);
        painter.setPen(QPen(White ? QColor(255, 255, 255, 255) : QColor(0, 0, 0, 255), 1, Qt::SolidLine));
        painter.drawLines(offRaster.data(), int(offRaster.size()));
    }

    // Rows are swept upwards with the segments that cross the current one;
    // a segment joins at its lower row and leaves after its last. Only the
    // raster's rows are swept: a model far off the platform costs no more
    // than one on it. The segments are put in order of the row they join
    // at by counting, as the rows are far fewer than the segments' orderings.
    const int firstRow = std::max(minRow, -m_centreY);
    const int lastRow = std::min(maxRow, m_image.height() - m_centreY);
    if (firstRow >= lastRow)
        return;
    const auto joinRow = [firstRow](const Edge &e) { return size_t(std::max(e.yl, firstRow) - firstRow); };
    std::vector<size_t> joining(size_t(lastRow - firstRow) + 1, 0); // where each row's segments start
    for (const Edge &e : edges) {
        if (e.yl < lastRow && e.end > firstRow)
            ++joining[joinRow(e) + 1];
    }
    for (size_t row = 1; row < joining.size(); ++row)
        joining[row] += joining[row - 1];
    std::vector<const Edge *> byRow(joining.back());
    {
        std::vector<size_t> next(joining.begin(), joining.end() - 1);
        for (const Edge &e : edges) {
            if (e.yl < lastRow && e.end > firstRow)
                byRow[next[joinRow(e)]++] = &e;
        }
    }

    std::vector<const Edge *> active;
    std::vector<Crossing> crossings;
    for (int row = firstRow; row < lastRow; ++row) {
        const size_t r = size_t(row - firstRow);
        active.insert(active.end(), byRow.begin() + std::ptrdiff_t(joining[r]),
                      byRow.begin() + std::ptrdiff_t(joining[r + 1]));
        active.erase(std::remove_if(active.begin(), active.end(), [row](const Edge *e) { return e->end <= row; }),
                     active.end());
        crossings.clear();
        // Where two segments meet on a row only the one that goes on to
        // larger rows counts the shared end: an outline passing through the
        // row there crosses it once, one turning back there twice or not at all.
        int winding = 0;
        for (const Edge *e : active) {
            if (e->yl == e->yh) {
                crossings.push_back({e->xl, e->wl});
                crossings.push_back({e->xh, -e->wl});
            } else if (e->yl == row) {
                crossings.push_back({e->xl, e->wl});
                winding += e->wl;
            } else {
                crossings.push_back({int(e->xl + double(e->xh - e->xl) * (row - e->yl) / (e->yh - e->yl)), e->wl});
                winding += e->wl;
            }
        }

        if (crossings.size() % 2 != 0) {
            qDebug().nospace() << "Row y=" << row << " odd # of points = " << crossings.size()
                               << " - Model may have holes";
            continue;
        }
        const int y = row + m_centreY;
        std::sort(crossings.begin(), crossings.end(), [](const Crossing &a, const Crossing &b) { return a.x < b.x; });
        // Closed outlines cross a row as often upwards as downwards; when
        // they do not (an open mesh, triangles facing the wrong way) the
        // winding means nothing and the row is filled between pairs.
        if (!oriented || winding != 0) {
            for (size_t i = 0; i < crossings.size(); i += 2)
                fillSpan<White>(y, crossings[i].x + m_centreX, crossings[i + 1].x + m_centreX);
            continue;
        }
        int inside = 0;
        int start = 0;
        for (const Crossing &c : crossings) {
            if (inside == 0)
                start = c.x;
            inside += c.w;
            if (inside == 0)
                fillSpan<White>(y, start + m_centreX, c.x + m_centreX);
        }
    }
}

template<bool White>
void LayerRaster::drawOutline(const QLine &line)
{
    uchar *const bits = m_image.bits();
    const qsizetype bytesPerLine = m_image.bytesPerLine();
    const auto setPixel = [=](int x, int y) {
        uchar &byte = bits[y * bytesPerLine + (x >> 3)];
        const auto mask = uchar(0x80 >> (x & 7));
        byte = White ? byte | mask : byte & uchar(~mask);
    };
    if (line.p1() == line.p2()) {
        setPixel(line.x1(), line.y1());
        return;
    }
    // The painting library steps along the longer axis (x on a tie) one
    // pixel at a time, from half a pixel before the first end to half a
    // pixel after the last (its square cap), and moves along the other axis
    // in 16.16 fixed point: the step is the slope truncated toward zero,
    // the start is the first end less half a step (rounded down), plus a
    // whole step when the line climbs and half a step (rounded down) when
    // it does not. Pixels beyond the raster are dropped.
    const bool steep = std::abs(line.dx()) < std::abs(line.dy());
    int major1 = steep ? line.y1() : line.x1(), minor1 = steep ? line.x1() : line.y1();
    int major2 = steep ? line.y2() : line.x2(), minor2 = steep ? line.x2() : line.y2();
    if (major1 > major2) {
        std::swap(major1, major2);
        std::swap(minor1, minor2);
    }
    const int step = int(qint64(minor2 - minor1) * 65536 / (major2 - major1));
    int minor = minor1 * 65536 - (step >> 1) + (step > 0 ? step : (32 * step) >> 6);
    const int minorLimit = steep ? m_image.width() : m_image.height();
    for (int major = major1; major <= major2; ++major, minor += step) {
        const int pixel = minor >> 16;
        if (pixel < 0 || pixel >= minorLimit)
            continue;
        if (steep)
            setPixel(pixel, major);
        else
            setPixel(major, pixel);
    }
}

template<bool White>
void LayerRaster::fillSpan(int y, int x1, int x2)
{
    x1 = std::max(x1, 0);
    x2 = std::min(x2, m_image.width() - 1);
    if (x1 > x2)
        return;
    // Format_Mono keeps the leftmost pixel in a byte's highest bit.
    uchar *line = m_image.scanLine(y);
    const int first = x1 >> 3, last = x2 >> 3;
    const uchar firstMask = uchar(0xff >> (x1 & 7));
    const uchar lastMask = uchar(0xff << (7 - (x2 & 7)));
    const auto apply = [](uchar &byte, uchar mask) { byte = White ? byte | mask : byte & uchar(~mask); };
    if (first == last) {
        apply(line[first], firstMask & lastMask);
        return;
    }
    apply(line[first], firstMask);
    std::memset(line + first + 1, White ? 0xff : 0, size_t(last - first - 1));
    apply(line[last], lastMask);
}

template void LayerRaster::paint<true>(const std::vector<SliceSegment> &);
template void LayerRaster::paint<false>(const std::vector<SliceSegment> &);

QImage LayerRaster::toGrey() const
{
    // The eight levels of a byte's pixels, the first pixel in the first byte.
    static const std::array<quint64, 256> levels = [] {
        std::array<quint64, 256> table{};
        for (int b = 0; b < 256; ++b) {
            uchar pixels[8];
            for (int i = 0; i < 8; ++i)
                pixels[i] = (b >> (7 - i)) & 1 ? 255 : 0;
            std::memcpy(&table[size_t(b)], pixels, 8);
        }
        return table;
    }();

    QImage grey(m_image.size(), QImage::Format_Grayscale8);
    grey.fill(0);
    const int width = grey.width();
    for (int y = m_content.top(); y <= m_content.bottom(); ++y) {
        const uchar *bits = m_image.constScanLine(y);
        uchar *line = grey.scanLine(y);
        for (int b = m_content.left() / 8; b <= m_content.right() / 8; ++b) {
            if (bits[b] == 0)
                continue;
            if (8 * b + 8 <= width)
                std::memcpy(line + 8 * b, &levels[bits[b]], 8);
            else
                std::memcpy(line + 8 * b, &levels[bits[b]], size_t(width - 8 * b));
        }
    }
    return grey;
}

} // namespace CWS
