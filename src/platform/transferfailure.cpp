#include "platform/transferfailure.h"

#include "platform/platformtexts.h"

#include <QNetworkReply>

namespace {

// The errors by which Qt reports a reply's own HTTP status (a 407 from the server included).
bool reportsStatus(QNetworkReply::NetworkError error)
{
    return error == QNetworkReply::ProxyAuthenticationRequiredError
        || error == QNetworkReply::ProtocolInvalidOperationError
        || (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
        || (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

} // namespace

bool transportFailed(const QNetworkReply &reply)
{
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError)
        return false;
    // A reply that has an HTTP status is a reply, unless its transfer broke afterwards.
    return !reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() || !reportsStatus(error);
}

bool redirectRefused(const QNetworkReply &reply)
{
    // Qt refuses a less safe redirect as insecure and one to a scheme it cannot fetch as unknown.
    return reply.error() == QNetworkReply::InsecureRedirectError
        || reply.error() == QNetworkReply::ProtocolUnknownError;
}

QString networkErrorDescription(const QNetworkReply &reply, std::chrono::milliseconds timeout)
{
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError: // nothing else cancels a transfer
    case QNetworkReply::TimeoutError: {
        const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(timeout).count();
        return PlatformTexts::timedOut.arg(seconds);
    }
    case QNetworkReply::InsecureRedirectError:
        return PlatformTexts::redirectRefused;
    default:
        return reply.errorString();
    }
}
