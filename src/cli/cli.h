#pragma once

#include "cli/memory.h"
#include "cli/output.h"

#include <QCommandLineParser>
#include <QStringList>
#include <memory>

class ConnectState;
class Platform;
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
    QString appFolder;
};

// Runs `velmora` with `arguments` (the program's name first); returns the exit status.
int run(const QStringList &arguments, std::shared_ptr<Platform> platform);

} // namespace Cli
