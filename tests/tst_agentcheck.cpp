#include "agentfixtures.h"
#include "agents/agentcheck.h"
#include "agents/codexconfiguration.h"
#include "agents/launcherconfiguration.h"
#include "agents/roottext.h"

using namespace AgentFixtures;
using namespace std::chrono_literals;
using Fault = AgentCheck::Fault;

Q_DECLARE_METATYPE(AgentCheck::Fault)

using Files = QMap<QString, QByteArray>; // under the home, by relative path

namespace {

const QUrl router(QStringLiteral("http://127.0.0.1:9/"));
const QString service = QStringLiteral("velmora-connect:127.0.0.1-9:demo:12");
const QString model = QStringLiteral("claude-sonnet-5");
const QString offPath = QStringLiteral("export PATH=\"$HOME/.local/bin:$PATH\"");

// A fake agent: prints `output` and exits with `status`.
QByteArray fakeAgent(const QByteArray &output, int status = 0)
{
    return "#!/bin/sh\nprintf '%s\\n' '" + output + "'\nexit " + QByteArray::number(status) + '\n';
}

} // namespace

// The check's steps on this machine, each fault once, against a home whose login shell (a real
// /bin/sh, as a login and interactive shell) reads ~/.profile.
class TestAgentCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void inspect_data();
    void inspect();
    void readBack_data();
    void readBack();
    void ownSession();

private:
    AgentCheck::Machine machine(const QString &home) const
    {
        return { UserFolders::from(home, {}), checkEnvironment(home), QStringLiteral("/bin/sh"), 5s, {} };
    }
    // Connects `kind` in `home` with the app's own writers; ~/.profile puts `path` first.
    void connect(const QString &home, AgentKind kind, const QString &path) const
    {
        writeFile(home + QStringLiteral("/.profile"), "PATH=\"" + path.toUtf8() + ":/usr/bin:/bin\"\n");
        if (kind == AgentKind::codex)
            CodexConfiguration(UserFolders::from(home, {}), home)
                .write(router, model, u"high"_qs, u"sk-codex"_qs);
        else
            LauncherConfiguration(UserFolders::from(home, {}), QDateTime::currentDateTimeUtc())
                .write(kind, router, service, model);
    }
};

void TestAgentCheck::inspect_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QString>("path"); // of the login shell, before the system's folders
    QTest::addColumn<Files>("files"); // under the home, after connecting
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("subject"); // "~" stands for the home
    QTest::addColumn<QString>("detail");

    const QString both = QStringLiteral("$HOME/bin:$HOME/.local/bin");
    const QByteArray profile = "PATH=\"$HOME/bin:$HOME/.local/bin:/usr/bin:/bin\"\n";
    const Files claude { { u"bin/claude"_qs, fakeAgent("2.1.0 (Claude Code)") } };
    const auto with = [&](Files files, const QString &name, const QByteArray &bytes) {
        files.insert(name, bytes);
        return files;
    };
    QTest::addRow("works") << AgentKind::claudeCode << both << claude << Fault::none << QString()
                           << QString();
    QTest::addRow("command missing") << AgentKind::claudeCode << both << Files() << Fault::commandMissing
                                     << u"claude"_qs << QString();
    QTest::addRow("version fails") << AgentKind::claudeCode << both
                                   << Files { { u"bin/claude"_qs, fakeAgent("", 3) } } << Fault::versionFailed
                                   << u"~/bin/claude"_qs << QString();
    QTest::addRow("version too slow: no fault")
        << AgentKind::claudeCode << both << Files { { u"bin/claude"_qs, "#!/bin/sh\nexec sleep 30\n" } }
        << Fault::none << QString() << QString();
    QTest::addRow("launcher folder off PATH")
        << AgentKind::claudeCode << u"$HOME/bin"_qs << claude << Fault::launcherOffPath << u"~/.local/bin"_qs
        << u"~/.profile"_qs;
    QTest::addRow("another launcher first")
        << AgentKind::claudeCode << both << with(claude, u"bin/velmora-claude"_qs, fakeAgent("x"))
        << Fault::launcherShadowed << u"velmora-claude"_qs << u"~/bin/velmora-claude"_qs;
    QTest::addRow("launcher edited by hand")
        << AgentKind::claudeCode << both
        << with(claude, u".local/bin/velmora-claude"_qs, "#!/bin/sh\nexec claude\n") << Fault::fileChanged
        << u"~/.local/bin/velmora-claude"_qs << QString();
    QTest::addRow("Gemini CLI's settings in the app's folder edited")
        << AgentKind::geminiCLI << both
        << Files { { u"bin/gemini"_qs, fakeAgent("0.61.0") },
               { u".config/velmora-connect/gemini/.gemini/settings.json"_qs, "{}\n" } }
        << Fault::fileChanged << u"~/.config/velmora-connect/gemini/.gemini/settings.json"_qs << QString();
    QTest::addRow("provider entry edited")
        << AgentKind::openCode << both
        << Files { { u"bin/opencode"_qs, fakeAgent("1.18.33") },
               { u".config/opencode/opencode.json"_qs,
                   R"({"provider":{"velmora":{"options":{"baseURL":"https://elsewhere.example/v1"}}}})" } }
        << Fault::fileChanged << u"~/.config/opencode/opencode.json"_qs << QString();
    QTest::addRow("XDG_CONFIG_HOME of the shell")
        << AgentKind::openCode << both
        << Files { { u"bin/opencode"_qs, fakeAgent("1.18.33") },
               { u".profile"_qs, profile + "export XDG_CONFIG_HOME=\"$HOME/other\"\n" } }
        << Fault::overridden << u"XDG_CONFIG_HOME"_qs << u"~/other"_qs;
    QTest::addRow("Claude Code switched to Bedrock")
        << AgentKind::claudeCode << both
        << with(claude, u".claude/settings.json"_qs, R"({"env":{"CLAUDE_CODE_USE_BEDROCK":"1"}})")
        << Fault::overridden << u"~/.claude/settings.json"_qs << u"env.CLAUDE_CODE_USE_BEDROCK"_qs;
    const Files codex { { u"bin/codex"_qs, fakeAgent("codex-cli 0.171.0") } };
    QTest::addRow("Codex works") << AgentKind::codex << both << codex << Fault::none << QString()
                                 << QString();
    QTest::addRow("Codex signed in again")
        << AgentKind::codex << both
        << with(codex, u".codex/auth.json"_qs, R"({"auth_mode":"chatgpt","tokens":{"access_token":"t"}})")
        << Fault::overridden << u"~/.codex/auth.json"_qs << u"auth_mode: chatgpt"_qs;
    QTest::addRow("Codex's tokens back")
        << AgentKind::codex << both
        << with(codex, u".codex/auth.json"_qs, R"({"auth_mode":"apikey","OPENAI_API_KEY":"k","tokens":{}})")
        << Fault::overridden << u"~/.codex/auth.json"_qs << u"tokens"_qs;
    QTest::addRow("CODEX_HOME of the shell")
        << AgentKind::codex << both
        << with(codex, u".profile"_qs, profile + "export CODEX_HOME=\"$HOME/codex\"\n") << Fault::overridden
        << u"CODEX_HOME"_qs << u"~/codex"_qs;
    QTest::addRow("config.toml edited")
        << AgentKind::codex << both << with(codex, u".codex/config.toml"_qs, "model = \"gpt-4\"\n")
        << Fault::fileChanged << u"~/.codex/config.toml"_qs << QString();
}

void TestAgentCheck::inspect()
{
    QFETCH(AgentKind, kind);
    QFETCH(QString, path);
    QFETCH(Files, files);
    QFETCH(Fault, fault);
    QFETCH(QString, subject);
    QFETCH(QString, detail);
    QTemporaryDir dir;
    const QString home = dir.path();
    connect(home, kind, path);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QDir(home).mkpath(QFileInfo(home + u'/' + it.key()).path());
        QVERIFY(writeFile(home + u'/' + it.key(), it.value(), it.key().contains(u"bin/") ? 0755 : 0600));
    }

    ToolRunner tools(30s);
    FileWorker worker;
    const AgentCheck::Result result
        = awaitTask(AgentCheck::inspect(tools, worker, kind, machine(home), { router, service, model }));
    const auto shown = [&](QString text) { return text.replace(home, u"~"_qs); };
    QCOMPARE(result.fault, fault);
    QCOMPARE(shown(result.subject), subject);
    QCOMPARE(shown(result.detail), detail);
    if (fault == Fault::launcherOffPath)
        QCOMPARE(result.line, offPath);
    if (fault != Fault::none)
        return;
    // What the probe is made with: the agent's own files' values.
    QCOMPARE(result.version,
        kind == AgentKind::codex                ? u"0.171.0"_qs
            : QTest::currentDataTag()[0] == 'v' ? QString()
                                                : u"2.1.0"_qs);
    QCOMPARE(
        result.baseURL, kind == AgentKind::codex ? u"http://127.0.0.1:9/v1"_qs : u"http://127.0.0.1:9"_qs);
    QCOMPARE(result.model, model);
    QCOMPARE(result.key, kind == AgentKind::codex ? u"sk-codex"_qs : QString());
}

void TestAgentCheck::readBack_data()
{
    QTest::addColumn<AgentKind>("kind");
    QTest::addColumn<QByteArray>("report"); // what the fake agent prints
    QTest::addColumn<Fault>("fault");
    const QByteArray resolved
        = R"({"model":"velmora/claude-sonnet-5","provider":{"velmora":{"options":{"baseURL":"http://127.0.0.1:9/v1"}}}})";
    QTest::addRow("OpenCode resolves the relay") << AgentKind::openCode << resolved << Fault::none;
    QTest::addRow("OpenCode resolves another model")
        << AgentKind::openCode << QByteArray(resolved).replace("velmora/", "anthropic/")
        << Fault::notReadBack;
    QTest::addRow("Codex names its key")
        << AgentKind::codex << QByteArray("API key configured - sk-***") << Fault::none;
    QTest::addRow("Codex is signed out")
        << AgentKind::codex << QByteArray("Not logged in") << Fault::notReadBack;
}

void TestAgentCheck::readBack()
{
    QFETCH(AgentKind, kind);
    QFETCH(QByteArray, report);
    QFETCH(Fault, fault);
    QTemporaryDir dir;
    const QString home = dir.path();
    connect(home, kind, u"$HOME/bin:$HOME/.local/bin"_qs);
    QDir(home).mkpath(u"bin"_qs);
    // Answers its report, and only through the launcher where the launcher is the way.
    writeFile(home + QStringLiteral("/bin/") + command(kind),
        "#!/bin/sh\n[ \"$1 $2\" = \"" + descriptor(kind).readBack.value_or(ReadBack {}).arguments.toUtf8()
            + "\" ] || exec echo 1.0\nprintf '%s\\n' '" + report + "'\n",
        0755);
    QVERIFY(storeKey(service, u"sk-launcher"_qs));

    ToolRunner tools(30s);
    FileWorker worker;
    const AgentCheck::Machine on = machine(home);
    AgentCheck::Result result
        = awaitTask(AgentCheck::inspect(tools, worker, kind, on, { router, service, model }));
    QCOMPARE(result.fault, Fault::none);
    QCOMPARE(awaitTask(AgentCheck::readBack(tools, worker, kind, on, result)), fault);
}

// The programs of the check run in a session of their own (no terminal to take, so an app
// started in the background is never stopped), in the home folder, and past the limit they end
// with whatever their start-up files started.
void TestAgentCheck::ownSession()
{
    QTemporaryDir dir;
    const QString home = dir.path();
    writeFile(home + u"/.profile"_qs,
        "read -r pid comm state ppid group session rest < /proc/$$/stat\n"
        "echo \"$$ $group $session $PWD\" > \"$HOME/session\"\n"
        "sleep 30 & echo $! > \"$HOME/child\"\nwait\n");
    ToolRunner tools(30s);
    FileWorker worker;
    AgentCheck::Machine on = machine(home);
    on.limit = 1s;
    const AgentCheck::Result result = awaitTask(
        AgentCheck::inspect(tools, worker, AgentKind::claudeCode, on, { router, service, model }));
    QCOMPARE(result.fault, Fault::shellUnreadable);
    const QList<QByteArray> shell = readFile(home + u"/session"_qs).trimmed().split(' ');
    QCOMPARE(shell.size(), 4);
    QCOMPARE(shell.at(1), shell.at(0));
    QCOMPARE(shell.at(2), shell.at(0));
    QCOMPARE(QString::fromUtf8(shell.at(3)), home);
    // Gone, or a zombie that nobody reaps in a container without init.
    const QString child
        = u"/proc/"_qs + QString::fromLatin1(readFile(home + u"/child"_qs).trimmed()) + u"/stat"_qs;
    QTRY_VERIFY(!QFileInfo::exists(child) || readFile(child).contains(") Z "));
}

QTEST_GUILESS_MAIN(TestAgentCheck)
#include "tst_agentcheck.moc"
