#include "slicing/PrintCheckFeed.h"

#include <QThread>

#include <algorithm>

namespace CWS {

PrintCheckFeed::PrintCheckFeed(const SliceBuildConfig &config, std::vector<ModelFootprint> footprints)
    : m_check(config, std::move(footprints))
{
}

void PrintCheckFeed::add(const QImage &image, int layerIndex, std::pair<int, int> rows)
{
    Runs runs{m_check.fits(image), {}, {}};
    if (runs.fits)
        RowRuns::fromImage(image, runs.lit, runs.solid, rows.first, rows.second);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_waiting.emplace(layerIndex, std::move(runs));
    if (m_checking) {
        // The feeding thread takes this layer when its turn comes. No
        // deadlock: it runs on, and whoever draws the next layer in order
        // never waits here for it, since it stops the feeding only when
        // that layer is missing, and then wakes everyone.
        const size_t most = size_t(std::max(4, 2 * QThread::idealThreadCount()));
        m_taken.wait(lock, [&] { return !m_checking || m_waiting.size() <= most; });
        if (m_checking || m_waiting.empty() || m_waiting.begin()->first != m_next)
            return;
    }
    m_checking = true;
    while (!m_waiting.empty() && m_waiting.begin()->first == m_next) {
        Runs next = std::move(m_waiting.begin()->second);
        m_waiting.erase(m_waiting.begin());
        ++m_next;
        lock.unlock();
        m_taken.notify_all();
        if (next.fits)
            m_check.addLayer(std::move(next.lit), std::move(next.solid));
        lock.lock();
    }
    m_checking = false;
    m_taken.notify_all();
}

std::vector<PrintFinding> PrintCheckFeed::finish()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_check.finish();
}

} // namespace CWS
