#include "agents/launcherconfiguration.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"
#include "agents/launchers.h"
#include "agents/roottext.h"

#include <QDir>

LauncherConfiguration::LauncherConfiguration(UserFolders folders, QDateTime now)
    : m_folders(std::move(folders))
    , m_now(std::move(now))
{
}

void LauncherConfiguration::write(AgentKind kind, const QUrl &router, const QString &keychainService,
    const QString &model, Launchers::KeyringCommand keyring)
{
    const AgentDescriptor &agent = descriptor(kind);
    const LauncherValues values { rootText(router), model, m_folders.app() };
    // First: the backup directory would otherwise create the app's folder with the default mode.
    if (agent.prepare)
        agent.prepare(values);
    m_backup = FileUtils::backupDirectory(m_folders.app(), m_now); // one directory for every file of this run
    const QString bin = CodexFiles::scriptDirectory(m_folders.home);
    FileUtils::makeDirectory(bin);
    const QString launcher = bin + u'/' + agent.launcherName.toString();
    FileUtils::backupFile(launcher, m_backup);

    // The provider entry comes first: when it cannot be merged, no launcher is written.
    if (agent.providerFile)
        mergeProviderFile(*agent.providerFile, router, model);

    FileUtils::writeSecure(
        Launchers::launcherScript(kind, values, keychainService, keyring, m_folders.keys()), launcher,
        FileUtils::scriptMode);
}

void LauncherConfiguration::mergeProviderFile(
    const ProviderFile &provider, const QUrl &router, const QString &model) const
{
    const QString dir = QDir(m_folders.config).filePath(provider.directory.toString());
    const QString file = dir + u'/' + provider.fileName.toString();
    FileUtils::makeDirectory(dir);
    FileUtils::backupFile(file, m_backup);
    const QJsonObject merged
        = provider.merge(FileUtils::jsonObject(file), CodexFiles::relayBaseURL(router), model);
    FileUtils::writeJSONObject(merged, file);
}
