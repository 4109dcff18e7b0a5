#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What clearing must find from whatever environment it starts in: the Codex folders that
// connecting wrote (a start from the desktop and one from a terminal often see different
// $CODEX_HOME and $XDG_CONFIG_HOME) and the keychain name of the key resolved last, which a
// restart would otherwise forget. Kept where no variable moves it,
// <home>/.config/velmora-connect/connections.json (0600); no secret is in it.
struct ConnectionRecord
{
    QStringList codexFolders;
    QString keychainService;

    static QString path(const QString &home);
    // Empty when there is none; throws when it cannot be read.
    static ConnectionRecord read(const QString &home);
    void write(const QString &home) const;
    // Adds `codexFolder` (when given) and sets the keychain name in the record.
    static void remember(
        const QString &home, const QString &keychainService, const std::optional<QString> &codexFolder);
    // Removes the record, copied into `backupDirectory` first.
    static void remove(const QString &home, const QString &backupDirectory);
};
