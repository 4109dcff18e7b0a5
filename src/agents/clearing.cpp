#include "agents/clearing.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"

#include <QFileInfo>

CodexFilesClearing::CodexFilesClearing(QString home, QString backupDirectory)
    : m_home(std::move(home))
    , m_backup(std::move(backupDirectory))
{
}

void CodexFilesClearing::run() const
{
    const QString config = CodexFiles::configPath(m_home);
    const QString auth = CodexFiles::authPath(m_home);
    FileUtils::backupFile(auth, m_backup);
    FileUtils::removeFile(config, m_backup, CodexFiles::isCodexConfigToml);
    if (QFileInfo::exists(auth)) {
        QJsonObject object = FileUtils::jsonObject(auth);
        object.remove(CodexFiles::apiKeyVariable);
        FileUtils::writeJSONObject(object, auth);
    }
}
