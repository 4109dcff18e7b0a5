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
    FileUtils::backupFile(config, m_backup);
    FileUtils::backupFile(auth, m_backup);
    if (QFileInfo::exists(config))
        FileUtils::removeFile(config);
    if (QFileInfo::exists(auth)) {
        QJsonObject object = FileUtils::jsonObject(auth);
        object.remove(CodexFiles::apiKeyVariable);
        FileUtils::writeJSONObject(object, auth);
    }
}
