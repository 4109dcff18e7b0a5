// The local relay the integration tests, the demo and the agents run against, seen from a plain
// HTTP client: the agents' model calls and the command with its scenarios. The sign-in and key routes
// are exercised by the tests of the layers that call them.

#include "agentfixtures.h"
#include "agents/agentkind.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

using namespace AgentFixtures;

class TestRelay : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void modelCalls_data();
    void modelCalls();
    void command_data();
    void command();

private:
    struct Result
    {
        int status = 0;
        QByteArray body;
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        QByteArray contentType;
    };
    Result fetch(const QByteArray &method, const QString &path, const QByteArray &body = {},
        const QByteArray &bearer = {});

    std::unique_ptr<RelayServer> m_relay;
    QUrl m_base;
    QNetworkAccessManager m_network;
};

void TestRelay::init()
{
    m_relay = std::make_unique<RelayServer>();
    QVERIFY(m_relay->listen() != 0);
    m_base = m_relay->baseUrl();
}

TestRelay::Result TestRelay::fetch(
    const QByteArray &method, const QString &path, const QByteArray &body, const QByteArray &bearer)
{
    QNetworkRequest request(m_base.resolved(QUrl(path)));
    if (!bearer.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + bearer);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    std::unique_ptr<QNetworkReply> reply(m_network.sendCustomRequest(request, method, body));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(30000))
        return {};
    return { reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
        reply->error(), reply->rawHeader("Content-Type") };
}

void TestRelay::modelCalls_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("event"); // the event holding the text; empty: the whole reply
    QTest::addColumn<QString>("text"); // where the text stands in it
    const auto row = [](const char *name, const char *path, const QByteArray &body, const char *event,
                         const char *text) {
        QTest::newRow(name) << QString::fromUtf8(path) << body << QString::fromUtf8(event)
                            << QString::fromUtf8(text);
    };
    const QByteArray model = R"({"model":"m-1","input":"ping"})";
    const QByteArray stream = R"({"model":"m-1","stream":true})";
    row("responses", "/v1/responses", model, "", "output/0/content/0/text");
    row("responses, streamed", "/v1/responses", stream, "response.completed",
        "response/output/0/content/0/text");
    row("messages", "/v1/messages", model, "", "content/0/text");
    row("messages, streamed", "/v1/messages", stream, "content_block_delta", "delta/text");
    row("chat", "/v1/chat/completions", model, "", "choices/0/message/content");
    row("chat, streamed", "/v1/chat/completions", stream, "", "choices/0/delta/content");
    row("gemini", "/v1beta/models/m-1:generateContent", "{}", "", "candidates/0/content/parts/0/text");
    row("gemini, streamed", "/v1beta/models/m-1:streamGenerateContent", "{}", "",
        "candidates/0/content/parts/0/text");
}

// Every protocol answers "pong" where its clients read the text, streamed when asked, and
// only to a key it issued; the call log records path, key and model.
void TestRelay::modelCalls()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(QString, event);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QCOMPARE(m_relay->setCallLog(dir.filePath(QStringLiteral("calls"))), QString());
    const Result issued
        = fetch("POST", QStringLiteral("/api/v1/keys"), R"({"name":"n","group_id":1})", "demo-access-token");
    const QByteArray key = QJsonDocument::fromJson(issued.body)["data"]["key"].toString().toUtf8();
    const Result result = fetch("POST", path, body, key);
    QCOMPARE(result.status, 200);
    const bool streamed = body.contains("stream") || path.contains(QLatin1String("stream"));
    QCOMPARE(result.contentType, streamed ? QByteArray("text/event-stream") : QByteArray("application/json"));

    QString found;
    QByteArray lastEvent;
    const QList<QByteArray> blocks
        = streamed ? result.body.split('\n') : QList<QByteArray> { "data: " + result.body };
    for (const QByteArray &line : blocks) {
        if (line.startsWith("event: "))
            lastEvent = line.mid(7);
        if (!line.startsWith("data: ") || line == "data: [DONE]" || !found.isEmpty())
            continue;
        QJsonValue value = QJsonDocument::fromJson(line.mid(6)).object();
        QVERIFY2(value.isObject() && !value.toObject().isEmpty(), line.constData());
        for (const QString &step : text.split(u'/'))
            value = value.isArray() ? value[step.toInt()] : value[step];
        if (value.isString() && QString::fromUtf8(lastEvent) == event)
            found = value.toString();
    }
    QCOMPARE(found, QStringLiteral("pong"));
    QCOMPARE(QJsonDocument::fromJson(readFile(dir.filePath(QStringLiteral("calls")))).object(),
        QJsonObject(
            { { "path", path }, { "key", QString::fromUtf8(key) }, { "model", "m-1" }, { "status", 200 } }));
    QCOMPARE(fileMode(dir.filePath(QStringLiteral("calls"))), 0600);
    QCOMPARE(fetch("POST", path, body, "sk-velmora-not-issued").status, 401);
    // Serving only the models it lists, the relay refuses another model as relays do.
    m_relay->account().listedModelsOnly = true;
    const Result unlisted = fetch("POST", path, body, key);
    QCOMPARE(unlisted.status, 404);
    QCOMPARE(QJsonDocument::fromJson(unlisted.body)["error"]["code"].toString(),
        QStringLiteral("model_not_found"));
    m_relay->account().models = { QJsonObject { { "id", "m-1" } } };
    QCOMPARE(fetch("POST", path, body, key).status, 200);
}

void TestRelay::command_data()
{
    QTest::addColumn<QByteArray>("scenario");
    QTest::addColumn<QString>("error"); // empty: the relay serves
    QTest::newRow("scenario") << QByteArray(R"({
        "account": {"email": "a@b.example", "password": "pw", "accessToken": "tok", "groups": []},
        "routes": [{"path": "/v1/models", "status": 500, "bodyText": "坏了", "headers": {"Content-Type": "text/plain"}},
                   {"path": "/agent-packages/cut.zip", "bodyText": "CUT", "closeMidBody": true}],
        "packages": {"one.zip": "inline text", "big.dmg": "BIG"}})")
                              << QString();
    QTest::newRow("not JSON") << QByteArray("{routes") << "velmora-relay-sim: %1: unterminated object";
}

// The command serves a scenario: its account and routes replace the demo's, its packages, from
// memory or from a file (streamed: a large one arrives whole), join those of the six installers.
// A bad scenario stops it.
void TestRelay::command()
{
    QFETCH(QByteArray, scenario);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("scenario.json"));
    const QString big = dir.filePath(QStringLiteral("big.dmg"));
    QByteArray bytes;
    for (int block = 0; block < 64; ++block)
        bytes += QByteArray(256 * 1024, char('a' + block % 26));
    QVERIFY(writeFile(big, bytes));
    QVERIFY(writeFile(
        file, scenario.replace("CUT", QByteArray(4000, 'x')).replace("BIG", QFile::encodeName(big))));
    QProcess relay;
    relay.start(builtToolPath(QStringLiteral("velmora-relay-sim")),
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--scenario"), file });
    if (!error.isEmpty()) {
        QVERIFY(relay.waitForFinished(20000));
        QCOMPARE(relay.exitCode(), 2);
        QCOMPARE(QString::fromUtf8(relay.readAllStandardError()).trimmed(), error.arg(file));
        return;
    }
    QVERIFY(relay.waitForReadyRead(20000));
    m_base = QUrl(QString::fromUtf8(relay.readLine().trimmed()));
    for (int installer = 0; installer <= int(OfficialInstaller::deepSeek); ++installer) {
        const QString name = packageFileName(OfficialInstaller(installer));
        const Result package = fetch("GET", QStringLiteral("/agent-packages/") + name);
        QVERIFY2(package.status == 200 && !package.body.isEmpty(), qPrintable(name));
    }
    QCOMPARE(fetch("POST", QStringLiteral("/api/v1/auth/login"), R"({"email":"a@b.example","password":"pw"})")
                 .body,
        QByteArray(R"({"access_token":"tok","token_type":"bearer"})"));
    const Result routed = fetch("GET", QStringLiteral("/v1/models"));
    QCOMPARE(QList<QVariant>({ routed.status, routed.contentType, routed.body }),
        QList<QVariant>({ 500, QByteArray("text/plain"), QStringLiteral("坏了").toUtf8() }));
    QCOMPARE(fetch("GET", QStringLiteral("/agent-packages/one.zip")).body, QByteArray("inline text"));
    QVERIFY(fetch("GET", QStringLiteral("/agent-packages/big.dmg")).body == bytes);
    const Result cut = fetch("GET", QStringLiteral("/agent-packages/cut.zip"));
    QCOMPARE(cut.error, QNetworkReply::RemoteHostClosedError);
    QVERIFY(cut.body.size() <= 2000);
    relay.terminate();
    QVERIFY(relay.waitForFinished());
}

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
