// The agent cards' check, pressed on all six cards at once.
//
// The time from starting the six checks to the last result, and the longest pause of the event
// loop meanwhile (a 1 ms timer; goal: under 16 ms), against the local relay on a thread of its
// own, after connecting every agent with the keyring and launchd stand-ins built with the project
// in a temporary home. The agents are small shell scripts on the login shell's PATH (a real /bin/sh
// reading ~/.profile) that answer --version and their configuration reports as the real ones do.
//
// Run it through bench/run.sh, which starts it in a private keyring session with a temporary
// HOME. Prints the figures; asserts nothing.

#include "agents/codexfiles.h"
#include "benchsupport.h"
#include "longestpause.h"
#include "relaythread.h"
#include "state/connectstate.h"
#include "state/waitwhilebusy.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int rounds = 20;

bool writeScript(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size()
        && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// The six agents' commands in `bin`, and a login shell whose PATH finds them and the launchers.
bool writeAgents(const QString &home, const QString &openCodeBaseURL)
{
    const QString bin = home + QStringLiteral("/bin");
    bool written = QDir().mkpath(bin)
        && writeScript(
            home + QStringLiteral("/.profile"), "PATH=\"$HOME/bin:$HOME/.local/bin:/usr/bin:/bin\"\n");
    for (const AgentDescriptor &agent : agents()) {
        QByteArray script = "#!/bin/sh\n";
        if (agent.kind == AgentKind::codex)
            script += "[ \"$1 $2\" = 'login status' ] && { echo 'API key configured'; exit 0; }\n";
        if (agent.kind == AgentKind::openCode)
            script += "[ \"$1 $2\" = 'debug config' ] && { printf '%s\\n' \"$OPENCODE_CONFIG_CONTENT\" | sed "
                      "'s|}$|,\"provider\":{\"velmora\":{\"options\":{\"baseURL\":\""
                + openCodeBaseURL.toUtf8() + "\"}}}}|'; exit 0; }\n";
        script += "echo 1.0.0\n";
        written = written && writeScript(bin + u'/' + agent.command.toString(), script);
    }
    return written;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QTemporaryDir home;
    RelayThread relay;
    if (!home.isValid() || relay.port() == 0
        || !writeAgents(home.path(), CodexFiles::relayBaseURL(relay.baseUrl()))) {
        std::fprintf(stderr, "cannot make a temporary home or start the local relay\n");
        return 1;
    }
    ConnectState state(std::make_shared<StandInPlatform>(home.path()));
    state.setRouterURL(relay.baseUrl().toString());
    state.setUsername(relay.account().email);
    state.setPassword(relay.account().password);
    state.login();
    waitWhileBusy(state);
    if (!state.authenticated() || state.groups().isEmpty()) {
        std::fprintf(stderr, "sign-in failed: %s\n", qPrintable(state.activity()));
        return 1;
    }
    state.setSelectedGroupID(state.groups().first().id);
    for (const AgentDescriptor &agent : agents()) {
        state.configureAgent(agent.kind);
        waitWhileBusy(state);
    }

    // All six cards at once, then one card alone (a user pressing one card's check).
    struct Run
    {
        const char *name;
        QList<AgentKind> kinds;
        QList<double> pauses;
        QList<double> durations;
    };
    QList<AgentKind> all;
    for (const AgentDescriptor &agent : agents())
        all.append(agent.kind);
    Run runs[] = { { "all six cards at once", all, {}, {} },
        { "Claude Code alone", { AgentKind::claudeCode }, {}, {} } };
    int failures = 0;
    const MachineLoad load(loadOption(app.arguments()));
    for (Run &run : runs) {
        for (int round = 0; round < rounds; ++round) {
            const auto [pause, duration] = longestPause([&] {
                for (const AgentKind kind : std::as_const(run.kinds))
                    state.checkAgent(kind);
                waitWhileChecking(state);
            });
            run.pauses.append(pause);
            run.durations.append(duration);
            for (const AgentKind kind : std::as_const(run.kinds)) {
                if (state.check(kind).stage != ConnectState::AgentCheckStatus::Stage::passed) {
                    ++failures;
                    std::fprintf(
                        stderr, "%s: %s\n", qPrintable(title(kind)), qPrintable(state.check(kind).text));
                }
            }
        }
    }

    std::printf(
        "The cards' check, %d rounds each (login shell, version, files, one model call against the local\n"
        "  relay on its own thread, the configuration reports; goal: under 16 ms)\n",
        rounds);
    for (const Run &run : runs)
        std::printf(
            "  %-22s longest pause: median %7.3f ms   max %7.3f ms   to the last result: median %7.1f ms\n",
            run.name, median(run.pauses), *std::max_element(run.pauses.cbegin(), run.pauses.cend()),
            median(run.durations));
    if (failures)
        std::printf("  (%d checks failed; see standard error)\n", failures);
    printLoad(load);
    printLoadAverage();
    return failures ? 1 : 0;
}
