#pragma once

#include "platform/userfolders.h"

#include <QString>
#include <QStringList>

// The file side of clearing in one Codex folder: config.toml backed up and removed, the key
// the app wrote removed from auth.json (backed up first) and what connecting set aside given
// back. Stops at the first failure; what was already backed up or removed stays so.
class CodexFilesClearing
{
public:
    // `appFolder`: where an earlier version kept the set-aside sign-in.
    CodexFilesClearing(QString codexFolder, QString appFolder, QString backupDirectory);

    void run() const;

private:
    QString m_codex;
    QString m_app;
    QString m_backup;
};

// Clears the Codex folder of `folders`, then each of `recorded` that differs from it (written
// from another environment), each backed up into a folder of its own: `backupDirectory`, then
// its "codex-2", "codex-3", ….
void clearCodexFolders(
    const UserFolders &folders, const QStringList &recorded, const QString &backupDirectory);
