#include "agents/codexconfiguration.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"

#include <QJsonObject>

CodexConfiguration::CodexConfiguration(UserFolders folders, QString backupDirectory)
    : m_folders(std::move(folders))
    , m_backup(std::move(backupDirectory))
{
}

void CodexConfiguration::write(
    const QUrl &router, const QString &model, const QString &effort, const QString &apiKey) const
{
    const QString config = CodexFiles::configPath(m_folders.codex);
    const QString auth = CodexFiles::authPath(m_folders.codex);

    FileUtils::makeDirectory(m_folders.codex);
    FileUtils::backupFile(config, m_backup);
    FileUtils::backupFile(auth, m_backup);

    FileUtils::writeSecure(CodexFiles::codexConfigToml(model, effort, CodexFiles::relayBaseURL(router)),
        config, FileUtils::configMode);

    const CodexFiles::ConnectedAuth connected
        = CodexFiles::connectedAuth(FileUtils::jsonObject(auth), apiKey);
    // The sign-in is kept before it leaves auth.json, so that no failure can lose it.
    if (connected.signIn) {
        FileUtils::makePrivateDirectory(m_folders.app());
        FileUtils::writeJSONObject(*connected.signIn, CodexFiles::signInRecordPath(m_folders.app()));
    }
    FileUtils::writeJSONObject(connected.auth, auth);
}
