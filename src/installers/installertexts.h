#pragma once

#include <QString>

// Fixed texts of the installer downloads: the reasons this product gives where the platform
// has no words.
namespace InstallerTexts {
// %1: the directory, %2: the platform's reason.
inline const QString cannotCreateDownloads = QStringLiteral("无法创建下载文件夹 %1：%2");
// %1: the destination path, %2: the platform's reason.
inline const QString cannotMove = QStringLiteral("无法将安装包存为 %1：%2");
// %1: bytes received, %2: bytes announced by the server.
inline const QString incomplete = QStringLiteral("连接中断，安装包不完整（收到 %1 字节，应为 %2 字节）");
} // namespace InstallerTexts
