#include "agents/fileutils.h"
#include "files.h"
#include "platform/connecterror.h"
#include "service/keychain.h"
#include "testplatform.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString security = builtToolPath(QStringLiteral("security"));

} // namespace

class TestKeychain : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keychainService_data();
    void keychainService();
    void storeAndLoad_data();
    void storeAndLoad();
    void keyNotOnTheCommandLine();
    void securityCommands_data();
    void securityCommands();

private:
    TestPlatform m_platform;
    ToolRunner m_tools { m_platform.toolTimeout() };
};

void TestKeychain::keychainService_data()
{
    QTest::addColumn<QString>("router");
    QTest::addColumn<QString>("account");
    QTest::addColumn<qint64>("group");
    QTest::addColumn<QString>("expected");
    const QString letters = QStringLiteral("abcdefghij").repeated(6);
    const QString accent = QStringLiteral("e\u0301"); // e and a combining acute accent
    const QString h = QStringLiteral("https://h.example");
    const QString p = QStringLiteral("velmora-connect:h.example-443:");
    const std::tuple<QString, QString, qint64, QString> cases[] = {
        { "https://api.velmora.example", "Dev.Name@Example.com", 12,
            "velmora-connect:api.velmora.example-443:dev-name-example-com:12" },
        { "https://relay.example:8443/v1", "a", 3, "velmora-connect:relay.example-8443:a:3" },
        { "http://127.0.0.1", "a", 7, "velmora-connect:127.0.0.1-80:a:7" },
        { "", "a", 1, "velmora-connect:local-80:a:1" },
        { h, letters, 1, p + letters.left(48) + ":1" },
        { h, "张三 b@c.d_e+f-'ΣΑ", 2, p + "张三-b-c-d-e-f--σα:2" }, // each other character one hyphen
        { h, accent.repeated(50), 1, p + accent.repeated(48) + ":1" }, // a letter with its accent is one
        { h, QStringLiteral("a\U0001F468\u200D\U0001F469b"), 1, p + "a-b:1" }, // so is a joined emoji
        { h, "a", 9007199254740993, p + "a:9007199254740993" },
    };
    for (const auto &[router, account, group, expected] : cases)
        QTest::newRow(qPrintable(expected)) << router << account << group << expected;
}

void TestKeychain::keychainService()
{
    QFETCH(QString, router);
    QFETCH(QString, account);
    QFETCH(qint64, group);
    QFETCH(QString, expected);
    QCOMPARE(Keychain::keychainService(QUrl(router), account, group), expected);
}

void TestKeychain::storeAndLoad_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("loaded");
    QTest::newRow("trailing line feed trimmed") << QStringLiteral("sk-1\n") << QStringLiteral("sk-1");
    QTest::newRow("only white space is empty") << QStringLiteral(" \n ") << QString();
    QTest::newRow("shell characters") << QStringLiteral("sk-'$`\\\" x") << QStringLiteral("sk-'$`\\\" x");
    QTest::newRow("leading hyphen") << QStringLiteral("-w") << QStringLiteral("-w");
}

void TestKeychain::storeAndLoad()
{
    QFETCH(QString, stored);
    QFETCH(QString, loaded);
    const QString service = QStringLiteral("velmora-connect:store:") + QTest::currentDataTag();
    // Stored twice (connecting stores it again): one item, which deleting removes.
    awaitTask(Keychain::storeKey(m_tools, security, m_platform.user, service, QStringLiteral("sk-old")));
    awaitTask(Keychain::storeKey(m_tools, security, m_platform.user, service, stored));
    QCOMPARE(awaitTask(Keychain::loadKey(m_tools, security, m_platform.user, service)), loaded);
    awaitTask(Keychain::deleteKey(m_tools, security, m_platform.user, service));
    QVERIFY_THROWS_EXCEPTION(
        Failure, awaitTask(Keychain::loadKey(m_tools, security, m_platform.user, service)));
}

void TestKeychain::keyNotOnTheCommandLine()
{
#ifdef Q_OS_MACOS
    QSKIP("macOS's tool takes the key only as an argument");
#endif
    // Another local user can read every command line: the key goes on standard input.
    QTemporaryDir dir;
    const QString tool = dir.filePath(QStringLiteral("security"));
    FileUtils::writeSecure(
        QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.arguments\"\ncat > \"$0.input\"\n"), tool,
        FileUtils::scriptMode);
    awaitTask(Keychain::storeKey(
        m_tools, tool, QStringLiteral("dev"), QStringLiteral("s"), QStringLiteral("sk-secret")));
    QCOMPARE(readFile(tool + QStringLiteral(".arguments")),
        QByteArray("add-generic-password\n-U\n-a\ndev\n-s\ns\n-w\n"));
    QCOMPARE(readFile(tool + QStringLiteral(".input")), QByteArray("sk-secret"));
}

void TestKeychain::securityCommands_data()
{
    // The stand-in `security` tool against the real keyring.
    // In order: each row acts on what the rows before it left. "ITEM" stands for the item's
    // account and service options; a row starting with "secret-tool" runs that command.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("withoutBus");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out"); // after "…": a part of it
    QTest::addColumn<QByteArray>("err"); // after "…": a part of it
    const QByteArray notFound
        = "security: SecKeychainSearchCopyNext: The specified item could not be found in the keychain.\n";
    const QString add = QStringLiteral("add-generic-password ITEM -w");
    const QString find = QStringLiteral("find-generic-password ITEM -w");
    const auto row = [](const char *name, QString arguments, int status, const QByteArray &out = {},
                         const QByteArray &err = {}, const QByteArray &input = {}, bool withoutBus = false) {
        const QString service = QStringLiteral("velmora-connect:h.example-443:dev:1");
        QStringList list
            = arguments.replace(QStringLiteral("ITEM"), QStringLiteral("-a dev -s S")).split(u' ');
        list.replaceInStrings(QRegularExpression(QStringLiteral("^S$")), service);
        QTest::newRow(name) << list << input << withoutBus << status << out << err;
    };
    row("add", add + QStringLiteral(" sk-one"), 0);
    row("add again", add + QStringLiteral(" sk-two"), 45, {},
        "security: SecKeychainItemCreateFromContent (<default>): The specified item already exists in the "
        "keychain.\n");
    row("find", find, 0, "sk-one\n");
    row("found by secret-tool", QStringLiteral("secret-tool lookup service S account dev"), 0, "sk-one");
    row("stored by secret-tool", QStringLiteral("secret-tool store --label=x service S account dev"), 0, {},
        {}, "-U密钥");
    row("found by security", find, 0, "-U密钥\n");
    row("attributes without the key", QStringLiteral("find-generic-password ITEM"), 0,
        "…    \"svce\"<blob>=\"velmora-connect:h.example-443:dev:1\"\n");
    row("no Secret Service", add + QStringLiteral(" sk-x"), 53, {},
        "…No keychain is available: the Secret Service cannot be reached", {}, true);
    row("delete", QStringLiteral("delete-generic-password ITEM"), 0, "…password has been deleted.\n");
    row("delete again", QStringLiteral("delete-generic-password ITEM"), 44, {}, notFound);
    row("find after delete", find, 44, {}, notFound);
}

void TestKeychain::securityCommands()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(bool, withoutBus);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
#ifdef Q_OS_MACOS
    QSKIP("macOS has the system's own tool");
#endif
    const QString program
        = arguments.first() == QLatin1String("secret-tool") ? arguments.takeFirst() : security;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (withoutBus)
        environment.insert(
            QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(-1));
    QCOMPARE(process.exitCode(), status);
    for (const auto &[expected, actual] : { std::pair { out, process.readAllStandardOutput() },
             std::pair { err, process.readAllStandardError() } }) {
        if (expected.startsWith("…"))
            QVERIFY2(actual.contains(expected.mid(QByteArray("…").size())), actual.constData());
        else
            QCOMPARE(actual, expected);
        // A secret shows nowhere but on standard output of find with -w.
        QVERIFY(expected.contains("sk-") || expected.contains("密钥")
            || !(actual.contains("sk-") || actual.contains("密钥")));
    }
}

QTEST_GUILESS_MAIN(TestKeychain)
#include "tst_keychain.moc"
