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

const QString label = QStringLiteral("com.velmora.connect.codex-env");
const QString gui = QStringLiteral("gui/") + QString::number(::getuid());

// The property list as the Codex environment writes it.
QString propertyList(const QString &program, const QString &runAtLoad = QStringLiteral("<true/>"))
{
    return QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
        "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
        "version=\"1.0\"><dict>\n  <key>Label</key><string>%1</string>\n  "
        "<key>ProgramArguments</key><array><string>%2</string></array>\n  "
        "<key>RunAtLoad</key>%3\n</dict></plist>")
        .arg(label, program, runAtLoad);
}

} // namespace

class TestLaunchctl : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void environment_data();
    void environment();
    void valueLeavesTheProcessList();
    void bootstrap();
    void failures_data();
    void failures();
    void damagedState_data();
    void damagedState();
    void fullDisk();

private:
    QProcess *start(const QStringList &arguments, const QByteArray &input = {});
    Run launchctl(const QStringList &arguments, const QByteArray &input = {});
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

QProcess *TestLaunchctl::start(const QStringList &arguments, const QByteArray &input)
{
    auto *process = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_STATE_HOME"), m_state);
    process->setProcessEnvironment(environment);
    process->start(builtToolPath(QStringLiteral("launchctl")), arguments);
    process->write(input);
    process->closeWriteChannel();
    return process;
}

Run TestLaunchctl::launchctl(const QStringList &arguments, const QByteArray &input)
{
    std::unique_ptr<QProcess> process(start(arguments, input));
    process->waitForFinished(-1);
    return { process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
        process->readAllStandardOutput(), process->readAllStandardError() };
}

void TestLaunchctl::environment_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("onInput"); // the value on standard input rather than as an argument
    QTest::newRow("key") << "sk-velmora-123" << false;
    QTest::newRow("quotes and CJK") << " a 'b' \"c\" $d 密钥" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("looks like a Qt option") << "-qmljsdebugger=port:1234" << false;
    QTest::newRow("on standard input") << "sk-velmora-456" << true;
}

void TestLaunchctl::environment()
{
    QFETCH(QString, value);
    QFETCH(bool, onInput);
    QCOMPARE(launchctl({ QStringLiteral("setenv"), QStringLiteral("B"), QStringLiteral("2") }).status, 0);
    const Run run = onInput
        ? launchctl({ QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY") }, value.toUtf8() + '\n')
        : launchctl({ QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY"), value });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out + run.err, QByteArray());
    QCOMPARE(
        launchctl({ QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") }).out, value.toUtf8() + '\n');
    QCOMPARE(launchctl({ QStringLiteral("unsetenv"), QStringLiteral("OPENAI_API_KEY") }).status, 0);
    QCOMPARE(launchctl({ QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") }).out, QByteArray());
    QCOMPARE(launchctl({ QStringLiteral("getenv"), QStringLiteral("B") }).out, QByteArray("2\n"));
}

void TestLaunchctl::valueLeavesTheProcessList()
{
    // While the domain is locked the tool waits; by then the key is gone from its command line,
    // where another local user could read it.
    QVERIFY(QDir().mkpath(domain()));
    QFile lock(domain() + QStringLiteral("/lock"));
    QVERIFY(lock.open(QIODevice::ReadWrite));
    QCOMPARE(::flock(lock.handle(), LOCK_EX), 0);
    std::unique_ptr<QProcess> process(
        start({ QStringLiteral("setenv"), QStringLiteral("K"), QStringLiteral("sk-hidden") }));
    QVERIFY(process->waitForStarted());
    const QString cmdline = QStringLiteral("/proc/%1/cmdline").arg(process->processId());
    QTRY_VERIFY_WITH_TIMEOUT(readFile(cmdline).contains("setenv"), 5000);
    QTRY_VERIFY2_WITH_TIMEOUT(!readFile(cmdline).contains("sk-hidden"), readFile(cmdline).constData(), 2000);
    ::flock(lock.handle(), LOCK_UN);
    QVERIFY(process->waitForFinished());
    QCOMPARE(process->exitCode(), 0);
}

void TestLaunchctl::bootstrap()
{
    const mode_t umask = ::umask(0); // nothing left to the umask
    const auto restore = qScopeGuard([umask] { ::umask(umask); });
    // The job sees the domain's environment and finds the stand-ins by name.
    const QString marker = m_dir->filePath(QStringLiteral("runs"));
    const QString script = m_dir->filePath(QStringLiteral("velmora-connect-codex-env"));
    FileUtils::writeSecure(
        QStringLiteral("#!/bin/sh\nset -eu\nprintf '%s %s\\n' \"$OPENAI_API_KEY\" \"$(command "
                       "-v security)\" >> ")
            + FileUtils::shellQuote(marker) + QStringLiteral("\nlaunchctl setenv SET_BY_JOB yes\n"),
        script, 0700);
    const QString plist = m_dir->filePath(QStringLiteral("a.plist"));
    FileUtils::writeSecure(propertyList(script), plist, 0600);
    QCOMPARE(
        launchctl({ QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-job") })
            .status,
        0);
    const Run run = launchctl({ QStringLiteral("bootstrap"), gui, plist });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out + run.err, QByteArray());
    QCOMPARE(
        readFile(marker), "sk-job " + QFile::encodeName(builtToolPath(QStringLiteral("security"))) + '\n');
    QCOMPARE(launchctl({ QStringLiteral("getenv"), QStringLiteral("SET_BY_JOB") }).out, QByteArray("yes\n"));
    QCOMPARE(launchctl({ QStringLiteral("print"), gui + u'/' + label }).out,
        QStringLiteral(
            "%1/%2 = {\n\tactive count = 0\n\tpath = %3\n\ttype = LaunchAgent\n\tstate = not running\n\n"
            "\tprogram = %4\n\targuments = {\n\t\t%4\n\t}\n\n\truns = 1\n\tlast exit code = 0\n}\n")
            .arg(gui, label, plist, script)
            .toUtf8());

    // Loaded already: refused, and nothing runs; booted out and in again, it runs once more.
    QCOMPARE(launchctl({ QStringLiteral("bootstrap"), gui, plist }).err,
        QByteArray("Bootstrap failed: 37: Operation already in progress\n"));
    QCOMPARE(launchctl({ QStringLiteral("bootout"), gui + u'/' + label }).status, 0);
    QCOMPARE(launchctl({ QStringLiteral("bootstrap"), gui, plist }).status, 0);
    QCOMPARE(readFile(marker).count('\n'), 2);

    // Nothing in the domain is open to others.
    for (const QString &name : QDir(domain()).entryList(QDir::Files | QDir::Hidden))
        QCOMPARE(fileMode(domain() + u'/' + name), 0600);
    QCOMPARE(fileMode(domain()), 0700);
}

void TestLaunchctl::failures_data()
{
    QTest::addColumn<QStringList>("arguments"); // "PLIST": a file holding `plist`
    QTest::addColumn<QString>("plist");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error"); // how standard error ends
    const QString head = QStringLiteral(
        "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict><key>Label</key><string>x</string>");
    const QStringList bootstrap { QStringLiteral("bootstrap"), gui, QStringLiteral("PLIST") };
    const QString io = QStringLiteral("Bootstrap failed: 5: Input/output error\n");
    QTest::newRow("not XML") << bootstrap << "Label = x" << 5 << io;
    QTest::newRow("unclosed") << bootstrap << head << 5 << io;
    QTest::newRow("no program") << bootstrap << head + "</dict></plist>" << 5 << io;
    QTest::newRow("key twice") << bootstrap
                               << head
            + "<key>Label</key><string>y</string><key>Program</key><string>/bin/true</string></dict></plist>"
                               << 5 << io;
    QTest::newRow("arguments not strings")
        << bootstrap << head + "<key>ProgramArguments</key><array><integer>1</integer></array></dict></plist>"
        << 5 << io;
    QTest::newRow("nested without end")
        << bootstrap << head + "<key>ProgramArguments</key>" + QStringLiteral("<array>").repeated(60000) << 5
        << "values nested deeper than 64 levels\n" + io;
    QTest::newRow("missing file") << QStringList { QStringLiteral("bootstrap"), gui,
        QStringLiteral("/nonexistent.plist") }
                                  << QString() << 2 << "Bootstrap failed: 2: No such file or directory\n";
    QTest::newRow("bootout of what is not loaded")
        << QStringList { QStringLiteral("bootout"), gui + QStringLiteral("/com.velmora.never") } << QString()
        << 3 << "Boot-out failed: 3: No such process\n";
    QTest::newRow("another user's domain")
        << QStringList { QStringLiteral("print"), QStringLiteral("gui/%1/x").arg(::getuid() + 1) }
        << QString() << 1 << "Print failed: 1: Operation not permitted\n";
    QTest::newRow("usage") << QStringList { QStringLiteral("bootout"), gui } << QString() << 64
                           << "Usage: launchctl bootout <service-target>\n";
}

void TestLaunchctl::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, plist);
    QFETCH(int, status);
    QFETCH(QString, error);
    const QString path = m_dir->filePath(QStringLiteral("bad.plist"));
    FileUtils::writeSecure(plist, path, 0600);
    const Run run = launchctl(arguments.replaceInStrings(QStringLiteral("PLIST"), path));
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.endsWith(error.toUtf8()), run.err.constData());
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(launchctl({ QStringLiteral("print"), gui + QStringLiteral("/x") }).status, 113);
}

void TestLaunchctl::damagedState_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("reading"); // fails on the damaged file, naming it
    QTest::addColumn<QStringList>("clearing"); // goes on, and afterwards all works again
    QTest::newRow("environment") << "environment.json"
                                 << QStringList { QStringLiteral("getenv"), QStringLiteral("A") }
                                 << QStringList { QStringLiteral("unsetenv"), QStringLiteral("A") };
    QTest::newRow("jobs") << "jobs.json" << QStringList { QStringLiteral("print"), gui + u'/' + label }
                          << QStringList { QStringLiteral("bootout"), gui + u'/' + label };
}

void TestLaunchctl::damagedState()
{
    QFETCH(QString, file);
    QFETCH(QStringList, reading);
    QFETCH(QStringList, clearing);
    QVERIFY(QDir().mkpath(domain()));
    const QString path = domain() + u'/' + file;
    writeFile(path, "", 0600);
    Run run = launchctl(reading);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith("launchctl: " + QFile::encodeName(path) + ": damaged"), run.err.constData());
    run = launchctl(clearing);
    QVERIFY2(run.err.startsWith(QFile::encodeName(path) + ": damaged"), run.err.constData());
    QCOMPARE(readFile(path + QStringLiteral(".damaged")), QByteArray());
    QCOMPARE(launchctl({ QStringLiteral("setenv"), QStringLiteral("A"), QStringLiteral("1") }).status, 0);
    QCOMPARE(launchctl(reading).status, file == QLatin1String("jobs.json") ? 113 : 0);
}

void TestLaunchctl::fullDisk()
{
    QVERIFY(QDir().mkpath(m_state));
    if (!mountSmallDisk(m_state, 8 * 1024))
        QSKIP("a 64 KiB tmpfs cannot be mounted here (needs root): the full-disk case is not run");
    const auto unmount = qScopeGuard([&] { unmountSmallDisk(m_state); });
    QCOMPARE(launchctl({ QStringLiteral("setenv"), QStringLiteral("A"), QStringLiteral("1") }).status, 0);
    const QByteArray before = readFile(domain() + QStringLiteral("/environment.json"));
    // A value too large for what is left: a failure naming the file, and the old state kept.
    const Run run = launchctl({ QStringLiteral("setenv"), QStringLiteral("B") }, QByteArray(12 * 1024, 'k'));
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith("launchctl: " + QFile::encodeName(domain()) + "/environment.json: "),
        run.err.constData());
    QCOMPARE(readFile(domain() + QStringLiteral("/environment.json")), before);
    QCOMPARE(QDir(domain()).entryList(QDir::Files | QDir::Hidden),
        (QStringList { QStringLiteral("environment.json"), QStringLiteral("lock") }));
    QCOMPARE(launchctl({ QStringLiteral("getenv"), QStringLiteral("A") }).out, QByteArray("1\n"));
}

QTEST_GUILESS_MAIN(TestLaunchctl)
#include "tst_launchctl.moc"
