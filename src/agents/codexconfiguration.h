#pragma once

#include <QString>
#include <QUrl>

// Writes ~/.codex/config.toml (replaced whole) and the key into ~/.codex/auth.json (merged),
// each first copied into `backupDirectory`.
class CodexConfiguration
{
public:
    CodexConfiguration(QString home, QString backupDirectory);

    void write(const QUrl &router, const QString &model, const QString &effort, const QString &apiKey) const;

private:
    QString m_home;
    QString m_backup;
};
