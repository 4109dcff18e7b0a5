#include "modelcalls.h"

#include "relayreplies.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// The agents' model calls. Every protocol answers "pong", whole or as server-sent events: one
// table, one entry per protocol, each naming its path, its reply and its stream.
const QString modelReplyText = QStringLiteral("pong");

using Event = std::pair<QByteArray, QJsonObject>; // "event:" name (empty: none) and data

QJsonObject responsesMessage()
{
    const QJsonObject text { { "type", "output_text" }, { "text", modelReplyText },
        { "annotations", QJsonArray {} } };
    return { { "type", "message" }, { "id", "msg_pong" }, { "role", "assistant" }, { "status", "completed" },
        { "content", QJsonArray { text } } };
}

QJsonObject responsesReply(const QString &model)
{
    const QJsonObject usage { { "input_tokens", 1 }, { "output_tokens", 1 }, { "total_tokens", 2 },
        { "input_tokens_details", QJsonObject { { "cached_tokens", 0 } } },
        { "output_tokens_details", QJsonObject { { "reasoning_tokens", 0 } } } };
    return { { "id", "resp_pong" }, { "object", "response" }, { "created_at", 0 }, { "status", "completed" },
        { "model", model }, { "output", QJsonArray { responsesMessage() } }, { "usage", usage } };
}

QList<Event> responsesEvents(const QString &model)
{
    QJsonObject created = responsesReply(model);
    created.insert("status", "in_progress");
    created.insert("output", QJsonArray {});
    return { { "response.created", { { "type", "response.created" }, { "response", created } } },
        { "response.output_text.delta",
            { { "type", "response.output_text.delta" }, { "item_id", "msg_pong" }, { "output_index", 0 },
                { "content_index", 0 }, { "delta", modelReplyText } } },
        { "response.output_item.done",
            { { "type", "response.output_item.done" }, { "output_index", 0 },
                { "item", responsesMessage() } } },
        { "response.completed",
            { { "type", "response.completed" }, { "response", responsesReply(model) } } } };
}

QJsonObject messagesReply(const QString &model)
{
    const QJsonObject text { { "type", "text" }, { "text", modelReplyText } };
    return { { "id", "msg_pong" }, { "type", "message" }, { "role", "assistant" }, { "model", model },
        { "content", QJsonArray { text } }, { "stop_reason", "end_turn" },
        { "stop_sequence", QJsonValue::Null },
        { "usage", QJsonObject { { "input_tokens", 1 }, { "output_tokens", 1 } } } };
}

QList<Event> messagesEvents(const QString &model)
{
    QJsonObject start = messagesReply(model);
    start.insert("content", QJsonArray {});
    start.insert("stop_reason", QJsonValue::Null);
    const auto event = [](const char *type, QJsonObject data) {
        data.insert("type", QLatin1String(type));
        return Event { type, data };
    };
    return { event("message_start", { { "message", start } }),
        event("content_block_start",
            { { "index", 0 }, { "content_block", QJsonObject { { "type", "text" }, { "text", "" } } } }),
        event("content_block_delta",
            { { "index", 0 },
                { "delta", QJsonObject { { "type", "text_delta" }, { "text", modelReplyText } } } }),
        event("content_block_stop", { { "index", 0 } }),
        event("message_delta",
            { { "delta",
                  QJsonObject { { "stop_reason", "end_turn" }, { "stop_sequence", QJsonValue::Null } } },
                { "usage", QJsonObject { { "output_tokens", 1 } } } }),
        event("message_stop", {}) };
}

QJsonObject chatChoice(const char *member, const QJsonValue &finish)
{
    return { { "index", 0 },
        { QLatin1String(member), QJsonObject { { "role", "assistant" }, { "content", modelReplyText } } },
        { "finish_reason", finish } };
}

QJsonObject chatReply(const QString &model)
{
    return { { "id", "chatcmpl-pong" }, { "object", "chat.completion" }, { "created", 0 }, { "model", model },
        { "choices", QJsonArray { chatChoice("message", QStringLiteral("stop")) } },
        { "usage",
            QJsonObject { { "prompt_tokens", 1 }, { "completion_tokens", 1 }, { "total_tokens", 2 } } } };
}

QList<Event> chatEvents(const QString &model)
{
    QJsonObject chunk = chatReply(model);
    chunk.insert("object", "chat.completion.chunk");
    chunk.insert("choices", QJsonArray { chatChoice("delta", QJsonValue::Null) });
    chunk.remove("usage");
    QJsonObject last = chatReply(model);
    last.insert("object", "chat.completion.chunk");
    last.insert("choices",
        QJsonArray {
            QJsonObject { { "index", 0 }, { "delta", QJsonObject {} }, { "finish_reason", "stop" } } });
    return { { {}, chunk }, { {}, last } };
}

QJsonObject geminiReply(const QString &model)
{
    const QJsonObject content { { "role", "model" },
        { "parts", QJsonArray { QJsonObject { { "text", modelReplyText } } } } };
    return { { "candidates",
                 QJsonArray {
                     QJsonObject { { "content", content }, { "finishReason", "STOP" }, { "index", 0 } } } },
        { "usageMetadata",
            QJsonObject {
                { "promptTokenCount", 1 }, { "candidatesTokenCount", 1 }, { "totalTokenCount", 2 } } },
        { "modelVersion", model } };
}

QList<Event> geminiEvents(const QString &model)
{
    return { { {}, geminiReply(model) } };
}

struct ModelProtocol
{
    QLatin1String prefix; // the path begins with it…
    QLatin1String suffix; // …and ends with this
    bool streamedByPath; // the path itself asks for a stream, not "stream": true in the body
    QJsonObject (*reply)(const QString &model);
    QList<Event> (*events)(const QString &model);
    QByteArray last; // sent after the events
};

const ModelProtocol modelProtocols[] = {
    { QLatin1String("/v1/responses"), {}, false, responsesReply, responsesEvents, {} },
    { QLatin1String("/v1/messages"), {}, false, messagesReply, messagesEvents, {} },
    { QLatin1String("/v1/chat/completions"), {}, false, chatReply, chatEvents, "data: [DONE]\n\n" },
    { QLatin1String("/v1beta/models/"), QLatin1String(":streamGenerateContent"), true, geminiReply,
        geminiEvents, {} },
    { QLatin1String("/v1beta/models/"), QLatin1String(":generateContent"), false, geminiReply, geminiEvents,
        {} },
};

const ModelProtocol *modelProtocol(const QString &path)
{
    for (const ModelProtocol &protocol : modelProtocols) {
        if (path.startsWith(protocol.prefix) && path.endsWith(protocol.suffix)
            && (protocol.suffix.isEmpty() ? path == protocol.prefix
                                          : !path.sliced(protocol.prefix.size()).contains(u'/')))
            return &protocol;
    }
    return nullptr;
}

} // namespace

bool isModelCall(const QString &path)
{
    return modelProtocol(path) != nullptr;
}

QString callKey(const RecordedRequest &request)
{
    const QByteArray authorization = request.headers.value("authorization");
    if (authorization.startsWith("Bearer "))
        return QString::fromUtf8(authorization.mid(7));
    for (const char *header : { "x-api-key", "x-goog-api-key" }) {
        if (request.headers.contains(header))
            return QString::fromUtf8(request.headers.value(header));
    }
    return {};
}

QString requestedModel(const RecordedRequest &request)
{
    const ModelProtocol &protocol = *modelProtocol(request.path);
    if (!protocol.suffix.isEmpty())
        return request.path.sliced(protocol.prefix.size()).chopped(protocol.suffix.size());
    return QJsonDocument::fromJson(request.body).object().value(QStringLiteral("model")).toString();
}

RelayReply pong(const RecordedRequest &request, const QString &model)
{
    const ModelProtocol &protocol = *modelProtocol(request.path);
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    if (!(protocol.streamedByPath || body.value(QStringLiteral("stream")).toBool()))
        return RelayReplies::reply(200, protocol.reply(model));
    RelayReply result;
    result.headers = { { "Content-Type", "text/event-stream" }, { "Cache-Control", "no-cache" } };
    for (const auto &[name, data] : protocol.events(model)) {
        if (!name.isEmpty())
            result.body += "event: " + name + '\n';
        result.body += "data: " + RelayReplies::json(data) + "\n\n";
    }
    result.body += protocol.last;
    return result;
}
