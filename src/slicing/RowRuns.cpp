#include "slicing/RowRuns.h"

#include <QImage>

#include <algorithm>
#include <cstring>

namespace CWS {

namespace {

uint64_t load64(const uchar *p)
{
    uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

constexpr uint64_t kHighBits = 0x8080808080808080ull;

} // namespace

void RowRuns::reset(int height)
{
    m_runs.clear();
    // Rows get their start as runs are added: nothing to clear.
    m_rowStart.resize(size_t(std::max(0, height)));
    m_opened = 0;
}

int RowRuns::overlap(const PixelRun &run, const PixelRun *first, const PixelRun *last)
{
    first = std::partition_point(first, last, [&](const PixelRun &r) { return r.end <= run.begin; });
    int covered = 0;
    for (; first != last && first->begin < run.end; ++first)
        covered += std::min(first->end, run.end) - std::max(first->begin, run.begin);
    return covered;
}

void RowRuns::fromImage(const QImage &image, RowRuns &lit, RowRuns &solid, int firstRow, int lastRow)
{
    const int width = image.width(), height = image.height();
    lit.reset(height);
    solid.reset(height);
    if (image.isNull())
        return;
    const int top = std::max(0, firstRow), bottom = std::min(height - 1, lastRow);
    const uchar *bits = image.constBits();
    const qsizetype stride = image.bytesPerLine();
    if (image.format() == QImage::Format_Mono) {
        const int bytes = (width + 7) / 8;
        for (int y = top; y <= bottom; ++y) {
            const uchar *line = bits + y * stride;
            int begin = -1; // of the run going on
            int i = 0;
            while (i < bytes) {
                // Skip what continues the current state, eight bytes at a time.
                const uint64_t same = begin < 0 ? 0 : ~uint64_t(0);
                while (i + 8 <= bytes && load64(line + i) == same)
                    i += 8;
                if (i >= bytes)
                    break;
                const uchar byte = line[i];
                if (byte == uchar(same)) {
                    ++i;
                    continue;
                }
                for (int bit = 0; bit < 8 && i * 8 + bit < width; ++bit) {
                    const int x = i * 8 + bit;
                    const bool on = byte & (0x80 >> bit);
                    if (on && begin < 0) {
                        begin = x;
                    } else if (!on && begin >= 0) {
                        lit.add(y, begin, x);
                        solid.add(y, begin, x);
                        begin = -1;
                    }
                }
                ++i;
            }
            if (begin >= 0) {
                lit.add(y, begin, width);
                solid.add(y, begin, width);
            }
        }
        return;
    }
    for (int y = top; y <= bottom; ++y) {
        const uchar *line = bits + y * stride;
        int x = 0;
        for (;;) {
            while (x + 32 <= width && (load64(line + x) | load64(line + x + 8) | load64(line + x + 16) | load64(line + x + 24)) == 0)
                x += 32;
            while (x + 8 <= width && load64(line + x) == 0)
                x += 8;
            while (x < width && !line[x])
                ++x;
            if (x >= width)
                break;
            const int litBegin = x;
            while (x < width && line[x]) {
                if (line[x] < 128) {
                    ++x;
                    continue;
                }
                const int solidBegin = x;
                while (x + 8 <= width && (load64(line + x) & kHighBits) == kHighBits)
                    x += 8;
                while (x < width && line[x] >= 128)
                    ++x;
                solid.add(y, solidBegin, x);
            }
            lit.add(y, litBegin, x);
        }
    }
}

} // namespace CWS
