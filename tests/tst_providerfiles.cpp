// OpenCode's and Crush's provider files: the merges as written to disk, then the files that
// configuring OpenCode and DeepSeek Agent leaves, against the local relay.

#include "agentfixtures.h"
#include "agents/fileutils.h"
#include "agents/providerfiles.h"

#include <QtTest>

using namespace AgentFixtures;

namespace {

const QString root = QStringLiteral("https://api.velmora.example/team");
const QString baseURL = root + QStringLiteral("/v1");

// The bytes that writing `object` as a configuration file produces.
QByteArray written(const QJsonObject &object, const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("out.json"));
    FileUtils::writeJSONObject(object, path);
    return readFile(path);
}

QJsonObject parsed(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

} // namespace

class TestProviderFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void openCodeMerge_data();
    void openCodeMerge();
    void crushMerge_data();
    void crushMerge();
    void crushTypes();

    void configuredFiles_data();
    void configuredFiles();
    void secondRunBacksUpTheFirst_data();
    void secondRunBacksUpTheFirst();
    void rootWithV1HasOneV1_data();
    void rootWithV1HasOneV1();
    void notMergeable_data();
    void notMergeable();
};

void TestProviderFiles::openCodeMerge_data()
{
    QTest::addColumn<QByteArray>("input"); // empty: no file
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("expected");
    const QString model = QStringLiteral("gpt-5.6-sol");
    QTest::newRow("new file") << QByteArray() << model << "opencode-new.json";
    QTest::newRow("other keys and providers survive")
        << readFile(QStringLiteral(VELMORA_TEST_DATA "/agents/providers/opencode-others.in.json")) << model
        << "opencode-others.json";
    QTest::newRow("$schema null stays")
        << QByteArray(R"({"$schema": null})") << model << "opencode-schema-null.json";
    QTest::newRow("$schema number stays")
        << QByteArray(R"({"$schema": 7})") << model << "opencode-schema-number.json";
    QTest::newRow("$schema object stays")
        << QByteArray(R"({"$schema": {"url": "https://example.test/s.json"}})") << model
        << "opencode-schema-object.json";
    QTest::newRow("provider text") << QByteArray(R"({"provider": "velmora"})") << model
                                   << "opencode-new.json";
    QTest::newRow("provider array") << QByteArray(R"({"provider": [{"velmora": {}}]})") << model
                                    << "opencode-new.json";
    QTest::newRow("provider null") << QByteArray(R"({"provider": null})") << model << "opencode-new.json";
    QTest::newRow("model with dots and a slash")
        << QByteArray() << QStringLiteral("vendor/model.v1.5") << "opencode-new.json";
}

void TestProviderFiles::openCodeMerge()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, model);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QJsonObject existing = input.isEmpty() ? QJsonObject() : parsed(input);
    QVERIFY(input.isEmpty() || !existing.isEmpty());

    const QJsonObject merged = ProviderFiles::mergeOpenCodeProvider(existing, baseURL, model);
    QCOMPARE(written(merged, dir), expectedFile(QStringLiteral("providers/") + expected, root, {}, model));
    const QJsonObject models = merged[u"provider"][u"velmora"][u"models"].toObject();
    QCOMPARE(models.keys(), QStringList { model });
}

void TestProviderFiles::crushMerge_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("new file") << QByteArray() << "crush-new.json";
    QTest::newRow("other keys and providers survive")
        << readFile(QStringLiteral(VELMORA_TEST_DATA "/agents/providers/crush-others.in.json"))
        << "crush-others.json";
    QTest::newRow("providers text") << QByteArray(R"({"providers": "x"})") << "crush-new.json";
    QTest::newRow("providers array") << QByteArray(R"({"providers": []})") << "crush-new.json";
    QTest::newRow("providers null") << QByteArray(R"({"providers": null})") << "crush-new.json";
}

void TestProviderFiles::crushMerge()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString model = QStringLiteral("deepseek-v4-pro");
    const QJsonObject existing = input.isEmpty() ? QJsonObject() : parsed(input);
    QCOMPARE(written(ProviderFiles::mergeCrushProvider(existing, baseURL, model), dir),
        expectedFile(QStringLiteral("providers/") + expected, root, {}, model));
}

void TestProviderFiles::crushTypes()
{
    QTemporaryDir dir;
    const QJsonObject file = parsed(
        written(ProviderFiles::mergeCrushProvider({}, baseURL, QStringLiteral("deepseek-v4-pro")), dir));
    const QJsonObject model = file[u"providers"][u"velmora-deepseek"][u"models"][0].toObject();
    QVERIFY(model[u"context_window"].isDouble());
    QCOMPARE(model[u"context_window"].toInteger(), 1048576);
    QVERIFY(model[u"default_max_tokens"].isDouble());
    QCOMPARE(model[u"default_max_tokens"].toInteger(), 32768);
    QVERIFY(model[u"can_reason"].isBool());
    QCOMPARE(model[u"can_reason"].toBool(), true);
}

// ---- Through the configure operations ----

void TestProviderFiles::configuredFiles_data()
{
    QTest::addColumn<bool>("openCode");
    QTest::addColumn<QString>("existing"); // input file name, empty: none
    QTest::addColumn<QString>("expected");
    QTest::newRow("OpenCode, new") << true << QString() << "opencode-new.json";
    QTest::newRow("OpenCode, merged") << true << "opencode-others.in.json"
                                      << "opencode-others.json";
    QTest::newRow("Crush, new") << false << QString() << "crush-new.json";
    QTest::newRow("Crush, merged") << false << "crush-others.in.json"
                                   << "crush-others.json";
}

void TestProviderFiles::configuredFiles()
{
    QFETCH(bool, openCode);
    QFETCH(QString, existing);
    QFETCH(QString, expected);
    QTemporaryDir home;
    auto platform = std::make_shared<TestPlatform>();
    platform->home = home.path();
    platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 40, 10), Qt::UTC);
    RelayServer relay;
    QVERIFY(startRelay(relay));
    ConnectState state(platform);
    QVERIFY(signIn(state, relay));

    const QString file = home.filePath(openCode ? QStringLiteral(".config/opencode/opencode.json")
                                                : QStringLiteral(".config/crush/crush.json"));
    QByteArray before;
    if (!existing.isEmpty()) {
        before = readFile(QStringLiteral(VELMORA_TEST_DATA "/agents/providers/") + existing);
        QVERIFY(writeFile(
            file, before, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    }
    openCode ? state.configureOpenCode() : state.configureDeepSeekAgent();
    QVERIFY(finish(state));

    const QString model = openCode ? QStringLiteral("gpt-5.6-sol") : QStringLiteral("deepseek-v4-pro");
    QCOMPARE(readFile(file),
        expectedFile(QStringLiteral("providers/") + expected, relay.baseUrl().toString(), {}, model));
    QCOMPARE(mode(file), 0600);
    const QString backup = home.filePath(
        QStringLiteral(".config/velmora-connect/backups/2026-12-05T12-40-10Z/") + QFileInfo(file).fileName());
    QCOMPARE(QFileInfo::exists(backup), !existing.isEmpty());
    QCOMPARE(readFile(backup), before);
    // Neither file holds the key: the launcher hands it over through the environment.
    const QString key = relay.issuedKeys().value(12);
    QVERIFY(!key.isEmpty());
    QVERIFY(!readFile(file).contains(key.toUtf8()));
}

void TestProviderFiles::secondRunBacksUpTheFirst_data()
{
    QTest::addColumn<bool>("openCode");
    QTest::newRow("OpenCode") << true;
    QTest::newRow("Crush") << false;
}

void TestProviderFiles::secondRunBacksUpTheFirst()
{
    QFETCH(bool, openCode);
    QTemporaryDir home;
    auto platform = std::make_shared<TestPlatform>();
    platform->home = home.path();
    RelayServer relay;
    QVERIFY(startRelay(relay));
    ConnectState state(platform);
    QVERIFY(signIn(state, relay));
    const QString file = home.filePath(openCode ? QStringLiteral(".config/opencode/opencode.json")
                                                : QStringLiteral(".config/crush/crush.json"));

    platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 40, 10), Qt::UTC);
    openCode ? state.configureOpenCode() : state.configureDeepSeekAgent();
    QVERIFY(finish(state));
    const QByteArray first = readFile(file);
    QVERIFY(!first.isEmpty());

    platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 41, 0), Qt::UTC);
    openCode ? state.configureOpenCode() : state.configureDeepSeekAgent();
    QVERIFY(finish(state));
    QCOMPARE(readFile(file), first);
    QCOMPARE(readFile(home.filePath(QStringLiteral(".config/velmora-connect/backups/2026-12-05T12-41-00Z/")
                 + QFileInfo(file).fileName())),
        first);
}

void TestProviderFiles::rootWithV1HasOneV1_data()
{
    QTest::addColumn<bool>("openCode");
    QTest::newRow("OpenCode") << true;
    QTest::newRow("Crush") << false;
}

void TestProviderFiles::rootWithV1HasOneV1()
{
    QFETCH(bool, openCode);
    QTemporaryDir home;
    auto platform = std::make_shared<TestPlatform>();
    platform->home = home.path();
    RelayServer relay;
    QVERIFY(startRelay(relay));
    ConnectState state(platform);
    QVERIFY(signIn(state, relay, 12, relay.baseUrl().toString() + QStringLiteral("/v1/")));
    openCode ? state.configureOpenCode() : state.configureDeepSeekAgent();
    QVERIFY(finish(state));
    const QJsonObject file
        = parsed(readFile(home.filePath(openCode ? QStringLiteral(".config/opencode/opencode.json")
                                                 : QStringLiteral(".config/crush/crush.json"))));
    const QString url = openCode ? file[u"provider"][u"velmora"][u"options"][u"baseURL"].toString()
                                 : file[u"providers"][u"velmora-deepseek"][u"base_url"].toString();
    QCOMPARE(url, relay.baseUrl().toString() + QStringLiteral("/v1"));
}

void TestProviderFiles::notMergeable_data()
{
    QTest::addColumn<bool>("openCode");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("launcher");
    QTest::newRow("OpenCode") << true << ".config/opencode/opencode.json"
                              << ".local/bin/velmora-opencode";
    QTest::newRow("Crush") << false << ".config/crush/crush.json"
                           << ".local/bin/velmora-deepseek";
}

void TestProviderFiles::notMergeable()
{
    QFETCH(bool, openCode);
    QFETCH(QString, file);
    QFETCH(QString, launcher);
    QTemporaryDir home;
    auto platform = std::make_shared<TestPlatform>();
    platform->home = home.path();
    RelayServer relay;
    QVERIFY(startRelay(relay));
    ConnectState state(platform);
    QVERIFY(signIn(state, relay));
    QVERIFY(writeFile(home.filePath(file), "[]"));

    openCode ? state.configureOpenCode() : state.configureDeepSeekAgent();
    QVERIFY(finish(state));
    QCOMPARE(state.activity(),
        QStringLiteral("配置失败：") + QFileInfo(file).fileName()
            + QStringLiteral(" 不是可合并的 JSON 对象"));
    QVERIFY(!QFileInfo::exists(home.filePath(launcher)));
    QCOMPARE(readFile(home.filePath(file)), QByteArray("[]"));
    QVERIFY(!state.openCodeConnected());
    QVERIFY(!state.deepSeekConnected());
}

QTEST_GUILESS_MAIN(TestProviderFiles)
#include "tst_providerfiles.moc"
