#include "agents/fileutils.h"
#include "files.h"
#include "service/connecterror.h"
#include "service/keychain.h"
#include "testplatform.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString security = builtToolPath(QStringLiteral("security"));

// How many items the keyring holds for the service, whoever stored them.
int itemCount(const QString &service)
{
    QProcess process;
    process.start(QStringLiteral("secret-tool"),
        { QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("service"), service });
    process.waitForFinished(-1);
    return (process.readAllStandardOutput() + process.readAllStandardError()).count("\nlabel = ");
}

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
    void missingItem();
    void launcherLine_data();
    void launcherLine();

private:
    TestPlatform m_platform;
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
    const QString prefix = QStringLiteral("velmora-connect:h.example-443:");
    QTest::newRow("e-mail, https") << "https://api.velmora.example"
                                   << "Dev.Name@Example.com" << qint64(12)
                                   << "velmora-connect:api.velmora.example-443:dev-name-example-com:12";
    QTest::newRow("explicit port wins") << "https://relay.example:8443/v1"
                                        << "a" << qint64(3) << "velmora-connect:relay.example-8443:a:3";
    QTest::newRow("http") << "http://127.0.0.1"
                          << "a" << qint64(7) << "velmora-connect:127.0.0.1-80:a:7";
    QTest::newRow("no host") << ""
                             << "a" << qint64(1) << "velmora-connect:local-80:a:1";
    QTest::newRow("60 letters cut to 48") << h << letters << qint64(1) << prefix + letters.left(48) + ":1";
    QTest::newRow("CJK kept, others each one hyphen")
        << h << "张三 b@c.d_e+f-'ΣΑ" << qint64(2) << prefix + "张三-b-c-d-e-f--σα:2";
    QTest::newRow("a letter with its accent is one character")
        << h << accent.repeated(50) << qint64(1) << prefix + accent.repeated(48) + ":1";
    QTest::newRow("emoji of several code points is one hyphen")
        << h << QStringLiteral("a\U0001F468\u200D\U0001F469b") << qint64(1) << prefix + "a-b:1";
    QTest::newRow("group beyond 2^53")
        << h << "a" << qint64(9007199254740993) << prefix + "a:9007199254740993";
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
    QTest::newRow("trailing line feed trimmed") << "sk-1\n"
                                                << "sk-1";
    QTest::newRow("only white space is empty") << " \n "
                                               << "";
    QTest::newRow("shell characters") << "sk-'$`\\\" x"
                                      << "sk-'$`\\\" x";
    QTest::newRow("leading hyphen") << "-w"
                                    << "-w";
}

void TestKeychain::storeAndLoad()
{
    QFETCH(QString, stored);
    QFETCH(QString, loaded);
    const QString service = QStringLiteral("velmora-connect:store:") + QTest::currentDataTag();
    // Stored twice (connecting stores it again): still one item.
    Keychain::storeKey(security, m_platform.user, service, QStringLiteral("sk-old"));
    Keychain::storeKey(security, m_platform.user, service, stored);
    QCOMPARE(Keychain::loadKey(security, m_platform.user, service), loaded);
    QCOMPARE(itemCount(service), 1);
    Keychain::deleteKey(security, m_platform.user, service);
    QCOMPARE(itemCount(service), 0);
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
    Keychain::storeKey(tool, QStringLiteral("dev"), QStringLiteral("s"), QStringLiteral("sk-secret"));
    QCOMPARE(readFile(tool + QStringLiteral(".arguments")),
        QByteArray("add-generic-password\n-U\n-a\ndev\n-s\ns\n-w\n"));
    QCOMPARE(readFile(tool + QStringLiteral(".input")), QByteArray("sk-secret"));
}

void TestKeychain::missingItem()
{
    // The tool's own message is not shown; another account's item is not this user's.
    Keychain::storeKey(security, QStringLiteral("someone-else"), QStringLiteral("velmora-connect:other"),
        QStringLiteral("sk"));
    for (const QString &service :
        { QStringLiteral("velmora-connect:never-stored"), QStringLiteral("velmora-connect:other") }) {
        try {
            Keychain::loadKey(security, m_platform.user, service);
            QFAIL("no error");
        } catch (const ConnectError &error) {
            QCOMPARE(error.message(), QStringLiteral("本机配置命令失败"));
        }
    }
    Keychain::deleteKey(security, QStringLiteral("someone-else"), QStringLiteral("velmora-connect:other"));
}

void TestKeychain::launcherLine_data()
{
    QTest::addColumn<QString>("shell");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("key");
    for (const QString &shell : { QStringLiteral("/bin/dash"), QStringLiteral("/bin/bash") }) {
        QTest::addRow("%s: plain", qPrintable(shell))
            << shell << QStringLiteral("velmora-connect:h-443:dev:12") << QStringLiteral("sk-abc123");
        QTest::addRow("%s: shell characters", qPrintable(shell))
            << shell << QStringLiteral("velmora-connect:o'neil $HOME `id` \"x\" \\:1")
            << QStringLiteral("sk-$USER `id` \"q\" \\ '");
    }
}

void TestKeychain::launcherLine()
{
    QFETCH(QString, shell);
    QFETCH(QString, service);
    QFETCH(QString, key);
    QCOMPARE(qEnvironmentVariable("USER"), m_platform.user);
    Keychain::storeKey(security, m_platform.user, service, key);
    // The launchers' line, run by name with the stand-in's directory on the search path.
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("velmora-test"));
    FileUtils::writeSecure(
        QStringLiteral("#!/bin/sh\nset -eu\nvelmora_key=\"$(security find-generic-password -a \"$USER\" -s ")
            + FileUtils::shellQuote(service) + QStringLiteral(" -w)\"\nprintf '%s' \"$velmora_key\"\n"),
        script, FileUtils::scriptMode);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
        QFileInfo(security).absolutePath() + u':' + environment.value(QStringLiteral("PATH")));
    process.setProcessEnvironment(environment);
    for (const bool stored : { true, false }) {
        process.start(shell, { script });
        QVERIFY(process.waitForFinished(-1));
        // With the item gone, `set -eu` stops the script at that line.
        QCOMPARE(process.exitCode(), stored ? 0 : 44);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), stored ? key : QString());
        if (stored)
            Keychain::deleteKey(security, m_platform.user, service);
    }
}

QTEST_GUILESS_MAIN(TestKeychain)
#include "tst_keychain.moc"
