#pragma once

#include "cli/cli.h"

#include <QCommandLineOption>
#include <QList>

// One function per command: parse, guard, await the state's operation, print.
namespace Commands {

struct Command
{
    const char *name;
    const char *syntax; // after "velmora <name>"
    const char *summary;
    QList<QCommandLineOption> (*options)();
    int (*run)(Cli::Context &context);
};

// Every command, in the order of the overview.
const QList<Command> &all();

int login(Cli::Context &context);
int logout(Cli::Context &context);
int groups(Cli::Context &context);
int models(Cli::Context &context);
int connect(Cli::Context &context);
int check(Cli::Context &context);
int status(Cli::Context &context);
int clear(Cli::Context &context);

} // namespace Commands
