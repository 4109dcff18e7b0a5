#pragma once

#include "service/remote.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

// Reading the relay's replies. Pure functions: they take values and return values.

// The longest text or id handed to the window. A relay's longer text is cut to it; a longer id
// is no id at all (the window could not show it, and an agent's configuration would carry it).
inline constexpr qsizetype shownTextLimit = 300;

// `text` as the window can show it: at most shownTextLimit characters, the last one "…" when
// cut (never inside a surrogate pair).
QString shownText(const QString &text);
// `text` shown with `secret` masked first: the whole secret, and any leading part of it long
// enough to help a guess (a relay or a cut may have shortened it), each as "***".
QString shownText(QString text, const QString &secret);

// The body of a 2xx reply: a JSON object or array. Anything else throws a PlatformError
// with the parser's description (never an empty one).
QJsonValue parseSuccessBody(const QByteArray &body);
// The description of an error reply: its top-level string "message" (even an empty one),
// shown, else "接口返回 " and the status code.
QString errorReplyMessage(int status, const QByteArray &body);

// The member "data" of an object that has one (a null included), else the value itself.
QJsonValue unwrapEnvelope(const QJsonValue &value);

// Groups from a bare array, {"groups": [...]} or {"data": [...]}, in the service's order. A
// name longer than shownTextLimit counts as none; the platform label is shown.
QList<RemoteGroup> parseGroupList(const QJsonValue &value);
// Models from a bare array, {"data": [...]}, or {"data": {"data": [...]}}: duplicates removed,
// sorted by id (code points after NFC), ties on id by owner. An id longer than shownTextLimit
// counts as none; the owner is shown.
QList<RemoteModel> parseModelList(const QJsonValue &value);

// From the profile reply (envelope included): "display_name", "name", "email", else
// "已登录账户"; shown.
QString profileAccountName(const QJsonValue &profileReply);
// The account's identity: the profile's "id", else its "email", else the account name. An id or
// e-mail address longer than shownTextLimit counts as none.
QString profileAccountKey(const QJsonValue &profileReply, const QString &accountName);
