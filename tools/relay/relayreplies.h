#pragma once

#include "relayserver.h"

#include <QJsonDocument>

// The forms of the relay's answers, shared by the router, the demo account and the transfer.
namespace RelayReplies {

inline QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

inline RelayReply reply(int status, const QJsonObject &body)
{
    RelayReply result;
    result.status = status;
    result.body = json(body);
    return result;
}

inline RelayReply plain(int status, const QByteArray &text)
{
    RelayReply result;
    result.status = status;
    result.body = text;
    result.headers = { { "Content-Type", "text/plain; charset=utf-8" } };
    return result;
}

inline RelayReply notFound()
{
    return plain(404, "404 page not found");
}

inline RelayReply methodNotAllowed()
{
    return plain(405, "405 method not allowed");
}

inline QJsonObject messageObject(const QString &message)
{
    return { { QStringLiteral("message"), message } };
}

} // namespace RelayReplies
