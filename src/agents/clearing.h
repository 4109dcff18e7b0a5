#pragma once

#include <QString>

// The file side of clearing: ~/.codex/config.toml backed up and removed, the key removed from
// ~/.codex/auth.json (backed up first). Stops at the first failure; what was already backed
// up or removed stays so.
class CodexFilesClearing
{
public:
    CodexFilesClearing(QString home, QString backupDirectory);

    void run() const;

private:
    QString m_home;
    QString m_backup;
};
