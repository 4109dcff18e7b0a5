#include "relayserver.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <algorithm>

namespace {

// Any JSON value, scalars included, as compact text.
QByteArray compactJson(const QJsonValue &value)
{
    const QByteArray wrapped = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

} // namespace

QString RelayServer::loadScenario(const QJsonObject &scenario)
{
    DemoAccount &demo = account();
    const QJsonObject changes = scenario.value(QStringLiteral("account")).toObject();
    for (const auto &[name, target] : { std::pair { "email", &demo.email },
             std::pair { "password", &demo.password }, std::pair { "accessToken", &demo.accessToken },
             std::pair { "access_token", &demo.accessToken } }) {
        const QJsonValue value = changes.value(QLatin1String(name));
        if (value.isString())
            *target = value.toString();
        else if (!value.isUndefined())
            return QStringLiteral("account.%1 must be a string").arg(QLatin1String(name));
    }
    if (changes.contains(QStringLiteral("profile")))
        demo.profile = changes.value(QStringLiteral("profile")).toObject();
    if (changes.contains(QStringLiteral("groups")))
        demo.groups = changes.value(QStringLiteral("groups")).toArray();
    if (changes.contains(QStringLiteral("models"))) {
        demo.models = changes.value(QStringLiteral("models")).toArray();
        demo.listedModelsOnly = true;
    }

    const QJsonArray routes = scenario.value(QStringLiteral("routes")).toArray();
    const auto scriptedMembers
        = { "status", "body", "bodyText", "headers", "stall", "closeMidBody", "bodyFile", "dribbleMs" };
    for (qsizetype index = 0; index < routes.size(); ++index) {
        const QJsonObject route = routes.at(index).toObject();
        const QString path = route.value(QStringLiteral("path")).toString();
        if (!path.startsWith(QLatin1Char('/')))
            return QStringLiteral("routes[%1].path must begin with \"/\"").arg(index);
        const QByteArray method
            = route.value(QStringLiteral("method")).toString(QStringLiteral("GET")).toUtf8();
        const QJsonValue missing = route.value(QStringLiteral("missing"));
        if (missing == QJsonValue(true)) {
            removeRoute(method, path);
            continue;
        }
        if (missing == QJsonValue(QStringLiteral("method"))) {
            removeRoute(method, path, true);
            continue;
        }
        // Only a delay: the demo's own answer, later.
        const bool answerGiven = std::any_of(scriptedMembers.begin(), scriptedMembers.end(),
            [&route](const char *member) { return route.contains(QLatin1String(member)); });
        if (!answerGiven && route.contains(QStringLiteral("delayMs"))) {
            delayRoute(method, path, route.value(QStringLiteral("delayMs")).toInt());
            continue;
        }
        RelayReply reply;
        reply.status = route.value(QStringLiteral("status")).toInt(200);
        if (route.contains(QStringLiteral("bodyText")))
            reply.body = route.value(QStringLiteral("bodyText")).toString().toUtf8();
        else if (route.contains(QStringLiteral("body")))
            reply.body = compactJson(route.value(QStringLiteral("body")));
        const QJsonObject headers = route.value(QStringLiteral("headers")).toObject();
        for (auto header = headers.constBegin(); header != headers.constEnd(); ++header)
            reply.headers.append({ header.key().toUtf8(), header.value().toString().toUtf8() });
        reply.delayMs = route.value(QStringLiteral("delayMs")).toInt();
        reply.stall = route.value(QStringLiteral("stall")).toBool();
        reply.closeMidBody = route.value(QStringLiteral("closeMidBody")).toBool();
        reply.bodyFile = route.value(QStringLiteral("bodyFile")).toString();
        reply.dribbleMs = route.value(QStringLiteral("dribbleMs")).toInt();
        script(method, path, reply);
    }

    const QJsonObject packages = scenario.value(QStringLiteral("packages")).toObject();
    for (auto package = packages.constBegin(); package != packages.constEnd(); ++package) {
        const QString value = package.value().toString();
        if (QFileInfo(value).isFile())
            setPackageFile(package.key(), value);
        else
            setPackage(package.key(), value.toUtf8());
    }
    return {};
}
