#pragma once

#include "agents/agentcheck.h"
#include "agents/agentkind.h"

#include <QString>
#include <array>
#include <optional>

// What the window keeps in memory between its operations and the command line, starting afresh
// each time, keeps in <app folder>/cli.json (mode 0600): the API root and account of the last
// sign-in, the channel group, model and effort of the last connect, and what each launcher agent
// was connected with, for its check. No key and no session is in it.
struct Memory
{
    QString apiRoot;
    QString email;
    std::optional<qint64> groupID;
    QString model;
    QString effort;
    std::array<std::optional<AgentCheck::Target>, agentKindCount> connections {};

    // An absent or unreadable file is an empty memory.
    static Memory load(const QString &appFolder);
    // Throws a Failure when the file cannot be written.
    void save(const QString &appFolder) const;
};

// The command line's name of each agent: codex, claude, gemini, kimi, opencode, crush.
QString agentName(AgentKind kind);
std::optional<AgentKind> agentNamed(const QString &name);
