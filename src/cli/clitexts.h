#pragma once

#include <QString>

// The command line's own texts: what the window says with its controls. Every message of an
// operation comes from the state's text tables, as in the window.
namespace CliTexts {

// Refusals before any operation: each names the way on.
inline const QString noKeyring = QStringLiteral(
    "没有可用的 Secret "
    "Service（登录密钥环），无法保存密钥，未做任何改动。在没有桌面会话的机器上（SSH、容器、CI），"
    "请加上 --key-store=file：每个密钥单独保存在 %1 "
    "下仅本用户可读的文件中。这弱于密钥环：能读取该用户文件的人即可取得密钥。");
inline const QString notSignedIn
    = QStringLiteral("尚未登录：请先运行 velmora login --email 邮箱 --password-stdin");
inline const QString settingFailed = QStringLiteral("无法保存密钥存储设置：%1");
inline const QString sessionFailed = QStringLiteral("无法保存登录会话：%1");
inline const QString memoryFailed = QStringLiteral("无法保存命令行的选择：%1");

// Usage.
inline const QString unknownCommand = QStringLiteral("未知命令：%1（velmora --help 列出全部命令）");
inline const QString unknownAgent
    = QStringLiteral("未知智能体：%1（可选 codex、claude、gemini、kimi、opencode、crush 或 all）");
inline const QString noAgent
    = QStringLiteral("请指定智能体：codex、claude、gemini、kimi、opencode、crush 或 all");
inline const QString badEffort = QStringLiteral("推理强度只能是 low、medium、high 或 xhigh");
inline const QString badKeyStore = QStringLiteral("--key-store 只能是 file 或 keyring");
inline const QString emailMissing = QStringLiteral("请用 --email 指定账号");
inline const QString passwordNotFromTerminal
    = QStringLiteral("标准输入不是终端：请加上 --password-stdin，从标准输入提供密码");
inline const QString passwordPrompt = QStringLiteral("密码：");
inline const QString groupUnknown
    = QStringLiteral("渠道接口 %1 不在账户的渠道列表中（velmora groups 列出可选的）");
inline const QString groupNeeded
    = QStringLiteral("请用 --group ID 选择渠道接口（velmora groups 列出可选的）");
inline const QString modelUnlisted
    = QStringLiteral("模型 %1 不在该渠道的模型列表中（velmora models 列出可选的）");

// Results the window shows with its controls instead.
inline const QString loggedOut = QStringLiteral("已退出登录。");
inline const QString notConnected = QStringLiteral("尚未接入，请先运行 velmora connect %1");
inline const QString nothingToCheck = QStringLiteral("没有已接入的智能体：请先运行 velmora connect");
inline const QString clearQuestion = QStringLiteral(
    "将删除 Velmora Connect 写入的配置、启动器和钥匙串中的 Key（先备份），并退出登录。确定清除吗？[y/N] ");
inline const QString clearNeedsYes = QStringLiteral("不在终端上运行：请加上 --yes 确认清除");
inline const QString clearCancelled = QStringLiteral("已取消，未做任何改动。");
inline const QString statusAccount = QStringLiteral("账户：%1");
inline const QString statusApiRoot = QStringLiteral("API 根地址：%1");
inline const QString statusGroup = QStringLiteral("渠道接口：%1");
inline const QString statusModel = QStringLiteral("模型：%1 · 推理强度：%2");
inline const QString statusKeyStore = QStringLiteral("密钥存储：%1");
inline const QString statusConnected = QStringLiteral("%1：已接入 · %2");
inline const QString statusNotConnected = QStringLiteral("%1：未接入");
inline const QString none = QStringLiteral("（未选择）");
inline const QString agentLine = QStringLiteral("%1：%2");

// Help.
inline const QString overview = QStringLiteral(
    "用法：velmora <命令> [选项]\n"
    "\n"
    "把本机的 AI 编程智能体接入 Velmora 中转站，与桌面应用使用同一份配置、钥匙串和检测。\n"
    "\n"
    "命令：\n"
    "  login     登录（--email 邮箱 --password-stdin）\n"
    "  logout    退出登录\n"
    "  groups    列出渠道接口\n"
    "  models    列出模型（--group ID）\n"
    "  connect   接入智能体：codex claude gemini kimi opencode crush 或 all\n"
    "  check     检测已接入的智能体\n"
    "  status    登录账户、渠道、模型和已接入的智能体\n"
    "  clear     清除全部配置（--yes）\n"
    "\n"
    "每个命令都接受 --json（标准输出只有一个 JSON 文档）、--key-store=file|keyring 和 --help。\n"
    "退出状态：0 成功，1 操作失败，2 用法错误，4 尚未登录。\n");

} // namespace CliTexts
