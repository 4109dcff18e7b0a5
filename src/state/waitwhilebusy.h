#pragma once

#include "state/connectstate.h"

#include <QEventLoop>

// Runs the event loop until the state's running operation has ended; returns at once when
// none runs. For the headless driver and the benchmarks, which have no window.
inline void waitWhileBusy(ConnectState &state)
{
    if (!state.busy())
        return;
    QEventLoop loop;
    QObject::connect(&state, &ConnectState::busyChanged, &loop, [&] {
        if (!state.busy())
            loop.quit();
    });
    loop.exec();
}
