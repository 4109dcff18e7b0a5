#include "agents/agentcheck.h"

#include "agents/codexfiles.h"
#include "agents/fileutils.h"
#include "agents/launchers.h"
#include "agents/overlays.h"
#include "agents/roottext.h"
#include "platform/platformtexts.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace AgentCheck {

namespace {

// Printed by the login shell before its environment, after whatever its start-up files print.
const QString environmentMarker = QStringLiteral("--velmora-connect-environment--");

// `env`'s lines after the marker: "NAME=value"; a line that starts no variable continues the
// value before it (a value with a line feed).
QProcessEnvironment parseEnvironment(const QString &output)
{
    QProcessEnvironment environment;
    const qsizetype begin = output.indexOf(environmentMarker + u'\n');
    if (begin < 0)
        return environment;
    QString name;
    QString value;
    const auto flush = [&] {
        if (!name.isEmpty())
            environment.insert(name, value);
    };
    for (const QString &line : output.sliced(begin + environmentMarker.size() + 1).split(u'\n')) {
        const qsizetype equals = line.indexOf(u'=');
        const bool starts = equals > 0 && std::all_of(line.cbegin(), line.cbegin() + equals, [](QChar c) {
            return c == u'_' || (c.isLetterOrNumber() && c.unicode() < 128);
        });
        if (!starts) {
            value += u'\n' + line;
            continue;
        }
        flush();
        name = line.first(equals);
        value = line.sliced(equals + 1);
    }
    flush();
    return environment;
}

// The login shell's environment: the shell started as a terminal starts it (login and
// interactive), so that every start-up file that sets PATH is read.
QCoro::Task<std::optional<QProcessEnvironment>> readShellEnvironment(ToolRunner &tools, Machine machine)
{
    const QString script = QStringLiteral("printf '%s\\n' ") + environmentMarker + QStringLiteral("; env");
    const QStringList arguments { QStringLiteral("-l"), QStringLiteral("-i"), QStringLiteral("-c"), script };
    const ProgramRun run = co_await tools.run(
        machine.shell, arguments, machine.environment, machine.folders.home, machine.limit);
    QProcessEnvironment environment = parseEnvironment(run.output);
    if (!run.finished || run.exitCode != 0 || !environment.contains(QStringLiteral("PATH")))
        co_return std::nullopt;
    co_return environment;
}

QStringList searchPath(const QProcessEnvironment &environment)
{
    return environment.value(QStringLiteral("PATH")).split(u':', Qt::SkipEmptyParts);
}

bool samePath(const QString &a, const QString &b)
{
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

// The file a user of `shell` adds the launcher's folder to PATH in, and the line.
std::pair<QString, QString> pathAdvice(const QString &shell, const QString &folder, const QString &home)
{
    const QString name = QFileInfo(shell).fileName();
    const QString shown
        = folder.startsWith(home + u'/') ? QStringLiteral("$HOME") + folder.sliced(home.size()) : folder;
    if (name == u"fish")
        return { QStringLiteral("~/.config/fish/config.fish"), QStringLiteral("fish_add_path ") + shown };
    const QString line = QStringLiteral("export PATH=\"") + shown + QStringLiteral(":$PATH\"");
    if (name == u"zsh")
        return { QStringLiteral("~/.zshrc"), line };
    if (name == u"bash")
        return { QStringLiteral("~/.bashrc"), line };
    return { QStringLiteral("~/.profile"), line };
}

// The version number in the output of --version ("codex-cli 0.171.0", "2.1.197 (Claude Code)"),
// else its last line, cut short.
QString versionNumber(const QString &output)
{
    static const QRegularExpression number(QStringLiteral("\\b\\d+(\\.\\d+)+([-+][0-9A-Za-z.]+)?\\b"));
    const QRegularExpressionMatch match = number.match(output);
    return match.hasMatch() ? match.captured() : output.trimmed().section(u'\n', -1).trimmed().left(40);
}

QString baseURLFor(WireProtocol protocol, const QUrl &router)
{
    return protocol == WireProtocol::messages || protocol == WireProtocol::generateContent
        ? rootText(router)
        : CodexFiles::relayBaseURL(router);
}

// The bytes of a regular file; none for a missing file, or for anything else where it belongs.
QByteArray fileBytes(const QString &path)
{
    try {
        return FileUtils::regularFileBytes(path);
    } catch (...) {
        return {};
    }
}

Result fault(Fault fault, QString subject, QString detail = {}, QString line = {})
{
    Result result;
    result.fault = fault;
    result.subject = std::move(subject);
    result.detail = std::move(detail);
    result.line = std::move(line);
    return result;
}

// Step 2 for Codex: its files as the app wrote them, naming the probe's values.
std::optional<Result> inspectCodexFiles(const Machine &machine, Result &result)
{
    const QString config = CodexFiles::configPath(machine.folders.codex);
    const std::optional<CodexFiles::CodexConfigValues> values
        = CodexFiles::codexConfigValues(fileBytes(config));
    if (!values)
        return fault(Fault::fileChanged, config);
    result.baseURL = values->baseURL;
    result.model = values->model;
    return std::nullopt;
}

// Step 2 for the launcher agents: the launcher found first on PATH, byte for byte the app's, and
// the relay's entry in its provider file as the app merged it.
std::optional<Result> inspectLauncher(
    const AgentDescriptor &agent, const Machine &machine, const Target &target, Result &result)
{
    const QString folder = CodexFiles::scriptDirectory(machine.folders.home);
    const QString name = agent.launcherName.toString();
    const QString launcher = folder + u'/' + name;
    if (!QFileInfo(launcher).isFile())
        return fault(Fault::launcherMissing, launcher);
    const QStringList path = searchPath(result.shellEnvironment);
    if (!std::any_of(
            path.cbegin(), path.cend(), [&](const QString &each) { return samePath(each, folder); })) {
        const auto [file, line] = pathAdvice(machine.shell, folder, machine.folders.home);
        return fault(Fault::launcherOffPath, folder, file, line);
    }
    const QString found = QStandardPaths::findExecutable(name, path);
    if (!samePath(found, launcher))
        return fault(Fault::launcherShadowed, name, found);

    const LauncherValues values { rootText(target.router), target.model, machine.folders.app() };
    if (fileBytes(launcher)
        != Launchers::launcherScript(
            agent.kind, values, target.keychainService, target.keyring, machine.folders.keys())
               .toUtf8())
        return fault(Fault::fileChanged, launcher);
    // Claude Code's launcher names no model when the relay lists none of Claude's: Claude Code
    // then asks for its own default, which the relay does not serve.
    if (agent.kind == AgentKind::claudeCode
        && !target.model.startsWith(agent.modelPrefix, Qt::CaseInsensitive))
        return fault(Fault::noAgentModel, agent.modelPrefix.toString());
    // The files the launcher points the agent at in the app's folder, as the app writes them:
    // without them the agent falls back to another sign-in or provider.
    const QString app = machine.folders.app();
    std::optional<std::pair<QString, QJsonObject>> own;
    if (agent.kind == AgentKind::geminiCLI)
        own = { Overlays::geminiSettingsPath(app), Overlays::geminiSettings() };
    else if (agent.kind == AgentKind::deepSeek)
        own = { Overlays::crushSelectionPath(app), Overlays::crushSelection(target.model) };
    if (own && fileBytes(own->first) != FileUtils::jsonFileBytes(own->second))
        return fault(Fault::fileChanged, own->first);
    result.baseURL = baseURLFor(agent.protocol, target.router);
    result.model = target.model;
    if (agent.providerFile) {
        const QString file = QDir(machine.folders.config)
                                 .filePath(agent.providerFile->directory.toString() + u'/'
                                     + agent.providerFile->fileName.toString());
        QJsonObject config;
        try {
            config = FileUtils::jsonObject(file);
        } catch (...) {
            return fault(Fault::fileChanged, file);
        }
        if (agent.providerFile->merge(config, CodexFiles::relayBaseURL(target.router), target.model)
            != config)
            return fault(Fault::fileChanged, file);
    }
    return std::nullopt;
}

// The command the launcher's keychain line runs.
QString keyringTool(Launchers::KeyringCommand keyring)
{
    switch (keyring) {
    case Launchers::KeyringCommand::secretTool:
        return QStringLiteral("secret-tool");
    case Launchers::KeyringCommand::security:
        return QStringLiteral("security");
    case Launchers::KeyringCommand::file:
        break;
    }
    return QStringLiteral("cat");
}

QString shellProgram()
{
    return QStringLiteral("/bin/sh");
}

// The launcher's keychain line, then the key after the marker; printf is the shell's own, so
// the key is in no process's arguments.
QStringList keyScriptArguments(const Target &target, const QString &keyFolder)
{
    return { QStringLiteral("-c"),
        QStringLiteral("set -eu\n")
            + Launchers::keychainLine(target.keychainService, target.keyring, keyFolder)
            + QStringLiteral("\nprintf '%s\\n%s' ") + environmentMarker
            + QStringLiteral(" \"$velmora_key\"\n") };
}

// Why the launcher's keychain line gave no key.
Result keyFault(
    const Machine &machine, const QProcessEnvironment &shell, const ProgramRun &run, const QString &tool)
{
    const QString user = shell.value(QStringLiteral("USER"));
    if (!machine.user.isEmpty() && user != machine.user)
        return fault(Fault::userDiffers, user, machine.user);
    if (!run.finished) {
        const double seconds = std::chrono::duration<double>(machine.limit).count();
        return fault(Fault::keyUnreadable, PlatformTexts::toolTimedOut.arg(tool).arg(seconds));
    }
    // The tool's words (its output holds no key when it failed), cut to a line.
    return fault(Fault::keyUnreadable, run.output.trimmed().section(u'\n', 0, 0).left(200));
}

// Steps 2 and 3 of the check, which read files only: the app's files where the agent finds them,
// then nothing of the user's winning over them. `result` holds what step 1 found.
Result inspectFiles(AgentKind kind, const Machine &machine, const Target &target, Result result)
{
    const AgentDescriptor &agent = descriptor(kind);
    const QProcessEnvironment &shell = result.shellEnvironment;
    // 2. The app's files, where the agent finds them.
    const std::optional<Result> changed = kind == AgentKind::codex
        ? inspectCodexFiles(machine, result)
        : inspectLauncher(agent, machine, target, result);
    if (changed)
        return *changed;

    // 3. Nothing of the user's wins over them.
    if (agent.providerFile) {
        const QString config = UserFolders::from(machine.folders.home, shell).config;
        if (config != machine.folders.config)
            return fault(Fault::overridden, QStringLiteral("XDG_CONFIG_HOME"), config);
    }
    if (agent.detectOverride) {
        if (const auto found = agent.detectOverride(machine.folders, shell))
            return fault(Fault::overridden, found->subject, found->setting);
    }
    if (kind == AgentKind::codex) {
        result.key = FileUtils::jsonObject(CodexFiles::authPath(machine.folders.codex))
                         .value(CodexFiles::apiKeyVariable)
                         .toString();
    }
    return result;
}

} // namespace

bool codexFilesWritten(const UserFolders &folders)
{
    return CodexFiles::isCodexConfigToml(fileBytes(CodexFiles::configPath(folders.codex)));
}

QString loginShell(const QProcessEnvironment &environment)
{
    const QString shell = environment.value(QStringLiteral("SHELL"));
    return QDir::isAbsolutePath(shell) ? shell : QStringLiteral("/bin/sh");
}

QCoro::Task<Result> inspect(
    ToolRunner &tools, FileWorker &files, AgentKind kind, Machine machine, Target target)
{
    const AgentDescriptor &agent = descriptor(kind);
    std::optional<QProcessEnvironment> shell;
    try {
        shell = co_await readShellEnvironment(tools, machine);
    } catch (const ToolsClosed &) {
        throw;
    } catch (...) {
        // The shell cannot be started.
    }
    if (!shell)
        co_return fault(Fault::shellUnreadable, machine.shell);

    // 1. Installed, its version readable.
    const QString command = agent.command.toString();
    const auto find
        = [command, path = searchPath(*shell)] { return QStandardPaths::findExecutable(command, path); };
    const QString program = co_await files.run(find);
    if (program.isEmpty())
        co_return fault(Fault::commandMissing, command);
    const QStringList versionArguments { agent.versionFlag.toString() };
    const ProgramRun version
        = co_await tools.run(program, versionArguments, *shell, machine.folders.home, machine.limit);
    // A version that does not come within the limit (a slow start on a busy machine) is no fault.
    if (version.finished && version.exitCode != 0)
        co_return fault(Fault::versionFailed, program);

    Result result;
    result.shellEnvironment = *shell;
    if (version.finished)
        result.version = versionNumber(version.output);

    // 2 and 3, the files, on the file worker.
    const auto readFiles
        = [kind, machine, target, result] { return inspectFiles(kind, machine, target, result); };
    co_return co_await files.run(readFiles);
}

QCoro::Task<Result> launcherKey(
    ToolRunner &tools, FileWorker &files, Machine machine, Result result, Target target)
{
    const QString tool = keyringTool(target.keyring);
    const auto find = [tool, path = searchPath(result.shellEnvironment)] {
        return QStandardPaths::findExecutable(tool, path);
    };
    if ((co_await files.run(find)).isEmpty())
        co_return fault(Fault::keyringToolMissing, tool);
    const ProgramRun run
        = co_await tools.run(shellProgram(), keyScriptArguments(target, machine.folders.keys()),
            result.shellEnvironment, machine.folders.home, machine.limit);
    const qsizetype marker = run.output.indexOf(environmentMarker + u'\n');
    if (run.finished && run.exitCode == 0 && marker >= 0) {
        result.key = run.output.sliced(marker + environmentMarker.size() + 1);
        if (!result.key.isEmpty())
            co_return result;
    }
    co_return keyFault(machine, result.shellEnvironment, run, tool);
}

QCoro::Task<Fault> readBack(
    ToolRunner &tools, FileWorker &files, AgentKind kind, Machine machine, Result result)
{
    const AgentDescriptor &agent = descriptor(kind);
    if (!agent.readBack)
        co_return Fault::none;
    const auto find = [command = agent.command.toString(), path = searchPath(result.shellEnvironment)] {
        return QStandardPaths::findExecutable(command, path);
    };
    QString program
        = CodexFiles::scriptDirectory(machine.folders.home) + u'/' + agent.launcherName.toString();
    if (!agent.readBack->throughLauncher)
        program = co_await files.run(find);
    const QStringList arguments = agent.readBack->arguments.toString().split(u' ');
    ProgramRun run;
    try {
        run = co_await tools.run(
            program, arguments, result.shellEnvironment, machine.folders.home, machine.limit);
    } catch (const ToolsClosed &) {
        throw;
    } catch (...) {
        co_return Fault::notReadBack;
    }
    // A report that does not come within the limit says nothing either way. The output may hold
    // the key: it is read here and goes no further.
    if (!run.finished)
        co_return Fault::none;
    const bool agrees = run.exitCode == 0 && agent.readBack->agrees(run.output, result.baseURL, result.model);
    co_return agrees ? Fault::none : Fault::notReadBack;
}

} // namespace AgentCheck
