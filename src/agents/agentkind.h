#pragma once

#include "agents/agentsettings.h"
#include "platform/wireprotocol.h"

#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstddef>
#include <optional>
#include <span>

// The agents the product connects, each with one row in the table of agentkind.cpp; the build
// fails when a kind has no row or two. `count` is no agent: it counts the others.
enum class AgentKind { codex, claudeCode, geminiCLI, kimiCode, openCode, deepSeek, count };
inline constexpr std::size_t agentKindCount = std::size_t(AgentKind::count);

// The installer packages on the download server: one per agent.
using OfficialInstaller = AgentKind;

// An agent's own JSON configuration file that receives the relay's provider entry.
struct ProviderFile
{
    QStringView directory; // under the configuration folder ($XDG_CONFIG_HOME or ~/.config)
    QStringView fileName;
    QJsonObject (*merge)(QJsonObject config, const QString &baseURL, const QString &model);
};

// What a launcher is written from.
struct LauncherValues
{
    QString root; // the root text of the router URL
    QString model;
    QString appFolder; // the app's own folder, absolute
};

// An agent's own report of the configuration it resolved, asked without a model call.
struct ReadBack
{
    QStringView arguments; // after the command, or after the launcher: words without quoting
    bool throughLauncher; // run as the launcher, so that its overlays apply
    bool (*agrees)(const QString &output, const QString &baseURL, const QString &model);
};

// Everything the product knows about one agent, but for what its card in the window shows.
struct AgentDescriptor
{
    AgentKind kind;
    QStringView title;
    QStringView packageFileName;
    QStringView command; // the agent's own executable
    QStringView versionFlag = u"--version";
    WireProtocol protocol; // in which it calls the relay's models
    // A setting of the user's that wins over what the app wrote; may be null.
    std::optional<AgentSettings::Override> (*detectOverride)(
        const UserFolders &folders, const QProcessEnvironment &shell)
        = nullptr;
    std::optional<ReadBack> readBack {}; // none: the agent offers no such report
    // The agent's launcher in ~/.local/bin; empty for Codex, which is connected through its
    // own files instead, and has none of the launcher's fields below.
    QStringView launcherName {};
    QStringView modelPrefix {}; // lower case; empty: the selected model as is
    // The launcher's export lines; the key is in "$velmora_key".
    QStringList (*exportLines)(const LauncherValues &values) = nullptr;
    // Options the launcher puts before the user's arguments; may be null.
    QString (*commandOptions)(const LauncherValues &values) = nullptr;
    std::optional<ProviderFile> providerFile {}; // written before the launcher
    // Writes the launcher's own files in the app's folder, first of all; may be null.
    void (*prepare)(const LauncherValues &values) = nullptr;
};

// Every row of the table, in the order of the window's cards.
std::span<const AgentDescriptor> agents();
const AgentDescriptor &descriptor(AgentKind kind);

// Shorthands of the table.
QString title(AgentKind kind);
QString packageFileName(AgentKind kind);
QString command(AgentKind kind);
QString modelPrefix(AgentKind kind);

// True when `rows` (a table keyed by kind) has exactly one row for each kind.
template <typename Row, std::size_t size> constexpr bool oneRowPerKind(const Row (&rows)[size])
{
    std::size_t seen[agentKindCount] {};
    for (const Row &row : rows) {
        if (row.kind >= AgentKind::count)
            return false;
        ++seen[std::size_t(row.kind)];
    }
    for (const std::size_t times : seen) {
        if (times != 1)
            return false;
    }
    return true;
}

Q_DECLARE_METATYPE(AgentKind)
