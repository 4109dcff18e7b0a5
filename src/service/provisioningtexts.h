#pragma once

#include <QString>

// Fixed texts of dedicated key provisioning and of connecting Codex.
namespace ProvisioningTexts {
inline const QString signInFirst = QStringLiteral("请先登录并同步账户。");
inline const QString chooseGroupFirst = QStringLiteral("请先在上方手动选择渠道接口。");
inline const QString configuringCodex = QStringLiteral("正在创建专用 Codex 凭据并写入本机配置…");
inline const QString codexConfigured = QStringLiteral("官方 Codex 已配置。请关闭并重新打开 Codex。");
inline const QString codexFailurePrefix = QStringLiteral("接入失败：");
// Thrown when the selection was cleared after the guard.
inline const QString groupMissing = QStringLiteral("请先手动选择渠道接口");
inline const QString keyMissing
    = QStringLiteral("渠道没有返回可复用 Key，请联系管理员检查 /api/v1/desktop/key 的幂等逻辑。");
// A key holding white space at either end or any control character (a line feed, a NUL…):
// it would not survive the keyring, the launcher's command substitution or a request header.
inline const QString keyUnusable = QStringLiteral("渠道返回的 Key 含有空白或控制字符，无法安全保存。");
// The key's name when tokenName is blank.
inline const QString fallbackTokenName = QStringLiteral("Velmora Connect");
} // namespace ProvisioningTexts
