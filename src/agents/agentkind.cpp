#include "agents/agentkind.h"

#include "agents/agenttexts.h"

QString title(AgentKind kind)
{
    switch (kind) {
    case AgentKind::claudeCode:
        return AgentTexts::claudeCodeTitle;
    case AgentKind::geminiCLI:
        return AgentTexts::geminiCLITitle;
    case AgentKind::kimiCode:
        return AgentTexts::kimiCodeTitle;
    case AgentKind::openCode:
        return AgentTexts::openCodeTitle;
    case AgentKind::deepSeek:
        return AgentTexts::deepSeekTitle;
    }
    return {};
}

QString wrapperName(AgentKind kind)
{
    switch (kind) {
    case AgentKind::claudeCode:
        return QStringLiteral("velmora-claude");
    case AgentKind::geminiCLI:
        return QStringLiteral("velmora-gemini");
    case AgentKind::kimiCode:
        return QStringLiteral("velmora-kimi");
    case AgentKind::openCode:
        return QStringLiteral("velmora-opencode");
    case AgentKind::deepSeek:
        return QStringLiteral("velmora-deepseek");
    }
    return {};
}

QString command(AgentKind kind)
{
    switch (kind) {
    case AgentKind::claudeCode:
        return QStringLiteral("claude");
    case AgentKind::geminiCLI:
        return QStringLiteral("gemini");
    case AgentKind::kimiCode:
        return QStringLiteral("kimi");
    case AgentKind::openCode:
        return QStringLiteral("opencode");
    case AgentKind::deepSeek:
        return QStringLiteral("crush");
    }
    return {};
}

QString modelPrefix(AgentKind kind)
{
    switch (kind) {
    case AgentKind::claudeCode:
        return QStringLiteral("claude-");
    case AgentKind::geminiCLI:
        return QStringLiteral("gemini-");
    case AgentKind::kimiCode:
        return QStringLiteral("kimi-");
    case AgentKind::openCode:
        return {}; // OpenCode always gets the selected model
    case AgentKind::deepSeek:
        return QStringLiteral("deepseek-");
    }
    return {};
}
