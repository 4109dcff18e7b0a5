#include "agents/clearing.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"

#include <QFile>
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
    FileUtils::backupFile(auth, m_backup);
    FileUtils::backupFile(signInRecord, m_backup);
    FileUtils::removeFile(config, m_backup, CodexFiles::isCodexConfigToml);
    if (QFileInfo::exists(auth)) {
        QJsonObject signIn;
        try {
            signIn = FileUtils::jsonObject(signInRecord);
        } catch (...) {
            // An unreadable record gives nothing back; the key still goes.
        }
        FileUtils::writeJSONObject(CodexFiles::clearedAuth(FileUtils::jsonObject(auth), signIn), auth);
    }
    QFile::remove(signInRecord); // the app's own, backed up above
}
