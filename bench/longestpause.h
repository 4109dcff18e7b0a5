#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <utility>

// The longest gap between ticks of a 1 ms timer while `during` runs the loop, and the time
// `during` took, both in milliseconds.
template <typename During> std::pair<double, double> longestPause(During during)
{
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    clock.start();
    tick.start();
    during();
    // A pause at the very end (an operation that runs to its end in the call) counts too.
    longest = std::max(longest, clock.nsecsElapsed() - last);
    tick.stop();
    return { double(longest) / 1e6, double(clock.nsecsElapsed()) / 1e6 };
}
