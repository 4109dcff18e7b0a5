#pragma once

// The shared test support: files and modes, the keyring through the built `security`, fake
// agent commands, a signed-in state against the local relay, a recorder of notify signals.

#include "agents/launchers.h"
#include "files.h"
#include "recorder.h"
#include "relayserver.h"
#include "state/connectstate.h"
#include "testplatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace AgentFixtures {

// An expected file of tests/data/agents, with {ROOT}, {SERVICE}, {MODEL} and {APP} filled in.
inline QByteArray expectedFile(const QString &name, const QString &root = {}, const QString &service = {},
    const QString &model = {}, const QString &app = {})
{
    QString text = QString::fromUtf8(readFile(QStringLiteral(VELMORA_TEST_DATA "/agents/") + name));
    text.replace(QStringLiteral("{APP}"), app);
    text.replace(QStringLiteral("{ROOT}"), root);
    text.replace(QStringLiteral("{SERVICE}"), service);
    text.replace(QStringLiteral("{MODEL}"), model);
    return text.toUtf8();
}

// The folder of tests/data/agents holding the launchers as written on this system.
inline const QString hostLaunchers = QLatin1String(
    Launchers::hostKeyringCommand == Launchers::KeyringCommand::secretTool ? "launchers-linux/"
                                                                           : "launchers/");

struct ToolRun
{
    int status = -1;
    QByteArray out;
};

// One of the tools built with the project (security, launchctl), run to its end.
inline ToolRun runTool(const QString &name, const QStringList &arguments)
{
    QProcess process;
    process.start(builtToolPath(name), arguments);
    process.waitForFinished(60000);
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAllStandardOutput() };
}

// The keyring item `service` of the test's user: store it, read it (empty when there is none).
inline bool storeKey(const QString &service, const QString &key)
{
    return runTool(QStringLiteral("security"),
               { QStringLiteral("add-generic-password"), QStringLiteral("-U"), QStringLiteral("-a"),
                   TestPlatform().user, QStringLiteral("-s"), service, QStringLiteral("-w"), key })
               .status
        == 0;
}

inline QString storedKey(const QString &service)
{
    const ToolRun run = runTool(QStringLiteral("security"),
        { QStringLiteral("find-generic-password"), QStringLiteral("-a"), TestPlatform().user,
            QStringLiteral("-s"), service, QStringLiteral("-w") });
    return run.status == 0 ? QString::fromUtf8(run.out).trimmed() : QString();
}

// Every entry of `directory`, hidden ones included, by name.
inline QStringList entries(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Writes a fake of every agent with a launcher into `dir`. Each prints, NUL-separated, the
// number of its arguments, the arguments, then its environment, and exits 0.
inline void writeFakeAgents(const QString &dir)
{
    const QByteArray script = "#!/bin/sh\n"
                              "printf '%s\\0' \"$#\" \"$@\"\n"
                              "exec env -0\n";
    for (const AgentDescriptor &agent : agents()) {
        if (!agent.launcherName.isEmpty())
            writeFile(dir + u'/' + agent.command.toString(), script, 0500);
    }
}

struct AgentRun
{
    int status = -1;
    bool started = false; // the agent printed anything at all
    QStringList arguments;
    QMap<QString, QString> environment;
};

// The environment a launcher is started with: the test's own (its keyring session, HOME,
// USER), with the fake agents and the system folders on PATH, as a user's shell has them: the
// stand-ins built with the project are not there.
inline QProcessEnvironment launcherEnvironment(const QString &fakeAgents)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), fakeAgents + QStringLiteral(":/usr/bin:/bin"));
    return environment;
}

inline QMap<QString, QString> toMap(const QProcessEnvironment &environment)
{
    QMap<QString, QString> map;
    for (const QString &name : environment.keys())
        map.insert(name, environment.value(name));
    return map;
}

// Runs `launcher` with `shell` ("/bin/sh", "bash"; empty: executed directly through its
// first line) and `arguments`.
inline AgentRun runLauncher(
    const QString &shell, const QString &launcher, const QStringList &arguments, const QString &fakeAgents)
{
    QProcess process;
    process.setProcessEnvironment(launcherEnvironment(fakeAgents));
    if (shell.isEmpty())
        process.start(launcher, arguments);
    else
        process.start(shell, QStringList { launcher } + arguments);
    process.waitForFinished(60000);
    AgentRun run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QByteArray out = process.readAllStandardOutput();
    run.started = !out.isEmpty();
    if (!run.started)
        return run;
    QList<QByteArray> fields = out.split('\0');
    if (fields.last().isEmpty())
        fields.removeLast();
    const int count = fields.value(0).toInt();
    for (int i = 1; i <= count && i < fields.size(); ++i)
        run.arguments << QString::fromUtf8(fields.at(i));
    for (int i = count + 1; i < fields.size(); ++i) {
        const QString entry = QString::fromUtf8(fields.at(i));
        const qsizetype equals = entry.indexOf(u'=');
        run.environment.insert(entry.left(equals), entry.mid(equals + 1));
    }
    return run;
}

// What the launcher added to or changed in its environment, leaving out the shells' own
// bookkeeping (the fake agent is itself a shell script).
inline QMap<QString, QString> addedEnvironment(const AgentRun &run, const QString &fakeAgents)
{
    const QMap<QString, QString> before = toMap(launcherEnvironment(fakeAgents));
    QMap<QString, QString> added;
    for (auto it = run.environment.cbegin(); it != run.environment.cend(); ++it) {
        if (it.key() == u"PWD" || it.key() == u"OLDPWD" || it.key() == u"SHLVL" || it.key() == u"_")
            continue;
        if (!before.contains(it.key()) || before.value(it.key()) != it.value())
            added.insert(it.key(), it.value());
    }
    return added;
}

// Variables of the launcher's environment that the agent no longer sees.
inline QStringList removedEnvironment(const AgentRun &run, const QString &fakeAgents)
{
    QStringList removed;
    const QMap<QString, QString> before = toMap(launcherEnvironment(fakeAgents));
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!run.environment.contains(it.key()) && it.key() != u"OLDPWD" && it.key() != u"_")
            removed << it.key();
    }
    return removed;
}

// The app's environment for a check in `home`: its login shell /bin/sh (which reads
// `home`/.profile), the system folders on PATH, the test's keyring session and user.
inline QProcessEnvironment checkEnvironment(const QString &home)
{
    QProcessEnvironment environment;
    for (const char *name : { "USER", "DBUS_SESSION_BUS_ADDRESS" })
        environment.insert(QLatin1String(name), qEnvironmentVariable(name));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/sh"));
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    return environment;
}

// Two channel groups, 12 and 34, for the relay's demo account.
inline QJsonArray testGroups()
{
    return QJsonArray {
        QJsonObject { { QStringLiteral("id"), 12 }, { QStringLiteral("name"), QStringLiteral("Team") },
            { QStringLiteral("platform"), QStringLiteral("openai") } },
        QJsonObject { { QStringLiteral("id"), 34 }, { QStringLiteral("name"), QStringLiteral("Lab") },
            { QStringLiteral("platform"), QStringLiteral("openai") } },
    };
}

inline quint16 startRelay(RelayServer &relay)
{
    relay.account().groups = testGroups();
    return relay.listen();
}

// Signs `state` in to `relay` with the demo account (typing `root`, by default the relay's
// own base URL) and selects `group`. True when signed in.
inline bool signIn(
    ConnectState &state, RelayServer &relay, std::optional<qint64> group = 12, const QString &root = {})
{
    state.setRouterURL(root.isEmpty() ? relay.baseUrl().toString() : root);
    state.setUsername(relay.account().email);
    state.setPassword(relay.account().password);
    state.login();
    if (!QTest::qWaitFor([&] { return !state.busy(); }, 60000))
        return false;
    if (!state.authenticated())
        return false;
    state.setSelectedGroupID(group);
    return true;
}

// Runs one of the asynchronous operations to its end.
inline bool finish(ConnectState &state)
{
    return QTest::qWaitFor([&] { return !state.busy(); }, 60000);
}

// The keychain service name of the relay's demo account (id 42) for `group`.
inline QString relayService(const RelayServer &relay, qint64 group)
{
    return QStringLiteral("velmora-connect:127.0.0.1-%1:42:%2").arg(relay.baseUrl().port()).arg(group);
}

} // namespace AgentFixtures
