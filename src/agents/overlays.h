#pragma once

#include <QJsonObject>
#include <QString>

// What a launcher lays over the agent's own configuration for its runs alone, so that the
// user's settings, sign-ins and remembered models keep serving the agent's own command while
// the launcher always reaches the relay. Pure builders, and the writers of the app's files.
namespace Overlays {

// The key reaches the agents that read it from a variable under this name alone: no agent
// knows it, so no provider built into an agent switches on because of it.
inline const QString keyVariable = QStringLiteral("VELMORA_API_KEY");

// Claude Code's `--settings` layer, above the user's settings files: their `env` block may
// name another provider's base URL and token, which would win over the launcher's exports.
// The key comes from `apiKeyHelper`, which prints the launcher's variable, so that it is in
// no file and no argument. A non-empty `model` is named for every model Claude Code requests;
// empty, Claude Code asks for its own defaults.
QJsonObject claudeSettings(const QString &root, const QString &model);

// Gemini CLI's settings laid over the user's for the launcher's runs: API-key authentication,
// whatever sign-in the user's ~/.gemini selects.
QJsonObject geminiSettings();
QString geminiHome(const QString &appFolder); // <app>/gemini
QString geminiSettingsPath(const QString &appFolder); // <app>/gemini/.gemini/settings.json
// The home of the launcher's runs (GEMINI_CLI_HOME): Gemini CLI reads no settings layer above
// the user's file that a user (not root) can give it per run, so the launcher's line below
// fills `<app>/gemini/run/.gemini` before each run with links to every entry of the user's
// Gemini folder (MCP servers' tokens, extensions, context files, trusted folders, history) and
// with the user's settings.json as it is now, merged with the settings above.
QString geminiRunHome(const QString &appFolder); // <app>/gemini/run
QString geminiRunHomeLine(const QString &appFolder);

// OpenCode's inline configuration (OPENCODE_CONFIG_CONTENT): the relay's model, above a
// model the user's opencode.json names or OpenCode remembers.
QJsonObject openCodeConfig(const QString &model);

// Crush's data configuration for the launcher's runs (CRUSH_GLOBAL_DATA): the relay's model
// for both of Crush's model slots.
QJsonObject crushSelection(const QString &model);
QString crushData(const QString &appFolder); // <app>/crush
QString crushSelectionPath(const QString &appFolder); // <app>/crush/crush.json

// `object` on one line, for an environment variable or an option.
QString compact(const QJsonObject &object);

// Write the files above into the app's folder, its folders closed to group and others.
void writeGeminiSettings(const QString &appFolder);
void writeCrushSelection(const QString &appFolder, const QString &model);

} // namespace Overlays
