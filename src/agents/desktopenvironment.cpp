#include "agents/desktopenvironment.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"
#include "platform/connecterror.h"
#include "platform/execute.h"

DesktopEnvironment::DesktopEnvironment(QString home, QString launchctlTool, uint uid)
    : m_home(std::move(home))
    , m_launchctl(std::move(launchctlTool))
    , m_uid(uid)
{
}

void DesktopEnvironment::install(
    const QString &backupDirectory, const QString &keychainService, const QString &apiKey) const
{
    const QString script = CodexFiles::environmentScriptPath(m_home);
    const QString plist = CodexFiles::launchAgentPath(m_home);

    FileUtils::makeDirectory(CodexFiles::scriptDirectory(m_home));
    FileUtils::makeDirectory(CodexFiles::launchAgentsDirectory(m_home));
    FileUtils::backupFile(script, backupDirectory);
    FileUtils::backupFile(plist, backupDirectory);

    // The script reads the item of the channel group resolved last.
    FileUtils::writeSecure(
        CodexFiles::codexEnvironmentScript(keychainService), script, FileUtils::scriptMode);
    FileUtils::writeSecure(CodexFiles::launchAgentPlist(script), plist, FileUtils::configMode);

#ifdef Q_OS_MACOS
    execute(m_launchctl, { QStringLiteral("setenv"), CodexFiles::apiKeyVariable, apiKey });
#else
    // The stand-in reads a missing value from standard input, out of the process list.
    execute(m_launchctl, { QStringLiteral("setenv"), CodexFiles::apiKeyVariable }, apiKey);
#endif
    try {
        execute(m_launchctl, { QStringLiteral("bootout"), CodexFiles::launchAgentTarget(m_uid) });
    } catch (const Failure &) {
        // The agent was not loaded: nothing to unload.
    }
    execute(m_launchctl, { QStringLiteral("bootstrap"), CodexFiles::launchDomain(m_uid), plist });
}

void DesktopEnvironment::remove(const QString &backupDirectory) const
{
    try {
        execute(m_launchctl, { QStringLiteral("unsetenv"), CodexFiles::apiKeyVariable });
    } catch (...) {
    }
    try {
        execute(m_launchctl, { QStringLiteral("bootout"), CodexFiles::launchAgentTarget(m_uid) });
    } catch (...) {
    }
    const QString script = CodexFiles::environmentScriptPath(m_home);
    const QByteArray plist = CodexFiles::launchAgentPlist(script).toUtf8();
    const std::pair<QString, FileUtils::WrittenTest> files[] {
        { script, [](const QByteArray &bytes) { return CodexFiles::isCodexEnvironmentScript(bytes); } },
        { CodexFiles::launchAgentPath(m_home), [&](const QByteArray &bytes) { return bytes == plist; } },
    };
    for (const auto &[path, isWritten] : files) {
        try {
            FileUtils::removeFile(path, backupDirectory, isWritten);
        } catch (...) {
        }
    }
}
