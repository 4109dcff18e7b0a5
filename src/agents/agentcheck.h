#pragma once

#include "agents/agentkind.h"
#include "agents/launchers.h"
#include "platform/execute.h"
#include "platform/fileworker.h"
#include "platform/userfolders.h"

#include <QCoro/QCoroTask>
#include <QProcessEnvironment>
#include <QString>
#include <QUrl>
#include <chrono>

// Whether a connected agent will really run through what the app wrote, as the user starts it
// from a terminal: the steps on this machine (the relay's own answer is the service's). Nothing
// here changes a file. Each step hands up facts: the state words them.
namespace AgentCheck {

// What a launcher agent was connected with in this run.
struct Target
{
    QUrl router;
    QString keychainService;
    QString model; // the model its files name
    Launchers::KeyringCommand keyring = Launchers::hostKeyringCommand; // how its launcher reads the key
};

// What the checks read the user's machine with.
struct Machine
{
    UserFolders folders; // where the app wrote
    QProcessEnvironment environment; // the app's own
    QString shell; // the user's login shell
    std::chrono::milliseconds limit; // for each program the checks run
    QString user; // the account the app stores the key under
};

// Whether Codex's config.toml holds exactly what the app writes there: Codex's card offers its
// check then, whether or not it was connected in this run.
bool codexFilesWritten(const UserFolders &folders);

// The user's login shell ($SHELL, else /bin/sh).
QString loginShell(const QProcessEnvironment &environment);

// The first fault a check found, with the names a user can act on.
enum class Fault {
    none,
    shellUnreadable, // subject: the shell
    commandMissing, // subject: the command
    versionFailed, // subject: the command's path
    launcherMissing, // subject: the launcher's path
    launcherOffPath, // subject: the folder; detail: the shell file; line: what to add to it
    launcherShadowed, // subject: the launcher's name; detail: the file found first on PATH
    fileChanged, // subject: the launcher, provider or config file that no longer holds what the app wrote
    overridden, // subject: the file or variable that overrides; detail: the setting in it
    notReadBack, // subject: the agent's command that reports its resolved configuration
    noAgentModel, // subject: the prefix of the agent's own models, none of which the relay lists
    keyringToolMissing, // subject: the keychain command the launcher runs
    userDiffers, // subject: the login shell's $USER; detail: the account the key is stored under
    keyUnreadable, // subject: what the keychain command said (empty: nothing, as for no item)
};

struct Result
{
    Fault fault = Fault::none;
    QString subject;
    QString detail;
    QString line;
    QString version; // the version number the agent's --version prints; empty: none in time
    // For the relay's probe: what the agent's files name, and (Codex) the key its auth.json holds.
    QString baseURL;
    QString model;
    QString key;
    QProcessEnvironment shellEnvironment; // the login shell's, for the read-back
};

// Installed, launcher reachable and the app's, nothing overriding it (in this order): the first
// fault, else none with the probe's values. `target` is ignored for Codex, whose files say all.
// The files are read on `files`, off the window's thread.
QCoro::Task<Result> inspect(
    ToolRunner &tools, FileWorker &files, AgentKind kind, Machine machine, Target target);

// The key as the launcher reads it: its own keychain line run in the login shell's environment
// (`result` from inspect()), the key handed back through a pipe. The result with `key` set, or
// the fault that stops the launcher at its first line.
QCoro::Task<Result> launcherKey(
    ToolRunner &tools, FileWorker &files, Machine machine, Result result, Target target);

// The agent's own report of its resolved configuration, where it offers one without a model
// call: none when it agrees with `result`, when the agent offers no such report, or when the
// report does not come within the limit.
QCoro::Task<Fault> readBack(
    ToolRunner &tools, FileWorker &files, AgentKind kind, Machine machine, Result result);

} // namespace AgentCheck
