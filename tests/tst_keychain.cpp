#include "agents/fileutils.h"
#include "platform/connecterror.h"
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
    return process.readAllStandardOutput().count("\nlabel = ")
        + process.readAllStandardError().count("\nlabel = ");
}

} // namespace

class TestKeychain : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void keychainService_data();
    void keychainService();

    void storeAndLoad_data();
    void storeAndLoad();
    void updateKeepsOneItem();
    void groupsAreIndependent();
    void missingItem();
    void deleteKey();
    void missingTool();
    void launcherLineReadsTheKey_data();
    void launcherLineReadsTheKey();

private:
    TestPlatform m_platform;
};

void TestKeychain::initTestCase()
{
    QVERIFY2(QFileInfo(security).isExecutable(), qPrintable(security));
    QVERIFY(!m_platform.user.isEmpty());
}

void TestKeychain::keychainService_data()
{
    QTest::addColumn<QString>("router");
    QTest::addColumn<QString>("account");
    QTest::addColumn<qint64>("group");
    QTest::addColumn<QString>("expected");

    const QString letters60 = QStringLiteral("abcdefghij").repeated(6);
    const QString accent = QStringLiteral("e\u0301"); // e and a combining acute accent
    const QString family
        = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"); // four code points joined

    QTest::newRow("e-mail, https default")
        << "https://api.velmora.example"
        << "Dev.Name@Example.com" << qint64(12)
        << "velmora-connect:api.velmora.example-443:dev-name-example-com:12";
    QTest::newRow("explicit port wins over https")
        << "https://relay.example:8443/v1"
        << "a@b.c" << qint64(3) << "velmora-connect:relay.example-8443:a-b-c:3";
    QTest::newRow("explicit 443 on http") << "http://relay.example:443"
                                          << "a" << qint64(1) << "velmora-connect:relay.example-443:a:1";
    QTest::newRow("http default") << "http://127.0.0.1"
                                  << "a" << qint64(7) << "velmora-connect:127.0.0.1-80:a:7";
    QTest::newRow("explicit port on http") << "http://127.0.0.1:8787"
                                           << "a" << qint64(7) << "velmora-connect:127.0.0.1-8787:a:7";
    QTest::newRow("no host, https") << "https:"
                                    << "a" << qint64(1) << "velmora-connect:local-443:a:1";
    QTest::newRow("no host, no scheme") << ""
                                        << "a" << qint64(1) << "velmora-connect:local-80:a:1";
    QTest::newRow("anonymous") << "https://h.example"
                               << "anonymous" << qint64(5) << "velmora-connect:h.example-443:anonymous:5";
    QTest::newRow("60 letters cut to 48") << "https://h.example" << letters60 << qint64(1)
                                          << "velmora-connect:h.example-443:" + letters60.left(48) + ":1";
    QTest::newRow("exactly 48 kept") << "https://h.example" << letters60.left(48) << qint64(1)
                                     << "velmora-connect:h.example-443:" + letters60.left(48) + ":1";
    QTest::newRow("upper case lowered")
        << "https://h.example"
        << "ÄBC.ΣΑΣ" << qint64(1) << "velmora-connect:h.example-443:äbc-σασ:1";
    QTest::newRow("CJK kept") << "https://h.example"
                              << "张三@例子.中国" << qint64(2)
                              << "velmora-connect:h.example-443:张三-例子-中国:2";
    QTest::newRow("at, full stop, underscore, plus, space become hyphens")
        << "https://h.example"
        << "a b@c.d_e+f" << qint64(1) << "velmora-connect:h.example-443:a-b-c-d-e-f:1";
    QTest::newRow("hyphen stays, each character one hyphen")
        << "https://h.example"
        << "a-b--c  d" << qint64(1) << "velmora-connect:h.example-443:a-b--c--d:1";
    QTest::newRow("digits of other scripts kept")
        << "https://h.example"
        << "user١٢٣" << qint64(1) << "velmora-connect:h.example-443:user١٢٣:1";
    QTest::newRow("letter outside the basic plane kept")
        << "https://h.example" << QStringLiteral("x\U0001D400y") << qint64(1)
        << QStringLiteral("velmora-connect:h.example-443:x\U0001D400y:1");
    QTest::newRow("letter with combining accent is one letter")
        << "https://h.example" << QStringLiteral("caf") + accent << qint64(1)
        << QStringLiteral("velmora-connect:h.example-443:caf") + accent + QStringLiteral(":1");
    QTest::newRow("combining accents count as one character each")
        << "https://h.example" << accent.repeated(50) << qint64(1)
        << QStringLiteral("velmora-connect:h.example-443:") + accent.repeated(48) + QStringLiteral(":1");
    QTest::newRow("combining mark with no letter before it")
        << "https://h.example" << QStringLiteral("\u0301a") << qint64(1)
        << "velmora-connect:h.example-443:-a:1";
    QTest::newRow("emoji of several code points is one hyphen")
        << "https://h.example" << QStringLiteral("a") + family + QStringLiteral("b") << qint64(1)
        << "velmora-connect:h.example-443:a-b:1";
    QTest::newRow("emoji counts as one character")
        << "https://h.example" << letters60.left(47) + family + QStringLiteral("zzz") << qint64(1)
        << "velmora-connect:h.example-443:" + letters60.left(47) + "-:1";
    QTest::newRow("flag is one hyphen") << "https://h.example" << QStringLiteral("cn\U0001F1E8\U0001F1F3")
                                        << qint64(1) << "velmora-connect:h.example-443:cn-:1";
    // A keycap is its digit followed by marks: the digit decides, as for an accented letter.
    QTest::newRow("keycap counts as its digit")
        << "https://h.example" << QStringLiteral("1\uFE0F\u20E3!") << qint64(1)
        << QStringLiteral("velmora-connect:h.example-443:1\uFE0F\u20E3-:1");
    QTest::newRow("apostrophe") << "https://h.example"
                                << "o'neil" << qint64(1) << "velmora-connect:h.example-443:o-neil:1";
    QTest::newRow("large group") << "https://h.example"
                                 << "a" << qint64(9007199254740993)
                                 << "velmora-connect:h.example-443:a:9007199254740993";
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
    QTest::newRow("plain") << "sk-velmora-0123456789abcdef"
                           << "sk-velmora-0123456789abcdef";
    QTest::newRow("trailing line feed trimmed") << "sk-1\n"
                                                << "sk-1";
    QTest::newRow("white space at both ends trimmed") << " \t sk-2 \n\n"
                                                      << "sk-2";
    QTest::newRow("only white space is empty") << " \n "
                                               << "";
    QTest::newRow("shell characters") << "sk-'$`\\\" x"
                                      << "sk-'$`\\\" x";
    QTest::newRow("leading hyphen") << "-w"
                                    << "-w";
    QTest::newRow("CJK") << "密钥-1"
                         << "密钥-1";
}

void TestKeychain::storeAndLoad()
{
    QFETCH(QString, stored);
    QFETCH(QString, loaded);
    const QString service
        = QStringLiteral("velmora-connect:h.example-443:store-") + QTest::currentDataTag() + ":1";
    Keychain::storeKey(security, m_platform.user, service, stored);
    QCOMPARE(Keychain::loadKey(security, m_platform.user, service), loaded);
    QCOMPARE(itemCount(service), 1);
    Keychain::deleteKey(security, m_platform.user, service);
}

void TestKeychain::updateKeepsOneItem()
{
    const QString service = QStringLiteral("velmora-connect:h.example-443:update:1");
    Keychain::storeKey(security, m_platform.user, service, QStringLiteral("sk-first"));
    Keychain::storeKey(security, m_platform.user, service, QStringLiteral("sk-first"));
    QCOMPARE(itemCount(service), 1);
    Keychain::storeKey(security, m_platform.user, service, QStringLiteral("sk-second"));
    QCOMPARE(itemCount(service), 1);
    QCOMPARE(Keychain::loadKey(security, m_platform.user, service), QStringLiteral("sk-second"));
    Keychain::deleteKey(security, m_platform.user, service);
}

void TestKeychain::groupsAreIndependent()
{
    const QUrl router(QStringLiteral("https://h.example"));
    const QString first = Keychain::keychainService(router, QStringLiteral("a@b.c"), 1);
    const QString second = Keychain::keychainService(router, QStringLiteral("a@b.c"), 2);
    Keychain::storeKey(security, m_platform.user, first, QStringLiteral("sk-group-1"));
    Keychain::storeKey(security, m_platform.user, second, QStringLiteral("sk-group-2"));
    QCOMPARE(Keychain::loadKey(security, m_platform.user, first), QStringLiteral("sk-group-1"));
    QCOMPARE(Keychain::loadKey(security, m_platform.user, second), QStringLiteral("sk-group-2"));
    Keychain::deleteKey(security, m_platform.user, first);
    QCOMPARE(Keychain::loadKey(security, m_platform.user, second), QStringLiteral("sk-group-2"));
    Keychain::deleteKey(security, m_platform.user, second);
}

void TestKeychain::missingItem()
{
    // The tool's own message is not shown: only the command failure.
    try {
        Keychain::loadKey(security, m_platform.user, QStringLiteral("velmora-connect:never-stored"));
        QFAIL("no error");
    } catch (const ConnectError &error) {
        QCOMPARE(error.message(), QStringLiteral("本机配置命令失败"));
    }
    // Another account's item is not this user's.
    Keychain::storeKey(security, QStringLiteral("someone-else"), QStringLiteral("velmora-connect:other"),
        QStringLiteral("sk"));
    QVERIFY_THROWS_EXCEPTION(
        ConnectError, Keychain::loadKey(security, m_platform.user, QStringLiteral("velmora-connect:other")));
    Keychain::deleteKey(security, QStringLiteral("someone-else"), QStringLiteral("velmora-connect:other"));
}

void TestKeychain::deleteKey()
{
    const QString service = QStringLiteral("velmora-connect:h.example-443:delete:1");
    Keychain::storeKey(security, m_platform.user, service, QStringLiteral("sk-gone"));
    Keychain::deleteKey(security, m_platform.user, service);
    QCOMPARE(itemCount(service), 0);
    QVERIFY_THROWS_EXCEPTION(ConnectError, Keychain::loadKey(security, m_platform.user, service));
    QVERIFY_THROWS_EXCEPTION(ConnectError, Keychain::deleteKey(security, m_platform.user, service));
}

void TestKeychain::missingTool()
{
    QTemporaryDir dir;
    const QString tool = dir.filePath(QStringLiteral("security"));
    QVERIFY_THROWS_EXCEPTION(PlatformError, Keychain::loadKey(tool, m_platform.user, QStringLiteral("s")));
    QVERIFY_THROWS_EXCEPTION(
        PlatformError, Keychain::storeKey(tool, m_platform.user, QStringLiteral("s"), QStringLiteral("k")));
}

void TestKeychain::launcherLineReadsTheKey_data()
{
    QTest::addColumn<QString>("shell");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("key");
    for (const QString &shell : { QStringLiteral("/bin/sh"), QStringLiteral("/bin/bash") }) {
        const QString name = QFileInfo(shell).fileName();
        QTest::addRow("%s: plain", qPrintable(name))
            << shell
            << Keychain::keychainService(
                   QUrl(QStringLiteral("https://h.example")), QStringLiteral("dev@example.com"), 12)
            << QStringLiteral("sk-velmora-abc123");
        QTest::addRow("%s: apostrophe in the service", qPrintable(name))
            << shell << QStringLiteral("velmora-connect:h.example-443:o'neil:12")
            << QStringLiteral("sk-o'neil");
        QTest::addRow("%s: shell characters in service and key", qPrintable(name))
            << shell << QStringLiteral("velmora-connect:$HOME `id` \"x\" \\:1")
            << QStringLiteral("sk-$USER `id` \"q\" \\ '");
    }
}

void TestKeychain::launcherLineReadsTheKey()
{
    QFETCH(QString, shell);
    QFETCH(QString, service);
    QFETCH(QString, key);
    QCOMPARE(qEnvironmentVariable("USER"), m_platform.user);
    Keychain::storeKey(security, m_platform.user, service, key);

    // The launchers' line, run by name with the stand-in's directory on the search path.
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("velmora-test"));
    FileUtils::writeSecure(QStringLiteral("#!/bin/sh\nset -eu\n")
            + QStringLiteral("velmora_key=\"$(security find-generic-password -a \"$USER\" -s ")
            + FileUtils::shellQuote(service) + QStringLiteral(" -w)\"\n")
            + QStringLiteral("printf '%s' \"$velmora_key\"\n"),
        script, FileUtils::scriptMode);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
        QFileInfo(security).absolutePath() + u':' + environment.value(QStringLiteral("PATH")));
    process.setProcessEnvironment(environment);
    process.start(shell, { script });
    QVERIFY(process.waitForFinished(-1));
    QCOMPARE(process.readAllStandardError(), QByteArray());
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), key);

    Keychain::deleteKey(security, m_platform.user, service);
    // With the item gone, `set -eu` stops the script at that line.
    process.start(shell, { script });
    QVERIFY(process.waitForFinished(-1));
    QCOMPARE(process.exitCode(), 44);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
}

QTEST_GUILESS_MAIN(TestKeychain)
#include "tst_keychain.moc"
