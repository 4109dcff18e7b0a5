#pragma once

#include <QString>
#include <chrono>

class QNetworkReply;

// The transfer itself failed (no connection, time-out, cut mid-body, TLS, a refused redirect, a
// broken HTTP stream), as opposed to an HTTP reply that carries an error status, whichever it
// is (407 included). Shared by the service calls and the downloads.
bool transportFailed(const QNetworkReply &reply);

// No HTTP answer was taken: a redirect led to a scheme other than http and https (or the URL had
// one to begin with), from https down to http, or (for a request kept to its origin) elsewhere.
bool redirectRefused(const QNetworkReply &reply);

// The one place where a failed transfer becomes the text the user reads. A transfer that
// made no progress for `timeout` is described as such (the network layer only says it was
// cancelled), a redirect refused for leaving the request's origin by this product's text; every
// other failure keeps the platform's own description.
QString networkErrorDescription(const QNetworkReply &reply, std::chrono::milliseconds timeout);
