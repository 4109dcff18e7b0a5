#include "state/connectstate.h"

#include "agents/agenttexts.h"
#include "agents/clearing.h"
#include "agents/codexconfiguration.h"
#include "agents/codexfiles.h"
#include "agents/desktopenvironment.h"
#include "agents/fileutils.h"
#include "agents/launcherconfiguration.h"
#include "agents/launchers.h"
#include "installers/installertexts.h"
#include "platform/connecterror.h"
#include "service/keychain.h"
#include "service/provisioningtexts.h"
#include "service/replies.h"
#include "service/routerurl.h"
#include "service/servicetexts.h"
#include "state/statetexts.h"

#include <QScopeGuard>
#include <algorithm>

namespace {

QList<RemoteModel> initialModels()
{
    const QString owner = StateTexts::defaultOwner;
    return { { QStringLiteral("gpt-5.6-sol"), owner }, { QStringLiteral("gpt-5.5"), owner },
        { QStringLiteral("gemini-2.0-flash"), owner }, { QStringLiteral("kimi-k3"), owner },
        { QStringLiteral("deepseek-v4-pro"), owner } };
}

// "Codex-2026-12-05T12-40-10Z.dmg": the time in UTC, ISO 8601 without fractions, ":" → "-".
QString codexFileName(const QDateTime &now)
{
    return QStringLiteral("Codex-") + now.toUTC().toString(Qt::ISODate).replace(u':', u'-')
        + QStringLiteral(".dmg");
}

QStringList modelIDs(const QList<RemoteModel> &models)
{
    QStringList ids;
    ids.reserve(models.size());
    for (const RemoteModel &model : models)
        ids.append(model.id);
    return ids;
}

// The state went away while a request was in flight; nobody is left to report to.
class StateGone : public std::exception
{
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

const ConnectState::ConnectedFlag &ConnectState::connectedFlag(AgentKind kind)
{
    static const ConnectedFlag flags[] = {
        { AgentKind::claudeCode, &ConnectState::m_claudeCodeConnected,
            &ConnectState::claudeCodeConnectedChanged },
        { AgentKind::geminiCLI, &ConnectState::m_geminiConnected, &ConnectState::geminiConnectedChanged },
        { AgentKind::kimiCode, &ConnectState::m_kimiConnected, &ConnectState::kimiConnectedChanged },
        { AgentKind::openCode, &ConnectState::m_openCodeConnected, &ConnectState::openCodeConnectedChanged },
        { AgentKind::deepSeek, &ConnectState::m_deepSeekConnected, &ConnectState::deepSeekConnectedChanged },
    };
    return *std::find_if(std::begin(flags), std::end(flags),
        [kind](const ConnectedFlag &entry) { return entry.kind == kind; });
}

bool ConnectState::connected(AgentKind kind) const
{
    return this->*connectedFlag(kind).flag;
}

void ConnectState::setConnected(AgentKind kind, bool value)
{
    const ConnectedFlag &entry = connectedFlag(kind);
    this->*entry.flag = value;
    Q_EMIT(this->*entry.changed)();
}

void ConnectState::setTokenName(const QString &value)
{
    m_tokenName = value;
    Q_EMIT tokenNameChanged();
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

void ConnectState::beginBusy(const QString &progressText)
{
    setBusy(true);
    setActivity(progressText);
}

ConnectState::BusyScope::BusyScope(ConnectState *state)
    : m_state(state)
    , m_presence(state->m_presence)
{
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

QString ConnectState::backupDirectory() const
{
    return FileUtils::backupDirectory(m_platform->folders().app(), m_platform->currentTime());
}

void ConnectState::keepSelectedModelListed()
{
    const bool listed = std::any_of(m_models.cbegin(), m_models.cend(),
        [this](const RemoteModel &model) { return model.id == m_selectedModel; });
    if (!listed && !m_models.isEmpty())
        setSelectedModel(m_models.first().id);
}

void ConnectState::recheckCodexInstalled()
{
    setCodexInstalled(m_platform->codexAppInstalled());
    setActivity(m_codexInstalled ? StateTexts::codexFound : StateTexts::codexMissing);
}

// ---- Sign-in ----

void ConnectState::login()
{
    if (!admitWhileBusy(Operation::login))
        return;
    const std::optional<QUrl> router = normalizedRouterURL();
    if (!router) {
        setActivity(ServiceTexts::invalidRouter);
        return;
    }
    // A password of blanks is a password; an address of blanks is none.
    if (m_username.trimmed().isEmpty() || m_password.isEmpty()) {
        setActivity(ServiceTexts::credentialsMissing);
        return;
    }
    beginBusy(ServiceTexts::signingIn);
    loginTask(*router);
}

QCoro::Task<> ConnectState::loginTask(QUrl router)
{
    BusyScope scope(this);
    const Presence self = m_presence;
    try {
        const QString email = m_username.trimmed();
        const QString token = co_await m_relay.signIn(router, email, m_password);
        if (self.expired())
            co_return;
        m_accessToken = token;
        const RemoteAccount account = co_await m_relay.syncAccount(router, m_accessToken);
        if (self.expired())
            co_return;

        setGroups(account.groups);
        setSelectedGroupID(std::nullopt);
        if (m_groups.isEmpty())
            throw ConnectError(ServiceTexts::noGroups);
        m_accountKey = account.key;
        setModels(QList<RemoteModel>(m_models));
        keepSelectedModelListed();
        setAccountName(account.name);
        setAccountDetail(syncedAccountDetail(m_groups.size()));
        setPassword(QString());
        setAuthenticated(true);
        setActivity(ServiceTexts::signedIn);
    } catch (...) {
        if (self.expired())
            co_return;
        setAuthenticated(false);
        setActivity(ServiceTexts::loginFailed + describe(std::current_exception()));
    }
}

// ---- The dedicated key ----

QCoro::Task<QString> ConnectState::resolveCodexToken(QUrl router)
{
    if (!m_selectedGroupID)
        throw ConnectError(ProvisioningTexts::groupMissing);
    const qint64 groupID = *m_selectedGroupID;
    m_activeKeychainService = Keychain::keychainService(router, m_accountKey, groupID);
    const QString security = m_platform->securityTool();
    const QString user = m_platform->userName();
    const Presence self = m_presence;

    try {
        const QString stored = co_await Keychain::loadKey(m_tools, security, user, m_activeKeychainService);
        if (self.expired())
            throw StateGone();
        // An unusable item (stored by hand, say) is replaced by the relay's key.
        if (usableCredential(stored))
            co_return stored;
    } catch (const Failure &) {
        // No item (or an unreadable one): the relay issues the key.
    }
    if (self.expired())
        throw StateGone();

    const QString key = co_await m_relay.issueKey(router, m_accessToken, m_tokenName, groupID);
    if (self.expired())
        throw StateGone();
    co_await Keychain::storeKey(m_tools, security, user, m_activeKeychainService, key);
    co_return key;
}

void ConnectState::configureCodexFromAccount()
{
    if (!admitWhileBusy(Operation::configureCodex))
        return;
    const std::optional<QUrl> router = normalizedRouterURL();
    if (!m_authenticated || !router) {
        setActivity(ProvisioningTexts::signInFirst);
        return;
    }
    if (!m_selectedGroupID) {
        setActivity(ProvisioningTexts::chooseGroupFirst);
        return;
    }
    beginBusy(ProvisioningTexts::configuringCodex);
    configureCodexTask(*router);
}

QCoro::Task<> ConnectState::configureCodexTask(QUrl router)
{
    BusyScope scope(this);
    const Presence self = m_presence;
    try {
        const QString key = co_await resolveCodexToken(router);
        if (self.expired())
            co_return;

        std::optional<QList<RemoteModel>> listed;
        try {
            listed = co_await m_relay.listModels(router, key);
        } catch (...) {
            // Without the key's model list the current list and selection stay.
        }
        if (self.expired())
            co_return;
        if (listed && !listed->isEmpty()) {
            setModels(*listed);
            keepSelectedModelListed();
        }

        const UserFolders folders = m_platform->folders();
        co_await Keychain::storeKey(
            m_tools, m_platform->securityTool(), m_platform->userName(), m_activeKeychainService, key);
        if (self.expired())
            co_return;
        const QString backup = backupDirectory(); // one directory for every file of this run
        CodexConfiguration(folders, backup).write(router, m_selectedModel, m_reasoningEffort, key);
        const DesktopEnvironment environment(
            folders.home, m_tools, m_platform->launchctlTool(), m_platform->userId());
        co_await environment.install(backup, m_activeKeychainService, key);
        if (self.expired())
            co_return;
        setCodexConnected(true);
        setActivity(ProvisioningTexts::codexConfigured);
    } catch (const StateGone &) {
        co_return;
    } catch (...) {
        if (!self.expired())
            setActivity(ProvisioningTexts::codexFailurePrefix + describe(std::current_exception()));
    }
}

// ---- The launcher agents ----

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

void ConnectState::configureAgent(AgentKind kind)
{
    if (!admitWhileBusy(Operation::configureAgent))
        return;
    const std::optional<QUrl> router = normalizedRouterURL();
    if (!m_authenticated || !router) {
        setActivity(AgentTexts::signInFirst);
        return;
    }
    if (!m_selectedGroupID) {
        setActivity(AgentTexts::chooseGroupFirst);
        return;
    }
    beginBusy(AgentTexts::configuringPrefix + title(kind) + AgentTexts::configuringSuffix);
    configureAgentTask(kind, *router);
}

QCoro::Task<> ConnectState::configureAgentTask(AgentKind kind, QUrl router)
{
    BusyScope scope(this);
    const Presence self = m_presence;
    try {
        // The launcher reads the key from the keychain itself; resolving only makes sure that
        // it is stored there, under the name the launcher will carry.
        co_await resolveCodexToken(router);
        if (self.expired())
            co_return;
        LauncherConfiguration(m_platform->folders(), m_platform->currentTime())
            .write(kind, router, m_activeKeychainService,
                Launchers::preferredModel(kind, modelIDs(m_models), m_selectedModel));
        setConnected(kind, true);
        setActivity(title(kind) + AgentTexts::connectedSuffix);
    } catch (const StateGone &) {
        co_return;
    } catch (...) {
        if (!self.expired())
            setActivity(AgentTexts::configureFailedPrefix + describe(std::current_exception()));
    }
}

// ---- Clearing ----

void ConnectState::clearConfiguration()
{
    if (!admitWhileBusy(Operation::clearConfiguration))
        return;
    beginBusy(AgentTexts::clearing);
    clearTask();
}

QCoro::Task<> ConnectState::clearTask()
{
    BusyScope scope(this);
    const Presence self = m_presence;

    const UserFolders folders = m_platform->folders();
    const QString backup = backupDirectory();
    try {
        CodexFilesClearing(folders, backup).run();
    } catch (...) {
        // The user stays signed in; whatever was already backed up or removed stays so.
        setActivity(AgentTexts::clearFailedPrefix + describe(std::current_exception()));
        co_return;
    }

    // From here on every step is attempted and a failure (nothing to delete, a job that is
    // not loaded, a missing file) goes unreported. The current key's item goes, then the item
    // of each channel group of the account at this router, then the two names of the earlier
    // host-and-port scheme; each name once.
    QStringList services { m_activeKeychainService };
    // Not the current name alone: after a restart it is the initial one, and the key stayed behind.
    if (const std::optional<QUrl> router = normalizedRouterURL()) {
        for (const RemoteGroup &group : m_groups)
            services.append(Keychain::keychainService(*router, m_accountKey, group.id));
    }
    const DeploymentValues deployment = m_platform->deployment();
    services << Keychain::legacyKeychainService(QUrl(deployment.defaultApiRoot).host())
             << Keychain::legacyKeychainService(deployment.legacyApiHost);
    services.removeDuplicates();
    const QString security = m_platform->securityTool();
    const QString user = m_platform->userName();
    for (const QString &service : std::as_const(services)) {
        try {
            co_await Keychain::deleteKey(m_tools, security, user, service);
        } catch (...) {
        }
        if (self.expired())
            co_return;
    }
    const DesktopEnvironment environment(
        folders.home, m_tools, m_platform->launchctlTool(), m_platform->userId());
    try {
        co_await environment.remove(backup);
    } catch (...) {
        // Only when the state is going away: removing fails on nothing else.
    }
    if (self.expired())
        co_return;

    m_accessToken.clear();
    setGroups({});
    setSelectedGroupID(std::nullopt);
    setAuthenticated(false);
    setCodexConnected(false);
    for (AgentKind kind : allAgentKinds)
        setConnected(kind, false);
    setAccountName(AgentTexts::clearedAccountName);
    setAccountDetail(AgentTexts::clearedAccountDetail);
    setActivity(AgentTexts::cleared);
}

// ---- Installer downloads ----

void ConnectState::openOfficialInstaller(OfficialInstaller installer)
{
    if (!admitWhileBusy(Operation::download))
        return;
    if (m_platform->downloadsPath().isEmpty()) {
        setActivity(InstallerTexts::failurePrefix + InstallerTexts::noDownloadsDirectory);
        return;
    }
    beginBusy(InstallerTexts::downloading(title(installer)));
    downloadTask(installer, false);
}

void ConnectState::downloadCodex()
{
    if (!admitWhileBusy(Operation::download))
        return;
    if (m_platform->downloadsPath().isEmpty()) {
        setActivity(InstallerTexts::failurePrefix + InstallerTexts::noDownloadsDirectory);
        return;
    }
    beginBusy(InstallerTexts::downloadingCodex);
    downloadTask(OfficialInstaller::codex, true);
}

QCoro::Task<> ConnectState::downloadTask(OfficialInstaller installer, bool timeStamped)
{
    BusyScope scope(this);
    const Presence self = m_presence;
    // Declared after the busy scope so that the progress is reset before busy is cleared.
    auto progressReset = qScopeGuard([this, self] {
        if (!self.expired())
            setDownloadProgress(false, 0, -1);
    });

    try {
        const QString package = packageFileName(installer);
        // An agent package replaces the earlier download of the same name; the time-stamped
        // Codex package never replaces anything, so a name taken makes the move fail.
        const QUrl url = installerUrl(m_platform->deployment().downloadServer, package);
        // The time stamp is the moment the package is saved, once the transfer has finished.
        const auto fileName = [platform = m_platform, package, timeStamped] {
            return timeStamped ? codexFileName(platform->currentTime()) : package;
        };
        const QString refused
            = timeStamped ? InstallerTexts::codexNotPublished : InstallerTexts::notPublished;
        const InstallerDownload::Request request { url, m_platform->downloadsPath(), fileName, !timeStamped,
            refused, m_platform->downloadStallTimeout() };
        setDownloadProgress(true, 0, -1);
        const QString saved = co_await m_download.run(request);
        if (self.expired())
            co_return;
        m_platform->openFile(saved);
        setActivity(timeStamped ? InstallerTexts::codexOpened : InstallerTexts::opened(title(installer)));
    } catch (...) {
        if (!self.expired())
            setActivity(InstallerTexts::failurePrefix + describe(std::current_exception()));
    }
}
