#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// The API root as typed, normalised into the router URL: scheme "https" or "http" exactly as
// typed, a host, the port as typed, and the path with every "/v1" removed and no "/" at
// either end. Empty when the text is not a usable API root (another or an upper-case
// scheme, no host, a user or password, a query, a fragment).
std::optional<QUrl> normalizeRouterURL(const QString &typed);
