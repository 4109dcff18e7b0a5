#include "installers/installertexts.h"
#include "platform/connecterror.h"
#include "platform/transferfailure.h"
#include "state/connectstate.h"

#include <QCoro/QCoroNetworkReply>
#include <QDir>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
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

// "Codex-2026-12-05T12-40-10Z.dmg": the time in UTC, ISO 8601 without fractions, ":" → "-".
QString codexFileName(const QDateTime &now)
{
    return QStringLiteral("Codex-") + now.toUTC().toString(Qt::ISODate).replace(u':', u'-')
        + QStringLiteral(".dmg");
}

} // namespace

void ConnectState::openOfficialInstaller(OfficialInstaller installer)
{
    if (!admitWhileBusy(Operation::download))
        return;
    if (m_platform->downloadsPath().isEmpty()) {
        setActivity(InstallerTexts::failurePrefix + InstallerTexts::noDownloadsDirectory);
        return;
    }
    beginBusy(InstallerTexts::downloading(installer));
    downloadTask(installer, false);
}

void ConnectState::downloadCodex()
{
    if (!admitWhileBusy(Operation::download))
        return;
    if (m_platform->downloadsPath().isEmpty()) {
        setActivity(InstallerTexts::failurePrefix + InstallerTexts::noDownloadsDirectory);
        return;
    }
    beginBusy(InstallerTexts::downloadingCodex);
    downloadTask(OfficialInstaller::codex, true);
}

QCoro::Task<> ConnectState::downloadTask(OfficialInstaller installer, bool timeStamped)
{
    auto scope = busyScope();
    QPointer<ConnectState> self(this);
    // Declared after the busy scope so that the progress is reset before busy is cleared.
    auto progressReset = qScopeGuard([self] {
        if (self)
            self->setDownloadProgress(false, 0, -1);
    });

    try {
        const QString downloads = m_platform->downloadsPath();
        std::error_code created;
        std::filesystem::create_directories(QFile::encodeName(downloads).toStdString(), created);
        if (created)
            throw PlatformError(InstallerTexts::cannotCreateDownloads.arg(
                downloads, QString::fromLocal8Bit(created.message())));

        // The bytes go to a temporary file beside the destination and take the package's name
        // only once the whole reply has arrived. Where the system allows, the file has no name
        // at all until then; otherwise it is hidden and removed with this object.
        QTemporaryFile part(QDir(downloads).filePath(
            QStringLiteral(".") + packageFileName(installer) + QStringLiteral(".XXXXXX.part")));
        if (!part.open())
            throw PlatformError(part.errorString());

        const QUrl url = timeStamped ? codexDownloadURL()
                                     : installerUrl(installer, m_platform->deployment().downloadServer);
        QNetworkRequest request(url);
        request.setAttribute(
            QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        const auto stallTimeout = m_platform->downloadStallTimeout();
        request.setTransferTimeout(int(stallTimeout.count()));
        // The package is kept byte for byte as published: a .tgz that a server marks as
        // gzip-encoded must not be unpacked on the way.
        request.setRawHeader("Accept-Encoding", "identity");

        setDownloadProgress(true, 0, -1);
        std::unique_ptr<QNetworkReply, QScopedPointerDeleteLater> reply(m_network.get(request));
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
        QObject::connect(source, &QNetworkReply::downloadProgress, this,
            [this](qint64 received, qint64 total) { setDownloadProgress(true, received, total); });

        co_await source;
        if (!self) {
            (void)reply.release(); // went with the state's network manager
            co_return;
        }
        drain();
        source->disconnect();

        const QVariant status = source->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!writeError.isEmpty())
            throw PlatformError(writeError);
        if (transportFailed(*source))
            throw PlatformError(networkErrorDescription(*source, stallTimeout));
        // Not HTTP, or refused: only the final status counts.
        if (!isSuccess(status))
            throw ConnectError(
                timeStamped ? InstallerTexts::codexNotPublished : InstallerTexts::notPublished);
        if (source->error() != QNetworkReply::NoError)
            throw PlatformError(networkErrorDescription(*source, stallTimeout));
        // A connection that closes early must never pass for a complete package; nothing is
        // decoded on the way, so the announced length is the length on disk.
        const QVariant announced = source->header(QNetworkRequest::ContentLengthHeader);
        if (announced.isValid() && announced.toLongLong() != written)
            throw PlatformError(InstallerTexts::incomplete.arg(written).arg(announced.toLongLong()));

        const QString destination = QDir(downloads).filePath(
            timeStamped ? codexFileName(m_platform->currentTime()) : packageFileName(installer));
        // An agent package replaces the earlier download of the same name; the time-stamped
        // Codex package never replaces anything, so a name taken makes the move fail.
        if (!timeStamped)
            QFile::remove(destination);
        if (!part.rename(destination))
            throw PlatformError(InstallerTexts::cannotMove.arg(destination, part.errorString()));
        part.setAutoRemove(false);

        m_platform->openFile(destination);
        setActivity(timeStamped ? InstallerTexts::codexOpened : InstallerTexts::opened(installer));
    } catch (...) {
        if (self)
            setActivity(InstallerTexts::failurePrefix + describe(std::current_exception()));
    }
}

QUrl ConnectState::codexDownloadURL() const
{
    return installerUrl(OfficialInstaller::codex, m_platform->deployment().downloadServer);
}
