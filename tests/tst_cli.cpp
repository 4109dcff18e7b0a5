// The command line as a user runs it: the built `velmora`, its standard input, environment and
// exit status, against the local relay, in a home of its own.

#include "files.h"
#include "relayserver.h"
#include "state/statetexts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray password = "velmora-demo\n";
const QString email = QStringLiteral("demo@velmora.example");

struct Launched
{
    int status = -1;
    QByteArray out;
};

struct Run
{
    int status = -1;
    QString err;
    QJsonObject json; // standard output, parsed: empty when it is no JSON object
    QByteArray out;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void usage_data();
    void usage();
    void roundTrip();
    void headless();

private:
    // `velmora arguments` with `input` on standard input, in the test's home.
    Run velmora(const QStringList &arguments, const QByteArray &input = {}, bool desktop = true);
    Run signIn(const QStringList &extra = {});
    // Starts ~/.local/bin/velmora-claude as a user's shell does; the fake agent prints its key.
    Launched launch(bool desktop = true);
    // Writes a fake Claude Code into ~/bin, which ~/.profile puts on the login shell's PATH.
    void installClaude();

    RelayServer m_relay;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_home;
};

void TestCli::init()
{
    if (m_relay.baseUrl().port() <= 0)
        QVERIFY(m_relay.listen() != 0);
    m_dir = std::make_unique<QTemporaryDir>();
    m_home = m_dir->path();
}

Run TestCli::velmora(const QStringList &arguments, const QByteArray &input, bool desktop)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "CODEX_HOME", "DISPLAY", "WAYLAND_DISPLAY" })
        environment.remove(QLatin1String(name));
    if (!desktop)
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.insert(QStringLiteral("HOME"), m_home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), m_home + QStringLiteral("/.local/state"));
    environment.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/sh"));
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VELMORA_BIN_DIR "/velmora"), arguments);
    process.write(input);
    process.closeWriteChannel();
    // The relay answers in this process: its event loop runs while the command does.
    QEventLoop loop;
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    Run run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.err = QString::fromUtf8(process.readAllStandardError());
    run.out = process.readAllStandardOutput();
    run.json = QJsonDocument::fromJson(run.out).object();
    return run;
}

Run TestCli::signIn(const QStringList &extra)
{
    return velmora(
        QStringList { QStringLiteral("login"), QStringLiteral("--json"), QStringLiteral("--email"), email,
            QStringLiteral("--password-stdin"), QStringLiteral("--api-root"), m_relay.baseUrl().toString() }
            + extra,
        password, extra.isEmpty());
}

Launched TestCli::launch(bool desktop)
{
    QProcess launcher;
    QProcessEnvironment environment;
    for (const char *name : { "USER", "DBUS_SESSION_BUS_ADDRESS" }) {
        if (desktop || qstrcmp(name, "USER") == 0)
            environment.insert(QLatin1String(name), qEnvironmentVariable(name));
    }
    environment.insert(u"PATH"_qs, m_home + u"/bin:/usr/bin:/bin"_qs);
    launcher.setProcessEnvironment(environment);
    launcher.start(m_home + u"/.local/bin/velmora-claude"_qs);
    launcher.waitForFinished(30000);
    return { launcher.exitStatus() == QProcess::NormalExit ? launcher.exitCode() : -1,
        launcher.readAllStandardOutput() };
}

void TestCli::installClaude()
{
    QVERIFY(writeFile(m_home + QStringLiteral("/bin/claude"),
        "#!/bin/sh\n[ \"$1\" = --version ] && echo '2.1.0 (Claude Code)' && exit 0\n"
        "printf '%s' \"$ANTHROPIC_AUTH_TOKEN\"\n",
        0755));
    QVERIFY(writeFile(
        m_home + QStringLiteral("/.profile"), "PATH=\"$HOME/bin:$HOME/.local/bin:/usr/bin:/bin\"\n"));
}

// Each refusal before any operation: its status and its words, nothing on standard output but JSON.
void TestCli::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::newRow("unknown command") << QStringList { u"frobnicate"_qs } << QByteArray() << 2
                                     << u"frobnicate"_qs;
    QTest::newRow("unknown option") << QStringList { u"groups"_qs, u"--colour"_qs } << QByteArray() << 2
                                    << u"colour"_qs;
    QTest::newRow("no agent") << QStringList { u"connect"_qs } << QByteArray() << 2 << u"请指定智能体"_qs;
    QTest::newRow("unknown agent") << QStringList { u"connect"_qs, u"vim"_qs } << QByteArray() << 2
                                   << u"vim"_qs;
    QTest::newRow("effort") << QStringList { u"connect"_qs, u"all"_qs, u"--effort"_qs, u"max"_qs }
                            << QByteArray() << 2 << u"推理强度"_qs;
    QTest::newRow("key store") << QStringList { u"status"_qs, u"--key-store=disk"_qs } << QByteArray() << 2
                               << u"--key-store"_qs;
    QTest::newRow("password not on stdin")
        << QStringList { u"login"_qs, u"--email"_qs, email } << password << 2 << u"--password-stdin"_qs;
    QTest::newRow("wrong password") << QStringList { u"login"_qs, u"--email"_qs, email,
        u"--password-stdin"_qs } << QByteArray("nope\n")
                                    << 1 << u"登录失败"_qs;
    QTest::newRow("signed out") << QStringList { u"groups"_qs } << QByteArray() << 4 << u"velmora login"_qs;
    QTest::newRow("clear unasked") << QStringList { u"clear"_qs } << QByteArray("y\n") << 2 << u"--yes"_qs;
}

void TestCli::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, said);
    if (arguments.contains(u"login"_qs))
        arguments << u"--api-root"_qs << m_relay.baseUrl().toString();
    const Run run = velmora(arguments + QStringList { u"--json"_qs }, input);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(said), qPrintable(run.err));
    QCOMPARE(run.json.value(u"exitStatus"_qs).toInt(-1), status);
    QCOMPARE(run.json.value(u"ok"_qs).toBool(true), false);
    QVERIFY(!QFileInfo::exists(m_home + u"/.local/bin"_qs));
}

// Signed in from standard input, every command's JSON, connect then check then clear.
void TestCli::roundTrip()
{
    installClaude();
    const Run login = signIn();
    QCOMPARE(login.status, 0);
    QVERIFY(!login.err.contains(u"velmora-demo"_qs));
    const QJsonArray groups = login.json.value(u"groups"_qs).toArray();
    QVERIFY(!groups.isEmpty());
    const QString group = QString::number(groups.last().toObject().value(u"id"_qs).toInteger());

    const Run listed = velmora({ u"groups"_qs, u"--json"_qs });
    QCOMPARE(listed.status, 0);
    QCOMPARE(listed.json.value(u"groups"_qs).toArray(), groups);
    QVERIFY(listed.json.value(u"selectedGroup"_qs).isNull());
    const Run models = velmora({ u"models"_qs, u"--group"_qs, group, u"--json"_qs });
    QCOMPARE(models.status, 0);
    const QJsonArray modelList = models.json.value(u"models"_qs).toArray();
    QVERIFY(!modelList.isEmpty());
    QCOMPARE(models.json.value(u"group"_qs).toInteger(), group.toLongLong());
    const QString model = modelList.first().toObject().value(u"id"_qs).toString();

    const Run connected = velmora({ u"connect"_qs, u"claude"_qs, u"codex"_qs, u"--model"_qs, model,
        u"--effort"_qs, u"low"_qs, u"--json"_qs });
    QCOMPARE(connected.status, 0);
    QCOMPARE(connected.json.value(u"agents"_qs).toArray().size(), 2);
    for (const QJsonValue agent : connected.json.value(u"agents"_qs).toArray())
        QVERIFY2(agent.toObject().value(u"connected"_qs).toBool(), qPrintable(connected.err));
    const Run status = velmora({ u"status"_qs, u"--json"_qs });
    QCOMPARE(status.status, 0);
    QCOMPARE(status.json.value(u"signedIn"_qs).toBool(), true);
    QCOMPARE(status.json.value(u"email"_qs).toString(), email);
    QCOMPARE(status.json.value(u"group"_qs).toObject().value(u"id"_qs).toInteger(), group.toLongLong());
    QCOMPARE(status.json.value(u"model"_qs).toString(), model);
    QCOMPARE(status.json.value(u"effort"_qs).toString(), u"low"_qs);
    QStringList connectedAgents;
    for (const QJsonValue agent : status.json.value(u"agents"_qs).toArray()) {
        if (agent.toObject().value(u"connected"_qs).toBool())
            connectedAgents << agent.toObject().value(u"agent"_qs).toString();
    }
    QCOMPARE(connectedAgents, (QStringList { u"codex"_qs, u"claude"_qs }));

    // A later run checks what an earlier one connected; an agent not installed fails it.
    const Run checked = velmora({ u"check"_qs, u"claude"_qs, u"--json"_qs });
    QVERIFY2(checked.status == 0, qPrintable(checked.err));
    QCOMPARE(
        checked.json.value(u"agents"_qs).toArray().first().toObject().value(u"passed"_qs).toBool(), true);
    QCOMPARE(velmora({ u"check"_qs, u"claude"_qs, u"gemini"_qs }).status, 1);

    const Run cleared = velmora({ u"clear"_qs, u"--yes"_qs, u"--json"_qs });
    QCOMPARE(cleared.status, 0);
    QCOMPARE(cleared.json.value(u"cleared"_qs).toBool(), true);
    QCOMPARE(cleared.json.value(u"message"_qs).toString(), StateTexts::cleared);
    const Launched after = launch();
    QVERIFY(after.status != 0);
    QCOMPARE(after.out, QByteArray()); // the key is gone from the keyring: the agent never starts
    QCOMPARE(velmora({ u"status"_qs }).status, 4);
    QCOMPARE(velmora({ u"groups"_qs }).status, 4);
}

// No D-Bus session and no display: without a file key store nothing is written; with it the
// launcher starts the agent with the key from its 0600 file, and clearing removes that file.
void TestCli::headless()
{
    installClaude();
    const QString app = m_home + u"/.config/velmora-connect"_qs;
    const Run refused = signIn({ u"--json"_qs });
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains(u"--key-store=file"_qs), qPrintable(refused.err));
    QVERIFY(!QFileInfo::exists(app));

    QCOMPARE(signIn({ u"--key-store=file"_qs }).status, 0);
    const QString group = QString::number(velmora({ u"groups"_qs, u"--json"_qs }, {}, false)
                                              .json.value(u"groups"_qs)
                                              .toArray()
                                              .first()[u"id"_qs]
                                              .toInteger());
    const Run connected = velmora({ u"connect"_qs, u"claude"_qs, u"--group"_qs, group }, {}, false);
    QVERIFY2(connected.status == 0, qPrintable(connected.err));
    const QStringList keys = QDir(app + u"/keys"_qs).entryList(QDir::Files);
    QCOMPARE(keys.size(), 2); // the session and the group's key
    for (const QString &key : keys)
        QCOMPARE(fileMode(app + u"/keys/"_qs + key), 0600);

    const Launched launched = launch(false);
    QCOMPARE(launched.status, 0);
    const QByteArray key = launched.out;
    QVERIFY(key.startsWith("sk-"));
    QVERIFY(!readFile(m_home + u"/.local/bin/velmora-claude"_qs).contains(key));
    QCOMPARE(velmora({ u"check"_qs, u"claude"_qs }, {}, false).status, 0);

    // The key of the group connected goes; one of another account stays for its launchers.
    const QString other = u"velmora-connect:elsewhere-443:other:7"_qs;
    QVERIFY(writeFile(app + u"/keys/"_qs + other, "sk-other", 0600));
    QCOMPARE(velmora({ u"clear"_qs, u"--yes"_qs }, {}, false).status, 0);
    QCOMPARE(QDir(app + u"/keys"_qs).entryList(QDir::Files), QStringList { other });
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
