#pragma once

#include "platform/userfolders.h"

#include <QDateTime>
#include <QProcessEnvironment>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>

// Values fixed when the product is deployed.
struct DeploymentValues
{
    QString defaultApiRoot; // "https://host", scheme and host only
    QString legacyApiHost; // host of the earlier API root, for the old Keychain name
    QUrl downloadServer; // scheme, host and port of the download server, no path
    QString supportQQ;
};

// Everything the state needs from the machine it runs on. The default is the real
// system; tests hand in their own (a temporary home, a local relay, recording tools).
class Platform
{
public:
    virtual ~Platform() = default;

    virtual QString homePath() const = 0;
    // Empty when the system reports no Downloads directory.
    virtual QString downloadsPath() const = 0;
    virtual QString userName() const = 0;
    virtual uint userId() const = 0;
    // Absolute paths of the keychain and launchd tools.
    virtual QString securityTool() const = 0;
    virtual QString launchctlTool() const = 0;
    // Whether the Codex desktop application is installed ("/Applications/Codex.app").
    virtual bool codexAppInstalled() const = 0;
    // Opens a file with its default application; the answer is not awaited. The system
    // platform has no desktop of its own: the window hands it its opener.
    virtual void openFile(const QString &path) = 0;
    virtual DeploymentValues deployment() const = 0;
    virtual QDateTime currentTime() const = 0;
    // Longest time a request may make no progress.
    virtual std::chrono::milliseconds transferTimeout() const = 0;
    virtual std::chrono::milliseconds downloadStallTimeout() const = 0;
    // The environment the app was started with: where the agents' folders are.
    virtual QProcessEnvironment environment() const = 0;

    UserFolders folders() const { return UserFolders::from(homePath(), environment()); }
    // Longest time a keychain or launchd tool may run.
    virtual std::chrono::milliseconds toolTimeout() const = 0;
};

class SystemPlatform : public Platform
{
public:
    using FileOpener = std::function<void(const QString &path)>;
    // Without an opener (the command line), a downloaded file is only saved.
    explicit SystemPlatform(FileOpener opener = {});

    QString homePath() const override;
    QString downloadsPath() const override;
    QString userName() const override;
    uint userId() const override;
    QString securityTool() const override;
    QString launchctlTool() const override;
    bool codexAppInstalled() const override;
    void openFile(const QString &path) override;
    DeploymentValues deployment() const override;
    QDateTime currentTime() const override;
    std::chrono::milliseconds transferTimeout() const override;
    std::chrono::milliseconds downloadStallTimeout() const override;
    QProcessEnvironment environment() const override;
    std::chrono::milliseconds toolTimeout() const override;

private:
    FileOpener m_opener;
};

std::shared_ptr<Platform> systemPlatform(SystemPlatform::FileOpener opener = {});
