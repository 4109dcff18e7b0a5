// The launcher texts of both systems and the model choice, as pure functions.

#include "agentfixtures.h"
#include "agents/agentkind.h"
#include "agents/launchers.h"

#include <QtTest>

using namespace AgentFixtures;
using Launchers::KeyringCommand;

Q_DECLARE_METATYPE(KeyringCommand)

class TestLaunchers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void launcherText_data();
    void launcherText();
    void preferredModel_data();
    void preferredModel();
};

void TestLaunchers::launcherText_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<KeyringCommand>("keyring");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("expected");
    const QString service = QStringLiteral("velmora-connect:api.velmora.example-443:demo-velmora-example:12");
    for (const auto &[keyring, folder] : { std::pair { KeyringCommand::security, "launchers/" },
             std::pair { KeyringCommand::secretTool, "launchers-linux/" },
             std::pair { KeyringCommand::file, "launchers-file/" } }) {
        for (const AgentDescriptor &agent : agents()) {
            const QString launcher = agent.launcherName.toString();
            if (!launcher.isEmpty())
                QTest::addRow("%s%s", folder, qPrintable(launcher))
                    << agent.kind << keyring << service << command(agent.kind) + QStringLiteral("-model")
                    << QLatin1String(folder) + launcher;
        }
    }
    // An apostrophe, "$", backticks and a line feed in the service name and the model.
    QTest::newRow("quoted") << AgentKind::geminiCLI << KeyringCommand::security
                            << QStringLiteral("velmora-connect:it's $HOME `id`\nx")
                            << QStringLiteral("gemini-o'$(x)`y`\nz") << "launchers/velmora-gemini-quoted";
}

void TestLaunchers::launcherText()
{
    QFETCH(AgentKind, kind);
    QFETCH(KeyringCommand, keyring);
    QFETCH(QString, service);
    QFETCH(QString, model);
    QFETCH(QString, expected);
    const QString root = QStringLiteral("https://api.velmora.example/team");
    const QString app = QStringLiteral("/home/lin/.config/velmora-connect");
    QCOMPARE(
        Launchers::launcherScript(kind, { root, model, app }, service, keyring, app + QStringLiteral("/keys"))
            .toUtf8(),
        expectedFile(expected, root, service, model, app));
}

void TestLaunchers::preferredModel_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QStringList>("models");
    QTest::addColumn<QString>("expected");
    const QStringList initial { QStringLiteral("gpt-5.6-sol"), QStringLiteral("gpt-5.5"),
        QStringLiteral("gemini-2.0-flash"), QStringLiteral("kimi-k3"), QStringLiteral("deepseek-v4-pro") };
    const QString selected = QStringLiteral("gpt-5.6-sol");
    QTest::newRow("Gemini CLI") << AgentKind::geminiCLI << initial << "gemini-2.0-flash";
    QTest::newRow("Claude Code: no claude- model") << AgentKind::claudeCode << initial << selected;
    QTest::newRow("OpenCode: never looked up")
        << AgentKind::openCode << QStringList { QStringLiteral("opencode-x") } << selected;
    QTest::newRow("upper case kept; first match wins")
        << AgentKind::claudeCode
        << QStringList { QStringLiteral("my-claude"), QStringLiteral("Claude-Opus-4"),
               QStringLiteral("claude-a") }
        << "Claude-Opus-4";
}

void TestLaunchers::preferredModel()
{
    QFETCH(AgentKind, kind);
    QFETCH(QStringList, models);
    QFETCH(QString, expected);
    QCOMPARE(Launchers::preferredModel(kind, models, QStringLiteral("gpt-5.6-sol")), expected);
}

QTEST_GUILESS_MAIN(TestLaunchers)
#include "tst_launchers.moc"
