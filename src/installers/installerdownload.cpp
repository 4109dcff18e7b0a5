#include "installers/installerdownload.h"

#include "installers/installertexts.h"
#include "platform/connecterror.h"
#include "platform/transferfailure.h"

#include <QCoro/QCoroNetworkReply>
#include <QDir>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>

namespace {

// The reply holds at most this much unread; beyond it the transfer waits for the disk, so a
// package of any size passes through a bounded amount of memory.
constexpr qint64 readBufferSize = 1024 * 1024;
// Bytes move from the reply to the file through one buffer of this size, allocated once.
constexpr qsizetype copyBufferSize = 256 * 1024;

bool isSuccess(const QVariant &status)
{
    const int code = status.toInt();
    return status.isValid() && code >= 200 && code <= 299;
}

} // namespace

QUrl installerUrl(const QUrl &downloadServer, const QString &packageFileName)
{
    QUrl url = downloadServer.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    url.setPath(QStringLiteral("/agent-packages/") + packageFileName);
    return url;
}

InstallerDownload::InstallerDownload(QNetworkAccessManager &network)
    : m_network(network)
{
}

QCoro::Task<QString> InstallerDownload::run(Request request)
{
    const QString downloads = request.directory;
    std::error_code created;
    std::filesystem::create_directories(QFile::encodeName(downloads).toStdString(), created);
    if (created)
        throw PlatformError(
            InstallerTexts::cannotCreateDownloads.arg(downloads, QString::fromLocal8Bit(created.message())));

    // The bytes go to a temporary file beside the destination and take the package's name
    // only once the whole reply has arrived. Where the system allows, the file has no name
    // at all until then; otherwise it is hidden and removed with this object.
    QTemporaryFile part(QDir(downloads).filePath(
        QStringLiteral(".") + request.url.fileName() + QStringLiteral(".XXXXXX.part")));
    if (!part.open())
        throw PlatformError(part.errorString());

    QNetworkRequest get(request.url);
    get.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    const auto stallTimeout = request.stallTimeout;
    get.setTransferTimeout(int(stallTimeout.count()));
    // The package is kept byte for byte as published: a .tgz that a server marks as
    // gzip-encoded must not be unpacked on the way.
    get.setRawHeader("Accept-Encoding", "identity");

    std::unique_ptr<QNetworkReply, QScopedPointerDeleteLater> reply(m_network.get(get));
    reply->setReadBufferSize(readBufferSize);

    QString writeError;
    qint64 written = 0;
    QByteArray buffer(copyBufferSize, Qt::Uninitialized);
    QNetworkReply *source = reply.get();
    // Only the final reply's body arrives here (Qt swallows those of redirects); the body
    // of a refusal is read and dropped.
    auto drain = [source, &part, &writeError, &written, &buffer] {
        if (!source->isOpen())
            return;
        if (!writeError.isEmpty()
            || !isSuccess(source->attribute(QNetworkRequest::HttpStatusCodeAttribute))) {
            source->skip(source->bytesAvailable());
            return;
        }
        qint64 size;
        while ((size = source->read(buffer.data(), buffer.size())) > 0) {
            if (part.write(buffer.constData(), size) != size) {
                writeError = part.errorString();
                // Not from inside this signal: the task resumes on `finished`.
                QMetaObject::invokeMethod(source, &QNetworkReply::abort, Qt::QueuedConnection);
                return;
            }
            written += size;
        }
    };
    QObject::connect(source, &QNetworkReply::readyRead, source, drain);
    connect(source, &QNetworkReply::downloadProgress, this, &InstallerDownload::progressed);

    co_await source;
    drain();
    source->disconnect();

    const QVariant status = source->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!writeError.isEmpty())
        throw PlatformError(writeError);
    if (transportFailed(*source))
        throw PlatformError(networkErrorDescription(*source, stallTimeout));
    // Not HTTP, or refused: only the final status counts.
    if (!isSuccess(status))
        throw ConnectError(request.notPublished);
    if (source->error() != QNetworkReply::NoError)
        throw PlatformError(networkErrorDescription(*source, stallTimeout));
    // A connection that closes early must never pass for a complete package; nothing is
    // decoded on the way, so the announced length is the length on disk.
    const QVariant announced = source->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() != written)
        throw PlatformError(InstallerTexts::incomplete.arg(written).arg(announced.toLongLong()));

    const QString destination = QDir(downloads).filePath(request.fileName);
    if (request.replace)
        QFile::remove(destination);
    if (!part.rename(destination))
        throw PlatformError(InstallerTexts::cannotMove.arg(destination, part.errorString()));
    part.setAutoRemove(false);
    co_return destination;
}
