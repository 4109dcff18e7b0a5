// One running application per user, with the real executable as the other process.

#include "application.h"
#include "mainwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <pwd.h>
#include <sys/stat.h>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void privateDirectory_data();
    void privateDirectory();
    void secondStartRevealsTheRunningWindow();
    // These find this process running the application, as the test above left it.
    void unrulyStartIsDropped_data();
    void unrulyStartIsDropped();
    void anotherUserIsRefused();
};

static const QString executable = QStringLiteral(VELMORA_BIN_DIR "/velmora-connect");

static QString socketPath()
{
    return QDir(SingleInstance::directory()).filePath(QStringLiteral("velmora-connect.socket"));
}

void TestSingleInstance::privateDirectory_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<uint>("owner");
    QTest::addColumn<uint>("mode");
    QTest::addColumn<bool>("used"); // else the application runs alone, without a socket
    const QString run = QStringLiteral("/run/user/1000");
    QTest::addRow("private") << run << 1000u << uint(S_IFDIR | 0700) << true;
    QTest::addRow("none") << QString() << 1000u << uint(S_IFDIR | 0700) << false;
    QTest::addRow("relative") << QStringLiteral("run") << 1000u << uint(S_IFDIR | 0700) << false;
    QTest::addRow("another user's") << run << 1001u << uint(S_IFDIR | 0700) << false;
    QTest::addRow("open to others") << run << 1000u << uint(S_IFDIR | 0711) << false;
    QTest::addRow("a link") << run << 1000u << uint(S_IFLNK | 0777) << false;
}

void TestSingleInstance::privateDirectory()
{
    QFETCH(QString, directory);
    QFETCH(uint, owner);
    QFETCH(uint, mode);
    QFETCH(bool, used);
    QCOMPARE(SingleInstance::privateDirectory(directory, owner, mode, 1000), used ? directory : QString());
}

void TestSingleInstance::secondStartRevealsTheRunningWindow()
{
    // An earlier start that crashed left its lock and socket behind; they must not lock us out.
    QProcess crashed;
    crashed.start(executable);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socketPath()), 10000);
    crashed.kill();
    QVERIFY(crashed.waitForFinished());

    auto *app = qobject_cast<Application *>(qApp);
    QCOMPARE(app->singleInstance().claim(), SingleInstance::Role::Primary);
    MainWindow window;
    window.show();
    // Let the reveal of the window's own activation pass, then put the window aside.
    const QPoint aside(3, 4);
    window.move(aside);
    // The first reveal may centre the window before it has its final size: wait for it alone.
    QTRY_VERIFY(window.frameGeometry().topLeft() != aside);
    const QPoint centred = window.screen()->availableGeometry().center();
    window.move(aside);
    window.showMinimized();

    QProcess second;
    second.start(executable);
    QVERIFY(second.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY(!window.isMinimized());
    // The reveal centres the window a moment after the activation (a busy machine takes longer).
    QTRY_COMPARE(window.frameGeometry().center(), centred);
}

void TestSingleInstance::unrulyStartIsDropped_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("within"); // ms
    QTest::addRow("a line beyond 4 KiB") << QByteArray(5000, 't') << 2000;
    QTest::addRow("nothing for 5 s") << QByteArray() << 8000;
}

void TestSingleInstance::unrulyStartIsDropped()
{
    QFETCH(QByteArray, sent);
    QFETCH(int, within);
    QSignalSpy asked(
        &qobject_cast<Application *>(qApp)->singleInstance(), &SingleInstance::activationRequested);
    QLocalSocket start;
    start.connectToServer(socketPath());
    QVERIFY(start.waitForConnected());
    start.write(sent);
    QTRY_COMPARE_WITH_TIMEOUT(start.state(), QLocalSocket::UnconnectedState, within);
    QVERIFY(asked.isEmpty());
    QCOMPARE(start.readAll(), QByteArray());
}

void TestSingleInstance::anotherUserIsRefused()
{
    if (getuid() != 0 || !getpwnam("velmora-user") || QStandardPaths::findExecutable("python3").isEmpty())
        QSKIP("needs root, the account velmora-user and python3");
    // Open the way to the socket for the other user, as a socket in a shared folder would be.
    const QString socket = socketPath();
    const QStringList opened { QFileInfo(QFileInfo(socket).path()).path(), QFileInfo(socket).path(), socket };
    for (const QString &path : opened)
        QVERIFY(chmod(QFile::encodeName(path).constData(), path == opened.last() ? 0777 : 0711) == 0);
    QSignalSpy asked(
        &qobject_cast<Application *>(qApp)->singleInstance(), &SingleInstance::activationRequested);
    QProcess start;
    start.start(QStringLiteral("runuser"),
        { "-u", "velmora-user", "--", "python3", "-c",
            "import socket, sys\n"
            "s = socket.socket(socket.AF_UNIX)\n"
            "s.connect(sys.argv[1])\n"
            "try:\n    s.sendall(b't\\n'); print(s.recv(16))\nexcept OSError:\n    print(b'')\n",
            socket });
    QTRY_COMPARE_WITH_TIMEOUT(start.state(), QProcess::NotRunning, 10000);
    for (const QString &path : opened)
        chmod(QFile::encodeName(path).constData(), 0700);
    QCOMPARE(start.readAllStandardOutput(), QByteArray("b''\n"));
    QVERIFY(asked.isEmpty());
}

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_singleinstance.moc"
