#pragma once

#include <QtGlobal>

#include <deque>
#include <utility>

// Transfer speed over a sliding window of the last few seconds, so that
// the figure does not jump with every display interval.
class RateMeter
{
public:
    explicit RateMeter(qint64 windowMs = 5000);

    void reset();
    // received bytes (counted from the start of the file) at time ms. A
    // figure smaller than the last one (the file started over) begins a
    // new measurement.
    void add(qint64 ms, qint64 received);

    // Bytes per second over the window; 0 until it spans some time.
    qint64 bytesPerSecond() const;
    // Whole seconds left at the current speed; -1 when there is no speed
    // or the total is unknown.
    qint64 secondsLeft(qint64 received, qint64 total) const;

private:
    qint64 m_windowMs;
    std::deque<std::pair<qint64, qint64>> m_samples; // (ms, received)
};
