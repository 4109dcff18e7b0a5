#pragma once

#include <QString>

// Fixed texts of the installer downloads.
namespace InstallerTexts {
// "正在从 Velmora 香港服务器下载 " + title + "…"
inline const QString downloadingPrefix = QStringLiteral("正在从 Velmora 香港服务器下载 ");
inline const QString downloadingSuffix = QStringLiteral("…");
// title + " 安装包已下载并打开。"
inline const QString openedSuffix = QStringLiteral(" 安装包已下载并打开。");

inline const QString downloadingCodex = QStringLiteral("正在从 Velmora 服务器下载 Codex 安装包…");
inline const QString codexOpened
    = QStringLiteral("安装包已下载并打开。将 Codex 拖入 Applications 后，回到这里点击“重新检测”。");

inline const QString failurePrefix = QStringLiteral("下载失败：");
inline const QString notPublished = QStringLiteral("服务器未发布该安装包");
inline const QString codexNotPublished = QStringLiteral("Velmora 安装包下载失败");

// Beyond the fixed texts: the reasons this product gives where the platform has no words.
inline const QString noDownloadsDirectory = QStringLiteral("系统没有提供“下载”文件夹");
// %1: the directory, %2: the platform's reason.
inline const QString cannotCreateDownloads = QStringLiteral("无法创建下载文件夹 %1：%2");
// %1: the destination path, %2: the platform's reason.
inline const QString cannotMove = QStringLiteral("无法将安装包存为 %1：%2");
// %1: bytes received, %2: bytes announced by the server.
inline const QString incomplete = QStringLiteral("连接中断，安装包不完整（收到 %1 字节，应为 %2 字节）");

inline QString downloading(const QString &title)
{
    return downloadingPrefix + title + downloadingSuffix;
}

inline QString opened(const QString &title)
{
    return title + openedSuffix;
}
} // namespace InstallerTexts
