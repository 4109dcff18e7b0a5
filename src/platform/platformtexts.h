#pragma once

#include <QString>

// Fixed texts of the platform layer: running system tools and network transfers.
namespace PlatformTexts {

// A system tool exited with a non-zero status; nothing of its output is shown.
inline const QString commandFailed = QStringLiteral("本机配置命令失败");
// A system tool still running at the time limit (it may be waiting for an unlock of the
// keyring that nobody answers): %1 its name, %2 the limit in seconds.
inline const QString toolTimedOut = QStringLiteral("本机配置命令 %1 未在 %2 秒内结束");
// A transfer that made no progress for %1 seconds.
inline const QString timedOut = QStringLiteral("请求超时：服务器 %1 秒内没有响应");

// A redirect to another origin (or to a less safe scheme), which would carry credentials there.
inline const QString redirectRefused = QStringLiteral("服务器要求重定向到其他地址，已拒绝");

} // namespace PlatformTexts
