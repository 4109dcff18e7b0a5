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

// `security find-generic-password -a USER -s SERVICE -w`, trimmed.
QCoro::Task<QString> loadKey(ToolRunner &tools, QString securityTool, QString user, QString service);
// `security add-generic-password -U -a USER -s SERVICE -w KEY`.
QCoro::Task<> storeKey(ToolRunner &tools, QString securityTool, QString user, QString service, QString key);
// `security delete-generic-password -a USER -s SERVICE`.
QCoro::Task<> deleteKey(ToolRunner &tools, QString securityTool, QString user, QString service);

} // namespace Keychain
