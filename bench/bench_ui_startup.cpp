// Start-up cost of the window, against a bare Qt Widgets window of the same size measured in
// the same run: the time from process start to the first painted frame, the peak resident
// memory, and the CPU time used in 10 idle seconds after start.
//
// Runs under the platform of the environment: `xvfb-run -a bench_ui_startup` for an X server,
// or QT_QPA_PLATFORM=offscreen. Each sample is a fresh process (this executable in child mode).

#include "application.h"
#include "benchsupport.h"
#include "mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>
#include <QVBoxLayout>
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

// Resident pages of font files mapped by FreeType (shared page cache, counted in the RSS).
long fontPagesKb()
{
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly))
        return -1;
    long total = 0;
    bool font = false;
    for (const QByteArray &line : smaps.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() >= 5 && parts[0].contains('-'))
            font = parts.size() >= 6 && parts[5].startsWith("/usr/share/fonts/");
        else if (font && parts.value(0) == "Rss:")
            total += parts.value(1).toLong();
    }
    return total;
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
            std::printf("rss %ld\nfonts %ld\n", peakRssKb(), fontPagesKb());
            QCoreApplication::exit(0);
            return;
        }
        // The reveal step runs 0.2 s after launch (and again on activation): the first second
        // is counted apart from the quiet rest.
        const qint64 atFrame = cpuUs();
        QTimer::singleShot(1000, this, [this, atFrame] {
            const qint64 settled = cpuUs();
            QTimer::singleShot(m_idleSeconds * 1000 - 1000, this, [atFrame, settled] {
                const qint64 end = cpuUs();
                std::printf("idle-cpu-us %lld\nquiet-cpu-us %lld\nrss %ld\n",
                    static_cast<long long>(end - atFrame), static_cast<long long>(end - settled),
                    peakRssKb());
                QCoreApplication::exit(0);
            });
        });
    }

    int m_idleSeconds;
    bool m_seen = false;
};

// Every text the window shows at its first frame, one per line after its pixel size and weight:
// labels, buttons, the pickers' choices and the fields' texts or placeholders.
int printTexts(int argc, char *argv[])
{
    Application application(argc, argv);
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    for (const QWidget *widget : window.findChildren<QWidget *>()) {
        if (!widget->isVisible())
            continue;
        QString text;
        if (const auto *label = qobject_cast<const QLabel *>(widget))
            text = label->text();
        else if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
            text = button->text();
        else if (const auto *picker = qobject_cast<const QComboBox *>(widget))
            text = picker->currentText();
        else if (const auto *field = qobject_cast<const QLineEdit *>(widget))
            text = field->text().isEmpty() ? field->placeholderText() : field->text();
        text = text.simplified();
        if (!text.isEmpty())
            std::printf("%d\t%d\t%s\n", widget->font().pixelSize(), int(widget->font().weight()),
                text.toUtf8().constData());
    }
    return 0;
}

// "bare": an empty window; "text": the same showing every text of the window (`texts`, one per
// line) as plain labels in the application's font, the least a window showing that Chinese text
// pays; "fonts": the same labels, each in the pixel size and weight the window gives it; "app": the
// application.
int runChild(int argc, char *argv[], const QByteArray &mode, int idleSeconds, const QString &texts)
{
    if (mode == "app") {
        Application application(argc, argv);
        MainWindow window;
        FirstFrame watcher(&window, idleSeconds);
        window.show();
        return application.exec();
    }
    QApplication application(argc, argv);
    QWidget window;
    window.resize(1280, 840);
    if (mode == "text" || mode == "fonts") {
        QFont font = QApplication::font();
        font.setFamilies({ font.family(), QStringLiteral("Noto Sans CJK SC") });
        QApplication::setFont(font);
        auto *layout = new QVBoxLayout(&window);
        layout->setSpacing(0);
        for (const QString &line : texts.split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(u'\t');
            auto *label = new QLabel(fields.value(2));
            if (mode == "fonts" && fields.value(0).toInt() > 0) {
                QFont own = font;
                own.setPixelSize(fields.value(0).toInt());
                own.setWeight(QFont::Weight(fields.value(1).toInt()));
                label->setFont(own);
            }
            layout->addWidget(label);
        }
    }
    FirstFrame watcher(&window, idleSeconds);
    window.show();
    return application.exec();
}

struct Sample
{
    double startupMs = 0;
    double rssMb = 0;
    double idleCpuMs = -1;
    double quietCpuMs = -1;
    double fontMb = 0;
};

bool sample(const QString &self, const QString &mode, int idleSeconds, const QString &textFile, Sample *out)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    const qint64 started = monotonicNs();
    child.start(self, { QStringLiteral("--child"), mode, QString::number(idleSeconds), textFile });
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
        else if (parts[0] == "fonts")
            out->fontMb = double(parts[1].toLongLong()) / 1024.0;
        else if (parts[0] == "quiet-cpu-us")
            out->quietCpuMs = double(parts[1].toLongLong()) / 1000.0;
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
    if (argc >= 2 && qstrcmp(argv[1], "--texts") == 0)
        return printTexts(argc, argv);
    if (argc >= 5 && qstrcmp(argv[1], "--child") == 0) {
        QFile texts(QString::fromLocal8Bit(argv[4]));
        const QString lines
            = texts.open(QIODevice::ReadOnly) ? QString::fromUtf8(texts.readAll()) : QString();
        return runChild(argc, argv, QByteArray(argv[2]), atoi(argv[3]), lines);
    }

    QCoreApplication parent(argc, argv);
    const MachineLoad load(loadOption(parent.arguments()));
    const QString self = QCoreApplication::applicationFilePath();
    constexpr int runs = 15;
    constexpr int idleSeconds = 10;

    // The window's texts, read once from the window itself.
    QProcess reader;
    reader.start(self, { QStringLiteral("--texts") });
    const bool read = reader.waitForFinished(60000) && reader.exitCode() == 0;
    const QByteArray texts = reader.readAllStandardOutput();
    QTemporaryFile textFile;
    if (!read || texts.isEmpty() || !textFile.open() || textFile.write(texts) != texts.size()
        || !textFile.flush()) {
        std::fprintf(stderr, "cannot read the window's texts\n");
        return 1;
    }

    // Alternate the two, so that a slow moment of the machine hits both alike; one warm-up each.
    constexpr int kinds = 4;
    std::vector<double> startup[kinds], rss[kinds], fonts[kinds];
    const QString modes[kinds]
        = { QStringLiteral("bare"), QStringLiteral("app"), QStringLiteral("text"), QStringLiteral("fonts") };
    for (int run = -1; run < runs; ++run) {
        for (int mode = 0; mode < kinds; ++mode) {
            Sample result;
            if (!sample(self, modes[mode], 0, textFile.fileName(), &result))
                return 1;
            if (run >= 0) {
                startup[mode].push_back(result.startupMs);
                rss[mode].push_back(result.rssMb);
                fonts[mode].push_back(result.fontMb);
            }
        }
    }
    Sample idle[2];
    for (int mode = 0; mode < 2; ++mode) {
        if (!sample(self, modes[mode], idleSeconds, textFile.fileName(), &idle[mode]))
            return 1;
    }

    const double bareStart = median(startup[0]), appStart = median(startup[1]);
    const double bareRss = median(rss[0]), appRss = median(rss[1]);
    std::printf("Velmora Connect start-up (%s, median of %d runs)\n",
        qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("default platform"))), runs);
    const double textStart = median(startup[2]);
    std::printf(
        "  start to first frame: a window with the same text (%d lines) %7.1f ms, app %7.1f ms, ratio %.2f "
        "(goal <= 1.3)\n",
        int(texts.count('\n')), textStart, appStart, appStart / textStart);
    std::printf(
        "                        the same text in the window's sizes and weights %7.1f ms, ratio %.2f\n",
        median(startup[3]), appStart / median(startup[3]));
    std::printf(
        "                        bare window %7.1f ms, ratio %.2f\n", bareStart, appStart / bareStart);
    std::printf("  peak resident memory: bare window %7.1f MB, app %7.1f MB, ratio %.2f (goal <= 1.3)\n",
        bareRss, appRss, appRss / bareRss);
    std::printf("    of which font files mapped (shared page cache): bare window %.1f MB, app %.1f MB\n",
        median(fonts[0]), median(fonts[1]));
    std::printf("  for scale, a bare window with the same text: %.1f MB (ratio %.2f)\n", median(rss[2]),
        median(rss[2]) / bareRss);
    std::printf("  CPU time in the %d idle seconds after the first frame: bare window %.1f ms, app %.1f ms\n",
        idleSeconds, idle[0].idleCpuMs, idle[1].idleCpuMs);
    std::printf(
        "    of which after the first second (reveal step and activation done): bare window %.1f ms, app "
        "%.1f ms\n",
        idle[0].quietCpuMs, idle[1].quietCpuMs);
    printLoad(load);
    return 0;
}
