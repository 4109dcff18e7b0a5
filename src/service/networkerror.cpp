#include "service/networkerror.h"

#include "service/servicetexts.h"

#include <QNetworkReply>

QString networkErrorDescription(const QNetworkReply &reply, std::chrono::milliseconds timeout)
{
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError: // nothing else cancels a transfer
    case QNetworkReply::TimeoutError: {
        const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(timeout).count();
        return ServiceTexts::timedOut.arg(seconds);
    }
    default:
        return reply.errorString();
    }
}
