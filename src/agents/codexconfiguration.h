#pragma once

#include "agents/codexfiles.h"
#include "platform/userfolders.h"

#include <QString>
#include <QUrl>
#include <optional>

namespace CodexSignIn {
// The record of what connecting set aside from auth.json in `codexFolder`: the one beside it,
// else one an earlier version kept in the app's folder; none when neither exists.
std::optional<CodexFiles::SignInRecord> read(const QString &codexFolder, const QString &appFolder);
} // namespace CodexSignIn

// Writes Codex's config.toml (replaced whole) and the key into its auth.json (merged), each
// first copied into `backupDirectory`; what auth.json held of the user's own is set aside
// beside it.
class CodexConfiguration
{
public:
    CodexConfiguration(UserFolders folders, QString backupDirectory);

    void write(const QUrl &router, const QString &model, const QString &effort, const QString &apiKey) const;

private:
    UserFolders m_folders;
    QString m_backup;
};
