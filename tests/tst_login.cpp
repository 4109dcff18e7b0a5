#include "relayserver.h"
#include "state/connectstate.h"
#include "testplatform.h"

#include <QJsonDocument>
#include <QMetaMethod>
#include <QTcpServer>
#include <QtTest>

namespace {

const QString loginPath = QStringLiteral("/api/v1/auth/login");
const QString mePath = QStringLiteral("/api/v1/auth/me");
const QString groupsPath = QStringLiteral("/api/v1/groups/available");
const QString signedInText = QStringLiteral("登录成功，请选择渠道接口后接入。");
const QString demoDetail = QStringLiteral("已同步 3 个渠道接口；请选择渠道后接入");
const QStringList demoGroups { QStringLiteral("1|openai|默认渠道"), QStringLiteral("2|anthropic|Claude 专线"),
    QStringLiteral("3||") };
const QStringList defaultModels { QStringLiteral("gpt-5.6-sol"), QStringLiteral("gpt-5.5"),
    QStringLiteral("gemini-2.0-flash"), QStringLiteral("kimi-k3"), QStringLiteral("deepseek-v4-pro") };

QStringList render(const QList<RemoteGroup> &groups)
{
    QStringList lines;
    for (const RemoteGroup &group : groups)
        lines.append(QStringLiteral("%1|%2|%3").arg(group.id).arg(group.platform, group.name));
    return lines;
}

QStringList ids(const QList<RemoteModel> &models)
{
    QStringList list;
    for (const RemoteModel &model : models)
        list.append(model.id);
    return list;
}

QStringList paths(const QList<RecordedRequest> &requests)
{
    QStringList list;
    for (const RecordedRequest &request : requests)
        list.append(request.path);
    return list;
}

} // namespace

// Every notify signal of the state, in the order emitted.
class SignalRecorder : public QObject
{
    Q_OBJECT
public:
    explicit SignalRecorder(QObject *source)
    {
        const QMetaObject *meta = source->metaObject();
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("record()"));
        for (int index = 0; index < meta->methodCount(); ++index) {
            const QMetaMethod method = meta->method(index);
            if (method.methodType() == QMetaMethod::Signal && method.name().endsWith("Changed"))
                connect(source, method, this, slot);
        }
    }
    QList<QByteArray> emitted;

public Q_SLOTS:
    void record() { emitted.append(sender()->metaObject()->method(senderSignalIndex()).name()); }
};

// Sign-in and account synchronisation, end to end against the local relay.
class TestLogin : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void refusedBeforeSending_data();
    void refusedBeforeSending();
    void signIn_data();
    void signIn();
    void failure_data();
    void failure();
    void selectedModel_data();
    void selectedModel();
    void laterLoginReplacesTheSession();
    void loginWhileBusyStartsAnyway();
    void stateDestroyedWhileSigningIn();

private:
    // Presses the login button and waits for the operation to end.
    void runLogin();
    void signInFirst();

    std::unique_ptr<RelayServer> m_relay;
    std::shared_ptr<TestPlatform> m_platform;
    std::unique_ptr<ConnectState> m_state;
};

void TestLogin::init()
{
    m_relay = std::make_unique<RelayServer>();
    QVERIFY(m_relay->listen() != 0);
    m_platform = std::make_shared<TestPlatform>();
    m_platform->timeout = std::chrono::milliseconds(500);
    m_state = std::make_unique<ConnectState>(m_platform);
    m_state->setRouterURL(m_relay->baseUrl().toString());
    m_state->setUsername(m_relay->account().email);
    m_state->setPassword(m_relay->account().password);
}

void TestLogin::cleanup()
{
    m_state.reset();
    m_relay.reset();
}

void TestLogin::runLogin()
{
    SignalRecorder recorder(m_state.get());
    m_state->login();
    QVERIFY(m_state->busy());
    QCOMPARE(m_state->activity(), QStringLiteral("正在安全登录 Velmora…"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_state->busy(), 20000);
    // busy is the very last assignment of the operation.
    QCOMPARE(recorder.emitted.last(), QByteArray("busyChanged"));
    QCOMPARE(recorder.emitted.count("busyChanged"), 2);
}

void TestLogin::signInFirst()
{
    runLogin();
    QCOMPARE(m_state->activity(), signedInText);
    m_relay->clearRequests();
}

void TestLogin::refusedBeforeSending_data()
{
    QTest::addColumn<QString>("router"); // "relay": the relay's own URL
    QTest::addColumn<QString>("username");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("activity");

    const QString invalid = QStringLiteral("API 根地址无效。");
    const QString missing = QStringLiteral("请输入账号和密码。");
    const QString email = QStringLiteral("demo@velmora.example");
    const QString password = QStringLiteral("velmora-demo");
    QTest::newRow("no scheme") << "127.0.0.1:8787" << email << password << invalid;
    QTest::newRow("other scheme") << "ftp://127.0.0.1" << email << password << invalid;
    QTest::newRow("upper-case scheme") << "HTTP://127.0.0.1" << email << password << invalid;
    QTest::newRow("user part") << "http://demo@127.0.0.1" << email << password << invalid;
    QTest::newRow("query") << "http://127.0.0.1/?a=1" << email << password << invalid;
    QTest::newRow("fragment") << "http://127.0.0.1/#a" << email << password << invalid;
    QTest::newRow("empty root") << "" << email << password << invalid;
    QTest::newRow("invalid root and no password") << "ftp://127.0.0.1" << email << "" << invalid;
    QTest::newRow("empty e-mail") << "relay"
                                  << "" << password << missing;
    QTest::newRow("blank e-mail") << "relay"
                                  << " \t\n " << password << missing;
    QTest::newRow("empty password") << "relay" << email << "" << missing;
}

void TestLogin::refusedBeforeSending()
{
    QFETCH(QString, router);
    QFETCH(QString, username);
    QFETCH(QString, password);
    QFETCH(QString, activity);
    m_state->setRouterURL(router == QLatin1String("relay") ? m_relay->baseUrl().toString() : router);
    m_state->setUsername(username);
    m_state->setPassword(password);
    QSignalSpy busy(m_state.get(), &ConnectState::busyChanged);

    m_state->login();
    QCOMPARE(m_state->activity(), activity);
    QCOMPARE(busy.count(), 0);
    QVERIFY(!m_state->busy());
    QVERIFY(!m_state->authenticated());
    QCOMPARE(m_state->password(), password);
    QTest::qWait(50); // nothing may be sent later either
    QVERIFY(m_relay->requests().isEmpty());
}

void TestLogin::signIn_data()
{
    QTest::addColumn<QString>("routerSuffix");
    QTest::addColumn<QString>("routerAround"); // white space typed around the root
    QTest::addColumn<QString>("username");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("loginReply"); // empty: the relay's own answer
    QTest::addColumn<QByteArray>("profileReply"); // empty: the relay's own answer
    QTest::addColumn<QByteArray>("sentBody");
    QTest::addColumn<QString>("accountName");
    QTest::addColumn<QString>("accountKey");

    const QString email = QStringLiteral("demo@velmora.example");
    const QByteArray demoBody = R"({"email":"demo@velmora.example","password":"velmora-demo"})";
    const QString demoName = QStringLiteral("Velmora Demo");
    QTest::newRow("demo account") << ""
                                  << "" << email << "velmora-demo" << QByteArray() << QByteArray() << demoBody
                                  << demoName << "42";
    QTest::newRow("root with /v1/ and blanks")
        << "/v1/"
        << " \n"
        << email << "velmora-demo" << QByteArray() << QByteArray() << demoBody << demoName << "42";
    QTest::newRow("root with a path")
        << "/base/v1"
        << "" << email << "velmora-demo" << QByteArray() << QByteArray() << demoBody << demoName << "42";
    QTest::newRow("e-mail with blanks")
        << ""
        << ""
        << " demo@velmora.example\n"
        << "velmora-demo" << QByteArray() << QByteArray() << demoBody << demoName << "42";
    QTest::newRow("password of blanks")
        << ""
        << "" << email << "   " << QByteArray() << QByteArray()
        << QByteArray(R"({"email":"demo@velmora.example","password":"   "})") << demoName << "42";
    QTest::newRow("token in the data envelope")
        << ""
        << "" << email << "velmora-demo" << QByteArray(R"({"data":{"access_token":"demo-access-token"}})")
        << QByteArray() << demoBody << demoName << "42";
    QTest::newRow("empty display name")
        << ""
        << "" << email << "velmora-demo" << QByteArray()
        << QByteArray(R"({"data":{"display_name":"","name":"N","email":"e@x"}})") << demoBody << ""
        << "e@x";
    QTest::newRow("profile without id or email")
        << ""
        << "" << email << "velmora-demo" << QByteArray() << QByteArray(R"({"name":"Only Name"})") << demoBody
        << "Only Name"
        << "Only Name";
    QTest::newRow("empty profile") << ""
                                   << "" << email << "velmora-demo" << QByteArray() << QByteArray("{}")
                                   << demoBody << "已登录账户"
                                   << "已登录账户";
}

void TestLogin::signIn()
{
    QFETCH(QString, routerSuffix);
    QFETCH(QString, routerAround);
    QFETCH(QString, username);
    QFETCH(QString, password);
    QFETCH(QByteArray, loginReply);
    QFETCH(QByteArray, profileReply);
    QFETCH(QByteArray, sentBody);
    QFETCH(QString, accountName);
    QFETCH(QString, accountKey);

    m_relay->account().password = password;
    if (!loginReply.isEmpty())
        m_relay->script("POST", loginPath, RelayReply { 200, loginReply, {}, 0, false, false, {} });
    if (!profileReply.isEmpty())
        m_relay->script("GET", mePath, RelayReply { 200, profileReply, {}, 0, false, false, {} });
    m_state->setRouterURL(routerAround + m_relay->baseUrl().toString() + routerSuffix + routerAround);
    m_state->setUsername(username);
    m_state->setPassword(password);

    runLogin();
    QCOMPARE(m_state->activity(), signedInText);
    QVERIFY(!m_state->busy());
    QVERIFY(m_state->authenticated());
    QCOMPARE(m_state->password(), QString());
    QCOMPARE(m_state->username(), username); // only what is sent is trimmed
    QCOMPARE(m_state->accountName(), accountName);
    QCOMPARE(m_state->accountDetail(), demoDetail);
    QCOMPARE(render(m_state->groups()), demoGroups);
    QVERIFY(!m_state->selectedGroupID().has_value());
    QCOMPARE(ids(m_state->models()), defaultModels);
    QCOMPARE(m_state->selectedModel(), QStringLiteral("gpt-5.6-sol"));
    QCOMPARE(m_state->m_accessToken, QStringLiteral("demo-access-token"));
    QCOMPARE(m_state->m_accountKey, accountKey);

    // Three calls, one after the other, at the root's scheme, host and port.
    const QList<RecordedRequest> &received = m_relay->requests();
    QCOMPARE(paths(received), (QStringList { loginPath, mePath, groupsPath }));
    const RecordedRequest &login = received.at(0);
    QCOMPARE(login.method, QByteArray("POST"));
    QCOMPARE(login.body, sentBody);
    QCOMPARE(login.headers.value("accept"), QByteArray("application/json"));
    QCOMPARE(login.headers.value("content-type"), QByteArray("application/json"));
    QVERIFY(!login.headers.contains("authorization"));
    for (const RecordedRequest &sync : received.mid(1)) {
        QCOMPARE(sync.method, QByteArray("GET"));
        QCOMPARE(sync.body, QByteArray());
        QCOMPARE(sync.headers.value("accept"), QByteArray("application/json"));
        QVERIFY(!sync.headers.contains("content-type"));
        QCOMPARE(sync.headers.value("authorization"), QByteArray("Bearer demo-access-token"));
    }
}

void TestLogin::failure_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path"); // the route that fails
    QTest::addColumn<QString>("mode"); // reply, stall, cut, missing, refused, password
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("activity");
    QTest::addColumn<QString>("stage"); // login, sync, empty
    QTest::addColumn<QStringList>("received");

    const QStringList onlyLogin { loginPath };
    const QStringList toProfile { loginPath, mePath };
    const QStringList all { loginPath, mePath, groupsPath };
    const QByteArray post = "POST";
    const QByteArray get = "GET";
    const QString reply = QStringLiteral("reply");
    const QString login = QStringLiteral("login");
    const QString sync = QStringLiteral("sync");
    const QString empty = QStringLiteral("empty");
    const QString timeout = QStringLiteral("登录失败：请求超时：服务器 0.5 秒内没有响应");

    // The login call fails.
    QTest::newRow("wrong password") << post << loginPath << "password" << 0 << QByteArray()
                                    << "登录失败：邮箱或密码错误" << login << onlyLogin;
    QTest::newRow("401 with a message")
        << post << loginPath << reply << 401 << QStringLiteral(R"({"message":"账号已停用"})").toUtf8()
        << "登录失败：账号已停用" << login << onlyLogin;
    QTest::newRow("502 with HTML") << post << loginPath << reply << 502
                                   << QByteArray("<html>Bad Gateway</html>") << "登录失败：接口返回 502"
                                   << login << onlyLogin;
    QTest::newRow("400 with an empty message")
        << post << loginPath << reply << 400 << QByteArray(R"({"message":""})") << "登录失败：" << login
        << onlyLogin;
    QTest::newRow("400 with a numeric message")
        << post << loginPath << reply << 400 << QByteArray(R"({"message":400})") << "登录失败：接口返回 400"
        << login << onlyLogin;
    QTest::newRow("500 with the message inside data")
        << post << loginPath << reply << 500 << QByteArray(R"({"data":{"message":"inner"}})")
        << "登录失败：接口返回 500" << login << onlyLogin;
    QTest::newRow("route missing") << post << loginPath << "missing" << 0 << QByteArray()
                                   << "登录失败：接口返回 404" << login << onlyLogin;
    QTest::newRow("200 with an empty body")
        << post << loginPath << reply << 200 << QByteArray() << "登录失败：JSON 解析失败：服务器返回了空内容"
        << login << onlyLogin;
    QTest::newRow("204 with an empty body")
        << post << loginPath << reply << 204 << QByteArray() << "登录失败：JSON 解析失败：服务器返回了空内容"
        << login << onlyLogin;
    QTest::newRow("200 with a bare scalar")
        << post << loginPath << reply << 200 << QByteArray(R"("ok")")
        << "登录失败：JSON 解析失败：顶层不是对象或数组" << login << onlyLogin;
    QTest::newRow("200 with HTML") << post << loginPath << reply << 200 << QByteArray("<html>ok</html>")
                                   << "登录失败：JSON 解析失败：illegal value（位置 1）" << login
                                   << onlyLogin;
    QTest::newRow("200 with only a message")
        << post << loginPath << reply << 200 << QStringLiteral(R"({"message":"请先验证邮箱"})").toUtf8()
        << "登录失败：请先验证邮箱" << login << onlyLogin;
    QTest::newRow("200 without a token") << post << loginPath << reply << 200 << QByteArray("{}")
                                         << "登录失败：账号或密码不正确" << login << onlyLogin;
    QTest::newRow("200 with an empty token")
        << post << loginPath << reply << 200 << QByteArray(R"({"access_token":""})")
        << "登录失败：账号或密码不正确" << login << onlyLogin;
    QTest::newRow("numeric token and message")
        << post << loginPath << reply << 200 << QByteArray(R"({"access_token":5,"message":9})")
        << "登录失败：账号或密码不正确" << login << onlyLogin;
    QTest::newRow("200 with an array")
        << post << loginPath << reply << 200 << QByteArray(R"([{"access_token":"t"}])")
        << "登录失败：账号或密码不正确" << login << onlyLogin;
    QTest::newRow("token beside a null envelope")
        << post << loginPath << reply << 200 << QByteArray(R"({"data":null,"access_token":"t"})")
        << "登录失败：账号或密码不正确" << login << onlyLogin;
    QTest::newRow("stall past the time-out")
        << post << loginPath << "stall" << 0 << QByteArray() << timeout << login << onlyLogin;
    QTest::newRow("connection cut mid-body")
        << post << loginPath << "cut" << 200 << QByteArray(R"({"access_token":"second-token"})")
        << "登录失败：Connection closed" << login << onlyLogin;
    QTest::newRow("connection refused") << post << loginPath << "refused" << 0 << QByteArray()
                                        << "登录失败：Connection refused" << login << QStringList();

    // Account synchronisation fails.
    QTest::newRow("profile 401") << get << mePath << reply << 401
                                 << QStringLiteral(R"({"message":"登录已过期"})").toUtf8()
                                 << "登录失败：登录已过期" << sync << toProfile;
    QTest::newRow("profile with an empty body")
        << get << mePath << reply << 200 << QByteArray() << "登录失败：JSON 解析失败：服务器返回了空内容"
        << sync << toProfile;
    QTest::newRow("groups 500 with HTML") << get << groupsPath << reply << 500 << QByteArray("<h1>oops</h1>")
                                          << "登录失败：接口返回 500" << sync << all;
    QTest::newRow("groups stall") << get << groupsPath << "stall" << 0 << QByteArray() << timeout << sync
                                  << all;
    QTest::newRow("no groups") << get << groupsPath << reply << 200 << QByteArray(R"({"data":[]})")
                               << "登录失败：当前账户没有可用渠道接口" << empty << all;
    QTest::newRow("no usable group") << get << groupsPath << reply << 200
                                     << QByteArray(R"([{"id":"1","name":"string id"},"two"])")
                                     << "登录失败：当前账户没有可用渠道接口" << empty << all;
    QTest::newRow("groups reply not a list")
        << get << groupsPath << reply << 200 << QByteArray(R"({"data":{"total":0}})")
        << "登录失败：当前账户没有可用渠道接口" << empty << all;
}

void TestLogin::failure()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QString, mode);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, activity);
    QFETCH(QString, stage);
    QFETCH(QStringList, received);

    // Start signed in, with a choice made, so that "unchanged" can be told from "reset".
    m_relay->account().accessToken = QStringLiteral("first-token");
    signInFirst();
    m_state->setSelectedGroupID(2);
    m_state->setSelectedModel(QStringLiteral("gpt-5.5"));
    m_relay->account().accessToken = QStringLiteral("second-token");
    m_relay->account().profile = QJsonObject { { QStringLiteral("id"), 77 },
        { QStringLiteral("display_name"), QStringLiteral("Someone Else") } };

    QString typedPassword = m_relay->account().password;
    RelayReply scripted { status, body, {}, 0, false, false, {} };
    if (mode == QLatin1String("password")) {
        typedPassword = QStringLiteral("not-the-password");
    } else if (mode == QLatin1String("missing")) {
        m_relay->removeRoute(method, path);
    } else if (mode == QLatin1String("refused")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        m_state->setRouterURL(QStringLiteral("http://127.0.0.1:%1").arg(port));
    } else {
        scripted.stall = mode == QLatin1String("stall");
        scripted.closeMidBody = mode == QLatin1String("cut");
        m_relay->script(method, path, scripted);
    }
    m_state->setPassword(typedPassword);

    runLogin();
    QCOMPARE(m_state->activity(), activity);
    QVERIFY(!m_state->busy());
    QVERIFY(!m_state->authenticated());
    QCOMPARE(m_state->password(), typedPassword);
    QCOMPARE(paths(m_relay->requests()), received);

    // The state table: what a failure at each stage leaves behind.
    QCOMPARE(m_state->m_accessToken,
        QString::fromLatin1(stage == QLatin1String("login") ? "first-token" : "second-token"));
    if (stage == QLatin1String("empty")) {
        QCOMPARE(render(m_state->groups()), QStringList());
        QVERIFY(!m_state->selectedGroupID().has_value());
    } else {
        QCOMPARE(render(m_state->groups()), demoGroups);
        QCOMPARE(m_state->selectedGroupID(), std::optional<qint64>(2));
    }
    QCOMPARE(m_state->m_accountKey, QStringLiteral("42"));
    QCOMPARE(m_state->accountName(), QStringLiteral("Velmora Demo"));
    QCOMPARE(m_state->accountDetail(), demoDetail);
    QCOMPARE(ids(m_state->models()), defaultModels);
    QCOMPARE(m_state->selectedModel(), QStringLiteral("gpt-5.5"));
}

void TestLogin::selectedModel_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("listed model stays") << "kimi-k3"
                                        << "kimi-k3";
    QTest::newRow("unlisted model replaced by the first") << "gpt-4"
                                                          << "gpt-5.6-sol";
    QTest::newRow("empty selection replaced by the first") << ""
                                                           << "gpt-5.6-sol";
}

void TestLogin::selectedModel()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    m_state->setSelectedModel(before);
    runLogin();
    QCOMPARE(m_state->activity(), signedInText);
    QCOMPARE(m_state->selectedModel(), after);
    QCOMPARE(ids(m_state->models()), defaultModels);
}

void TestLogin::laterLoginReplacesTheSession()
{
    signInFirst();
    m_state->setSelectedGroupID(3);
    m_relay->account().accessToken = QStringLiteral("renewed-token");
    m_relay->account().profile
        = QJsonObject { { QStringLiteral("email"), QStringLiteral("other@velmora.example") } };
    m_relay->account().groups = QJsonArray { QJsonObject { { QStringLiteral("id"), 9 },
        { QStringLiteral("group_name"), QStringLiteral("九") },
        { QStringLiteral("type"), QStringLiteral("Kimi") } } };
    m_state->setPassword(m_relay->account().password);

    runLogin();
    QCOMPARE(m_state->activity(), signedInText);
    QVERIFY(m_state->authenticated());
    QCOMPARE(m_state->password(), QString());
    QCOMPARE(render(m_state->groups()), QStringList { QStringLiteral("9|kimi|九") });
    QVERIFY(!m_state->selectedGroupID().has_value());
    QCOMPARE(m_state->accountName(), QStringLiteral("other@velmora.example"));
    QCOMPARE(m_state->accountDetail(), QStringLiteral("已同步 1 个渠道接口；请选择渠道后接入"));
    QCOMPARE(m_state->m_accessToken, QStringLiteral("renewed-token"));
    QCOMPARE(m_state->m_accountKey, QStringLiteral("other@velmora.example"));
    // The login call never carries the old session; the later calls carry the new one only.
    QVERIFY(!m_relay->requests(loginPath).at(0).headers.contains("authorization"));
    QCOMPARE(m_relay->requests(groupsPath).at(0).headers.value("authorization"),
        QByteArray("Bearer renewed-token"));
}

void TestLogin::loginWhileBusyStartsAnyway()
{
    m_relay->delayRoute("POST", loginPath, 200);
    m_state->login();
    QVERIFY(m_state->busy());
    m_state->login(); // the window disables the button; the operation itself does not refuse
    QCOMPARE(m_state->activity(), QStringLiteral("正在安全登录 Velmora…"));
    QTRY_COMPARE_WITH_TIMEOUT(m_relay->requests(groupsPath).size(), 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_state->busy(), 20000);
    QCOMPARE(m_relay->requests(loginPath).size(), 2);
    QCOMPARE(m_state->activity(), signedInText);
}

void TestLogin::stateDestroyedWhileSigningIn()
{
    m_platform->timeout = std::chrono::milliseconds(60000);
    m_relay->script("GET", groupsPath, RelayReply { 200, {}, {}, 0, true, false, {} });
    m_state->login();
    QTRY_COMPARE_WITH_TIMEOUT(m_relay->requests(groupsPath).size(), 1, 20000);
    m_state.reset(); // the window closes while the last call waits
    QTest::qWait(100);
    QCOMPARE(m_relay->requests().size(), 3);
}

QTEST_GUILESS_MAIN(TestLogin)
#include "tst_login.moc"
