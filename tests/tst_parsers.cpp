#include "platform/connecterror.h"
#include "service/replies.h"

#include <QJsonDocument>
#include <QtTest>

// Reading the relay's replies: envelopes, error texts, groups, models, the profile.
class TestParsers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void unwrapEnvelope_data();
    void unwrapEnvelope();
    void successBody_data();
    void successBody();
    void errorMessage_data();
    void errorMessage();
    void groups_data();
    void groups();
    void models_data();
    void models();
    void displayName_data();
    void displayName();
    void profile_data();
    void profile();
    void syncedDetail();
};

namespace {

// Any JSON text, scalars included, as a value.
QJsonValue json(const QByteArray &text)
{
    return QJsonDocument::fromJson("[" + text + "]").array().at(0);
}

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

QStringList render(const QList<RemoteGroup> &groups)
{
    QStringList lines;
    for (const RemoteGroup &group : groups)
        lines.append(QStringLiteral("%1|%2|%3").arg(group.id).arg(group.platform, group.name));
    return lines;
}

QStringList render(const QList<RemoteModel> &models)
{
    QStringList lines;
    for (const RemoteModel &model : models)
        lines.append(model.id + QLatin1Char('|') + model.owner);
    return lines;
}

} // namespace

void TestParsers::unwrapEnvelope_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("unwrapped");
    QTest::newRow("data array") << QByteArray(R"({"data":[1,2],"message":"ok"})") << QByteArray("[1,2]");
    QTest::newRow("data null") << QByteArray(R"({"data":null})") << QByteArray("null");
    QTest::newRow("data object") << QByteArray(R"({"data":{"key":"k"}})") << QByteArray(R"({"key":"k"})");
    QTest::newRow("data scalar") << QByteArray(R"({"data":0})") << QByteArray("0");
    QTest::newRow("no data") << QByteArray(R"({"access_token":"t"})")
                             << QByteArray(R"({"access_token":"t"})");
    QTest::newRow("data nested once only")
        << QByteArray(R"({"data":{"data":[]}})") << QByteArray(R"({"data":[]})");
    QTest::newRow("array") << QByteArray(R"([{"data":1}])") << QByteArray(R"([{"data":1}])");
    QTest::newRow("string") << QByteArray(R"("data")") << QByteArray(R"("data")");
    QTest::newRow("null") << QByteArray("null") << QByteArray("null");
}

void TestParsers::unwrapEnvelope()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, unwrapped);
    QCOMPARE(::unwrapEnvelope(json(value)), json(unwrapped));
}

void TestParsers::successBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("parsed"); // empty: fails
    QTest::addColumn<QString>("error");
    QTest::newRow("object") << QByteArray(R"({"access_token":"t"})") << QByteArray(R"({"access_token":"t"})")
                            << QString();
    QTest::newRow("array") << QByteArray(" [1, {\"a\": null}]\n") << QByteArray(R"([1,{"a":null}])")
                           << QString();
    QTest::newRow("empty object") << QByteArray("{}") << QByteArray("{}") << QString();
    QTest::newRow("empty") << QByteArray() << QByteArray()
                           << QStringLiteral("JSON 解析失败：服务器返回了空内容");
    QTest::newRow("blank") << QByteArray(" \r\n") << QByteArray()
                           << QStringLiteral("JSON 解析失败：服务器返回了空内容");
    QTest::newRow("number") << QByteArray("42") << QByteArray()
                            << QStringLiteral("JSON 解析失败：顶层不是对象或数组");
    QTest::newRow("string") << QByteArray(R"("ok")") << QByteArray()
                            << QStringLiteral("JSON 解析失败：顶层不是对象或数组");
    QTest::newRow("null") << QByteArray("null") << QByteArray()
                          << QStringLiteral("JSON 解析失败：顶层不是对象或数组");
    QTest::newRow("true") << QByteArray("true") << QByteArray()
                          << QStringLiteral("JSON 解析失败：顶层不是对象或数组");
    QTest::newRow("HTML") << QByteArray("<html>ok</html>") << QByteArray()
                          << QStringLiteral("JSON 解析失败：illegal value（位置 1）");
    QTest::newRow("cut object") << QByteArray(R"({"a":)") << QByteArray()
                                << QStringLiteral("JSON 解析失败：unterminated object（位置 5）");
    QTest::newRow("two values") << QByteArray("{} {}") << QByteArray()
                                << QStringLiteral(
                                       "JSON 解析失败：garbage at the end of the document（位置 3）");
}

void TestParsers::successBody()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, parsed);
    QFETCH(QString, error);
    try {
        const QJsonValue value = parseSuccessBody(body);
        QVERIFY2(error.isEmpty(), "parsed a body that is not a JSON object or array");
        QCOMPARE(value, json(parsed));
    } catch (const PlatformError &failure) {
        QCOMPARE(failure.description(), error);
    }
}

void TestParsers::errorMessage_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::newRow("401 with message")
        << 401 << utf8(QStringLiteral(R"({"message":"邮箱或密码错误"})")) << QStringLiteral("邮箱或密码错误");
    QTest::newRow("empty message") << 400 << QByteArray(R"({"message":""})") << QString();
    QTest::newRow("numeric message") << 400 << QByteArray(R"({"message":400})")
                                     << QStringLiteral("接口返回 400");
    QTest::newRow("null message") << 403 << QByteArray(R"({"message":null})")
                                  << QStringLiteral("接口返回 403");
    QTest::newRow("message inside data")
        << 500 << QByteArray(R"({"data":{"message":"inner"}})") << QStringLiteral("接口返回 500");
    QTest::newRow("502 with HTML") << 502 << QByteArray("<html><body>Bad Gateway</body></html>")
                                   << QStringLiteral("接口返回 502");
    QTest::newRow("404 empty") << 404 << QByteArray() << QStringLiteral("接口返回 404");
    QTest::newRow("array") << 409 << QByteArray(R"([{"message":"x"}])") << QStringLiteral("接口返回 409");
    QTest::newRow("message kept as sent")
        << 429 << QByteArray(R"({"message":"  slow down \n"})") << QStringLiteral("  slow down \n");
}

void TestParsers::errorMessage()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    const QString description = errorReplyMessage(status, body);
    QCOMPARE(description, message);
    QCOMPARE(description.isNull(), false); // an empty message is a text, not a missing one
}

void TestParsers::groups_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("groups"); // id|platform|name

    const QByteArray items
        = R"([{"id":1,"name":"Default","platform":"openai"},{"id":2,"name":"B","platform":""}])";
    const QStringList parsed { QStringLiteral("1|openai|Default"), QStringLiteral("2||B") };
    QTest::newRow("bare array") << items << parsed;
    QTest::newRow("data around an array") << R"({"data":)" + items + "}" << parsed;
    QTest::newRow("object with groups") << R"({"groups":)" + items + "}" << parsed;
    QTest::newRow("data around groups") << R"({"data":{"groups":)" + items + "}}" << parsed;
    QTest::newRow("data null") << QByteArray(R"({"data":null,"groups":[{"id":1}]})") << QStringList();
    QTest::newRow("groups not an array") << QByteArray(R"({"groups":{"id":1}})") << QStringList();
    QTest::newRow("other member") << QByteArray(R"({"items":[{"id":1}]})") << QStringList();
    QTest::newRow("scalar") << QByteArray("7") << QStringList();
    QTest::newRow("empty array") << QByteArray("[]") << QStringList();

    QTest::newRow("items that are not objects")
        << QByteArray(R"([1,"two",null,[{"id":3}],{"id":4}])") << QStringList { QStringLiteral("4||") };
    QTest::newRow("id rules") << QByteArray(R"([{"id":"7"},{"name":"no id"},{"id":null},{"id":true},)"
                                            R"({"id":1.0},{"id":-3.7},{"id":2.9},{"id":9007199254740993},)"
                                            R"({"id":1e300},{"id":-9223372036854775808}])")
                              << QStringList { QStringLiteral("1||"), QStringLiteral("-3||"),
                                     QStringLiteral("2||"), QStringLiteral("9007199254740993||"),
                                     QStringLiteral("-9223372036854775808||") };
    QTest::newRow("name fallbacks") << QByteArray(
        R"([{"id":1,"group_name":"G"},{"id":2,"label":"L"},{"id":3,"name":5,"group_name":"G3"},)"
        R"({"id":4,"name":"","group_name":"not taken"},{"id":5,"label":null}])")
                                    << QStringList { QStringLiteral("1||G"), QStringLiteral("2||L"),
                                           QStringLiteral("3||G3"), QStringLiteral("4||"),
                                           QStringLiteral("5||") };
    QTest::newRow("platform lower-cased")
        << utf8(QStringLiteral(R"([{"id":1,"platform":"OpenAI"},{"id":2,"type":"Anthropic"},)"
                               R"({"id":3,"platform":7,"type":"GEMINI"},{"id":4,"platform":"ÄRGER"},)"
                               R"({"id":5,"platform":"","type":"not taken"}])"))
        << QStringList { QStringLiteral("1|openai|"), QStringLiteral("2|anthropic|"),
               QStringLiteral("3|gemini|"), QStringLiteral("4|ärger|"), QStringLiteral("5||") };
    QTest::newRow("order kept, nothing removed")
        << QByteArray(R"([{"id":9,"name":"z"},{"id":1,"name":"a"},{"id":9,"name":"z"}])")
        << QStringList { QStringLiteral("9||z"), QStringLiteral("1||a"), QStringLiteral("9||z") };
}

void TestParsers::groups()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, groups);
    QCOMPARE(render(parseGroupList(json(reply))), groups);
}

void TestParsers::models_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("models"); // id|owner

    QTest::newRow("usual list") << QByteArray(
        R"({"object":"list","data":[{"id":"gpt-5.6-sol","owned_by":"openai"},)"
        R"({"id":"gpt-5.5","owned_by":"openai"},)"
        R"({"id":"claude-sonnet-4.5","owned_by":"anthropic"}]})")
                                << QStringList { QStringLiteral("claude-sonnet-4.5|anthropic"),
                                       QStringLiteral("gpt-5.5|openai"),
                                       QStringLiteral("gpt-5.6-sol|openai") };
    QTest::newRow("bare array") << QByteArray(R"([{"id":"b"},{"id":"a"}])")
                                << QStringList { QStringLiteral("a|Velmora"), QStringLiteral("b|Velmora") };
    QTest::newRow("data around a list") << QByteArray(R"({"data":{"object":"list","data":[{"id":"m"}]}})")
                                        << QStringList { QStringLiteral("m|Velmora") };
    QTest::newRow("data null") << QByteArray(R"({"data":null})") << QStringList();
    QTest::newRow("models member") << QByteArray(R"({"models":[{"id":"m"}]})") << QStringList();
    QTest::newRow("scalar") << QByteArray(R"("gpt-5.5")") << QStringList();

    QTest::newRow("id fallbacks") << QByteArray(
        R"([{"model_name":"b"},{"name":"c"},{"id":5,"model_name":"d"},{"id":5},)"
        R"({"owned_by":"x"},"e",{"id":null,"name":"f"},{"id":"","name":"not taken"}])")
                                  << QStringList { QStringLiteral("|Velmora"), QStringLiteral("b|Velmora"),
                                         QStringLiteral("c|Velmora"), QStringLiteral("d|Velmora"),
                                         QStringLiteral("f|Velmora") };
    QTest::newRow("owner fallbacks") << QByteArray(
        R"([{"id":"a","vendor":"v"},{"id":"b","owned_by":3,"vendor":"v3"},)"
        R"({"id":"c","owned_by":"","vendor":"not taken"},{"id":"d","owned_by":null}])")
                                     << QStringList { QStringLiteral("a|v"), QStringLiteral("b|v3"),
                                            QStringLiteral("c|"), QStringLiteral("d|Velmora") };
    QTest::newRow("duplicates removed")
        << QByteArray(R"([{"id":"m","owned_by":"o"},{"id":"m","owned_by":"o"},{"id":"m","vendor":"o"},)"
                      R"({"id":"n"},{"id":"n","owned_by":"Velmora"}])")
        << QStringList { QStringLiteral("m|o"), QStringLiteral("n|Velmora") };
    QTest::newRow("same id, owners ordered")
        << QByteArray(
               R"([{"id":"m","owned_by":"zeta"},{"id":"m","owned_by":"Alpha"},{"id":"m","owned_by":"beta"}])")
        << QStringList { QStringLiteral("m|Alpha"), QStringLiteral("m|beta"), QStringLiteral("m|zeta") };
    QTest::newRow("byte order for ASCII")
        << QByteArray(R"([{"id":"gpt-5.6-sol"},{"id":"gpt-5.5"},{"id":"a"},{"id":"Z"},{"id":"gpt-5"}])")
        << QStringList { QStringLiteral("Z|Velmora"), QStringLiteral("a|Velmora"),
               QStringLiteral("gpt-5|Velmora"), QStringLiteral("gpt-5.5|Velmora"),
               QStringLiteral("gpt-5.6-sol|Velmora") };
    // JSON escapes below. "é" written as "e" and a combining accent composes to U+00E9, which sorts after
    // "f".
    QTest::newRow("compared after NFC")
        << utf8(QStringLiteral(R"([{"id":"e\u0301"},{"id":"f"},{"id":"e"}])"))
        << QStringList { QStringLiteral("e|Velmora"), QStringLiteral("f|Velmora"),
               QStringLiteral("e\u0301|Velmora") };
    QTest::newRow("canonical duplicates")
        << utf8(QStringLiteral(R"([{"id":"caf\u00e9"},{"id":"cafe\u0301"}])"))
        << QStringList { QStringLiteral("caf\u00e9|Velmora") };
    // U+FF21 is below U+1F600 by code point, above its UTF-16 surrogates.
    QTest::newRow("code points, not UTF-16 units")
        << utf8(QStringLiteral(R"([{"id":"\ud83d\ude00"},{"id":"\uff21"}])"))
        << QStringList { QStringLiteral("\uFF21|Velmora"), QStringLiteral("\U0001F600|Velmora") };
}

void TestParsers::models()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, models);
    QCOMPARE(render(parseModelList(json(reply))), models);
}

void TestParsers::displayName_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("displayName");
    QTest::newRow("name and platform") << qint64(2) << "anthropic"
                                       << "Claude 专线"
                                       << "Claude 专线 · anthropic";
    QTest::newRow("name, no platform") << qint64(2) << ""
                                       << "默认"
                                       << "默认 · 通用";
    QTest::newRow("platform, no name") << qint64(7) << "openai"
                                       << ""
                                       << "渠道 #7 · openai";
    QTest::newRow("neither") << qint64(7) << ""
                             << ""
                             << "渠道 #7 · 通用";
    QTest::newRow("negative id") << qint64(-3) << ""
                                 << ""
                                 << "渠道 #-3 · 通用";
    QTest::newRow("large id") << qint64(9007199254740993) << "x"
                              << ""
                              << "渠道 #9007199254740993 · x";
    QTest::newRow("blank name is a name") << qint64(1) << ""
                                          << " "
                                          << "  · 通用";
}

void TestParsers::displayName()
{
    QFETCH(qint64, id);
    QFETCH(QString, platform);
    QFETCH(QString, name);
    QFETCH(QString, displayName);
    QCOMPARE((RemoteGroup { id, platform, name }.displayName()), displayName);
}

void TestParsers::profile_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("accountName");
    QTest::addColumn<QString>("accountKey");
    QTest::newRow("demo profile in data")
        << QByteArray(R"({"data":{"id":42,"email":"a@b","display_name":"Demo"}})") << "Demo"
        << "42";
    QTest::newRow("bare profile") << QByteArray(R"({"id":42,"email":"a@b","display_name":"Demo"})") << "Demo"
                                  << "42";
    QTest::newRow("empty display name held")
        << QByteArray(R"({"display_name":"","name":"N","email":"e"})") << ""
        << "e";
    QTest::newRow("name") << QByteArray(R"({"display_name":5,"name":"N"})") << "N"
                          << "N";
    QTest::newRow("email") << QByteArray(R"({"email":"e@x"})") << "e@x"
                           << "e@x";
    QTest::newRow("nothing") << QByteArray("{}") << "已登录账户"
                             << "已登录账户";
    QTest::newRow("data not an object") << QByteArray(R"({"data":["Demo"],"name":"outer"})") << "已登录账户"
                                        << "已登录账户";
    QTest::newRow("data null") << QByteArray(R"({"data":null,"name":"outer"})") << "已登录账户"
                               << "已登录账户";
    QTest::newRow("array") << QByteArray(R"([{"name":"N"}])") << "已登录账户"
                           << "已登录账户";
    QTest::newRow("empty name, no id or email") << QByteArray(R"({"name":""})") << ""
                                                << "";
    QTest::newRow("string id") << QByteArray(R"({"id":"u-1","email":"e"})") << "e"
                               << "u-1";
    QTest::newRow("empty string id") << QByteArray(R"({"id":"","email":"e"})") << "e"
                                     << "";
    QTest::newRow("large id") << QByteArray(R"({"id":12345678901234})") << "已登录账户"
                              << "12345678901234";
    QTest::newRow("integral id written as a fraction") << QByteArray(R"({"id":42.0})") << "已登录账户"
                                                       << "42";
    QTest::newRow("fractional id") << QByteArray(R"({"id":4.5})") << "已登录账户"
                                   << "4.5";
    QTest::newRow("boolean id") << QByteArray(R"({"id":true,"name":"N"})") << "N"
                                << "true";
    QTest::newRow("null id") << QByteArray(R"({"id":null,"email":"e"})") << "e"
                             << "e";
    QTest::newRow("numeric email") << QByteArray(R"({"email":7})") << "已登录账户"
                                   << "7";
}

void TestParsers::profile()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, accountName);
    QFETCH(QString, accountKey);
    const QString name = profileAccountName(json(reply));
    QCOMPARE(name, accountName);
    QCOMPARE(profileAccountKey(json(reply), name), accountKey);
}

void TestParsers::syncedDetail()
{
    QCOMPARE(syncedAccountDetail(3), QStringLiteral("已同步 3 个渠道接口；请选择渠道后接入"));
    QCOMPARE(syncedAccountDetail(12), QStringLiteral("已同步 12 个渠道接口；请选择渠道后接入"));
}

QTEST_GUILESS_MAIN(TestParsers)
#include "tst_parsers.moc"
