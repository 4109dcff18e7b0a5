#include "service/replies.h"

#include "platform/connecterror.h"
#include "service/servicetexts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace {

// The first of `names` whose member is a string.
std::optional<QString> firstString(const QJsonObject &object, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isString())
            return value.toString();
    }
    return std::nullopt;
}

// The first of `names` whose member is a string short enough to be an id.
std::optional<QString> firstID(const QJsonObject &object, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isString() && value.toString().size() <= shownTextLimit)
            return value.toString();
    }
    return std::nullopt;
}

// An integral number as is, any other number truncated toward zero; empty for anything
// else and for numbers beyond the 64-bit range.
std::optional<qint64> groupID(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const QVariant number = value.toVariant();
    if (number.typeId() == QMetaType::LongLong)
        return number.toLongLong();
    const double truncated = std::trunc(number.toDouble());
    if (!(truncated >= -9223372036854775808.0 && truncated < 9223372036854775808.0))
        return std::nullopt;
    return qint64(truncated);
}

// Any JSON value as compact text: a string unchanged, a number in plain decimal form.
QString plainText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    // An integer beyond 64 bits is kept as a double, which JSON would write as 4.5e+20.
    if (value.isDouble() && value.toVariant().typeId() == QMetaType::Double) {
        const double number = value.toDouble();
        if (std::isfinite(number) && std::trunc(number) == number)
            return QString::number(number, 'f', 0);
    }
    const QByteArray wrapped = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
}

QJsonObject profileObject(const QJsonValue &profileReply)
{
    return unwrapEnvelope(profileReply).toObject();
}

// Canonically composed, then by code point (not UTF-16 unit: astral characters sort after
// the whole basic plane).
QList<uint> sortKey(const QString &text)
{
    return text.normalized(QString::NormalizationForm_C).toUcs4();
}

} // namespace

QString shownText(const QString &text)
{
    if (text.size() <= shownTextLimit)
        return text;
    qsizetype kept = shownTextLimit - 1;
    if (text.at(kept - 1).isHighSurrogate())
        --kept;
    return text.left(kept) + u'\u2026';
}

QString shownText(QString text, const QString &secret)
{
    // Shorter leading parts ("sk-" and a few more) say nothing about the rest.
    constexpr qsizetype leading = 8;
    if (secret.size() < leading)
        return shownText(secret.isEmpty() ? text : text.replace(secret, QStringLiteral("***")));
    const QStringView start = QStringView(secret).first(leading);
    for (qsizetype at = text.indexOf(start); at >= 0; at = text.indexOf(start, at + 3)) {
        qsizetype length = leading;
        while (
            length < secret.size() && at + length < text.size() && text.at(at + length) == secret.at(length))
            ++length;
        text.replace(at, length, QStringLiteral("***"));
    }
    return shownText(text);
}

QJsonValue parseSuccessBody(const QByteArray &body)
{
    if (body.trimmed().isEmpty())
        throw PlatformError(ServiceTexts::jsonEmpty);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (document.isObject())
        return document.object();
    if (document.isArray())
        return document.array();
    // The parser calls a valid scalar just "illegal value"; say what is wrong with it.
    QJsonParseError wrappedError;
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + body + ']', &wrappedError);
    if (wrappedError.error == QJsonParseError::NoError && wrapped.array().size() == 1)
        throw PlatformError(ServiceTexts::jsonScalar);
    throw PlatformError(ServiceTexts::jsonInvalid.arg(error.errorString()).arg(error.offset));
}

QString errorReplyMessage(int status, const QByteArray &body)
{
    const QJsonValue message = QJsonDocument::fromJson(body).object().value(QStringLiteral("message"));
    if (message.isString())
        return shownText(message.toString());
    return ServiceTexts::statusReturned + QString::number(status);
}

QJsonValue unwrapEnvelope(const QJsonValue &value)
{
    const QJsonObject object = value.toObject();
    if (value.isObject() && object.contains(QStringLiteral("data")))
        return object.value(QStringLiteral("data"));
    return value;
}

QList<RemoteGroup> parseGroupList(const QJsonValue &value)
{
    const QJsonValue payload = unwrapEnvelope(value);
    const QJsonArray items = payload.isArray() ? payload.toArray()
                                               : payload.toObject().value(QStringLiteral("groups")).toArray();
    QList<RemoteGroup> groups;
    for (const QJsonValue &item : items) {
        if (!item.isObject())
            continue;
        const QJsonObject object = item.toObject();
        const std::optional<qint64> id = groupID(object.value(QStringLiteral("id")));
        if (!id)
            continue;
        groups.append(
            { *id, shownText(firstString(object, { "platform", "type" }).value_or(QString()).toLower()),
                firstID(object, { "name", "group_name", "label" }).value_or(QString()) });
    }
    return groups;
}

QList<RemoteModel> parseModelList(const QJsonValue &value)
{
    const QJsonValue payload = unwrapEnvelope(value);
    const QJsonArray items
        = payload.isArray() ? payload.toArray() : payload.toObject().value(QStringLiteral("data")).toArray();

    struct Keyed
    {
        QList<uint> id;
        QList<uint> owner;
        RemoteModel model;
    };
    QList<Keyed> models;
    QSet<QPair<QList<uint>, QList<uint>>> seen;
    for (const QJsonValue &item : items) {
        if (!item.isObject())
            continue;
        const QJsonObject object = item.toObject();
        const std::optional<QString> id = firstID(object, { "id", "model_name", "name" });
        if (!id)
            continue;
        const QString owner
            = shownText(firstString(object, { "owned_by", "vendor" }).value_or(ServiceTexts::defaultOwner));
        Keyed keyed { sortKey(*id), sortKey(owner), { *id, owner } };
        // Canonically equivalent texts are the same id.
        if (seen.contains({ keyed.id, keyed.owner }))
            continue;
        seen.insert({ keyed.id, keyed.owner });
        models.append(std::move(keyed));
    }
    std::sort(models.begin(), models.end(), [](const Keyed &left, const Keyed &right) {
        return std::tie(left.id, left.owner) < std::tie(right.id, right.owner);
    });

    QList<RemoteModel> result;
    result.reserve(models.size());
    for (const Keyed &keyed : models)
        result.append(keyed.model);
    return result;
}

QString profileAccountName(const QJsonValue &profileReply)
{
    return shownText(firstString(profileObject(profileReply), { "display_name", "name", "email" })
                         .value_or(ServiceTexts::fallbackAccountName));
}

QString profileAccountKey(const QJsonValue &profileReply, const QString &accountName)
{
    const QJsonObject profile = profileObject(profileReply);
    for (const char *name : { "id", "email" }) {
        const QJsonValue value = profile.value(QLatin1String(name));
        // A null says there is no such value: it must not become every such account's name.
        if (value.isUndefined() || value.isNull())
            continue;
        const QString key = plainText(value);
        if (key.size() <= shownTextLimit)
            return key;
    }
    return accountName;
}

QString RemoteGroup::displayName() const
{
    const QString label = platform.isEmpty() ? ServiceTexts::genericPlatform : platform;
    const QString title = name.isEmpty() ? ServiceTexts::unnamedGroup + QString::number(id) : name;
    return title + ServiceTexts::groupSeparator + label;
}
