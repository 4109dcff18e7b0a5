#include "agents/agenttexts.h"
#include "agents/codexfiles.h"
#include "agents/fileutils.h"
#include "service/connecterror.h"
#include "service/keychain.h"
#include "state/connectstate.h"

#include <QFileInfo>

namespace {

// The current key's item, then the two names of the earlier host-and-port scheme.
QStringList keychainServicesToDelete(const QString &activeService, const DeploymentValues &deployment)
{
    return { activeService, Keychain::legacyKeychainService(QUrl(deployment.defaultApiRoot).host()),
        Keychain::legacyKeychainService(deployment.legacyApiHost) };
}

} // namespace

void ConnectState::clearConfiguration()
{
    if (!admitWhileBusy(Operation::clearConfiguration))
        return;
    beginBusy(AgentTexts::clearing);
    auto scope = busyScope();

    const QString home = m_platform->homePath();
    const QString config = CodexFiles::configPath(home);
    const QString auth = CodexFiles::authPath(home);
    try {
        const QString backup = backupDirectory();
        FileUtils::backupFile(config, backup);
        FileUtils::backupFile(auth, backup);
        if (QFileInfo::exists(config))
            FileUtils::removeFile(config);
        if (QFileInfo::exists(auth)) {
            QJsonObject object = FileUtils::jsonObject(auth);
            object.remove(CodexFiles::apiKeyVariable);
            FileUtils::writeJSONObject(object, auth);
        }
    } catch (...) {
        // The user stays signed in; whatever was already backed up or removed stays so.
        setActivity(AgentTexts::clearFailedPrefix + describe(std::current_exception()));
        return;
    }

    // From here on every step is attempted and a failure (nothing to delete, a job that is
    // not loaded, a missing file) goes unreported.
    for (const QString &service :
        keychainServicesToDelete(m_activeKeychainService, m_platform->deployment())) {
        try {
            Keychain::deleteKey(m_platform->securityTool(), m_platform->userName(), service);
        } catch (...) {
        }
    }
    const QString launchctl = m_platform->launchctlTool();
    try {
        execute(launchctl, { QStringLiteral("unsetenv"), CodexFiles::apiKeyVariable });
    } catch (...) {
    }
    try {
        execute(
            launchctl, { QStringLiteral("bootout"), CodexFiles::launchAgentTarget(m_platform->userId()) });
    } catch (...) {
    }
    for (const QString &path :
        { CodexFiles::environmentScriptPath(home), CodexFiles::launchAgentPath(home) }) {
        try {
            FileUtils::removeFile(path);
        } catch (...) {
        }
    }

    m_accessToken.clear();
    setGroups({});
    setSelectedGroupID(std::nullopt);
    setAuthenticated(false);
    setCodexConnected(false);
    setClaudeCodeConnected(false);
    setGeminiConnected(false);
    setKimiConnected(false);
    setOpenCodeConnected(false);
    setDeepSeekConnected(false);
    setAccountName(AgentTexts::clearedAccountName);
    setAccountDetail(AgentTexts::clearedAccountDetail);
    setActivity(AgentTexts::cleared);
}
