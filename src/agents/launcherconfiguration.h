#pragma once

#include "agents/agentkind.h"

#include <QDateTime>
#include <QString>
#include <QUrl>

// Connects one launcher agent: its provider entry first (OpenCode, Crush), then its launcher
// in ~/.local/bin. Every file it replaces is first copied into the run's backup directory,
// stamped `now`.
class LauncherConfiguration
{
public:
    LauncherConfiguration(QString home, QDateTime now);

    // The launcher reads the key stored under `keychainService` when it starts.
    void write(AgentKind kind, const QUrl &router, const QString &keychainService, const QString &model);

private:
    void mergeProviderFile(const ProviderFile &provider, const QUrl &router, const QString &model) const;

    QString m_home;
    QDateTime m_now;
    QString m_backup;
};
