#include "demoaccount.h"

#include "modelcalls.h"
#include "relayreplies.h"

#include <QRandomGenerator>
#include <algorithm>

using RelayReplies::messageObject;
using RelayReplies::reply;

namespace {

QJsonObject defaultProfile(const DemoAccount &account)
{
    return QJsonObject { { QStringLiteral("id"), 42 }, { QStringLiteral("email"), account.email },
        { QStringLiteral("display_name"), QStringLiteral("Velmora Demo") } };
}

QJsonArray defaultGroups()
{
    const auto group = [](int id, const char *name, const char *platform) {
        return QJsonObject { { QStringLiteral("id"), id },
            { QStringLiteral("name"), QString::fromUtf8(name) },
            { QStringLiteral("platform"), QString::fromUtf8(platform) } };
    };
    return { group(1, "默认渠道", "openai"), group(2, "Claude 专线", "anthropic"), group(3, "", "") };
}

QJsonArray defaultModels()
{
    const auto model = [](const char *id, const char *owner) {
        return QJsonObject { { QStringLiteral("id"), QString::fromUtf8(id) },
            { QStringLiteral("object"), QStringLiteral("model") },
            { QStringLiteral("owned_by"), QString::fromUtf8(owner) } };
    };
    // Listed out of order, as services do.
    return { model("gpt-5.6-sol", "openai"), model("claude-sonnet-4.5", "anthropic"),
        model("gpt-5.5", "openai"), model("gemini-2.5-pro", "google"), model("kimi-k3", "moonshot"),
        model("deepseek-v4-pro", "deepseek") };
}

QString bearer(const RecordedRequest &request)
{
    const QByteArray value = request.headers.value("authorization");
    if (!value.startsWith("Bearer "))
        return {};
    return QString::fromUtf8(value.mid(7));
}

} // namespace

DemoService::DemoService()
{
    account.profile = defaultProfile(account);
    account.groups = defaultGroups();
    account.models = defaultModels();
}

bool DemoService::signedIn(const RecordedRequest &request) const
{
    return !account.accessToken.isEmpty() && bearer(request) == account.accessToken;
}

bool DemoService::issued(const QString &key) const
{
    return !key.isEmpty() && std::find(issuedKeys.cbegin(), issuedKeys.cend(), key) != issuedKeys.cend();
}

RelayReply DemoService::login(const RecordedRequest &request)
{
    const QJsonDocument document = QJsonDocument::fromJson(request.body);
    if (!document.isObject())
        return reply(400, messageObject(QStringLiteral("请求格式错误")));
    const QJsonObject body = document.object();
    if (body.value(QStringLiteral("email")).toString() != account.email
        || body.value(QStringLiteral("password")).toString() != account.password)
        return reply(401, messageObject(QStringLiteral("邮箱或密码错误")));
    return reply(200,
        { { QStringLiteral("access_token"), account.accessToken },
            { QStringLiteral("token_type"), QStringLiteral("bearer") } });
}

RelayReply DemoService::profile(const RecordedRequest &request)
{
    if (!signedIn(request))
        return reply(401, messageObject(QStringLiteral("登录已过期，请重新登录")));
    return reply(200, { { QStringLiteral("data"), account.profile } });
}

RelayReply DemoService::groups(const RecordedRequest &request)
{
    if (!signedIn(request))
        return reply(401, messageObject(QStringLiteral("登录已过期，请重新登录")));
    return reply(200, { { QStringLiteral("data"), account.groups } });
}

RelayReply DemoService::issueKey(const RecordedRequest &request)
{
    if (!signedIn(request))
        return reply(401, messageObject(QStringLiteral("登录已过期，请重新登录")));
    const QJsonDocument document = QJsonDocument::fromJson(request.body);
    const QJsonValue groupValue = document.object().value(QStringLiteral("group_id"));
    if (!document.isObject() || !groupValue.isDouble())
        return reply(400, messageObject(QStringLiteral("请求格式错误")));
    const auto groupID = qint64(groupValue.toDouble());
    const bool known
        = std::any_of(account.groups.cbegin(), account.groups.cend(), [groupID](const QJsonValue &group) {
              return qint64(group.toObject().value(QStringLiteral("id")).toDouble()) == groupID;
          });
    if (!known)
        return reply(400, messageObject(QStringLiteral("渠道接口不存在")));

    QString &key = issuedKeys[groupID];
    if (key.isEmpty()) {
        quint32 words[4];
        QRandomGenerator::system()->fillRange(words);
        key = QStringLiteral("sk-velmora-")
            + QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex());
    }
    const QJsonObject payload { { QStringLiteral("key"), key }, { QStringLiteral("group_id"), groupID },
        { QStringLiteral("name"), document.object().value(QStringLiteral("name")) } };
    return reply(200, { { QStringLiteral("data"), payload } });
}

RelayReply DemoService::models(const RecordedRequest &request)
{
    if (!issued(bearer(request)))
        return reply(401, messageObject(QStringLiteral("无效的 API Key")));
    return reply(200,
        { { QStringLiteral("object"), QStringLiteral("list") }, { QStringLiteral("data"), account.models } });
}

RelayReply DemoService::package(const RecordedRequest &request)
{
    const auto package = packages.constFind(request.path.mid(packagePrefix.size()));
    if (package == packages.constEnd())
        return RelayReplies::notFound();
    RelayReply result;
    result.headers = { { "Content-Type", "application/octet-stream" } };
    if (package->path.isEmpty())
        result.body = package->bytes;
    else
        result.bodyFile = package->path;
    return result;
}

RelayReply DemoService::modelCall(const RecordedRequest &request)
{
    const QString key = callKey(request);
    const QString model = requestedModel(request);
    const bool known = issued(key);
    const bool served = !account.listedModelsOnly
        || std::any_of(account.models.cbegin(), account.models.cend(),
            [&](const QJsonValue &listed) { return listed[QStringLiteral("id")].toString() == model; });
    const int status = !known ? 401 : served ? 200 : 404;
    if (callLog) {
        const QJsonObject line { { "path", request.path }, { "key", key }, { "model", model },
            { "status", status } };
        callLog->write(RelayReplies::json(line) + '\n');
        callLog->flush();
    }
    if (status == 401)
        return reply(401, { { "error", messageObject(QStringLiteral("无效的 API Key")) } });
    if (status == 404) {
        const QJsonObject error { { "code", "model_not_found" }, { "type", "invalid_request_error" },
            { "message", QStringLiteral("模型 %1 不存在").arg(model) } };
        return reply(404, { { "error", error } });
    }
    return pong(request, model);
}

QString DemoService::setCallLog(const QString &path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append))
        return file->errorString();
    file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    callLog = std::move(file);
    return {};
}
