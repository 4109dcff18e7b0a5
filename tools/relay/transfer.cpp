#include "transfer.h"

#include "relayreplies.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// Writes one response to a socket: the head at once, the body from memory or from a file as
// the socket drains, so that a large package never sits in memory. Lives as a child of the
// socket and goes with it.
class Transfer : public QObject
{
public:
    Transfer(QTcpSocket *socket, QByteArray head, QByteArray body, std::unique_ptr<QFile> file,
        qint64 sendLength, bool closeAfter)
        : QObject(socket)
        , m_socket(socket)
        , m_body(std::move(body))
        , m_file(std::move(file))
        , m_remaining(sendLength)
        , m_closeAfter(closeAfter)
    {
        m_socket->write(head);
        connect(m_socket, &QTcpSocket::bytesWritten, this, &Transfer::pump);
        pump();
    }

private:
    static constexpr qint64 chunk = 256 * 1024;
    static constexpr qint64 highWater = 1024 * 1024;

    void pump()
    {
        while (m_remaining > 0 && m_socket->bytesToWrite() < highWater) {
            const qint64 size = std::min(chunk, m_remaining);
            QByteArray piece;
            if (m_file) {
                piece = m_file->read(size);
                if (piece.isEmpty()) {
                    m_remaining = 0; // the file shrank under us: cut the connection below
                    m_closeAfter = true;
                    break;
                }
            } else {
                piece = m_body.mid(m_offset, size);
                m_offset += piece.size();
            }
            m_remaining -= piece.size();
            m_socket->write(piece);
        }
        if (m_remaining > 0)
            return;
        disconnect(m_socket, nullptr, this, nullptr);
        if (m_closeAfter)
            m_socket->disconnectFromHost(); // after the queued bytes are out
        deleteLater();
    }

    QTcpSocket *m_socket;
    QByteArray m_body;
    std::unique_ptr<QFile> m_file;
    qint64 m_offset = 0;
    qint64 m_remaining;
    bool m_closeAfter;
};

void send(QTcpSocket *socket, const RelayReply &reply, bool head, bool closeAfter)
{
    std::unique_ptr<QFile> file;
    qint64 length = reply.body.size();
    if (!reply.bodyFile.isEmpty()) {
        file = std::make_unique<QFile>(reply.bodyFile);
        if (!file->open(QIODevice::ReadOnly))
            return send(socket, RelayReplies::notFound(), head, closeAfter);
        length = file->size();
    }

    QByteArray out
        = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    bool hasContentType = false;
    for (const auto &[name, value] : reply.headers) {
        hasContentType = hasContentType || name.toLower() == "content-type";
        out += name + ": " + value + "\r\n";
    }
    if (!hasContentType)
        out += "Content-Type: application/json\r\n";
    out += "Content-Length: " + QByteArray::number(length) + "\r\n";
    out += "Server: velmora-relay-sim\r\n";
    if (closeAfter || reply.closeMidBody)
        out += "Connection: close\r\n";
    out += "\r\n";

    qint64 sendLength = head ? 0 : length;
    if (reply.closeMidBody)
        sendLength = length / 2;
    if (reply.dribbleMs > 0 && !file && sendLength > 0) {
        socket->write(out);
        auto *timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket,
            [socket, timer, body = reply.body.first(sendLength), sent = qsizetype(0)]() mutable {
                socket->write(body.mid(sent++, 1));
                if (sent == body.size())
                    timer->stop();
            });
        timer->start(reply.dribbleMs);
        return;
    }
    new Transfer(socket, out, reply.body, std::move(file), sendLength, closeAfter || reply.closeMidBody);
}

} // namespace

void deliver(QTcpSocket *socket, const RelayReply &reply, bool head, bool closeAfter)
{
    if (reply.stall)
        return; // the socket stays open and silent until the client gives up
    if (reply.delayMs > 0) {
        // Precise: a coarse timer may fire up to 5 % early, and a delay is a promise.
        QTimer::singleShot(reply.delayMs, Qt::PreciseTimer, socket,
            [socket, reply, head, closeAfter] { send(socket, reply, head, closeAfter); });
        return;
    }
    send(socket, reply, head, closeAfter);
}
