#include "agents/desktopenvironment.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"
#include "platform/connecterror.h"
#include "platform/execute.h"

DesktopEnvironment::DesktopEnvironment(QString home, ToolRunner &tools, QString launchctlTool, uint uid,
    Launchers::KeyringCommand keyring, QString keyFolder)
    : m_home(std::move(home))
    , m_tools(tools)
    , m_launchctl(std::move(launchctlTool))
    , m_uid(uid)
    , m_keyring(keyring)
    , m_keyFolder(std::move(keyFolder))
{
}

QCoro::Task<> DesktopEnvironment::install(
    QString backupDirectory, QString keychainService, QString apiKey) const
{
    const QString script = CodexFiles::environmentScriptPath(m_home);
    const QString plist = CodexFiles::launchAgentPath(m_home);

    FileUtils::makeDirectory(CodexFiles::scriptDirectory(m_home));
    FileUtils::makeDirectory(CodexFiles::launchAgentsDirectory(m_home));
    FileUtils::backupFile(script, backupDirectory);
    FileUtils::backupFile(plist, backupDirectory);

    // The script reads the item of the channel group resolved last.
    FileUtils::writeSecure(CodexFiles::codexEnvironmentScript(keychainService, m_keyring, m_keyFolder),
        script, FileUtils::scriptMode);
    FileUtils::writeSecure(CodexFiles::launchAgentPlist(script), plist, FileUtils::configMode);

#ifdef Q_OS_MACOS
    const QStringList setenv { QStringLiteral("setenv"), CodexFiles::apiKeyVariable, apiKey };
    co_await m_tools.execute(m_launchctl, setenv);
#else
    // The stand-in reads a missing value from standard input, out of the process list.
    const QStringList setenv { QStringLiteral("setenv"), CodexFiles::apiKeyVariable };
    co_await m_tools.execute(m_launchctl, setenv, apiKey);
#endif
    const QStringList bootout { QStringLiteral("bootout"), CodexFiles::launchAgentTarget(m_uid) };
    try {
        co_await m_tools.execute(m_launchctl, bootout);
    } catch (const Failure &) {
        // The agent was not loaded: nothing to unload.
    }
    const QStringList bootstrap { QStringLiteral("bootstrap"), CodexFiles::launchDomain(m_uid), plist };
    co_await m_tools.execute(m_launchctl, bootstrap);
}

QCoro::Task<> DesktopEnvironment::remove(QString backupDirectory) const
{
    const QStringList unsetenv { QStringLiteral("unsetenv"), CodexFiles::apiKeyVariable };
    try {
        co_await m_tools.execute(m_launchctl, unsetenv);
    } catch (const Failure &) {
    }
    const QStringList bootout { QStringLiteral("bootout"), CodexFiles::launchAgentTarget(m_uid) };
    try {
        co_await m_tools.execute(m_launchctl, bootout);
    } catch (const Failure &) {
    }
    const QString script = CodexFiles::environmentScriptPath(m_home);
    const QByteArray plist = CodexFiles::launchAgentPlist(script).toUtf8();
    const std::pair<QString, FileUtils::WrittenTest> files[] {
        { script,
            [folder = m_keyFolder](const QByteArray &bytes) {
                return CodexFiles::isCodexEnvironmentScript(bytes)
                    || (!folder.isEmpty()
                        && CodexFiles::isCodexEnvironmentScript(
                            bytes, Launchers::KeyringCommand::file, folder));
            } },
        { CodexFiles::launchAgentPath(m_home), [&](const QByteArray &bytes) { return bytes == plist; } },
    };
    for (const auto &[path, isWritten] : files) {
        try {
            FileUtils::removeFile(path, backupDirectory, isWritten);
        } catch (...) {
        }
    }
}
