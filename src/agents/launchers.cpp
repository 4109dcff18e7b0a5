#include "service/connecterror.h"
#include "state/connectstate.h"

void ConnectState::configureClaudeCode()
{
    configureAgent(AgentKind::claudeCode);
}
void ConnectState::configureGeminiCLI()
{
    configureAgent(AgentKind::geminiCLI);
}
void ConnectState::configureKimiCode()
{
    configureAgent(AgentKind::kimiCode);
}
void ConnectState::configureOpenCode()
{
    configureAgent(AgentKind::openCode);
}
void ConnectState::configureDeepSeekAgent()
{
    configureAgent(AgentKind::deepSeek);
}

void ConnectState::configureAgent(AgentKind)
{
}

QCoro::Task<> ConnectState::configureAgentTask(AgentKind, QUrl)
{
    co_return;
}

void ConnectState::configureAgentWrapper(AgentKind, const QUrl &)
{
}

QString ConnectState::preferredModel(AgentKind) const
{
    return m_selectedModel;
}

QString title(AgentKind)
{
    return {};
}

QString wrapperName(AgentKind)
{
    return {};
}

QString command(AgentKind)
{
    return {};
}

QString modelPrefix(AgentKind)
{
    return {};
}
