// OpenCode's and Crush's provider files: the merges as written to disk, then the files that
// configuring OpenCode and DeepSeek Agent leaves, against the local relay.

#include "agentfixtures.h"
#include "agents/fileutils.h"
#include "agents/providerfiles.h"

#include <QtTest>

using namespace AgentFixtures;

class TestProviderFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void merge_data();
    void merge();
    void configure_data();
    void configure();
};

void TestProviderFiles::merge_data()
{
    QTest::addColumn<bool>("openCode");
    QTest::addColumn<QByteArray>("input"); // empty: no file
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("expected");
    const QString model = QStringLiteral("gpt-5.6-sol");
    const auto file = [](const char *name) {
        return readFile(QStringLiteral(VELMORA_TEST_DATA "/agents/providers/") + QLatin1String(name));
    };
    QTest::newRow("OpenCode, new file") << true << QByteArray() << model << "opencode-new.json";
    QTest::newRow("OpenCode, others survive")
        << true << file("opencode-others.in.json") << model << "opencode-others.json";
    QTest::newRow("$schema null stays")
        << true << QByteArray(R"({"$schema": null})") << model << "opencode-schema-null.json";
    QTest::newRow("$schema number stays")
        << true << QByteArray(R"({"$schema": 7})") << model << "opencode-schema-number.json";
    QTest::newRow("$schema object stays")
        << true << QByteArray(R"({"$schema": {"url": "https://example.test/s.json"}})") << model
        << "opencode-schema-object.json";
    QTest::newRow("provider not an object")
        << true << QByteArray(R"({"provider": [{"velmora": {}}]})") << model << "opencode-new.json";
    QTest::newRow("model with dots and a slash: one key") << true << QByteArray() << "vendor/model.v1.5"
                                                          << "opencode-new.json";
    QTest::newRow("Crush, new file") << false << QByteArray() << "deepseek-v4-pro"
                                     << "crush-new.json";
    QTest::newRow("Crush, others survive") << false << file("crush-others.in.json") << "deepseek-v4-pro"
                                           << "crush-others.json";
    QTest::newRow("providers not an object")
        << false << QByteArray(R"({"providers": null})") << "deepseek-v4-pro"
        << "crush-new.json";
}

void TestProviderFiles::merge()
{
    QFETCH(bool, openCode);
    QFETCH(QByteArray, input);
    QFETCH(QString, model);
    QFETCH(QString, expected);
    const QString root = QStringLiteral("https://api.velmora.example/team");
    const QJsonObject existing = QJsonDocument::fromJson(input).object();
    QVERIFY(input.isEmpty() || !existing.isEmpty());
    const QString baseURL = root + QStringLiteral("/v1");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.json"));
    FileUtils::writeJSONObject(openCode ? ProviderFiles::mergeOpenCodeProvider(existing, baseURL, model)
                                        : ProviderFiles::mergeCrushProvider(existing, baseURL, model),
        path);
    QCOMPARE(readFile(path), expectedFile(QStringLiteral("providers/") + expected, root, {}, model));
}

void TestProviderFiles::configure_data()
{
    QTest::addColumn<bool>("openCode");
    QTest::addColumn<QString>("existing"); // the file there before: a data file name, else its text
    QTest::addColumn<QString>("expected"); // empty: refused
    QTest::newRow("OpenCode, merged") << true << "opencode-others.in.json"
                                      << "opencode-others.json";
    QTest::newRow("OpenCode, not mergeable") << true << "[]" << QString();
    QTest::newRow("Crush, merged") << false << "crush-others.in.json"
                                   << "crush-others.json";
    QTest::newRow("Crush, not mergeable") << false << "[]" << QString();
}

// The file as merged, mode 0600, the earlier one in the backup, no key in it; a file that is
// not an object stays as it was, and no launcher is written.
void TestProviderFiles::configure()
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
    const QString dataFile = QStringLiteral(VELMORA_TEST_DATA "/agents/providers/") + existing;
    const QByteArray before = QFileInfo(dataFile).isFile() ? readFile(dataFile) : existing.toUtf8();
    QVERIFY(writeFile(file, before, 0604));
    openCode ? state.configureOpenCode() : state.configureDeepSeekAgent();
    QVERIFY(finish(state));

    const QString launcher
        = home.filePath(QStringLiteral(".local/bin/") + (openCode ? "velmora-opencode" : "velmora-deepseek"));
    QCOMPARE(QFileInfo::exists(launcher), !expected.isEmpty());
    if (expected.isEmpty()) {
        QCOMPARE(state.activity(),
            QStringLiteral("配置失败：") + QFileInfo(file).fileName()
                + QStringLiteral(" 不是可合并的 JSON 对象"));
        QCOMPARE(readFile(file), before);
        return;
    }
    const QString model = openCode ? QStringLiteral("gpt-5.6-sol") : QStringLiteral("deepseek-v4-pro");
    QCOMPARE(readFile(file),
        expectedFile(QStringLiteral("providers/") + expected, relay.baseUrl().toString(), {}, model));
    QCOMPARE(fileMode(file), 0600);
    QCOMPARE(readFile(home.filePath(QStringLiteral(".config/velmora-connect/backups/2026-12-05T12-40-10Z/")
                 + QFileInfo(file).fileName())),
        before);
    QVERIFY(!readFile(file).contains(relay.issuedKeys().value(12).toUtf8()));
}

QTEST_GUILESS_MAIN(TestProviderFiles)
#include "tst_providerfiles.moc"
