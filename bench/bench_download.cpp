// Downloads a 1 GiB package from the local relay and reports how much the peak resident memory
// of the process grew, the throughput against curl fetching the same file in the same run, and
// the longest pause of the event loop while the application downloads (a 1 ms timer). Goals:
// growth below 32 MiB, throughput at least 0.8 times curl's, pauses under 16 ms. Takes
// `--load N` as the other benchmarks do.
//
// The relay runs in a child process (this executable with "--relay FILE"), so that only the
// downloading side counts towards this process's memory and neither side steals the other's
// event loop.

#include "benchsupport.h"
#include "longestpause.h"
#include "relayserver.h"
#include "state/connectstate.h"
#include "state/waitwhilebusy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <optional>

using namespace std::chrono_literals;

namespace {

constexpr qint64 packageSize = qint64(1) << 30;
const QString packageName = QStringLiteral("claude-code-macos-arm64.dmg");

class BenchPlatform : public Platform
{
public:
    QString home;
    QString downloads;
    QUrl server;
    QStringList opened;

    QString homePath() const override { return home; }
    QString downloadsPath() const override { return downloads; }
    QString userName() const override { return QStringLiteral("bench"); }
    uint userId() const override { return 0; }
    QString securityTool() const override { return {}; }
    QString launchctlTool() const override { return {}; }
    bool codexAppInstalled() const override { return false; }
    void openFile(const QString &path) override { opened.append(path); }
    DeploymentValues deployment() const override { return { {}, {}, server, {} }; }
    QDateTime currentTime() const override { return QDateTime::currentDateTimeUtc(); }
    std::chrono::milliseconds transferTimeout() const override { return 12s; }
    std::chrono::milliseconds downloadStallTimeout() const override { return 60s; }
    QProcessEnvironment environment() const override { return {}; }
    std::chrono::milliseconds toolTimeout() const override { return 30s; }
};

// A value in kB from /proc/self/status ("VmHWM", "VmRSS").
qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Resets the peak resident size to the current one (Linux 4.0 and later).
bool resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

int serveRelay(const QString &file)
{
    RelayServer relay;
    relay.setPackageFile(packageName, file);
    if (relay.listen() == 0) {
        std::fprintf(stderr, "the relay could not listen\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(relay.baseUrl().toString()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

double mibPerSecond(qint64 bytes, qint64 ms)
{
    return ms > 0 ? double(bytes) / (1024.0 * 1024.0) / (double(ms) / 1000.0) : 0.0;
}

// Seconds taken by curl to fetch `url` into `path`, or nothing on failure.
std::optional<qint64> curlMs(const QUrl &url, const QString &path)
{
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"), { QStringLiteral("-sf"), QStringLiteral("-o"), path, url.toString() });
    if (!curl.waitForFinished(600000) || curl.exitStatus() != QProcess::NormalExit || curl.exitCode() != 0)
        return std::nullopt;
    const qint64 elapsed = timer.elapsed();
    if (QFileInfo(path).size() != packageSize)
        return std::nullopt;
    return elapsed;
}

// Milliseconds taken by the application's download, or nothing on failure; `pause`: the longest
// pause of the event loop meanwhile.
std::optional<qint64> appMs(ConnectState &state, BenchPlatform &platform, double &pause)
{
    QElapsedTimer timer;
    timer.start();
    pause = longestPause([&] {
        state.openOfficialInstaller(OfficialInstaller::claudeCode);
        waitWhileBusy(state);
    }).first;
    const qint64 elapsed = timer.elapsed();
    const QString path = QDir(platform.downloads).filePath(packageName);
    if (platform.opened.value(platform.opened.size() - 1) != path || QFileInfo(path).size() != packageSize) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(state.activity()));
        return std::nullopt;
    }
    return elapsed;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--relay"))
        return serveRelay(arguments.at(2));

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/velmora-bench-XXXXXX"));
    if (!dir.isValid())
        return 1;
    // A sparse file: created at once, read back as zeros without touching the disk.
    const QString source = dir.filePath(QStringLiteral("package.dmg"));
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(packageSize))
            return 1;
    }

    QProcess relay;
    relay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    relay.start(app.applicationFilePath(), { QStringLiteral("--relay"), source });
    if (!relay.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the relay did not start\n");
        return 1;
    }
    const QUrl base(QString::fromUtf8(relay.readLine().trimmed()));
    const QUrl url = base.resolved(QUrl(QStringLiteral("/agent-packages/") + packageName));

    const MachineLoad load(loadOption(arguments));
    auto platform = std::make_shared<BenchPlatform>();
    platform->home = dir.path();
    platform->downloads = dir.filePath(QStringLiteral("Downloads"));
    platform->server = base;
    ConnectState state(platform);

    // Curl and the application take turns, twice each; the better run of each counts.
    std::optional<qint64> bestCurl;
    std::optional<qint64> bestApp;
    qint64 growthKiB = 0;
    double longest = 0;
    bool peakReset = false;
    for (int round = 0; round < 2; ++round) {
        const QString curlFile = dir.filePath(QStringLiteral("curl.dmg"));
        const auto curl = curlMs(url, curlFile);
        QFile::remove(curlFile);
        if (!curl) {
            std::fprintf(stderr, "curl failed\n");
            return 1;
        }
        bestCurl = bestCurl ? std::min(*bestCurl, *curl) : *curl;

        peakReset = resetPeak();
        const qint64 before = peakReset ? statusKiB("VmRSS") : statusKiB("VmHWM");
        double pause = 0;
        const auto ours = appMs(state, *platform, pause);
        longest = std::max(longest, pause);
        const qint64 after = statusKiB("VmHWM");
        QFile::remove(QDir(platform->downloads).filePath(packageName));
        if (!ours)
            return 1;
        bestApp = bestApp ? std::min(*bestApp, *ours) : *ours;
        growthKiB = std::max(growthKiB, after - before);
    }
    relay.kill();
    relay.waitForFinished();

    const double curlRate = mibPerSecond(packageSize, *bestCurl);
    const double appRate = mibPerSecond(packageSize, *bestApp);
    const double ratio = curlRate > 0 ? appRate / curlRate : 0.0;
    const double growthMiB = double(growthKiB) / 1024.0;
    const bool memoryOk = growthMiB < 32.0;
    const bool speedOk = ratio >= 0.8;

    QTextStream out(stdout);
    out << "bench_download: 1 GiB package from the local relay\n";
    out << QStringLiteral("  peak resident memory growth: %1 MiB (goal < 32 MiB%2) %3\n")
               .arg(growthMiB, 0, 'f', 1)
               .arg(peakReset ? QString()
                              : QStringLiteral(", peak not resettable: measured from the earlier peak"))
               .arg(memoryOk ? QStringLiteral("ok") : QStringLiteral("MISSED"));
    out << QStringLiteral("  throughput: application %1 MiB/s, curl %2 MiB/s, ratio %3 (goal >= 0.80) %4\n")
               .arg(appRate, 0, 'f', 0)
               .arg(curlRate, 0, 'f', 0)
               .arg(ratio, 0, 'f', 2)
               .arg(speedOk ? QStringLiteral("ok") : QStringLiteral("MISSED"));
    out << QStringLiteral("  longest pause of the event loop while downloading: %1 ms (goal: under 16 ms)\n")
               .arg(longest, 0, 'f', 3);
    out.flush();
    printLoad(load);
    return memoryOk && speedOk ? 0 : 1;
}
