#include "relayserver.h"
#include "testplatform.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QtTest>

// The local relay the integration tests and the demo run against: its demo behaviour and
// every scriptable fault, seen from a plain HTTP client.
class TestRelay : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void demoRoutes_data();
    void demoRoutes();
    void keysAreIssuedOncePerGroup();
    void modelsNeedAnIssuedKey();
    void recordsWhatItReceived();
    void scriptedReply();
    void scriptForEveryMethod();
    void removedRoutes();
    void delayedDemoRoute();
    void stallNeverAnswers();
    void closeMidBodyCutsTheTransfer();
    void packagesFromMemoryAndFile();
    void largePackageIsStreamed();
    void redirectToPackage();
    void scenarioFile();
    void scenarioErrors_data();
    void scenarioErrors();
    void commandServesAScenario();
    void commandRefusesABadScenario_data();
    void commandRefusesABadScenario();

private:
    struct Result
    {
        int status = 0;
        QByteArray body;
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        QHash<QByteArray, QByteArray> headers;
    };
    Result fetch(const QByteArray &method, const QString &path, const QByteArray &body = {},
        const QByteArray &bearer = {}, int timeoutMs = 0);

    std::unique_ptr<RelayServer> m_relay;
    QNetworkAccessManager m_network;
};

void TestRelay::init()
{
    m_relay = std::make_unique<RelayServer>();
    QVERIFY(m_relay->listen() != 0);
}

void TestRelay::cleanup()
{
    m_relay.reset();
}

TestRelay::Result TestRelay::fetch(const QByteArray &method, const QString &path, const QByteArray &body,
    const QByteArray &bearer, int timeoutMs)
{
    QNetworkRequest request(m_relay->baseUrl().resolved(QUrl(path)));
    if (!bearer.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + bearer);
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (timeoutMs > 0)
        request.setTransferTimeout(timeoutMs);
    std::unique_ptr<QNetworkReply> reply(body.isEmpty() ? m_network.sendCustomRequest(request, method)
                                                        : m_network.sendCustomRequest(request, method, body));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(30000))
        return {};
    Result result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isOpen())
        result.body = reply->readAll();
    result.error = reply->error();
    for (const auto &[name, value] : reply->rawHeaderPairs())
        result.headers.insert(name.toLower(), value);
    return result;
}

void TestRelay::demoRoutes_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("bearer");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray login = "/api/v1/auth/login";
    QTest::newRow("login") << QByteArray("POST") << QString::fromLatin1(login)
                           << QByteArray(R"({"email":"demo@velmora.example","password":"velmora-demo"})")
                           << QByteArray() << 200
                           << QByteArray(R"({"access_token":"demo-access-token","token_type":"bearer"})");
    QTest::newRow("login, wrong password")
        << QByteArray("POST") << QString::fromLatin1(login)
        << QByteArray(R"({"email":"demo@velmora.example","password":"velmora"})") << QByteArray() << 401
        << QStringLiteral(R"({"message":"邮箱或密码错误"})").toUtf8();
    QTest::newRow("login, not JSON") << QByteArray("POST") << QString::fromLatin1(login)
                                     << QByteArray("email=x") << QByteArray() << 400
                                     << QStringLiteral(R"({"message":"请求格式错误"})").toUtf8();
    QTest::newRow("login, GET") << QByteArray("GET") << QString::fromLatin1(login) << QByteArray()
                                << QByteArray() << 405 << QByteArray("405 method not allowed");
    QTest::newRow("me")
        << QByteArray("GET") << QStringLiteral("/api/v1/auth/me") << QByteArray()
        << QByteArray("demo-access-token") << 200
        << QByteArray(R"({"data":{"display_name":"Velmora Demo","email":"demo@velmora.example","id":42}})");
    QTest::newRow("me, no token") << QByteArray("GET") << QStringLiteral("/api/v1/auth/me") << QByteArray()
                                  << QByteArray() << 401
                                  << QStringLiteral(R"({"message":"登录已过期，请重新登录"})").toUtf8();
    QTest::newRow("groups") << QByteArray("GET") << QStringLiteral("/api/v1/groups/available") << QByteArray()
                            << QByteArray("demo-access-token") << 200
                            << QStringLiteral(R"({"data":[{"id":1,"name":"默认渠道","platform":"openai"},)"
                                              R"({"id":2,"name":"Claude 专线","platform":"anthropic"},)"
                                              R"({"id":3,"name":"","platform":""}]})")
                                   .toUtf8();
    QTest::newRow("groups, wrong token")
        << QByteArray("GET") << QStringLiteral("/api/v1/groups/available") << QByteArray()
        << QByteArray("other") << 401 << QStringLiteral(R"({"message":"登录已过期，请重新登录"})").toUtf8();
    QTest::newRow("key, unknown group")
        << QByteArray("POST") << QStringLiteral("/api/v1/desktop/key")
        << QByteArray(R"({"name":"n","group_id":99})") << QByteArray("demo-access-token") << 400
        << QStringLiteral(R"({"message":"渠道接口不存在"})").toUtf8();
    QTest::newRow("key, no token") << QByteArray("POST") << QStringLiteral("/api/v1/keys")
                                   << QByteArray(R"({"name":"n","group_id":1})") << QByteArray() << 401
                                   << QStringLiteral(R"({"message":"登录已过期，请重新登录"})").toUtf8();
    QTest::newRow("unknown path") << QByteArray("GET") << QStringLiteral("/api/v2/nothing") << QByteArray()
                                  << QByteArray() << 404 << QByteArray("404 page not found");
}

void TestRelay::demoRoutes()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, bearer);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    const Result result = fetch(method, path, body, bearer);
    QCOMPARE(result.status, status);
    QCOMPARE(result.body, reply);
}

void TestRelay::keysAreIssuedOncePerGroup()
{
    const auto keyOf = [this](const QString &path, int group) {
        const Result result = fetch("POST", path,
            QStringLiteral(R"({"name":"Velmora Connect","group_id":%1})").arg(group).toUtf8(),
            "demo-access-token");
        return QJsonDocument::fromJson(result.body)["data"]["key"].toString();
    };
    const QString first = keyOf(QStringLiteral("/api/v1/desktop/key"), 1);
    QVERIFY(first.startsWith(QStringLiteral("sk-velmora-")));
    QCOMPARE(first.size(), 11 + 32);
    QCOMPARE(keyOf(QStringLiteral("/api/v1/desktop/key"), 1), first);
    QCOMPARE(keyOf(QStringLiteral("/api/v1/keys"), 1), first);
    const QString second = keyOf(QStringLiteral("/api/v1/keys"), 2);
    QVERIFY(second.startsWith(QStringLiteral("sk-velmora-")));
    QVERIFY(second != first);
    const QHash<qint64, QString> expected { { 1, first }, { 2, second } };
    QCOMPARE(m_relay->issuedKeys(), expected);
}

void TestRelay::modelsNeedAnIssuedKey()
{
    QCOMPARE(fetch("GET", QStringLiteral("/v1/models"), {}, "demo-access-token").status, 401);
    QCOMPARE(fetch("GET", QStringLiteral("/v1/models")).status, 401);
    const Result issued = fetch(
        "POST", QStringLiteral("/api/v1/desktop/key"), R"({"name":"n","group_id":3})", "demo-access-token");
    const QByteArray key = QJsonDocument::fromJson(issued.body)["data"]["key"].toString().toUtf8();
    const Result models = fetch("GET", QStringLiteral("/v1/models"), {}, key);
    QCOMPARE(models.status, 200);
    const QJsonDocument list = QJsonDocument::fromJson(models.body);
    QCOMPARE(list["object"].toString(), QStringLiteral("list"));
    QCOMPARE(list["data"].toArray(), m_relay->account().models);
}

void TestRelay::recordsWhatItReceived()
{
    fetch("POST", QStringLiteral("/api/v1/auth/login?x=1"), R"({"email":"a","password":"b"})", "secret");
    fetch("GET", QStringLiteral("/api/v1/auth/me"));
    QCOMPARE(m_relay->requests().size(), 2);
    const RecordedRequest &login = m_relay->requests().at(0);
    QCOMPARE(login.method, QByteArray("POST"));
    QCOMPARE(login.path, QStringLiteral("/api/v1/auth/login"));
    QCOMPARE(login.body, QByteArray(R"({"email":"a","password":"b"})"));
    QCOMPARE(login.headers.value("authorization"), QByteArray("Bearer secret"));
    QCOMPARE(login.headers.value("content-type"), QByteArray("application/json"));
    QCOMPARE(m_relay->requests(QStringLiteral("/api/v1/auth/me")).size(), 1);
    QCOMPARE(m_relay->requests(QStringLiteral("/api/v1/auth/me")).at(0).method, QByteArray("GET"));
    m_relay->clearRequests();
    QVERIFY(m_relay->requests().isEmpty());
}

void TestRelay::scriptedReply()
{
    RelayReply reply;
    reply.status = 502;
    reply.body = "<html><body>Bad gateway</body></html>";
    reply.headers = { { "Content-Type", "text/html" }, { "X-Relay", "yes" } };
    m_relay->script("GET", QStringLiteral("/api/v1/auth/me"), reply);
    Result result = fetch("GET", QStringLiteral("/api/v1/auth/me"), {}, "demo-access-token");
    QCOMPARE(result.status, 502);
    QCOMPARE(result.body, reply.body);
    QCOMPARE(result.headers.value("content-type"), QByteArray("text/html"));
    QCOMPARE(result.headers.value("x-relay"), QByteArray("yes"));
    // Another method of the same path keeps the demo behaviour.
    QCOMPARE(fetch("POST", QStringLiteral("/api/v1/auth/me")).status, 405);
    m_relay->clearScripts();
    QCOMPARE(fetch("GET", QStringLiteral("/api/v1/auth/me"), {}, "demo-access-token").status, 200);
}

void TestRelay::scriptForEveryMethod()
{
    RelayReply reply;
    reply.status = 204;
    m_relay->script("*", QStringLiteral("/api/v1/keys"), reply);
    QCOMPARE(fetch("POST", QStringLiteral("/api/v1/keys"), "{}").status, 204);
    QCOMPARE(fetch("PUT", QStringLiteral("/api/v1/keys"), "{}").status, 204);
    QCOMPARE(fetch("POST", QStringLiteral("/api/v1/keys"), "{}").body, QByteArray());
}

void TestRelay::removedRoutes()
{
    m_relay->removeRoute("POST", QStringLiteral("/api/v1/desktop/key"));
    m_relay->removeRoute("POST", QStringLiteral("/api/v1/keys"), true);
    const Result gone = fetch("POST", QStringLiteral("/api/v1/desktop/key"), "{}", "demo-access-token");
    QCOMPARE(gone.status, 404);
    QCOMPARE(gone.body, QByteArray("404 page not found"));
    QCOMPARE(fetch("GET", QStringLiteral("/api/v1/desktop/key")).status, 404);
    QCOMPARE(fetch("POST", QStringLiteral("/api/v1/keys"), "{}", "demo-access-token").status, 405);
    // Only that method is gone: another still gets the demo's answer.
    QCOMPARE(fetch("GET", QStringLiteral("/api/v1/keys")).status, 405);
    RelayReply back;
    back.body = "{}";
    m_relay->script("POST", QStringLiteral("/api/v1/desktop/key"), back);
    QCOMPARE(fetch("POST", QStringLiteral("/api/v1/desktop/key"), "{}").status, 200);
}

void TestRelay::delayedDemoRoute()
{
    m_relay->delayRoute("GET", QStringLiteral("/api/v1/auth/me"), 300);
    QElapsedTimer clock;
    clock.start();
    const Result result = fetch("GET", QStringLiteral("/api/v1/auth/me"), {}, "demo-access-token");
    QCOMPARE(result.status, 200);
    QVERIFY(result.body.contains("Velmora Demo"));
    QVERIFY(clock.elapsed() >= 250); // a lower bound only: the answer cannot come early
}

void TestRelay::stallNeverAnswers()
{
    RelayReply reply;
    reply.stall = true;
    m_relay->script("GET", QStringLiteral("/api/v1/auth/me"), reply);
    const Result result = fetch("GET", QStringLiteral("/api/v1/auth/me"), {}, {}, 300);
    QCOMPARE(result.error, QNetworkReply::OperationCanceledError);
    QCOMPARE(result.status, 0);
    QCOMPARE(m_relay->requests().size(), 1);
}

void TestRelay::closeMidBodyCutsTheTransfer()
{
    RelayReply reply;
    reply.body = QByteArray(4000, 'x');
    reply.closeMidBody = true;
    m_relay->script("GET", QStringLiteral("/agent-packages/cut.zip"), reply);
    const Result result = fetch("GET", QStringLiteral("/agent-packages/cut.zip"));
    QCOMPARE(result.error, QNetworkReply::RemoteHostClosedError);
    QVERIFY(result.body.size() <= 2000);
}

void TestRelay::packagesFromMemoryAndFile()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("pkg.tgz")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("from a file");
    file.close();
    m_relay->setPackage(QStringLiteral("a.dmg"), "from memory");
    m_relay->setPackageFile(QStringLiteral("b.tgz"), file.fileName());
    const Result memory = fetch("GET", QStringLiteral("/agent-packages/a.dmg"));
    QCOMPARE(memory.status, 200);
    QCOMPARE(memory.body, QByteArray("from memory"));
    QCOMPARE(memory.headers.value("content-type"), QByteArray("application/octet-stream"));
    QCOMPARE(fetch("GET", QStringLiteral("/agent-packages/b.tgz")).body, QByteArray("from a file"));
    QCOMPARE(fetch("GET", QStringLiteral("/agent-packages/c.zip")).status, 404);
    QCOMPARE(fetch("POST", QStringLiteral("/agent-packages/a.dmg"), "{}").status, 405);
}

void TestRelay::largePackageIsStreamed()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("big.dmg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCryptographicHash sent(QCryptographicHash::Sha256);
    for (int block = 0; block < 64; ++block) {
        const QByteArray bytes(256 * 1024, char('a' + block % 26));
        file.write(bytes);
        sent.addData(bytes);
    }
    file.close();
    m_relay->setPackageFile(QStringLiteral("big.dmg"), file.fileName());
    const Result result = fetch("GET", QStringLiteral("/agent-packages/big.dmg"));
    QCOMPARE(result.status, 200);
    QCOMPARE(result.body.size(), 64 * 256 * 1024);
    QCOMPARE(QCryptographicHash::hash(result.body, QCryptographicHash::Sha256), sent.result());
}

void TestRelay::redirectToPackage()
{
    m_relay->setPackage(QStringLiteral("real.zip"), "payload");
    RelayReply redirect;
    redirect.status = 302;
    redirect.headers = { { "Location", "/agent-packages/real.zip" } };
    m_relay->script("GET", QStringLiteral("/agent-packages/moved.zip"), redirect);
    const Result result = fetch("GET", QStringLiteral("/agent-packages/moved.zip"));
    QCOMPARE(result.status, 200);
    QCOMPARE(result.body, QByteArray("payload"));
    QCOMPARE(m_relay->requests().size(), 2);
}

void TestRelay::scenarioFile()
{
    QTemporaryDir dir;
    QFile package(dir.filePath(QStringLiteral("pkg")));
    QVERIFY(package.open(QIODevice::WriteOnly));
    package.write("file bytes");
    package.close();
    const QByteArray scenario = QStringLiteral(R"({
        "account": {"email": "a@b.example", "password": "pw", "accessToken": "tok",
                    "groups": [{"id": 7, "name": "七", "platform": "OpenAI"}]},
        "routes": [
            {"method": "GET", "path": "/api/v1/auth/me", "status": 500, "body": {"message": "坏了"}},
            {"method": "POST", "path": "/api/v1/desktop/key", "missing": true},
            {"method": "POST", "path": "/api/v1/keys", "missing": "method"},
            {"path": "/v1/models", "bodyText": "not json", "headers": {"Content-Type": "text/plain"}},
            {"path": "/scalar", "body": 42},
            {"method": "GET", "path": "/api/v1/groups/available", "delayMs": 50}
        ],
        "packages": {"one.zip": "inline text", "two.zip": "%1"}
    })")
                                    .arg(package.fileName())
                                    .toUtf8();
    QCOMPARE(m_relay->loadScenario(QJsonDocument::fromJson(scenario).object()), QString());
    QCOMPARE(fetch("POST", QStringLiteral("/api/v1/auth/login"), R"({"email":"a@b.example","password":"pw"})")
                 .body,
        QByteArray(R"({"access_token":"tok","token_type":"bearer"})"));
    QCOMPARE(fetch("GET", QStringLiteral("/api/v1/groups/available"), {}, "tok").body,
        QStringLiteral(R"({"data":[{"id":7,"name":"七","platform":"OpenAI"}]})").toUtf8());
    const Result me = fetch("GET", QStringLiteral("/api/v1/auth/me"), {}, "tok");
    QCOMPARE(me.status, 500);
    QCOMPARE(me.body, QStringLiteral(R"({"message":"坏了"})").toUtf8());
    QCOMPARE(fetch("POST", QStringLiteral("/api/v1/desktop/key"), "{}", "tok").status, 404);
    QCOMPARE(fetch("POST", QStringLiteral("/api/v1/keys"), "{}", "tok").status, 405);
    const Result models = fetch("GET", QStringLiteral("/v1/models"));
    QCOMPARE(models.body, QByteArray("not json"));
    QCOMPARE(models.headers.value("content-type"), QByteArray("text/plain"));
    QCOMPARE(fetch("GET", QStringLiteral("/scalar")).body, QByteArray("42"));
    QCOMPARE(fetch("GET", QStringLiteral("/agent-packages/one.zip")).body, QByteArray("inline text"));
    QCOMPARE(fetch("GET", QStringLiteral("/agent-packages/two.zip")).body, QByteArray("file bytes"));
}

void TestRelay::scenarioErrors_data()
{
    QTest::addColumn<QByteArray>("scenario");
    QTest::addColumn<QString>("error");
    QTest::newRow("relative path") << QByteArray(R"({"routes": [{"path": "v1/models"}]})")
                                   << QStringLiteral("routes[0].path must begin with \"/\"");
    QTest::newRow("numeric password") << QByteArray(R"({"account": {"password": 5}})")
                                      << QStringLiteral("account.password must be a string");
}

void TestRelay::scenarioErrors()
{
    QFETCH(QByteArray, scenario);
    QFETCH(QString, error);
    QCOMPARE(m_relay->loadScenario(QJsonDocument::fromJson(scenario).object()), error);
}

namespace {

const QString shippedScenario = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../tools/relay/scenarios/faults.json");

} // namespace

void TestRelay::commandServesAScenario()
{
    QProcess relay;
    relay.start(builtToolPath(QStringLiteral("velmora-relay-sim")),
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--scenario"), shippedScenario });
    QVERIFY(relay.waitForStarted());
    QVERIFY(relay.waitForReadyRead(20000));
    const QUrl url(QString::fromUtf8(relay.readLine().trimmed()));
    QCOMPARE(url.host(), QStringLiteral("127.0.0.1"));
    QVERIFY(url.port() > 0);

    const auto get = [this, &url](const QString &path, const QByteArray &body = {}) {
        QNetworkRequest request(url.resolved(QUrl(path)));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        std::unique_ptr<QNetworkReply> reply(
            body.isEmpty() ? m_network.get(request) : m_network.post(request, body));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        finished.wait(20000);
        return std::pair { reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            reply->readAll() };
    };
    QCOMPARE(get(QStringLiteral("/agent-packages/kimi-code-macos-arm64.tgz")),
        std::pair(200, QByteArray("not really a package")));
    QCOMPARE(get(QStringLiteral("/api/v1/auth/login"),
                 R"({"email":"demo@velmora.example","password":"velmora-demo"})"),
        std::pair(200, QByteArray(R"({"access_token":"demo-access-token","token_type":"bearer"})")));
    QCOMPARE(get(QStringLiteral("/v1/models")).first, 502);
    relay.terminate();
    QVERIFY(relay.waitForFinished());
}

void TestRelay::commandRefusesABadScenario_data()
{
    QTest::addColumn<QByteArray>("scenario");
    QTest::addColumn<QString>("error");
    QTest::newRow("not JSON") << QByteArray("{routes") << "velmora-relay-sim: %1: unterminated object";
    QTest::newRow("an array") << QByteArray("[]") << "velmora-relay-sim: %1: not a JSON object";
    QTest::newRow("bad route") << QByteArray(R"({"routes":[{"path":"x"}]})")
                               << "velmora-relay-sim: %1: routes[0].path must begin with \"/\"";
}

void TestRelay::commandRefusesABadScenario()
{
    QFETCH(QByteArray, scenario);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("scenario.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(scenario);
    file.close();
    QProcess relay;
    relay.start(builtToolPath(QStringLiteral("velmora-relay-sim")),
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--scenario"), file.fileName() });
    QVERIFY(relay.waitForFinished(20000));
    QCOMPARE(relay.exitCode(), 2);
    QCOMPARE(QString::fromUtf8(relay.readAllStandardError()).trimmed(), error.arg(file.fileName()));
    QCOMPARE(relay.readAllStandardOutput(), QByteArray());
}

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
