#include "testplatform.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

class TestSecurity : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void commands_data();
    void commands();
};

void TestSecurity::initTestCase()
{
#ifdef Q_OS_MACOS
    QSKIP("macOS has the system's own tool");
#endif
}

void TestSecurity::commands_data()
{
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
    const auto row = [](const char *name, const QString &arguments, int status, const QByteArray &out = {},
                         const QByteArray &err = {}, const QByteArray &input = {}, bool withoutBus = false) {
        QTest::newRow(name) << arguments.split(u' ') << input << withoutBus << status << out << err;
    };
    row("add", add + QStringLiteral(" sk-one"), 0);
    row("add again", add + QStringLiteral(" sk-two"), 45, {},
        "security: SecKeychainItemCreateFromContent (<default>): The specified item already exists in the "
        "keychain.\n");
    row("find", find, 0, "sk-one\n");
    row("update, key on standard input", QStringLiteral("add-generic-password -U ITEM -w"), 0, {}, {},
        "sk-3 '$\n");
    row("find the update", find, 0, "sk-3 '$\n");
    row("found by secret-tool", QStringLiteral("secret-tool lookup service S account dev"), 0, "sk-3 '$");
    row("stored by secret-tool", QStringLiteral("secret-tool store --label=x service S account dev"), 0, {},
        {}, "-U密钥");
    row("found by security", find, 0, "-U密钥\n");
    row("attributes without the key", QStringLiteral("find-generic-password ITEM"), 0,
        "…    \"svce\"<blob>=\"velmora-connect:h.example-443:dev:1\"\n");
    row("no Secret Service", add + QStringLiteral(" sk-x"), 53, {},
        "…No keychain is available: the Secret Service cannot be reached", {}, true);
    row("usage", QStringLiteral("add-generic-password ITEM"), 2, {}, "…Usage: add-generic-password");
    row("delete", QStringLiteral("delete-generic-password ITEM"), 0, "…password has been deleted.\n");
    row("delete again", QStringLiteral("delete-generic-password ITEM"), 44, {}, notFound);
    row("find after delete", find, 44, {}, notFound);
}

void TestSecurity::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(bool, withoutBus);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    const QString service = QStringLiteral("velmora-connect:h.example-443:dev:1");
    arguments.replaceInStrings(QStringLiteral("ITEM"), QStringLiteral("-a dev -s ") + service);
    arguments = arguments.join(u' ').split(u' ');
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^S$")), service);
    const QString program = arguments.first() == QLatin1String("secret-tool")
        ? arguments.takeFirst()
        : builtToolPath(QStringLiteral("security"));
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

QTEST_GUILESS_MAIN(TestSecurity)
#include "tst_security.moc"
