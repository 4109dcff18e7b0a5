#include "agents/fileutils.h"
#include "files.h"
#include "testplatform.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/file.h>
#include <unistd.h>

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// "GUI" and "JOB" in a command line stand for the user's domain and the job in it.
const QString gui = QStringLiteral("gui/") + QString::number(::getuid());
const QString job = gui + QStringLiteral("/com.velmora.connect.codex-env");

} // namespace

class TestLaunchctl : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void environment_data();
    void environment();
    void valueLeavesTheProcessList();
    void failures_data();
    void failures();
    void damagedState_data();
    void damagedState();
    void fullDisk();

private:
    QProcess *start(QStringList arguments, const QByteArray &input = {});
    Run launchctl(const QString &commandLine, const QByteArray &input = {});
    QString domain() const
    {
        return m_state + QStringLiteral("/velmora-connect/launchd/gui-") + QString::number(::getuid());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_state;
};

void TestLaunchctl::init()
{
#ifdef Q_OS_MACOS
    QSKIP("macOS has the system's own tool");
#endif
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_state = m_dir->filePath(QStringLiteral("state"));
}

QProcess *TestLaunchctl::start(QStringList arguments, const QByteArray &input)
{
    auto *process = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_STATE_HOME"), m_state);
    process->setProcessEnvironment(environment);
    arguments.replaceInStrings(QStringLiteral("GUI"), gui).replaceInStrings(QStringLiteral("JOB"), job);
    process->start(builtToolPath(QStringLiteral("launchctl")), arguments);
    process->write(input);
    process->closeWriteChannel();
    return process;
}

Run TestLaunchctl::launchctl(const QString &commandLine, const QByteArray &input)
{
    std::unique_ptr<QProcess> process(start(commandLine.split(u' '), input));
    process->waitForFinished(-1);
    return { process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
        process->readAllStandardOutput(), process->readAllStandardError() };
}

void TestLaunchctl::environment_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("onInput"); // on standard input rather than as an argument
    QTest::newRow("quotes and CJK") << " sk-'1' \"c\" $d 密钥" << false;
    QTest::newRow("looks like a Qt option") << "-qmljsdebugger=port:1234" << false;
    QTest::newRow("on standard input") << "sk-velmora-456" << true;
}

void TestLaunchctl::environment()
{
    QFETCH(QString, value);
    QFETCH(bool, onInput);
    const mode_t umask = ::umask(0); // nothing left to the umask
    const auto restore = qScopeGuard([umask] { ::umask(umask); });
    QCOMPARE(launchctl(QStringLiteral("setenv B 2")).status, 0);
    std::unique_ptr<QProcess> process(onInput
            ? start({ QStringLiteral("setenv"), QStringLiteral("K") }, value.toUtf8() + '\n')
            : start({ QStringLiteral("setenv"), QStringLiteral("K"), value }));
    QVERIFY(process->waitForFinished());
    QCOMPARE(process->exitCode(), 0);
    QCOMPARE(process->readAll() + process->readAllStandardError(), QByteArray());
    QCOMPARE(launchctl(QStringLiteral("getenv K")).out, value.toUtf8() + '\n');
    // Nothing in the domain, where the key now is, is open to others.
    for (const QString &name : QDir(domain()).entryList(QDir::Files | QDir::Hidden))
        QCOMPARE(fileMode(domain() + u'/' + name), 0600);
    QCOMPARE(fileMode(domain()), 0700);
    QCOMPARE(launchctl(QStringLiteral("unsetenv K")).status, 0);
    QCOMPARE(launchctl(QStringLiteral("getenv K")).out + launchctl(QStringLiteral("getenv B")).out,
        QByteArray("2\n"));
}

void TestLaunchctl::valueLeavesTheProcessList()
{
    // While the domain is locked the tool waits; by then the key is gone from its command line,
    // where another local user could read it.
    QVERIFY(QDir().mkpath(domain()));
    QFile lock(domain() + QStringLiteral("/lock"));
    QVERIFY(lock.open(QIODevice::ReadWrite));
    QCOMPARE(::flock(lock.handle(), LOCK_EX), 0);
    std::unique_ptr<QProcess> process(start(QStringLiteral("setenv K sk-hidden").split(u' ')));
    QVERIFY(process->waitForStarted());
    const QString cmdline = QStringLiteral("/proc/%1/cmdline").arg(process->processId());
    QTRY_VERIFY_WITH_TIMEOUT(readFile(cmdline).contains("setenv"), 5000);
    QTRY_VERIFY2_WITH_TIMEOUT(!readFile(cmdline).contains("sk-hidden"), readFile(cmdline).constData(), 2000);
    ::flock(lock.handle(), LOCK_UN);
    QVERIFY(process->waitForFinished());
    QCOMPARE(process->exitCode(), 0);
}

void TestLaunchctl::failures_data()
{
    QTest::addColumn<QString>("commandLine"); // "PLIST": a file holding `plist`
    QTest::addColumn<QString>("plist");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error"); // how standard error ends
    const QString head = QStringLiteral(
        "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict><key>Label</key><string>x</string>");
    const QString bootstrap = QStringLiteral("bootstrap GUI PLIST");
    const QString io = QStringLiteral("Bootstrap failed: 5: Input/output error\n");
    const QString program = QStringLiteral("<key>Program</key><string>/bin/true</string></dict></plist>");
    QTest::newRow("unclosed") << bootstrap << head << 5 << io;
    QTest::newRow("no program") << bootstrap << head + "</dict></plist>" << 5 << io;
    QTest::newRow("key twice") << bootstrap << head + "<key>Label</key><string>y</string>" + program << 5
                               << io;
    QTest::newRow("nested without end")
        << bootstrap << head + "<key>X</key>" + QStringLiteral("<array>").repeated(60000) << 5
        << "values nested deeper than 64 levels\n" + io;
    QTest::newRow("another user's domain") << QStringLiteral("print gui/%1/x").arg(::getuid() + 1)
                                           << QString() << 1 << "Print failed: 1: Operation not permitted\n";
}

void TestLaunchctl::failures()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, plist);
    QFETCH(int, status);
    QFETCH(QString, error);
    const QString path = m_dir->filePath(QStringLiteral("bad.plist"));
    FileUtils::writeSecure(plist, path, 0600);
    const Run run = launchctl(commandLine.replace(QStringLiteral("PLIST"), path));
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.endsWith(error.toUtf8()), run.err.constData());
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(launchctl(QStringLiteral("print GUI/x")).status, 113);
}

void TestLaunchctl::damagedState_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reading"); // fails on the damaged file, naming it
    QTest::addColumn<QString>("writing"); // goes on without it; afterwards all works again
    QTest::addColumn<int>("status"); // of the reading afterwards
    QTest::newRow("environment") << QStringLiteral("environment.json") << QStringLiteral("getenv A")
                                 << QStringLiteral("unsetenv A") << 0;
    QTest::newRow("environment, set again")
        << QStringLiteral("environment.json") << QStringLiteral("getenv A") << QStringLiteral("setenv A 2")
        << 0;
    QTest::newRow("jobs") << QStringLiteral("jobs.json") << QStringLiteral("print JOB")
                          << QStringLiteral("bootout JOB") << 113;
}

void TestLaunchctl::damagedState()
{
    QFETCH(QString, file);
    QFETCH(QString, reading);
    QFETCH(QString, writing);
    QFETCH(int, status);
    QVERIFY(QDir().mkpath(domain()));
    const QByteArray path = QFile::encodeName(domain() + u'/' + file);
    // Cut short with a key in it: no unsetenv could find the key there.
    QVERIFY(writeFile(path, "{\"A\": \"sk-damaged\",", 0600));
    Run run = launchctl(reading);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith("launchctl: " + path + ": damaged"), run.err.constData());
    run = launchctl(writing);
    QVERIFY2(run.err.startsWith(path + ": damaged"), run.err.constData());
    for (const QString &name : QDir(domain()).entryList(QDir::Files | QDir::Hidden))
        QVERIFY2(!readFile(domain() + u'/' + name).contains("sk-damaged"), qPrintable(name));
    QCOMPARE(launchctl(QStringLiteral("setenv A 1")).status, 0);
    QCOMPARE(launchctl(reading).status, status);
}

void TestLaunchctl::fullDisk()
{
    QVERIFY(QDir().mkpath(m_state));
    if (!mountSmallDisk(m_state, 8 * 1024))
        QSKIP("a 64 KiB tmpfs cannot be mounted here (needs root): the full-disk case is not run");
    const auto unmount = qScopeGuard([&] { unmountSmallDisk(m_state); });
    QCOMPARE(launchctl(QStringLiteral("setenv A 1")).status, 0);
    const QString environment = domain() + QStringLiteral("/environment.json");
    const QByteArray before = readFile(environment);
    // A value too large for what is left: a failure naming the file, and the old state kept.
    const Run run = launchctl(QStringLiteral("setenv B"), QByteArray(12 * 1024, 'k'));
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith("launchctl: " + QFile::encodeName(environment) + ": "), run.err.constData());
    QCOMPARE(readFile(environment), before);
    QCOMPARE(QDir(domain()).entryList(QDir::Files | QDir::Hidden),
        (QStringList { QStringLiteral("environment.json"), QStringLiteral("lock") }));
    QCOMPARE(launchctl(QStringLiteral("getenv A")).out, QByteArray("1\n"));
}

QTEST_GUILESS_MAIN(TestLaunchctl)
#include "tst_launchctl.moc"
