#pragma once

#include <QString>
#include <chrono>

class QNetworkReply;

// The one place where a failed transfer becomes the text the user reads. A transfer that
// made no progress for `timeout` is described as such (the network layer only says it was
// cancelled); every other failure keeps the platform's own description.
QString networkErrorDescription(const QNetworkReply &reply, std::chrono::milliseconds timeout);
