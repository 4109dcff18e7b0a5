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

void makeDownloadsDirectory(const QString &downloads)
{
    std::error_code created;
    std::filesystem::create_directories(QFile::encodeName(downloads).toStdString(), created);
    if (created)
        throw PlatformError(
            InstallerTexts::cannotCreateDownloads.arg(downloads, QString::fromLocal8Bit(created.message())));
}

QNetworkRequest packageRequest(const QUrl &url, std::chrono::milliseconds stallTimeout)
{
    QNetworkRequest get(url);
    // Redirects carry no credentials here and may lead to another host, but never to a less safe
    // scheme (http after https, file:, …).
    get.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    get.setTransferTimeout(int(stallTimeout.count()));
    // The package is kept byte for byte as published: a .tgz that a server marks as
    // gzip-encoded must not be unpacked on the way.
    get.setRawHeader("Accept-Encoding", "identity");
    return get;
}

// Moves the reply's body into the temporary file as it arrives. Only the final reply's body
// arrives here (Qt swallows those of redirects); the body of a refusal is read and dropped.
class BodyWriter
{
public:
    BodyWriter(QNetworkReply &source, QTemporaryFile &part)
        : m_source(source)
        , m_part(part)
        , m_buffer(copyBufferSize, Qt::Uninitialized)
    {
    }

    void drain()
    {
        if (!m_source.isOpen())
            return;
        if (!m_writeError.isEmpty()
            || !isSuccess(m_source.attribute(QNetworkRequest::HttpStatusCodeAttribute))) {
            m_source.skip(m_source.bytesAvailable());
            return;
        }
        qint64 size;
        while ((size = m_source.read(m_buffer.data(), m_buffer.size())) > 0) {
            if (m_part.write(m_buffer.constData(), size) != size) {
                m_writeError = m_part.errorString();
                // Not from inside this signal: the task resumes on `finished`.
                QMetaObject::invokeMethod(&m_source, &QNetworkReply::abort, Qt::QueuedConnection);
                return;
            }
            m_written += size;
        }
    }

    const QString &writeError() const { return m_writeError; }
    qint64 written() const { return m_written; }

private:
    QNetworkReply &m_source;
    QTemporaryFile &m_part;
    QByteArray m_buffer;
    QString m_writeError;
    qint64 m_written = 0;
};

// Throws unless the reply is a whole package: written without error, no transport failure,
// a 2xx status, and as long as announced.
void checkPackage(
    const QNetworkReply &source, const BodyWriter &writer, const InstallerDownload::Request &request)
{
    const QVariant status = source.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!writer.writeError().isEmpty())
        throw PlatformError(writer.writeError());
    // Sent off HTTP, or from https down to http: no answer to take, as when it is not HTTP.
    if (redirectRefused(source))
        throw ConnectError(request.notPublished);
    if (transportFailed(source))
        throw PlatformError(networkErrorDescription(source, request.stallTimeout));
    // Not HTTP, or refused: only the final status counts.
    if (!isSuccess(status))
        throw ConnectError(request.notPublished);
    if (source.error() != QNetworkReply::NoError)
        throw PlatformError(networkErrorDescription(source, request.stallTimeout));
    // A connection that closes early must never pass for a complete package; nothing is
    // decoded on the way, so the announced length is the length on disk.
    const QVariant announced = source.header(QNetworkRequest::ContentLengthHeader);
    const qint64 written = writer.written();
    if (announced.isValid() && announced.toLongLong() != written)
        throw PlatformError(InstallerTexts::incomplete.arg(written).arg(announced.toLongLong()));
}

// Gives the complete package its name in the directory; returns its path.
QString moveIntoPlace(QTemporaryFile &part, const InstallerDownload::Request &request)
{
    const QString destination = QDir(request.directory).filePath(request.fileName());
    if (request.replace)
        QFile::remove(destination);
    if (!part.rename(destination))
        throw PlatformError(InstallerTexts::cannotMove.arg(destination, part.errorString()));
    part.setAutoRemove(false);
    return destination;
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
    makeDownloadsDirectory(request.directory);
    // The bytes go to a temporary file beside the destination and take the package's name
    // only once the whole reply has arrived. Where the system allows, the file has no name
    // at all until then; otherwise it is hidden and removed with this object.
    QTemporaryFile part(
        QDir(request.directory)
            .filePath(QStringLiteral(".") + request.url.fileName() + QStringLiteral(".XXXXXX.part")));
    if (!part.open())
        throw PlatformError(part.errorString());

    std::unique_ptr<QNetworkReply, QScopedPointerDeleteLater> reply(
        m_network.get(packageRequest(request.url, request.stallTimeout)));
    reply->setReadBufferSize(readBufferSize);
    BodyWriter writer(*reply, part);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&writer] { writer.drain(); });
    connect(reply.get(), &QNetworkReply::downloadProgress, this, &InstallerDownload::progressed);

    co_await reply.get();
    writer.drain();
    reply->disconnect();

    checkPackage(*reply, writer, request);
    co_return moveIntoPlace(part, request);
}
