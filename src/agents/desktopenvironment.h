#pragma once

#include "agents/launchers.h"
#include "platform/execute.h"

#include <QCoro/QCoroTask>
#include <QString>

// The per-user LaunchAgent that hands the key to the Codex desktop application at login,
// and the key set in the launchd domain now.
class DesktopEnvironment
{
public:
    // `launchctl` runs through `tools`, which must outlive this. The script reads the key with
    // `keyring` (the file key store: from its file in `keyFolder`); removing recognises the
    // script of either.
    DesktopEnvironment(QString home, ToolRunner &tools, QString launchctlTool, uint uid,
        Launchers::KeyringCommand keyring = Launchers::hostKeyringCommand, QString keyFolder = {});

    // Writes the script (reading the item `keychainService`) and the property list, each
    // first copied into `backupDirectory`, sets the key in launchd and reloads the agent.
    QCoro::Task<> install(QString backupDirectory, QString keychainService, QString apiKey) const;

    // Unsets the key, unloads the agent and removes both files, each first copied into
    // `backupDirectory`. Nothing here can fail: whatever is already gone stays gone. Stops,
    // leaving the files, when the tools close.
    QCoro::Task<> remove(QString backupDirectory) const;

private:
    QString m_home;
    ToolRunner &m_tools;
    QString m_launchctl;
    uint m_uid;
    Launchers::KeyringCommand m_keyring;
    QString m_keyFolder;
};
