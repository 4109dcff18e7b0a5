// The launcher texts and the model choice, as pure functions.

#include "agentfixtures.h"
#include "agents/agentkind.h"
#include "agents/launchers.h"

#include <QtTest>

using namespace AgentFixtures;

Q_DECLARE_METATYPE(AgentKind)

namespace {

const QString root = QStringLiteral("https://api.velmora.example/team");
const QString service = QStringLiteral("velmora-connect:api.velmora.example-443:demo-velmora-example:12");

QList<RemoteModel> modelList(const QStringList &ids)
{
    QList<RemoteModel> models;
    for (const QString &id : ids)
        models.append({ id, QStringLiteral("Velmora") });
    return models;
}

const QStringList initialIds { QStringLiteral("gpt-5.6-sol"), QStringLiteral("gpt-5.5"),
    QStringLiteral("gemini-2.0-flash"), QStringLiteral("kimi-k3"), QStringLiteral("deepseek-v4-pro") };

} // namespace

class TestLaunchers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void agentKinds_data();
    void agentKinds();
    void launcherText_data();
    void launcherText();
    void launcherTextQuotesEveryValue();
    void preferredModel_data();
    void preferredModel();
};

void TestLaunchers::agentKinds_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("wrapper");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("claudeCode") << AgentKind::claudeCode << "Claude Code"
                                << "velmora-claude"
                                << "claude"
                                << "claude-";
    QTest::newRow("geminiCLI") << AgentKind::geminiCLI << "Gemini CLI"
                               << "velmora-gemini"
                               << "gemini"
                               << "gemini-";
    QTest::newRow("kimiCode") << AgentKind::kimiCode << "Kimi Code"
                              << "velmora-kimi"
                              << "kimi"
                              << "kimi-";
    QTest::newRow("openCode") << AgentKind::openCode << "OpenCode"
                              << "velmora-opencode"
                              << "opencode" << QString();
    // Full-width parentheses, U+FF08 and U+FF09.
    QTest::newRow("deepSeek") << AgentKind::deepSeek << QString::fromUtf8("DeepSeek Agent\uff08Crush\uff09")
                              << "velmora-deepseek"
                              << "crush"
                              << "deepseek-";
}

void TestLaunchers::agentKinds()
{
    QFETCH(AgentKind, kind);
    QFETCH(QString, title);
    QFETCH(QString, wrapper);
    QFETCH(QString, command);
    QFETCH(QString, prefix);
    QCOMPARE(::title(kind), title);
    QCOMPARE(wrapperName(kind), wrapper);
    QCOMPARE(::command(kind), command);
    QCOMPARE(modelPrefix(kind), prefix);
}

void TestLaunchers::launcherText_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("model");
    QTest::newRow("claudeCode") << AgentKind::claudeCode << "launchers/velmora-claude"
                                << "claude-sonnet-4";
    // Gemini's launcher, whole.
    QTest::newRow("geminiCLI") << AgentKind::geminiCLI << "launchers/velmora-gemini"
                               << "gemini-2.0-flash";
    QTest::newRow("kimiCode") << AgentKind::kimiCode << "launchers/velmora-kimi"
                              << "kimi-k3";
    QTest::newRow("openCode") << AgentKind::openCode << "launchers/velmora-opencode"
                              << "gpt-5.6-sol";
    QTest::newRow("deepSeek") << AgentKind::deepSeek << "launchers/velmora-deepseek"
                              << "deepseek-v4-pro";
}

void TestLaunchers::launcherText()
{
    QFETCH(AgentKind, kind);
    QFETCH(QString, expected);
    QFETCH(QString, model);
    const QByteArray text = Launchers::launcherScript(kind, root, service, model).toUtf8();
    QCOMPARE(text, expectedFile(expected, root, service, model));
    QVERIFY(!text.contains('\r'));
    QVERIFY(!text.contains("\n\n"));
}

void TestLaunchers::launcherTextQuotesEveryValue()
{
    // An apostrophe, "$", backticks and a line feed in the service name and the model.
    const QString strangeService = QStringLiteral("velmora-connect:it's $HOME `id`\nx");
    const QString strangeModel = QStringLiteral("gemini-o'$(x)`y`\nz");
    QCOMPARE(Launchers::launcherScript(AgentKind::geminiCLI, root, strangeService, strangeModel).toUtf8(),
        expectedFile(QStringLiteral("launchers/velmora-gemini-quoted")));
}

void TestLaunchers::preferredModel_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QStringList>("models");
    QTest::addColumn<QString>("expected");
    const QString selected = QStringLiteral("gpt-5.6-sol");

    QTest::newRow("initial list, Gemini CLI") << AgentKind::geminiCLI << initialIds << "gemini-2.0-flash";
    QTest::newRow("initial list, Kimi Code") << AgentKind::kimiCode << initialIds << "kimi-k3";
    QTest::newRow("initial list, DeepSeek") << AgentKind::deepSeek << initialIds << "deepseek-v4-pro";
    QTest::newRow("initial list, Claude Code: no claude- model")
        << AgentKind::claudeCode << initialIds << selected;
    QTest::newRow("initial list, OpenCode: never looked up") << AgentKind::openCode << initialIds << selected;
    QTest::newRow("OpenCode ignores a matching list")
        << AgentKind::openCode << QStringList { QStringLiteral("opencode-x"), QStringLiteral("claude-x") }
        << selected;
    QTest::newRow("upper-case prefix keeps its letters")
        << AgentKind::claudeCode << QStringList { QStringLiteral("gpt-5.5"), QStringLiteral("Claude-Opus-4") }
        << "Claude-Opus-4";
    QTest::newRow("all capitals") << AgentKind::geminiCLI << QStringList { QStringLiteral("GEMINI-2.5-PRO") }
                                  << "GEMINI-2.5-PRO";
    QTest::newRow("first of several matches")
        << AgentKind::kimiCode
        << QStringList { QStringLiteral("gpt-5.5"), QStringLiteral("kimi-k2"), QStringLiteral("KIMI-k3"),
               QStringLiteral("kimi-k1") }
        << "kimi-k2";
    QTest::newRow("list order, not sort order")
        << AgentKind::deepSeek
        << QStringList { QStringLiteral("deepseek-v4-pro"), QStringLiteral("deepseek-a") }
        << "deepseek-v4-pro";
    QTest::newRow("the prefix must begin the id") << AgentKind::claudeCode
                                                  << QStringList { QStringLiteral("my-claude-model"),
                                                         QStringLiteral("claude"), QStringLiteral("claudeX") }
                                                  << selected;
    QTest::newRow("empty list") << AgentKind::geminiCLI << QStringList {} << selected;
}

void TestLaunchers::preferredModel()
{
    QFETCH(AgentKind, kind);
    QFETCH(QStringList, models);
    QFETCH(QString, expected);
    QCOMPARE(Launchers::preferredModel(kind, modelList(models), QStringLiteral("gpt-5.6-sol")), expected);
}

QTEST_GUILESS_MAIN(TestLaunchers)
#include "tst_launchers.moc"
