#pragma once

#include "platform/platform.h"

#include <QStringList>
#include <optional>

// A platform whose every answer the test sets: a temporary home and Downloads directory,
// the tools built beside the application, a download server on loopback, a fixed clock.
class TestPlatform : public Platform
{
public:
    TestPlatform();

    QString home;
    QString downloads;
    QString user;
    uint uid = 0;
    QString security; // default: the `security` built with the project
    QString launchctl; // default: the `launchctl` built with the project
    bool codexInstalled = false;
    DeploymentValues deploymentValues;
    std::optional<QDateTime> now; // empty: the real clock
    std::chrono::milliseconds timeout { 12000 };
    std::chrono::milliseconds stallTimeout { 60000 };
    QProcessEnvironment environmentValues; // empty: every folder at its default under `home`

    QStringList opened; // files handed to openFile, in order

    QString homePath() const override { return home; }
    QString downloadsPath() const override { return downloads; }
    QString userName() const override { return user; }
    uint userId() const override { return uid; }
    QString securityTool() const override { return security; }
    QString launchctlTool() const override { return launchctl; }
    bool codexAppInstalled() const override { return codexInstalled; }
    void openFile(const QString &path) override { opened.append(path); }
    DeploymentValues deployment() const override { return deploymentValues; }
    QDateTime currentTime() const override;
    std::chrono::milliseconds transferTimeout() const override { return timeout; }
    std::chrono::milliseconds downloadStallTimeout() const override { return stallTimeout; }
    QProcessEnvironment environment() const override { return environmentValues; }
};

// Where the project's own executables were built (security, launchctl, velmora-relay-sim).
QString builtToolPath(const QString &name);
