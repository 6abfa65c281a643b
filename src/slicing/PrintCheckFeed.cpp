#include "slicing/PrintCheckFeed.h"

namespace CWS {

PrintCheckFeed::PrintCheckFeed(const SliceBuildConfig &config, std::vector<ModelFootprint> footprints)
    : m_check(config, std::move(footprints))
{
}

void PrintCheckFeed::add(const QImage &image, int layerIndex)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_waiting.emplace(layerIndex, image);
    if (m_checking)
        return; // the thread feeding the check takes this layer when its turn comes
    m_checking = true;
    while (!m_waiting.empty() && m_waiting.begin()->first == m_next) {
        const QImage next = std::move(m_waiting.begin()->second);
        m_waiting.erase(m_waiting.begin());
        ++m_next;
        lock.unlock();
        m_check.addLayer(next);
        lock.lock();
    }
    m_checking = false;
}

std::vector<PrintFinding> PrintCheckFeed::finish()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_check.finish();
}

} // namespace CWS
