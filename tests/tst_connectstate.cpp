#include "agentfixtures.h"
#include "agents/codexfiles.h"
#include "agents/overlays.h"
#include "state/connectstate.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace AgentFixtures;

namespace {

const QString stillBusy = QStringLiteral("当前操作尚未完成，请稍候再试。");
const QString codexConfigured = QStringLiteral("官方 Codex 已配置。请关闭并重新打开 Codex。");
const QString desktopKeyPath = QStringLiteral("/api/v1/desktop/key");
const QString loginPath = QStringLiteral("/api/v1/auth/login");

// The operations of the window, by name.
void start(ConnectState &state, const QString &operation)
{
    const QHash<QString, std::function<void()>> operations {
        { QStringLiteral("login"), [&] { state.login(); } },
        { QStringLiteral("codex"), [&] { state.configureCodexFromAccount(); } },
        { QStringLiteral("claude"), [&] { state.configureClaudeCode(); } },
        { QStringLiteral("gemini"), [&] { state.configureGeminiCLI(); } },
        { QStringLiteral("kimi"), [&] { state.configureKimiCode(); } },
        { QStringLiteral("opencode"), [&] { state.configureOpenCode(); } },
        { QStringLiteral("deepseek"), [&] { state.configureDeepSeekAgent(); } },
        { QStringLiteral("clear"), [&] { state.clearConfiguration(); } },
        { QStringLiteral("download"), [&] { state.openOfficialInstaller(OfficialInstaller::claudeCode); } },
        { QStringLiteral("codex download"), [&] { state.downloadCodex(); } },
        { QStringLiteral("check"), [&] { state.checkAgent(AgentKind::claudeCode); } },
    };
    operations.value(operation)();
}

QByteArray codexFile(const QString &name, const QMap<QByteArray, QString> &values)
{
    QByteArray text = readFile(QStringLiteral(VELMORA_TEST_DATA "/codex/") + name);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        text.replace(it.key(), it.value().toUtf8());
    return text;
}

RelayReply stalled()
{
    RelayReply reply;
    reply.stall = true;
    return reply;
}

} // namespace

class TestConnectState : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void refusals_data();
    void refusals();
    void whileBusy_data();
    void whileBusy();
    void login_data();
    void login();
    void connectCodex();
    void codexFailure_data();
    void codexFailure();
    void connectAgent_data();
    void connectAgent();
    void fileKeyStore();
    void checkAgent_data();
    void checkAgent();
    void clearing_data();
    void clearing();
    void clearingStepFails();
    void foldersFromEnvironment_data();
    void foldersFromEnvironment();
    void slowTools_data();
    void slowTools();
    void download_data();
    void download();
    void destroyedMidOperation_data();
    void destroyedMidOperation();

private:
    QString home(const QString &path) const { return m_platform->home + u'/' + path; }
    QString service(qint64 group = 12) const { return relayService(*m_relay, group); }
    QString launchdKey() const
    {
        const ToolRun run = runTool(
            QStringLiteral("launchctl"), { QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") });
        return run.status == 0 ? QString::fromUtf8(run.out).trimmed() : QString();
    }
    // Runs `operation` to its end; true when busy was on while it ran and went off last.
    bool run(const QString &operation);
    bool signedIn() { return signIn(*m_state, *m_relay); }

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<RelayServer> m_relay;
    std::shared_ptr<TestPlatform> m_platform;
    std::unique_ptr<ConnectState> m_state;
};

void TestConnectState::initTestCase()
{
    // The LaunchAgent's script runs `security` and `launchctl` by name.
    qputenv("PATH", QByteArray(VELMORA_BIN_DIR ":") + qgetenv("PATH"));
    // The https download server of the tests presents this certificate.
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(QStringLiteral(VELMORA_TEST_DATA "/tls/relay.pem"));
    QSslConfiguration::setDefaultConfiguration(tls);
}

void TestConnectState::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    m_relay = std::make_unique<RelayServer>();
    QVERIFY(startRelay(*m_relay));
    m_platform = std::make_shared<TestPlatform>();
    m_platform->home = m_home->path();
    m_platform->downloads = home(QStringLiteral("Downloads"));
    m_platform->deploymentValues.downloadServer = m_relay->baseUrl();
    m_platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 40, 10), Qt::UTC);
    m_platform->timeout = std::chrono::milliseconds(3000);
    m_state = std::make_unique<ConnectState>(m_platform);
}

void TestConnectState::cleanup()
{
    m_state.reset();
    // A later relay may get the same port, and with it the same keychain names.
    for (const qint64 group : { 12, 34 }) {
        if (m_relay)
            runTool(QStringLiteral("security"),
                { QStringLiteral("delete-generic-password"), QStringLiteral("-a"), TestPlatform().user,
                    QStringLiteral("-s"), service(group) });
    }
    runTool(QStringLiteral("launchctl"), { QStringLiteral("unsetenv"), QStringLiteral("OPENAI_API_KEY") });
}

bool TestConnectState::run(const QString &operation)
{
    Recorder recorder(*m_state);
    start(*m_state, operation);
    return finish(*m_state) && recorder.names.count(QStringLiteral("busy")) == 2
        && recorder.names.last() == u"busy";
}

void TestConnectState::refusals_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("routerURL");
    QTest::addColumn<QString>("expected");
    const QString ok = QStringLiteral("RELAY");
    QTest::addRow("login, unusable root") << "login" << false << "ftp://relay.example"
                                          << "API 根地址无效。";
    QTest::addRow("login, no password") << "login" << false << ok << "请输入账号和密码。";
    // A blank address with a password: the password alone is not enough.
    QTest::addRow("login, blank address") << "login blank" << false << ok << "请输入账号和密码。";
    QTest::addRow("codex, signed out") << "codex" << false << ok << "请先登录并同步账户。";
    QTest::addRow("agent, signed out") << "kimi" << false << ok << "请先登录并同步账户。";
    QTest::addRow("codex, no group") << "codex" << true << ok << "请先在上方手动选择渠道接口。";
    QTest::addRow("agent, no group") << "opencode" << true << ok << "请先在上方手动选择渠道接口。";
    QTest::addRow("agent, root emptied") << "claude" << true << ""
                                         << "请先登录并同步账户。";
    QTest::addRow("download, no Downloads")
        << "download" << false << ok << "下载失败：系统没有提供“下载”文件夹";
}

void TestConnectState::refusals()
{
    QFETCH(QString, operation);
    QFETCH(bool, signedIn);
    QFETCH(QString, routerURL);
    QFETCH(QString, expected);
    if (signedIn) {
        QVERIFY(signIn(*m_state, *m_relay, std::nullopt));
    }
    m_state->setRouterURL(routerURL == u"RELAY" ? m_relay->baseUrl().toString() : routerURL);
    m_state->setUsername(operation == u"login blank" ? QStringLiteral(" ") : m_relay->account().email);
    m_state->setPassword(operation == u"login blank" ? QStringLiteral("pw") : QString());
    m_platform->downloads.clear();
    m_relay->clearRequests();
    Recorder recorder(*m_state);
    start(*m_state, operation.section(u' ', 0, 0));
    QCOMPARE(recorder.names, QStringList { QStringLiteral("activity") });
    QCOMPARE(m_state->activity(), expected);
    QVERIFY(m_relay->requests().isEmpty());
}

void TestConnectState::whileBusy_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("changes"); // while the sign-in runs
    QTest::addRow("codex refuses") << "codex" << QStringList { QStringLiteral("activity") };
    QTest::addRow("agent refuses") << "gemini" << QStringList { QStringLiteral("activity") };
    QTest::addRow("clearing does nothing") << "clear" << QStringList();
}

void TestConnectState::whileBusy()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, changes);
    QVERIFY(signIn(*m_state, *m_relay));
    m_relay->delayRoute("POST", loginPath, 300);
    m_state->setPassword(m_relay->account().password);
    m_state->login();
    Recorder recorder(*m_state);
    start(*m_state, operation);
    QCOMPARE(recorder.names, changes);
    if (!changes.isEmpty())
        QCOMPARE(m_state->activity(), stillBusy);
    QVERIFY(m_state->busy());
    QVERIFY(finish(*m_state));
    // The running operation's own text replaces the refusal.
    QCOMPARE(m_state->activity(), QStringLiteral("登录成功，请选择渠道接口后接入。"));
    QVERIFY(m_relay->requests(desktopKeyPath).isEmpty());
}

void TestConnectState::login_data()
{
    QTest::addColumn<int>("failure"); // 0: none, else the relay's status for the login
    QTest::addColumn<QJsonArray>("groups");
    QTest::addColumn<QString>("expected");
    QTest::addRow("signed in") << 0 << testGroups() << "登录成功，请选择渠道接口后接入。";
    QTest::addRow("refused") << 401 << testGroups() << "登录失败：邮箱或密码错误";
    QTest::addRow("no groups") << 0 << QJsonArray() << "登录失败：当前账户没有可用渠道接口";
    QTest::addRow("relay gone") << -1 << testGroups() << "登录失败：Connection refused";
}

void TestConnectState::login()
{
    QFETCH(int, failure);
    QFETCH(QJsonArray, groups);
    QFETCH(QString, expected);
    m_relay->account().groups = groups;
    m_state->setRouterURL(m_relay->baseUrl().toString() + QStringLiteral("/v1/"));
    m_state->setUsername(QStringLiteral("  ") + m_relay->account().email);
    m_state->setPassword(failure == 401 ? QStringLiteral("wrong") : m_relay->account().password);
    m_state->setSelectedModel(QStringLiteral("not-listed"));
    m_state->setSelectedGroupID(34);
    if (failure < 0)
        m_relay.reset();
    QVERIFY(run(QStringLiteral("login")));
    QCOMPARE(m_state->activity(), expected);
    const bool success = failure == 0 && !groups.isEmpty();
    QCOMPARE(m_state->authenticated(), success);
    QCOMPARE(m_state->password().isEmpty(), success);
    QCOMPARE(m_state->groups().size(), failure ? 0 : groups.size());
    QCOMPARE(m_state->selectedGroupID().has_value(), failure != 0);
    QCOMPARE(m_state->accountName(), success ? QStringLiteral("Velmora Demo") : QStringLiteral("尚未登录"));
    if (success) {
        QCOMPARE(m_state->accountDetail(), QStringLiteral("已同步 2 个渠道接口；请选择渠道后接入"));
        QCOMPARE(m_state->selectedModel(), m_state->models().first().id);
    }
}

void TestConnectState::connectCodex()
{
    QVERIFY(writeFile(home(QStringLiteral(".codex/auth.json")),
        readFile(QStringLiteral(VELMORA_TEST_DATA "/agents/clearing/auth-others.in.json"))));
    QVERIFY(signedIn());
    // The tools, each behind a recorder of its command line: the key goes on standard input.
    const QString commandLines = home(QStringLiteral("command-lines"));
    for (QString *tool : { &m_platform->security, &m_platform->launchctl }) {
        const QString recorder = home(QFileInfo(*tool).fileName());
        QVERIFY(writeFile(recorder,
            QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\nexec '%2' \"$@\"\n")
                .arg(commandLines, *tool)
                .toUtf8(),
            0500));
        *tool = recorder;
    }
    m_state->setSelectedModel(QStringLiteral("gpt-5.5"));
    m_state->setReasoningEffort(QStringLiteral("low"));
    QVERIFY(run(QStringLiteral("codex")));
    QCOMPARE(m_state->activity(), codexConfigured);
    QVERIFY(readFile(commandLines).contains("setenv OPENAI_API_KEY\n"));
    QVERIFY(!readFile(commandLines).contains(m_relay->issuedKeys().value(12).toUtf8()));
    QVERIFY(m_state->codexConnected());
    const QString key = m_relay->issuedKeys().value(12);
    QCOMPARE(storedKey(service()), key);
    QCOMPARE(launchdKey(), key); // set now, and again by the LaunchAgent's script at its load

    const QString script = home(QStringLiteral(".local/bin/velmora-connect-codex-env"));
    const QString plist = home(QStringLiteral("Library/LaunchAgents/com.velmora.connect.codex-env.plist"));
    QCOMPARE(readFile(home(QStringLiteral(".codex/config.toml"))),
        codexFile(QStringLiteral("config-relay.toml"),
            { { "@MODEL@", QStringLiteral("gpt-5.5") }, { "@EFFORT@", QStringLiteral("low") },
                { "@BASE_URL@", m_relay->baseUrl().toString() + QStringLiteral("/v1") } }));
    QCOMPARE(readFile(script),
        codexFile(QStringLiteral("velmora-connect-codex-env-linux"),
            { { "velmora-connect:api.velmora.example-443:demo-velmora-example:12", service() } }));
    QCOMPARE(readFile(plist),
        codexFile(QStringLiteral("com.velmora.connect.codex-env-relay.plist"), { { "@SCRIPT@", script } }));
    // The user's ChatGPT sign-in set aside (its merge rules: tst_codexfiles), closed to others.
    const QString signIn = home(QStringLiteral(".codex/velmora-connect-sign-in.json"));
    for (const QString &path : { home(QStringLiteral(".codex/config.toml")),
             home(QStringLiteral(".codex/auth.json")), plist, signIn })
        QCOMPARE(fileMode(path), 0600);
    QCOMPARE(fileMode(script), 0700);
    QVERIFY(!script.isEmpty() && !readFile(script).contains(key.toUtf8())
        && !readFile(plist).contains(key.toUtf8()));

    // Again, after Codex signed out (auth.json gone): the stored key is reused, and every
    // replaced file is in a backup of its own run, the set-aside sign-in too.
    const QByteArray record = readFile(signIn);
    QVERIFY(record.contains("rt-1"));
    QVERIFY(QFile::remove(home(QStringLiteral(".codex/auth.json"))));
    m_relay->clearRequests();
    m_platform->now = m_platform->now->addSecs(60);
    QVERIFY(run(QStringLiteral("codex")));
    QCOMPARE(m_state->activity(), codexConfigured);
    QVERIFY(m_relay->requests(desktopKeyPath).isEmpty());
    const QString backups = home(QStringLiteral(".config/velmora-connect/backups/"));
    QCOMPARE(entries(backups).size(), 2);
    const QString second = backups + entries(backups).last();
    QCOMPARE(entries(second),
        QStringList({ QStringLiteral("com.velmora.connect.codex-env.plist"), QStringLiteral("config.toml"),
            QStringLiteral("velmora-connect-codex-env"), QStringLiteral("velmora-connect-sign-in.json") }));
    QCOMPARE(readFile(second + QStringLiteral("/velmora-connect-sign-in.json")), record);
}

void TestConnectState::codexFailure_data()
{
    QTest::addColumn<QString>("storedKey"); // in the keyring before
    QTest::addColumn<QByteArray>("auth"); // ~/.codex/auth.json before; empty: none
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("secondStoreRefused"); // the keychain takes the key once, then refuses it
    QTest::addRow("stored key unusable: replaced") << "sk\tbad" << QByteArray() << codexConfigured << false;
    QTest::addRow("auth.json not an object")
        << "" << QByteArray("[1]") << "接入失败：auth.json 不是可合并的 JSON 对象" << false;
    // The key is stored before anything is backed up: a refusal leaves no empty backup folder.
    QTest::addRow("keychain refuses the key") << "" << QByteArray() << "接入失败：本机配置命令失败" << true;
}

void TestConnectState::codexFailure()
{
    QFETCH(QString, storedKey);
    QFETCH(QByteArray, auth);
    QFETCH(QString, expected);
    QFETCH(bool, secondStoreRefused);
    QVERIFY(signedIn());
    if (secondStoreRefused) {
        const QString security = home(QStringLiteral("security"));
        QVERIFY(writeFile(security,
            QStringLiteral(
                "#!/bin/sh\n[ \"$1\" != add-generic-password ] || mkdir '%1' 2>/dev/null || exit 1\n"
                "exec '%2' \"$@\"\n")
                .arg(home(QStringLiteral("stored-once")), m_platform->security)
                .toUtf8(),
            0700));
        m_platform->security = security;
    }
    if (!storedKey.isEmpty())
        QVERIFY(AgentFixtures::storeKey(service(), storedKey));
    if (!auth.isEmpty())
        QVERIFY(writeFile(home(QStringLiteral(".codex/auth.json")), auth));
    QVERIFY(run(QStringLiteral("codex")));
    QCOMPARE(m_state->activity(), expected);
    QCOMPARE(m_state->codexConnected(), expected == codexConfigured);
    QCOMPARE(AgentFixtures::storedKey(service()), m_relay->issuedKeys().value(12));
    if (!auth.isEmpty())
        QCOMPARE(readFile(home(QStringLiteral(".codex/auth.json"))), auth);
    QVERIFY(
        !secondStoreRefused || !QFileInfo::exists(home(QStringLiteral(".config/velmora-connect/backups"))));
}

void TestConnectState::connectAgent_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("launcher");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("expected");
    const auto row
        = [](const char *operation, const char *launcher, const char *model, const char *expected) {
              QTest::newRow(launcher) << QString::fromUtf8(operation) << QString::fromUtf8(launcher)
                                      << QString::fromUtf8(model) << QString::fromUtf8(expected);
          };
    // The agent's model from the key's own list, which connecting loads.
    row("claude", "velmora-claude", "claude-sonnet-4.5", "Claude Code 已接入。请用 Velmora 启动器打开它。");
    row("gemini", "velmora-gemini", "gemini-2.5-pro", "Gemini CLI 已接入。请用 Velmora 启动器打开它。");
    row("kimi", "velmora-kimi", "kimi-k3", "Kimi Code 已接入。请用 Velmora 启动器打开它。");
    row("opencode", "velmora-opencode", "gpt-5.6-sol", "OpenCode 已接入。请用 Velmora 启动器打开它。");
    row("deepseek", "velmora-deepseek", "deepseek-v4-pro",
        "DeepSeek Agent（Crush） 已接入。请用 Velmora 启动器打开它。");
}

// The launcher and its own files; the provider files are checked in tst_providerfiles.
void TestConnectState::connectAgent()
{
    QFETCH(QString, operation);
    QFETCH(QString, launcher);
    QFETCH(QString, model);
    QFETCH(QString, expected);
    QVERIFY(signedIn());
    QVERIFY(run(operation));
    QCOMPARE(m_state->activity(), expected);
    const QString path = home(QStringLiteral(".local/bin/") + launcher);
    QCOMPARE(AgentFixtures::storedKey(service()), m_relay->issuedKeys().value(12));
    QCOMPARE(readFile(path),
        expectedFile(hostLaunchers + launcher, m_relay->baseUrl().toString(), service(), model,
            m_platform->folders().app()));
    QCOMPARE(fileMode(path), 0700);
    // The launcher's own files in the app's folder, closed to others; the user's ~/.gemini untouched.
    const QString app = m_platform->folders().app();
    const QString settings = Overlays::geminiSettingsPath(app);
    const bool gemini = operation == u"gemini";
    QCOMPARE(
        readFile(settings), gemini ? expectedFile(QStringLiteral("gemini-settings.json")) : QByteArray());
    QVERIFY(!QFileInfo::exists(home(QStringLiteral(".gemini"))));
    const QString selection = Overlays::crushSelectionPath(app);
    QCOMPARE(readFile(selection),
        operation == u"deepseek" ? expectedFile(QStringLiteral("crush-selection.json"), {}, {}, model)
                                 : QByteArray());
    for (const AgentDescriptor &agent : agents())
        QCOMPARE(m_state->connected(agent.kind), agent.launcherName == launcher);
}

// The window follows the key store chosen with the app's files: the key in its own 0600 file,
// none in the keyring, the launcher reading the file; clearing removes it.
void TestConnectState::fileKeyStore()
{
    const QString app = m_platform->folders().app();
    QVERIFY(writeFile(app + QStringLiteral("/settings.json"), R"({"keyStore": "file"})", 0600));
    m_state = std::make_unique<ConnectState>(m_platform);
    QVERIFY(signedIn());
    QVERIFY(run(QStringLiteral("claude")));
    const QString file = app + QStringLiteral("/keys/") + service();
    QCOMPARE(QString::fromUtf8(readFile(file)), m_relay->issuedKeys().value(12));
    QCOMPARE(fileMode(file), 0600);
    QCOMPARE(AgentFixtures::storedKey(service()), QString());
    QCOMPARE(readFile(home(QStringLiteral(".local/bin/velmora-claude"))),
        expectedFile(QStringLiteral("launchers-file/velmora-claude"), m_relay->baseUrl().toString(),
            service(), QStringLiteral("claude-sonnet-4.5"), app));
    QVERIFY(run(QStringLiteral("clear")));
    QVERIFY(!QFileInfo::exists(file));
}

void TestConnectState::checkAgent_data()
{
    QTest::addColumn<QString>("agent"); // connected with this operation; empty: not connected
    QTest::addColumn<QByteArray>("profile"); // the login shell's ~/.profile
    QTest::addColumn<QString>("storedKey"); // replaces the keychain's key after connecting
    QTest::addColumn<QString>("expected"); // the card's line, as a pattern; empty: no check
    // "clear": runs to its end meanwhile; "login": runs throughout; "gpt only": the models listed
    QTest::addColumn<QString>("during");
    const QByteArray onPath = "PATH=\"$HOME/bin:$HOME/.local/bin:/usr/bin:/bin\"\n";
    QTest::addRow("passes") << u"claude"_qs << onPath << QString()
                            << QStringLiteral("^可用 · 2\\.1\\.0 · 中转站 \\d+ ms$") << QString();
    QTest::addRow("key revoked")
        << u"claude"_qs << onPath << QStringLiteral("sk-revoked")
        << QStringLiteral("^中转站拒绝了 Key（HTTP 401），请重新接入以签发新 Key：无效的 API Key$")
        << QString();
    QTest::addRow("launcher folder off PATH")
        << u"claude"_qs << QByteArray("PATH=\"$HOME/bin:/usr/bin:/bin\"\n") << QString()
        << QStringLiteral("^~/\\.local/bin 不在 PATH 中：请在 ~/\\.profile 中加入一行 export "
                          "PATH=\"\\$HOME/\\.local/bin:\\$PATH\"$")
        << QString();
    // Its key goes to the relay the window names alone.
    QTest::addRow("Codex's files name another host")
        << u"codex"_qs << onPath << QString()
        << u"^Codex 的配置指向 http://127\\.0\\.0\\.1:1/v1，不是上方的 Velmora 地址，请重新接入$"_qs
        << QString();
    // The launcher's own keychain line, in the login shell's environment.
    QTest::addRow("secret-tool not in the login shell")
        << u"claude"_qs << QByteArray("PATH=\"$HOME/bin:$HOME/.local/bin\"\n") << QString()
        << u"^登录 Shell 中找不到 secret-tool，请安装 libsecret-tools$"_qs << QString();
    QTest::addRow("another $USER in the login shell")
        << u"claude"_qs << onPath + "export USER=someone-else\n"
        << QString()
        << u"^登录 Shell 的 \\$USER 是 someone-else，不是保存 Key 的账户 .+，启动器读不到 Key$"_qs
        << QString();
    QTest::addRow("no claude- model listed")
        << u"claude"_qs << onPath << QString()
        << u"^中转站没有为该 Key 列出 claude- 模型，Claude Code 会请求它自己的默认模型，请换一个渠道后重新接入$"_qs
        << u"gpt only"_qs;
    QTest::addRow("not connected") << QString() << onPath << QString() << QString() << QString();
    QTest::addRow("cleared meanwhile") << u"claude"_qs << onPath << QString() << QString() << u"clear"_qs;
    QTest::addRow("during a sign-in") << u"claude"_qs << onPath << QString()
                                      << QStringLiteral("^可用 · 2\\.1\\.0 · 中转站 \\d+ ms$") << u"login"_qs;
}

// The card's check, worded, beside the other operations: it never makes the state busy.
void TestConnectState::checkAgent()
{
    QFETCH(QString, agent);
    QFETCH(QByteArray, profile);
    QFETCH(QString, storedKey);
    QFETCH(QString, expected);
    QFETCH(QString, during);
    m_platform->environmentValues = checkEnvironment(m_platform->home);
    writeFile(home(QStringLiteral(".profile")), profile);
    QDir(m_platform->home).mkpath(QStringLiteral("bin"));
    QFile::link(QStringLiteral("/usr/bin/env"), home(QStringLiteral("bin/env")));
    for (const char *command : { "claude", "codex" })
        writeFile(home(QStringLiteral("bin/") + QLatin1String(command)),
            QByteArray(during == u"clear" ? "#!/bin/sh\nsleep 1\n" : "#!/bin/sh\n")
                + "echo '2.1.0 (Claude Code)'\n",
            0755);
    QVERIFY(signedIn());
    if (during == u"gpt only")
        m_relay->account().models = { QJsonObject { { u"id"_qs, u"gpt-5.5"_qs } } };
    if (!agent.isEmpty())
        QVERIFY(run(agent));
    if (agent == u"codex")
        writeFile(CodexFiles::configPath(m_platform->folders().codex),
            CodexFiles::codexConfigToml(u"m"_qs, u"high"_qs, u"http://127.0.0.1:1/v1"_qs).toUtf8(), 0600);
    const AgentKind kind = agent == u"codex" ? AgentKind::codex : AgentKind::claudeCode;
    if (!storedKey.isEmpty())
        QVERIFY(AgentFixtures::storeKey(service(), storedKey));
    if (during == u"login") {
        m_relay->delayRoute("POST", loginPath, 10000);
        m_state->setPassword(m_relay->account().password);
        m_state->login();
    }
    QString before = m_state->activity();
    QSignalSpy busy(m_state.get(), &ConnectState::busyChanged);

    m_state->checkAgent(kind);
    if (during == u"clear") {
        QVERIFY(run(u"clear"_qs));
        before = m_state->activity();
        busy.clear();
    }
    using Stage = ConnectState::AgentCheckStatus::Stage;
    const ConnectState::AgentCheckStatus &check = m_state->check(kind);
    QVERIFY(QTest::qWaitFor([&] { return check.stage != Stage::running; }, 30000));
    QCOMPARE(busy.count(), 0);
    // While an operation runs, the status line is the operation's, the verdict the card's alone.
    if (during == u"login") {
        QVERIFY(m_state->busy());
        QCOMPARE(m_state->activity(), before);
        QVERIFY2(QRegularExpression(expected).match(check.text).hasMatch(), qPrintable(check.text));
        return;
    }
    if (expected.isEmpty()) {
        QCOMPARE(check.stage, Stage::none);
        QCOMPARE(m_state->activity(), before);
        return;
    }
    QVERIFY2(QRegularExpression(expected).match(check.text).hasMatch(), qPrintable(check.text));
    const bool passed = expected.startsWith(u"^可用");
    QCOMPARE(check.stage, passed ? Stage::passed : Stage::failed);
    QCOMPARE(
        m_state->activity(), title(kind) + (passed ? u" 检测通过："_qs : u" 检测失败："_qs) + check.text);
}

void TestConnectState::clearing_data()
{
    QTest::addColumn<QByteArray>("authAfterConnecting"); // replaces auth.json before clearing; empty: kept
    QTest::addColumn<bool>("restarted"); // a new state signs in (no group selected) and clears
    QTest::addColumn<QString>("expected");
    const QString cleared = QStringLiteral("配置已清除，请登录新账户后重新接入。");
    QTest::addRow("cleared") << QByteArray() << false << cleared;
    QTest::addRow("cleared after a restart") << QByteArray() << true << cleared;
    QTest::addRow("auth.json not an object")
        << QByteArray("[1]") << false << "清除失败：auth.json 不是可合并的 JSON 对象";
}

void TestConnectState::clearing()
{
    QFETCH(QByteArray, authAfterConnecting);
    QFETCH(bool, restarted);
    QFETCH(QString, expected);
    const QString auth = home(QStringLiteral(".codex/auth.json"));
    QVERIFY(
        writeFile(auth, readFile(QStringLiteral(VELMORA_TEST_DATA "/agents/clearing/auth-others.in.json"))));
    QVERIFY(signedIn());
    QVERIFY(run(QStringLiteral("codex")));
    QVERIFY2(run(QStringLiteral("kimi")), qPrintable(m_state->activity()));
    QVERIFY(storeKey(service(34), QStringLiteral("sk-other-group")));
    const QString otherRouter = QStringLiteral("velmora-connect:other.example-443:42:12");
    QVERIFY(storeKey(otherRouter, QStringLiteral("sk-other-router")));
    // The names of the earlier host-and-port scheme go too.
    const QStringList legacy { QStringLiteral("velmora-connect:api.velmora.example-443"),
        QStringLiteral("velmora-connect:api-legacy.velmora.example-443") };
    for (const QString &name : legacy)
        QVERIFY(storeKey(name, QStringLiteral("sk-legacy")));
    if (!authAfterConnecting.isEmpty())
        QVERIFY(writeFile(auth, authAfterConnecting));
    const QByteArray config = readFile(home(QStringLiteral(".codex/config.toml")));
    m_platform->now = m_platform->now->addSecs(60);
    if (restarted) {
        m_state = std::make_unique<ConnectState>(m_platform);
        QVERIFY(signIn(*m_state, *m_relay, std::nullopt));
    }

    QVERIFY(run(QStringLiteral("clear")));
    QCOMPARE(m_state->activity(), expected);
    const bool cleared = authAfterConnecting.isEmpty();
    QCOMPARE(m_state->authenticated(), !cleared);
    QCOMPARE(m_state->codexConnected() || m_state->kimiConnected(), !cleared);
    // config.toml goes first, into the backup, whatever follows.
    QVERIFY(!QFileInfo::exists(home(QStringLiteral(".codex/config.toml"))));
    const QString backups = home(QStringLiteral(".config/velmora-connect/backups/"));
    QCOMPARE(readFile(backups + entries(backups).last() + QStringLiteral("/config.toml")), config);
    QCOMPARE(storedKey(service()).isEmpty(), cleared);
    QCOMPARE(launchdKey().isEmpty(), cleared);
    QCOMPARE(
        QFileInfo::exists(home(QStringLiteral("Library/LaunchAgents/com.velmora.connect.codex-env.plist"))),
        !cleared);
    // The group connected last (after a restart too); another group's launchers keep working.
    QCOMPARE(storedKey(service(34)), QStringLiteral("sk-other-group"));
    QCOMPARE(storedKey(otherRouter), QStringLiteral("sk-other-router"));
    for (const QString &name : legacy)
        QCOMPARE(storedKey(name).isEmpty(), cleared);
    if (!cleared)
        return;
    QCOMPARE(readFile(auth), readFile(QStringLiteral(VELMORA_TEST_DATA "/agents/clearing/auth-others.json")));
    QVERIFY(m_state->groups().isEmpty() && !m_state->selectedGroupID());
    QCOMPARE(m_state->accountDetail(), QStringLiteral("清除完成，请登录新账户"));
    QCOMPARE(m_state->username(), m_relay->account().email);
}

// A step past the Codex files that fails is reported, and the user stays signed in to try again.
void TestConnectState::clearingStepFails()
{
    QVERIFY(signedIn());
    QVERIFY(run(QStringLiteral("codex")));
    const QString plist = home(QStringLiteral("Library/LaunchAgents/com.velmora.connect.codex-env.plist"));
    QVERIFY(QFile::remove(plist));
    QCOMPARE(::mkfifo(QFile::encodeName(plist).constData(), 0600), 0); // refused by the backup copy
    QVERIFY(run(QStringLiteral("clear")));
    QVERIFY2(m_state->activity().startsWith(QStringLiteral("清除失败：") + plist),
        qPrintable(m_state->activity()));
    QVERIFY(m_state->authenticated() && m_state->codexConnected());
    QVERIFY(QFileInfo(plist).exists());
}

void TestConnectState::foldersFromEnvironment_data()
{
    QTest::addColumn<QString>("configHome"); // $XDG_CONFIG_HOME
    QTest::addColumn<QString>("codexHome"); // $CODEX_HOME
    QTest::addColumn<QString>("config"); // where OpenCode's file and the app's folder go
    QTest::addColumn<QString>("codex"); // where Codex's files go
    const auto row = [](const char *name, const char *configHome, const char *codexHome, const char *config,
                         const char *codex) {
        QTest::newRow(name) << QString::fromUtf8(configHome) << QString::fromUtf8(codexHome)
                            << QString::fromUtf8(config) << QString::fromUtf8(codex);
    };
    row("set", "@/xdg", "@/codex home", "xdg", "codex home");
    row("relative: the defaults", "xdg", "codex", ".config", ".codex");
}

// OpenCode and Crush read $XDG_CONFIG_HOME and Codex $CODEX_HOME: the files go where they
// look, and clearing finds them there.
void TestConnectState::foldersFromEnvironment()
{
    QFETCH(QString, configHome);
    QFETCH(QString, codexHome);
    QFETCH(QString, config);
    QFETCH(QString, codex);
    m_platform->environmentValues.insert(
        QStringLiteral("XDG_CONFIG_HOME"), configHome.replace(u'@', m_platform->home));
    m_platform->environmentValues.insert(
        QStringLiteral("CODEX_HOME"), codexHome.replace(u'@', m_platform->home));
    QVERIFY(signedIn());
    QVERIFY(run(QStringLiteral("codex")));
    QVERIFY(run(QStringLiteral("opencode")));
    QVERIFY(readFile(home(config + QStringLiteral("/opencode/opencode.json"))).contains("velmora"));
    QCOMPARE(entries(home(config + QStringLiteral("/velmora-connect/backups"))).size(), 2);
    QVERIFY(readFile(home(codex + QStringLiteral("/auth.json"))).contains("apikey"));
    // Cleared from a start that does not see the variables (the desktop's, say): it finds
    // what connecting wrote all the same.
    m_platform->environmentValues = QProcessEnvironment();
    QVERIFY(run(QStringLiteral("clear")));
    QCOMPARE(m_state->activity(), QStringLiteral("配置已清除，请登录新账户后重新接入。"));
    QVERIFY(!QFileInfo::exists(home(codex + QStringLiteral("/config.toml"))));
    QVERIFY(!QFileInfo::exists(home(codex + QStringLiteral("/velmora-connect-sign-in.json"))));
    QCOMPARE(readFile(home(codex + QStringLiteral("/auth.json"))), QByteArray("{\n}\n"));
}

void TestConnectState::slowTools_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("limit"); // of each tool's run, ms
    QTest::addColumn<QString>("expected");
    QTest::addRow("connect Codex") << "codex" << 30000 << codexConfigured;
    QTest::addRow("clear") << "clear" << 30000 << "配置已清除，请登录新账户后重新接入。";
    QTest::addRow("a tool that never ends")
        << "kimi" << 1000 << "配置失败：本机配置命令 security 未在 1 秒内结束";
}

void TestConnectState::slowTools()
{
    QFETCH(QString, operation);
    QFETCH(int, limit);
    QFETCH(QString, expected);
    m_platform->toolLimit = std::chrono::milliseconds(limit);
    m_state = std::make_unique<ConnectState>(m_platform);
    QVERIFY(signedIn());
    // Each tool waits until the window's timer has ticked three times while it runs (giving up
    // after 2 s, or, past the limit, never ending), then runs the real one.
    const QString running = home(QStringLiteral("tool-running"));
    const QString go = home(QStringLiteral("tool-go"));
    const QString wait = limit < 30000
        ? QStringLiteral("exec sleep 5\n")
        : QStringLiteral("i=0\nwhile [ ! -e '%1' ] && [ $i -lt 100 ]; do sleep 0.02; i=$((i + 1)); done\n")
              .arg(go);
    for (QString *tool : { &m_platform->security, &m_platform->launchctl }) {
        const QString slow = home(QFileInfo(*tool).fileName());
        QVERIFY(writeFile(slow,
            QStringLiteral("#!/bin/sh\ntouch '%1'\n%2rm -f '%1' '%3'\nexec '%4' \"$@\"\n")
                .arg(running, wait, go, *tool)
                .toUtf8(),
            0500));
        *tool = slow;
    }
    int ticks = 0; // while a tool runs
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        if (QFileInfo::exists(running) && ++ticks % 3 == 0)
            writeFile(go, {});
    });
    timer.start(5);
    QVERIFY(run(operation));
    QCOMPARE(m_state->activity(), expected);
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
    // A keychain look-up that did not finish is no "no key": the relay makes none.
    if (limit < 30000)
        QVERIFY(m_relay->requests(desktopKeyPath).isEmpty());
}

void TestConnectState::download_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("package");
    // 0: served whole, -1: cut mid-body, -2: sent to file:, -3: sent from https to http, -4: the
    // disk fills after 1 MiB
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("saved"); // the file in Downloads; empty: nothing left there
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, bool codex, int status, const char *saved, const char *expected) {
        QTest::newRow(name) << QString::fromUtf8(codex ? "codex download" : "download")
                            << QString::fromUtf8(
                                   codex ? "codex-macos-arm64.dmg" : "claude-code-macos-arm64.dmg")
                            << status << QString::fromUtf8(saved) << QString::fromUtf8(expected);
    };
    row("agent package", false, 0, "claude-code-macos-arm64.dmg", "Claude Code 安装包已下载并打开。");
    row("codex, time-stamped", true, 0, "Codex-2026-12-05T12-41-00Z.dmg",
        "安装包已下载并打开。将 Codex 拖入 Applications 后，回到这里点击“重新检测”。");
    row("not published", false, 404, "", "下载失败：服务器未发布该安装包");
    row("407 is a refusal", false, 407, "", "下载失败：服务器未发布该安装包");
    row("codex not published", true, 404, "", "下载失败：Velmora 安装包下载失败");
    row("cut mid-body", false, -1, "", "");
    row("redirect to a file", false, -2, "", "下载失败：服务器未发布该安装包");
    row("redirect from https to http", true, -3, "", "下载失败：Velmora 安装包下载失败");
    row("the disk fills", false, -4, "", "下载失败：File too large");
}

void TestConnectState::download()
{
    QFETCH(QString, operation);
    QFETCH(QString, package);
    QFETCH(int, status);
    QFETCH(QString, saved);
    QFETCH(QString, expected);
    const QByteArray bytes = QByteArray(3 * 1024 * 1024, 'p');
    m_relay->setPackage(package, bytes);
    // An agent package replaces the earlier download of its name; a failed one leaves it.
    const bool earlier = operation == u"download";
    if (earlier)
        QVERIFY(writeFile(m_platform->downloads + u'/' + package, "earlier"));
    const QString path = QStringLiteral("/agent-packages/") + package;
    RelayServer secure;
    if (status == -3) {
        const QString tls = QStringLiteral(VELMORA_TEST_DATA "/tls/relay.");
        secure.serveTls(QSslCertificate(readFile(tls + "pem")), QSslKey(readFile(tls + "key"), QSsl::Ec));
        QVERIFY(secure.listen());
        m_platform->deploymentValues.downloadServer = secure.baseUrl();
    }
    // A file size limit stands for a disk that fills: a write past it fails (EFBIG).
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    const auto restoreLimit = qScopeGuard([limit] { setrlimit(RLIMIT_FSIZE, &limit); });
    if (status == -4) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit full = limit;
        full.rlim_cur = 1024 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &full), 0);
    }
    if (status && status != -4) {
        RelayReply reply;
        reply.status = status == -1 ? 200 : status < -1 ? 302 : status;
        const QString elsewhere
            = status == -2 ? QStringLiteral("file:///etc/passwd") : m_relay->baseUrl().toString() + path;
        if (status < -1)
            reply.headers = { { "Location", elsewhere.toUtf8() } };
        reply.body = status == -1 ? bytes : QByteArray("{}");
        reply.closeMidBody = status == -1;
        (status == -3 ? secure : *m_relay).script("GET", path, reply);
    }
    // The clock moves on while the package arrives: the Codex package is stamped when saved.
    connect(m_state.get(), &ConnectState::downloadProgressChanged, this, [this] {
        if (m_state->downloadReceived() > 0)
            m_platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 41), Qt::UTC);
    });
    QVERIFY(run(operation));
    if (expected.isEmpty())
        QVERIFY2(
            m_state->activity().startsWith(QStringLiteral("下载失败：")), qPrintable(m_state->activity()));
    else
        QCOMPARE(m_state->activity(), expected);
    QCOMPARE(entries(m_platform->downloads),
        saved.isEmpty() ? (earlier ? QStringList { package } : QStringList()) : QStringList { saved });
    QCOMPARE(m_platform->opened,
        saved.isEmpty() ? QStringList() : QStringList { m_platform->downloads + u'/' + saved });
    if (!saved.isEmpty())
        QCOMPARE(readFile(m_platform->downloads + u'/' + saved), bytes);
    else if (earlier)
        QCOMPARE(readFile(m_platform->downloads + u'/' + package), QByteArray("earlier"));
    QVERIFY(!m_state->downloading() && m_state->downloadTotal() == -1);
}

void TestConnectState::destroyedMidOperation_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("path"); // the request that never gets its answer; none: a tool never ends
    QTest::addRow("login") << "login" << loginPath;
    QTest::addRow("codex") << "codex" << desktopKeyPath;
    QTest::addRow("agent") << "deepseek" << desktopKeyPath;
    QTest::addRow("download") << "download"
                              << "/agent-packages/claude-code-macos-arm64.dmg";
    QTest::addRow("clearing, a tool running") << "clear" << QString();
    QTest::addRow("a check, the login shell running") << "check" << QString();
}

void TestConnectState::destroyedMidOperation()
{
    QFETCH(QString, operation);
    QFETCH(QString, path);
    QVERIFY(signedIn());
    m_state->setPassword(m_relay->account().password);
    const QString pid = home(QStringLiteral("tool-pid"));
    if (path.isEmpty()) {
        const QString tool = home(QStringLiteral("slow-tool"));
        QVERIFY(writeFile(
            tool, QStringLiteral("#!/bin/sh\necho $$ > '%1'\nexec sleep 10\n").arg(pid).toUtf8(), 0500));
        m_platform->environmentValues = checkEnvironment(m_platform->home);
        m_platform->environmentValues.insert(QStringLiteral("SHELL"), tool);
        if (operation == u"check")
            QVERIFY(run(QStringLiteral("claude")));
        else
            m_platform->security = tool;
    } else {
        m_relay->script("*", path, stalled());
    }
    start(*m_state, operation);
    if (path.isEmpty())
        QTRY_VERIFY(readFile(pid).endsWith('\n'));
    else
        QTRY_VERIFY(!m_relay->requests(path).isEmpty());
    // Every waiting task ends with the state and frees its frame (LeakSanitizer in the
    // sanitize build), its tool killed; nothing is written afterwards.
    m_state.reset();
    QTest::qWait(50);
    QVERIFY(!QFileInfo::exists(home(QStringLiteral(".local/bin/velmora-deepseek"))));
    if (path.isEmpty())
        QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/") + QString::fromLatin1(readFile(pid).trimmed())));
}

QTEST_GUILESS_MAIN(TestConnectState)
#include "tst_connectstate.moc"
