// ConnectState's construction, its published values and the busy discipline of its
// operations; the operations themselves are in connectstate.cpp.

#include "platform/connecterror.h"
#include "service/routerurl.h"
#include "service/servicetexts.h"
#include "state/connectstate.h"
#include "state/statetexts.h"

#include <algorithm>

namespace {

QList<RemoteModel> initialModels()
{
    const QString owner = ServiceTexts::defaultOwner;
    return { { QStringLiteral("gpt-5.6-sol"), owner }, { QStringLiteral("gpt-5.5"), owner },
        { QStringLiteral("gemini-2.0-flash"), owner }, { QStringLiteral("kimi-k3"), owner },
        { QStringLiteral("deepseek-v4-pro"), owner } };
}

// The notify signals of the agents' published flags. An agent that has none is followed
// through connectedChanged() alone.
struct PublishedFlag
{
    AgentKind kind;
    void (ConnectState::*changed)();
};
constexpr PublishedFlag publishedFlags[] = {
    { AgentKind::codex, &ConnectState::codexConnectedChanged },
    { AgentKind::claudeCode, &ConnectState::claudeCodeConnectedChanged },
    { AgentKind::geminiCLI, &ConnectState::geminiConnectedChanged },
    { AgentKind::kimiCode, &ConnectState::kimiConnectedChanged },
    { AgentKind::openCode, &ConnectState::openCodeConnectedChanged },
    { AgentKind::deepSeek, &ConnectState::deepSeekConnectedChanged },
};

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
    , m_keyStoreKind(Keychain::configuredKind(m_platform->folders().app()))
    , m_accountKey(StateTexts::anonymousAccount)
    , m_activeKeychainService(StateTexts::initialKeychainService)
    , m_tools(m_platform->toolTimeout())
    , m_relay(m_platform->transferTimeout())
    , m_download(m_relay.network())
{
    connect(&m_download, &InstallerDownload::progressed, this,
        [this](qint64 received, qint64 total) { setDownloadProgress(true, received, total); });
}

ConnectState::~ConnectState()
{
    // The relay client, destroyed next, ends the tasks still waiting; they find this expired.
    m_presence.reset();
}

void ConnectState::setDownloadProgress(bool downloading, qint64 received, qint64 total)
{
    m_downloading = downloading;
    m_downloadReceived = received;
    m_downloadTotal = total;
    Q_EMIT downloadProgressChanged();
}

void ConnectState::setConnected(AgentKind kind, bool value)
{
    m_connected[std::size_t(kind)] = value;
    // An earlier verdict was about files that were just replaced or removed.
    if (check(kind).stage != AgentCheckStatus::Stage::running)
        setCheck(kind, AgentCheckStatus::Stage::none, QString());
    for (const PublishedFlag &flag : publishedFlags) {
        if (flag.kind == kind)
            Q_EMIT(this->*flag.changed)();
    }
    Q_EMIT connectedChanged(kind);
}

Keychain::Store ConnectState::keyStore() const
{
    return { m_keyStoreKind, m_platform->securityTool(), m_platform->userName(),
        m_platform->folders().keys() };
}

Launchers::KeyringCommand ConnectState::launcherKeyring() const
{
    return m_keyStoreKind == Keychain::Store::Kind::file ? Launchers::KeyringCommand::file
                                                         : Launchers::hostKeyringCommand;
}

void ConnectState::restoreConnection(AgentKind kind, const AgentCheck::Target &target)
{
    m_checkTargets[std::size_t(kind)] = target;
    setConnected(kind, true);
}

// ---- The busy and activity discipline ----

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

ConnectState::BusyScope::BusyScope(ConnectState *state, const QString &progressText)
    : m_state(state)
    , m_presence(state->m_presence)
{
    m_state->setBusy(true);
    m_state->setActivity(progressText);
}

ConnectState::BusyScope::~BusyScope()
{
    if (!m_presence.expired())
        m_state->setBusy(false);
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

std::optional<QUrl> ConnectState::normalizedRouterURL() const
{
    return normalizeRouterURL(m_routerURL);
}

std::optional<QUrl> ConnectState::admitConfiguring(Operation operation)
{
    if (!admitWhileBusy(operation))
        return std::nullopt;
    const std::optional<QUrl> router = normalizedRouterURL();
    if (!m_authenticated || !router) {
        setActivity(StateTexts::signInFirst);
        return std::nullopt;
    }
    if (!m_selectedGroupID) {
        setActivity(StateTexts::chooseGroupFirst);
        return std::nullopt;
    }
    return router;
}

void ConnectState::keepSelectedModelListed()
{
    const bool listed = std::any_of(m_models.cbegin(), m_models.cend(),
        [this](const RemoteModel &model) { return model.id == m_selectedModel; });
    if (!listed && !m_models.isEmpty())
        setSelectedModel(m_models.first().id);
}
