#pragma once

#include "agents/agentkind.h"
#include "agents/launchers.h"
#include "platform/userfolders.h"

#include <QDateTime>
#include <QString>
#include <QUrl>

// Connects one launcher agent: the launcher's own files in the app's folder, its provider
// entry (OpenCode, Crush), then its launcher in ~/.local/bin. Every file it replaces is first
// copied into the run's backup directory, stamped `now`.
class LauncherConfiguration
{
public:
    LauncherConfiguration(UserFolders folders, QDateTime now);

    // The launcher reads the key stored under `keychainService` when it starts, with `keyring`
    // (the file key store: from its file in the app's key folder).
    void write(AgentKind kind, const QUrl &router, const QString &keychainService, const QString &model,
        Launchers::KeyringCommand keyring = Launchers::hostKeyringCommand);

private:
    void mergeProviderFile(const ProviderFile &provider, const QUrl &router, const QString &model) const;

    UserFolders m_folders;
    QDateTime m_now;
    QString m_backup;
};
