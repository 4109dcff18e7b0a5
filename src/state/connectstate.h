#pragma once

#include "agents/agentcheck.h"
#include "agents/agentkind.h"
#include "installers/installerdownload.h"
#include "platform/execute.h"
#include "platform/fileworker.h"
#include "platform/platform.h"
#include "service/keychain.h"
#include "service/relayclient.h"
#include "service/remote.h"

#include <QCoro/QCoroTask>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <array>
#include <chrono>
#include <memory>
#include <optional>

// The state and controller of one window: everything the window shows, the service
// session, and every operation the window starts. Confined to the GUI thread.
class ConnectState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString routerURL READ routerURL WRITE setRouterURL NOTIFY routerURLChanged)
    Q_PROPERTY(QString username READ username WRITE setUsername NOTIFY usernameChanged)
    Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged)
    Q_PROPERTY(QString selectedModel READ selectedModel WRITE setSelectedModel NOTIFY selectedModelChanged)
    Q_PROPERTY(
        QString reasoningEffort READ reasoningEffort WRITE setReasoningEffort NOTIFY reasoningEffortChanged)
    Q_PROPERTY(QList<RemoteModel> models READ models NOTIFY modelsChanged)
    Q_PROPERTY(QList<RemoteGroup> groups READ groups NOTIFY groupsChanged)
    Q_PROPERTY(std::optional<qint64> selectedGroupID READ selectedGroupID WRITE setSelectedGroupID NOTIFY
            selectedGroupIDChanged)
    Q_PROPERTY(QString accountName READ accountName NOTIFY accountNameChanged)
    Q_PROPERTY(QString accountDetail READ accountDetail NOTIFY accountDetailChanged)
    Q_PROPERTY(QString activity READ activity NOTIFY activityChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(bool authenticated READ authenticated NOTIFY authenticatedChanged)
    Q_PROPERTY(QString tokenName READ tokenName NOTIFY tokenNameChanged)
    Q_PROPERTY(bool codexConnected READ codexConnected NOTIFY codexConnectedChanged)
    Q_PROPERTY(bool claudeCodeConnected READ claudeCodeConnected NOTIFY claudeCodeConnectedChanged)
    Q_PROPERTY(bool geminiConnected READ geminiConnected NOTIFY geminiConnectedChanged)
    Q_PROPERTY(bool kimiConnected READ kimiConnected NOTIFY kimiConnectedChanged)
    Q_PROPERTY(bool openCodeConnected READ openCodeConnected NOTIFY openCodeConnectedChanged)
    Q_PROPERTY(bool deepSeekConnected READ deepSeekConnected NOTIFY deepSeekConnectedChanged)
    Q_PROPERTY(bool codexInstalled READ codexInstalled NOTIFY codexInstalledChanged)
    // Progress of the running download, for the window's progress indicator.
    Q_PROPERTY(bool downloading READ downloading NOTIFY downloadProgressChanged)
    Q_PROPERTY(qint64 downloadReceived READ downloadReceived NOTIFY downloadProgressChanged)
    Q_PROPERTY(qint64 downloadTotal READ downloadTotal NOTIFY downloadProgressChanged)

public:
    explicit ConnectState(std::shared_ptr<Platform> platform = systemPlatform(), QObject *parent = nullptr);
    ~ConnectState() override;

    const QString &routerURL() const { return m_routerURL; }
    const QString &username() const { return m_username; }
    const QString &password() const { return m_password; }
    const QString &selectedModel() const { return m_selectedModel; }
    const QString &reasoningEffort() const { return m_reasoningEffort; }
    const QList<RemoteModel> &models() const { return m_models; }
    const QList<RemoteGroup> &groups() const { return m_groups; }
    std::optional<qint64> selectedGroupID() const { return m_selectedGroupID; }
    const QString &accountName() const { return m_accountName; }
    const QString &accountDetail() const { return m_accountDetail; }
    const QString &activity() const { return m_activity; }
    bool busy() const { return m_busy; }
    bool authenticated() const { return m_authenticated; }
    const QString &tokenName() const { return m_tokenName; }
    bool codexConnected() const { return connected(AgentKind::codex); }
    bool claudeCodeConnected() const { return connected(AgentKind::claudeCode); }
    bool geminiConnected() const { return connected(AgentKind::geminiCLI); }
    bool kimiConnected() const { return connected(AgentKind::kimiCode); }
    bool openCodeConnected() const { return connected(AgentKind::openCode); }
    bool deepSeekConnected() const { return connected(AgentKind::deepSeek); }
    bool codexInstalled() const { return m_codexInstalled; }
    bool downloading() const { return m_downloading; }
    qint64 downloadReceived() const { return m_downloadReceived; }
    qint64 downloadTotal() const { return m_downloadTotal; }

    // Written by the window's fields and pickers.
    void setRouterURL(const QString &value) { assign(m_routerURL, value, &ConnectState::routerURLChanged); }
    void setUsername(const QString &value) { assign(m_username, value, &ConnectState::usernameChanged); }
    void setPassword(const QString &value) { assign(m_password, value, &ConnectState::passwordChanged); }
    void setSelectedModel(const QString &value)
    {
        assign(m_selectedModel, value, &ConnectState::selectedModelChanged);
    }
    void setReasoningEffort(const QString &value)
    {
        assign(m_reasoningEffort, value, &ConnectState::reasoningEffortChanged);
    }
    void setSelectedGroupID(std::optional<qint64> value)
    {
        assign(m_selectedGroupID, value, &ConnectState::selectedGroupIDChanged);
    }

    const Platform &platform() const { return *m_platform; }

    // The agent's connected flag: true once it was configured in this run.
    bool connected(AgentKind kind) const { return m_connected[std::size_t(kind)]; }

    // The check of an agent's card: whether the agent will really reach the relay.
    struct AgentCheckStatus
    {
        enum class Stage { none, running, passed, failed };
        Stage stage = Stage::none;
        QString text; // the card's line
    };
    const AgentCheckStatus &check(AgentKind kind) const { return m_checks[std::size_t(kind)]; }
    // Whether the card offers the check: the agent was connected in this run, or (Codex) its
    // files hold what the app writes, as readCodexFiles() or an operation last found them.
    bool checkOffered(AgentKind kind) const;

    // Where the keys go: the setting kept with the app's files, read when the state is made.
    Keychain::Store keyStore() const;
    // For a front end that keeps the session between its runs (the command line): the session
    // of the sign-in, and what a launcher agent was connected with (none before connecting it,
    // and for Codex, whose files say it all).
    const QString &accessToken() const { return m_accessToken; }
    const std::optional<AgentCheck::Target> &connection(AgentKind kind) const
    {
        return m_checkTargets[std::size_t(kind)];
    }
    // What a launcher agent was connected with in an earlier run: it counts as connected, and
    // its check is offered.
    void restoreConnection(AgentKind kind, const AgentCheck::Target &target);

public Q_SLOTS:
    // The operations. Each answers a refused precondition at once; one that starts runs on in
    // the event loop, busy until it has ended. Their tasks need not be awaited.
    QCoro::Task<> login();
    // Signs in with the session of an earlier sign-in at the same API root, syncing the
    // account as login() does.
    QCoro::Task<> resumeSession(QString accessToken);
    // The model list of the selected channel group's key (issued and stored when none is), as
    // connecting Codex fetches it.
    QCoro::Task<> loadModels();
    QCoro::Task<> configureCodexFromAccount();
    // Codex through configureCodexFromAccount(), every other agent through its launcher.
    QCoro::Task<> configureAgent(AgentKind kind);
    QCoro::Task<> configureClaudeCode() { return configureAgent(AgentKind::claudeCode); }
    QCoro::Task<> configureGeminiCLI() { return configureAgent(AgentKind::geminiCLI); }
    QCoro::Task<> configureKimiCode() { return configureAgent(AgentKind::kimiCode); }
    QCoro::Task<> configureOpenCode() { return configureAgent(AgentKind::openCode); }
    QCoro::Task<> configureDeepSeekAgent() { return configureAgent(AgentKind::deepSeek); }
    QCoro::Task<> clearConfiguration();
    QCoro::Task<> openOfficialInstaller(OfficialInstaller installer) { return download(installer, false); }
    // Codex's package, saved under a time-stamped name.
    QCoro::Task<> downloadCodex() { return download(OfficialInstaller::codex, true); }
    // Checks the agent as the user will start it, changing no file: runs beside every other
    // operation and every other card's check, once per card at a time.
    QCoro::Task<> checkAgent(AgentKind kind);
    // Reads whether Codex's files hold what the app writes (on the file worker): the window
    // asks once it is shown, the command line before it checks.
    QCoro::Task<> readCodexFiles();
    // Tests "/Applications/Codex.app" again, for the Codex card's re-check control.
    void recheckCodexInstalled();

Q_SIGNALS:
    void routerURLChanged();
    void usernameChanged();
    void passwordChanged();
    void selectedModelChanged();
    void reasoningEffortChanged();
    void modelsChanged();
    void groupsChanged();
    void selectedGroupIDChanged();
    void accountNameChanged();
    void accountDetailChanged();
    void activityChanged();
    void busyChanged();
    void authenticatedChanged();
    void tokenNameChanged();
    void codexConnectedChanged();
    void claudeCodeConnectedChanged();
    void geminiConnectedChanged();
    void kimiConnectedChanged();
    void openCodeConnectedChanged();
    void deepSeekConnectedChanged();
    // Every agent's flag, those published above included.
    void connectedChanged(AgentKind kind);
    void codexInstalledChanged();
    void downloadProgressChanged();
    void checkChanged(AgentKind kind);
    void checkOfferedChanged(AgentKind kind);

protected:
    // Every assignment notifies, also when the value is equal.
    void setModels(const QList<RemoteModel> &value) { assign(m_models, value, &ConnectState::modelsChanged); }
    void setGroups(const QList<RemoteGroup> &value) { assign(m_groups, value, &ConnectState::groupsChanged); }
    void setAccountName(const QString &value)
    {
        assign(m_accountName, value, &ConnectState::accountNameChanged);
    }
    void setAccountDetail(const QString &value)
    {
        assign(m_accountDetail, value, &ConnectState::accountDetailChanged);
    }
    void setActivity(const QString &value) { assign(m_activity, value, &ConnectState::activityChanged); }
    void setBusy(bool value) { assign(m_busy, value, &ConnectState::busyChanged); }
    void setAuthenticated(bool value) { assign(m_authenticated, value, &ConnectState::authenticatedChanged); }
    void setCodexInstalled(bool value)
    {
        assign(m_codexInstalled, value, &ConnectState::codexInstalledChanged);
    }
    void setConnected(AgentKind kind, bool value);
    void setDownloadProgress(bool downloading, qint64 received, qint64 total);
    void setCheck(AgentKind kind, AgentCheckStatus::Stage stage, const QString &text);
    void setCodexFilesWritten(bool written);
    // No control changes the key's name; a deployment or a test may.
    void setTokenName(const QString &value) { assign(m_tokenName, value, &ConnectState::tokenNameChanged); }

private:
    template <typename Value> void assign(Value &member, const Value &value, void (ConnectState::*changed)())
    {
        member = value;
        Q_EMIT(this->*changed)();
    }
    // The busy rule of each operation.
    enum class Operation { login, configureCodex, configureAgent, clearConfiguration, download };
    // False when the operation must not start because another one runs (having written the
    // refusal text where the operation has one).
    bool admitWhileBusy(Operation operation);
    // Held by a task across its awaits: expired once the state is being destroyed.
    using Presence = std::weak_ptr<const bool>;
    // Sets busy, then the in-progress text; clears busy when it goes out of scope. Created
    // once an operation's guards have passed, before anything else of it, so that busy is the
    // very last assignment on every path. A state destroyed meanwhile is left alone.
    class BusyScope
    {
    public:
        BusyScope(ConnectState *state, const QString &progressText);
        BusyScope(BusyScope &&) = delete;
        ~BusyScope();

    private:
        ConnectState *m_state;
        Presence m_presence;
    };
    // The check's steps after the local ones: the relay's answer, then the agent's own report.
    struct CheckVerdict
    {
        bool passed = false;
        QString text; // the card's line
    };
    QCoro::Task<CheckVerdict> checkWithRelay(
        AgentKind kind, AgentCheck::Machine machine, AgentCheck::Target target, AgentCheck::Result local);
    // Thrown by a check whose card is no longer offered (cleared meanwhile).
    struct CheckWithdrawn
    {
    };
    // After each await of a check: ToolsClosed once the state is going, CheckWithdrawn once the
    // card no longer offers the check.
    void stillChecking(const Presence &self, AgentKind kind) const;
    // Takes a synced account's groups and name, signed in; throws when it has no group.
    void adoptAccount(const RemoteAccount &account);
    Launchers::KeyringCommand launcherKeyring() const;
    // The text an operation shows for a caught failure.
    static QString describe(std::exception_ptr error);

    std::optional<QUrl> normalizedRouterURL() const;
    // The router when a configure operation may start; else none, having said why.
    std::optional<QUrl> admitConfiguring(Operation operation);
    void keepSelectedModelListed();
    // The key's models as listed, the selection kept if listed, else the first; an empty list
    // changes nothing.
    void adoptModels(const QList<RemoteModel> &listed);
    // Both downloads: an agent's package, or Codex's under a time-stamped name.
    QCoro::Task<> download(OfficialInstaller installer, bool timeStamped);
    // Records, where clearing finds it from any environment, the keychain name of the key just
    // resolved and the Codex folder about to be written.
    QCoro::Task<> rememberConnection(std::optional<QString> codexFolder);
    // The dedicated key of the selected group: the stored one when usable, else one the
    // relay issues, stored. Sets the name of the Keychain item in use.
    QCoro::Task<QString> resolveCodexToken(QUrl router);
    // The key's models from the relay, as every connect loads them: the selection kept if
    // listed, else the first. A list that cannot be had leaves the current one.
    QCoro::Task<> loadKeyModels(QUrl router, QString key);

    // Expires first in the destructor, before the collaborators end their tasks.
    std::shared_ptr<const bool> m_presence = std::make_shared<const bool>(true);
    std::shared_ptr<Platform> m_platform;

    QString m_routerURL;
    QString m_username;
    QString m_password;
    QString m_selectedModel;
    QString m_reasoningEffort;
    QList<RemoteModel> m_models;
    QList<RemoteGroup> m_groups;
    std::optional<qint64> m_selectedGroupID;
    QString m_accountName;
    QString m_accountDetail;
    QString m_activity;
    bool m_busy = false;
    bool m_authenticated = false;
    QString m_tokenName;
    std::array<bool, agentKindCount> m_connected {}; // by kind
    std::array<AgentCheckStatus, agentKindCount> m_checks {}; // by kind
    // What each launcher agent was connected with in this run, for its check.
    std::array<std::optional<AgentCheck::Target>, agentKindCount> m_checkTargets {};
    std::chrono::steady_clock::time_point m_nextCheckStart; // the earliest start of another check
    bool m_codexInstalled = false;
    bool m_codexFilesWritten = false; // Codex's config.toml holds what the app writes
    bool m_downloading = false;
    qint64 m_downloadReceived = 0;
    qint64 m_downloadTotal = -1;

    Keychain::Store::Kind m_keyStoreKind = Keychain::Store::Kind::keyring;
    QString m_accessToken;
    QString m_accountKey;
    QString m_activeKeychainService;

    // Last, so destroyed first: tasks still waiting end while every field is alive. The tools
    // go last of these, so that a task the relay's end resumes still finds them.
    ToolRunner m_tools;
    RelayClient m_relay;
    InstallerDownload m_download;
    // Destroyed first: a task waiting for a file step ends while the tools are still there.
    FileWorker m_files;
};
