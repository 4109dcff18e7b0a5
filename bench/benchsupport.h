#pragma once

#include "platform/platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QList>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

// The real system, but a temporary home (its login shell /bin/sh), none of the developer's own
// configuration folders, and the keyring and launchd stand-ins built with the project.
class StandInPlatform : public SystemPlatform
{
public:
    explicit StandInPlatform(QString home)
        : m_home(std::move(home))
    {
    }
    QString homePath() const override { return m_home; }
    QString securityTool() const override { return QStringLiteral(VELMORA_BIN_DIR "/security"); }
    QString launchctlTool() const override { return QStringLiteral(VELMORA_BIN_DIR "/launchctl"); }
    bool codexAppInstalled() const override { return false; }
    QProcessEnvironment environment() const override
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home);
        environment.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/sh"));
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        environment.remove(QStringLiteral("CODEX_HOME"));
        return environment;
    }

private:
    QString m_home;
};

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

// `--load N` busy threads beside the measured work (none by default), standing for a build
// running on every core, so that "quiet" and "busy" figures come from the same binary and run.
class MachineLoad
{
public:
    explicit MachineLoad(int threads)
    {
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this] {
                volatile unsigned long spin = 0;
                while (!m_stop.load(std::memory_order_relaxed))
                    spin = spin + 1;
            });
    }
    ~MachineLoad()
    {
        m_stop = true;
        for (std::thread &thread : m_threads)
            thread.join();
    }
    MachineLoad(const MachineLoad &) = delete;
    MachineLoad &operator=(const MachineLoad &) = delete;
    int threads() const { return int(m_threads.size()); }

private:
    std::atomic<bool> m_stop { false };
    std::vector<std::thread> m_threads;
};

// The N of `--load N` (or `--load=N`) among the arguments; 0 without it.
inline int loadOption(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--load" && i + 1 < arguments.size())
            return std::max(0, arguments[i + 1].toInt());
        if (arguments[i].startsWith(u"--load="))
            return std::max(0, arguments[i].sliced(7).toInt());
    }
    return 0;
}

inline void printLoad(const MachineLoad &load)
{
    std::printf("  load: %d busy thread%s beside the measured work, on %u cores\n", load.threads(),
        load.threads() == 1 ? "" : "s", std::thread::hardware_concurrency());
}

// Pauses on a busy machine are the scheduler's as much as the program's.
inline void printLoadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("  load average (1, 5, 15 min) %s\n",
            load.readLine(64).split(' ').mid(0, 3).join(' ').constData());
}
