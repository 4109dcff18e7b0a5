#pragma once

#include <QString>

// The per-user LaunchAgent that hands the key to the Codex desktop application at login,
// and the key set in the launchd domain now.
class DesktopEnvironment
{
public:
    DesktopEnvironment(QString home, QString launchctlTool, uint uid);

    // Writes the script (reading the item `keychainService`) and the property list, each
    // first copied into `backupDirectory`, sets the key in launchd and reloads the agent.
    void install(const QString &backupDirectory, const QString &keychainService, const QString &apiKey) const;

    // Unsets the key, unloads the agent and removes both files, each first copied into
    // `backupDirectory`. Nothing here can fail: whatever is already gone stays gone.
    void remove(const QString &backupDirectory) const;

private:
    QString m_home;
    QString m_launchctl;
    uint m_uid;
};
