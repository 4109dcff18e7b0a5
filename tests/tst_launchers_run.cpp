// The launchers run for real by dash and by bash: the key comes from the test's keyring
// through the system's own keyring command, and fake agents on PATH print their arguments
// and environment.

#include "agentfixtures.h"
#include "agents/agentkind.h"
#include "agents/launchers.h"
#include "agents/overlays.h"

#include <QtTest>

using namespace AgentFixtures;

using Variables = QMap<QString, QString>;

namespace {

// Arguments that a careless launcher would split, glob or expand.
const QStringList awkwardArguments { QStringLiteral("two words"), QStringLiteral("  padded  "), QString(),
    QStringLiteral("*"), QStringLiteral("$HOME"), QStringLiteral("line\nfeed"),
    QStringLiteral("it's \"q\"") };

} // namespace

class TestLaunchersRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void run_data();
    void run();
    void geminiKeepsTheUsersFolder();

private:
    QTemporaryDir m_dir;
    QString m_fakeAgents;
    int m_count = 0;
};

void TestLaunchersRun::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_fakeAgents = m_dir.filePath(QStringLiteral("agents"));
    writeFakeAgents(m_fakeAgents);
}

void TestLaunchersRun::run_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QString>("shell");
    QTest::addColumn<QString>("text"); // in the service name and the model
    QTest::addColumn<bool>("stored"); // false: the keyring holds no item for the service
    QTest::addColumn<QByteArray>("user"); // $USER of the launcher; empty: the test's
    const QList<std::pair<const char *, QString>> texts { { "plain", QStringLiteral("plain") },
        { "quotes and expansions", QStringLiteral("a'b\"c$d ${USER} $(id) `e`\\f") },
        { "line feeds", QStringLiteral("first\nsecond\n") } };
    for (const QString &shell : { QStringLiteral("/bin/dash"), QStringLiteral("/bin/bash") }) {
        for (const AgentDescriptor &agent : agents()) {
            const AgentKind kind = agent.kind;
            const QByteArray name = agent.launcherName.toUtf8();
            if (name.isEmpty())
                continue;
            for (const auto &[textName, text] : texts) {
                if (textName == texts.first().first || kind != AgentKind::claudeCode)
                    QTest::addRow("%s, %s, %s", qPrintable(shell), name.data(), textName)
                        << kind << shell << text << true << QByteArray();
            }
            QTest::addRow("%s, %s, no item", qPrintable(shell), name.data())
                << kind << shell << QStringLiteral("absent") << false << QByteArray();
        }
        // No value of $USER becomes an option of the keyring command (-h prints its help); the
        // keyring line is the same in every launcher.
        QTest::addRow("%s, $USER an option", qPrintable(shell))
            << AgentKind::claudeCode << shell << QStringLiteral("plain") << true << QByteArray("-h");
    }
}

void TestLaunchersRun::run()
{
    QFETCH(AgentKind, kind);
    QFETCH(QString, shell);
    QFETCH(QString, text);
    QFETCH(bool, stored);
    QFETCH(QByteArray, user);
    const QString service = QStringLiteral("velmora-connect:%1:").arg(++m_count) + text;
    const QString model = QStringLiteral("claude-model ") + text; // a model Claude Code's launcher names
    const QString key = QStringLiteral("sk-velmora-run-%1").arg(m_count);
    QVERIFY(!stored || storeKey(service, key));
    const QString name = descriptor(kind).launcherName.toString();
    const QString launcher = m_dir.filePath(QStringLiteral("bin%1/").arg(m_count) + name);
    const LauncherValues values { QStringLiteral("https://api.velmora.example/team"), model,
        m_dir.filePath(QStringLiteral("app ")) + text };
    QVERIFY(writeFile(launcher, Launchers::launcherScript(kind, values, service).toUtf8(), 0700));
    if (descriptor(kind).prepare)
        descriptor(kind).prepare(values);

    const QByteArray testUser = qgetenv("USER");
    if (!user.isEmpty())
        qputenv("USER", user);
    const AgentRun run = runLauncher(shell, launcher, awkwardArguments, m_fakeAgents);
    qputenv("USER", testUser);
    if (!stored || !user.isEmpty()) { // `set -eu` stops the launcher before the agent starts
        QVERIFY(run.status != 0);
        QVERIFY(!run.started);
        return;
    }
    QCOMPARE(run.status, 0);
    // Claude Code's settings layer arrives as one argument, before the user's.
    const QStringList options = kind == AgentKind::claudeCode ? QStringList { QStringLiteral("--settings"),
        Overlays::compact(Overlays::claudeSettings(values.root, values.model)) }
                                                              : QStringList {};
    QCOMPARE(run.arguments, options + awkwardArguments);
    // The key found under the service name proves that the keyring command got the exact name;
    // the model (where the launcher exports it as it is) and the app's folders arrive unchanged.
    const Variables added = addedEnvironment(run, m_fakeAgents);
    QVERIFY(added.values().contains(key));
    const QString expected = QStringLiteral(VELMORA_TEST_DATA "/agents/") + hostLaunchers + name;
    QCOMPARE(added.values().contains(model), readFile(expected).contains("='{MODEL}'\n"));
    const QMap<AgentKind, std::pair<QString, QString>> overlays {
        { AgentKind::geminiCLI,
            { QStringLiteral("GEMINI_CLI_HOME"), Overlays::geminiRunHome(values.appFolder) } },
        { AgentKind::deepSeek,
            { QStringLiteral("CRUSH_GLOBAL_DATA"), Overlays::crushData(values.appFolder) } },
        { AgentKind::openCode,
            { QStringLiteral("OPENCODE_CONFIG_CONTENT"),
                Overlays::compact(Overlays::openCodeConfig(model)) } }
    };
    if (overlays.contains(kind))
        QCOMPARE(added.value(overlays[kind].first), overlays[kind].second);
    QCOMPARE(removedEnvironment(run, m_fakeAgents), QStringList {});
    QVERIFY(!run.environment.contains(QStringLiteral("velmora_key")));
}

// Gemini CLI through its launcher still reads the user's own Gemini folder (MCP servers, context
// files): only the sign-in the user's settings select gives way to the relay's key.
void TestLaunchersRun::geminiKeepsTheUsersFolder()
{
    const QString home = m_dir.filePath(QStringLiteral("gemini user"));
    const QByteArray settings
        = "{\n  // signed in with Google\n"
          "  \"security\": {\"auth\": {\"selectedType\": \"oauth-personal\"}},\n"
          "  \"mcpServers\": {\"my-notes\": {\"command\": \"notes\", \"args\": [\"a // b\"]}}\n}\n";
    QVERIFY(writeFile(home + QStringLiteral("/.gemini/settings.json"), settings, 0600));
    QVERIFY(writeFile(home + QStringLiteral("/.gemini/GEMINI.md"), "Tea, not coffee.\n", 0600));
    const QString service = QStringLiteral("velmora-connect:gemini-home");
    QVERIFY(storeKey(service, QStringLiteral("sk-velmora-gemini-home")));
    const LauncherValues values { QStringLiteral("https://api.velmora.example"), QStringLiteral("gemini-x"),
        m_dir.filePath(QStringLiteral("gemini app")) };
    const QString launcher = m_dir.filePath(QStringLiteral("gemini-bin/velmora-gemini"));
    QVERIFY(
        writeFile(launcher, Launchers::launcherScript(AgentKind::geminiCLI, values, service).toUtf8(), 0700));
    Overlays::writeGeminiSettings(values.appFolder);

    const QByteArray testHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));
    const AgentRun run = runLauncher(QStringLiteral("/bin/sh"), launcher, {}, m_fakeAgents);
    qputenv("HOME", testHome);
    QCOMPARE(run.status, 0);
    const QString geminiHome
        = run.environment.value(QStringLiteral("GEMINI_CLI_HOME")) + QStringLiteral("/.gemini");
    const QJsonObject expected
        = QJsonDocument::fromJson(R"({"security": {"auth": {"selectedType": "gemini-api-key"}},
        "mcpServers": {"my-notes": {"command": "notes", "args": ["a // b"]}}})")
              .object();
    QCOMPARE(
        QJsonDocument::fromJson(readFile(geminiHome + QStringLiteral("/settings.json"))).object(), expected);
    QCOMPARE(readFile(geminiHome + QStringLiteral("/GEMINI.md")), QByteArray("Tea, not coffee.\n"));
    QCOMPARE(readFile(home + QStringLiteral("/.gemini/settings.json")), settings);
}

QTEST_GUILESS_MAIN(TestLaunchersRun)
#include "tst_launchers_run.moc"
