#pragma once

#include "cli/memory.h"
#include "cli/output.h"

#include <QCommandLineParser>
#include <QCoro/QCoroTask>
#include <QStringList>
#include <exception>
#include <memory>
#include <optional>

class ConnectState;
class Platform;
class FileWorker;
class ToolRunner;

namespace Cli {

// The exit statuses of every command.
enum Exit : int {
    success = 0,
    failed = 1, // the operation failed
    usage = 2, // the command line is wrong
    signedOut = 4, // the command needs a sign-in, and there is none
};

// What a command works with: its parsed options, the state, and the memory of earlier runs.
struct Context
{
    const QCommandLineParser &options;
    const Output &out;
    ConnectState &state;
    Memory &memory;
    ToolRunner &tools;
    FileWorker &files; // the file key store's reads and writes
    QString appFolder;
};

// Runs `task` to its end in a nested event loop and returns its result, or throws what it threw
// (QCoro's own waitFor() would wait for ever on a task that throws).
template <typename T> T waitFor(QCoro::Task<T> task)
{
    std::exception_ptr error;
    std::optional<T> result;
    const auto run = [&]() -> QCoro::Task<> {
        try {
            result = co_await task;
        } catch (...) {
            error = std::current_exception();
        }
    };
    QCoro::waitFor(run());
    if (error)
        std::rethrow_exception(error);
    return std::move(*result);
}

inline void waitFor(QCoro::Task<> task)
{
    std::exception_ptr error;
    const auto run = [&]() -> QCoro::Task<> {
        try {
            co_await task;
        } catch (...) {
            error = std::current_exception();
        }
    };
    QCoro::waitFor(run());
    if (error)
        std::rethrow_exception(error);
}

// Runs `velmora` with `arguments` (the program's name first); returns the exit status.
int run(const QStringList &arguments, std::shared_ptr<Platform> platform);

} // namespace Cli
