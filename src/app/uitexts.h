#pragma once

#include <QString>

// Fixed texts of the window.
namespace UiTexts {

inline const QString applicationName = QStringLiteral("Velmora Connect");

// Header
inline const QString headerTag = QStringLiteral("VELMORA CONNECT // CONTROL PLANE");
inline const QString headerTitle = QStringLiteral("连接模型，开始编码。");
inline const QString localSession = QStringLiteral("LOCAL SESSION");

// Status bar
inline QString contactText(const QString &qq)
{
    return QStringLiteral("联系客服  ·  QQ ") + qq;
}
inline QString contactTooltip(const QString &qq)
{
    return QStringLiteral("Velmora 客服 QQ：") + qq;
}
inline const QString failureMarker = QStringLiteral("失败");
inline const QString legend = QStringLiteral("PASSWORD EPHEMERAL  ·  KEYCHAIN  ·  AUTO BACKUP");
inline const QString downloadProgressName = QStringLiteral("下载进度");

// Tech banner
inline const QString neuralRouting = QStringLiteral("NEURAL ROUTING ONLINE");
inline const QString sharedChannel = QStringLiteral("让每个 Agent 共享同一条安全模型通道。");
inline const QString syncLayer = QStringLiteral("SYNC LAYER");
inline const QString ready = QStringLiteral("READY");
inline const QString waiting = QStringLiteral("WAITING");

// Contact card
inline const QString needHelp = QStringLiteral("需要帮助？联系客服");
inline QString qqLine(const QString &qq)
{
    return QStringLiteral("QQ ") + qq;
}
inline const QString support = QStringLiteral("SUPPORT");

// Login panel
inline const QString loginStep = QStringLiteral("01");
inline const QString loginStepTitle = QStringLiteral("账户登录");
inline const QString loginHeading = QStringLiteral("使用 Velmora 网页账户");
inline const QString loginExplanation = QStringLiteral(
    "登录后，客户端将按当前用户权限同步资料、分组和可用模型。密码仅用于本次登录请求，不会保存在本机。");
inline const QString secureSession = QStringLiteral("SECURE SESSION");
inline const QString secureSessionNote = QStringLiteral("专用 API Key 将由服务自动创建并写入 Keychain");
inline const QString addressLabel = QStringLiteral("Velmora 地址");
inline const QString addressPlaceholder = QStringLiteral("https://api.example.com");
inline const QString emailLabel = QStringLiteral("登录邮箱");
inline const QString emailPlaceholder = QStringLiteral("请输入 Velmora 邮箱");
inline const QString passwordLabel = QStringLiteral("密码");
inline const QString passwordPlaceholder = QStringLiteral("请输入密码");
inline const QString login = QStringLiteral("登录并同步");
inline const QString resync = QStringLiteral("重新同步账户");
inline const QString clear = QStringLiteral("清除配置");
inline const QString clearHint = QStringLiteral("切换账户前先清除旧 Key 与 Codex 配置");
inline const QString signedInAccount = QStringLiteral("已登录账户");

// Setup panel
inline const QString setupStep = QStringLiteral("02");
inline const QString setupStepTitle = QStringLiteral("Agent 管理");
inline const QString setupHeading = QStringLiteral("六个 Agent，统一接入");
inline const QString nodes = QStringLiteral("6 NODES");
inline const QString groupLabel = QStringLiteral("渠道接口");
inline const QString modelLabel = QStringLiteral("模型与推理");
inline const QString noGroup = QStringLiteral("请选择");
inline const QString modelPickerName = QStringLiteral("模型");
inline const QString effortPickerName = QStringLiteral("推理强度");

// Agent cards
inline const QString download = QStringLiteral("下载安装包");
inline const QString downloadTooltip = QStringLiteral("从 Velmora 香港服务器下载安装包");
inline const QString connect = QStringLiteral("连接");
inline const QString connected = QStringLiteral("已接入");
inline const QString recheck = QStringLiteral("重新检测");
// Checks whether the connected agent really reaches the relay.
inline const QString checkConnection = QStringLiteral("检测连接");

// The Codex card's subtitle; the cards' own texts are in the card table of setuppanel.cpp.
inline const QString codexInstalled = QStringLiteral("已安装 · Desktop 与 CLI 共用配置");
inline const QString codexMissing = QStringLiteral("官方 DMG 尚未安装");

// Codex download confirmation
inline const QString confirmTitle = QStringLiteral("下载 Codex Desktop？");
inline const QString confirmMessage = QStringLiteral("将从 Velmora 服务器获取安装包，并保存到“下载”文件夹。");
inline const QString cancel = QStringLiteral("取消");
inline const QString downloadAndOpen = QStringLiteral("下载并打开安装包");

} // namespace UiTexts
