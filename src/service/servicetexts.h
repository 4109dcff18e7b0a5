#pragma once

#include <QString>

// Fixed texts of the service client: requests, sign-in and account synchronisation.
namespace ServiceTexts {

// Sign-in (login()).
inline const QString invalidRouter = QStringLiteral("API 根地址无效。");
inline const QString credentialsMissing = QStringLiteral("请输入账号和密码。");
inline const QString signingIn = QStringLiteral("正在安全登录 Velmora…");
inline const QString signedIn = QStringLiteral("登录成功，请选择渠道接口后接入。");
inline const QString loginFailed = QStringLiteral("登录失败：");
inline const QString wrongCredentials = QStringLiteral("账号或密码不正确");
inline const QString noGroups = QStringLiteral("当前账户没有可用渠道接口");
// A session token holding white space at either end or a control character: it would end the
// Authorization header and add others.
inline const QString tokenUnusable = QStringLiteral("服务器返回的登录凭据含有空白或控制字符，无法使用");

// Account synchronisation.
inline const QString fallbackAccountName = QStringLiteral("已登录账户");
// "已同步 " + the number of groups + " 个渠道接口；请选择渠道后接入"
inline const QString syncedDetailBefore = QStringLiteral("已同步 ");
inline const QString syncedDetailAfter = QStringLiteral(" 个渠道接口；请选择渠道后接入");

// RemoteGroup::displayName: "渠道 #" + id when unnamed, then " · " and the platform label.
inline const QString unnamedGroup = QStringLiteral("渠道 #");
inline const QString groupSeparator = QStringLiteral(" · ");
inline const QString genericPlatform = QStringLiteral("通用");

// The owner of a model the service does not attribute.
inline const QString defaultOwner = QStringLiteral("Velmora");

// An error reply without a usable "message": "接口返回 " + the status code.
inline const QString statusReturned = QStringLiteral("接口返回 ");

// A successful reply that is not a JSON object or array.
inline const QString jsonEmpty = QStringLiteral("JSON 解析失败：服务器返回了空内容");
inline const QString jsonScalar = QStringLiteral("JSON 解析失败：顶层不是对象或数组");
// %1: the parser's own text, %2: the byte offset where it stopped.
inline const QString jsonInvalid = QStringLiteral("JSON 解析失败：%1（位置 %2）");
// A reply body beyond what any answer of the relay needs (16 MiB): not read to its end.
inline const QString replyTooLarge = QStringLiteral("服务器返回的内容过大，已停止接收");

// A request started while the window that asked for it is closing.
inline const QString closing = QStringLiteral("窗口正在关闭");

} // namespace ServiceTexts
