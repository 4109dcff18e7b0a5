#pragma once

#include "platform/fileworker.h"

#include <QCoro/QCoroTask>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QTemporaryFile;

// downloadServer + "/agent-packages/" + the package's file name.
QUrl installerUrl(const QUrl &downloadServer, const QString &packageFileName);

// Downloads one installer package into a directory. The bytes go to a temporary file beside
// the destination and take the destination's name only once the whole reply has arrived.
class InstallerDownload : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QUrl url;
        QString directory; // created when missing
        // The destination's name in `directory`, asked for once the whole package has arrived.
        std::function<QString()> fileName;
        bool replace = false; // an earlier file of that name is replaced, else the move fails
        QString notPublished; // the failure text of a refusal by the server
        std::chrono::milliseconds stallTimeout { 60000 };
    };
    // Replies come from `network`, which outlives every download.
    explicit InstallerDownload(QNetworkAccessManager &network);
    // Ends the running download (its task resumes and ends) before the object goes.
    ~InstallerDownload() override;

    // The saved package's path. Throws on every failure, leaving nothing behind.
    QCoro::Task<QString> run(Request request);

Q_SIGNALS:
    // Bytes received of the running download; a total of -1 when the server announced none.
    void progressed(qint64 received, qint64 total);

private:
    // Receives the body into `part` and moves it into place; returns its path.
    QCoro::Task<QString> receive(const Request &request, QTemporaryFile &part);

    QNetworkAccessManager &m_network;
    QPointer<QNetworkReply> m_reply; // of the running download
    bool m_closing = false;
    // The file steps of every download, off the window's thread; destroyed first.
    FileWorker m_files;
};
