#pragma once

#include <QString>

// The five agents connected through a launcher script.
enum class AgentKind { claudeCode, geminiCLI, kimiCode, openCode, deepSeek };

inline constexpr AgentKind allAgentKinds[] = { AgentKind::claudeCode, AgentKind::geminiCLI,
    AgentKind::kimiCode, AgentKind::openCode, AgentKind::deepSeek };

// "Claude Code", …, "DeepSeek Agent（Crush）".
QString title(AgentKind kind);
// The launcher's file name in ~/.local/bin.
QString wrapperName(AgentKind kind);
// The agent's own executable name.
QString command(AgentKind kind);
// The lower-case model prefix that preferredModel looks for; empty for OpenCode.
QString modelPrefix(AgentKind kind);
