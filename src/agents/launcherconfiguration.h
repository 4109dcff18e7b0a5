#pragma once

#include "agents/agentkind.h"

#include <QString>
#include <QUrl>

// Connects one launcher agent: its provider entry first (OpenCode, Crush), then its launcher
// in ~/.local/bin. Every file it replaces is first copied into `backupDirectory`.
class LauncherConfiguration
{
public:
    LauncherConfiguration(QString home, QString backupDirectory);

    // The launcher reads the key stored under `keychainService` when it starts.
    void write(
        AgentKind kind, const QUrl &router, const QString &keychainService, const QString &model) const;

private:
    void mergeProviderFile(const ProviderFile &provider, const QUrl &router, const QString &model) const;

    QString m_home;
    QString m_backup;
};
