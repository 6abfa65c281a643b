#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

class QImage;

namespace CWS {

// Columns [begin, end) of one row of a raster.
struct PixelRun
{
    int32_t row;
    int32_t begin;
    int32_t end;

    int length() const { return end - begin; }
};

// A set of pixels as runs along the rows: runs are kept in raster order
// (row by row from the top, left to right within a row) and never touch or
// overlap within a row. Memory is one PixelRun per run plus one index per
// raster row.
class RowRuns
{
public:
    // Empties the set for a raster of height rows.
    void reset(int height);
    // Appends a run: rows in increasing order, a row's runs left to right,
    // not touching the one before.
    void add(int row, int begin, int end)
    {
        for (; m_opened <= row; ++m_opened)
            m_rowStart[size_t(m_opened)] = int32_t(m_runs.size());
        m_runs.push_back({row, begin, end});
    }

    bool empty() const { return m_runs.empty(); }
    const std::vector<PixelRun> &runs() const { return m_runs; }
    // The runs of row; none outside the raster.
    const PixelRun *rowBegin(int row) const
    {
        return m_runs.data() + (row < 0 || row >= m_opened ? m_runs.size() : size_t(m_rowStart[size_t(row)]));
    }
    const PixelRun *rowEnd(int row) const
    {
        return m_runs.data() + (row < 0 || row + 1 >= m_opened ? m_runs.size() : size_t(m_rowStart[size_t(row) + 1]));
    }
    int top() const { return m_runs.empty() ? 0 : m_runs.front().row; }
    int bottom() const { return m_runs.empty() ? -1 : m_runs.back().row; }

    // The lit (grey above 0) and solid (grey from 128) pixels of a layer
    // image: Format_Mono (index 0 black; white is both), Grayscale8 or
    // Indexed8 grey. Reads only the rows from firstRow to lastRow, and each
    // black or white stretch of them eight bytes at a time.
    static void fromImage(const QImage &image, RowRuns &lit, RowRuns &solid, int firstRow = 0,
                          int lastRow = std::numeric_limits<int>::max());

    // Pixels of run that lie in one of the runs [first, last) of its row.
    static int overlap(const PixelRun &run, const PixelRun *first, const PixelRun *last);

private:
    std::vector<PixelRun> m_runs;
    // Where each row's runs start, for the rows up to the last run's; later
    // rows hold none.
    std::vector<int32_t> m_rowStart;
    int m_opened = 0; // rows whose start is set
};

} // namespace CWS
