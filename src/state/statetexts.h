#pragma once

#include <QString>

// The texts of the connection state: its initial values and every message of its operations.
// %1 is an agent's title, a number or the description of a failure.
namespace StateTexts {

// Initial values; the account's name and detail also after clearing.
inline const QString ready = QStringLiteral("准备就绪");
inline const QString signedOutName = QStringLiteral("尚未登录");
inline const QString signedOutDetail = QStringLiteral("使用网页账户登录后同步资料与可用模型");
inline const QString defaultTokenName = QStringLiteral("Velmora Connect · Codex Desktop");
inline const QString defaultModel = QStringLiteral("gpt-5.6-sol");
inline const QString defaultEffort = QStringLiteral("high");
inline const QString anonymousAccount = QStringLiteral("anonymous");
inline const QString initialKeychainService = QStringLiteral("velmora-connect:desktop");

// Refusals.
inline const QString stillBusy = QStringLiteral("当前操作尚未完成，请稍候再试。");
inline const QString invalidRouter = QStringLiteral("API 根地址无效。");
inline const QString credentialsMissing = QStringLiteral("请输入账号和密码。");
inline const QString signInFirst = QStringLiteral("请先登录并同步账户。");
inline const QString chooseGroupFirst = QStringLiteral("请先在上方手动选择渠道接口。");

// Sign-in.
inline const QString signingIn = QStringLiteral("正在安全登录 Velmora…");
inline const QString signedIn = QStringLiteral("登录成功，请选择渠道接口后接入。");
inline const QString loginFailed = QStringLiteral("登录失败：%1");
inline const QString noGroups = QStringLiteral("当前账户没有可用渠道接口");
inline const QString synced = QStringLiteral("已同步 %1 个渠道接口；请选择渠道后接入");

// The model list of the selected group's key.
inline const QString loadingModels = QStringLiteral("正在同步模型列表…");
inline const QString modelsLoaded = QStringLiteral("已同步 %1 个模型。");
inline const QString modelsFailed = QStringLiteral("模型列表同步失败：%1");

// Connecting Codex, and the dedicated key every agent uses.
inline const QString configuringCodex = QStringLiteral("正在创建专用 Codex 凭据并写入本机配置…");
inline const QString codexConfigured = QStringLiteral("官方 Codex 已配置。请关闭并重新打开 Codex。");
inline const QString codexFailed = QStringLiteral("接入失败：%1");
// The selection was cleared after the guard.
inline const QString groupMissing = QStringLiteral("请先手动选择渠道接口");

// Connecting a launcher agent.
inline const QString configuring = QStringLiteral("正在配置 %1…");
inline const QString agentConnected = QStringLiteral("%1 已接入。请用 Velmora 启动器打开它。");
inline const QString configureFailed = QStringLiteral("配置失败：%1");

// Clearing.
inline const QString clearing = QStringLiteral("正在清除 Velmora Connect 配置…");
inline const QString clearFailed = QStringLiteral("清除失败：%1");
inline const QString clearedDetail = QStringLiteral("清除完成，请登录新账户");
inline const QString cleared = QStringLiteral("配置已清除，请登录新账户后重新接入。");

// Installer downloads.
inline const QString downloading = QStringLiteral("正在从 Velmora 香港服务器下载 %1…");
inline const QString opened = QStringLiteral("%1 安装包已下载并打开。");
inline const QString downloadingCodex = QStringLiteral("正在从 Velmora 服务器下载 Codex 安装包…");
inline const QString codexOpened
    = QStringLiteral("安装包已下载并打开。将 Codex 拖入 Applications 后，回到这里点击“重新检测”。");
inline const QString downloadFailed = QStringLiteral("下载失败：%1");
inline const QString notPublished = QStringLiteral("服务器未发布该安装包");
inline const QString codexNotPublished = QStringLiteral("Velmora 安装包下载失败");
// Beyond the fixed texts: where the platform has no words.
inline const QString noDownloadsDirectory = QStringLiteral("系统没有提供“下载”文件夹");

// Codex Desktop's installation, checked again.
inline const QString codexFound = QStringLiteral("已检测到 Codex Desktop。");
inline const QString codexMissing = QStringLiteral("尚未检测到 Codex Desktop。");

// An agent's check: the card's line, and the status bar's line (%1 the agent's title, %2 the
// card's line).
inline const QString checking = QStringLiteral("正在检测…");
inline const QString checkingAgent = QStringLiteral("正在检测 %1…");
inline const QString checkPassed = QStringLiteral("可用 · %1 · 中转站 %2 ms");
inline const QString checkPassedUnversioned = QStringLiteral("可用 · 中转站 %1 ms");
inline const QString agentCheckPassed = QStringLiteral("%1 检测通过：%2");
inline const QString agentCheckFailed = QStringLiteral("%1 检测失败：%2");
// Its faults, each naming what to look at.
inline const QString shellUnreadable = QStringLiteral("无法读取登录 Shell（%1）的 PATH");
inline const QString commandMissing
    = QStringLiteral("登录 Shell 的 PATH 中找不到 %1，请先安装（卡片左下角可下载安装包）");
inline const QString versionFailed = QStringLiteral("%1 --version 运行失败");
inline const QString launcherMissing = QStringLiteral("启动器 %1 不存在，请重新接入");
inline const QString launcherOffPath = QStringLiteral("%1 不在 PATH 中：请在 %2 中加入一行 %3");
inline const QString launcherShadowed = QStringLiteral("PATH 中先找到的 %1 是 %2，不是 Velmora 启动器");
inline const QString fileChanged = QStringLiteral("%1 已被改动，与 Velmora Connect 写入的不同，请重新接入");
inline const QString fileOverrides = QStringLiteral("%1 中的 %2 覆盖了 Velmora Connect 的配置");
inline const QString variableOverrides
    = QStringLiteral("登录 Shell 中的 %1=%2 覆盖了 Velmora Connect 的配置");
inline const QString notReadBack = QStringLiteral("%1 报告的配置不是 Velmora Connect 写入的");
inline const QString otherRelay = QStringLiteral("Codex 的配置指向 %1，不是上方的 Velmora 地址，请重新接入");
inline const QString keyNotStored = QStringLiteral("钥匙串中没有该渠道的 Key，请重新接入");
inline const QString noAgentModel = QStringLiteral(
    "中转站没有为该 Key 列出 %1 模型，Claude Code 会请求它自己的默认模型，请换一个渠道后重新接入");
inline const QString keyringToolMissing = QStringLiteral("登录 Shell 中找不到 %1，请安装 libsecret-tools");
inline const QString userDiffers
    = QStringLiteral("登录 Shell 的 $USER 是 %1，不是保存 Key 的账户 %2，启动器读不到 Key");
inline const QString keyUnreadable = QStringLiteral("启动器在登录 Shell 中读不到 Key：%1");
inline const QString keyRefused = QStringLiteral("中转站拒绝了 Key（HTTP %1），请重新接入以签发新 Key");
inline const QString modelUnknown = QStringLiteral("中转站不提供模型 %1（HTTP %2），请换一个模型后重新接入");
inline const QString rateLimitedFor = QStringLiteral("中转站限流（HTTP 429），请 %1 秒后再试");
inline const QString rateLimited = QStringLiteral("中转站限流（HTTP 429），请稍后再试");
inline const QString relayRefused = QStringLiteral("中转站返回 HTTP %1");
inline const QString relayUnreachable = QStringLiteral("无法连接中转站：%1");
inline const QString relayTimedOut = QStringLiteral("中转站 %1 秒内没有应答");
// Follows a refusal's text when the relay gave its reason.
inline const QString relaySaid = QStringLiteral("%1：%2");

inline const QString unknownFailure = QStringLiteral("未知错误");

} // namespace StateTexts
