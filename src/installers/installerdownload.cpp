#include "installers/installerdownload.h"

#include "installers/installertexts.h"
#include "platform/connecterror.h"
#include "platform/execute.h"
#include "platform/transferfailure.h"

#include <QCoro/QCoroNetworkReply>
#include <QDir>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <array>
#include <coroutine>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

namespace {

// The reply holds at most this much unread; beyond it the transfer waits for the disk, so a
// package of any size passes through a bounded amount of memory.
constexpr qint64 readBufferSize = 1024 * 1024;

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

// Resumes the awaiting task once `reply` has more to read, or has finished (aborted too).
struct MoreData
{
    QNetworkReply &reply;

    bool await_ready() const noexcept { return reply.bytesAvailable() > 0 || reply.isFinished(); }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        auto connections = std::make_shared<std::array<QMetaObject::Connection, 2>>();
        const auto resume = [waiting, connections] {
            for (const QMetaObject::Connection &connection : *connections)
                QObject::disconnect(connection);
            waiting.resume();
        };
        (*connections)[0] = QObject::connect(&reply, &QNetworkReply::readyRead, &reply, resume);
        (*connections)[1] = QObject::connect(&reply, &QNetworkReply::finished, &reply, resume);
    }
    void await_resume() const noexcept { }
};

// Throws unless the reply is a whole package: written without error, no transport failure,
// a 2xx status, and as long as announced.
void checkPackage(const QNetworkReply &source, qint64 written, const InstallerDownload::Request &request)
{
    const QVariant status = source.attribute(QNetworkRequest::HttpStatusCodeAttribute);
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
    if (announced.isValid() && announced.toLongLong() != written)
        throw PlatformError(InstallerTexts::incomplete.arg(written).arg(announced.toLongLong()));
}

// Gives the complete package the name `fileName` in the directory; returns its path.
QString moveIntoPlace(
    QTemporaryFile &part, const InstallerDownload::Request &request, const QString &fileName)
{
    const QString destination = QDir(request.directory).filePath(fileName);
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

InstallerDownload::~InstallerDownload()
{
    // The running download resumes with the abort and ends before the worker goes; one waiting
    // for a write ends when the worker, destroyed next, has finished it.
    m_closing = true;
    if (m_reply)
        m_reply->abort();
}

QCoro::Task<QString> InstallerDownload::run(Request request)
{
    // The bytes go to a temporary file beside the destination and take the package's name
    // only once the whole reply has arrived. Where the system allows, the file has no name
    // at all until then; otherwise it is hidden. Every step on the file runs on the worker:
    // creating it, each write (which a busy disk may hold for long), the move into place, and
    // discarding it after a failure (freeing a large file takes long).
    QTemporaryFile part(
        QDir(request.directory)
            .filePath(QStringLiteral(".") + request.url.fileName() + QStringLiteral(".XXXXXX.part")));
    part.setAutoRemove(false);
    const auto open = [&part, directory = request.directory] {
        makeDownloadsDirectory(directory);
        if (!part.open())
            throw PlatformError(part.errorString());
    };
    std::exception_ptr failure;
    QString saved;
    try {
        co_await m_files.run(open);
        if (m_closing)
            throw ToolsClosed();
        saved = co_await receive(request, part);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure)
        co_return saved;
    const auto discard = [&part] {
        part.close();
        part.remove();
    };
    if (m_closing)
        discard();
    else
        co_await m_files.run(discard);
    std::rethrow_exception(failure);
}

QCoro::Task<QString> InstallerDownload::receive(const Request &request, QTemporaryFile &part)
{
    std::unique_ptr<QNetworkReply, QScopedPointerDeleteLater> reply(
        m_network.get(packageRequest(request.url, request.stallTimeout)));
    m_reply = reply.get();
    // However this ends, the reply says nothing more (a progress after the end would show the
    // download running again).
    const auto detach = qScopeGuard([this, &reply] {
        reply->disconnect();
        m_reply = nullptr;
    });
    reply->setReadBufferSize(readBufferSize);
    connect(reply.get(), &QNetworkReply::downloadProgress, this, &InstallerDownload::progressed);

    // The next chunk is read while the one before is written, and no further: the reply then
    // holds at most its read buffer, and the transfer waits for the disk. Only the final reply's
    // body arrives here (Qt swallows those of redirects); the body of a refusal is read and
    // dropped. No write starts once the object is closing; the one running is awaited.
    qint64 written = 0;
    std::optional<QCoro::Task<>> writing;
    try {
        for (;;) {
            co_await MoreData { *reply };
            if (m_closing)
                break;
            if (reply->bytesAvailable() == 0) {
                if (reply->isFinished())
                    break;
                continue;
            }
            QByteArray chunk = reply->read(readBufferSize);
            if (reply->error() != QNetworkReply::NoError
                || !isSuccess(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute)))
                continue;
            if (writing) {
                co_await *writing;
                writing.reset();
                if (m_closing)
                    break;
            }
            const qint64 size = chunk.size();
            const auto write = [&part, chunk = std::move(chunk)] {
                if (part.write(chunk) != chunk.size())
                    throw PlatformError(part.errorString());
            };
            writing.emplace(m_files.run(write));
            written += size;
        }
    } catch (const Failure &) {
        reply->abort();
        throw;
    }
    if (writing)
        co_await *writing;
    if (m_closing)
        throw ToolsClosed();
    checkPackage(*reply, written, request);
    const auto move
        = [&part, &request, fileName = request.fileName()] { return moveIntoPlace(part, request, fileName); };
    co_return co_await m_files.run(move);
}
