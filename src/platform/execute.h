#pragma once

#include "platform/connecterror.h"

#include <QCoro/QCoroTask>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QThread>
#include <chrono>
#include <exception>
#include <optional>

// How a program that run() started ended.
struct ProgramRun
{
    bool finished = false; // false: still running at the limit, and killed
    int exitCode = -1; // the status of a normal exit; -1 after a crash or a kill
    QString output; // standard output and standard error as one text, at most 64 KiB of it
};

// Runs the system tools (`security`, `launchctl`) and the agents' own commands for one window
// without blocking its event loop: the programs are started, fed and waited for on a thread of
// the runner's own, so that the window keeps drawing while a program starts (a fork and an exec
// that a busy machine may take milliseconds to schedule), works, or waits for the keyring's
// unlock prompt.
class ToolRunner
{
public:
    // A tool still running after `limit` is killed.
    explicit ToolRunner(std::chrono::milliseconds limit);
    // Kills every program still running; each caller resumes with ToolsClosed before this
    // returns.
    ~ToolRunner();
    ToolRunner(const ToolRunner &) = delete;
    ToolRunner &operator=(const ToolRunner &) = delete;

    // Runs `tool` with `arguments` (no shell) to its end and returns standard output. Standard
    // error is never read. Standard input is inherited, or, with `input`, a pipe carrying that
    // text: a secret handed over this way never shows in the process list. A non-zero status
    // raises ToolFailed; a tool past the limit, "本机配置命令 <name> 未在 <n> 秒内结束";
    // a launch failure, the system's text.
    QCoro::Task<QString> execute(
        QString tool, QStringList arguments, std::optional<QString> input = std::nullopt);

    // Runs `program` (no shell) with `arguments` in `environment` and in `folder`, standard
    // input empty, to its end or until `limit` has passed, and returns how it ended whatever its
    // status: for the agents' own commands, whose failure is an answer, not an error. The program
    // runs in a session of its own, without a controlling terminal, so that an interactive shell
    // neither takes the terminal of the app nor stops its process group; past the limit the
    // whole group is killed, with whatever the program started. Throws only when the program
    // cannot be started (the system's text).
    QCoro::Task<ProgramRun> run(QString program, QStringList arguments, QProcessEnvironment environment,
        QString folder, std::chrono::milliseconds limit);

private:
    struct Launch;
    struct Outcome;
    class Host;

    // Runs `launch` on the runner's thread and resumes with how it ended.
    QCoro::Task<Outcome> launch(Launch launch);

    std::chrono::milliseconds m_limit;
    QThread m_thread;
    Host *m_host; // lives on m_thread, the parent of every program running
    bool m_closing = false;
};

// A tool that ran to its end with a non-zero status: "本机配置命令失败", and the status for
// callers to whom one status is an answer (the keychain's "no such item").
class ToolFailed : public ConnectError
{
public:
    explicit ToolFailed(int exitStatus);
    int exitStatus() const noexcept { return m_exitStatus; }

private:
    int m_exitStatus;
};

// Thrown to the caller of a tool that was stopped because its window is going away: not a
// failure to report, as nobody is left to read it.
class ToolsClosed : public std::exception
{
};
