// Clearing the configuration: files in a temporary home, keys in the test's keyring, the
// launchd stand-in, and the state reset, against the local relay where a sign-in is needed.

#include "agentfixtures.h"
#include "agents/agentkind.h"

#include <QtTest>

using namespace AgentFixtures;

namespace {

const QString clearedText = QStringLiteral("配置已清除，请登录新账户后重新接入。");
const QString codexEnvLabel = QStringLiteral("com.velmora.connect.codex-env");
// The two names of the earlier scheme, from the test platform's deployment values.
const QString legacyDefault = QStringLiteral("velmora-connect:api.velmora.example-443");
const QString legacyEarlier = QStringLiteral("velmora-connect:api-legacy.velmora.example-443");

QString dataPath(const QString &name)
{
    return QStringLiteral(VELMORA_TEST_DATA "/agents/clearing/") + name;
}

struct Fixture
{
    Fixture()
        : platform(std::make_shared<TestPlatform>())
    {
        platform->home = home.path();
        platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 40, 10), Qt::UTC);
        startRelay(relay);
        state = std::make_unique<ConnectState>(platform);
    }
    QString path(const QString &relative) const { return home.filePath(relative); }
    QString backup(const QString &name) const
    {
        return path(QStringLiteral(".config/velmora-connect/backups/2026-12-05T12-40-10Z/") + name);
    }
    QStringList backupEntries() const
    {
        return QDir(path(QStringLiteral(".config/velmora-connect/backups/2026-12-05T12-40-10Z")))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir home;
    std::shared_ptr<TestPlatform> platform;
    RelayServer relay;
    std::unique_ptr<ConnectState> state;
};

// A stand-in for a tool that records each call's arguments and then runs the real tool.
QString recordingTool(const QTemporaryDir &dir, const QString &tool)
{
    const QString path = dir.filePath(QStringLiteral("recording-") + tool);
    const QString log = dir.filePath(tool + QStringLiteral(".log"));
    writeFile(path,
        QStringLiteral("#!/bin/sh\nprintf '%s\\037' \"$@\" >> '%1'\nprintf '\\n' >> '%1'\nexec '%2' \"$@\"\n")
            .arg(log, builtToolPath(tool))
            .toUtf8(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

QList<QStringList> recordedCalls(const QTemporaryDir &dir, const QString &tool)
{
    QList<QStringList> calls;
    const QByteArray log = readFile(dir.filePath(tool + QStringLiteral(".log")));
    for (const QByteArray &line : log.split('\n')) {
        if (line.isEmpty())
            continue;
        QStringList arguments = QString::fromUtf8(line).split(QChar(0x1f));
        arguments.removeLast(); // after the last separator
        calls << arguments;
    }
    return calls;
}

void pressEveryAgent(ConnectState &state)
{
    state.configureClaudeCode();
    finish(state);
    state.configureGeminiCLI();
    finish(state);
    state.configureKimiCode();
    finish(state);
    state.configureOpenCode();
    finish(state);
    state.configureDeepSeekAgent();
    finish(state);
}

} // namespace

class TestClearing : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void nothingConfigured();
    void resetOrder();
    void authJson_data();
    void authJson();
    void configTomlBackedUpAndRemoved();
    void authNotAnObjectStops();
    void backupFailureStopsBeforeRemoving();
    void busyDoesNothing();
    void toolCalls();
    void launchdItemsGo();
    void keysOfOtherGroupsSurvive();
    void everyFlagFalseOtherFieldsKept();

private:
    QTemporaryDir m_dir;
    QString m_fakeAgents;
};

void TestClearing::initTestCase()
{
    // The Codex environment script that the launchd stand-in runs finds `security` and
    // `launchctl` by name, as at a login.
    qputenv("PATH", QByteArray(VELMORA_BIN_DIR ":") + qgetenv("PATH"));
    m_fakeAgents = m_dir.filePath(QStringLiteral("agents"));
    writeFakeAgents(m_fakeAgents);
}

void TestClearing::nothingConfigured()
{
    Fixture f;
    ConnectState &state = *f.state;
    SignalLog log(state);
    state.clearConfiguration();
    QCOMPARE(log.activities, (QStringList { QStringLiteral("正在清除 Velmora Connect 配置…"), clearedText }));
    QCOMPARE(state.accountName(), QStringLiteral("尚未登录"));
    QCOMPARE(state.accountDetail(), QStringLiteral("清除完成，请登录新账户"));
    QVERIFY(!state.busy());
    // The backup directory is made, and stays empty.
    QVERIFY(QFileInfo(f.backup(QString())).isDir());
    QCOMPARE(f.backupEntries(), QStringList {});
    QVERIFY(!QFileInfo::exists(f.path(QStringLiteral(".codex"))));
}

void TestClearing::resetOrder()
{
    Fixture f;
    ConnectState &state = *f.state;
    QVERIFY(signIn(state, f.relay));
    SignalLog log(state);
    state.clearConfiguration();
    QCOMPARE(log.names,
        (QStringList { QStringLiteral("busy"), QStringLiteral("activity"), QStringLiteral("groups"),
            QStringLiteral("selectedGroupID"), QStringLiteral("authenticated"),
            QStringLiteral("codexConnected"), QStringLiteral("claudeCodeConnected"),
            QStringLiteral("geminiConnected"), QStringLiteral("kimiConnected"),
            QStringLiteral("openCodeConnected"), QStringLiteral("deepSeekConnected"),
            QStringLiteral("accountName"), QStringLiteral("accountDetail"), QStringLiteral("activity"),
            QStringLiteral("busy") }));
    QCOMPARE(state.activity(), clearedText);
    QVERIFY(!state.busy());
}

void TestClearing::authJson_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("expected");
    QTest::newRow("other members stay")
        << readFile(dataPath(QStringLiteral("auth-others.in.json"))) << "auth-others.json";
    QTest::newRow("only the key") << QByteArray(R"({"OPENAI_API_KEY":"sk-velmora-old"})")
                                  << "auth-empty.json";
    QTest::newRow("no key") << QByteArray("{}") << "auth-empty.json";
}

void TestClearing::authJson()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, expected);
    Fixture f;
    ConnectState &state = *f.state;
    const QString auth = f.path(QStringLiteral(".codex/auth.json"));
    QVERIFY(writeFile(auth, before,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));

    state.clearConfiguration();
    QCOMPARE(state.activity(), clearedText);
    QCOMPARE(readFile(auth), readFile(dataPath(expected)));
    QCOMPARE(mode(auth), 0600);
    QCOMPARE(f.backupEntries(), QStringList { QStringLiteral("auth.json") });
    QCOMPARE(readFile(f.backup(QStringLiteral("auth.json"))), before);
}

void TestClearing::configTomlBackedUpAndRemoved()
{
    Fixture f;
    ConnectState &state = *f.state;
    const QString config = f.path(QStringLiteral(".codex/config.toml"));
    const QString auth = f.path(QStringLiteral(".codex/auth.json"));
    const QByteArray configText = readFile(dataPath(QStringLiteral("config.toml")));
    const QByteArray authText = readFile(dataPath(QStringLiteral("auth-others.in.json")));
    QVERIFY(writeFile(config, configText));
    QVERIFY(writeFile(auth, authText));

    state.clearConfiguration();
    QCOMPARE(state.activity(), clearedText);
    QVERIFY(!QFileInfo::exists(config));
    QCOMPARE(readFile(auth), readFile(dataPath(QStringLiteral("auth-others.json"))));
    QCOMPARE(f.backupEntries(), (QStringList { QStringLiteral("auth.json"), QStringLiteral("config.toml") }));
    QCOMPARE(readFile(f.backup(QStringLiteral("config.toml"))), configText);
    QCOMPARE(readFile(f.backup(QStringLiteral("auth.json"))), authText);
}

void TestClearing::authNotAnObjectStops()
{
    Fixture f;
    ConnectState &state = *f.state;
    QVERIFY(signIn(state, f.relay));
    f.platform->now = f.platform->now->addSecs(-60); // the configuration's own backups
    state.configureClaudeCode();
    QVERIFY(finish(state));
    QVERIFY(state.claudeCodeConnected());
    f.platform->now = f.platform->now->addSecs(60);
    const QString service = relayService(f.relay, 12);
    QVERIFY(hasKey(service));

    const QString config = f.path(QStringLiteral(".codex/config.toml"));
    const QString auth = f.path(QStringLiteral(".codex/auth.json"));
    const QString script = f.path(QStringLiteral(".local/bin/velmora-connect-codex-env"));
    const QString plist = f.path(QStringLiteral("Library/LaunchAgents/com.velmora.connect.codex-env.plist"));
    const QByteArray configText = readFile(dataPath(QStringLiteral("config.toml")));
    QVERIFY(writeFile(config, configText));
    QVERIFY(writeFile(auth, "[]"));
    QVERIFY(writeFile(script, "#!/bin/sh\n"));
    QVERIFY(writeFile(plist, "<plist/>"));
    const QList<RemoteGroup> groups = state.groups();
    const QString accountName = state.accountName();
    const QString accountDetail = state.accountDetail();

    state.clearConfiguration();
    QCOMPARE(state.activity(), QStringLiteral("清除失败：auth.json 不是可合并的 JSON 对象"));
    QVERIFY(!state.busy());
    // config.toml was backed up and removed before auth.json stopped the run.
    QVERIFY(!QFileInfo::exists(config));
    QCOMPARE(readFile(f.backup(QStringLiteral("config.toml"))), configText);
    QCOMPARE(readFile(f.backup(QStringLiteral("auth.json"))), QByteArray("[]"));
    QCOMPARE(readFile(auth), QByteArray("[]"));
    // Still signed in; nothing after the failure ran.
    QVERIFY(state.authenticated());
    QCOMPARE(state.groups(), groups);
    QCOMPARE(state.selectedGroupID(), std::optional<qint64>(12));
    QVERIFY(state.claudeCodeConnected());
    QCOMPARE(state.accountName(), accountName);
    QCOMPARE(state.accountDetail(), accountDetail);
    QVERIFY(hasKey(service));
    QVERIFY(QFileInfo::exists(script));
    QVERIFY(QFileInfo::exists(plist));
}

void TestClearing::backupFailureStopsBeforeRemoving()
{
    Fixture f;
    ConnectState &state = *f.state;
    // The backup directory cannot be made: a file stands where its parent should be.
    QVERIFY(writeFile(f.path(QStringLiteral(".config/velmora-connect/backups")), "not a directory"));
    const QString config = f.path(QStringLiteral(".codex/config.toml"));
    const QString auth = f.path(QStringLiteral(".codex/auth.json"));
    const QByteArray configText = readFile(dataPath(QStringLiteral("config.toml")));
    const QByteArray authText = readFile(dataPath(QStringLiteral("auth-others.in.json")));
    QVERIFY(writeFile(config, configText));
    QVERIFY(writeFile(auth, authText));
    QVERIFY(storeKey(legacyDefault, QStringLiteral("sk-legacy")));

    SignalLog log(state);
    state.clearConfiguration();
    QVERIFY2(state.activity().startsWith(QStringLiteral("清除失败：")), qPrintable(state.activity()));
    QVERIFY(state.activity().size() > QStringLiteral("清除失败：").size());
    QCOMPARE(log.names,
        (QStringList { QStringLiteral("busy"), QStringLiteral("activity"), QStringLiteral("activity"),
            QStringLiteral("busy") }));
    QCOMPARE(readFile(config), configText);
    QCOMPARE(readFile(auth), authText);
    QVERIFY(hasKey(legacyDefault));
}

void TestClearing::busyDoesNothing()
{
    Fixture f;
    ConnectState &state = *f.state;
    QVERIFY(signIn(state, f.relay));
    f.relay.delayRoute("POST", QStringLiteral("/api/v1/desktop/key"), 1500);
    const QString config = f.path(QStringLiteral(".codex/config.toml"));
    QVERIFY(writeFile(config, "model = \"x\"\n"));
    QVERIFY(storeKey(legacyDefault, QStringLiteral("sk-legacy")));
    state.configureClaudeCode();
    QVERIFY(state.busy());

    SignalLog log(state);
    state.clearConfiguration();
    QCOMPARE(log.names, QStringList {});
    QVERIFY(QFileInfo::exists(config));
    QVERIFY(!QFileInfo::exists(f.path(QStringLiteral(".config/velmora-connect"))));
    QVERIFY(hasKey(legacyDefault));

    QVERIFY(finish(state));
    QVERIFY(state.claudeCodeConnected());
    QVERIFY(state.authenticated());
}

void TestClearing::toolCalls()
{
    Fixture f;
    ConnectState &state = *f.state;
    QTemporaryDir tools;
    f.platform->security = recordingTool(tools, QStringLiteral("security"));
    f.platform->launchctl = recordingTool(tools, QStringLiteral("launchctl"));
    f.platform->uid = 501;

    // Before any key was resolved, the current name is the initial one.
    state.clearConfiguration();
    QCOMPARE(state.activity(), clearedText);
    const QString user = f.platform->user;
    QCOMPARE(recordedCalls(tools, QStringLiteral("security")),
        (QList<QStringList> {
            { QStringLiteral("delete-generic-password"), QStringLiteral("-a"), user, QStringLiteral("-s"),
                QStringLiteral("velmora-connect:desktop") },
            { QStringLiteral("delete-generic-password"), QStringLiteral("-a"), user, QStringLiteral("-s"),
                legacyDefault },
            { QStringLiteral("delete-generic-password"), QStringLiteral("-a"), user, QStringLiteral("-s"),
                legacyEarlier },
        }));
    QCOMPARE(recordedCalls(tools, QStringLiteral("launchctl")),
        (QList<QStringList> {
            { QStringLiteral("unsetenv"), QStringLiteral("OPENAI_API_KEY") },
            { QStringLiteral("bootout"), QStringLiteral("gui/501/com.velmora.connect.codex-env") },
        }));
}

void TestClearing::launchdItemsGo()
{
    Fixture f;
    ConnectState &state = *f.state;
    const QString launchctl = builtToolPath(QStringLiteral("launchctl"));
    const QString script = f.path(QStringLiteral(".local/bin/velmora-connect-codex-env"));
    const QString plist = f.path(QStringLiteral("Library/LaunchAgents/com.velmora.connect.codex-env.plist"));
    const QString launcher = f.path(QStringLiteral(".local/bin/velmora-claude"));
    const QString openCode = f.path(QStringLiteral(".config/opencode/opencode.json"));
    QVERIFY(writeFile(script, "#!/bin/sh\nexit 0\n",
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QVERIFY(writeFile(plist,
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                       "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                       "<plist version=\"1.0\"><dict>\n"
                       "  <key>Label</key><string>com.velmora.connect.codex-env</string>\n"
                       "  <key>ProgramArguments</key><array><string>%1</string></array>\n"
                       "  <key>RunAtLoad</key><true/>\n"
                       "</dict></plist>")
            .arg(script)
            .toUtf8()));
    QVERIFY(writeFile(launcher, "#!/bin/sh\n"));
    QVERIFY(writeFile(openCode, "{}\n"));
    const QString domain = QStringLiteral("gui/%1").arg(f.platform->uid);
    runTool(launchctl, { QStringLiteral("bootout"), domain + u'/' + codexEnvLabel });
    QCOMPARE(runTool(launchctl,
                 { QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-x") })
                 .status,
        0);
    QCOMPARE(runTool(launchctl, { QStringLiteral("bootstrap"), domain, plist }).status, 0);
    QCOMPARE(runTool(launchctl, { QStringLiteral("print"), domain + u'/' + codexEnvLabel }).status, 0);

    state.clearConfiguration();
    QCOMPARE(state.activity(), clearedText);
    QVERIFY(runTool(launchctl, { QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") })
                .out.trimmed()
                .isEmpty());
    QVERIFY(runTool(launchctl, { QStringLiteral("print"), domain + u'/' + codexEnvLabel }).status != 0);
    QVERIFY(!QFileInfo::exists(script));
    QVERIFY(!QFileInfo::exists(plist));
    // Neither is backed up; the launchers and provider files stay.
    QCOMPARE(f.backupEntries(), QStringList {});
    QVERIFY(QFileInfo::exists(launcher));
    QCOMPARE(readFile(openCode), QByteArray("{}\n"));
}

void TestClearing::keysOfOtherGroupsSurvive()
{
    Fixture f;
    ConnectState &state = *f.state;
    QVERIFY(signIn(state, f.relay, 34));
    state.configureClaudeCode(); // names group 34's item
    QVERIFY(finish(state));
    state.setSelectedGroupID(12);
    state.configureGeminiCLI(); // names group 12's item, now the current one
    QVERIFY(finish(state));
    QVERIFY(state.claudeCodeConnected() && state.geminiConnected());
    const QString current = relayService(f.relay, 12);
    const QString other = relayService(f.relay, 34);
    const QString unrelated = QStringLiteral("velmora-connect:127.0.0.1-1:someone-else:12");
    QVERIFY(storeKey(legacyDefault, QStringLiteral("sk-legacy-1")));
    QVERIFY(storeKey(legacyEarlier, QStringLiteral("sk-legacy-2")));
    QVERIFY(storeKey(unrelated, QStringLiteral("sk-unrelated")));
    const QString gemini = f.path(QStringLiteral(".local/bin/velmora-gemini"));
    const QString claude = f.path(QStringLiteral(".local/bin/velmora-claude"));
    QCOMPARE(runLauncher(QStringLiteral("/bin/sh"), gemini, {}, m_fakeAgents).status, 0);

    state.clearConfiguration();
    QCOMPARE(state.activity(), clearedText);
    QVERIFY(!hasKey(current));
    QVERIFY(!hasKey(legacyDefault));
    QVERIFY(!hasKey(legacyEarlier));
    QVERIFY(hasKey(other));
    QVERIFY(hasKey(unrelated));

    // The launcher of the cleared group stops at its keychain line, with dash and with bash.
    for (const QString &shell : { QStringLiteral("/bin/sh"), QStringLiteral("bash") }) {
        const AgentRun stopped = runLauncher(shell, gemini, { QStringLiteral("x") }, m_fakeAgents);
        QVERIFY(stopped.status != 0);
        QVERIFY(!stopped.started);
    }
    // The other group's launcher still starts its agent with its key.
    const AgentRun running = runLauncher(QStringLiteral("bash"), claude, {}, m_fakeAgents);
    QCOMPARE(running.status, 0);
    QCOMPARE(addedEnvironment(running, m_fakeAgents).value(QStringLiteral("ANTHROPIC_AUTH_TOKEN")),
        f.relay.issuedKeys().value(34));

    // Signing in and configuring again makes the cleared launcher work again.
    QVERIFY(signIn(state, f.relay, 12));
    state.configureGeminiCLI();
    QVERIFY(finish(state));
    const AgentRun again = runLauncher(QStringLiteral("/bin/sh"), gemini, {}, m_fakeAgents);
    QCOMPARE(again.status, 0);
    QCOMPARE(addedEnvironment(again, m_fakeAgents).value(QStringLiteral("GEMINI_API_KEY")),
        f.relay.issuedKeys().value(12));
}

void TestClearing::everyFlagFalseOtherFieldsKept()
{
    Fixture f;
    ConnectState &state = *f.state;
    f.platform->codexInstalled = true;
    state.recheckCodexInstalled();
    QVERIFY(signIn(state, f.relay));
    state.configureCodexFromAccount();
    QVERIFY(finish(state));
    pressEveryAgent(state);
    QVERIFY2(state.codexConnected(), qPrintable(state.activity()));
    for (AgentKind kind : allAgentKinds)
        QVERIFY2(state.connected(kind), qPrintable(title(kind)));

    state.setUsername(QStringLiteral("someone@velmora.example"));
    state.setPassword(QStringLiteral("typed again"));
    state.setReasoningEffort(QStringLiteral("medium"));
    state.setSelectedModel(QStringLiteral("kimi-k3"));
    const QString routerURL = state.routerURL();
    const QList<RemoteModel> models = state.models();
    const QString tokenName = state.tokenName();
    QVERIFY(state.codexInstalled());

    state.clearConfiguration();
    QCOMPARE(state.activity(), clearedText);
    QVERIFY(!state.authenticated());
    QVERIFY(!state.codexConnected());
    for (AgentKind kind : allAgentKinds)
        QVERIFY(!state.connected(kind));
    QCOMPARE(state.groups(), QList<RemoteGroup> {});
    QCOMPARE(state.selectedGroupID(), std::nullopt);
    QCOMPARE(state.accountName(), QStringLiteral("尚未登录"));
    QCOMPARE(state.accountDetail(), QStringLiteral("清除完成，请登录新账户"));
    QCOMPARE(state.routerURL(), routerURL);
    QCOMPARE(state.username(), QStringLiteral("someone@velmora.example"));
    QCOMPARE(state.password(), QStringLiteral("typed again"));
    QCOMPARE(state.reasoningEffort(), QStringLiteral("medium"));
    QCOMPARE(state.selectedModel(), QStringLiteral("kimi-k3"));
    QCOMPARE(state.models(), models);
    QCOMPARE(state.tokenName(), tokenName);
    QVERIFY(state.codexInstalled());
    QVERIFY(!QFileInfo::exists(f.path(QStringLiteral(".codex/config.toml"))));
    QVERIFY(!readFile(f.path(QStringLiteral(".codex/auth.json"))).contains("OPENAI_API_KEY"));

    // The current keychain name is kept: a second run deletes that same name again.
    const QString current = relayService(f.relay, 12);
    QVERIFY(!hasKey(current));
    QVERIFY(storeKey(current, QStringLiteral("sk-again")));
    f.platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 50, 0), Qt::UTC);
    state.clearConfiguration();
    QCOMPARE(state.activity(), clearedText);
    QVERIFY(!hasKey(current));
}

QTEST_GUILESS_MAIN(TestClearing)
#include "tst_clearing.moc"
