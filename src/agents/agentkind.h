#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <optional>

// The five agents connected through a launcher script.
enum class AgentKind { claudeCode, geminiCLI, kimiCode, openCode, deepSeek };

inline constexpr AgentKind allAgentKinds[] = { AgentKind::claudeCode, AgentKind::geminiCLI,
    AgentKind::kimiCode, AgentKind::openCode, AgentKind::deepSeek };

// The six installer packages on the download server.
enum class OfficialInstaller { codex, claudeCode, geminiCLI, kimiCode, openCode, deepSeek };

// An agent's own JSON configuration file that receives the relay's provider entry.
struct ProviderFile
{
    QString directory; // under the configuration folder ($XDG_CONFIG_HOME or ~/.config)
    QString fileName;
    QJsonObject (*merge)(QJsonObject config, const QString &baseURL, const QString &model);
};

// What a launcher is written from.
struct LauncherValues
{
    QString root; // the root text of the router URL
    QString model;
    QString appFolder; // the app's own folder, absolute
};

// Everything the product knows about one agent.
struct AgentDescriptor
{
    OfficialInstaller installer;
    std::optional<AgentKind> kind {}; // none: Codex, which has no launcher
    QString title;
    QString packageFileName;
    QString launcherName {}; // in ~/.local/bin
    QString command {}; // the agent's own executable
    QString modelPrefix {}; // lower case; empty: the selected model as is
    // The launcher's export lines; the key is in "$velmora_key".
    QStringList (*exportLines)(const LauncherValues &values) = nullptr;
    // Options the launcher puts before the user's arguments; may be null.
    QString (*commandOptions)(const LauncherValues &values) = nullptr;
    std::optional<ProviderFile> providerFile {}; // written before the launcher
    // Writes the launcher's own files in the app's folder, first of all; may be null.
    void (*prepare)(const LauncherValues &values) = nullptr;
};

const AgentDescriptor &descriptor(OfficialInstaller installer);
const AgentDescriptor &descriptor(AgentKind kind);

// Shorthands of the table.
QString title(AgentKind kind);
QString command(AgentKind kind);
QString modelPrefix(AgentKind kind);
QString title(OfficialInstaller installer);
QString packageFileName(OfficialInstaller installer);

Q_DECLARE_METATYPE(OfficialInstaller)
