#pragma once

#include "platform/execute.h"
#include "platform/fileworker.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>
#include <optional>

// The Keychain item of a dedicated key: a generic password whose account is the login
// short name and whose service is built here.
namespace Keychain {

// "velmora-connect:<host>-<port>:<account>:<group>".
QString keychainService(const QUrl &router, const QString &account, qint64 groupID);

// The earlier scheme's name for a host on port 443: "velmora-connect:<host>-443".
QString legacyKeychainService(const QString &host);

// "velmora-connect-session:<host>-<port>": the session of a sign-in at `router`, kept by the
// command line between its runs.
QString sessionService(const QUrl &router);

// Where the keys are kept: the login keychain through `security`, or (where no keychain
// answers) one file per key, mode 0600, in a folder closed to group and others.
struct Store
{
    enum class Kind { keyring, file };
    Kind kind = Kind::keyring;
    QString securityTool; // keyring
    QString user; // keyring
    QString folder; // file
};

// The choice kept in <app folder>/settings.json (`"keyStore": "file"`); the keyring when the
// file or the member is absent. Shared by the window and the command line.
Store::Kind configuredKind(const QString &appFolder);
// Records the choice; throws a Failure when the file cannot be written.
void setConfiguredKind(const QString &appFolder, Store::Kind kind);
QString kindName(Store::Kind kind); // "keyring", "file"
std::optional<Store::Kind> kindNamed(const QString &name);

// The key stored under `service`; throws ToolFailed with itemNotFoundStatus when there is none
// (in the file store too). The file store's reads and writes run on `files`.
QCoro::Task<QString> loadKey(ToolRunner &tools, FileWorker &files, Store store, QString service);
QCoro::Task<> storeKey(ToolRunner &tools, FileWorker &files, Store store, QString service, QString key);
// False when there was no such item.
QCoro::Task<bool> deleteKey(ToolRunner &tools, FileWorker &files, Store store, QString service);
// Removes the file store's key file of each of `services` in `folder` where there is one,
// whichever store is chosen now; throws the first failure other than a missing file.
void removeKeyFiles(const QString &folder, const QStringList &services);
// Whether a keychain answers: false when `security` reports that none is available.
QCoro::Task<bool> keyringAnswers(ToolRunner &tools, Store store);

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
