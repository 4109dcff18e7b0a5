#pragma once

#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <exception>
#include <optional>

class QProcess;

// Runs the system tools (`security`, `launchctl`) for one window without blocking its event
// loop: the window keeps drawing while a tool works or the keyring waits for its unlock prompt.
class ToolRunner
{
public:
    // A tool still running after `limit` is killed.
    explicit ToolRunner(std::chrono::milliseconds limit);
    // Kills every tool still running; each caller resumes with ToolsClosed before this returns.
    ~ToolRunner();
    ToolRunner(const ToolRunner &) = delete;
    ToolRunner &operator=(const ToolRunner &) = delete;

    // Runs `tool` with `arguments` (no shell) to its end and returns standard output. Standard
    // error is never read. Standard input is inherited, or, with `input`, a pipe carrying that
    // text: a secret handed over this way never shows in the process list. A non-zero status
    // raises "本机配置命令失败"; a tool past the limit, "本机配置命令 <name> 未在 <n> 秒内结束";
    // a launch failure, the system's text.
    QCoro::Task<QString> execute(
        QString tool, QStringList arguments, std::optional<QString> input = std::nullopt);

private:
    std::chrono::milliseconds m_limit;
    QList<QProcess *> m_running;
    bool m_closing = false;
};

// Thrown to the caller of a tool that was stopped because its window is going away: not a
// failure to report, as nobody is left to read it.
class ToolsClosed : public std::exception
{
};
