#include "agents/desktopenvironment.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"
#include "platform/connecterror.h"
#include "platform/execute.h"

DesktopEnvironment::DesktopEnvironment(QString home, ToolRunner &tools, QString launchctlTool, uint uid)
    : m_home(std::move(home))
    , m_tools(tools)
    , m_launchctl(std::move(launchctlTool))
    , m_uid(uid)
{
}

void DesktopEnvironment::writeFiles(const QString &home, const QString &backupDirectory,
    const QString &keychainService, Launchers::KeyringCommand keyring, const QString &keyFolder)
{
    const QString script = CodexFiles::environmentScriptPath(home);
    const QString plist = CodexFiles::launchAgentPath(home);

    FileUtils::makeDirectory(CodexFiles::scriptDirectory(home));
    FileUtils::makeDirectory(CodexFiles::launchAgentsDirectory(home));
    FileUtils::backupFile(script, backupDirectory);
    FileUtils::backupFile(plist, backupDirectory);

    // The script reads the item of the channel group resolved last.
    FileUtils::writeSecure(CodexFiles::codexEnvironmentScript(keychainService, keyring, keyFolder), script,
        FileUtils::scriptMode);
    FileUtils::writeSecure(CodexFiles::launchAgentPlist(script), plist, FileUtils::configMode);
}

QCoro::Task<> DesktopEnvironment::load(QString apiKey) const
{
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
    } catch (const ToolFailed &) {
        // The agent was not loaded: nothing to unload.
    }
    const QStringList bootstrap { QStringLiteral("bootstrap"), CodexFiles::launchDomain(m_uid),
        CodexFiles::launchAgentPath(m_home) };
    co_await m_tools.execute(m_launchctl, bootstrap);
}

QCoro::Task<> DesktopEnvironment::unload() const
{
    std::exception_ptr failure;
    const QStringList unsetenv { QStringLiteral("unsetenv"), CodexFiles::apiKeyVariable };
    const QStringList bootout { QStringLiteral("bootout"), CodexFiles::launchAgentTarget(m_uid) };
    for (const QStringList &arguments : { unsetenv, bootout }) {
        try {
            co_await m_tools.execute(m_launchctl, arguments);
        } catch (const ToolFailed &) {
        } catch (const ToolsClosed &) {
            throw;
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void DesktopEnvironment::removeFiles(
    const QString &home, const QString &backupDirectory, const QString &keyFolder)
{
    std::exception_ptr failure;
    const QString script = CodexFiles::environmentScriptPath(home);
    const QByteArray plist = CodexFiles::launchAgentPlist(script).toUtf8();
    const std::pair<QString, FileUtils::WrittenTest> files[] {
        { script,
            [keyFolder](const QByteArray &bytes) {
                return CodexFiles::isCodexEnvironmentScript(bytes)
                    || (!keyFolder.isEmpty()
                        && CodexFiles::isCodexEnvironmentScript(
                            bytes, Launchers::KeyringCommand::file, keyFolder));
            } },
        { CodexFiles::launchAgentPath(home), [&](const QByteArray &bytes) { return bytes == plist; } },
    };
    for (const auto &[path, isWritten] : files) {
        try {
            FileUtils::removeFile(path, backupDirectory, isWritten);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}
