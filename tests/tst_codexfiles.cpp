#include "agents/codexfiles.h"
#include "testplatform.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>
#include <toml++/toml.h>

namespace {

QByteArray dataFile(const QString &name)
{
    QFile file(QStringLiteral(VELMORA_TEST_DATA "/codex/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", qPrintable(name));
    return file.readAll();
}

toml::table parseToml(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return toml::parse(std::string_view(bytes.constData(), size_t(bytes.size())));
}

// The table config.toml must hold, and nothing else.
toml::table expectedTable(const QString &model, const QString &effort, const QString &baseURL)
{
    const auto text = [](const QString &value) { return value.toStdString(); };
    return toml::table {
        { "model_provider", "OpenAI" },
        { "model", text(model) },
        { "review_model", text(model) },
        { "model_reasoning_effort", text(effort) },
        { "disable_response_storage", true },
        { "network_access", "enabled" },
        { "windows_wsl_setup_acknowledged", true },
        { "model_providers",
            toml::table { { "OpenAI",
                toml::table { { "name", "OpenAI" }, { "base_url", text(baseURL) },
                    { "wire_api", "responses" }, { "requires_openai_auth", true } } } } },
    };
}

struct Run
{
    int status = -1;
    QByteArray out;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(-1);
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAllStandardOutput() };
}

} // namespace

class TestCodexFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rootText_data();
    void rootText();
    void configToml();
    void configTomlValues_data();
    void configTomlValues();
    void tomlBasicString_data();
    void tomlBasicString();
    void configTomlReadBack_data();
    void configTomlReadBack();
    void environmentScript();
    void environmentScriptRuns_data();
    void environmentScriptRuns();
    void environmentScriptStopsWithoutItem();
    void plist();
    void plistPaths_data();
    void plistPaths();
    void paths();
};

void TestCodexFiles::rootText_data()
{
    QTest::addColumn<QUrl>("router");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("base");

    QTest::newRow("scheme and host") << QUrl(QStringLiteral("https://api.velmora.example"))
                                     << QStringLiteral("https://api.velmora.example")
                                     << QStringLiteral("https://api.velmora.example/v1");
    QTest::newRow("trailing slash") << QUrl(QStringLiteral("https://api.velmora.example/"))
                                    << QStringLiteral("https://api.velmora.example")
                                    << QStringLiteral("https://api.velmora.example/v1");
    QTest::newRow("several trailing slashes")
        << QUrl(QStringLiteral("https://api.velmora.example///"))
        << QStringLiteral("https://api.velmora.example") << QStringLiteral("https://api.velmora.example/v1");
    QTest::newRow("port") << QUrl(QStringLiteral("http://127.0.0.1:8787"))
                          << QStringLiteral("http://127.0.0.1:8787")
                          << QStringLiteral("http://127.0.0.1:8787/v1");
    QTest::newRow("path") << QUrl(QStringLiteral("http://127.0.0.1:8787/relay/base"))
                          << QStringLiteral("http://127.0.0.1:8787/relay/base")
                          << QStringLiteral("http://127.0.0.1:8787/relay/base/v1");
    QTest::newRow("path with trailing slash")
        << QUrl(QStringLiteral("https://h.example/api/")) << QStringLiteral("https://h.example/api")
        << QStringLiteral("https://h.example/api/v1");
    QTest::newRow("encoded path") << QUrl(QStringLiteral("https://h.example/a b"))
                                  << QStringLiteral("https://h.example/a%20b")
                                  << QStringLiteral("https://h.example/a%20b/v1");
}

void TestCodexFiles::rootText()
{
    QFETCH(QUrl, router);
    QFETCH(QString, root);
    QFETCH(QString, base);
    QCOMPARE(::rootText(router), root);
    QCOMPARE(CodexFiles::relayBaseURL(router), base);
}

void TestCodexFiles::configToml()
{
    const QString text = CodexFiles::codexConfigToml(QStringLiteral("gpt-5.6-sol"), QStringLiteral("high"),
        CodexFiles::relayBaseURL(QUrl(QStringLiteral("https://api.velmora.example/"))));
    QCOMPARE(text.toUtf8(), dataFile(QStringLiteral("config.toml")));
}

void TestCodexFiles::configTomlValues_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("effort");
    QTest::addColumn<QString>("baseURL");

    QTest::newRow("xhigh as chosen") << QStringLiteral("gpt-5.5") << QStringLiteral("xhigh")
                                     << QStringLiteral("http://127.0.0.1:8787/v1");
    QTest::newRow("model with dots, slash and colon")
        << QStringLiteral("openrouter/deepseek-v4.pro:free") << QStringLiteral("low")
        << QStringLiteral("https://relay.example:8443/base/v1");
    QTest::newRow("model in Chinese") << QStringLiteral("通义千问-max") << QStringLiteral("medium")
                                      << QStringLiteral("https://api.velmora.example/v1");
    QTest::newRow("closing bracket") << QStringLiteral("model]") << QStringLiteral("high")
                                     << QStringLiteral("https://api.velmora.example/v1");
}

// Ordinary values stand between the quotes exactly as they are.
void TestCodexFiles::configTomlValues()
{
    QFETCH(QString, model);
    QFETCH(QString, effort);
    QFETCH(QString, baseURL);
    QByteArray expected = dataFile(QStringLiteral("config-relay.toml"));
    expected.replace("@MODEL@", model.toUtf8())
        .replace("@EFFORT@", effort.toUtf8())
        .replace("@BASE_URL@", baseURL.toUtf8());
    QCOMPARE(CodexFiles::codexConfigToml(model, effort, baseURL).toUtf8(), expected);
}

void TestCodexFiles::tomlBasicString_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("quoted");

    QTest::newRow("plain") << QStringLiteral("gpt-5.5") << QStringLiteral("\"gpt-5.5\"");
    QTest::newRow("empty") << QString() << QStringLiteral("\"\"");
    QTest::newRow("quotation mark") << QStringLiteral("a\"b") << QStringLiteral("\"a\\\"b\"");
    QTest::newRow("backslash") << QStringLiteral("a\\b") << QStringLiteral("\"a\\\\b\"");
    QTest::newRow("backslash before quote") << QStringLiteral("a\\\"") << QStringLiteral("\"a\\\\\\\"\"");
    QTest::newRow("line feed") << QStringLiteral("a\nb") << QStringLiteral("\"a\\nb\"");
    QTest::newRow("carriage return") << QStringLiteral("a\rb") << QStringLiteral("\"a\\rb\"");
    QTest::newRow("tab") << QStringLiteral("a\tb") << QStringLiteral("\"a\\tb\"");
    QTest::newRow("backspace") << QStringLiteral("a\bb") << QStringLiteral("\"a\\bb\"");
    QTest::newRow("form feed") << QStringLiteral("a\fb") << QStringLiteral("\"a\\fb\"");
    QTest::newRow("nul") << QString(QChar(0)) << QStringLiteral("\"\\u0000\"");
    QTest::newRow("unit separator") << QStringLiteral("a\x1f") << QStringLiteral("\"a\\u001F\"");
    QTest::newRow("escape") << QStringLiteral("\x1b[0m") << QStringLiteral("\"\\u001B[0m\"");
    QTest::newRow("delete") << QStringLiteral("a\x7f") << QStringLiteral("\"a\\u007F\"");
    QTest::newRow("brackets, hash, equals")
        << QStringLiteral("[x] # y = z") << QStringLiteral("\"[x] # y = z\"");
    QTest::newRow("apostrophe") << QStringLiteral("it's") << QStringLiteral("\"it's\"");
    QTest::newRow("Chinese and emoji") << QStringLiteral("模型🚀") << QStringLiteral("\"模型🚀\"");
}

void TestCodexFiles::tomlBasicString()
{
    QFETCH(QString, value);
    QFETCH(QString, quoted);
    QCOMPARE(CodexFiles::tomlBasicString(value), quoted);
}

void TestCodexFiles::configTomlReadBack_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("effort");
    QTest::addColumn<QString>("baseURL");

    QTest::newRow("ordinary") << QStringLiteral("gpt-5.6-sol") << QStringLiteral("high")
                              << QStringLiteral("https://api.velmora.example/v1");
    QTest::newRow("model closing its string and adding a table")
        << QStringLiteral("gpt\"\n[mcp_servers.evil]\ncommand = \"sh\"\nargs = [\"-c\", \"id\"]\n#\\")
        << QStringLiteral("high") << QStringLiteral("https://api.velmora.example/v1");
    QTest::newRow("model with quote, backslash, bracket and line feed") << QStringLiteral(
        "a\"b\\c]d\ne") << QStringLiteral("high") << QStringLiteral("https://api.velmora.example/v1");
    QTest::newRow("model ending in a backslash")
        << QStringLiteral("m\\") << QStringLiteral("low") << QStringLiteral("https://api.velmora.example/v1");
    QTest::newRow("effort adding a key")
        << QStringLiteral("gpt-5.5") << QStringLiteral("high\"\napproval_policy = \"never")
        << QStringLiteral("https://api.velmora.example/v1");
    QTest::newRow("base URL adding a key") << QStringLiteral("gpt-5.5") << QStringLiteral("medium")
                                           << QStringLiteral("https://x.example/v1\"\nwire_api = \"chat");
    QTest::newRow("control characters") << QStringLiteral("a\x01\tb\rc\x7f") << QStringLiteral("high")
                                        << QStringLiteral("https://api.velmora.example/v1");
}

// A real TOML parser reads back exactly the thirteen lines' table, whatever the values hold.
void TestCodexFiles::configTomlReadBack()
{
    QFETCH(QString, model);
    QFETCH(QString, effort);
    QFETCH(QString, baseURL);
    toml::table table;
    try {
        table = parseToml(CodexFiles::codexConfigToml(model, effort, baseURL));
    } catch (const toml::parse_error &error) {
        QFAIL(error.what());
    }
    QVERIFY(table == expectedTable(model, effort, baseURL));
    QCOMPARE(table.size(), size_t(8));
}

void TestCodexFiles::environmentScript()
{
    const QString text = CodexFiles::codexEnvironmentScript(
        QStringLiteral("velmora-connect:api.velmora.example-443:demo-velmora-example:12"));
    QCOMPARE(text.toUtf8(), dataFile(QStringLiteral("velmora-connect-codex-env")));
}

void TestCodexFiles::environmentScriptRuns_data()
{
    QTest::addColumn<QString>("shell");
    QTest::addColumn<QString>("service");

    const QList<QPair<const char *, QString>> services {
        { "plain", QStringLiteral("velmora-connect:127.0.0.1-8787:42:7") },
        { "apostrophe", QStringLiteral("velmora-connect:o'neil:7") },
        { "dollar, backtick, quote", QStringLiteral("velmora-connect:$HOME`id`\"x\":7") },
        { "space and backslash", QStringLiteral("velmora connect:a\\b:7") },
    };
    for (const QString &shell : { QStringLiteral("/bin/sh"), QStringLiteral("/bin/bash") }) {
        for (const auto &[name, service] : services)
            QTest::addRow("%s, %s", qPrintable(shell), name) << shell << service;
    }
}

// The script, run by a POSIX shell with the project's `security` and `launchctl` on its
// search path, reads the item named in it and sets the variable to exactly the stored key.
void TestCodexFiles::environmentScriptRuns()
{
    QFETCH(QString, shell);
    QFETCH(QString, service);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString script = dir.filePath(QStringLiteral("velmora-connect-codex-env"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(CodexFiles::codexEnvironmentScript(service).toUtf8());
    file.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
        QStringLiteral(VELMORA_BIN_DIR ":") + environment.value(QStringLiteral("PATH")));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
    const QString user = TestPlatform().user;
    const QString key = QStringLiteral("sk-velmora-") + QString::number(qHash(service + shell), 16);

    QCOMPARE(run(builtToolPath(QStringLiteral("security")),
                 { QStringLiteral("add-generic-password"), QStringLiteral("-U"), QStringLiteral("-a"), user,
                     QStringLiteral("-s"), service, QStringLiteral("-w"), key },
                 environment)
                 .status,
        0);
    QCOMPARE(run(shell, { script }, environment).status, 0);
    const Run variable = run(builtToolPath(QStringLiteral("launchctl")),
        { QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") }, environment);
    QCOMPARE(variable.status, 0);
    QCOMPARE(variable.out, key.toUtf8() + '\n');
    run(builtToolPath(QStringLiteral("security")),
        { QStringLiteral("delete-generic-password"), QStringLiteral("-a"), user, QStringLiteral("-s"),
            service },
        environment);
}

// `set -eu`: without the Keychain item the script stops before it sets anything.
void TestCodexFiles::environmentScriptStopsWithoutItem()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString script = dir.filePath(QStringLiteral("velmora-connect-codex-env"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        CodexFiles::codexEnvironmentScript(QStringLiteral("velmora-connect:nowhere-1:none:0")).toUtf8());
    file.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
        QStringLiteral(VELMORA_BIN_DIR ":") + environment.value(QStringLiteral("PATH")));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
    QVERIFY(run(QStringLiteral("/bin/sh"), { script }, environment).status != 0);
    QVERIFY(run(builtToolPath(QStringLiteral("launchctl")),
        { QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") }, environment)
                .out.trimmed()
                .isEmpty());
}

void TestCodexFiles::plist()
{
    const QString text
        = CodexFiles::launchAgentPlist(QStringLiteral("/Users/lin/.local/bin/velmora-connect-codex-env"));
    QCOMPARE(text.toUtf8(), dataFile(QStringLiteral("com.velmora.connect.codex-env.plist")));
}

void TestCodexFiles::plistPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("written");

    QTest::newRow("ordinary") << QStringLiteral("/home/lin/.local/bin/velmora-connect-codex-env")
                              << QStringLiteral("/home/lin/.local/bin/velmora-connect-codex-env");
    QTest::newRow("space and Chinese")
        << QStringLiteral("/Users/林 小/.local/bin/x") << QStringLiteral("/Users/林 小/.local/bin/x");
    QTest::newRow("ampersand") << QStringLiteral("/Users/R&D/x") << QStringLiteral("/Users/R&amp;D/x");
    QTest::newRow("angle brackets") << QStringLiteral("/Users/<a>/x") << QStringLiteral("/Users/&lt;a&gt;/x");
    QTest::newRow("quotes") << QStringLiteral("/Users/\"o'neil\"/x")
                            << QStringLiteral("/Users/&quot;o&apos;neil&quot;/x");
    QTest::newRow("closing the string")
        << QStringLiteral("/tmp/</string><string>-c</string>")
        << QStringLiteral("/tmp/&lt;/string&gt;&lt;string&gt;-c&lt;/string&gt;");
}

// The path is escaped, and an XML parser reads back exactly one program argument: the path.
void TestCodexFiles::plistPaths()
{
    QFETCH(QString, path);
    QFETCH(QString, written);
    const QString text = CodexFiles::launchAgentPlist(path);
    QByteArray expected = dataFile(QStringLiteral("com.velmora.connect.codex-env-relay.plist"));
    expected.replace("@SCRIPT@", written.toUtf8());
    QCOMPARE(text.toUtf8(), expected);

    QXmlStreamReader reader(text);
    QStringList strings;
    QString systemId;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isDTD())
            systemId = reader.dtdSystemId().toString();
        if (reader.isStartElement() && reader.name() == QLatin1String("string"))
            strings.append(reader.readElementText());
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QCOMPARE(systemId, QStringLiteral("http://www.apple.com/DTDs/PropertyList-1.0.dtd"));
    QCOMPARE(strings, QStringList({ QStringLiteral("com.velmora.connect.codex-env"), path }));
}

void TestCodexFiles::paths()
{
    const QString home = QStringLiteral("/home/lin");
    QCOMPARE(CodexFiles::configPath(home), QStringLiteral("/home/lin/.codex/config.toml"));
    QCOMPARE(CodexFiles::authPath(home), QStringLiteral("/home/lin/.codex/auth.json"));
    QCOMPARE(CodexFiles::environmentScriptPath(home),
        QStringLiteral("/home/lin/.local/bin/velmora-connect-codex-env"));
    QCOMPARE(CodexFiles::launchAgentPath(home),
        QStringLiteral("/home/lin/Library/LaunchAgents/com.velmora.connect.codex-env.plist"));
}

QTEST_GUILESS_MAIN(TestCodexFiles)
#include "tst_codexfiles.moc"
