#include "agents/codexconfiguration.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

namespace CodexSignIn {

std::optional<CodexFiles::SignInRecord> read(const QString &codexFolder, const QString &appFolder)
{
    for (const QString &path :
        { CodexFiles::signInRecordPath(codexFolder), CodexFiles::earlierSignInRecordPath(appFolder) }) {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            return CodexFiles::signInRecord(FileUtils::jsonObject(path));
    }
    return std::nullopt;
}

} // namespace CodexSignIn

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
    const QString record = CodexFiles::signInRecordPath(m_folders.codex);
    const QString earlier = CodexFiles::earlierSignInRecordPath(m_folders.app());

    FileUtils::makeDirectory(m_folders.codex);
    for (const QString &path : { config, auth, record, earlier })
        FileUtils::backupFile(path, m_backup);

    FileUtils::writeSecure(CodexFiles::codexConfigToml(model, effort, CodexFiles::relayBaseURL(router)),
        config, FileUtils::configMode);

    const CodexFiles::ConnectedAuth connected = CodexFiles::connectedAuth(
        FileUtils::jsonObject(auth), apiKey, CodexSignIn::read(m_folders.codex, m_folders.app()));
    // What is set aside is kept before it leaves auth.json, so that no failure can lose it.
    FileUtils::writeJSONObject(CodexFiles::recordObject(connected.record), record);
    FileUtils::writeJSONObject(connected.auth, auth);
    QFile::remove(earlier); // backed up above; the record beside auth.json holds it now
}
