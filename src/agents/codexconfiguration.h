#pragma once

#include "platform/userfolders.h"

#include <QString>
#include <QUrl>

// Writes Codex's config.toml (replaced whole) and the key into its auth.json (merged), each
// first copied into `backupDirectory`; the user's own sign-in is set aside in the app's folder.
class CodexConfiguration
{
public:
    CodexConfiguration(UserFolders folders, QString backupDirectory);

    void write(const QUrl &router, const QString &model, const QString &effort, const QString &apiKey) const;

private:
    UserFolders m_folders;
    QString m_backup;
};
