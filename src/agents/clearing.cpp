#include "agents/clearing.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"

#include <QFileInfo>

CodexFilesClearing::CodexFilesClearing(UserFolders folders, QString backupDirectory)
    : m_folders(std::move(folders))
    , m_backup(std::move(backupDirectory))
{
}

void CodexFilesClearing::run() const
{
    const QString config = CodexFiles::configPath(m_folders.codex);
    const QString auth = CodexFiles::authPath(m_folders.codex);
    const QString signInRecord = CodexFiles::signInRecordPath(m_folders.app());
    FileUtils::backupFile(config, m_backup);
    FileUtils::backupFile(auth, m_backup);
    FileUtils::backupFile(signInRecord, m_backup);
    if (QFileInfo::exists(config))
        FileUtils::removeFile(config);
    if (QFileInfo::exists(auth)) {
        QJsonObject signIn;
        try {
            signIn = FileUtils::jsonObject(signInRecord);
        } catch (...) {
            // An unreadable record gives nothing back; the key still goes.
        }
        FileUtils::writeJSONObject(CodexFiles::clearedAuth(FileUtils::jsonObject(auth), signIn), auth);
    }
    if (QFileInfo::exists(signInRecord))
        FileUtils::removeFile(signInRecord);
}
