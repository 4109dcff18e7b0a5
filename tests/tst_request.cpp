#include "relayserver.h"
#include "platform/connecterror.h"
#include "state/connectstate.h"
#include "testplatform.h"

#include <QJsonDocument>
#include <QTcpServer>
#include <QtTest>

// The one way the product talks to the relay: URL, headers, credentials, and what every kind
// of reply becomes.
class TestRequest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void headersAndCredentials_data();
    void headersAndCredentials();
    void replies_data();
    void replies();
    void redirectIsFollowed();
    void connectionRefused();
    void unwrap_data();
    void unwrap();

private:
    struct Outcome
    {
        bool done = false;
        std::optional<QJsonValue> value;
        QString failureKind; // "ConnectError" or "PlatformError"
        QString description;
    };
    QCoro::Task<> capture(QCoro::Task<QJsonValue> call, Outcome &outcome);
    // Runs one request to the end.
    Outcome run(const QUrl &router, const QString &path, const QByteArray &method = "GET",
        std::optional<QByteArray> body = std::nullopt, bool authenticated = true,
        std::optional<QString> apiKey = std::nullopt);

    std::unique_ptr<RelayServer> m_relay;
    std::shared_ptr<TestPlatform> m_platform;
    std::unique_ptr<ConnectState> m_state;
};

void TestRequest::init()
{
    m_relay = std::make_unique<RelayServer>();
    QVERIFY(m_relay->listen() != 0);
    m_platform = std::make_shared<TestPlatform>();
    m_platform->timeout = std::chrono::milliseconds(500);
    m_state = std::make_unique<ConnectState>(m_platform);
}

void TestRequest::cleanup()
{
    m_state.reset();
    m_relay.reset();
}

QCoro::Task<> TestRequest::capture(QCoro::Task<QJsonValue> call, Outcome &outcome)
{
    try {
        outcome.value = co_await std::move(call);
    } catch (const ConnectError &error) {
        outcome.failureKind = QStringLiteral("ConnectError");
        outcome.description = error.description();
    } catch (const PlatformError &error) {
        outcome.failureKind = QStringLiteral("PlatformError");
        outcome.description = error.description();
    }
    outcome.done = true;
}

TestRequest::Outcome TestRequest::run(const QUrl &router, const QString &path, const QByteArray &method,
    std::optional<QByteArray> body, bool authenticated, std::optional<QString> apiKey)
{
    Outcome outcome;
    capture(m_state->request(router, path, method, body, authenticated, apiKey), outcome);
    if (!QTest::qWaitFor([&outcome] { return outcome.done; }, 20000))
        outcome.failureKind = QStringLiteral("never finished"); // fails every comparison below
    return outcome;
}

void TestRequest::headersAndCredentials_data()
{
    QTest::addColumn<QString>("routerPath"); // appended to the relay's scheme, host and port
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body"); // null: no body
    QTest::addColumn<bool>("authenticated");
    QTest::addColumn<QString>("apiKey"); // null: none
    QTest::addColumn<QString>("accessToken");
    QTest::addColumn<QByteArray>("authorization"); // null: no header
    QTest::addColumn<QByteArray>("contentType"); // null: no header

    const QByteArray none;
    const QString noKey;
    const QByteArray json = "application/json";
    const QString me = QStringLiteral("/api/v1/auth/me");
    const QString key = QStringLiteral("/api/v1/desktop/key");
    const QByteArray keyBody = R"({"group_id":1,"name":"Velmora Connect"})";

    QTest::newRow("GET with the token") << "" << QByteArray("GET") << me << none << true << noKey << "tok"
                                        << QByteArray("Bearer tok") << none;
    QTest::newRow("GET, empty token: no Authorization")
        << "" << QByteArray("GET") << me << none << true << noKey << "" << none << none;
    QTest::newRow("GET, not authenticated")
        << "" << QByteArray("GET") << me << none << false << noKey << "tok" << none << none;
    QTest::newRow("API key instead of the token")
        << "" << QByteArray("GET") << QStringLiteral("/v1/models") << none << true << "sk-velmora-1"
        << "tok" << QByteArray("Bearer sk-velmora-1") << none;
    QTest::newRow("API key without a session")
        << "" << QByteArray("GET") << QStringLiteral("/v1/models") << none << false << "sk-velmora-1"
        << "" << QByteArray("Bearer sk-velmora-1") << none;
    // "Bearer " and nothing: the relay's parser drops the trailing blank, as HTTP allows.
    QTest::newRow("empty API key is still sent")
        << "" << QByteArray("GET") << QStringLiteral("/v1/models") << none << true << ""
        << "tok" << QByteArray("Bearer") << none;
    QTest::newRow("POST with a body") << "" << QByteArray("POST") << key << keyBody << true << noKey << "tok"
                                      << QByteArray("Bearer tok") << json;
    QTest::newRow("POST without a body") << "" << QByteArray("POST") << key << none << true << noKey << "tok"
                                         << QByteArray("Bearer tok") << none;
    QTest::newRow("PUT with a body") << "" << QByteArray("PUT") << key << QByteArray("{}") << true << noKey
                                     << "tok" << QByteArray("Bearer tok") << json;
    QTest::newRow("DELETE without a body") << "" << QByteArray("DELETE") << key << none << true << noKey
                                           << "tok" << QByteArray("Bearer tok") << none;
    QTest::newRow("router path is not part of the URL") << "/base" << QByteArray("GET") << me << none << true
                                                        << noKey << "tok" << QByteArray("Bearer tok") << none;
}

void TestRequest::headersAndCredentials()
{
    QFETCH(QString, routerPath);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(bool, authenticated);
    QFETCH(QString, apiKey);
    QFETCH(QString, accessToken);
    QFETCH(QByteArray, authorization);
    QFETCH(QByteArray, contentType);

    RelayReply reply;
    reply.body = "{}";
    m_relay->script("*", path, reply);
    m_state->m_accessToken = accessToken;
    QUrl router = m_relay->baseUrl();
    router.setPath(routerPath);

    const Outcome outcome = run(router, path, method, body.isNull() ? std::nullopt : std::optional(body),
        authenticated, apiKey.isNull() ? std::nullopt : std::optional(apiKey));
    QCOMPARE(outcome.failureKind, QString());
    QCOMPARE(outcome.value, QJsonValue(QJsonObject()));

    QCOMPARE(m_relay->requests().size(), 1);
    const RecordedRequest &received = m_relay->requests().first();
    QCOMPARE(received.method, method);
    QCOMPARE(received.path, path);
    QCOMPARE(received.body, body.isNull() ? QByteArray() : body);
    QCOMPARE(received.headers.value("accept"), QByteArray("application/json"));
    QCOMPARE(received.headers.contains("authorization"), !authorization.isNull());
    QCOMPARE(received.headers.value("authorization"), authorization.isNull() ? QByteArray() : authorization);
    QCOMPARE(received.headers.contains("content-type"), !contentType.isNull());
    QCOMPARE(received.headers.value("content-type"), contentType.isNull() ? QByteArray() : contentType);
}

void TestRequest::replies_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("mode"); // reply, stall, cut, missing
    QTest::addColumn<QByteArray>("value"); // the parsed reply, when it succeeds
    QTest::addColumn<QString>("failureKind");
    QTest::addColumn<QString>("description");

    const QString reply = QStringLiteral("reply");
    const QString connectError = QStringLiteral("ConnectError");
    const QString platformError = QStringLiteral("PlatformError");
    const QByteArray none;

    QTest::newRow("200 object") << 200 << QByteArray(R"({"a":1})") << reply << QByteArray(R"({"a":1})")
                                << QString() << QString();
    QTest::newRow("201 array") << 201 << QByteArray("[1,2]") << reply << QByteArray("[1,2]") << QString()
                               << QString();
    QTest::newRow("299 object") << 299 << QByteArray("{}") << reply << QByteArray("{}") << QString()
                                << QString();
    QTest::newRow("envelope left in place") << 200 << QByteArray(R"({"data":[1]})") << reply
                                            << QByteArray(R"({"data":[1]})") << QString() << QString();
    QTest::newRow("200 with only a message is a success")
        << 200 << QByteArray(R"({"message":"failed"})") << reply << QByteArray(R"({"message":"failed"})")
        << QString() << QString();
    QTest::newRow("success flag inside is not read")
        << 200 << QByteArray(R"({"success":false,"code":500})") << reply
        << QByteArray(R"({"success":false,"code":500})") << QString() << QString();
    QTest::newRow("204 empty") << 204 << none << reply << none << platformError
                               << QStringLiteral("JSON 解析失败：服务器返回了空内容");
    QTest::newRow("200 empty") << 200 << none << reply << none << platformError
                               << QStringLiteral("JSON 解析失败：服务器返回了空内容");
    QTest::newRow("200 number") << 200 << QByteArray("42") << reply << none << platformError
                                << QStringLiteral("JSON 解析失败：顶层不是对象或数组");
    QTest::newRow("200 HTML") << 200 << QByteArray("<html></html>") << reply << none << platformError
                              << QStringLiteral("JSON 解析失败：illegal value（位置 1）");
    QTest::newRow("401 with a message") << 401 << QStringLiteral(R"({"message":"令牌无效"})").toUtf8()
                                        << reply << none << connectError << QStringLiteral("令牌无效");
    QTest::newRow("400 with an empty message")
        << 400 << QByteArray(R"({"message":""})") << reply << none << connectError << QString();
    QTest::newRow("400 with a numeric message") << 400 << QByteArray(R"({"message":1})") << reply << none
                                                << connectError << QStringLiteral("接口返回 400");
    QTest::newRow("403 empty") << 403 << none << reply << none << connectError
                               << QStringLiteral("接口返回 403");
    QTest::newRow("404 route missing")
        << 0 << none << QStringLiteral("missing") << none << connectError << QStringLiteral("接口返回 404");
    QTest::newRow("409 array") << 409 << QByteArray(R"([{"message":"x"}])") << reply << none << connectError
                               << QStringLiteral("接口返回 409");
    QTest::newRow("500 message inside data") << 500 << QByteArray(R"({"data":{"message":"x"}})") << reply
                                             << none << connectError << QStringLiteral("接口返回 500");
    QTest::newRow("502 with HTML") << 502 << QByteArray("<html>Bad Gateway</html>") << reply << none
                                   << connectError << QStringLiteral("接口返回 502");
    QTest::newRow("503 with a message") << 503 << QByteArray(R"({"message":"maintenance"})") << reply << none
                                        << connectError << QStringLiteral("maintenance");
    QTest::newRow("stall past the time-out")
        << 200 << none << QStringLiteral("stall") << none << platformError
        << QStringLiteral("请求超时：服务器 0.5 秒内没有响应");
    const QByteArray huge = R"({"a":")" + QByteArray(16 * 1024 * 1024, 'x') + R"("})";
    const QString tooLarge = QStringLiteral("服务器返回的内容过大，已停止接收");
    QTest::newRow("200 beyond 16 MiB") << 200 << huge << reply << none << platformError << tooLarge;
    QTest::newRow("500 beyond 16 MiB") << 500 << huge << reply << none << platformError << tooLarge;
    const QByteArray largest = R"({"a":")" + QByteArray(16 * 1024 * 1024 - 8, 'x') + R"("})";
    QTest::newRow("200 of exactly 16 MiB") << 200 << largest << reply << largest << QString() << QString();
    // A cut body is a failed transfer, not a parser error nor the status of the head.
    QTest::newRow("200 cut mid-body")
        << 200 << QByteArray(R"({"access_token":"abcdefgh"})") << QStringLiteral("cut") << none
        << platformError << QStringLiteral("Connection closed");
    QTest::newRow("401 cut mid-body")
        << 401 << QByteArray(R"({"message":"abcdefgh"})") << QStringLiteral("cut") << none << platformError
        << QStringLiteral("Connection closed");
}

void TestRequest::replies()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, mode);
    QFETCH(QByteArray, value);
    QFETCH(QString, failureKind);
    QFETCH(QString, description);

    const QString path = QStringLiteral("/api/v1/auth/me");
    if (mode == QLatin1String("missing")) {
        m_relay->removeRoute("GET", path);
    } else {
        RelayReply reply;
        reply.status = status;
        reply.body = body;
        reply.stall = mode == QLatin1String("stall");
        reply.closeMidBody = mode == QLatin1String("cut");
        m_relay->script("GET", path, reply);
    }
    const Outcome outcome = run(m_relay->baseUrl(), path);
    QCOMPARE(outcome.failureKind, failureKind);
    QCOMPARE(outcome.description, description);
    if (failureKind.isEmpty())
        QCOMPARE(outcome.value,
            QJsonDocument::fromJson(value).isArray() ? QJsonValue(QJsonDocument::fromJson(value).array())
                                                     : QJsonValue(QJsonDocument::fromJson(value).object()));
    // request() reads the session and writes nothing.
    QCOMPARE(m_state->activity(), QStringLiteral("准备就绪"));
    QVERIFY(!m_state->busy());
}

void TestRequest::redirectIsFollowed()
{
    RelayReply moved;
    moved.status = 302;
    moved.headers = { { "Location", "/api/v1/auth/me" } };
    m_relay->script("GET", QStringLiteral("/api/v1/old/me"), moved);
    m_state->m_accessToken = QStringLiteral("demo-access-token");
    const Outcome outcome = run(m_relay->baseUrl(), QStringLiteral("/api/v1/old/me"));
    QCOMPARE(outcome.failureKind, QString());
    QCOMPARE(outcome.value->toObject().value(QStringLiteral("data"))[QStringLiteral("id")].toInt(), 42);
    QCOMPARE(m_relay->requests().size(), 2);
}

void TestRequest::connectionRefused()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    QUrl router(QStringLiteral("http://127.0.0.1"));
    router.setPort(closed.serverPort());
    closed.close();
    const Outcome outcome = run(router, QStringLiteral("/api/v1/auth/me"));
    QCOMPARE(outcome.failureKind, QStringLiteral("PlatformError"));
    QCOMPARE(outcome.description, QStringLiteral("Connection refused"));
}

void TestRequest::unwrap_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("unwrapped");
    QTest::newRow("data array") << QByteArray(R"({"data":[1]})") << QByteArray("[1]");
    QTest::newRow("data null") << QByteArray(R"({"data":null})") << QByteArray("null");
    QTest::newRow("no data") << QByteArray(R"({"key":"k"})") << QByteArray(R"({"key":"k"})");
    QTest::newRow("array") << QByteArray("[2]") << QByteArray("[2]");
}

void TestRequest::unwrap()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, unwrapped);
    const auto parse
        = [](const QByteArray &text) { return QJsonDocument::fromJson("[" + text + "]").array().at(0); };
    QCOMPARE(ConnectState::unwrap(parse(value)), parse(unwrapped));
}

QTEST_GUILESS_MAIN(TestRequest)
#include "tst_request.moc"
