#pragma once

#include "platform/userfolders.h"

#include <QProcessEnvironment>
#include <QString>
#include <optional>

// What an agent's own settings say about its runs, read from its files and from the user's
// login shell: the settings that win over what the app wrote, and the agents' own reports of
// their resolved configuration. For the agent table's check fields.
namespace AgentSettings {

// A setting of the user's that wins over what the app wrote for the agent.
struct Override
{
    QString subject; // the file or the shell variable
    QString setting; // what in it
};

// Codex: a CODEX_HOME of the login shell other than the folder the app wrote to; an auth.json
// that is not in API-key mode with a key, or that still holds a sign-in's tokens (Codex then
// sends no key at all).
std::optional<Override> codexOverride(const UserFolders &folders, const QProcessEnvironment &shell);

// Claude Code: a switch to another provider (Bedrock, Vertex, Foundry) in the login shell or in
// the `env` block of the user's settings.json, which the launcher's settings layer leaves on.
std::optional<Override> claudeOverride(const UserFolders &folders, const QProcessEnvironment &shell);

// `codex login status`: Codex names an API key as its credential.
bool codexReportsKey(const QString &output, const QString &baseURL, const QString &model);

// `opencode debug config` (through the launcher): the resolved model is the relay's, and the
// relay's provider has `baseURL`.
bool openCodeResolvesRelay(const QString &output, const QString &baseURL, const QString &model);

} // namespace AgentSettings
