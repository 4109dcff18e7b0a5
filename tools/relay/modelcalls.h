#pragma once

#include "relayserver.h"

// The agents' model calls: "/v1/responses", "/v1/messages", "/v1/chat/completions" and
// "/v1beta/models/<model>:generateContent" or ":streamGenerateContent".
bool isModelCall(const QString &path);

// The key of an agent's call: a bearer token, or the Anthropic and Gemini key headers.
QString callKey(const RecordedRequest &request);

// The model named by the path ("/v1beta/models/<model>:…") or by the body's "model".
QString requestedModel(const RecordedRequest &request);

// "pong" in the call's protocol: whole, or as server-sent events when the path or the body's
// "stream" asks for a stream.
RelayReply pong(const RecordedRequest &request, const QString &model);
