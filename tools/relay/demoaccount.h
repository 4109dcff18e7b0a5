#pragma once

#include "relayserver.h"

#include <QFile>
#include <memory>

// The path under which the installer packages are served.
inline const QString packagePrefix = QStringLiteral("/agent-packages/");

// The demo account's answers: sign-in, profile, channel groups, keys, the model list, the
// installer packages and the agents' model calls. The router has matched the path and the
// method before it asks for one.
class DemoService
{
public:
    DemoService();

    struct Package
    {
        QByteArray bytes;
        QString path; // when set, served from this file
    };

    RelayReply login(const RecordedRequest &request);
    RelayReply profile(const RecordedRequest &request);
    RelayReply groups(const RecordedRequest &request);
    RelayReply issueKey(const RecordedRequest &request);
    RelayReply models(const RecordedRequest &request);
    RelayReply package(const RecordedRequest &request);
    RelayReply modelCall(const RecordedRequest &request);

    // Appends one JSON line per model call to `path` (mode 0600). Returns an error text or empty.
    QString setCallLog(const QString &path);

    DemoAccount account;
    QHash<QString, Package> packages;
    QHash<qint64, QString> issuedKeys;

private:
    bool signedIn(const RecordedRequest &request) const;
    bool issued(const QString &key) const;

    std::unique_ptr<QFile> callLog;
};
