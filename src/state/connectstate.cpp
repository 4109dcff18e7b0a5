#include "state/connectstate.h"

#include "platform/connecterror.h"
#include "state/statetexts.h"

namespace {

QList<RemoteModel> initialModels()
{
    const QString owner = StateTexts::defaultOwner;
    return { { QStringLiteral("gpt-5.6-sol"), owner }, { QStringLiteral("gpt-5.5"), owner },
        { QStringLiteral("gemini-2.0-flash"), owner }, { QStringLiteral("kimi-k3"), owner },
        { QStringLiteral("deepseek-v4-pro"), owner } };
}

} // namespace

ConnectState::ConnectState(std::shared_ptr<Platform> platform, QObject *parent)
    : QObject(parent)
    , m_platform(std::move(platform))
    , m_routerURL(m_platform->deployment().defaultApiRoot)
    , m_selectedModel(StateTexts::defaultModel)
    , m_reasoningEffort(StateTexts::defaultEffort)
    , m_models(initialModels())
    , m_accountName(StateTexts::signedOutName)
    , m_accountDetail(StateTexts::signedOutDetail)
    , m_activity(StateTexts::ready)
    , m_tokenName(StateTexts::defaultTokenName)
    , m_codexInstalled(m_platform->codexAppInstalled()) // the one probe of the file system
    , m_accountKey(StateTexts::anonymousAccount)
    , m_activeKeychainService(StateTexts::initialKeychainService)
{
    m_network.setAutoDeleteReplies(false);
}

ConnectState::~ConnectState() = default;

#define VELMORA_ASSIGN(member, value, signal)                                                                \
    do {                                                                                                     \
        member = value;                                                                                      \
        Q_EMIT signal();                                                                                     \
    } while (false)

void ConnectState::setRouterURL(const QString &value)
{
    VELMORA_ASSIGN(m_routerURL, value, routerURLChanged);
}
void ConnectState::setUsername(const QString &value)
{
    VELMORA_ASSIGN(m_username, value, usernameChanged);
}
void ConnectState::setPassword(const QString &value)
{
    VELMORA_ASSIGN(m_password, value, passwordChanged);
}
void ConnectState::setSelectedModel(const QString &value)
{
    VELMORA_ASSIGN(m_selectedModel, value, selectedModelChanged);
}
void ConnectState::setReasoningEffort(const QString &value)
{
    VELMORA_ASSIGN(m_reasoningEffort, value, reasoningEffortChanged);
}
void ConnectState::setSelectedGroupID(std::optional<qint64> value)
{
    VELMORA_ASSIGN(m_selectedGroupID, value, selectedGroupIDChanged);
}
void ConnectState::setModels(const QList<RemoteModel> &value)
{
    VELMORA_ASSIGN(m_models, value, modelsChanged);
}
void ConnectState::setGroups(const QList<RemoteGroup> &value)
{
    VELMORA_ASSIGN(m_groups, value, groupsChanged);
}
void ConnectState::setAccountName(const QString &value)
{
    VELMORA_ASSIGN(m_accountName, value, accountNameChanged);
}
void ConnectState::setAccountDetail(const QString &value)
{
    VELMORA_ASSIGN(m_accountDetail, value, accountDetailChanged);
}
void ConnectState::setActivity(const QString &value)
{
    VELMORA_ASSIGN(m_activity, value, activityChanged);
}
void ConnectState::setBusy(bool value)
{
    VELMORA_ASSIGN(m_busy, value, busyChanged);
}
void ConnectState::setAuthenticated(bool value)
{
    VELMORA_ASSIGN(m_authenticated, value, authenticatedChanged);
}
void ConnectState::setCodexConnected(bool value)
{
    VELMORA_ASSIGN(m_codexConnected, value, codexConnectedChanged);
}
void ConnectState::setClaudeCodeConnected(bool value)
{
    VELMORA_ASSIGN(m_claudeCodeConnected, value, claudeCodeConnectedChanged);
}
void ConnectState::setGeminiConnected(bool value)
{
    VELMORA_ASSIGN(m_geminiConnected, value, geminiConnectedChanged);
}
void ConnectState::setKimiConnected(bool value)
{
    VELMORA_ASSIGN(m_kimiConnected, value, kimiConnectedChanged);
}
void ConnectState::setOpenCodeConnected(bool value)
{
    VELMORA_ASSIGN(m_openCodeConnected, value, openCodeConnectedChanged);
}
void ConnectState::setDeepSeekConnected(bool value)
{
    VELMORA_ASSIGN(m_deepSeekConnected, value, deepSeekConnectedChanged);
}
void ConnectState::setCodexInstalled(bool value)
{
    VELMORA_ASSIGN(m_codexInstalled, value, codexInstalledChanged);
}

#undef VELMORA_ASSIGN

void ConnectState::setDownloadProgress(bool downloading, qint64 received, qint64 total)
{
    m_downloading = downloading;
    m_downloadReceived = received;
    m_downloadTotal = total;
    Q_EMIT downloadProgressChanged();
}

bool ConnectState::connected(AgentKind kind) const
{
    switch (kind) {
    case AgentKind::claudeCode:
        return m_claudeCodeConnected;
    case AgentKind::geminiCLI:
        return m_geminiConnected;
    case AgentKind::kimiCode:
        return m_kimiConnected;
    case AgentKind::openCode:
        return m_openCodeConnected;
    case AgentKind::deepSeek:
        return m_deepSeekConnected;
    }
    return false;
}

void ConnectState::setConnected(AgentKind kind, bool value)
{
    switch (kind) {
    case AgentKind::claudeCode:
        return setClaudeCodeConnected(value);
    case AgentKind::geminiCLI:
        return setGeminiConnected(value);
    case AgentKind::kimiCode:
        return setKimiConnected(value);
    case AgentKind::openCode:
        return setOpenCodeConnected(value);
    case AgentKind::deepSeek:
        return setDeepSeekConnected(value);
    }
}

bool ConnectState::admitWhileBusy(Operation operation)
{
    if (!m_busy)
        return true;
    switch (operation) {
    case Operation::login:
    case Operation::download:
        return true; // no guard: the window disables their buttons instead
    case Operation::configureCodex:
    case Operation::configureAgent:
        setActivity(StateTexts::stillBusy);
        return false;
    case Operation::clearConfiguration:
        return false; // silently
    }
    return false;
}

void ConnectState::beginBusy(const QString &progressText)
{
    setBusy(true);
    setActivity(progressText);
}

ConnectState::BusyScope ConnectState::busyScope()
{
    return BusyScope(this);
}

QString ConnectState::describe(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Failure &failure) {
        return failure.description();
    } catch (const std::exception &other) {
        return QString::fromUtf8(other.what());
    } catch (...) {
        return StateTexts::unknownFailure;
    }
}

void ConnectState::recheckCodexInstalled()
{
    setCodexInstalled(m_platform->codexAppInstalled());
    setActivity(m_codexInstalled ? StateTexts::codexFound : StateTexts::codexMissing);
}
