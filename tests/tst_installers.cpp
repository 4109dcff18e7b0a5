#include "relayserver.h"
#include "state/connectstate.h"
#include "testplatform.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>

using namespace std::chrono_literals;

namespace {

const QString codexStarted = QStringLiteral("正在从 Velmora 服务器下载 Codex 安装包…");
const QString codexOpened
    = QStringLiteral("安装包已下载并打开。将 Codex 拖入 Applications 后，回到这里点击“重新检测”。");

QByteArray packageBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / qsizetype(sizeof(quint32)));
    return bytes;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

class TestInstallers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void downloadsEachPackage_data();
    void downloadsEachPackage();
    void keepsEncodedPackageAsServed();
    void samePackageTwiceLeavesOneFile();
    void codexTwice_data();
    void codexTwice();
    void refusedLeavesNothing_data();
    void refusedLeavesNothing();
    void followsRedirects_data();
    void followsRedirects();
    void interruptedLeavesNothing_data();
    void interruptedLeavesNothing();
    void busyForTheWholeRunAndProgressPublished();
    void refusesWithoutDownloadsDirectory();

private:
    // Everything in the Downloads directory, hidden files included.
    QStringList downloadsEntries() const;
    QString downloadsPath(const QString &name) const { return m_platform->downloads + u'/' + name; }
    // Starts the operation and waits for its end; false when busy was not set for the run or
    // the run did not end.
    bool run(const std::function<void()> &operation);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RelayServer> m_relay;
    std::shared_ptr<TestPlatform> m_platform;
    std::unique_ptr<ConnectState> m_state;
};

void TestInstallers::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_relay = std::make_unique<RelayServer>();
    QVERIFY(m_relay->listen() != 0);
    m_platform = std::make_shared<TestPlatform>();
    m_platform->home = m_dir->path();
    // Not created beforehand: the download creates it.
    m_platform->downloads = m_dir->filePath(QStringLiteral("Downloads"));
    m_platform->deploymentValues.downloadServer = m_relay->baseUrl();
    m_platform->now = QDateTime(QDate(2026, 12, 5), QTime(12, 40, 10, 250), Qt::UTC);
    m_state = std::make_unique<ConnectState>(m_platform);
}

void TestInstallers::cleanup()
{
    m_state.reset();
    m_relay.reset();
    m_platform.reset();
    m_dir.reset();
}

QStringList TestInstallers::downloadsEntries() const
{
    return QDir(m_platform->downloads)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool TestInstallers::run(const std::function<void()> &operation)
{
    operation();
    if (!m_state->busy())
        return false;
    return QTest::qWaitFor([this] { return !m_state->busy(); }, 20000);
}

void TestInstallers::downloadsEachPackage_data()
{
    QTest::addColumn<OfficialInstaller>("installer");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("started");
    QTest::addColumn<QString>("opened");

    QTest::newRow("codex") << OfficialInstaller::codex << QStringLiteral("codex-macos-arm64.dmg")
                           << QStringLiteral("正在从 Velmora 香港服务器下载 Codex…")
                           << QStringLiteral("Codex 安装包已下载并打开。");
    QTest::newRow("claudeCode") << OfficialInstaller::claudeCode
                                << QStringLiteral("claude-code-macos-arm64.dmg")
                                << QStringLiteral("正在从 Velmora 香港服务器下载 Claude Code…")
                                << QStringLiteral("Claude Code 安装包已下载并打开。");
    QTest::newRow("geminiCLI") << OfficialInstaller::geminiCLI << QStringLiteral("gemini-cli-macos-arm64.tgz")
                               << QStringLiteral("正在从 Velmora 香港服务器下载 Gemini CLI…")
                               << QStringLiteral("Gemini CLI 安装包已下载并打开。");
    QTest::newRow("kimiCode") << OfficialInstaller::kimiCode << QStringLiteral("kimi-code-macos-arm64.tgz")
                              << QStringLiteral("正在从 Velmora 香港服务器下载 Kimi Code…")
                              << QStringLiteral("Kimi Code 安装包已下载并打开。");
    QTest::newRow("openCode") << OfficialInstaller::openCode << QStringLiteral("opencode-macos-arm64.zip")
                              << QStringLiteral("正在从 Velmora 香港服务器下载 OpenCode…")
                              << QStringLiteral("OpenCode 安装包已下载并打开。");
    QTest::newRow("deepSeek") << OfficialInstaller::deepSeek
                              << QStringLiteral("deepseek-crush-macos-arm64.zip")
                              << QStringLiteral("正在从 Velmora 香港服务器下载 DeepSeek Agent（Crush）…")
                              << QStringLiteral("DeepSeek Agent（Crush） 安装包已下载并打开。");
}

void TestInstallers::downloadsEachPackage()
{
    QFETCH(OfficialInstaller, installer);
    QFETCH(QString, fileName);
    QFETCH(QString, started);
    QFETCH(QString, opened);

    const QByteArray served = packageBytes(700 * 1024 + 3, quint32(installer) + 1);
    m_relay->setPackage(fileName, served);

    m_state->openOfficialInstaller(installer);
    QVERIFY(m_state->busy());
    QCOMPARE(m_state->activity(), started);
    QTRY_VERIFY_WITH_TIMEOUT(!m_state->busy(), 20000);

    QCOMPARE(m_state->activity(), opened);
    QCOMPARE(m_relay->requests(QStringLiteral("/agent-packages/") + fileName).size(), 1);
    QCOMPARE(downloadsEntries(), QStringList { fileName });
    QVERIFY(contents(downloadsPath(fileName)) == served);
    QCOMPARE(m_platform->opened, QStringList { downloadsPath(fileName) });
    QVERIFY(!m_state->downloading());
}

void TestInstallers::keepsEncodedPackageAsServed()
{
    // Some servers mark a .tgz as gzip-encoded; the archive must arrive as published, not
    // unpacked (these bytes are no gzip stream at all, so decoding would also fail).
    const QString fileName = QStringLiteral("kimi-code-macos-arm64.tgz");
    RelayReply reply;
    reply.body = packageBytes(300 * 1024, 61);
    reply.headers = { { "Content-Type", "application/x-gtar" }, { "Content-Encoding", "gzip" } };
    m_relay->script("GET", QStringLiteral("/agent-packages/") + fileName, reply);

    QVERIFY(run([this] { m_state->openOfficialInstaller(OfficialInstaller::kimiCode); }));

    QCOMPARE(m_state->activity(), QStringLiteral("Kimi Code 安装包已下载并打开。"));
    QVERIFY(contents(downloadsPath(fileName)) == reply.body);
}

void TestInstallers::samePackageTwiceLeavesOneFile()
{
    const QString fileName = QStringLiteral("opencode-macos-arm64.zip");
    const QByteArray first = packageBytes(300 * 1024, 11);
    const QByteArray second = packageBytes(200 * 1024, 12);

    m_relay->setPackage(fileName, first);
    QVERIFY(run([this] { m_state->openOfficialInstaller(OfficialInstaller::openCode); }));
    QVERIFY(contents(downloadsPath(fileName)) == first);

    m_relay->setPackage(fileName, second);
    QVERIFY(run([this] { m_state->openOfficialInstaller(OfficialInstaller::openCode); }));

    QCOMPARE(m_state->activity(), QStringLiteral("OpenCode 安装包已下载并打开。"));
    QCOMPARE(downloadsEntries(), QStringList { fileName });
    QVERIFY(contents(downloadsPath(fileName)) == second);
    QCOMPARE(m_platform->opened, QStringList({ downloadsPath(fileName), downloadsPath(fileName) }));
}

void TestInstallers::codexTwice_data()
{
    QTest::addColumn<QDateTime>("secondTime");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("different seconds") << QDateTime(QDate(2026, 12, 5), QTime(12, 40, 11, 0), Qt::UTC)
                                       << QStringList { QStringLiteral("Codex-2026-12-05T12-40-10Z.dmg"),
                                              QStringLiteral("Codex-2026-12-05T12-40-11Z.dmg") };
    // The same second in another zone: the name is in UTC.
    QTest::newRow("same second") << QDateTime(QDate(2026, 12, 5), QTime(20, 40, 10, 900), Qt::OffsetFromUTC,
        8 * 3600) << QStringList { QStringLiteral("Codex-2026-12-05T12-40-10Z.dmg") };
}

void TestInstallers::codexTwice()
{
    QFETCH(QDateTime, secondTime);
    QFETCH(QStringList, files);

    const QByteArray first = packageBytes(400 * 1024, 21);
    const QByteArray second = packageBytes(500 * 1024, 22);
    const QString firstName = QStringLiteral("Codex-2026-12-05T12-40-10Z.dmg");

    m_relay->setPackage(QStringLiteral("codex-macos-arm64.dmg"), first);
    m_state->downloadCodex();
    QCOMPARE(m_state->activity(), codexStarted);
    QTRY_VERIFY_WITH_TIMEOUT(!m_state->busy(), 20000);
    QCOMPARE(m_state->activity(), codexOpened);

    m_relay->setPackage(QStringLiteral("codex-macos-arm64.dmg"), second);
    m_platform->now = secondTime;
    QVERIFY(run([this] { m_state->downloadCodex(); }));

    QCOMPARE(downloadsEntries(), files);
    QVERIFY(contents(downloadsPath(firstName)) == first);
    if (files.size() == 2) {
        QCOMPARE(m_state->activity(), codexOpened);
        QVERIFY(contents(downloadsPath(files.at(1))) == second);
        QCOMPARE(m_platform->opened, QStringList({ downloadsPath(firstName), downloadsPath(files.at(1)) }));
    } else {
        // The move refuses to replace the first package.
        QCOMPARE(m_state->activity(),
            QStringLiteral("下载失败：无法将安装包存为 %1：%2")
                .arg(downloadsPath(firstName), QString::fromLocal8Bit(std::strerror(EEXIST))));
        QCOMPARE(m_platform->opened, QStringList { downloadsPath(firstName) });
    }
}

void TestInstallers::refusedLeavesNothing_data()
{
    QTest::addColumn<bool>("codex");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("activity");

    QTest::newRow("404") << false << 404 << QStringLiteral("下载失败：服务器未发布该安装包");
    QTest::newRow("503") << false << 503 << QStringLiteral("下载失败：服务器未发布该安装包");
    QTest::newRow("304") << false << 304 << QStringLiteral("下载失败：服务器未发布该安装包");
    QTest::newRow("codex 404") << true << 404 << QStringLiteral("下载失败：Velmora 安装包下载失败");
}

void TestInstallers::refusedLeavesNothing()
{
    QFETCH(bool, codex);
    QFETCH(int, status);
    QFETCH(QString, activity);

    const QString fileName
        = codex ? QStringLiteral("codex-macos-arm64.dmg") : QStringLiteral("kimi-code-macos-arm64.tgz");
    RelayReply reply;
    reply.status = status;
    reply.body = status == 304 ? QByteArray() : QByteArrayLiteral("<html>Not published</html>");
    reply.headers = { { "Content-Type", "text/html" } };
    m_relay->script("GET", QStringLiteral("/agent-packages/") + fileName, reply);

    QVERIFY(run([this, codex] {
        if (codex)
            m_state->downloadCodex();
        else
            m_state->openOfficialInstaller(OfficialInstaller::kimiCode);
    }));

    QCOMPARE(m_state->activity(), activity);
    QCOMPARE(downloadsEntries(), QStringList());
    QCOMPARE(m_platform->opened, QStringList());
}

void TestInstallers::followsRedirects_data()
{
    QTest::addColumn<int>("redirect");
    QTest::addColumn<int>("finalStatus");
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("302 to 200") << 302 << 200 << true;
    QTest::newRow("301 to 200") << 301 << 200 << true;
    QTest::newRow("307 to 200") << 307 << 200 << true;
    QTest::newRow("302 to 404") << 302 << 404 << false;
}

void TestInstallers::followsRedirects()
{
    QFETCH(int, redirect);
    QFETCH(int, finalStatus);
    QFETCH(bool, succeeds);

    const QString fileName = QStringLiteral("gemini-cli-macos-arm64.tgz");
    const QString target = QStringLiteral("/mirror/builds/gemini-cli-1.2.3.tgz");
    const QByteArray served = packageBytes(600 * 1024, 31);

    RelayReply moved;
    moved.status = redirect;
    moved.body = QByteArrayLiteral("moved");
    moved.headers = { { "Location", target.toUtf8() }, { "Content-Type", "text/plain" } };
    m_relay->script("GET", QStringLiteral("/agent-packages/") + fileName, moved);
    RelayReply final;
    final.status = finalStatus;
    final.body = finalStatus == 200 ? served : QByteArrayLiteral("not here");
    final.headers = { { "Content-Type", "application/octet-stream" } };
    m_relay->script("GET", target, final);

    QVERIFY(run([this] { m_state->openOfficialInstaller(OfficialInstaller::geminiCLI); }));

    QCOMPARE(m_relay->requests(target).size(), 1);
    if (succeeds) {
        QCOMPARE(m_state->activity(), QStringLiteral("Gemini CLI 安装包已下载并打开。"));
        // Saved under the package's own name, not the name it was redirected to.
        QCOMPARE(downloadsEntries(), QStringList { fileName });
        QVERIFY(contents(downloadsPath(fileName)) == served);
        QCOMPARE(m_platform->opened, QStringList { downloadsPath(fileName) });
    } else {
        QCOMPARE(m_state->activity(), QStringLiteral("下载失败：服务器未发布该安装包"));
        QCOMPARE(downloadsEntries(), QStringList());
        QCOMPARE(m_platform->opened, QStringList());
    }
}

void TestInstallers::interruptedLeavesNothing_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("earlier"); // an earlier download of the package is in Downloads
    QTest::addColumn<QString>("activity"); // empty: any "下载失败：" text but the refusal

    QTest::newRow("closed mid-body") << QStringLiteral("closeMidBody") << false << QString();
    QTest::newRow("closed mid-body, earlier download kept")
        << QStringLiteral("closeMidBody") << true << QString();
    QTest::newRow("no progress") << QStringLiteral("stall") << true
                                 << QStringLiteral("下载失败：请求超时：服务器 0.5 秒内没有响应");
    QTest::newRow("connection refused") << QStringLiteral("refused") << false << QString();
}

void TestInstallers::interruptedLeavesNothing()
{
    QFETCH(QString, failure);
    QFETCH(bool, earlier);
    QFETCH(QString, activity);

    const QString fileName = QStringLiteral("claude-code-macos-arm64.dmg");
    const QByteArray earlierBytes = QByteArrayLiteral("the package downloaded last week");
    if (earlier) {
        QVERIFY(QDir().mkpath(m_platform->downloads));
        QFile file(downloadsPath(fileName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(earlierBytes);
    }

    m_platform->stallTimeout = 500ms;
    RelayReply reply;
    reply.body = packageBytes(2 * 1024 * 1024, 41);
    reply.headers = { { "Content-Type", "application/octet-stream" } };
    if (failure == QLatin1String("closeMidBody")) {
        reply.closeMidBody = true;
    } else if (failure == QLatin1String("stall")) {
        reply.stall = true;
    } else {
        // A port that nothing listens on.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        QUrl closed = m_relay->baseUrl();
        closed.setPort(probe.serverPort());
        probe.close();
        m_platform->deploymentValues.downloadServer = closed;
    }
    m_relay->script("GET", QStringLiteral("/agent-packages/") + fileName, reply);

    QVERIFY(run([this] { m_state->openOfficialInstaller(OfficialInstaller::claudeCode); }));

    if (activity.isEmpty()) {
        QVERIFY2(
            m_state->activity().startsWith(QStringLiteral("下载失败：")), qPrintable(m_state->activity()));
        QVERIFY(m_state->activity().size() > QStringLiteral("下载失败：").size());
        QVERIFY(m_state->activity() != QStringLiteral("下载失败：服务器未发布该安装包"));
    } else {
        QCOMPARE(m_state->activity(), activity);
    }
    if (earlier) {
        QCOMPARE(downloadsEntries(), QStringList { fileName });
        QCOMPARE(contents(downloadsPath(fileName)), earlierBytes);
    } else {
        QCOMPARE(downloadsEntries(), QStringList());
    }
    QCOMPARE(m_platform->opened, QStringList());
    QVERIFY(!m_state->downloading());
}

void TestInstallers::busyForTheWholeRunAndProgressPublished()
{
    const QString fileName = QStringLiteral("deepseek-crush-macos-arm64.zip");
    const QByteArray served = packageBytes(6 * 1024 * 1024, 51);
    m_relay->setPackage(fileName, served);

    // Every notification, in order, with the values at that moment.
    struct Event
    {
        QString what;
        bool busy;
        bool downloading;
        qint64 received;
        qint64 total;
    };
    QList<Event> events;
    auto record = [&](const QString &what) {
        events.append({ what, m_state->busy(), m_state->downloading(), m_state->downloadReceived(),
            m_state->downloadTotal() });
    };
    connect(m_state.get(), &ConnectState::busyChanged, this, [&] { record(QStringLiteral("busy")); });
    connect(m_state.get(), &ConnectState::activityChanged, this, [&] { record(QStringLiteral("activity")); });
    connect(m_state.get(), &ConnectState::downloadProgressChanged, this,
        [&] { record(QStringLiteral("progress")); });

    QVERIFY(run([this] { m_state->openOfficialInstaller(OfficialInstaller::deepSeek); }));
    QCOMPARE(m_state->activity(), QStringLiteral("DeepSeek Agent（Crush） 安装包已下载并打开。"));

    QVERIFY(events.size() >= 5);
    QCOMPARE(events.first().what, QStringLiteral("busy"));
    QVERIFY(events.first().busy);
    // busy stays set until the very last notification, which clears it.
    for (qsizetype i = 0; i + 1 < events.size(); ++i)
        QVERIFY2(events.at(i).busy, qPrintable(QStringLiteral("busy cleared early at %1").arg(i)));
    QCOMPARE(events.last().what, QStringLiteral("busy"));
    QVERIFY(!events.last().busy);

    // Progress rises to the whole package, then is reset before busy goes.
    QList<Event> progress;
    for (const Event &event : events)
        if (event.what == QLatin1String("progress"))
            progress.append(event);
    QVERIFY(progress.size() >= 3);
    qint64 previous = 0;
    for (qsizetype i = 0; i + 1 < progress.size(); ++i) {
        QVERIFY(progress.at(i).downloading);
        QVERIFY(progress.at(i).received >= previous);
        previous = progress.at(i).received;
    }
    const Event &lastRunning = progress.at(progress.size() - 2);
    QCOMPARE(lastRunning.received, qint64(served.size()));
    QCOMPARE(lastRunning.total, qint64(served.size()));
    QVERIFY(!progress.last().downloading);
    QCOMPARE(progress.last().received, 0);
    QCOMPARE(events.at(events.size() - 2).what, QStringLiteral("progress"));
}

void TestInstallers::refusesWithoutDownloadsDirectory()
{
    m_platform->downloads.clear();
    m_relay->setPackage(QStringLiteral("codex-macos-arm64.dmg"), QByteArrayLiteral("dmg"));
    QSignalSpy busy(m_state.get(), &ConnectState::busyChanged);

    m_state->openOfficialInstaller(OfficialInstaller::codex);
    QCOMPARE(m_state->activity(), QStringLiteral("下载失败：系统没有提供“下载”文件夹"));
    m_state->downloadCodex();
    QCOMPARE(m_state->activity(), QStringLiteral("下载失败：系统没有提供“下载”文件夹"));

    QCOMPARE(busy.size(), 0);
    QCOMPARE(m_relay->requests().size(), 0);
    QCOMPARE(m_platform->opened, QStringList());
}

QTEST_GUILESS_MAIN(TestInstallers)
#include "tst_installers.moc"
