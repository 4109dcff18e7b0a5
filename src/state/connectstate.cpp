#include "state/connectstate.h"

#include "agents/clearing.h"
#include "agents/codexconfiguration.h"
#include "agents/codexfiles.h"
#include "agents/connectionrecord.h"
#include "agents/desktopenvironment.h"
#include "agents/fileutils.h"
#include "agents/launcherconfiguration.h"
#include "agents/launchers.h"
#include "platform/connecterror.h"
#include "service/keychain.h"
#include "service/replies.h"
#include "service/routerurl.h"
#include "service/servicetexts.h"
#include "state/statetexts.h"

#include <QScopeGuard>
#include <algorithm>

namespace {

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

void ConnectState::recheckCodexInstalled()
{
    setCodexInstalled(m_platform->codexAppInstalled());
    setActivity(m_codexInstalled ? StateTexts::codexFound : StateTexts::codexMissing);
}

// ---- Sign-in ----

QCoro::Task<> ConnectState::login()
{
    if (!admitWhileBusy(Operation::login))
        co_return;
    const std::optional<QUrl> router = normalizedRouterURL();
    if (!router) {
        setActivity(StateTexts::invalidRouter);
        co_return;
    }
    // A password of blanks is a password; an address of blanks is none.
    if (m_username.trimmed().isEmpty() || m_password.isEmpty()) {
        setActivity(StateTexts::credentialsMissing);
        co_return;
    }
    const BusyScope busy(this, StateTexts::signingIn);
    const Presence self = m_presence;
    try {
        const QString email = m_username.trimmed();
        const QString token = co_await m_relay.signIn(*router, email, m_password);
        if (self.expired())
            co_return;
        m_accessToken = token;
        const RemoteAccount account = co_await m_relay.syncAccount(*router, m_accessToken);
        if (self.expired())
            co_return;

        adoptAccount(account);
    } catch (...) {
        if (self.expired())
            co_return;
        setAuthenticated(false);
        setActivity(StateTexts::loginFailed.arg(describe(std::current_exception())));
    }
}

QCoro::Task<> ConnectState::resumeSession(QString accessToken)
{
    if (!admitWhileBusy(Operation::login))
        co_return;
    const std::optional<QUrl> router = normalizedRouterURL();
    if (!router) {
        setActivity(StateTexts::invalidRouter);
        co_return;
    }
    const BusyScope busy(this, StateTexts::signingIn);
    const Presence self = m_presence;
    try {
        m_accessToken = accessToken;
        const RemoteAccount account = co_await m_relay.syncAccount(*router, m_accessToken);
        if (self.expired())
            co_return;
        adoptAccount(account);
    } catch (...) {
        if (self.expired())
            co_return;
        m_accessToken.clear();
        setAuthenticated(false);
        setActivity(StateTexts::loginFailed.arg(describe(std::current_exception())));
    }
}

void ConnectState::adoptAccount(const RemoteAccount &account)
{
    setGroups(account.groups);
    setSelectedGroupID(std::nullopt);
    if (m_groups.isEmpty())
        throw ConnectError(StateTexts::noGroups);
    m_accountKey = account.key;
    setModels(QList<RemoteModel>(m_models));
    keepSelectedModelListed();
    setAccountName(account.name);
    setAccountDetail(StateTexts::synced.arg(m_groups.size()));
    setPassword(QString());
    setAuthenticated(true);
    setActivity(StateTexts::signedIn);
}

// ---- The model list ----

QCoro::Task<> ConnectState::loadModels()
{
    const std::optional<QUrl> router = admitConfiguring(Operation::configureAgent);
    if (!router)
        co_return;
    const BusyScope busy(this, StateTexts::loadingModels);
    const Presence self = m_presence;
    try {
        const QString key = co_await resolveCodexToken(*router);
        if (self.expired())
            co_return;
        const QList<RemoteModel> listed = co_await m_relay.listModels(*router, key);
        if (self.expired())
            co_return;
        adoptModels(listed);
        setActivity(StateTexts::modelsLoaded.arg(m_models.size()));
    } catch (const StateGone &) {
        co_return;
    } catch (...) {
        if (!self.expired())
            setActivity(StateTexts::modelsFailed.arg(describe(std::current_exception())));
    }
}

// ---- The dedicated key ----

QCoro::Task<QString> ConnectState::resolveCodexToken(QUrl router)
{
    if (!m_selectedGroupID)
        throw ConnectError(StateTexts::groupMissing);
    const qint64 groupID = *m_selectedGroupID;
    m_activeKeychainService = Keychain::keychainService(router, m_accountKey, groupID);
    const Keychain::Store store = keyStore();
    const Presence self = m_presence;

    try {
        const QString stored = co_await Keychain::loadKey(m_tools, m_files, store, m_activeKeychainService);
        if (self.expired())
            throw StateGone();
        // An unusable item (stored by hand, say) is replaced by the relay's key.
        if (usableCredential(stored))
            co_return stored;
    } catch (const ToolFailed &failure) {
        // Only "no such item" means that the relay issues the key: a locked keyring, or a
        // look-up that did not finish, fails the operation rather than have a second key made.
        if (failure.exitStatus() != Keychain::itemNotFoundStatus)
            throw;
    }
    if (self.expired())
        throw StateGone();

    const QString key = co_await m_relay.issueKey(router, m_accessToken, m_tokenName, groupID);
    if (self.expired())
        throw StateGone();
    co_await Keychain::storeKey(m_tools, m_files, store, m_activeKeychainService, key);
    co_return key;
}

QCoro::Task<> ConnectState::loadKeyModels(QUrl router, QString key)
{
    const Presence self = m_presence;
    std::optional<QList<RemoteModel>> listed;
    try {
        listed = co_await m_relay.listModels(router, key);
    } catch (...) {
        // Without the key's model list the current list and selection stay.
    }
    if (!self.expired() && listed)
        adoptModels(*listed);
}

void ConnectState::adoptModels(const QList<RemoteModel> &listed)
{
    if (listed.isEmpty())
        return; // the current list and selection stay
    setModels(listed);
    keepSelectedModelListed();
}

QCoro::Task<> ConnectState::configureCodexFromAccount()
{
    const std::optional<QUrl> router = admitConfiguring(Operation::configureCodex);
    if (!router)
        co_return;
    const BusyScope busy(this, StateTexts::configuringCodex);
    const Presence self = m_presence;
    try {
        const QString key = co_await resolveCodexToken(*router);
        if (self.expired())
            co_return;
        const UserFolders folders = m_platform->folders();
        co_await rememberConnection(folders.codex);
        if (self.expired())
            co_return;

        co_await loadKeyModels(*router, key);
        if (self.expired())
            co_return;

        co_await Keychain::storeKey(m_tools, m_files, keyStore(), m_activeKeychainService, key);
        if (self.expired())
            co_return;
        const auto step = [folders, now = m_platform->currentTime(), router = *router,
                              model = m_selectedModel, effort = m_reasoningEffort, key,
                              service = m_activeKeychainService, keyring = launcherKeyring()] {
            // One backup directory for every file of this run.
            const QString backup = FileUtils::backupDirectory(folders.app(), now);
            CodexConfiguration(folders, backup).write(router, model, effort, key);
            DesktopEnvironment::writeFiles(folders.home, backup, service, keyring, folders.keys());
        };
        co_await m_files.run(step);
        if (self.expired())
            co_return;
        const DesktopEnvironment environment(
            folders.home, m_tools, m_platform->launchctlTool(), m_platform->userId());
        co_await environment.load(key);
        if (self.expired())
            co_return;
        setCodexFilesWritten(true);
        setConnected(AgentKind::codex, true);
        setActivity(StateTexts::codexConfigured);
    } catch (const StateGone &) {
        co_return;
    } catch (...) {
        if (!self.expired())
            setActivity(StateTexts::codexFailed.arg(describe(std::current_exception())));
    }
}

// ---- The launcher agents ----

QCoro::Task<> ConnectState::configureAgent(AgentKind kind)
{
    if (kind == AgentKind::codex) {
        co_await configureCodexFromAccount();
        co_return;
    }
    const std::optional<QUrl> router = admitConfiguring(Operation::configureAgent);
    if (!router)
        co_return;
    const BusyScope busy(this, StateTexts::configuring.arg(title(kind)));
    const Presence self = m_presence;
    try {
        // The launcher reads the key from the keychain itself; resolving only makes sure that
        // it is stored there, under the name the launcher will carry.
        const QString key = co_await resolveCodexToken(*router);
        if (self.expired())
            co_return;
        // The agent's model is one the relay serves for this key.
        co_await loadKeyModels(*router, key);
        if (self.expired())
            co_return;
        co_await rememberConnection(std::nullopt);
        if (self.expired())
            co_return;
        const QString model = Launchers::preferredModel(kind, modelIDs(m_models), m_selectedModel);
        const auto step
            = [folders = m_platform->folders(), now = m_platform->currentTime(), kind, router = *router,
                  service = m_activeKeychainService, model, keyring = launcherKeyring()] {
                  LauncherConfiguration(folders, now).write(kind, router, service, model, keyring);
              };
        co_await m_files.run(step);
        if (self.expired())
            co_return;
        m_checkTargets[std::size_t(kind)]
            = AgentCheck::Target { *router, m_activeKeychainService, model, launcherKeyring() };
        setConnected(kind, true);
        setActivity(StateTexts::agentConnected.arg(title(kind)));
    } catch (const StateGone &) {
        co_return;
    } catch (...) {
        if (!self.expired())
            setActivity(StateTexts::configureFailed.arg(describe(std::current_exception())));
    }
}

// ---- Clearing ----

QCoro::Task<> ConnectState::rememberConnection(std::optional<QString> codexFolder)
{
    const auto step = [home = m_platform->folders().home, service = m_activeKeychainService, codexFolder] {
        ConnectionRecord::remember(home, service, codexFolder);
    };
    co_await m_files.run(step);
}

QCoro::Task<> ConnectState::clearConfiguration()
{
    if (!admitWhileBusy(Operation::clearConfiguration))
        co_return;
    const BusyScope busy(this, StateTexts::clearing);
    const Presence self = m_presence;

    const UserFolders folders = m_platform->folders();
    struct Cleared
    {
        QString backup;
        ConnectionRecord record;
    };
    std::optional<Cleared> files;
    try {
        const auto step = [folders, now = m_platform->currentTime()] {
            Cleared cleared { FileUtils::backupDirectory(folders.app(), now),
                ConnectionRecord::read(folders.home) };
            clearCodexFolders(folders, cleared.record.codexFolders, cleared.backup);
            return cleared;
        };
        files = co_await m_files.run(step);
    } catch (...) {
        // The user stays signed in; whatever was already backed up or removed stays so.
        if (!self.expired())
            setActivity(StateTexts::clearFailed.arg(describe(std::current_exception())));
        co_return;
    }
    if (self.expired())
        co_return;

    // From here on every step is attempted, and the first failure is reported once all have
    // run; nothing to delete, a job that is not loaded or a missing file is no failure. The
    // key of the group connected last goes (remembered across restarts), then the two names of
    // the earlier host-and-port scheme; the keys of other groups stay, for their launchers.
    std::exception_ptr failure;
    const DeploymentValues deployment = m_platform->deployment();
    QStringList services { m_activeKeychainService, files->record.keychainService,
        Keychain::legacyKeychainService(QUrl(deployment.defaultApiRoot).host()),
        Keychain::legacyKeychainService(deployment.legacyApiHost) };
    services.removeAll(QString());
    services.removeDuplicates();
    const Keychain::Store store = keyStore();
    // The file store's keys of these names go with the files below, whichever store is chosen.
    const QStringList keyringItems = store.kind == Keychain::Store::Kind::keyring ? services : QStringList();
    for (const QString &service : keyringItems) {
        try {
            co_await Keychain::deleteKey(m_tools, m_files, store, service);
        } catch (const ToolsClosed &) {
            co_return;
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        if (self.expired())
            co_return;
    }
    const DesktopEnvironment environment(
        folders.home, m_tools, m_platform->launchctlTool(), m_platform->userId());
    try {
        co_await environment.unload();
    } catch (const ToolsClosed &) {
        co_return;
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (self.expired())
        co_return;
    try {
        // The record goes last, once everything it points to is cleared.
        const auto step = [folders, backup = files->backup, services, complete = !failure] {
            std::exception_ptr failure;
            try {
                Keychain::removeKeyFiles(folders.keys(), services);
            } catch (...) {
                failure = std::current_exception();
            }
            DesktopEnvironment::removeFiles(folders.home, backup, folders.keys());
            if (failure)
                std::rethrow_exception(failure);
            if (complete)
                ConnectionRecord::remove(folders.home, backup);
        };
        co_await m_files.run(step);
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (self.expired())
        co_return;
    if (failure) {
        setActivity(StateTexts::clearFailed.arg(describe(failure)));
        co_return;
    }

    m_accessToken.clear();
    setGroups({});
    setSelectedGroupID(std::nullopt);
    setAuthenticated(false);
    m_checkTargets = {};
    setCodexFilesWritten(false); // config.toml is gone
    for (const AgentDescriptor &agent : agents())
        setConnected(agent.kind, false);
    setAccountName(StateTexts::signedOutName);
    setAccountDetail(StateTexts::clearedDetail);
    setActivity(StateTexts::cleared);
}

// ---- Installer downloads ----

QCoro::Task<> ConnectState::download(OfficialInstaller installer, bool timeStamped)
{
    if (!admitWhileBusy(Operation::download))
        co_return;
    if (m_platform->downloadsPath().isEmpty()) {
        setActivity(StateTexts::downloadFailed.arg(StateTexts::noDownloadsDirectory));
        co_return;
    }
    const BusyScope busy(
        this, timeStamped ? StateTexts::downloadingCodex : StateTexts::downloading.arg(title(installer)));
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
        const QString refused = timeStamped ? StateTexts::codexNotPublished : StateTexts::notPublished;
        const InstallerDownload::Request request { url, m_platform->downloadsPath(), fileName, !timeStamped,
            refused, m_platform->downloadStallTimeout() };
        setDownloadProgress(true, 0, -1);
        const QString saved = co_await m_download.run(request);
        if (self.expired())
            co_return;
        m_platform->openFile(saved);
        setActivity(timeStamped ? StateTexts::codexOpened : StateTexts::opened.arg(title(installer)));
    } catch (...) {
        if (!self.expired())
            setActivity(StateTexts::downloadFailed.arg(describe(std::current_exception())));
    }
}
