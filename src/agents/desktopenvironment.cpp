#include "agents/codexfiles.h"
#include "agents/fileutils.h"
#include "service/connecterror.h"
#include "state/connectstate.h"

void ConnectState::configureDesktopEnvironment(
    const QString &home, const QString &backup, const QString &apiKey)
{
    const QString script = CodexFiles::environmentScriptPath(home);
    const QString plist = CodexFiles::launchAgentPath(home);

    FileUtils::makeDirectory(CodexFiles::scriptDirectory(home));
    FileUtils::makeDirectory(CodexFiles::launchAgentsDirectory(home));
    FileUtils::backupFile(script, backup);
    FileUtils::backupFile(plist, backup);

    // The script reads the item of the channel group resolved last.
    FileUtils::writeSecure(
        CodexFiles::codexEnvironmentScript(m_activeKeychainService), script, FileUtils::scriptMode);
    FileUtils::writeSecure(CodexFiles::launchAgentPlist(script), plist, FileUtils::configMode);

    const QString launchctl = m_platform->launchctlTool();
    const uint uid = m_platform->userId();
#ifdef Q_OS_MACOS
    execute(launchctl, { QStringLiteral("setenv"), CodexFiles::apiKeyVariable, apiKey });
#else
    // The stand-in reads a missing value from standard input, out of the process list.
    FileUtils::execute(launchctl, { QStringLiteral("setenv"), CodexFiles::apiKeyVariable }, apiKey);
#endif
    try {
        execute(launchctl, { QStringLiteral("bootout"), CodexFiles::launchAgentTarget(uid) });
    } catch (const Failure &) {
        // The agent was not loaded: nothing to unload.
    }
    execute(launchctl, { QStringLiteral("bootstrap"), CodexFiles::launchDomain(uid), plist });
}
