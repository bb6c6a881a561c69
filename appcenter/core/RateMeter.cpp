#include "appcenter/core/RateMeter.h"

RateMeter::RateMeter(qint64 windowMs)
    : m_windowMs(windowMs)
{
}

void RateMeter::reset()
{
    m_samples.clear();
}

void RateMeter::add(qint64 ms, qint64 received)
{
    if (!m_samples.empty() && (received < m_samples.back().second || ms < m_samples.back().first))
        m_samples.clear();
    m_samples.emplace_back(ms, received);
    // The oldest sample kept is the last one at or before the window's start.
    while (m_samples.size() > 2 && m_samples[1].first <= ms - m_windowMs)
        m_samples.pop_front();
}

qint64 RateMeter::bytesPerSecond() const
{
    if (m_samples.size() < 2)
        return 0;
    const auto &first = m_samples.front();
    const auto &last = m_samples.back();
    const qint64 span = last.first - first.first;
    if (span <= 0)
        return 0;
    return (last.second - first.second) * 1000 / span;
}

qint64 RateMeter::secondsLeft(qint64 received, qint64 total) const
{
    const qint64 speed = bytesPerSecond();
    if (speed <= 0 || total < 0 || received > total)
        return -1;
    return (total - received) / speed;
}
