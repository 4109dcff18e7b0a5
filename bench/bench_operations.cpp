// Window responsiveness while the operations run the keyring and launchd tools.
//
// The longest pause of the event loop, measured by a 1 ms timer, during each operation a user
// starts in turn: sign-in, connecting each agent and clearing, against the local relay on a
// thread of its own, with the `security` and `launchctl` stand-ins built with the project and a
// temporary home. Goal: under 16 ms for each, also with `--load 2` on two cores.
//
// The stand-ins reach the Secret Service and keep their own state under XDG_STATE_HOME: run it
// through bench/run.sh, which starts it in a private keyring session with a temporary HOME.
// Prints the figures; asserts nothing.

#include "benchsupport.h"
#include "longestpause.h"
#include "relaythread.h"
#include "state/connectstate.h"
#include "state/waitwhilebusy.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int rounds = 20;

struct Step
{
    QString name;
    std::function<void(ConnectState &)> start;
    std::function<bool(const ConnectState &)> succeeded;
    QList<double> pauses;
    QList<double> durations;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QTemporaryDir home;
    RelayThread relay;
    if (!home.isValid() || relay.port() == 0) {
        std::fprintf(stderr, "cannot make a temporary home or start the local relay\n");
        return 1;
    }
    ConnectState state(std::make_shared<StandInPlatform>(home.path()));
    state.setRouterURL(relay.baseUrl().toString());
    state.setUsername(relay.account().email);

    QList<Step> steps = { { QStringLiteral("sign-in"),
                              [&](ConnectState &s) {
                                  s.setPassword(relay.account().password);
                                  s.login();
                              },
                              [](const ConnectState &s) { return s.authenticated(); }, {}, {} },
        { QStringLiteral("connect Codex"), [](ConnectState &s) { s.configureCodexFromAccount(); },
            [](const ConnectState &s) { return s.codexConnected(); }, {}, {} } };
    for (const AgentDescriptor &agent : agents()) {
        if (agent.kind != AgentKind::codex)
            steps.append({ QStringLiteral("connect ") + title(agent.kind),
                [kind = agent.kind](ConnectState &s) { s.configureAgent(kind); },
                [kind = agent.kind](const ConnectState &s) { return s.connected(kind); }, {}, {} });
    }
    steps.append({ QStringLiteral("clear"), [](ConnectState &s) { s.clearConfiguration(); },
        [](const ConnectState &s) { return !s.authenticated() && !s.codexConnected(); }, {}, {} });
    int failures = 0;
    const MachineLoad load(loadOption(app.arguments()));
    for (int round = 0; round < rounds; ++round) {
        for (Step &step : steps) {
            const auto [pause, duration] = longestPause([&] {
                step.start(state);
                waitWhileBusy(state);
            });
            if (!step.succeeded(state)) {
                ++failures;
                std::fprintf(stderr, "%s failed: %s\n", qPrintable(step.name), qPrintable(state.activity()));
            }
            step.pauses.append(pause);
            step.durations.append(duration);
            // The relay signs in without a channel group selected; the user picks one.
            if (state.authenticated() && !state.selectedGroupID() && !state.groups().isEmpty())
                state.setSelectedGroupID(state.groups().first().id);
        }
    }

    std::printf(
        "Event loop during each operation, %d rounds of sign-in, every connect and clearing\n", rounds);
    std::printf("  (the real keyring and launchd stand-ins, the local relay on a thread of its own; goal: "
                "under 16 ms)\n");
    for (const Step &step : steps)
        std::printf("  %-22s longest pause: median %7.3f ms   max %7.3f ms   operation: median %7.1f ms\n",
            qPrintable(step.name), median(step.pauses),
            *std::max_element(step.pauses.cbegin(), step.pauses.cend()), median(step.durations));
    if (failures)
        std::printf("  (%d operations failed; see standard error)\n", failures);
    printLoad(load);
    printLoadAverage();
    return failures ? 1 : 0;
}
