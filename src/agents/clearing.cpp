#include "agents/clearing.h"

#include "agents/codexconfiguration.h"
#include "agents/codexfiles.h"
#include "agents/fileutils.h"

#include <QFile>
#include <QFileInfo>

CodexFilesClearing::CodexFilesClearing(QString codexFolder, QString appFolder, QString backupDirectory)
    : m_codex(std::move(codexFolder))
    , m_app(std::move(appFolder))
    , m_backup(std::move(backupDirectory))
{
}

void CodexFilesClearing::run() const
{
    const QString config = CodexFiles::configPath(m_codex);
    const QString auth = CodexFiles::authPath(m_codex);
    const QString record = CodexFiles::signInRecordPath(m_codex);
    const QString earlier = CodexFiles::earlierSignInRecordPath(m_app);
    // Without a record, the key in auth.json is the app's when config.toml is.
    const bool appConfig
        = QFileInfo(config).isFile() && CodexFiles::isCodexConfigToml(FileUtils::regularFileBytes(config));
    FileUtils::removeFile(config, m_backup, CodexFiles::isCodexConfigToml);
    for (const QString &path : { auth, record, earlier })
        FileUtils::backupFile(path, m_backup);
    if (QFileInfo::exists(auth)) {
        std::optional<CodexFiles::SignInRecord> setAside;
        try {
            setAside = CodexSignIn::read(m_codex, m_app);
        } catch (...) {
            // An unreadable record (its copy is in the backup) gives nothing back.
        }
        const QJsonObject cleared = CodexFiles::clearedAuth(FileUtils::jsonObject(auth), setAside, appConfig);
        FileUtils::writeJSONObject(cleared, auth);
    }
    // The app's own, backed up above.
    QFile::remove(record);
    QFile::remove(earlier);
}

void clearCodexFolders(
    const UserFolders &folders, const QStringList &recorded, const QString &backupDirectory)
{
    QStringList codexFolders = QStringList { folders.codex } + recorded;
    codexFolders.removeDuplicates();
    for (qsizetype i = 0; i < codexFolders.size(); ++i) {
        QString into = backupDirectory;
        if (i > 0) {
            into += QStringLiteral("/codex-") + QString::number(i + 1);
            FileUtils::makePrivateDirectory(into);
        }
        CodexFilesClearing(codexFolders[i], folders.app(), into).run();
    }
}
