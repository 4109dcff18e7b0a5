#include "agents/codexconfiguration.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"

#include <QJsonObject>

CodexConfiguration::CodexConfiguration(QString home, QString backupDirectory)
    : m_home(std::move(home))
    , m_backup(std::move(backupDirectory))
{
}

void CodexConfiguration::write(
    const QUrl &router, const QString &model, const QString &effort, const QString &apiKey) const
{
    const QString config = CodexFiles::configPath(m_home);
    const QString auth = CodexFiles::authPath(m_home);

    FileUtils::makeDirectory(CodexFiles::codexDirectory(m_home));
    FileUtils::backupFile(config, m_backup);
    FileUtils::backupFile(auth, m_backup);

    FileUtils::writeSecure(CodexFiles::codexConfigToml(model, effort, CodexFiles::relayBaseURL(router)),
        config, FileUtils::configMode);

    QJsonObject object = FileUtils::jsonObject(auth);
    object.insert(CodexFiles::apiKeyVariable, apiKey);
    FileUtils::writeJSONObject(object, auth);
}
