#pragma once

#include "agents/agentkind.h"

#include <QString>
#include <QStringList>

// Pure builders of the launcher scripts in ~/.local/bin.
namespace Launchers {

// The command a script runs in the user's own shell to read the key: macOS's `security`, or
// on Linux `secret-tool`, which finds the items of the Secret Service by their attributes; or,
// with the file key store, `cat` of the key's own file.
enum class KeyringCommand { security, secretTool, file };
#ifdef Q_OS_MACOS
inline constexpr KeyringCommand hostKeyringCommand = KeyringCommand::security;
#else
inline constexpr KeyringCommand hostKeyringCommand = KeyringCommand::secretTool;
#endif

// `velmora_key="$(…)"`: reads the key stored under `keychainService` for the shell's `$USER`
// (file: in `keyFolder`). An absent item makes the command fail, which stops a script run with
// `set -eu`.
QString keychainLine(const QString &keychainService, KeyringCommand keyring = hostKeyringCommand,
    const QString &keyFolder = {});

// The whole launcher of `kind`, an agent with a launcher (not Codex): it reads the key stored under
// `keychainService`, exports the agent's variables and replaces itself with the agent. The key itself never
// appears in it.
QString launcherScript(AgentKind kind, const LauncherValues &values, const QString &keychainService,
    KeyringCommand keyring = hostKeyringCommand, const QString &keyFolder = {});

// The model a launcher or provider file names: for OpenCode `selected`; for the others the
// first of `modelIDs` that, in lower case, begins with the kind's prefix (its letters
// as listed), else `selected`.
QString preferredModel(AgentKind kind, const QStringList &modelIDs, const QString &selected);

} // namespace Launchers
