#pragma once

#include "service/remote.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

// Reading the relay's replies. Pure functions: they take values and return values.

// The body of a 2xx reply: a JSON object or array. Anything else throws a PlatformError
// with the parser's description (never an empty one).
QJsonValue parseSuccessBody(const QByteArray &body);
// The description of an error reply: its top-level string "message" (even an empty one),
// else "接口返回 " and the status code.
QString errorReplyMessage(int status, const QByteArray &body);

// The member "data" of an object that has one (a null included), else the value itself.
QJsonValue unwrapEnvelope(const QJsonValue &value);

// Groups from a bare array, {"groups": [...]} or {"data": [...]}, in the service's order.
QList<RemoteGroup> parseGroupList(const QJsonValue &value);
// Models from a bare array, {"data": [...]}, or {"data": {"data": [...]}}: duplicates removed,
// sorted by id (code points after NFC), ties on id by owner.
QList<RemoteModel> parseModelList(const QJsonValue &value);

// From the profile reply (envelope included): "display_name", "name", "email", else
// "已登录账户".
QString profileAccountName(const QJsonValue &profileReply);
// The account's identity: the profile's "id", else its "email", else the account name.
QString profileAccountKey(const QJsonValue &profileReply, const QString &accountName);
// "已同步 N 个渠道接口；请选择渠道后接入"
QString syncedAccountDetail(qsizetype groupCount);
