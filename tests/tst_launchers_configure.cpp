// Configuring the five launcher agents through ConnectState, signed in to the local relay,
// in a temporary home.

#include "agentfixtures.h"
#include "agents/agentkind.h"
#include "agents/launchers.h"

#include <QtTest>

using namespace AgentFixtures;

Q_DECLARE_METATYPE(AgentKind)

namespace {

void press(ConnectState &state, AgentKind kind)
{
    switch (kind) {
    case AgentKind::claudeCode:
        return state.configureClaudeCode();
    case AgentKind::geminiCLI:
        return state.configureGeminiCLI();
    case AgentKind::kimiCode:
        return state.configureKimiCode();
    case AgentKind::openCode:
        return state.configureOpenCode();
    case AgentKind::deepSeek:
        return state.configureDeepSeekAgent();
    }
}

const char *const connectedSignal[]
    = { "claudeCodeConnected", "geminiConnected", "kimiConnected", "openCodeConnected", "deepSeekConnected" };

// The model each launcher names with the initial model list (login keeps it).
QString expectedModel(AgentKind kind)
{
    switch (kind) {
    case AgentKind::geminiCLI:
        return QStringLiteral("gemini-2.0-flash");
    case AgentKind::kimiCode:
        return QStringLiteral("kimi-k3");
    case AgentKind::deepSeek:
        return QStringLiteral("deepseek-v4-pro");
    case AgentKind::claudeCode:
    case AgentKind::openCode:
        return QStringLiteral("gpt-5.6-sol");
    }
    return {};
}

QString launcherPath(const QTemporaryDir &home, AgentKind kind)
{
    return home.filePath(QStringLiteral(".local/bin/") + wrapperName(kind));
}

struct Fixture
{
    Fixture()
        : platform(std::make_shared<TestPlatform>())
    {
        platform->home = home.path();
        startRelay(relay);
        state = std::make_unique<ConnectState>(platform);
    }
    QTemporaryDir home;
    std::shared_ptr<TestPlatform> platform;
    RelayServer relay;
    std::unique_ptr<ConnectState> state;
};

} // namespace

class TestLaunchersConfigure : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void refusals_data();
    void refusals();
    void configures_data();
    void configures();
    void secondRunKeepsTheOlderLauncher();
    void rootWithV1();
    void keyFailureWritesNothing();
    void providerFailureWritesNoLauncher();
    void binDirectoryFailure();

private:
    QTemporaryDir m_dir;
    QString m_fakeAgents;
};

void TestLaunchersConfigure::initTestCase()
{
    m_fakeAgents = m_dir.filePath(QStringLiteral("agents"));
    writeFakeAgents(m_fakeAgents);
}

void TestLaunchersConfigure::refusals_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("expected");
    const QList<std::pair<QString, QString>> situations {
        { QStringLiteral("signed out"), QStringLiteral("请先登录并同步账户。") },
        { QStringLiteral("unusable API root"), QStringLiteral("请先登录并同步账户。") },
        { QStringLiteral("no channel group"), QStringLiteral("请先在上方手动选择渠道接口。") },
        { QStringLiteral("busy"), QStringLiteral("当前操作尚未完成，请稍候再试。") },
    };
    for (const auto &[situation, expected] : situations) {
        for (AgentKind kind : allAgentKinds)
            QTest::addRow("%s, %s", qPrintable(situation), qPrintable(wrapperName(kind)))
                << kind << situation << expected;
    }
}

void TestLaunchersConfigure::refusals()
{
    QFETCH(AgentKind, kind);
    QFETCH(QString, situation);
    QFETCH(QString, expected);
    Fixture f;
    ConnectState &state = *f.state;
    if (situation != u"signed out")
        QVERIFY(signIn(
            state, f.relay, situation == u"no channel group" ? std::nullopt : std::optional<qint64>(12)));
    if (situation == u"unusable API root")
        state.setRouterURL(QStringLiteral("ftp://127.0.0.1/"));
    if (situation == u"busy") {
        // Another configuration waits for the relay to issue its key.
        f.relay.delayRoute("POST", QStringLiteral("/api/v1/desktop/key"), 1500);
        state.configureKimiCode();
        QVERIFY(state.busy());
    }

    SignalLog log(state);
    press(state, kind);
    QCOMPARE(log.names, QStringList { QStringLiteral("activity") });
    QCOMPARE(state.activity(), expected);
    if (situation != u"busy") {
        QVERIFY(!state.busy());
        QVERIFY(!QFileInfo::exists(f.home.filePath(QStringLiteral(".local"))));
        return;
    }
    // The running configuration goes on, and its own final text replaces the refusal.
    QVERIFY(finish(state));
    QCOMPARE(state.activity(), QStringLiteral("Kimi Code 已接入。请用 Velmora 启动器打开它。"));
    QCOMPARE(state.connected(kind), kind == AgentKind::kimiCode);
    QVERIFY(QFileInfo::exists(launcherPath(f.home, AgentKind::kimiCode)));
    QCOMPARE(QFileInfo::exists(launcherPath(f.home, kind)), kind == AgentKind::kimiCode);
}

void TestLaunchersConfigure::configures_data()
{
    QTest::addColumn<AgentKind>("kind");
    for (AgentKind kind : allAgentKinds)
        QTest::newRow(qPrintable(wrapperName(kind))) << kind;
}

void TestLaunchersConfigure::configures()
{
    QFETCH(AgentKind, kind);
    Fixture f;
    ConnectState &state = *f.state;
    QVERIFY(signIn(state, f.relay));

    SignalLog log(state);
    press(state, kind);
    QVERIFY(state.busy());
    QVERIFY(finish(state));

    QCOMPARE(log.activities,
        (QStringList { QStringLiteral("正在配置 ") + title(kind) + QStringLiteral("…"),
            title(kind) + QStringLiteral(" 已接入。请用 Velmora 启动器打开它。") }));
    QCOMPARE(log.names.last(), QStringLiteral("busy"));
    const QString flag = QLatin1String(connectedSignal[int(kind)]);
    QVERIFY(log.names.contains(flag));
    for (AgentKind other : allAgentKinds)
        QCOMPARE(state.connected(other), other == kind);
    QVERIFY(!state.codexConnected());

    const QString launcher = launcherPath(f.home, kind);
    const QString service = relayService(f.relay, 12);
    QCOMPARE(readFile(launcher),
        expectedFile(
            hostLaunchers + wrapperName(kind), f.relay.baseUrl().toString(), service, expectedModel(kind)));
    QCOMPARE(mode(launcher), 0700);
    // Gemini CLI's settings file, in folders closed to others; the user's ~/.gemini untouched.
    const QString settings = Launchers::geminiSettingsPath(f.home.path());
    const bool gemini = kind == AgentKind::geminiCLI;
    QCOMPARE(
        readFile(settings), gemini ? expectedFile(QStringLiteral("gemini-settings.json")) : QByteArray());
    const QList<int> modes { mode(settings), mode(QFileInfo(settings).path()),
        mode(f.home.filePath(".config")) };
    QVERIFY(!gemini || modes == QList<int>({ 0600, 0700, 0700 }));
    QVERIFY(!QFileInfo::exists(f.home.filePath(QStringLiteral(".gemini"))));

    // Run, the launcher hands the agent the key that the relay issued for the group.
    const QString key = f.relay.issuedKeys().value(12);
    QVERIFY(!key.isEmpty());
    QVERIFY(!readFile(launcher).contains(key.toUtf8()));
    const AgentRun run
        = runLauncher(QStringLiteral("/bin/sh"), launcher, { QStringLiteral("--help") }, m_fakeAgents);
    QCOMPARE(run.status, 0);
    QVERIFY(addedEnvironment(run, m_fakeAgents).values().contains(key));
}

void TestLaunchersConfigure::secondRunKeepsTheOlderLauncher()
{
    Fixture f;
    ConnectState &state = *f.state;
    QVERIFY(signIn(state, f.relay));
    const QString launcher = launcherPath(f.home, AgentKind::claudeCode);
    const QByteArray old = "#!/bin/sh\nexec claude --old \"$@\"\n";
    QVERIFY(writeFile(launcher, old,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    QCOMPARE(mode(launcher), 0644);

    f.platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 40, 10), Qt::UTC);
    state.configureClaudeCode();
    QVERIFY(finish(state));
    const QByteArray first = readFile(launcher);
    QCOMPARE(first,
        expectedFile(hostLaunchers + QStringLiteral("velmora-claude"), f.relay.baseUrl().toString(),
            relayService(f.relay, 12)));
    QCOMPARE(mode(launcher), 0700);

    // The second run, for the other channel group, names that group's item.
    state.setSelectedGroupID(34);
    f.platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 41, 30), Qt::UTC);
    state.configureClaudeCode();
    QVERIFY(finish(state));
    QCOMPARE(readFile(launcher),
        expectedFile(hostLaunchers + QStringLiteral("velmora-claude"), f.relay.baseUrl().toString(),
            relayService(f.relay, 34)));
    QCOMPARE(mode(launcher), 0700);

    const QString backups = f.home.filePath(QStringLiteral(".config/velmora-connect/backups/"));
    QCOMPARE(readFile(backups + QStringLiteral("2026-12-05T12-40-10Z/velmora-claude")), old);
    QCOMPARE(readFile(backups + QStringLiteral("2026-12-05T12-41-30Z/velmora-claude")), first);
}

void TestLaunchersConfigure::rootWithV1()
{
    Fixture f;
    ConnectState &state = *f.state;
    const QString root = f.relay.baseUrl().toString();
    QVERIFY(signIn(state, f.relay, 12, root + QStringLiteral("/v1/")));
    for (AgentKind kind : { AgentKind::claudeCode, AgentKind::geminiCLI, AgentKind::kimiCode }) {
        press(state, kind);
        QVERIFY(finish(state));
        QVERIFY2(state.connected(kind), qPrintable(state.activity()));
        // Claude Code and Gemini CLI: the root alone; Kimi Code: the root and one "/v1".
        QCOMPARE(readFile(launcherPath(f.home, kind)),
            expectedFile(hostLaunchers + wrapperName(kind), root, relayService(f.relay, 12),
                expectedModel(kind)));
    }
}

void TestLaunchersConfigure::keyFailureWritesNothing()
{
    Fixture f;
    ConnectState &state = *f.state;
    QVERIFY(signIn(state, f.relay));
    RelayReply refused;
    refused.status = 403;
    refused.body = R"({"message": "渠道暂不可用"})";
    f.relay.script("POST", QStringLiteral("/api/v1/desktop/key"), refused);

    state.configureGeminiCLI();
    QVERIFY(finish(state));
    QCOMPARE(state.activity(), QStringLiteral("配置失败：渠道暂不可用"));
    QVERIFY(!state.geminiConnected());
    QVERIFY(!QFileInfo::exists(f.home.filePath(QStringLiteral(".local"))));
}

void TestLaunchersConfigure::providerFailureWritesNoLauncher()
{
    Fixture f;
    ConnectState &state = *f.state;
    QVERIFY(signIn(state, f.relay));
    // crush.json cannot be read: a directory stands in its place.
    QVERIFY(QDir().mkpath(f.home.filePath(QStringLiteral(".config/crush/crush.json"))));
    const QString launcher = launcherPath(f.home, AgentKind::deepSeek);
    const QByteArray old = "#!/bin/sh\nexec crush --old \"$@\"\n";
    QVERIFY(
        writeFile(launcher, old, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

    state.configureDeepSeekAgent();
    QVERIFY(finish(state));
    QVERIFY2(state.activity().startsWith(QStringLiteral("配置失败：")), qPrintable(state.activity()));
    QVERIFY(state.activity().size() > QStringLiteral("配置失败：").size());
    QVERIFY(!state.deepSeekConnected());
    QCOMPARE(readFile(launcher), old);
}

void TestLaunchersConfigure::binDirectoryFailure()
{
    Fixture f;
    ConnectState &state = *f.state;
    QVERIFY(signIn(state, f.relay));
    QVERIFY(writeFile(f.home.filePath(QStringLiteral(".local")), "not a directory"));

    state.configureClaudeCode();
    QVERIFY(finish(state));
    QVERIFY2(state.activity().startsWith(QStringLiteral("配置失败：")), qPrintable(state.activity()));
    QVERIFY(!state.claudeCodeConnected());
}

QTEST_GUILESS_MAIN(TestLaunchersConfigure)
#include "tst_launchers_configure.moc"
