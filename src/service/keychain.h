#pragma once

#include "platform/execute.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

// The Keychain item of a dedicated key: a generic password whose account is the login
// short name and whose service is built here.
namespace Keychain {

// "velmora-connect:<host>-<port>:<account>:<group>".
QString keychainService(const QUrl &router, const QString &account, qint64 groupID);

// The earlier scheme's name for a host on port 443: "velmora-connect:<host>-443".
QString legacyKeychainService(const QString &host);

// The status with which `security` answers that there is no such item (the low byte of the
// keychain's errSecItemNotFound); any other failure is one to report.
inline constexpr int itemNotFoundStatus = 44;

// `security find-generic-password -a USER -s SERVICE -w`, trimmed. Throws ToolFailed with
// itemNotFoundStatus when there is no such item.
QCoro::Task<QString> loadKey(ToolRunner &tools, QString securityTool, QString user, QString service);
// `security add-generic-password -U -a USER -s SERVICE -w KEY`.
QCoro::Task<> storeKey(ToolRunner &tools, QString securityTool, QString user, QString service, QString key);
// `security delete-generic-password -a USER -s SERVICE`: false when there was no such item.
QCoro::Task<bool> deleteKey(ToolRunner &tools, QString securityTool, QString user, QString service);

} // namespace Keychain
