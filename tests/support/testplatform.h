#pragma once

#include "platform/platform.h"

#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <QStringList>
#include <exception>
#include <optional>
#include <type_traits>

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
    std::chrono::milliseconds toolLimit { 30000 };

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
    std::chrono::milliseconds toolTimeout() const override { return toolLimit; }
};

// Where the project's own executables were built (security, launchctl, velmora-relay-sim).
QString builtToolPath(const QString &name);

// Waits for `task` in a local event loop and returns its result or throws what it threw
// (QCoro::waitFor would wait forever for a task that throws).
template <typename T> T awaitTask(QCoro::Task<T> task)
{
    QEventLoop loop;
    bool done = false;
    std::exception_ptr error;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
    const auto run = [&]() -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await task;
                result = true;
            } else {
                result = co_await task;
            }
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        loop.quit();
    };
    run();
    if (!done)
        loop.exec();
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}
