#pragma once

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
QString loadKey(const QString &securityTool, const QString &user, const QString &service);
// `security add-generic-password -U -a USER -s SERVICE -w KEY`.
void storeKey(const QString &securityTool, const QString &user, const QString &service, const QString &key);
// `security delete-generic-password -a USER -s SERVICE`.
void deleteKey(const QString &securityTool, const QString &user, const QString &service);

} // namespace Keychain
