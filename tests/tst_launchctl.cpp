#include "agents/fileutils.h"
#include "testplatform.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

const QString label = QStringLiteral("com.velmora.connect.codex-env");

int modeOf(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The property list as the Codex environment writes it: seven lines, the last without a
// line feed.
QString agentPropertyList(
    const QString &label, const QString &program, const QString &runAtLoad = QStringLiteral("<true/>"))
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\"><dict>\n"
                          "  <key>Label</key><string>%1</string>\n"
                          "  <key>ProgramArguments</key><array><string>%2</string></array>\n"
                          "  <key>RunAtLoad</key>%3\n"
                          "</dict></plist>")
        .arg(label, program, runAtLoad);
}

} // namespace

class TestLaunchctl : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void environment_data();
    void environment();
    void unsetEnvironment();
    void bootstrapRunsOnce();
    void bootstrapWithoutRunAtLoad();
    void secondBootstrapFails();
    void bootoutUnknown();
    void malformedPropertyLists_data();
    void malformedPropertyLists();
    void missingPropertyList();
    void anotherUsersDomain_data();
    void anotherUsersDomain();
    void stateFilesAreClosed();
    void stateWithoutXdgStateHome();
    void usageErrors_data();
    void usageErrors();

private:
    Run launchctl(const QStringList &arguments, const QMap<QString, QString> &environment = {}) const;
    QString writeFile(const QString &name, const QString &text, int mode);
    QString gui() const { return QStringLiteral("gui/") + QString::number(::getuid()); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_state;
};

void TestLaunchctl::initTestCase()
{
#ifdef Q_OS_MACOS
    QSKIP("macOS has the system's own tool");
#endif
}

Run TestLaunchctl::launchctl(const QStringList &arguments, const QMap<QString, QString> &environment) const
{
    QProcess process;
    QProcessEnvironment processEnvironment = QProcessEnvironment::systemEnvironment();
    processEnvironment.insert(QStringLiteral("XDG_STATE_HOME"), m_state);
    for (auto it = environment.begin(); it != environment.end(); ++it) {
        if (it.value().isNull())
            processEnvironment.remove(it.key());
        else
            processEnvironment.insert(it.key(), it.value());
    }
    process.setProcessEnvironment(processEnvironment);
    process.start(builtToolPath(QStringLiteral("launchctl")), arguments);
    process.waitForFinished(-1);
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAllStandardOutput(), process.readAllStandardError() };
}

QString TestLaunchctl::writeFile(const QString &name, const QString &text, int mode)
{
    const QString path = m_dir->filePath(name);
    FileUtils::writeSecure(text, path, mode);
    return path;
}

void TestLaunchctl::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_state = m_dir->filePath(QStringLiteral("state"));
}

void TestLaunchctl::environment_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("key") << "sk-velmora-123";
    QTest::newRow("spaces and quotes") << " a 'b' \"c\" $d ";
    QTest::newRow("CJK") << "密钥";
    QTest::newRow("empty") << "";
}

void TestLaunchctl::environment()
{
    QFETCH(QString, value);
    Run run = launchctl({ QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY"), value });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray());
    run = launchctl({ QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, value.toUtf8() + '\n');
    QCOMPARE(run.err, QByteArray());

    // Set again, the new value replaces the old one.
    QCOMPARE(
        launchctl({ QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-next") })
            .status,
        0);
    QCOMPARE(launchctl({ QStringLiteral("getenv"), QStringLiteral("OPENAI_API_KEY") }).out,
        QByteArray("sk-next\n"));
}

void TestLaunchctl::unsetEnvironment()
{
    QCOMPARE(launchctl({ QStringLiteral("setenv"), QStringLiteral("A"), QStringLiteral("1") }).status, 0);
    QCOMPARE(launchctl({ QStringLiteral("setenv"), QStringLiteral("B"), QStringLiteral("2") }).status, 0);
    Run run = launchctl({ QStringLiteral("unsetenv"), QStringLiteral("A") });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray());
    run = launchctl({ QStringLiteral("getenv"), QStringLiteral("A") });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(launchctl({ QStringLiteral("getenv"), QStringLiteral("B") }).out, QByteArray("2\n"));
    // Unsetting what is not set is no error.
    QCOMPARE(launchctl({ QStringLiteral("unsetenv"), QStringLiteral("NEVER_SET") }).status, 0);
}

void TestLaunchctl::bootstrapRunsOnce()
{
    // The job sees the domain's environment and finds the stand-ins by name, as the
    // environment script does; it records each run.
    const QString marker = m_dir->filePath(QStringLiteral("runs"));
    const QString script = writeFile(QStringLiteral("velmora-connect-codex-env"),
        QStringLiteral("#!/bin/sh\nset -eu\n"
                       "printf '%s %s\\n' \"$OPENAI_API_KEY\" \"$(command -v security)\" >> ")
            + FileUtils::shellQuote(marker) + QStringLiteral("\nlaunchctl setenv SET_BY_JOB yes\n"),
        FileUtils::scriptMode);
    const QString plist = writeFile(QStringLiteral("com.velmora.connect.codex-env.plist"),
        agentPropertyList(label, script), FileUtils::configMode);
    QCOMPARE(
        launchctl({ QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-job") })
            .status,
        0);

    Run run = launchctl({ QStringLiteral("bootstrap"), gui(), plist });
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(
        readAll(marker), "sk-job " + QFile::encodeName(builtToolPath(QStringLiteral("security"))) + '\n');
    QCOMPARE(launchctl({ QStringLiteral("getenv"), QStringLiteral("SET_BY_JOB") }).out, QByteArray("yes\n"));

    run = launchctl({ QStringLiteral("print"), gui() + u'/' + label });
    QCOMPARE(run.status, 0);
    const QByteArray expected = (gui() + u'/' + label
        + QStringLiteral(" = {\n"
                         "\tactive count = 0\n"
                         "\tpath = ")
        + plist
        + QStringLiteral("\n"
                         "\ttype = LaunchAgent\n"
                         "\tstate = not running\n"
                         "\n"
                         "\tprogram = ")
        + script
        + QStringLiteral("\n"
                         "\targuments = {\n"
                         "\t\t")
        + script
        + QStringLiteral("\n"
                         "\t}\n"
                         "\n"
                         "\truns = 1\n"
                         "\tlast exit code = 0\n"
                         "}\n"))
                                    .toUtf8();
    QCOMPARE(run.out, expected);
    QVERIFY(!run.out.contains("sk-job"));

    // Booted out and in again, it runs once more.
    QCOMPARE(launchctl({ QStringLiteral("bootout"), gui() + u'/' + label }).status, 0);
    QCOMPARE(launchctl({ QStringLiteral("print"), gui() + u'/' + label }).status, 113);
    QCOMPARE(launchctl({ QStringLiteral("bootstrap"), gui(), plist }).status, 0);
    QCOMPARE(readAll(marker).count('\n'), 2);
}

void TestLaunchctl::bootstrapWithoutRunAtLoad()
{
    const QString marker = m_dir->filePath(QStringLiteral("runs"));
    const QString script = writeFile(QStringLiteral("job"),
        QStringLiteral("#!/bin/sh\necho ran >> ") + FileUtils::shellQuote(marker) + u'\n',
        FileUtils::scriptMode);
    const QString plist = writeFile(QStringLiteral("job.plist"),
        agentPropertyList(QStringLiteral("com.example.quiet"), script, QStringLiteral("<false/>")),
        FileUtils::configMode);
    QCOMPARE(launchctl({ QStringLiteral("bootstrap"), gui(), plist }).status, 0);
    QVERIFY(!QFileInfo::exists(marker));
    const Run run = launchctl({ QStringLiteral("print"), gui() + QStringLiteral("/com.example.quiet") });
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.contains("\truns = 0\n\tlast exit code = (never exited)\n"));
}

void TestLaunchctl::secondBootstrapFails()
{
    const QString marker = m_dir->filePath(QStringLiteral("runs"));
    const QString script = writeFile(QStringLiteral("job"),
        QStringLiteral("#!/bin/sh\necho ran >> ") + FileUtils::shellQuote(marker) + u'\n',
        FileUtils::scriptMode);
    const QString plist
        = writeFile(QStringLiteral("job.plist"), agentPropertyList(label, script), FileUtils::configMode);
    QCOMPARE(launchctl({ QStringLiteral("bootstrap"), gui(), plist }).status, 0);

    // The same label from another file is refused as well, and nothing runs.
    const QString other
        = writeFile(QStringLiteral("other.plist"), agentPropertyList(label, script), FileUtils::configMode);
    for (const QString &path : { plist, other }) {
        const Run run = launchctl({ QStringLiteral("bootstrap"), gui(), path });
        QVERIFY(run.status != 0);
        QCOMPARE(run.err, QByteArray("Bootstrap failed: 37: Operation already in progress\n"));
    }
    QCOMPARE(readAll(marker), QByteArray("ran\n"));
    QVERIFY(launchctl({ QStringLiteral("print"), gui() + u'/' + label })
                .out.contains("\tpath = " + plist.toUtf8() + '\n'));
}

void TestLaunchctl::bootoutUnknown()
{
    const Run run
        = launchctl({ QStringLiteral("bootout"), gui() + QStringLiteral("/com.velmora.never-loaded") });
    QVERIFY(run.status != 0);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray("Boot-out failed: 3: No such process\n"));
}

void TestLaunchctl::malformedPropertyLists_data()
{
    QTest::addColumn<QString>("text");
    const QString head
        = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">");
    QTest::newRow("empty") << "";
    QTest::newRow("not XML") << "Label = x";
    QTest::newRow("binary") << "bplist00\x01\x02";
    QTest::newRow("unclosed") << head + "<dict><key>Label</key><string>x</string>";
    QTest::newRow("path not escaped") << head
            + "<dict><key>Label</key><string>x</string><key>ProgramArguments</key><array><string>/a&b</"
              "string></array></dict></plist>";
    QTest::newRow("other root") << "<dict><key>Label</key><string>x</string></dict>";
    QTest::newRow("array at the top") << head + "<array><string>x</string></array></plist>";
    QTest::newRow("two values") << head
            + "<dict><key>Label</key><string>x</string><key>Program</key><string>/bin/true</string></"
              "dict><dict/></plist>";
    QTest::newRow("no Label") << head
            + "<dict><key>ProgramArguments</key><array><string>/bin/true</string></array></dict></plist>";
    QTest::newRow("Label not a string") << head
            + "<dict><key>Label</key><integer>1</integer><key>Program</key><string>/bin/true</string></"
              "dict></plist>";
    QTest::newRow("key without value") << head + "<dict><key>Label</key></dict></plist>";
    QTest::newRow("no program") << head + "<dict><key>Label</key><string>x</string></dict></plist>";
    QTest::newRow("arguments not an array") << head
            + "<dict><key>Label</key><string>x</string><key>ProgramArguments</key><string>/bin/true</"
              "string></dict></plist>";
    QTest::newRow("arguments not strings") << head
            + "<dict><key>Label</key><string>x</string><key>ProgramArguments</key><array><integer>1</"
              "integer></array></dict></plist>";
    QTest::newRow("RunAtLoad not a boolean") << head
            + "<dict><key>Label</key><string>x</string><key>Program</key><string>/bin/true</string>"
              "<key>RunAtLoad</key><string>yes</string></dict></plist>";
    QTest::newRow("unknown element") << head
            + "<dict><key>Label</key><string>x</string><key>Program</key><string>/bin/true</string>"
              "<key>X</key><blob/></dict></plist>";
}

void TestLaunchctl::malformedPropertyLists()
{
    QFETCH(QString, text);
    const QString plist = writeFile(QStringLiteral("bad.plist"), text, FileUtils::configMode);
    const Run run = launchctl({ QStringLiteral("bootstrap"), gui(), plist });
    QVERIFY(run.status != 0);
    QVERIFY2(run.err.endsWith("Bootstrap failed: 5: Input/output error\n"), run.err.constData());
    QCOMPARE(run.out, QByteArray());
    // Nothing was recorded.
    QCOMPARE(launchctl({ QStringLiteral("print"), gui() + QStringLiteral("/x") }).status, 113);
}

void TestLaunchctl::missingPropertyList()
{
    const Run run
        = launchctl({ QStringLiteral("bootstrap"), gui(), m_dir->filePath(QStringLiteral("missing.plist")) });
    QVERIFY(run.status != 0);
    QCOMPARE(run.err, QByteArray("Bootstrap failed: 2: No such file or directory\n"));
}

void TestLaunchctl::anotherUsersDomain_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString other = QString::number(::getuid() + 1);
    QTest::newRow("bootstrap") << QStringList { QStringLiteral("bootstrap"), QStringLiteral("gui/") + other,
        QStringLiteral("/nonexistent.plist") };
    QTest::newRow("bootout") << QStringList { QStringLiteral("bootout"),
        QStringLiteral("gui/") + other + u'/' + label };
    QTest::newRow("print") << QStringList { QStringLiteral("print"),
        QStringLiteral("gui/") + other + u'/' + label };
}

void TestLaunchctl::anotherUsersDomain()
{
    QFETCH(QStringList, arguments);
    const Run run = launchctl(arguments);
    QVERIFY(run.status != 0);
    QVERIFY(run.err.endsWith(": 1: Operation not permitted\n"));
}

void TestLaunchctl::stateFilesAreClosed()
{
    const QString script
        = writeFile(QStringLiteral("job"), QStringLiteral("#!/bin/sh\n"), FileUtils::scriptMode);
    const QString plist
        = writeFile(QStringLiteral("job.plist"), agentPropertyList(label, script), FileUtils::configMode);
    ::umask(0); // with nothing masked, any file not made private on purpose would show
    QCOMPARE(launchctl(
                 { QStringLiteral("setenv"), QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-private") })
                 .status,
        0);
    QCOMPARE(launchctl({ QStringLiteral("bootstrap"), gui(), plist }).status, 0);
    QCOMPARE(launchctl({ QStringLiteral("unsetenv"), QStringLiteral("OTHER") }).status, 0);
    ::umask(022);

    const QString domain
        = m_state + QStringLiteral("/velmora-connect/launchd/gui-") + QString::number(::getuid());
    QCOMPARE(modeOf(domain), 0700);
    QStringList files;
    QDirIterator it(domain, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString path = it.next();
        files.append(it.fileName());
        QCOMPARE(modeOf(path), 0600);
    }
    files.sort();
    QCOMPARE(files,
        (QStringList {
            QStringLiteral("environment.json"), QStringLiteral("jobs.json"), QStringLiteral("lock") }));
    QVERIFY(readAll(domain + QStringLiteral("/environment.json")).contains("sk-private"));
}

void TestLaunchctl::stateWithoutXdgStateHome()
{
    const QString home = m_dir->filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    const QMap<QString, QString> environment { { QStringLiteral("XDG_STATE_HOME"), QString() },
        { QStringLiteral("HOME"), home } };
    QCOMPARE(
        launchctl({ QStringLiteral("setenv"), QStringLiteral("A"), QStringLiteral("1") }, environment).status,
        0);
    QCOMPARE(
        launchctl({ QStringLiteral("getenv"), QStringLiteral("A") }, environment).out, QByteArray("1\n"));
    QVERIFY(QFileInfo::exists(home + QStringLiteral("/.local/state/velmora-connect/launchd/gui-")
        + QString::number(::getuid()) + QStringLiteral("/environment.json")));
    QVERIFY(!QFileInfo::exists(m_state));
}

void TestLaunchctl::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("unknown subcommand") << QStringList { QStringLiteral("load") };
    QTest::newRow("setenv without value") << QStringList { QStringLiteral("setenv"), QStringLiteral("A") };
    QTest::newRow("getenv without key") << QStringList { QStringLiteral("getenv") };
    QTest::newRow("bootstrap without path") << QStringList { QStringLiteral("bootstrap"), gui() };
    QTest::newRow("bootstrap to a service target")
        << QStringList { QStringLiteral("bootstrap"), gui() + u'/' + label, QStringLiteral("/x.plist") };
    QTest::newRow("bootout of a domain") << QStringList { QStringLiteral("bootout"), gui() };
    QTest::newRow("system domain") << QStringList { QStringLiteral("bootout"),
        QStringLiteral("system/") + label };
}

void TestLaunchctl::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Run run = launchctl(arguments);
    QCOMPARE(run.status, 64);
    QCOMPARE(run.out, QByteArray());
    QVERIFY(run.err.contains("Usage: launchctl "));
}

QTEST_GUILESS_MAIN(TestLaunchctl)
#include "tst_launchctl.moc"
