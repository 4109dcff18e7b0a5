#pragma once

#include "platform/userfolders.h"

#include <QString>

// The file side of clearing: Codex's config.toml backed up and removed, the key removed from
// its auth.json (backed up first) and the user's own sign-in put back. Stops at the first
// failure; what was already backed up or removed stays so.
class CodexFilesClearing
{
public:
    CodexFilesClearing(UserFolders folders, QString backupDirectory);

    void run() const;

private:
    UserFolders m_folders;
    QString m_backup;
};
