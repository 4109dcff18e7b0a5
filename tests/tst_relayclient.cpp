#include "agentfixtures.h"
#include "platform/connecterror.h"
#include "platform/platformtexts.h"
#include "relayserver.h"
#include "service/relayclient.h"
#include "service/servicetexts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

Q_DECLARE_METATYPE(RelayReply)
Q_DECLARE_METATYPE(WireProtocol)
Q_DECLARE_METATYPE(ProbeAnswer::Verdict)

using namespace std::chrono_literals;

namespace {

// How a call ended: its value, or the failure's description.
template <typename T> struct Outcome
{
    bool done = false;
    std::optional<T> value;
    QString failure;
};

template <typename T> QCoro::Task<> capture(QCoro::Task<T> call, Outcome<T> *outcome)
{
    try {
        outcome->value = co_await std::move(call);
    } catch (const Failure &failure) {
        outcome->failure = failure.description();
    }
    outcome->done = true;
}

template <typename T> Outcome<T> finish(QCoro::Task<T> call)
{
    Outcome<T> outcome;
    capture(std::move(call), &outcome);
    (void)QTest::qWaitFor([&outcome] { return outcome.done; }, 30000);
    return outcome;
}

const QString loginPath = QStringLiteral("/api/v1/auth/login");
const QString profilePath = QStringLiteral("/api/v1/auth/me");
const QString desktopKeyPath = QStringLiteral("/api/v1/desktop/key");
const QString keysPath = QStringLiteral("/api/v1/keys");

RelayReply reply(int status, const QByteArray &body, QList<QPair<QByteArray, QByteArray>> headers = {})
{
    RelayReply scripted;
    scripted.status = status;
    scripted.body = body;
    scripted.headers = std::move(headers);
    return scripted;
}

} // namespace

class TestRelayClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void headers_data();
    void headers();
    void replies_data();
    void replies();
    void signIn_data();
    void signIn();
    void syncAccountAndModels();
    void issueKey_data();
    void issueKey();
    void closingEndsWaitingRequests();
    void probe_data();
    void probe();

private:
    QUrl router() const { return m_relay->baseUrl(); }

    std::unique_ptr<RelayServer> m_relay;
    std::unique_ptr<RelayServer> m_elsewhere; // another origin: another port
    std::unique_ptr<RelayClient> m_client;
};

void TestRelayClient::init()
{
    m_relay = std::make_unique<RelayServer>();
    m_elsewhere = std::make_unique<RelayServer>();
    QVERIFY(AgentFixtures::startRelay(*m_relay) && m_elsewhere->listen());
    m_client = std::make_unique<RelayClient>(400ms);
}

void TestRelayClient::headers_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("bearer");
    QTest::addRow("GET, no credential") << QByteArray("GET") << QString();
    QTest::addRow("POST with a body and a bearer") << QByteArray("POST") << QStringLiteral("tok-1");
}

void TestRelayClient::headers()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, bearer);
    const std::optional<QByteArray> body
        = method == "POST" ? std::optional<QByteArray>("{\"a\":1}") : std::nullopt;
    m_relay->script("*", QStringLiteral("/x"), reply(200, "{}"));
    // The router's path never counts: the request's path is absolute.
    QUrl base = router();
    base.setPath(QStringLiteral("/relay/v1"));
    const auto outcome = finish(m_client->request(base, QStringLiteral("/x"), method, body, bearer));
    QVERIFY2(outcome.value, qPrintable(outcome.failure));
    QCOMPARE(m_relay->requests().size(), 1);
    const RecordedRequest sent = m_relay->requests().first();
    QCOMPARE(sent.method, method);
    QCOMPARE(sent.path, QStringLiteral("/x"));
    QCOMPARE(sent.headers.value("accept"), QByteArray("application/json"));
    QCOMPARE(sent.headers.value("content-type"), body ? QByteArray("application/json") : QByteArray());
    QCOMPARE(sent.body, body.value_or(QByteArray()));
    QCOMPARE(
        sent.headers.value("authorization"), bearer.isEmpty() ? QByteArray() : "Bearer " + bearer.toUtf8());
}

void TestRelayClient::replies_data()
{
    QTest::addColumn<RelayReply>("scripted");
    QTest::addColumn<QString>("expected"); // the value as compact JSON, or "!" and the failure
    const auto stalled = [] {
        RelayReply stall;
        stall.stall = true;
        return stall;
    }();
    const auto cut = [] {
        RelayReply cutOff = reply(200, "{\"data\":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18]}");
        cutOff.closeMidBody = true;
        return cutOff;
    }();
    QTest::addRow("object") << reply(200, "{\"data\":{\"a\":1}}") << QStringLiteral("{\"data\":{\"a\":1}}");
    QTest::addRow("array, 201") << reply(201, "[1]") << QStringLiteral("[1]");
    QTest::addRow("error with message")
        << reply(401, "{\"message\":\"令牌无效\"}") << QStringLiteral("!令牌无效");
    QTest::addRow("error without message") << reply(500, "oops") << QStringLiteral("!接口返回 500");
    QTest::addRow("empty success") << reply(200, "") << u'!' + ServiceTexts::jsonEmpty;
    QTest::addRow("scalar success") << reply(200, "42") << u'!' + ServiceTexts::jsonScalar;
    QTest::addRow("too large") << reply(200, QByteArray(17 * 1024 * 1024, ' '))
                               << u'!' + ServiceTexts::replyTooLarge;
    QTest::addRow("stalled") << stalled << QStringLiteral("!请求超时：服务器 0.4 秒内没有响应");
    QTest::addRow("cut mid-body") << cut << QStringLiteral("!*");
    // A reply is a reply, whatever Qt makes of its status.
    QTest::addRow("407 keeps its message")
        << reply(407, "{\"message\":\"需要代理认证\"}") << QStringLiteral("!需要代理认证");
    QTest::addRow("same-origin redirect") << reply(307, {}, { { "Location", "/y" } }) << QStringLiteral("{}");
    QTest::addRow("redirect to another origin")
        << reply(307, {}, { { "Location", "ELSEWHERE/y" } }) << u'!' + PlatformTexts::redirectRefused;
}

void TestRelayClient::replies()
{
    QFETCH(RelayReply, scripted);
    QFETCH(QString, expected);
    for (auto &[name, value] : scripted.headers)
        value.replace("ELSEWHERE", m_elsewhere->baseUrl().toEncoded());
    m_relay->script("*", QStringLiteral("/x"), scripted);
    m_relay->script("*", QStringLiteral("/y"), reply(200, "{}"));
    m_elsewhere->script("*", QStringLiteral("/y"), reply(200, "{}"));
    const auto outcome = finish(m_client->request(router(), QStringLiteral("/x"), "POST", "{}", "secret"));
    QVERIFY(outcome.done);
    if (expected == u"!*")
        QVERIFY2(!outcome.value && !outcome.failure.isEmpty(), qPrintable(outcome.failure));
    else if (expected.startsWith(u'!'))
        QCOMPARE(outcome.failure, expected.mid(1));
    else
        QCOMPARE(QJsonDocument::fromVariant(outcome.value->toVariant()).toJson(QJsonDocument::Compact),
            expected.toUtf8());
    // Credentials never reach another origin.
    QVERIFY(m_elsewhere->requests().isEmpty());
}

void TestRelayClient::signIn_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected"); // the token, or "!" and the failure
    QTest::addRow("enveloped") << QByteArray(R"({"data":{"access_token":"t-1"}})") << QStringLiteral("t-1");
    QTest::addRow("bare") << QByteArray(R"({"access_token":"t-2"})") << QStringLiteral("t-2");
    QTest::addRow("message") << QByteArray(R"({"data":{"message":"账号已停用"}})")
                             << QStringLiteral("!账号已停用");
    QTest::addRow("no token") << QByteArray(R"({"access_token":""})")
                              << u'!' + ServiceTexts::wrongCredentials;
    QTest::addRow("header injection")
        << QByteArray(R"({"access_token":"demo\r\nX-Injected: yes"})") << u'!' + ServiceTexts::tokenUnusable;
    QTest::addRow("blank at an end") << QByteArray(R"({"access_token":"demo "})")
                                     << u'!' + ServiceTexts::tokenUnusable;
    QTest::addRow("long message cut")
        << R"({"message":")" + QByteArray(4000, 'x') + R"("})" << u'!' + QString(299, u'x') + u'\u2026';
}

void TestRelayClient::signIn()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    m_relay->script("POST", loginPath, reply(200, body));
    const auto outcome
        = finish(m_client->signIn(router(), QStringLiteral("a@b.example"), QStringLiteral(" pw ")));
    QCOMPARE(outcome.value ? *outcome.value : u'!' + outcome.failure, expected);
    const RecordedRequest sent = m_relay->requests(loginPath).first();
    QCOMPARE(sent.body, QByteArray(R"({"email":"a@b.example","password":" pw "})"));
    QVERIFY(!sent.headers.contains("authorization"));
}

void TestRelayClient::syncAccountAndModels()
{
    const DemoAccount &demo = m_relay->account();
    const auto account = finish(m_client->syncAccount(router(), demo.accessToken));
    QVERIFY2(account.value, qPrintable(account.failure));
    QCOMPARE(account.value->name, QStringLiteral("Velmora Demo"));
    QCOMPARE(account.value->key, QStringLiteral("42"));
    QCOMPARE(account.value->groups.size(), demo.groups.size());
    QCOMPARE(m_relay->requests(profilePath).first().headers.value("authorization"),
        "Bearer " + demo.accessToken.toUtf8());

    const auto key = finish(m_client->issueKey(router(), demo.accessToken, QStringLiteral("k"), 34));
    QVERIFY2(key.value, qPrintable(key.failure));
    const auto models = finish(m_client->listModels(router(), *key.value));
    QVERIFY2(models.value && !models.value->isEmpty(), qPrintable(models.failure));
    QCOMPARE(m_relay->requests(QStringLiteral("/v1/models")).first().headers.value("authorization"),
        "Bearer " + key.value->toUtf8());
}

void TestRelayClient::issueKey_data()
{
    QTest::addColumn<int>("desktopRoute"); // 200: scripted body, 404: removed, 405: method removed
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected"); // the key ("ISSUED": the relay's own), or "!" and the failure
    QTest::addColumn<bool>("fellBack");
    QTest::addRow("desktop route") << 0 << QByteArray() << QStringLiteral("ISSUED") << false;
    QTest::addRow("route missing") << 404 << QByteArray() << QStringLiteral("ISSUED") << true;
    QTest::addRow("method missing") << 405 << QByteArray() << QStringLiteral("ISSUED") << true;
    QTest::addRow("other failure, no fallback")
        << 500 << QByteArray(R"({"message":"额度不足"})") << QStringLiteral("!额度不足") << false;
    QTest::addRow("api_key member") << 200 << QByteArray(R"({"data":{"api_key":"sk-a"}})")
                                    << QStringLiteral("sk-a") << false;
    QTest::addRow("no key") << 200 << QByteArray(R"({"data":{"key":7}})") << u'!' + ServiceTexts::keyMissing
                            << false;
    QTest::addRow("key with a line feed")
        << 200 << QByteArray(R"({"key":"sk-a\nb"})") << u'!' + ServiceTexts::keyUnusable << false;
    QTest::addRow("key with a blank at an end")
        << 200 << QByteArray(R"({"key":"sk-a "})") << u'!' + ServiceTexts::keyUnusable << false;
}

void TestRelayClient::issueKey()
{
    QFETCH(int, desktopRoute);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QFETCH(bool, fellBack);
    if (desktopRoute == 404 || desktopRoute == 405)
        m_relay->removeRoute("POST", desktopKeyPath, desktopRoute == 405);
    else if (desktopRoute)
        m_relay->script("POST", desktopKeyPath, reply(desktopRoute, body));
    const QString token = m_relay->account().accessToken;
    const auto outcome = finish(m_client->issueKey(router(), token, QStringLiteral("  "), 12));
    if (expected == u"ISSUED")
        expected = m_relay->issuedKeys().value(12);
    QCOMPARE(outcome.value ? *outcome.value : u'!' + outcome.failure, expected);
    QCOMPARE(m_relay->requests(keysPath).size(), fellBack ? 1 : 0);
    // A blank key name is replaced; the session token authorises the request.
    const RecordedRequest sent = m_relay->requests(desktopKeyPath).first();
    QCOMPARE(sent.body, QByteArray(R"({"group_id":12,"name":"Velmora Connect"})"));
    QCOMPARE(sent.headers.value("authorization"), "Bearer " + token.toUtf8());
}

void TestRelayClient::closingEndsWaitingRequests()
{
    RelayReply stall;
    stall.stall = true;
    m_relay->script("*", QStringLiteral("/x"), stall);
    Outcome<QJsonValue> outcome;
    capture(m_client->request(router(), QStringLiteral("/x")), &outcome);
    QTRY_COMPARE(m_relay->requests().size(), 1);
    m_client.reset();
    // The waiting task resumed and ended: its frame is freed (LeakSanitizer in the sanitize build).
    QVERIFY(outcome.done);
    QVERIFY(!outcome.failure.isEmpty());
}

QTEST_GUILESS_MAIN(TestRelayClient)
#include "tst_relayclient.moc"

void TestRelayClient::probe_data()
{
    QTest::addColumn<WireProtocol>("protocol");
    QTest::addColumn<RelayReply>("scripted"); // status 0: the demo's own answer
    QTest::addColumn<bool>("issued"); // the probe carries a key the relay issued
    QTest::addColumn<ProbeAnswer::Verdict>("verdict");
    QTest::addColumn<QString>("path"); // the call the relay received
    QTest::addColumn<QString>("message"); // the relay's words in the answer; "RETRY n": Retry-After
    using enum ProbeAnswer::Verdict;
    using enum WireProtocol;
    const RelayReply demo = reply(0, {});
    const QString chat = QStringLiteral("/v1/chat/completions");
    QTest::addRow("Responses") << responses << demo << true << accepted << u"/v1/responses"_qs << QString();
    QTest::addRow("Messages") << messages << demo << true << accepted << u"/v1/messages"_qs << QString();
    QTest::addRow("generateContent") << generateContent << demo << true << accepted
                                     << u"/v1beta/models/m 1:generateContent"_qs << QString();
    QTest::addRow("Chat Completions") << chatCompletions << demo << true << accepted << chat << QString();
    QTest::addRow("revoked key") << chatCompletions << demo << false << keyRefused << chat
                                 << u"无效的 API Key"_qs;
    QTest::addRow("unknown model, 404")
        << chatCompletions << reply(404, R"({"error":{"message":"model m 1 not found"}})") << true
        << modelUnknown << chat << u"model m 1 not found"_qs;
    QTest::addRow("unknown model, named")
        << chatCompletions << reply(400, R"({"error":{"code":"model_not_found","message":"无此模型"}})")
        << true << modelUnknown << chat << u"无此模型"_qs;
    QTest::addRow("rate-limited") << chatCompletions << reply(429, "{}", { { "Retry-After", "7" } }) << true
                                  << rateLimited << chat << u"RETRY 7"_qs;
    QTest::addRow("server error quoting the key")
        << chatCompletions << reply(502, R"({"error":{"message":"upstream refused KEY"}})") << true << refused
        << chat << u"upstream refused ***"_qs;
    // Masked before the text is cut to what the window shows, and a leading part too.
    const QByteArray padding(250, 'x');
    QTest::addRow("the key quoted late")
        << chatCompletions << reply(502, R"({"error":{"message":")" + padding + R"( Bearer KEY"}})") << true
        << refused << chat << QString::fromLatin1(padding + " Bearer ***");
    QTest::addRow("the key's leading part quoted")
        << chatCompletions << reply(401, R"({"error":{"message":"bad key HALFKEY..."}})") << true
        << keyRefused << chat << u"bad key ***..."_qs;
    // Decided from the status, and over at the limit however slowly the body comes.
    RelayReply dribbled = reply(200, QByteArray(100, ' '));
    dribbled.dribbleMs = 100;
    QTest::addRow("accepted, its body dribbling")
        << chatCompletions << dribbled << true << accepted << chat << QString();
    dribbled.status = 502;
    QTest::addRow("refused, its body dribbling")
        << chatCompletions << dribbled << true << refused << chat << QString();
    RelayReply stall;
    stall.stall = true;
    QTest::addRow("stalled") << chatCompletions << stall << true << timedOut << chat
                             << PlatformTexts::timedOut.arg(0.4);
    QTest::addRow("redirect to another origin")
        << chatCompletions << reply(307, {}, { { "Location", "ELSEWHERE/v1/chat/completions" } }) << true
        << unreachable << chat << PlatformTexts::redirectRefused;
}

// One model call as the agent makes it, in each protocol, and each answer of the relay.
void TestRelayClient::probe()
{
    QFETCH(WireProtocol, protocol);
    QFETCH(RelayReply, scripted);
    QFETCH(bool, issued);
    QFETCH(ProbeAnswer::Verdict, verdict);
    QFETCH(QString, path);
    QFETCH(QString, message);
    for (auto &[name, value] : scripted.headers)
        value.replace("ELSEWHERE", m_elsewhere->baseUrl().toEncoded());
    const auto token
        = finish(m_client->signIn(router(), m_relay->account().email, m_relay->account().password));
    const auto key = finish(m_client->issueKey(router(), token.value.value_or(QString()), u"n"_qs, 12));
    QVERIFY(key.value);
    const QString sent = issued ? *key.value : QStringLiteral("sk-revoked");
    scripted.body.replace("HALFKEY", sent.left(20).toUtf8()).replace("KEY", sent.toUtf8());
    if (scripted.status != 0)
        m_relay->script("POST", path, scripted);
    const QString root = router().toString(QUrl::StripTrailingSlash);
    const bool v1 = protocol == WireProtocol::responses || protocol == WireProtocol::chatCompletions;
    m_relay->clearRequests();

    const auto answer
        = finish(m_client->probe(protocol, root + (v1 ? u"/v1"_qs : QString()), sent, u"m 1"_qs, 400ms));
    QVERIFY(answer.value);
    QVERIFY2(answer.value->roundTrip < 2s, qPrintable(QString::number(answer.value->roundTrip.count())));
    QCOMPARE(answer.value->verdict, verdict);
    if (message.startsWith(u"RETRY "))
        QCOMPARE(answer.value->retryAfterSeconds, message.mid(6).toLongLong());
    else
        QCOMPARE(answer.value->message, message);
    QVERIFY(!answer.value->message.contains(sent.left(12)));
    const QList<RecordedRequest> calls = m_relay->requests(path);
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().headers.value("authorization"), "Bearer " + sent.toUtf8());
    QVERIFY(m_elsewhere->requests().isEmpty());
}
