#pragma once

#include "platform/platform.h"

#include <QFile>
#include <QList>
#include <algorithm>
#include <cstdio>

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

// Pauses on a busy machine are the scheduler's as much as the program's.
inline void printLoadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("  load average (1, 5, 15 min) %s\n",
            load.readLine(64).split(' ').mid(0, 3).join(' ').constData());
}
