#include "cli/commands.h"

#include "agents/codexfiles.h"
#include "cli/clitexts.h"
#include "platform/connecterror.h"
#include "service/keychain.h"
#include "service/routerurl.h"
#include "state/connectstate.h"
#include "state/statetexts.h"
#include "state/waitwhilebusy.h"

#include <QCoro/QCoroTask>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace Cli;

const QCommandLineOption apiRootOption(
    QStringLiteral("api-root"), QStringLiteral("API 根地址"), QStringLiteral("URL"));
const QCommandLineOption emailOption(
    QStringLiteral("email"), QStringLiteral("账号（邮箱）"), QStringLiteral("E"));
const QCommandLineOption passwordStdinOption(
    QStringLiteral("password-stdin"), QStringLiteral("从标准输入读取密码"));
const QCommandLineOption groupOption(
    QStringLiteral("group"), QStringLiteral("渠道接口的 ID"), QStringLiteral("ID"));
const QCommandLineOption modelOption(
    QStringLiteral("model"), QStringLiteral("模型的 ID"), QStringLiteral("ID"));
const QCommandLineOption effortOption(QStringLiteral("effort"),
    QStringLiteral("推理强度：low、medium、high 或 xhigh"), QStringLiteral("low|medium|high|xhigh"));
const QCommandLineOption yesOption(QStringLiteral("yes"), QStringLiteral("不再询问，直接清除"));

bool terminalInput()
{
    return ::isatty(STDIN_FILENO) == 1;
}

// One line of standard input, without its line feed; with `hidden`, typed without echo.
QString readLine(bool hidden)
{
    termios saved {};
    const bool silence = hidden && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (silence) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
        line.append(char(c));
    if (silence) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        Output::writeError(QString());
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

// All of standard input, less one final line break.
QString readStandardInput()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return {};
    QByteArray bytes = input.readAll();
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

QString sessionName(const ConnectState &state)
{
    const std::optional<QUrl> router = normalizeRouterURL(state.routerURL());
    return router ? Keychain::sessionService(*router) : QString();
}

// The session kept by `velmora login`; empty when there is none.
QString storedSession(Context &context)
{
    try {
        return Cli::waitFor(Keychain::loadKey(
            context.tools, context.files, context.state.keyStore(), sessionName(context.state)));
    } catch (...) {
        return {};
    }
}

// Signs in with the session kept by `velmora login`: Cli::success, or the status to end with
// (having printed why).
int resume(Context &context, QJsonObject &members)
{
    const QString token = storedSession(context);
    if (token.isEmpty())
        return context.out.finish(signedOut, CliTexts::notSignedIn, members);
    context.state.resumeSession(token);
    waitWhileBusy(context.state);
    if (!context.state.authenticated())
        return context.out.finish(signedOut, context.state.activity(), members);
    return success;
}

QJsonArray groupsJson(const QList<RemoteGroup> &groups)
{
    QJsonArray array;
    for (const RemoteGroup &group : groups) {
        array.append(QJsonObject { { QStringLiteral("id"), double(group.id) },
            { QStringLiteral("name"), group.displayName() },
            { QStringLiteral("platform"), group.platform } });
    }
    return array;
}

QJsonValue optionalID(std::optional<qint64> id)
{
    return id ? QJsonValue(double(*id)) : QJsonValue();
}

// Selects --group (where the command `offered` it), else the group of the last connect, when the account
// lists it: Cli::success, or Cli::usage for a group it does not list (having printed why). No group is no
// failure.
int selectGroup(Context &context, QJsonObject &members, bool offered = true)
{
    std::optional<qint64> wanted = context.memory.groupID;
    const bool given = offered && context.options.isSet(groupOption);
    if (given) {
        bool number = false;
        wanted = context.options.value(groupOption).toLongLong(&number);
        if (!number)
            return context.out.finish(
                usage, CliTexts::groupUnknown.arg(context.options.value(groupOption)), members);
    }
    if (!wanted)
        return success;
    const QList<RemoteGroup> &groups = context.state.groups();
    const bool listed = std::any_of(
        groups.begin(), groups.end(), [&](const RemoteGroup &group) { return group.id == *wanted; });
    if (!listed) {
        if (given)
            return context.out.finish(usage, CliTexts::groupUnknown.arg(*wanted), members);
        return success; // the account no longer lists the remembered group
    }
    context.state.setSelectedGroupID(wanted);
    return success;
}

QString launcherPath(const ConnectState &state, AgentKind kind)
{
    const AgentDescriptor &agent = descriptor(kind);
    if (agent.launcherName.isEmpty())
        return {};
    return CodexFiles::scriptDirectory(state.platform().folders().home) + u'/'
        + agent.launcherName.toString();
}

// The agents named on the command line ("all": every agent), or none with the status to end with.
std::optional<QList<AgentKind>> namedAgents(Context &context, QJsonObject &members, int &status)
{
    QList<AgentKind> kinds;
    for (const QString &name : context.options.positionalArguments()) {
        if (name == QLatin1String("all")) {
            for (const AgentDescriptor &agent : agents()) {
                if (!kinds.contains(agent.kind))
                    kinds.append(agent.kind);
            }
            continue;
        }
        const std::optional<AgentKind> kind = agentNamed(name);
        if (!kind) {
            status = context.out.finish(usage, CliTexts::unknownAgent.arg(name), members);
            return std::nullopt;
        }
        if (!kinds.contains(*kind))
            kinds.append(*kind);
    }
    return kinds;
}

// The model of the last connect, while the state's list offers it.
void selectRememberedModel(Context &context)
{
    const QList<RemoteModel> &models = context.state.models();
    if (std::any_of(models.begin(), models.end(),
            [&](const RemoteModel &model) { return model.id == context.memory.model; }))
        context.state.setSelectedModel(context.memory.model);
}

int saveMemory(Context &context)
{
    try {
        context.memory.save(context.appFolder);
    } catch (const Failure &failure) {
        Output::writeError(CliTexts::memoryFailed.arg(failure.description()));
        return failed;
    }
    return success;
}

QList<QCommandLineOption> noOptions()
{
    return {};
}

} // namespace

namespace Commands {

int login(Context &context)
{
    ConnectState &state = context.state;
    QJsonObject members;
    if (!context.options.isSet(emailOption))
        return context.out.finish(usage, CliTexts::emailMissing, members);
    QString password;
    if (context.options.isSet(passwordStdinOption)) {
        password = readStandardInput();
    } else if (terminalInput()) {
        std::fputs(CliTexts::passwordPrompt.toUtf8().constData(), stderr);
        std::fflush(stderr);
        password = readLine(true);
    } else {
        return context.out.finish(usage, CliTexts::passwordNotFromTerminal, members);
    }
    if (context.options.isSet(apiRootOption))
        state.setRouterURL(context.options.value(apiRootOption));
    state.setUsername(context.options.value(emailOption));
    state.setPassword(password);
    state.login();
    waitWhileBusy(state);
    if (!state.authenticated())
        return context.out.finish(failed, state.activity(), members);
    try {
        Cli::waitFor(Keychain::storeKey(
            context.tools, context.files, state.keyStore(), sessionName(state), state.accessToken()));
    } catch (const Failure &failure) {
        return context.out.finish(failed, CliTexts::sessionFailed.arg(failure.description()), members);
    }
    context.memory.apiRoot = normalizeRouterURL(state.routerURL())->toString();
    context.memory.email = state.username().trimmed();
    if (const int saved = saveMemory(context))
        return context.out.finish(saved, state.activity(), members);
    members.insert(QStringLiteral("account"), state.accountName());
    members.insert(QStringLiteral("email"), context.memory.email);
    members.insert(QStringLiteral("apiRoot"), context.memory.apiRoot);
    members.insert(QStringLiteral("groups"), groupsJson(state.groups()));
    return context.out.finish(success, state.activity(), members);
}

int logout(Context &context)
{
    try {
        Cli::waitFor(Keychain::deleteKey(
            context.tools, context.files, context.state.keyStore(), sessionName(context.state)));
    } catch (...) {
        // No session was kept: signed out all the same.
    }
    return context.out.finish(success, CliTexts::loggedOut);
}

int groups(Context &context)
{
    QJsonObject members;
    if (const int status = resume(context, members))
        return status;
    if (const int status = selectGroup(context, members, false))
        return status;
    const ConnectState &state = context.state;
    for (const RemoteGroup &group : state.groups()) {
        const bool selected = state.selectedGroupID() == group.id;
        context.out.say(QStringLiteral("%1 %2  %3")
                            .arg(QChar(selected ? u'*' : u' '))
                            .arg(group.id)
                            .arg(group.displayName()));
    }
    members.insert(QStringLiteral("groups"), groupsJson(state.groups()));
    members.insert(QStringLiteral("selectedGroup"), optionalID(state.selectedGroupID()));
    return context.out.finish(success, QString(), members);
}

int models(Context &context)
{
    QJsonObject members;
    ConnectState &state = context.state;
    if (const int status = resume(context, members))
        return status;
    if (const int status = selectGroup(context, members))
        return status;
    QString message;
    if (state.selectedGroupID()) {
        state.loadModels();
        waitWhileBusy(state);
        message = state.activity();
        if (message != StateTexts::modelsLoaded.arg(state.models().size()))
            return context.out.finish(failed, message, members);
        if (context.options.isSet(groupOption)) {
            context.memory.groupID = state.selectedGroupID();
            saveMemory(context);
        }
    }
    selectRememberedModel(context);
    QJsonArray list;
    for (const RemoteModel &model : state.models()) {
        const bool selected = model.id == state.selectedModel();
        context.out.say(QStringLiteral("%1 %2").arg(QChar(selected ? u'*' : u' ')).arg(model.id));
        list.append(
            QJsonObject { { QStringLiteral("id"), model.id }, { QStringLiteral("owner"), model.owner } });
    }
    members.insert(QStringLiteral("models"), list);
    members.insert(QStringLiteral("selectedModel"), state.selectedModel());
    members.insert(QStringLiteral("group"), optionalID(state.selectedGroupID()));
    return context.out.finish(success, message, members);
}

int connect(Context &context)
{
    QJsonObject members;
    ConnectState &state = context.state;
    int status = success;
    const std::optional<QList<AgentKind>> kinds = namedAgents(context, members, status);
    if (!kinds)
        return status;
    if (kinds->isEmpty())
        return context.out.finish(usage, CliTexts::noAgent, members);
    const QString effort = context.options.value(effortOption);
    if (context.options.isSet(effortOption)
        && !QStringList { QStringLiteral("low"), QStringLiteral("medium"), QStringLiteral("high"),
            QStringLiteral("xhigh") }
                .contains(effort))
        return context.out.finish(usage, CliTexts::badEffort, members);
    if (const int resumed = resume(context, members))
        return resumed;
    if (const int selected = selectGroup(context, members))
        return selected;
    if (!state.selectedGroupID())
        return context.out.finish(usage, CliTexts::groupNeeded, members);

    // The group's own model list first, as the window has it once Codex is connected.
    state.loadModels();
    waitWhileBusy(state);
    if (state.activity() != StateTexts::modelsLoaded.arg(state.models().size()))
        return context.out.finish(failed, state.activity(), members);
    selectRememberedModel(context);
    if (context.options.isSet(modelOption)) {
        const QString model = context.options.value(modelOption);
        const bool listed = std::any_of(state.models().begin(), state.models().end(),
            [&](const RemoteModel &each) { return each.id == model; });
        if (!listed)
            return context.out.finish(usage, CliTexts::modelUnlisted.arg(model), members);
        state.setSelectedModel(model);
    }
    if (context.options.isSet(effortOption))
        state.setReasoningEffort(effort);

    QJsonArray results;
    for (const AgentKind kind : *kinds) {
        state.configureAgent(kind);
        waitWhileBusy(state);
        const bool connected = state.connected(kind) && state.activity() != StateTexts::stillBusy;
        if (!connected)
            status = failed;
        context.memory.connections[std::size_t(kind)] = state.connection(kind);
        if (connected)
            context.out.say(CliTexts::agentLine.arg(title(kind), state.activity()));
        else
            Output::writeError(CliTexts::agentLine.arg(title(kind), state.activity()));
        results.append(QJsonObject { { QStringLiteral("agent"), agentName(kind) },
            { QStringLiteral("title"), title(kind) }, { QStringLiteral("connected"), connected },
            { QStringLiteral("launcher"), launcherPath(state, kind) },
            { QStringLiteral("message"), state.activity() } });
    }
    context.memory.groupID = state.selectedGroupID();
    context.memory.model = state.selectedModel();
    context.memory.effort = state.reasoningEffort();
    if (const int saved = saveMemory(context))
        status = saved;
    members.insert(QStringLiteral("agents"), results);
    members.insert(QStringLiteral("group"), optionalID(state.selectedGroupID()));
    members.insert(QStringLiteral("model"), state.selectedModel());
    members.insert(QStringLiteral("effort"), state.reasoningEffort());
    return context.out.finish(status, QString(), members);
}

int check(Context &context)
{
    using Stage = ConnectState::AgentCheckStatus::Stage;
    QJsonObject members;
    ConnectState &state = context.state;
    int status = success;
    std::optional<QList<AgentKind>> kinds = namedAgents(context, members, status);
    if (!kinds)
        return status;
    if (kinds->isEmpty()) {
        for (const AgentDescriptor &agent : agents()) {
            if (state.checkOffered(agent.kind))
                kinds->append(agent.kind);
        }
        if (kinds->isEmpty())
            return context.out.finish(failed, CliTexts::nothingToCheck, members);
    }
    for (const AgentKind kind : *kinds)
        state.checkAgent(kind);
    waitWhileChecking(state);

    QJsonArray results;
    for (const AgentKind kind : *kinds) {
        const ConnectState::AgentCheckStatus &result = state.check(kind);
        const bool passed = result.stage == Stage::passed;
        const QString text
            = result.stage == Stage::none ? CliTexts::notConnected.arg(agentName(kind)) : result.text;
        if (!passed)
            status = failed;
        const QString line
            = (passed ? StateTexts::agentCheckPassed : StateTexts::agentCheckFailed).arg(title(kind), text);
        if (passed)
            context.out.say(line);
        else
            Output::writeError(line);
        results.append(QJsonObject { { QStringLiteral("agent"), agentName(kind) },
            { QStringLiteral("title"), title(kind) }, { QStringLiteral("passed"), passed },
            { QStringLiteral("message"), text } });
    }
    members.insert(QStringLiteral("agents"), results);
    return context.out.finish(status, QString(), members);
}

int status(Context &context)
{
    ConnectState &state = context.state;
    QJsonObject members;
    const QString token = storedSession(context);
    if (!token.isEmpty()) {
        state.resumeSession(token);
        waitWhileBusy(state);
    }
    const bool signedIn = state.authenticated();
    if (!context.memory.model.isEmpty())
        state.setSelectedModel(context.memory.model);
    QJsonValue group;
    QString groupText = CliTexts::none;
    for (const RemoteGroup &each : state.groups()) {
        if (context.memory.groupID == each.id) {
            group = QJsonObject { { QStringLiteral("id"), double(each.id) },
                { QStringLiteral("name"), each.displayName() } };
            groupText = QStringLiteral("%1 %2").arg(each.id).arg(each.displayName());
        }
    }
    const QString keyStore = Keychain::kindName(state.keyStore().kind);
    context.out.say(CliTexts::statusAccount.arg(signedIn
            ? state.accountName() + QStringLiteral(" <") + context.memory.email + u'>'
            : state.accountName()));
    context.out.say(CliTexts::statusApiRoot.arg(state.routerURL()));
    context.out.say(CliTexts::statusGroup.arg(groupText));
    context.out.say(CliTexts::statusModel.arg(state.selectedModel(), state.reasoningEffort()));
    context.out.say(CliTexts::statusKeyStore.arg(keyStore));
    QJsonArray list;
    for (const AgentDescriptor &agent : agents()) {
        const QString launcher = launcherPath(state, agent.kind);
        // Codex's files were read once at the start (see Cli::run).
        const bool connected = agent.kind == AgentKind::codex
            ? state.checkOffered(AgentKind::codex)
            : context.memory.connections[std::size_t(agent.kind)] && QFileInfo::exists(launcher);
        const QString where = agent.kind == AgentKind::codex
            ? CodexFiles::configPath(state.platform().folders().codex)
            : launcher;
        context.out.say(connected ? CliTexts::statusConnected.arg(title(agent.kind), where)
                                  : CliTexts::statusNotConnected.arg(title(agent.kind)));
        list.append(QJsonObject { { QStringLiteral("agent"), agentName(agent.kind) },
            { QStringLiteral("title"), title(agent.kind) }, { QStringLiteral("connected"), connected },
            { QStringLiteral("launcher"), launcher } });
    }
    members.insert(QStringLiteral("signedIn"), signedIn);
    members.insert(QStringLiteral("account"), signedIn ? state.accountName() : QString());
    members.insert(QStringLiteral("email"), signedIn ? context.memory.email : QString());
    members.insert(QStringLiteral("apiRoot"), state.routerURL());
    members.insert(QStringLiteral("group"), group);
    members.insert(QStringLiteral("model"), state.selectedModel());
    members.insert(QStringLiteral("effort"), state.reasoningEffort());
    members.insert(QStringLiteral("keyStore"), keyStore);
    members.insert(QStringLiteral("agents"), list);
    return context.out.finish(signedIn ? success : signedOut,
        signedIn ? QString() : (token.isEmpty() ? CliTexts::notSignedIn : state.activity()), members);
}

int clear(Context &context)
{
    ConnectState &state = context.state;
    QJsonObject members;
    members.insert(QStringLiteral("cleared"), false);
    if (!context.options.isSet(yesOption)) {
        if (!terminalInput())
            return context.out.finish(usage, CliTexts::clearNeedsYes, members);
        std::fputs(CliTexts::clearQuestion.toUtf8().constData(), stderr);
        std::fflush(stderr);
        const QString answer = readLine(false).trimmed().toLower();
        if (answer != QLatin1String("y") && answer != QLatin1String("yes"))
            return context.out.finish(failed, CliTexts::clearCancelled, members);
    }
    // No sign-in needed: clearing finds the key it deletes in the connection record.
    state.clearConfiguration();
    waitWhileBusy(state);
    if (state.activity() != StateTexts::cleared)
        return context.out.finish(failed, state.activity(), members);
    try {
        Cli::waitFor(Keychain::deleteKey(context.tools, context.files, state.keyStore(), sessionName(state)));
    } catch (...) {
    }
    context.memory.groupID.reset();
    context.memory.connections = {};
    const int saved = saveMemory(context);
    members.insert(QStringLiteral("cleared"), true);
    return context.out.finish(saved, state.activity(), members);
}

const QList<Command> &all()
{
    static const QList<Command> commands {
        { "login", "--email E [--password-stdin] [--api-root URL]",
            "登录 Velmora 账户；会话保存在密钥存储中，供之后的命令使用。",
            [] {
                return QList<QCommandLineOption> { emailOption, passwordStdinOption, apiRootOption };
            },
            &login },
        { "logout", "", "退出登录：删除保存的会话。", &noOptions, &logout },
        { "groups", "", "列出账户的渠道接口（* 为上次接入所用）。", &noOptions, &groups },
        { "models", "[--group ID]", "列出模型：指定渠道时为该渠道 Key 的模型列表。",
            [] { return QList<QCommandLineOption> { groupOption }; }, &models },
        { "connect", "AGENT... [--group ID] [--model ID] [--effort low|medium|high|xhigh]",
            "接入智能体（codex、claude、gemini、kimi、opencode、crush 或 all），与桌面应用的卡片相同。",
            [] {
                return QList<QCommandLineOption> { groupOption, modelOption, effortOption };
            },
            &connect },
        { "check", "[AGENT...]", "检测智能体能否真正连通中转站；全部通过时退出状态为 0。", &noOptions,
            &check },
        { "status", "", "显示登录账户、渠道、模型、密钥存储和已接入的智能体。", &noOptions, &status },
        { "clear", "[--yes]", "清除 Velmora Connect 写入的全部配置和 Key，并退出登录。",
            [] { return QList<QCommandLineOption> { yesOption }; }, &clear },
    };
    return commands;
}

} // namespace Commands
