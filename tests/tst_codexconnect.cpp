#include "agents/codexfiles.h"
#include "relayserver.h"
#include "state/connectstate.h"
#include "testplatform.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaProperty>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <toml++/toml.h>

namespace {

const QString configuring = QStringLiteral("正在创建专用 Codex 凭据并写入本机配置…");
const QString configured = QStringLiteral("官方 Codex 已配置。请关闭并重新打开 Codex。");
const QString keyMissing
    = QStringLiteral("接入失败：渠道没有返回可复用 Key，请联系管理员检查 /api/v1/desktop/key 的幂等逻辑。");
const QString commandFailed = QStringLiteral("接入失败：本机配置命令失败");
const QString desktopKey = QStringLiteral("/api/v1/desktop/key");
const QString keys = QStringLiteral("/api/v1/keys");
const QString modelsPath = QStringLiteral("/v1/models");
const QString label = QStringLiteral("com.velmora.connect.codex-env");

class TestableState : public ConnectState
{
public:
    using ConnectState::ConnectState;
    using ConnectState::setTokenName;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes, int mode = 0644)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    file.close();
    ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
}

int modeOf(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

QByteArray dataFile(const QString &name)
{
    return readFile(QStringLiteral(VELMORA_TEST_DATA "/codex/") + name);
}

QJsonObject jsonFile(const QString &path)
{
    return QJsonDocument::fromJson(readFile(path)).object();
}

struct Run
{
    int status = -1;
    QByteArray out;
};

Run runTool(const QString &name, const QStringList &arguments)
{
    QProcess process;
    process.start(builtToolPath(name), arguments);
    process.waitForFinished(-1);
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAllStandardOutput() };
}

QStringList entries(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

// The notify signals of the state, in the order they were emitted.
class Recorder : public QObject
{
    Q_OBJECT
public:
    explicit Recorder(QObject *source)
    {
        const QMetaObject *meta = source->metaObject();
        const int slot = metaObject()->indexOfSlot("record()");
        QSet<int> connected;
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (property.hasNotifySignal() && !connected.contains(property.notifySignalIndex())) {
                connected.insert(property.notifySignalIndex());
                QMetaObject::connect(source, property.notifySignalIndex(), this, slot);
            }
        }
    }
    QStringList names;

public Q_SLOTS:
    void record()
    {
        names.append(QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name()));
    }
};

class TestCodexConnect : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void guards_data();
    void guards();
    void pressWhileBusy();
    void connects();
    void storedKey_data();
    void storedKey();
    void fallback_data();
    void fallback();
    void fallbackToRemovedRoute_data();
    void fallbackToRemovedRoute();
    void payload_data();
    void payload();
    void unusableKey_data();
    void unusableKey();
    void tokenName_data();
    void tokenName();
    void models_data();
    void models();
    void files_data();
    void files();
    void filesOverOldFiles();
    void hostileModel();
    void secondRunBackups();
    void launchctlCommands_data();
    void launchctlCommands();
    void homeWithXmlCharacters();
    void malformedAuth_data();
    void malformedAuth();
    void windowClosedMidRequest_data();
    void windowClosedMidRequest();

private:
    bool signIn(const QString &rootSuffix = QString());
    bool press();
    void useRecordingLaunchctl();
    QList<QStringList> launchctlCalls() const;
    QString service() const;
    QString keyInKeychain() const;
    QString home() const { return m_platform->home; }
    QString codex(const QString &name) const { return home() + QStringLiteral("/.codex/") + name; }
    QString script() const { return home() + QStringLiteral("/.local/bin/velmora-connect-codex-env"); }
    QString plist() const
    {
        return home() + QStringLiteral("/Library/LaunchAgents/") + label + QStringLiteral(".plist");
    }
    QString backups() const { return home() + QStringLiteral("/.config/velmora-connect/backups"); }
    void expectBusyClearedLast();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<TestPlatform> m_platform;
    std::unique_ptr<RelayServer> m_relay;
    std::unique_ptr<TestableState> m_state;
    std::unique_ptr<Recorder> m_recorder;
    qint64 m_group = 0;
};

void TestCodexConnect::initTestCase()
{
    // The LaunchAgent's script calls `security` and `launchctl` by name, as it does at login.
    qputenv("PATH", QByteArray(VELMORA_BIN_DIR ":") + qgetenv("PATH"));
}

void TestCodexConnect::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // A launchd domain of this test's own for the `launchctl` stand-in.
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("state"))));
    m_platform = std::make_shared<TestPlatform>();
    m_platform->home = m_dir->filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(m_platform->home));
    m_relay = std::make_unique<RelayServer>();
    QVERIFY(m_relay->listen() != 0);
    m_state = std::make_unique<TestableState>(m_platform);
    m_group = 0;
}

void TestCodexConnect::cleanup()
{
    if (m_group != 0)
        runTool(QStringLiteral("security"),
            { QStringLiteral("delete-generic-password"), QStringLiteral("-a"), m_platform->user,
                QStringLiteral("-s"), service() });
    m_recorder.reset();
    m_state.reset();
    m_relay.reset();
    m_platform.reset();
    m_dir.reset();
}

bool TestCodexConnect::signIn(const QString &rootSuffix)
{
    m_state->setRouterURL(m_relay->baseUrl().toString() + rootSuffix);
    m_state->setUsername(m_relay->account().email);
    m_state->setPassword(m_relay->account().password);
    m_state->login();
    if (!QTest::qWaitFor([this] { return !m_state->busy(); }, 60000) || !m_state->authenticated()
        || m_state->groups().isEmpty())
        return false;
    m_group = m_state->groups().first().id;
    m_state->setSelectedGroupID(m_group);
    // A key left by an earlier run of this test on the same port would be reused.
    runTool(QStringLiteral("security"),
        { QStringLiteral("delete-generic-password"), QStringLiteral("-a"), m_platform->user,
            QStringLiteral("-s"), service() });
    m_relay->clearRequests();
    m_recorder = std::make_unique<Recorder>(m_state.get());
    return true;
}

// Presses the Codex button and waits for the operation to end.
bool TestCodexConnect::press()
{
    m_state->configureCodexFromAccount();
    return QTest::qWaitFor([this] { return !m_state->busy(); }, 60000);
}

void TestCodexConnect::useRecordingLaunchctl()
{
    const QString tool = m_dir->filePath(QStringLiteral("launchctl-recorder"));
    writeFile(tool,
        QStringLiteral("#!/bin/sh\n"
                       "printf '%s\\037' \"$@\" >> \"%1\"\n"
                       // The key comes on standard input, out of the process list.
                       "if [ \"$1:$#\" = setenv:2 ]; then printf 'stdin:%s\\037' \"$(cat)\" >> \"%1\"; fi\n"
                       "printf '\\n' >> \"%1\"\n"
                       "if [ -e \"%2/fail-$1\" ]; then exit 1; fi\n")
            .arg(m_dir->filePath(QStringLiteral("launchctl.log")), m_dir->path())
            .toUtf8(),
        0700);
    m_platform->launchctl = tool;
}

QList<QStringList> TestCodexConnect::launchctlCalls() const
{
    QList<QStringList> calls;
    const QByteArray log = readFile(m_dir->filePath(QStringLiteral("launchctl.log")));
    for (const QByteArray &line : log.split('\n')) {
        if (line.isEmpty())
            continue;
        QStringList arguments = QString::fromUtf8(line).split(QChar(0x1f));
        arguments.removeLast(); // after the last separator
        calls.append(arguments);
    }
    return calls;
}

QString TestCodexConnect::service() const
{
    // Host and port of the relay, the demo account's id 42 and the group.
    return QStringLiteral("velmora-connect:127.0.0.1-%1:42:%2").arg(m_relay->baseUrl().port()).arg(m_group);
}

QString TestCodexConnect::keyInKeychain() const
{
    const Run found = runTool(QStringLiteral("security"),
        { QStringLiteral("find-generic-password"), QStringLiteral("-a"), m_platform->user,
            QStringLiteral("-s"), service(), QStringLiteral("-w") });
    return found.status == 0 ? QString::fromUtf8(found.out).trimmed() : QString();
}

void TestCodexConnect::expectBusyClearedLast()
{
    QVERIFY(!m_state->busy());
    QVERIFY(m_recorder);
    QVERIFY(!m_recorder->names.isEmpty());
    QCOMPARE(m_recorder->names.last(), QStringLiteral("busyChanged"));
}

void TestCodexConnect::guards_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("activity");

    QTest::newRow("signed out") << QStringLiteral("signed out") << QStringLiteral("请先登录并同步账户。");
    QTest::newRow("API root no longer usable")
        << QStringLiteral("bad root") << QStringLiteral("请先登录并同步账户。");
    QTest::newRow("no channel group")
        << QStringLiteral("no group") << QStringLiteral("请先在上方手动选择渠道接口。");
}

// A refused press writes its sentence and nothing else: busy is never touched.
void TestCodexConnect::guards()
{
    QFETCH(QString, situation);
    QFETCH(QString, activity);
    if (situation == QLatin1String("signed out")) {
        m_recorder = std::make_unique<Recorder>(m_state.get());
    } else {
        QVERIFY(signIn());
        if (situation == QLatin1String("bad root"))
            m_state->setRouterURL(QStringLiteral("ftp://127.0.0.1"));
        else
            m_state->setSelectedGroupID(std::nullopt);
        m_recorder->names.clear();
    }
    m_state->configureCodexFromAccount();
    QCOMPARE(m_state->activity(), activity);
    QCOMPARE(m_recorder->names, QStringList { QStringLiteral("activityChanged") });
    QVERIFY(!m_state->busy());
    QVERIFY(!m_state->codexConnected());
    QVERIFY(m_relay->requests().isEmpty());
    QVERIFY(!QFile::exists(codex(QStringLiteral("config.toml"))));
}

void TestCodexConnect::pressWhileBusy()
{
    QVERIFY(signIn());
    useRecordingLaunchctl();
    m_state->configureCodexFromAccount();
    QVERIFY(m_state->busy());
    QCOMPARE(m_state->activity(), configuring);

    m_recorder->names.clear();
    m_state->configureCodexFromAccount();
    QCOMPARE(m_recorder->names, QStringList { QStringLiteral("activityChanged") });
    QCOMPARE(m_state->activity(), QStringLiteral("当前操作尚未完成，请稍候再试。"));
    QVERIFY(m_state->busy());

    QVERIFY(QTest::qWaitFor([this] { return !m_state->busy(); }, 60000));
    QCOMPARE(m_state->activity(), configured);
    expectBusyClearedLast();
    QCOMPARE(m_relay->requests(desktopKey).size(), 1);
    QCOMPARE(launchctlCalls().size(), 3);
}

void TestCodexConnect::connects()
{
    QVERIFY(signIn());
    useRecordingLaunchctl();
    QVERIFY(press());
    QCOMPARE(m_state->activity(), configured);
    QVERIFY(m_state->codexConnected());
    expectBusyClearedLast();
    const QStringList order = m_recorder->names;
    QCOMPARE(order.first(), QStringLiteral("busyChanged"));
    QCOMPARE(order.at(1), QStringLiteral("activityChanged"));
    QCOMPARE(order.mid(order.size() - 3),
        QStringList({ QStringLiteral("codexConnectedChanged"), QStringLiteral("activityChanged"),
            QStringLiteral("busyChanged") }));

    // The key request carries the sign-in token; the model list carries the new key.
    const QString key = m_relay->issuedKeys().value(m_group);
    QVERIFY(!key.isEmpty());
    const QList<RecordedRequest> issued = m_relay->requests(desktopKey);
    QCOMPARE(issued.size(), 1);
    QCOMPARE(issued.first().method, QByteArray("POST"));
    QCOMPARE(issued.first().headers.value("authorization"),
        QByteArray("Bearer ") + m_relay->account().accessToken.toUtf8());
    QVERIFY(m_relay->requests(keys).isEmpty());
    const QList<RecordedRequest> listed = m_relay->requests(modelsPath);
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed.first().method, QByteArray("GET"));
    QCOMPARE(listed.first().headers.value("authorization"), QByteArray("Bearer ") + key.toUtf8());

    QCOMPARE(keyInKeychain(), key);
    QCOMPARE(jsonFile(codex(QStringLiteral("auth.json"))),
        QJsonObject({ { QStringLiteral("OPENAI_API_KEY"), key } }));
    QVERIFY(!readFile(script()).contains(key.toUtf8()));
    QVERIFY(!readFile(plist()).contains(key.toUtf8()));
}

void TestCodexConnect::storedKey_data()
{
    QTest::addColumn<QString>("secret");
    QTest::addColumn<bool>("reused");

    QTest::newRow("stored key") << QStringLiteral("sk-stored-before") << true;
    QTest::newRow("stored key with a line feed") << QStringLiteral("sk-stored-before\n") << true;
    QTest::newRow("empty secret") << QString() << false;
    QTest::newRow("blank secret") << QStringLiteral("  ") << false;
    QTest::newRow("inner line feed") << QStringLiteral("sk-stored\nbefore") << false;
    QTest::newRow("control character") << QStringLiteral("sk-stored\abefore") << false;
}

// A key stored for the same host and port, account and group is used without asking the relay;
// an empty one counts as absent and the issued key replaces it.
void TestCodexConnect::storedKey()
{
    QFETCH(QString, secret);
    QFETCH(bool, reused);
    QVERIFY(signIn());
    useRecordingLaunchctl();
    QCOMPARE(runTool(QStringLiteral("security"),
                 { QStringLiteral("add-generic-password"), QStringLiteral("-U"), QStringLiteral("-a"),
                     m_platform->user, QStringLiteral("-s"), service(), QStringLiteral("-w"), secret })
                 .status,
        0);

    QVERIFY(press());
    QCOMPARE(m_state->activity(), configured);
    expectBusyClearedLast();
    const QString key = reused ? secret.trimmed() : m_relay->issuedKeys().value(m_group);
    QVERIFY(!key.isEmpty());
    QCOMPARE(m_relay->requests(desktopKey).size(), reused ? 0 : 1);
    QVERIFY(m_relay->requests(keys).isEmpty());
    const QList<RecordedRequest> listed = m_relay->requests(modelsPath);
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed.first().headers.value("authorization"), QByteArray("Bearer ") + key.toUtf8());
    QCOMPARE(m_relay->requests().size(), reused ? 1 : 2);
    QCOMPARE(keyInKeychain(), key);
    QCOMPARE(
        jsonFile(codex(QStringLiteral("auth.json"))).value(QStringLiteral("OPENAI_API_KEY")).toString(), key);
    QCOMPARE(launchctlCalls().first(),
        QStringList(
            { QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY"), QStringLiteral("stdin:") + key }));
}

void TestCodexConnect::fallback_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("fallsBack");
    QTest::addColumn<QString>("activity");

    QTest::newRow("404 with an empty object") << 404 << QByteArray("{}") << true << configured;
    QTest::newRow("404 with HTML") << 404 << QByteArray("<html><body>Not Found</body></html>") << true
                                   << configured;
    QTest::newRow("404 with an empty body") << 404 << QByteArray() << true << configured;
    QTest::newRow("405 with an empty body") << 405 << QByteArray() << true << configured;
    QTest::newRow("404 whose message holds 404")
        << 404 << QByteArray(R"({"message":"route 404"})") << true << configured;
    QTest::newRow("404 whose message lacks it") << 404 << QByteArray(R"({"message":"no such route"})")
                                                << false << QStringLiteral("接入失败：no such route");
    QTest::newRow("500 without message")
        << 500 << QByteArray("{}") << false << QStringLiteral("接入失败：接口返回 500");
    QTest::newRow("401 with a message") << 401 << QByteArray(R"({"message":"登录已过期"})") << false
                                        << QStringLiteral("接入失败：登录已过期");
    QTest::newRow("403 whose message holds 405")
        << 403 << QByteArray(R"({"message":"group 405 closed"})") << true << configured;
}

// Only a route or method the relay does not offer sends the same request to "/api/v1/keys".
void TestCodexConnect::fallback()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, fallsBack);
    QFETCH(QString, activity);
    QVERIFY(signIn());
    useRecordingLaunchctl();
    RelayReply reply;
    reply.status = status;
    reply.body = body;
    m_relay->script("POST", desktopKey, reply);

    QVERIFY(press());
    QCOMPARE(m_state->activity(), activity);
    QCOMPARE(m_state->codexConnected(), fallsBack);
    expectBusyClearedLast();
    const QList<RecordedRequest> first = m_relay->requests(desktopKey);
    const QList<RecordedRequest> second = m_relay->requests(keys);
    QCOMPARE(first.size(), 1);
    QCOMPARE(second.size(), fallsBack ? 1 : 0);
    if (fallsBack) {
        QCOMPARE(second.first().method, QByteArray("POST"));
        QCOMPARE(second.first().body, first.first().body);
        QCOMPARE(second.first().headers.value("authorization"), first.first().headers.value("authorization"));
        const QString key = m_relay->issuedKeys().value(m_group);
        QCOMPARE(keyInKeychain(), key);
        QCOMPARE(
            jsonFile(codex(QStringLiteral("auth.json"))).value(QStringLiteral("OPENAI_API_KEY")).toString(),
            key);
    } else {
        QVERIFY(m_relay->requests(modelsPath).isEmpty());
        QVERIFY(keyInKeychain().isEmpty());
        QVERIFY(!QFile::exists(codex(QStringLiteral("config.toml"))));
    }
}

void TestCodexConnect::fallbackToRemovedRoute_data()
{
    QTest::addColumn<bool>("methodOnly");
    QTest::addColumn<int>("keysStatus");
    QTest::addColumn<QByteArray>("keysBody");
    QTest::addColumn<QString>("activity");

    QTest::newRow("route missing") << false << 0 << QByteArray() << configured;
    QTest::newRow("method missing") << true << 0 << QByteArray() << configured;
    QTest::newRow("fallback refused")
        << false << 403 << QByteArray(R"({"message":"额度不足"})") << QStringLiteral("接入失败：额度不足");
    QTest::newRow("fallback missing too")
        << false << 404 << QByteArray("{}") << QStringLiteral("接入失败：接口返回 404");
    QTest::newRow("fallback without key") << false << 200 << QByteArray(R"({"data":{"id":9}})") << keyMissing;
}

void TestCodexConnect::fallbackToRemovedRoute()
{
    QFETCH(bool, methodOnly);
    QFETCH(int, keysStatus);
    QFETCH(QByteArray, keysBody);
    QFETCH(QString, activity);
    QVERIFY(signIn());
    useRecordingLaunchctl();
    m_relay->removeRoute("POST", desktopKey, methodOnly);
    if (keysStatus != 0) {
        RelayReply reply;
        reply.status = keysStatus;
        reply.body = keysBody;
        m_relay->script("POST", keys, reply);
    }

    QVERIFY(press());
    QCOMPARE(m_state->activity(), activity);
    expectBusyClearedLast();
    QCOMPARE(m_relay->requests(keys).size(), 1);
    QCOMPARE(m_relay->requests(keys).first().body, m_relay->requests(desktopKey).first().body);
    QCOMPARE(m_state->codexConnected(), activity == configured);
}

void TestCodexConnect::payload_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("key"); // empty: no usable key

    QTest::newRow("key and api_key") << QByteArray(R"({"key":"sk-key","api_key":"sk-api"})")
                                     << QStringLiteral("sk-key");
    QTest::newRow("api_key only") << QByteArray(R"({"api_key":"sk-api"})") << QStringLiteral("sk-api");
    QTest::newRow("number under key")
        << QByteArray(R"({"key":7,"api_key":"sk-api"})") << QStringLiteral("sk-api");
    QTest::newRow("null under key") << QByteArray(R"({"key":null,"api_key":"sk-api"})")
                                    << QStringLiteral("sk-api");
    QTest::newRow("empty key not replaced") << QByteArray(R"({"key":"","api_key":"sk-api"})") << QString();
    QTest::newRow("enveloped") << QByteArray(R"({"code":0,"data":{"key":"sk-data"},"key":"sk-outer"})")
                               << QStringLiteral("sk-data");
    QTest::newRow("enveloped api_key")
        << QByteArray(R"({"data":{"api_key":"sk-data"}})") << QStringLiteral("sk-data");
    QTest::newRow("empty object") << QByteArray("{}") << QString();
    QTest::newRow("numbers only") << QByteArray(R"({"key":1,"api_key":2})") << QString();
    QTest::newRow("array") << QByteArray(R"([{"key":"sk-in-array"}])") << QString();
    QTest::newRow("null data") << QByteArray(R"({"data":null,"key":"sk-outer"})") << QString();
    QTest::newRow("string data") << QByteArray(R"({"data":"sk-bare"})") << QString();
}

void TestCodexConnect::payload()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, key);
    QVERIFY(signIn());
    useRecordingLaunchctl();
    RelayReply reply;
    reply.body = body;
    m_relay->script("POST", desktopKey, reply);

    QVERIFY(press());
    expectBusyClearedLast();
    QVERIFY(m_relay->requests(keys).isEmpty());
    if (key.isEmpty()) {
        QCOMPARE(m_state->activity(), keyMissing);
        QVERIFY(!m_state->codexConnected());
        QVERIFY(keyInKeychain().isEmpty());
        QVERIFY(m_relay->requests(modelsPath).isEmpty());
        QVERIFY(!QFile::exists(codex(QStringLiteral("auth.json"))));
        QVERIFY(launchctlCalls().isEmpty());
    } else {
        QCOMPARE(m_state->activity(), configured);
        QCOMPARE(keyInKeychain(), key);
        QCOMPARE(m_relay->requests(modelsPath).first().headers.value("authorization"),
            QByteArray("Bearer ") + key.toUtf8());
        QCOMPARE(
            jsonFile(codex(QStringLiteral("auth.json"))).value(QStringLiteral("OPENAI_API_KEY")).toString(),
            key);
    }
}

void TestCodexConnect::unusableKey_data()
{
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("inner line feed") << QByteArray(R"({"key":"sk-a\nb"})");
    QTest::newRow("final line feed") << QByteArray(R"({"key":"sk-ab\n"})");
    QTest::newRow("carriage return") << QByteArray(R"({"key":"sk-a\rb"})");
    QTest::newRow("NUL") << QByteArray(R"({"key":"sk-a\u0000b"})");
    QTest::newRow("tab") << QByteArray(R"({"key":"sk-a\tb"})");
    QTest::newRow("escape") << QByteArray(R"({"key":"sk-a\u001b[2Jb"})");
    QTest::newRow("delete") << QByteArray(R"({"key":"sk-a\u007fb"})");
    QTest::newRow("C1 control") << QByteArray(R"({"key":"sk-a\u0085b"})");
    QTest::newRow("line separator") << QByteArray(R"({"key":"sk-a\u2028b"})");
    QTest::newRow("leading space") << QByteArray(R"({"key":" sk-ab"})");
    QTest::newRow("trailing space") << QByteArray(R"({"key":"sk-ab "})");
    QTest::newRow("only blanks") << QByteArray(R"({"key":"   "})");
    QTest::newRow("api_key with a line feed") << QByteArray(R"({"api_key":"sk-a\nb"})");
}

// A key that could not pass unchanged through the keyring, launchctl, the launcher's command
// substitution and a request header is refused before anything is stored or written.
void TestCodexConnect::unusableKey()
{
    QFETCH(QByteArray, body);
    QVERIFY(signIn());
    useRecordingLaunchctl();
    RelayReply reply;
    reply.body = body;
    m_relay->script("POST", desktopKey, reply);

    QVERIFY(press());
    expectBusyClearedLast();
    QCOMPARE(
        m_state->activity(), QStringLiteral("接入失败：渠道返回的 Key 含有空白或控制字符，无法安全保存。"));
    QVERIFY(!m_state->codexConnected());
    QVERIFY(keyInKeychain().isEmpty());
    QVERIFY(m_relay->requests(modelsPath).isEmpty());
    QVERIFY(!QFile::exists(codex(QStringLiteral("auth.json"))));
    QVERIFY(!QFile::exists(codex(QStringLiteral("config.toml"))));
    QVERIFY(launchctlCalls().isEmpty());
}

void TestCodexConnect::tokenName_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("tokenName");
    QTest::addColumn<QString>("sent");

    QTest::newRow("default") << false << QString() << QStringLiteral("Velmora Connect · Codex Desktop");
    QTest::newRow("three spaces") << true << QStringLiteral("   ") << QStringLiteral("Velmora Connect");
    QTest::newRow("empty") << true << QString() << QStringLiteral("Velmora Connect");
    QTest::newRow("blanks and line feeds")
        << true << QStringLiteral(" \n\t\n ") << QStringLiteral("Velmora Connect");
    QTest::newRow("leading spaces kept")
        << true << QStringLiteral("  团队 A ") << QStringLiteral("  团队 A ");
    QTest::newRow("quotes and backslash") << true << QStringLiteral("a\"b\\c") << QStringLiteral("a\"b\\c");
}

void TestCodexConnect::tokenName()
{
    QFETCH(bool, set);
    QFETCH(QString, tokenName);
    QFETCH(QString, sent);
    QVERIFY(signIn());
    useRecordingLaunchctl();
    if (set)
        m_state->setTokenName(tokenName);

    QVERIFY(press());
    QCOMPARE(m_state->activity(), configured);
    const QList<RecordedRequest> issued = m_relay->requests(desktopKey);
    QCOMPARE(issued.size(), 1);
    const QByteArray body = issued.first().body;
    QCOMPARE(issued.first().headers.value("content-type"), QByteArray("application/json"));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(document.object(),
        QJsonObject({ { QStringLiteral("name"), sent }, { QStringLiteral("group_id"), m_group } }));
    QVERIFY(document.object().value(QStringLiteral("group_id")).isDouble());
    QVERIFY(!body.contains("\n") && !body.contains(": ") && !body.contains(", ")); // compact
}

void TestCodexConnect::models_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("ids"); // empty: the list stays
    QTest::addColumn<QString>("selected");

    QTest::newRow("list without the selection")
        << 200 << QByteArray(R"({"object":"list","data":[{"id":"zeta-2","owned_by":"z"},{"id":"alpha-1"}]})")
        << QStringList({ QStringLiteral("alpha-1"), QStringLiteral("zeta-2") }) << QStringLiteral("alpha-1");
    QTest::newRow("list with the selection")
        << 200 << QByteArray(R"({"data":[{"id":"gpt-5.5"},{"id":"gpt-5.6-sol"},{"id":"a-first"}]})")
        << QStringList(
               { QStringLiteral("a-first"), QStringLiteral("gpt-5.5"), QStringLiteral("gpt-5.6-sol") })
        << QStringLiteral("gpt-5.6-sol");
    QTest::newRow("bare array") << 200 << QByteArray(R"([{"id":"only-one"}])")
                                << QStringList({ QStringLiteral("only-one") }) << QStringLiteral("only-one");
    QTest::newRow("empty list") << 200 << QByteArray(R"({"data":[]})") << QStringList()
                                << QStringLiteral("gpt-5.6-sol");
    QTest::newRow("nothing usable") << 200 << QByteArray(R"({"data":[{"id":5},"x"]})") << QStringList()
                                    << QStringLiteral("gpt-5.6-sol");
    QTest::newRow("listing fails") << 500 << QByteArray(R"({"message":"down"})") << QStringList()
                                   << QStringLiteral("gpt-5.6-sol");
    QTest::newRow("listing refused") << 401 << QByteArray() << QStringList() << QStringLiteral("gpt-5.6-sol");
    QTest::newRow("not JSON") << 200 << QByteArray("models!") << QStringList()
                              << QStringLiteral("gpt-5.6-sol");
}

// The key's model list replaces the list when it has models; the selection follows it. A
// failing or empty listing changes nothing and the configuration goes on.
void TestCodexConnect::models()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, ids);
    QFETCH(QString, selected);
    QVERIFY(signIn());
    useRecordingLaunchctl();
    m_state->setSelectedModel(QStringLiteral("gpt-5.6-sol"));
    const QList<RemoteModel> before = m_state->models();
    m_recorder->names.clear();
    RelayReply reply;
    reply.status = status;
    reply.body = body;
    m_relay->script("GET", modelsPath, reply);

    QVERIFY(press());
    QCOMPARE(m_state->activity(), configured);
    QStringList listed;
    for (const RemoteModel &model : m_state->models())
        listed.append(model.id);
    if (ids.isEmpty()) {
        QCOMPARE(m_state->models(), before);
        QVERIFY(!m_recorder->names.contains(QStringLiteral("modelsChanged")));
        QVERIFY(!m_recorder->names.contains(QStringLiteral("selectedModelChanged")));
    } else {
        QCOMPARE(listed, ids);
    }
    QCOMPARE(m_state->selectedModel(), selected);
    const toml::table config = toml::parse_file(codex(QStringLiteral("config.toml")).toStdString());
    QCOMPARE(QString::fromStdString(config["model"].value_or(std::string())), selected);
}

void TestCodexConnect::files_data()
{
    QTest::addColumn<QString>("rootSuffix");
    QTest::addColumn<QString>("basePath");
    QTest::addColumn<QString>("effort");

    QTest::newRow("root") << QString() << QStringLiteral("/v1") << QStringLiteral("high");
    QTest::newRow("trailing slash") << QStringLiteral("/") << QStringLiteral("/v1") << QStringLiteral("high");
    QTest::newRow("root with /v1/") << QStringLiteral("/v1/") << QStringLiteral("/v1")
                                    << QStringLiteral("medium");
    QTest::newRow("root with /v1") << QStringLiteral("/v1") << QStringLiteral("/v1") << QStringLiteral("low");
    QTest::newRow("path") << QStringLiteral("/relay/") << QStringLiteral("/relay/v1")
                          << QStringLiteral("high");
    QTest::newRow("xhigh as chosen") << QString() << QStringLiteral("/v1") << QStringLiteral("xhigh");
}

// First run in a home without ~/.codex: every file byte for byte, every mode, a backup
// directory made and left empty.
void TestCodexConnect::files()
{
    QFETCH(QString, rootSuffix);
    QFETCH(QString, basePath);
    QFETCH(QString, effort);
    QVERIFY(signIn(rootSuffix));
    useRecordingLaunchctl();
    m_platform->uid = 501;
    RelayReply listing;
    listing.body
        = R"({"data":[{"id":"gpt-5.5","owned_by":"openai"},{"id":"gpt-5.6-sol","owned_by":"openai"}]})";
    m_relay->script("GET", modelsPath, listing);
    m_state->setSelectedModel(QStringLiteral("gpt-5.5"));
    m_state->setReasoningEffort(effort);
    QVERIFY(!QFileInfo::exists(home() + QStringLiteral("/.codex")));

    QVERIFY(press());
    QCOMPARE(m_state->activity(), configured);
    const QString key = m_relay->issuedKeys().value(m_group);

    QByteArray config = dataFile(QStringLiteral("config-relay.toml"));
    config.replace("@MODEL@", "gpt-5.5")
        .replace("@EFFORT@", effort.toUtf8())
        .replace("@BASE_URL@", m_relay->baseUrl().toString().toUtf8() + basePath.toUtf8());
    QCOMPARE(readFile(codex(QStringLiteral("config.toml"))), config);
    QCOMPARE(readFile(codex(QStringLiteral("auth.json"))),
        QByteArray("{\n    \"OPENAI_API_KEY\": \"") + key.toUtf8() + QByteArray("\"\n}\n"));
    QCOMPARE(readFile(script()), CodexFiles::codexEnvironmentScript(service()).toUtf8());
    QByteArray list = dataFile(QStringLiteral("com.velmora.connect.codex-env-relay.plist"));
    list.replace("@SCRIPT@", script().toUtf8());
    QCOMPARE(readFile(plist()), list);

    QCOMPARE(modeOf(codex(QStringLiteral("config.toml"))), 0600);
    QCOMPARE(modeOf(codex(QStringLiteral("auth.json"))), 0600);
    QCOMPARE(modeOf(script()), 0700);
    QCOMPARE(modeOf(plist()), 0600);

    const QStringList made = entries(backups());
    QCOMPARE(made.size(), 1);
    QVERIFY(entries(backups() + u'/' + made.first()).isEmpty());

    QCOMPARE(launchctlCalls(),
        QList<QStringList>(
            { { QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY"), QStringLiteral("stdin:") + key },
                { QStringLiteral("bootout"), QStringLiteral("gui/501/") + label },
                { QStringLiteral("bootstrap"), QStringLiteral("gui/501"), plist() } }));
}

// Old files of other modes and contents: replaced (config.toml whole, auth.json merged), every
// mode reset, the old files in the backup directory.
void TestCodexConnect::filesOverOldFiles()
{
    QVERIFY(signIn());
    useRecordingLaunchctl();
    const QByteArray oldConfig = "# mine\nmodel = \"o3\"\n[mcp_servers.x]\ncommand = \"x\"\n";
    const QByteArray oldAuth
        = R"({"OPENAI_API_KEY":"sk-old","tokens":{"id_token":"t","refresh":{"n":[1,2.5,null,true]}},)"
          R"("large":9007199254740993,"last_refresh":"2026-01-01T00:00:00Z"})";
    writeFile(codex(QStringLiteral("config.toml")), oldConfig, 0644);
    writeFile(codex(QStringLiteral("auth.json")), oldAuth, 0666);
    writeFile(script(), "#!/bin/sh\nexit 0\n", 0755);
    writeFile(plist(), "<plist/>", 0644);

    QVERIFY(press());
    QCOMPARE(m_state->activity(), configured);
    const QString key = m_relay->issuedKeys().value(m_group);

    QCOMPARE(modeOf(codex(QStringLiteral("config.toml"))), 0600);
    QCOMPARE(modeOf(codex(QStringLiteral("auth.json"))), 0600);
    QCOMPARE(modeOf(script()), 0700);
    QCOMPARE(modeOf(plist()), 0600);
    QVERIFY(!readFile(codex(QStringLiteral("config.toml"))).contains("mcp_servers"));

    const QByteArray auth = readFile(codex(QStringLiteral("auth.json")));
    QCOMPARE(auth,
        QByteArray("{\n"
                   "    \"OPENAI_API_KEY\": \"")
            + key.toUtf8()
            + QByteArray("\",\n"
                         "    \"large\": 9007199254740993,\n"
                         "    \"last_refresh\": \"2026-01-01T00:00:00Z\",\n"
                         "    \"tokens\": {\n"
                         "        \"id_token\": \"t\",\n"
                         "        \"refresh\": {\n"
                         "            \"n\": [\n"
                         "                1,\n"
                         "                2.5,\n"
                         "                null,\n"
                         "                true\n"
                         "            ]\n"
                         "        }\n"
                         "    }\n"
                         "}\n"));

    const QStringList made = entries(backups());
    QCOMPARE(made.size(), 1);
    const QString backup = backups() + u'/' + made.first();
    QCOMPARE(entries(backup),
        QStringList({ QStringLiteral("auth.json"), QStringLiteral("com.velmora.connect.codex-env.plist"),
            QStringLiteral("config.toml"), QStringLiteral("velmora-connect-codex-env") }));
    QCOMPARE(readFile(backup + QStringLiteral("/config.toml")), oldConfig);
    QCOMPARE(readFile(backup + QStringLiteral("/auth.json")), oldAuth);
    QCOMPARE(
        readFile(backup + QStringLiteral("/velmora-connect-codex-env")), QByteArray("#!/bin/sh\nexit 0\n"));
    QCOMPARE(
        readFile(backup + QStringLiteral("/com.velmora.connect.codex-env.plist")), QByteArray("<plist/>"));
}

// A relay whose model list holds a hostile id: it becomes the selection, and config.toml still
// holds exactly its thirteen keys, with the id as a plain string value.
void TestCodexConnect::hostileModel()
{
    QVERIFY(signIn());
    useRecordingLaunchctl();
    const QString hostile
        = QStringLiteral("x\"\n[mcp_servers.evil]\ncommand = \"/bin/sh\"\nargs = [\"-c\", \"id\"]\n#\\]");
    RelayReply listing;
    listing.body = QJsonDocument(QJsonObject { { QStringLiteral("data"),
                                     QJsonArray { QJsonObject { { QStringLiteral("id"), hostile } } } } })
                       .toJson(QJsonDocument::Compact);
    m_relay->script("GET", modelsPath, listing);

    QVERIFY(press());
    QCOMPARE(m_state->activity(), configured);
    QCOMPARE(m_state->selectedModel(), hostile);

    toml::table config;
    try {
        config = toml::parse_file(codex(QStringLiteral("config.toml")).toStdString());
    } catch (const toml::parse_error &error) {
        QFAIL(error.what());
    }
    const std::string model = hostile.toStdString();
    const std::string base = (m_relay->baseUrl().toString() + QStringLiteral("/v1")).toStdString();
    const toml::table expected {
        { "model_provider", "OpenAI" },
        { "model", model },
        { "review_model", model },
        { "model_reasoning_effort", "high" },
        { "disable_response_storage", true },
        { "network_access", "enabled" },
        { "windows_wsl_setup_acknowledged", true },
        { "model_providers",
            toml::table { { "OpenAI",
                toml::table { { "name", "OpenAI" }, { "base_url", base }, { "wire_api", "responses" },
                    { "requires_openai_auth", true } } } } },
    };
    QVERIFY(config == expected);
    QVERIFY(!config.contains("mcp_servers"));
}

// Two runs in the same second, with the real `launchctl` stand-in: the second run's backups go
// to a directory of their own, the first run's bootout fails and is ignored, the second's
// unloads the agent loaded by the first.
void TestCodexConnect::secondRunBackups()
{
    m_platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 40, 10), Qt::UTC);
    QVERIFY(signIn());

    QVERIFY(press());
    QCOMPARE(m_state->activity(), configured);
    const QString key = m_relay->issuedKeys().value(m_group);
    const QStringList firstRun = entries(backups());
    QCOMPARE(firstRun.size(), 1);
    QVERIFY(entries(backups() + u'/' + firstRun.first()).isEmpty());
    const QString job = QStringLiteral("gui/%1/").arg(m_platform->uid) + label;
    QCOMPARE(runTool(QStringLiteral("launchctl"), { QStringLiteral("print"), job }).status, 0);
    const Run variable = runTool(
        QStringLiteral("launchctl"), { QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") });
    QCOMPARE(variable.out, key.toUtf8() + '\n');

    const QByteArray config = readFile(codex(QStringLiteral("config.toml")));
    const QByteArray auth = readFile(codex(QStringLiteral("auth.json")));
    const QByteArray environment = readFile(script());
    const QByteArray list = readFile(plist());

    QVERIFY(press());
    QCOMPARE(m_state->activity(), configured);
    QCOMPARE(m_relay->requests(desktopKey).size(), 1); // the stored key serves the second run
    QStringList secondRun = entries(backups());
    QCOMPARE(secondRun.size(), 2);
    secondRun.removeAll(firstRun.first());
    const QString backup = backups() + u'/' + secondRun.first();
    QVERIFY(entries(backups() + u'/' + firstRun.first()).isEmpty());
    QCOMPARE(readFile(backup + QStringLiteral("/config.toml")), config);
    QCOMPARE(readFile(backup + QStringLiteral("/auth.json")), auth);
    QCOMPARE(readFile(backup + QStringLiteral("/velmora-connect-codex-env")), environment);
    QCOMPARE(readFile(backup + QStringLiteral("/com.velmora.connect.codex-env.plist")), list);
    QCOMPARE(runTool(QStringLiteral("launchctl"), { QStringLiteral("print"), job }).status, 0);

    // What the LaunchAgent does at login: the script alone sets the variable from the Keychain.
    QCOMPARE(
        runTool(QStringLiteral("launchctl"), { QStringLiteral("unsetenv"), QStringLiteral("OPENAI_API_KEY") })
            .status,
        0);
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), { script() });
    QVERIFY(shell.waitForFinished(-1));
    QCOMPARE(shell.exitCode(), 0);
    QCOMPARE(
        runTool(QStringLiteral("launchctl"), { QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") })
            .out,
        key.toUtf8() + '\n');
}

void TestCodexConnect::launchctlCommands_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("calls");
    QTest::addColumn<QString>("activity");

    QTest::newRow("all succeed") << QString() << 3 << configured;
    QTest::newRow("bootout fails") << QStringLiteral("bootout") << 3 << configured;
    QTest::newRow("setenv fails") << QStringLiteral("setenv") << 1 << commandFailed;
    QTest::newRow("bootstrap fails") << QStringLiteral("bootstrap") << 3 << commandFailed;
}

// The three commands in order with exact arguments; setenv and bootstrap failures end the run
// with every file left written.
void TestCodexConnect::launchctlCommands()
{
    QFETCH(QString, failing);
    QFETCH(int, calls);
    QFETCH(QString, activity);
    QVERIFY(signIn());
    useRecordingLaunchctl();
    m_platform->uid = 4242;
    if (!failing.isEmpty())
        writeFile(m_dir->filePath(QStringLiteral("fail-") + failing), QByteArray());

    QVERIFY(press());
    QCOMPARE(m_state->activity(), activity);
    QCOMPARE(m_state->codexConnected(), activity == configured);
    expectBusyClearedLast();
    const QString key = m_relay->issuedKeys().value(m_group);
    const QList<QStringList> expected { { QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY"),
                                            QStringLiteral("stdin:") + key },
        { QStringLiteral("bootout"), QStringLiteral("gui/4242/") + label },
        { QStringLiteral("bootstrap"), QStringLiteral("gui/4242"), plist() } };
    QCOMPARE(launchctlCalls(), expected.mid(0, calls));
    for (const QString &path :
        { codex(QStringLiteral("config.toml")), codex(QStringLiteral("auth.json")), script(), plist() })
        QVERIFY2(QFileInfo(path).size() > 0, qPrintable(path));
    QCOMPARE(keyInKeychain(), key);
}

// A home whose path holds XML's special characters: the property list stays readable, and the
// real stand-in loads it and runs the script.
void TestCodexConnect::homeWithXmlCharacters()
{
    m_platform->home = m_dir->filePath(QStringLiteral("R&D <lin> \"o'neil\""));
    QVERIFY(QDir().mkpath(m_platform->home));
    QVERIFY(signIn());

    QVERIFY(press());
    QCOMPARE(m_state->activity(), configured);
    const QString key = m_relay->issuedKeys().value(m_group);
    QByteArray list = dataFile(QStringLiteral("com.velmora.connect.codex-env-relay.plist"));
    list.replace("@SCRIPT@",
        m_dir->path().toUtf8()
            + "/R&amp;D &lt;lin&gt; &quot;o&apos;neil&quot;/.local/bin/velmora-connect-codex-env");
    QCOMPARE(readFile(plist()), list);
    // The stand-in read the script's path back from the list and ran it at load.
    const Run job = runTool(QStringLiteral("launchctl"),
        { QStringLiteral("print"), QStringLiteral("gui/%1/").arg(m_platform->uid) + label });
    QCOMPARE(job.status, 0);
    QVERIFY2(job.out.contains("\tprogram = " + script().toUtf8() + '\n'), job.out.constData());
    QVERIFY2(job.out.contains("\tlast exit code = 0\n"), job.out.constData());
    QCOMPARE(
        runTool(QStringLiteral("launchctl"), { QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") })
            .out,
        key.toUtf8() + '\n');
}

void TestCodexConnect::malformedAuth_data()
{
    QTest::addColumn<QByteArray>("auth");
    QTest::addColumn<QString>("activity"); // empty: the parser's own description

    QTest::newRow("not JSON") << QByteArray("{\"OPENAI_API_KEY\": ") << QString();
    QTest::newRow("empty file") << QByteArray() << QString();
    QTest::newRow("array") << QByteArray("[]")
                           << QStringLiteral("接入失败：auth.json 不是可合并的 JSON 对象");
}

// The run stops at auth.json after config.toml was replaced; the old config.toml is in the
// backup directory, auth.json is untouched, nothing else is installed.
void TestCodexConnect::malformedAuth()
{
    QFETCH(QByteArray, auth);
    QFETCH(QString, activity);
    QVERIFY(signIn());
    useRecordingLaunchctl();
    const QByteArray oldConfig = "model = \"old\"\n";
    writeFile(codex(QStringLiteral("config.toml")), oldConfig, 0644);
    writeFile(codex(QStringLiteral("auth.json")), auth, 0600);

    QVERIFY(press());
    if (activity.isEmpty()) {
        QVERIFY(m_state->activity().startsWith(QStringLiteral("接入失败：")));
        QVERIFY(m_state->activity().size() > QStringLiteral("接入失败：").size());
    } else {
        QCOMPARE(m_state->activity(), activity);
    }
    QVERIFY(!m_state->codexConnected());
    expectBusyClearedLast();

    QByteArray config = dataFile(QStringLiteral("config-relay.toml"));
    config.replace("@MODEL@", m_state->selectedModel().toUtf8())
        .replace("@EFFORT@", "high")
        .replace("@BASE_URL@", m_relay->baseUrl().toString().toUtf8() + "/v1");
    QCOMPARE(readFile(codex(QStringLiteral("config.toml"))), config);
    QCOMPARE(readFile(codex(QStringLiteral("auth.json"))), auth);
    const QStringList made = entries(backups());
    QCOMPARE(made.size(), 1);
    const QString backup = backups() + u'/' + made.first();
    QCOMPARE(readFile(backup + QStringLiteral("/config.toml")), oldConfig);
    QCOMPARE(readFile(backup + QStringLiteral("/auth.json")), auth);
    QVERIFY(!QFile::exists(script()));
    QVERIFY(!QFile::exists(plist()));
    QVERIFY(launchctlCalls().isEmpty());
    QCOMPARE(keyInKeychain(), m_relay->issuedKeys().value(m_group)); // nothing is rolled back
}

void TestCodexConnect::windowClosedMidRequest_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("while the key is issued") << desktopKey;
    QTest::newRow("while the models are listed") << modelsPath;
}

// The state goes away while a request waits: the task ends quietly, writing nothing.
void TestCodexConnect::windowClosedMidRequest()
{
    QFETCH(QString, path);
    QVERIFY(signIn());
    useRecordingLaunchctl();
    RelayReply reply;
    reply.stall = true;
    m_relay->script(path == desktopKey ? "POST" : "GET", path, reply);
    bool received = false;
    connect(m_relay.get(), &RelayServer::requestReceived, this,
        [&received, path](const RecordedRequest &request) { received = received || request.path == path; });

    m_state->configureCodexFromAccount();
    QVERIFY(QTest::qWaitFor([&received] { return received; }, 60000));
    m_recorder.reset();
    m_state.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QVERIFY(!QFile::exists(codex(QStringLiteral("config.toml"))));
    QVERIFY(launchctlCalls().isEmpty());
}

QTEST_GUILESS_MAIN(TestCodexConnect)
#include "tst_codexconnect.moc"
