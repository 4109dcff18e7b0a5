// The launchers run for real: by dash and by bash, with the `security` built with the project
// reading the key from the test's keyring, and fake agents on PATH that print their
// arguments and environment.

#include "agentfixtures.h"
#include "agents/agentkind.h"
#include "agents/launchers.h"

#include <QtTest>

using namespace AgentFixtures;

Q_DECLARE_METATYPE(AgentKind)

using Variables = QMap<QString, QString>;

namespace {

const QString root = QStringLiteral("https://api.velmora.example/team");

// What each launcher must add to the agent's environment, and nothing else.
Variables expectedVariables(AgentKind kind, const QString &key, const QString &model)
{
    switch (kind) {
    case AgentKind::claudeCode:
        return { { QStringLiteral("ANTHROPIC_BASE_URL"), root },
            { QStringLiteral("ANTHROPIC_AUTH_TOKEN"), key },
            { QStringLiteral("CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC"), QStringLiteral("1") },
            { QStringLiteral("CLAUDE_CODE_ATTRIBUTION_HEADER"), QStringLiteral("0") } };
    case AgentKind::geminiCLI:
        return { { QStringLiteral("GOOGLE_GEMINI_BASE_URL"), root },
            { QStringLiteral("GEMINI_API_KEY"), key }, { QStringLiteral("GEMINI_MODEL"), model },
            { QStringLiteral("GEMINI_API_KEY_AUTH_MECHANISM"), QStringLiteral("bearer") } };
    case AgentKind::kimiCode:
        return { { QStringLiteral("KIMI_MODEL_NAME"), model },
            { QStringLiteral("KIMI_MODEL_PROVIDER_TYPE"), QStringLiteral("openai") },
            { QStringLiteral("KIMI_MODEL_API_KEY"), key },
            { QStringLiteral("KIMI_MODEL_BASE_URL"), root + QStringLiteral("/v1") },
            { QStringLiteral("KIMI_MODEL_MAX_CONTEXT_SIZE"), QStringLiteral("1048576") } };
    case AgentKind::openCode:
        return { { QStringLiteral("VELMORA_API_KEY"), key } };
    case AgentKind::deepSeek:
        return { { QStringLiteral("DEEPSEEK_API_KEY"), key } };
    }
    return {};
}

const QStringList shells { QStringLiteral("/bin/sh"), QStringLiteral("bash"), QString() };

QString shellName(const QString &shell)
{
    return shell.isEmpty() ? QStringLiteral("direct") : shell;
}

// Arguments that a careless launcher would split, glob or expand.
const QStringList awkwardArguments { QStringLiteral("--model"), QStringLiteral("two words"),
    QStringLiteral("  padded  "), QString(), QStringLiteral("*"), QStringLiteral("$HOME"),
    QStringLiteral("line\nfeed"), QStringLiteral("it's \"quoted\"") };

} // namespace

class TestLaunchersRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void exportsOnlyItsVariables_data();
    void exportsOnlyItsVariables();
    void valuesReachTheAgentExactly_data();
    void valuesReachTheAgentExactly();
    void missingKeyStopsBeforeTheAgent_data();
    void missingKeyStopsBeforeTheAgent();

private:
    QString writeLauncher(AgentKind kind, const QString &service, const QString &model);
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

QString TestLaunchersRun::writeLauncher(AgentKind kind, const QString &service, const QString &model)
{
    const QString path = m_dir.filePath(QStringLiteral("bin%1/").arg(++m_count) + wrapperName(kind));
    const bool written = writeFile(path, Launchers::launcherScript(kind, root, service, model).toUtf8(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return written ? path : QString();
}

void TestLaunchersRun::exportsOnlyItsVariables_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QString>("shell");
    for (AgentKind kind : allAgentKinds) {
        for (const QString &shell : shells) {
            QTest::addRow("%s, %s", qPrintable(wrapperName(kind)), qPrintable(shellName(shell)))
                << kind << shell;
        }
    }
}

void TestLaunchersRun::exportsOnlyItsVariables()
{
    QFETCH(AgentKind, kind);
    QFETCH(QString, shell);
    const QString service = QStringLiteral("velmora-connect:run-test:") + wrapperName(kind);
    const QString key = QStringLiteral("sk-velmora-") + command(kind) + QStringLiteral("-0123456789");
    const QString model = QStringLiteral("model-for-") + command(kind);
    QVERIFY(storeKey(service, key));
    const QString launcher = writeLauncher(kind, service, model);
    QVERIFY(!launcher.isEmpty());

    const AgentRun run = runLauncher(shell, launcher, awkwardArguments, m_fakeAgents);
    QCOMPARE(run.status, 0);
    QVERIFY(run.started);
    QCOMPARE(run.arguments, awkwardArguments);
    QCOMPARE(addedEnvironment(run, m_fakeAgents), expectedVariables(kind, key, model));
    QCOMPARE(removedEnvironment(run, m_fakeAgents), QStringList {});
    // The key stays inside the launcher's shell: the variable that held it is not exported.
    QVERIFY(!run.environment.contains(QStringLiteral("velmora_key")));
    QVERIFY(!readFile(launcher).contains(key.toUtf8()));
}

void TestLaunchersRun::valuesReachTheAgentExactly_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QString>("shell");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("model");
    const QList<std::pair<const char *, QString>> texts {
        { "apostrophe", QStringLiteral("it's") },
        { "dollar", QStringLiteral("$HOME ${USER} $(id) $1") },
        { "backticks", QStringLiteral("`id` `exit 3`") },
        { "line feed", QStringLiteral("first\nsecond\n") },
        { "everything", QStringLiteral("a'b\"c$d`e`\\f\ng h'") },
    };
    for (const auto &[name, text] : texts) {
        for (AgentKind kind : { AgentKind::geminiCLI, AgentKind::kimiCode }) {
            for (const QString &shell : shells) {
                QTest::addRow("%s, %s, %s", name, qPrintable(wrapperName(kind)), qPrintable(shellName(shell)))
                    << kind << shell << QStringLiteral("velmora-connect:") + text
                    << QStringLiteral("model ") + text;
            }
        }
    }
}

void TestLaunchersRun::valuesReachTheAgentExactly()
{
    QFETCH(AgentKind, kind);
    QFETCH(QString, shell);
    QFETCH(QString, service);
    QFETCH(QString, model);
    const QString key = QStringLiteral("sk-exact-%1").arg(m_count);
    QVERIFY(storeKey(service, key));
    const QString launcher = writeLauncher(kind, service, model);
    QVERIFY(!launcher.isEmpty());

    const AgentRun run = runLauncher(shell, launcher, { QStringLiteral("x y") }, m_fakeAgents);
    QCOMPARE(run.status, 0);
    // The key found under the service name proves that `security` got the exact name.
    QCOMPARE(addedEnvironment(run, m_fakeAgents), expectedVariables(kind, key, model));
    QCOMPARE(run.arguments, QStringList { QStringLiteral("x y") });
}

void TestLaunchersRun::missingKeyStopsBeforeTheAgent_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QString>("shell");
    for (AgentKind kind : allAgentKinds) {
        for (const QString &shell : shells) {
            QTest::addRow("%s, %s", qPrintable(wrapperName(kind)), qPrintable(shellName(shell)))
                << kind << shell;
        }
    }
}

void TestLaunchersRun::missingKeyStopsBeforeTheAgent()
{
    QFETCH(AgentKind, kind);
    QFETCH(QString, shell);
    const QString launcher = writeLauncher(kind, QStringLiteral("velmora-connect:never-stored"), QString());
    QVERIFY(!launcher.isEmpty());
    const AgentRun run = runLauncher(shell, launcher, { QStringLiteral("x") }, m_fakeAgents);
    // `set -eu` ends the launcher with the status of `security` (44: no such item).
    QCOMPARE(run.status, 44);
    QVERIFY(!run.started);
}

QTEST_GUILESS_MAIN(TestLaunchersRun)
#include "tst_launchers_run.moc"
