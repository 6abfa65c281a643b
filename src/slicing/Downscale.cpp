#include "slicing/Downscale.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

namespace CWS {

namespace {

// canvas if it is a black image of size to draw on, else a new black one.
QImage blackGrey(const QSize &size, QImage canvas)
{
    if (canvas.size() == size && canvas.format() == QImage::Format_Grayscale8)
        return canvas;
    QImage grey(size, QImage::Format_Grayscale8);
    grey.fill(0);
    return grey;
}

bool isWhite(const uchar *line, int x)
{
    return (line[x >> 3] >> (7 - (x & 7))) & 1;
}

// One direction of the painting library's area-averaging reduction from s
// to d pixels (fixed point, 14 fraction bits): reduced pixel i covers source
// pixels first[i], first[i] + 1, ... weighted share[i], then whole while more
// than whole is left of 1 << 14, then what is left.
struct AreaAxis
{
    std::vector<int> first;
    std::vector<int> share;
    int whole;

    AreaAxis(int s, int d)
        : whole(((d << 14) + s - 1) / s)
    {
        const qint64 step = (qint64(s) << 16) / d;
        qint64 position = 0;
        for (int i = 0; i < d; ++i) {
            first.push_back(int(position >> 16));
            share.push_back(int(((0x10000 - (position & 0xffff)) * whole) >> 16));
            position += step;
        }
    }

    // Calls visit(source pixel, weight) for reduced pixel i, in order.
    template<typename Visit>
    void forEach(int i, Visit visit) const
    {
        int p = first[size_t(i)];
        visit(p, uint32_t(share[size_t(i)]));
        int left = (1 << 14) - share[size_t(i)];
        for (; left > whole; left -= whole)
            visit(++p, uint32_t(whole));
        visit(++p, uint32_t(left));
    }

    // The reduced pixels whose source pixels reach into [from, to].
    std::pair<int, int> over(int from, int to) const
    {
        const auto last = [this](int i) {
            int p = 0;
            forEach(i, [&p](int pixel, uint32_t) { p = pixel; });
            return p;
        };
        int begin = 0;
        while (begin < int(first.size()) && last(begin) < from)
            ++begin;
        int end = begin;
        while (end < int(first.size()) && first[size_t(end)] <= to)
            ++end;
        return {begin, end - 1};
    }
};

// Any reduction of more than half in one direction: the painting library
// averages the areas (QImage::smoothScaled): per reduced pixel, each source
// row is summed across with 14-bit weights, and the row sums, shifted right
// by 4, down with 14-bit weights, in 32 bits; the level is the top byte.
QImage averageAreas(const QImage &mono, const QRect &content, const QSize &size, QImage canvas)
{
    QImage grey = blackGrey(size, std::move(canvas));
    if (content.isEmpty())
        return grey;
    const AreaAxis xAxis(mono.width(), size.width());
    const AreaAxis yAxis(mono.height(), size.height());
    // Not a structured binding: the row lambda below captures x0 and x1,
    // which C++17 allows only for variables (clang refuses bindings).
    int x0, x1;
    std::tie(x0, x1) = xAxis.over(content.left(), content.right());
    const auto [y0, y1] = yAxis.over(content.top(), content.bottom());
    if (x0 > x1)
        return grey;

    std::vector<uint32_t> total(size_t(x1 - x0 + 1));
    for (int y = y0; y <= y1; ++y) {
        std::fill(total.begin(), total.end(), 0u);
        yAxis.forEach(y, [&](int row, uint32_t rowWeight) {
            const uchar *bits = mono.constScanLine(row);
            for (int x = x0; x <= x1; ++x) {
                uint32_t sum = 0;
                xAxis.forEach(x, [&](int column, uint32_t weight) { sum += isWhite(bits, column) ? 255 * weight : 0; });
                total[size_t(x - x0)] += (sum >> 4) * rowWeight;
            }
        });
        uchar *line = grey.scanLine(y);
        for (size_t x = 0; x < total.size(); ++x)
            line[size_t(x0) + x] = uchar(total[x] >> 24);
    }
    return grey;
}

// Exactly half the size in both directions. The painting library draws the
// enlarged image scaled by one half with bilinear filtering, which samples
// each reduced pixel halfway between the 2 x 2 pixels under it: k white
// ones give 255 x k / 4, truncated (0, 63, 127, 191, 255).
//
// A source byte holds the upper or lower halves of four reduced pixels, so
// rows are reduced a byte pair at a time: black and white pairs, most of a
// layer, cost one comparison.
QImage halve(const QImage &mono, const QRect &content, const QSize &size, QImage canvas)
{
    static constexpr std::array<uchar, 5> level{0, 63, 127, 191, 255};
    // Per source byte, the white pixels of each bit pair, the first pair
    // (the highest bits) in the first byte of the word.
    static const std::array<std::array<uchar, 4>, 256> pairs = [] {
        std::array<std::array<uchar, 4>, 256> table{};
        for (int b = 0; b < 256; ++b) {
            for (int i = 0; i < 4; ++i)
                table[size_t(b)][size_t(i)] = uchar(((b >> (7 - 2 * i)) & 1) + ((b >> (6 - 2 * i)) & 1));
        }
        return table;
    }();

    QImage grey = blackGrey(size, std::move(canvas));
    if (content.isEmpty())
        return grey;
    const int width = size.width();
    const int firstByte = content.left() / 8;
    const int lastByte = std::min(content.right() / 2, width - 1) / 4;
    const int y0 = content.top() / 2, y1 = std::min(content.bottom() / 2, size.height() - 1);
    for (int y = y0; y <= y1; ++y) {
        const uchar *upper = mono.constScanLine(2 * y);
        const uchar *lower = mono.constScanLine(2 * y + 1);
        uchar *line = grey.scanLine(y);
        for (int b = firstByte; b <= lastByte; ++b) {
            // Black and white runs go eight source bytes at a time.
            while (b + 8 <= lastByte + 1 && 4 * b + 32 <= width) {
                uint64_t u8, l8;
                std::memcpy(&u8, upper + b, 8);
                std::memcpy(&l8, lower + b, 8);
                if ((u8 | l8) == 0) {
                    b += 8;
                } else if ((u8 & l8) == ~uint64_t(0)) {
                    std::memset(line + 4 * b, 255, 32);
                    b += 8;
                } else {
                    break;
                }
            }
            if (b > lastByte)
                break;
            const uchar u = upper[b], l = lower[b];
            if ((u | l) == 0)
                continue;
            const int x = 4 * b;
            const int count = std::min(4, width - x);
            if ((u & l) == 0xff && count == 4) {
                std::memset(line + x, 255, 4);
                continue;
            }
            for (int i = 0; i < count; ++i)
                line[x + i] = level[size_t(pairs[u][size_t(i)] + pairs[l][size_t(i)])];
        }
    }
    return grey;
}

} // namespace

QImage downscale(const QImage &mono, const QRect &content, const QSize &size, QImage canvas)
{
    const int w = size.width(), h = size.height();
    const int W = mono.width(), H = mono.height();
    if (W == 2 * w && H == 2 * h)
        return halve(mono, content, size, std::move(canvas));
    // QImage::scaled switches to area averaging beyond a halving; only
    // reductions in both directions are averaged here.
    if (W > w && H > h && (W > 2 * w || H > 2 * h))
        return averageAreas(mono, content, size, std::move(canvas));
    return mono.convertToFormat(QImage::Format_Grayscale8)
        .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_Grayscale8);
}

QRect reducedContent(const QRect &content, const QSize &monoSize, const QSize &size)
{
    if (content.isEmpty())
        return QRect();
    // A reduced pixel mixes the source pixels under it and, when smoothed,
    // their neighbours: two more on each side hold every one of them.
    const auto reduced = [](int first, int last, qint64 to, qint64 from) {
        return std::make_pair(int(std::max<qint64>(0, first * to / from - 2)),
                              int(std::min<qint64>(to - 1, (last + 1) * to / from + 2)));
    };
    const auto [left, right] = reduced(content.left(), content.right(), size.width(), monoSize.width());
    const auto [top, bottom] = reduced(content.top(), content.bottom(), size.height(), monoSize.height());
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace CWS
