#include "slicing/PrinterImage.h"

#include "settings/SliceBuildConfig.h"
#include "slicing/PngEncoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace CWS {

namespace {

// Turned rows are made this many at a time, so that each layer row is read
// once per block rather than once per turned row.
constexpr int portraitBlock = 64;

struct Tables
{
    // A byte's eight pixels as 8-bit levels, its first (highest) bit first,
    // and the same eight reversed.
    std::array<std::array<uchar, 8>, 256> levels;
    std::array<std::array<uchar, 8>, 256> reversedLevels;
    std::array<uchar, 256> reversedBits;

    Tables()
    {
        for (int b = 0; b < 256; ++b) {
            uchar reversed = 0;
            for (int i = 0; i < 8; ++i) {
                const bool white = (b >> (7 - i)) & 1;
                levels[size_t(b)][size_t(i)] = white ? 255 : 0;
                reversedLevels[size_t(b)][size_t(7 - i)] = white ? 255 : 0;
                reversed |= uchar(white << i);
            }
            reversedBits[size_t(b)] = reversed;
        }
    }
};

const Tables &tables()
{
    static const Tables t;
    return t;
}

uchar monoLevel(const uchar *line, int x)
{
    return (line[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
}

// Which of from pixels each of to pixels copies when the painting library
// scales an 8-bit grey image from from to to pixels along one axis without
// smoothing. Its rounding is its own, so it is asked: a probe holding each
// pixel's index, a byte at a time. A run scales to one size only: the last
// answer per axis is kept.
const std::vector<int> &nearestSamples(int from, int to, bool columns)
{
    struct Kept
    {
        int from = -1, to = -1;
        std::vector<int> samples;
    };
    thread_local std::array<Kept, 2> kept;
    Kept &k = kept[columns ? 0 : 1];
    if (k.from == from && k.to == to)
        return k.samples;
    k = Kept{from, to, std::vector<int>(size_t(to), 0)};
    for (int shift : {0, 8}) {
        QImage probe(columns ? QSize(from, 1) : QSize(1, from), QImage::Format_Grayscale8);
        for (int i = 0; i < from; ++i)
            *(columns ? probe.scanLine(0) + i : probe.scanLine(i)) = uchar(i >> shift);
        const QImage scaled = probe.scaled(columns ? QSize(to, 1) : QSize(1, to), Qt::IgnoreAspectRatio,
                                           Qt::FastTransformation);
        for (int i = 0; i < to; ++i)
            k.samples[size_t(i)] |= int(*(columns ? scaled.constScanLine(0) + i : scaled.constScanLine(i))) << shift;
    }
    return k.samples;
}

} // namespace

PrinterImage::PrinterImage(const QImage &layer, const QRect &content, const SliceBuildConfig &config, bool grey)
    : m_layer(layer)
    , m_content(content.normalized() & layer.rect())
    , m_layerGrey(layer.format() == QImage::Format_Grayscale8)
    , m_mirrorX(config.mirrorX)
    , m_mirrorY(config.mirrorY)
    , m_portrait(config.portrait)
    , m_grey(grey || m_layerGrey || config.portrait)
    , m_size(config.portrait ? layer.size().transposed() : layer.size())
{
}

uchar PrinterImage::pixel(int x, int y) const
{
    const int w = m_layer.width(), h = m_layer.height();
    const int lx = m_portrait ? (m_mirrorX ? w - 1 - y : y) : (m_mirrorX ? w - 1 - x : x);
    const int ly = m_portrait ? (m_mirrorY ? h - 1 - x : x) : (m_mirrorY ? y : h - 1 - y);
    const uchar *line = m_layer.constScanLine(ly);
    return m_layerGrey ? line[lx] : monoLevel(line, lx);
}

QByteArray PrinterImage::png()
{
    m_blockFirst = -1;
    return encodePng(m_size, !m_grey, [this](int y) {
        const Row row = m_portrait ? portraitRow(y) : landscapeRow(y);
        return RowBytes{row.bytes, row.begin, row.end};
    });
}

PrinterImage::Row PrinterImage::landscapeRow(int y)
{
    const int w = m_layer.width();
    const int ly = m_mirrorY ? y : m_layer.height() - 1 - y;
    if (m_content.isEmpty() || ly < m_content.top() || ly > m_content.bottom())
        return {nullptr, 0, 0};
    const uchar *line = m_layer.constScanLine(ly);
    const int left = m_content.left(), right = m_content.right();
    if (m_layerGrey) {
        if (!m_mirrorX)
            return {line, left, right + 1};
        m_buffer.resize(size_t(w));
        std::reverse_copy(line + left, line + right + 1, m_buffer.data() + (w - 1 - right));
        return {m_buffer.data(), w - 1 - right, w - left};
    }
    const Tables &t = tables();
    const int firstByte = left / 8, lastByte = right / 8;
    if (!m_grey) {
        if (!m_mirrorX)
            return {line, firstByte, lastByte + 1};
        // Pixel x is the reversed row's pixel x + pad, the row being padded
        // to whole bytes with black.
        const int rowBytes = (w + 7) / 8, pad = 8 * rowBytes - w;
        const auto reversed = [&](int j) { return j < rowBytes ? t.reversedBits[line[rowBytes - 1 - j]] : 0; };
        m_buffer.resize(size_t(rowBytes));
        const int begin = (w - 1 - right) / 8, end = (w - 1 - left) / 8 + 1;
        for (int j = begin; j < end; ++j)
            m_buffer[size_t(j)] = pad == 0 ? uchar(reversed(j)) : uchar((reversed(j) << pad) | (reversed(j + 1) >> (8 - pad)));
        return {m_buffer.data(), begin, end};
    }
    m_buffer.resize(size_t(w));
    uchar *to = m_buffer.data();
    const int pixelsEnd = std::min(w, 8 * (lastByte + 1));
    for (int b = firstByte; b <= lastByte; ++b) {
        const int x = 8 * b;
        if (x + 8 <= w) {
            std::memcpy(to + (m_mirrorX ? w - 8 - x : x), (m_mirrorX ? t.reversedLevels : t.levels)[line[b]].data(), 8);
            continue;
        }
        for (int i = x; i < w; ++i)
            to[m_mirrorX ? w - 1 - i : i] = monoLevel(line, i);
    }
    if (m_mirrorX)
        return {to, w - pixelsEnd, w - 8 * firstByte};
    return {to, 8 * firstByte, pixelsEnd};
}

PrinterImage::Row PrinterImage::portraitRow(int y)
{
    const int w = m_layer.width(), h = m_layer.height();
    const auto layerColumn = [&](int row) { return m_mirrorX ? w - 1 - row : row; };
    const int lx = layerColumn(y);
    if (m_content.isEmpty() || lx < m_content.left() || lx > m_content.right())
        return {nullptr, 0, 0};
    const int begin = m_mirrorY ? h - 1 - m_content.bottom() : m_content.top();
    const int end = m_mirrorY ? h - m_content.top() : m_content.bottom() + 1;
    if (m_blockFirst < 0 || y < m_blockFirst || y >= m_blockFirst + portraitBlock) {
        m_blockFirst = y;
        m_buffer.resize(size_t(portraitBlock) * size_t(h));
        const int rows = std::min(portraitBlock, m_size.height() - y);
        for (int ly = m_content.top(); ly <= m_content.bottom(); ++ly) {
            const uchar *line = m_layer.constScanLine(ly);
            uchar *to = m_buffer.data() + (m_mirrorY ? h - 1 - ly : ly);
            for (int k = 0; k < rows; ++k) {
                const int x = layerColumn(y + k);
                if (x >= m_content.left() && x <= m_content.right())
                    to[size_t(k) * size_t(h)] = m_layerGrey ? line[x] : monoLevel(line, x);
            }
        }
    }
    return {m_buffer.data() + size_t(y - m_blockFirst) * size_t(h), begin, end};
}

QImage PrinterImage::thumbnail(const QSize &box) const
{
    const QSize small = m_size.scaled(box, Qt::KeepAspectRatio);
    if (small.isEmpty())
        return QImage();
    const std::vector<int> &columns = nearestSamples(m_size.width(), small.width(), true);
    const std::vector<int> &rows = nearestSamples(m_size.height(), small.height(), false);
    // Each thumbnail column reads one layer column (landscape) or row
    // (portrait), each thumbnail row the other: found once, not per pixel,
    // as this runs for every layer.
    const int w = m_layer.width(), h = m_layer.height();
    std::vector<int> across(columns.size()), down(rows.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        const int x = columns[i];
        across[i] = m_portrait ? (m_mirrorY ? h - 1 - x : x) : (m_mirrorX ? w - 1 - x : x);
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        const int y = rows[i];
        down[i] = m_portrait ? (m_mirrorX ? w - 1 - y : y) : (m_mirrorY ? y : h - 1 - y);
    }
    const uchar *bits = m_layer.constBits();
    const qsizetype bytesPerLine = m_layer.bytesPerLine();
    QImage image(small, QImage::Format_Grayscale8);
    for (int y = 0; y < small.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < small.width(); ++x) {
            const int lx = m_portrait ? down[size_t(y)] : across[size_t(x)];
            const int ly = m_portrait ? across[size_t(x)] : down[size_t(y)];
            const uchar *from = bits + ly * bytesPerLine;
            line[x] = m_layerGrey ? from[lx] : monoLevel(from, lx);
        }
    }
    return image;
}

} // namespace CWS
