#pragma once

#include <QString>

// Fixed texts of the connection state.
namespace StateTexts {
inline const QString ready = QStringLiteral("准备就绪");
inline const QString signedOutName = QStringLiteral("尚未登录");
inline const QString signedOutDetail = QStringLiteral("使用网页账户登录后同步资料与可用模型");
inline const QString stillBusy = QStringLiteral("当前操作尚未完成，请稍候再试。");
inline const QString defaultTokenName = QStringLiteral("Velmora Connect · Codex Desktop");
inline const QString defaultModel = QStringLiteral("gpt-5.6-sol");
inline const QString defaultEffort = QStringLiteral("high");
inline const QString defaultOwner = QStringLiteral("Velmora");
inline const QString anonymousAccount = QStringLiteral("anonymous");
inline const QString initialKeychainService = QStringLiteral("velmora-connect:desktop");
inline const QString codexFound = QStringLiteral("已检测到 Codex Desktop。");
inline const QString codexMissing = QStringLiteral("尚未检测到 Codex Desktop。");
inline const QString unknownFailure = QStringLiteral("未知错误");
} // namespace StateTexts
