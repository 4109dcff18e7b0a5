// Start-up cost of the window, against a bare Qt Widgets window of the same size measured in
// the same run: the time from process start to the first painted frame, the peak resident
// memory, and the CPU time used in 10 idle seconds after start.
//
// Runs under the platform of the environment: `xvfb-run -a bench_ui_startup` for an X server,
// or QT_QPA_PLATFORM=offscreen. Each sample is a fresh process (this executable in child mode).

#include "application.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace {

qint64 monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

qint64 cpuUs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec
        + usage.ru_stime.tv_usec;
}

long peakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Reports the first paint of `window` once the event that painted it has returned, that
// is after the frame was flushed.
class FirstFrame : public QObject
{
public:
    FirstFrame(QWidget *window, int idleSeconds)
        : m_idleSeconds(idleSeconds)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] { report(); });
        }
        return false;
    }

private:
    void report()
    {
        std::printf("frame %lld\n", static_cast<long long>(monotonicNs()));
        std::fflush(stdout);
        if (m_idleSeconds == 0) {
            std::printf("rss %ld\n", peakRssKb());
            QCoreApplication::exit(0);
            return;
        }
        const qint64 before = cpuUs();
        QTimer::singleShot(m_idleSeconds * 1000, this, [before] {
            std::printf("idle-cpu-us %lld\nrss %ld\n", static_cast<long long>(cpuUs() - before), peakRssKb());
            QCoreApplication::exit(0);
        });
    }

    int m_idleSeconds;
    bool m_seen = false;
};

int runChild(int argc, char *argv[], bool app, int idleSeconds)
{
    if (app) {
        Application application(argc, argv);
        MainWindow window;
        FirstFrame watcher(&window, idleSeconds);
        window.show();
        return application.exec();
    }
    QApplication application(argc, argv);
    QWidget window;
    window.resize(1280, 840);
    FirstFrame watcher(&window, idleSeconds);
    window.show();
    return application.exec();
}

struct Sample
{
    double startupMs = 0;
    double rssMb = 0;
    double idleCpuMs = -1;
};

bool sample(const QString &self, const QString &mode, int idleSeconds, Sample *out)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    const qint64 started = monotonicNs();
    child.start(self, { QStringLiteral("--child"), mode, QString::number(idleSeconds) });
    if (!child.waitForFinished(60000 + idleSeconds * 1000) || child.exitCode() != 0) {
        std::fprintf(
            stderr, "%s child failed: %s\n", qPrintable(mode), child.readAllStandardError().constData());
        return false;
    }
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 2)
            continue;
        if (parts[0] == "frame")
            out->startupMs = double(parts[1].toLongLong() - started) / 1e6;
        else if (parts[0] == "rss")
            out->rssMb = double(parts[1].toLongLong()) / 1024.0;
        else if (parts[0] == "idle-cpu-us")
            out->idleCpuMs = double(parts[1].toLongLong()) / 1000.0;
    }
    return out->startupMs > 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 4 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv, qstrcmp(argv[2], "app") == 0, atoi(argv[3]));

    QCoreApplication parent(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    constexpr int runs = 7;
    constexpr int idleSeconds = 10;

    // Alternate the two, so that a slow moment of the machine hits both alike; one warm-up each.
    std::vector<double> startup[2], rss[2];
    const QString modes[2] = { QStringLiteral("bare"), QStringLiteral("app") };
    for (int run = -1; run < runs; ++run) {
        for (int mode = 0; mode < 2; ++mode) {
            Sample result;
            if (!sample(self, modes[mode], 0, &result))
                return 1;
            if (run >= 0) {
                startup[mode].push_back(result.startupMs);
                rss[mode].push_back(result.rssMb);
            }
        }
    }
    Sample idle[2];
    for (int mode = 0; mode < 2; ++mode) {
        if (!sample(self, modes[mode], idleSeconds, &idle[mode]))
            return 1;
    }

    const double bareStart = median(startup[0]), appStart = median(startup[1]);
    const double bareRss = median(rss[0]), appRss = median(rss[1]);
    std::printf("Velmora Connect start-up (%s, median of %d runs)\n",
        qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("default platform"))), runs);
    std::printf("  start to first frame: bare window %7.1f ms, app %7.1f ms, ratio %.2f (goal <= 1.5)\n",
        bareStart, appStart, appStart / bareStart);
    std::printf("  peak resident memory: bare window %7.1f MB, app %7.1f MB, ratio %.2f (goal <= 1.3)\n",
        bareRss, appRss, appRss / bareRss);
    std::printf("  CPU time in %d idle seconds after the first frame: bare window %.1f ms, app %.1f ms\n",
        idleSeconds, idle[0].idleCpuMs, idle[1].idleCpuMs);
    return 0;
}
