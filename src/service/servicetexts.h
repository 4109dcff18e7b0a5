#pragma once

#include <QString>

// Fixed texts of the service client: the failures of its requests, and the names it gives
// what the relay leaves unnamed.
namespace ServiceTexts {

// Sign-in.
inline const QString wrongCredentials = QStringLiteral("账号或密码不正确");
// A session token holding white space at either end or a control character: it would end the
// Authorization header and add others.
inline const QString tokenUnusable = QStringLiteral("服务器返回的登录凭据含有空白或控制字符，无法使用");

// Account synchronisation.
inline const QString fallbackAccountName = QStringLiteral("已登录账户");

// RemoteGroup::displayName: "渠道 #" + id when unnamed, then " · " and the platform label.
inline const QString unnamedGroup = QStringLiteral("渠道 #");
inline const QString groupSeparator = QStringLiteral(" · ");
inline const QString genericPlatform = QStringLiteral("通用");

// The owner of a model the service does not attribute.
inline const QString defaultOwner = QStringLiteral("Velmora");

// The dedicated key.
inline const QString keyMissing
    = QStringLiteral("渠道没有返回可复用 Key，请联系管理员检查 /api/v1/desktop/key 的幂等逻辑。");
// A key holding white space at either end or any control character (a line feed, a NUL…):
// it would not survive the keyring, the launcher's command substitution or a request header.
inline const QString keyUnusable = QStringLiteral("渠道返回的 Key 含有空白或控制字符，无法安全保存。");
// The key's name when tokenName is blank.
inline const QString fallbackTokenName = QStringLiteral("Velmora Connect");

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
