// One running application per user, with the real executable as the other process.

#include "application.h"
#include "mainwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondStartRevealsTheRunningWindow();
};

static const QString executable = QStringLiteral(VELMORA_BIN_DIR "/velmora-connect");

void TestSingleInstance::secondStartRevealsTheRunningWindow()
{
    // An earlier start that crashed left its lock and socket behind; they must not lock us out.
    QProcess crashed;
    crashed.start(executable);
    const QString socket
        = QDir(SingleInstance::directory()).filePath(QStringLiteral("velmora-connect.socket"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 10000);
    crashed.kill();
    QVERIFY(crashed.waitForFinished());

    auto *app = qobject_cast<Application *>(qApp);
    QCOMPARE(app->singleInstance().claim(), SingleInstance::Role::Primary);
    MainWindow window;
    window.show();
    // Let the reveal of the window's own activation pass, then put the window aside.
    const QPoint aside(3, 4);
    window.move(aside);
    const QPoint centred = window.screen()->availableGeometry().center();
    QTRY_COMPARE(window.frameGeometry().center(), centred);
    window.move(aside);
    window.showMinimized();

    QProcess second;
    second.start(executable);
    QVERIFY(second.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY(!window.isMinimized());
    QCOMPARE(window.frameGeometry().center(), centred);
}

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_singleinstance.moc"
