#pragma once

#include <QProcessEnvironment>
#include <QString>

// The folders the agents and the app read their files from, named the way each agent names
// them: OpenCode and Crush honour $XDG_CONFIG_HOME, Codex $CODEX_HOME.
struct UserFolders
{
    QString home;
    QString config; // $XDG_CONFIG_HOME when it is an absolute path, else <home>/.config
    QString codex; // $CODEX_HOME when it is an absolute path, else <home>/.codex

    // <config>/velmora-connect: the app's own files, closed to group and others.
    QString app() const { return config + QStringLiteral("/velmora-connect"); }
    // <app>/keys: the file key store, one file per key, where no keyring is used.
    QString keys() const { return app() + QStringLiteral("/keys"); }

    static UserFolders from(const QString &home, const QProcessEnvironment &environment);
};
