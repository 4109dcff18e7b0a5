#pragma once

#include "agents/launchers.h"
#include "platform/execute.h"

#include <QCoro/QCoroTask>
#include <QString>

// The per-user LaunchAgent that hands the key to the Codex desktop application at login,
// and the key set in the launchd domain now. Its files and its `launchctl` runs are separate
// steps: the files are written on the file worker, the tools run from the window's thread.
class DesktopEnvironment
{
public:
    // `launchctl` runs through `tools`, which must outlive this.
    DesktopEnvironment(QString home, ToolRunner &tools, QString launchctlTool, uint uid);

    // Writes the script (reading the item `keychainService` with `keyring`; the file key store:
    // from its file in `keyFolder`) and the property list, each first copied into
    // `backupDirectory`.
    static void writeFiles(const QString &home, const QString &backupDirectory,
        const QString &keychainService, Launchers::KeyringCommand keyring = Launchers::hostKeyringCommand,
        const QString &keyFolder = {});
    // Sets the key in launchd and reloads the agent whose files writeFiles() wrote.
    QCoro::Task<> load(QString apiKey) const;

    // Unsets the key and unloads the agent, both attempted; throws the first failure (a tool
    // past its limit or one that could not start). A tool's non-zero status says there was
    // nothing to do (no variable set, no job loaded). Stops when the tools close.
    QCoro::Task<> unload() const;
    // Removes both files, each first copied into `backupDirectory`; whatever is already gone
    // stays gone. Attempts both, then throws the first failure (a file that could not be backed
    // up or removed). The script is recognised as the app's whichever key store it reads.
    static void removeFiles(
        const QString &home, const QString &backupDirectory, const QString &keyFolder = {});

private:
    QString m_home;
    ToolRunner &m_tools;
    QString m_launchctl;
    uint m_uid;
};
