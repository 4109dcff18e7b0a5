#include "cli/cli.h"

#include "cli/clitexts.h"
#include "cli/commands.h"
#include "platform/connecterror.h"
#include "service/keychain.h"
#include "state/connectstate.h"
#include "state/statetexts.h"

#include <QCoro/QCoroTask>
#include <utility>

namespace {

const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("以一个 JSON 文档输出到标准输出"));
const QCommandLineOption keyStoreOption(QStringLiteral("key-store"),
    QStringLiteral("密钥存储：keyring（登录密钥环，默认）或 file（应用文件夹下 0600 文件），并记住该选择"),
    QStringLiteral("file|keyring"));
const QCommandLineOption helpOption(
    QStringList { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("显示该命令的帮助"));

QString helpText(const Commands::Command &command, const QList<QCommandLineOption> &options)
{
    QString text = QStringLiteral("用法：velmora %1 %2\n\n%3\n\n选项：\n")
                       .arg(QString::fromUtf8(command.name), QString::fromUtf8(command.syntax),
                           QString::fromUtf8(command.summary));
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
        QString left = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            left += u' ' + option.valueName();
        text += QStringLiteral("  %1  %2\n").arg(left, -28).arg(option.description());
    }
    return text;
}

// The state as the earlier runs left it: the API root, the effort, the agents connected. The
// model follows the list of the signed-in account (see Commands).
void restore(ConnectState &state, const Memory &memory)
{
    if (!memory.apiRoot.isEmpty())
        state.setRouterURL(memory.apiRoot);
    if (!memory.effort.isEmpty())
        state.setReasoningEffort(memory.effort);
    for (const AgentDescriptor &agent : agents()) {
        if (const std::optional<AgentCheck::Target> &target = memory.connections[std::size_t(agent.kind)])
            state.restoreConnection(agent.kind, *target);
    }
    Cli::waitFor(state.readCodexFiles()); // Codex counts as connected while its files are the app's
}

} // namespace

namespace Cli {

int run(const QStringList &arguments, std::shared_ptr<Platform> platform)
{
    const Output out(arguments.contains(QStringLiteral("--json")));
    const QString name = arguments.value(1);
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        out.say(CliTexts::overview);
        return success;
    }
    const auto &commands = Commands::all();
    const auto found = std::find_if(commands.begin(), commands.end(),
        [&](const Commands::Command &command) { return name == QLatin1String(command.name); });
    if (found == commands.end()) {
        if (name.isEmpty() || name.startsWith(u'-'))
            return out.finish(usage, CliTexts::overview);
        return out.finish(usage, CliTexts::unknownCommand.arg(name));
    }

    const QList<QCommandLineOption> options
        = found->options() + QList<QCommandLineOption> { jsonOption, keyStoreOption, helpOption };
    QCommandLineParser parser;
    parser.addOptions(options);
    QStringList rest = arguments;
    rest.removeAt(1);
    if (!parser.parse(rest))
        return out.finish(usage, parser.errorText());
    if (parser.isSet(helpOption)) {
        out.say(helpText(*found, options));
        return success;
    }

    const QString appFolder = platform->folders().app();
    if (parser.isSet(keyStoreOption)) {
        const std::optional<Keychain::Store::Kind> kind = Keychain::kindNamed(parser.value(keyStoreOption));
        if (!kind)
            return out.finish(usage, CliTexts::badKeyStore);
        try {
            Keychain::setConfiguredKind(appFolder, *kind);
        } catch (const Failure &failure) {
            return out.finish(failed, CliTexts::settingFailed.arg(failure.description()));
        }
    }

    ConnectState state(platform);
    ToolRunner tools(platform->toolTimeout());
    FileWorker files;
    // Nothing is written, and no relay asked, before the keys have somewhere to go.
    if (!Cli::waitFor(Keychain::keyringAnswers(tools, state.keyStore())))
        return out.finish(failed, CliTexts::noKeyring.arg(platform->folders().keys()));

    Memory memory = Memory::load(appFolder);
    restore(state, memory);
    // An operation's first text once busy is its progress; the texts after it are its results.
    bool started = false;
    QObject::connect(&state, &ConnectState::busyChanged, &state, [&] { started = state.busy(); });
    QObject::connect(&state, &ConnectState::activityChanged, &state, [&] {
        if (std::exchange(started, false))
            out.progress(state.activity());
    });
    QObject::connect(&state, &ConnectState::checkChanged, &state, [&](AgentKind kind) {
        if (state.check(kind).stage == ConnectState::AgentCheckStatus::Stage::running)
            out.progress(StateTexts::checkingAgent.arg(title(kind)));
    });
    Context context { parser, out, state, memory, tools, files, appFolder };
    return found->run(context);
}

} // namespace Cli
