#pragma once

#include "state/connectstate.h"

#include <QEventLoop>
#include <algorithm>

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

// Runs the event loop until no card's check is running; returns at once when none runs.
inline void waitWhileChecking(ConnectState &state)
{
    const auto checking = [&] {
        return std::any_of(agents().begin(), agents().end(), [&](const AgentDescriptor &agent) {
            return state.check(agent.kind).stage == ConnectState::AgentCheckStatus::Stage::running;
        });
    };
    if (!checking())
        return;
    QEventLoop loop;
    QObject::connect(&state, &ConnectState::checkChanged, &loop, [&] {
        if (!checking())
            loop.quit();
    });
    loop.exec();
}
