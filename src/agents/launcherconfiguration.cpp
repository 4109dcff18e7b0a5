#include "agents/launcherconfiguration.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"
#include "agents/launchers.h"
#include "agents/roottext.h"

#include <QDir>

LauncherConfiguration::LauncherConfiguration(QString home, QDateTime now)
    : m_home(std::move(home))
    , m_now(std::move(now))
{
}

void LauncherConfiguration::write(
    AgentKind kind, const QUrl &router, const QString &keychainService, const QString &model)
{
    const AgentDescriptor &agent = descriptor(kind);
    if (agent.prepare)
        agent.prepare(m_home);
    m_backup = FileUtils::backupDirectory(m_home, m_now); // one directory for every file of this run
    const QString bin = CodexFiles::scriptDirectory(m_home);
    FileUtils::makeDirectory(bin);
    const QString launcher = bin + u'/' + agent.launcherName;
    FileUtils::backupFile(launcher, m_backup);

    // The provider entry comes first: when it cannot be merged, no launcher is written.
    if (agent.providerFile)
        mergeProviderFile(*agent.providerFile, router, model);

    FileUtils::writeSecure(Launchers::launcherScript(kind, rootText(router), keychainService, model),
        launcher, FileUtils::scriptMode);
}

void LauncherConfiguration::mergeProviderFile(
    const ProviderFile &provider, const QUrl &router, const QString &model) const
{
    const QString dir = QDir(m_home).filePath(provider.directory);
    const QString file = dir + u'/' + provider.fileName;
    FileUtils::makeDirectory(dir);
    FileUtils::backupFile(file, m_backup);
    const QJsonObject merged
        = provider.merge(FileUtils::jsonObject(file), CodexFiles::relayBaseURL(router), model);
    FileUtils::writeJSONObject(merged, file);
}
