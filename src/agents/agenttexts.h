#pragma once

#include <QString>

// Fixed texts of the agent launchers, the provider files and clearing.
namespace AgentTexts {

// Refusals of a configure operation.
inline const QString signInFirst = QStringLiteral("请先登录并同步账户。");
inline const QString chooseGroupFirst = QStringLiteral("请先在上方手动选择渠道接口。");

// "正在配置 " + title + "…"
inline const QString configuringPrefix = QStringLiteral("正在配置 ");
inline const QString configuringSuffix = QStringLiteral("…");
// title + " 已接入。请用 Velmora 启动器打开它。"
inline const QString connectedSuffix = QStringLiteral(" 已接入。请用 Velmora 启动器打开它。");
inline const QString configureFailedPrefix = QStringLiteral("配置失败：");

// Clearing.
inline const QString clearing = QStringLiteral("正在清除 Velmora Connect 配置…");
inline const QString clearFailedPrefix = QStringLiteral("清除失败：");
inline const QString clearedAccountName = QStringLiteral("尚未登录");
inline const QString clearedAccountDetail = QStringLiteral("清除完成，请登录新账户");
inline const QString cleared = QStringLiteral("配置已清除，请登录新账户后重新接入。");

} // namespace AgentTexts
