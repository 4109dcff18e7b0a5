#include "installers/officialinstaller.h"

#include "installers/installertexts.h"

QString title(OfficialInstaller installer)
{
    switch (installer) {
    case OfficialInstaller::codex:
        return InstallerTexts::codexTitle;
    case OfficialInstaller::claudeCode:
        return InstallerTexts::claudeCodeTitle;
    case OfficialInstaller::geminiCLI:
        return InstallerTexts::geminiCLITitle;
    case OfficialInstaller::kimiCode:
        return InstallerTexts::kimiCodeTitle;
    case OfficialInstaller::openCode:
        return InstallerTexts::openCodeTitle;
    case OfficialInstaller::deepSeek:
        return InstallerTexts::deepSeekTitle;
    }
    return {};
}

QString packageFileName(OfficialInstaller installer)
{
    switch (installer) {
    case OfficialInstaller::codex:
        return QStringLiteral("codex-macos-arm64.dmg");
    case OfficialInstaller::claudeCode:
        return QStringLiteral("claude-code-macos-arm64.dmg");
    case OfficialInstaller::geminiCLI:
        return QStringLiteral("gemini-cli-macos-arm64.tgz");
    case OfficialInstaller::kimiCode:
        return QStringLiteral("kimi-code-macos-arm64.tgz");
    case OfficialInstaller::openCode:
        return QStringLiteral("opencode-macos-arm64.zip");
    case OfficialInstaller::deepSeek:
        return QStringLiteral("deepseek-crush-macos-arm64.zip");
    }
    return {};
}

QUrl installerUrl(OfficialInstaller installer, const QUrl &downloadServer)
{
    QUrl url = downloadServer.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    url.setPath(QStringLiteral("/agent-packages/") + packageFileName(installer));
    return url;
}
