#include "testplatform.h"

#include <QProcess>
#include <QtTest>

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the `security` stand-in; `environment` entries replace the inherited ones.
Run security(const QStringList &arguments, const QMap<QString, QString> &environment = {})
{
    QProcess process;
    QProcessEnvironment processEnvironment = QProcessEnvironment::systemEnvironment();
    for (auto it = environment.begin(); it != environment.end(); ++it)
        processEnvironment.insert(it.key(), it.value());
    process.setProcessEnvironment(processEnvironment);
    process.start(builtToolPath(QStringLiteral("security")), arguments);
    process.waitForFinished(-1);
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAllStandardOutput(), process.readAllStandardError() };
}

Run secretTool(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(QStringLiteral("secret-tool"), arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    return { process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError() };
}

const QByteArray notFound
    = "security: SecKeychainSearchCopyNext: The specified item could not be found in the keychain.\n";
const QByteArray duplicate = "security: SecKeychainItemCreateFromContent (<default>): The specified item "
                             "already exists in the keychain.\n";
const QMap<QString, QString> noBus { { QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
    QStringLiteral("unix:path=/nonexistent/velmora-no-bus") } };

} // namespace

class TestSecurity : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void lifecycle();
    void secretsAsGiven_data();
    void secretsAsGiven();
    void sharedWithSecretTool();
    void secretNeverShown_data();
    void secretNeverShown();
    void noSecretService_data();
    void noSecretService();
    void usageErrors_data();
    void usageErrors();
};

void TestSecurity::initTestCase()
{
#ifdef Q_OS_MACOS
    QSKIP("macOS has the system's own tool");
#endif
}

void TestSecurity::lifecycle()
{
    const QString a = QStringLiteral("dev");
    const QString s = QStringLiteral("velmora-connect:h.example-443:dev:1");
    const QStringList item { QStringLiteral("-a"), a, QStringLiteral("-s"), s };

    Run run = security(QStringList { QStringLiteral("add-generic-password") } + item
        + QStringList { QStringLiteral("-w"), QStringLiteral("sk-one") });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray());

    // Adding it again without -U: 45, and the secret is kept.
    run = security(QStringList { QStringLiteral("add-generic-password") } + item
        + QStringList { QStringLiteral("-w"), QStringLiteral("sk-two") });
    QCOMPARE(run.status, 45);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, duplicate);
    run = security(QStringList { QStringLiteral("find-generic-password") } + item
        + QStringList { QStringLiteral("-w") });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray("sk-one\n"));
    QCOMPARE(run.err, QByteArray());

    // With -U the secret of the same item changes.
    run = security(QStringList { QStringLiteral("add-generic-password"), QStringLiteral("-U") } + item
        + QStringList { QStringLiteral("-w"), QStringLiteral("sk-three") });
    QCOMPARE(run.status, 0);
    run = security(QStringList { QStringLiteral("find-generic-password") } + item
        + QStringList { QStringLiteral("-w") });
    QCOMPARE(run.out, QByteArray("sk-three\n"));
    const Run search
        = secretTool({ QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("service"), s });
    QCOMPARE((search.out + search.err).count("\nlabel = "), 1);

    // Without -w: the item's attributes, in the login keyring, and no secret.
    run = security(QStringList { QStringLiteral("find-generic-password") } + item);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.startsWith("keychain: \"/org/freedesktop/secrets/collection/login\"\n"
                                "version: 512\n"
                                "class: \"genp\"\n"
                                "attributes:\n"),
        run.out.constData());
    QVERIFY(run.out.contains("    \"acct\"<blob>=\"dev\"\n"));
    QVERIFY(run.out.contains("    \"svce\"<blob>=\"velmora-connect:h.example-443:dev:1\"\n"));
    QVERIFY(!run.out.contains("sk-three"));

    run = security(QStringList { QStringLiteral("delete-generic-password") } + item);
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.endsWith(
        "\"svce\"<blob>=\"velmora-connect:h.example-443:dev:1\"\npassword has been deleted.\n"));
    QCOMPARE(run.err, QByteArray());

    run = security(QStringList { QStringLiteral("delete-generic-password") } + item);
    QCOMPARE(run.status, 44);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, notFound);
    run = security(QStringList { QStringLiteral("find-generic-password") } + item
        + QStringList { QStringLiteral("-w") });
    QCOMPARE(run.status, 44);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, notFound);
}

void TestSecurity::secretsAsGiven_data()
{
    QTest::addColumn<QString>("secret");
    QTest::newRow("trailing line feed") << "sk-1\n";
    QTest::newRow("line feed inside") << "sk\n2";
    QTest::newRow("leading hyphen") << "-U";
    QTest::newRow("spaces and quotes") << " sk '3' \"q\" ";
    QTest::newRow("CJK") << "密钥";
    QTest::newRow("empty") << "";
}

void TestSecurity::secretsAsGiven()
{
    QFETCH(QString, secret);
    const QStringList item { QStringLiteral("-a"), QStringLiteral("dev"), QStringLiteral("-s"),
        QStringLiteral("velmora-connect:given:") + QTest::currentDataTag() };
    QCOMPARE(security(QStringList { QStringLiteral("add-generic-password") } + item
                 + QStringList { QStringLiteral("-w"), secret })
                 .status,
        0);
    const Run run = security(QStringList { QStringLiteral("find-generic-password") } + item
        + QStringList { QStringLiteral("-w") });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, secret.toUtf8() + '\n');
    QCOMPARE(security(QStringList { QStringLiteral("delete-generic-password") } + item).status, 0);
}

void TestSecurity::sharedWithSecretTool()
{
    const QString s = QStringLiteral("velmora-connect:shared:1");
    QCOMPARE(security({ QStringLiteral("add-generic-password"), QStringLiteral("-a"), QStringLiteral("dev"),
                          QStringLiteral("-s"), s, QStringLiteral("-w"), QStringLiteral("sk-from-security") })
                 .status,
        0);
    Run run = secretTool({ QStringLiteral("lookup"), QStringLiteral("service"), s, QStringLiteral("account"),
        QStringLiteral("dev") });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray("sk-from-security"));

    const QString other = QStringLiteral("velmora-connect:shared:2");
    run = secretTool({ QStringLiteral("store"), QStringLiteral("--label=x"), QStringLiteral("service"), other,
                         QStringLiteral("account"), QStringLiteral("dev") },
        "sk-from-secret-tool");
    QCOMPARE(run.status, 0);
    run = security({ QStringLiteral("find-generic-password"), QStringLiteral("-a"), QStringLiteral("dev"),
        QStringLiteral("-s"), other, QStringLiteral("-w") });
    QCOMPARE(run.out, QByteArray("sk-from-secret-tool\n"));
    // -U updates that same item rather than adding a second.
    QCOMPARE(security({ QStringLiteral("add-generic-password"), QStringLiteral("-U"), QStringLiteral("-a"),
                          QStringLiteral("dev"), QStringLiteral("-s"), other, QStringLiteral("-w"),
                          QStringLiteral("sk-new") })
                 .status,
        0);
    run = secretTool({ QStringLiteral("lookup"), QStringLiteral("service"), other, QStringLiteral("account"),
        QStringLiteral("dev") });
    QCOMPARE(run.out, QByteArray("sk-new"));
    const Run search
        = secretTool({ QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("service"), other });
    QCOMPARE((search.out + search.err).count("\nlabel = "), 1);
}

void TestSecurity::secretNeverShown_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("withoutBus");
    QTest::addColumn<bool>("secretOnStdout");
    const QString secret = QStringLiteral("sk-never-shown-7f3a");
    const QString s = QStringLiteral("velmora-connect:never-shown:1");
    const QStringList item { QStringLiteral("-a"), QStringLiteral("dev"), QStringLiteral("-s"), s };
    const QStringList add = QStringList { QStringLiteral("add-generic-password") } + item;
    // In order: each row acts on what the rows before it left.
    QTest::newRow("add") << add + QStringList { QStringLiteral("-w"), secret } << false << false;
    QTest::newRow("add again") << add + QStringList { QStringLiteral("-w"), secret } << false << false;
    QTest::newRow("add -U") << add + QStringList { QStringLiteral("-U"), QStringLiteral("-w"), secret }
                            << false << false;
    QTest::newRow("find") << QStringList { QStringLiteral("find-generic-password") } + item << false << false;
    QTest::newRow("find -w") << QStringList { QStringLiteral("find-generic-password") } + item
            + QStringList { QStringLiteral("-w") }
                             << false << true;
    QTest::newRow("stray argument after the secret")
        << add + QStringList { QStringLiteral("-w"), secret, secret } << false << false;
    QTest::newRow("secret where an option belongs") << add + QStringList { secret } << false << false;
    QTest::newRow("unknown option") << add
            + QStringList { QStringLiteral("-g"), QStringLiteral("-w"), secret }
                                    << false << false;
    QTest::newRow("no Secret Service") << add + QStringList { QStringLiteral("-w"), secret } << true << false;
    QTest::newRow("delete") << QStringList { QStringLiteral("delete-generic-password") } + item << false
                            << false;
}

void TestSecurity::secretNeverShown()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, withoutBus);
    QFETCH(bool, secretOnStdout);
    const QByteArray secret = "sk-never-shown-7f3a";
    const Run run = security(arguments, withoutBus ? noBus : QMap<QString, QString>());
    QVERIFY2(!run.err.contains(secret), run.err.constData());
    QCOMPARE(run.out.contains(secret), secretOnStdout);
    if (secretOnStdout)
        QCOMPARE(run.out, secret + '\n');
}

void TestSecurity::noSecretService_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QStringList item { QStringLiteral("-a"), QStringLiteral("dev"), QStringLiteral("-s"),
        QStringLiteral("x") };
    QTest::newRow("add") << QStringList { QStringLiteral("add-generic-password"), QStringLiteral("-U") }
            + item + QStringList { QStringLiteral("-w"), QStringLiteral("k") };
    QTest::newRow("find") << QStringList { QStringLiteral("find-generic-password") } + item
            + QStringList { QStringLiteral("-w") };
    QTest::newRow("delete") << QStringList { QStringLiteral("delete-generic-password") } + item;
}

void TestSecurity::noSecretService()
{
    QFETCH(QStringList, arguments);
    const Run run = security(arguments, noBus);
    // Not "no such item": the keychain itself cannot be reached, and the message says so.
    QVERIFY(run.status != 0);
    QVERIFY(run.status != 44);
    QVERIFY(run.status != 45);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.startsWith("security: No keychain is available: the Secret Service cannot be reached"),
        run.err.constData());
}

void TestSecurity::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no command") << QStringList();
    QTest::newRow("unknown command") << QStringList { QStringLiteral("dump-keychain") };
    QTest::newRow("add without a password") << QStringList { QStringLiteral("add-generic-password"),
        QStringLiteral("-a"), QStringLiteral("a"), QStringLiteral("-s"), QStringLiteral("s") };
    QTest::newRow("-w without its value")
        << QStringList { QStringLiteral("add-generic-password"), QStringLiteral("-a"), QStringLiteral("a"),
               QStringLiteral("-s"), QStringLiteral("s"), QStringLiteral("-w") };
    QTest::newRow("find with -g") << QStringList { QStringLiteral("find-generic-password"),
        QStringLiteral("-s"), QStringLiteral("s"), QStringLiteral("-g") };
    QTest::newRow("delete with -w") << QStringList { QStringLiteral("delete-generic-password"),
        QStringLiteral("-s"), QStringLiteral("s"), QStringLiteral("-w") };
}

void TestSecurity::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Run run = security(arguments);
    QCOMPARE(run.status, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY(run.err.contains("Usage: "));
}

QTEST_GUILESS_MAIN(TestSecurity)
#include "tst_security.moc"
