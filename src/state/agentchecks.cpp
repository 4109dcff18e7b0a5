// ConnectState's check of an agent's card: the steps on this machine (the agents layer), the
// relay's answer in the agent's own protocol (the service layer), the agent's own report, each
// worded here.

#include "state/connectstate.h"
#include "state/statetexts.h"

#include <QCoroTimer>

namespace {

using std::chrono::milliseconds;
using Fault = AgentCheck::Fault;
using Verdict = ProbeAnswer::Verdict;

// A check ends within a few seconds: no program it runs and no request it makes takes longer.
constexpr milliseconds checkStepLimit { 10000 };
constexpr milliseconds checkSpacing { 8 };

// `path` with the home folder shown as "~", as the user's shell files name it.
QString shortened(const QString &path, const QString &home)
{
    return !home.isEmpty() && path.startsWith(home + u'/') ? u'~' + path.sliced(home.size()) : path;
}

QString faultText(AgentCheck::Result local, const QString &home)
{
    local.subject = shortened(local.subject, home);
    local.detail = shortened(local.detail, home);
    switch (local.fault) {
    case Fault::none:
        break;
    case Fault::shellUnreadable:
        return StateTexts::shellUnreadable.arg(local.subject);
    case Fault::commandMissing:
        return StateTexts::commandMissing.arg(local.subject);
    case Fault::versionFailed:
        return StateTexts::versionFailed.arg(local.subject);
    case Fault::launcherMissing:
        return StateTexts::launcherMissing.arg(local.subject);
    case Fault::launcherOffPath:
        return StateTexts::launcherOffPath.arg(local.subject, local.detail, local.line);
    case Fault::launcherShadowed:
        return StateTexts::launcherShadowed.arg(local.subject, local.detail);
    case Fault::fileChanged:
        return StateTexts::fileChanged.arg(local.subject);
    case Fault::overridden:
        return (local.subject.contains(u'/') ? StateTexts::fileOverrides : StateTexts::variableOverrides)
            .arg(local.subject, local.detail);
    case Fault::notReadBack:
        return StateTexts::notReadBack.arg(local.subject);
    case Fault::noAgentModel:
        return StateTexts::noAgentModel.arg(local.subject);
    case Fault::keyringToolMissing:
        return StateTexts::keyringToolMissing.arg(local.subject);
    case Fault::userDiffers:
        return StateTexts::userDiffers.arg(local.subject, local.detail);
    case Fault::keyUnreadable:
        return local.subject.isEmpty() ? StateTexts::keyNotStored
                                       : StateTexts::keyUnreadable.arg(local.subject);
    }
    return {};
}

QString answerText(const ProbeAnswer &answer, const QString &model, milliseconds limit)
{
    QString text;
    switch (answer.verdict) {
    case Verdict::accepted:
        return {};
    case Verdict::keyRefused:
        text = StateTexts::keyRefused.arg(answer.status);
        break;
    case Verdict::modelUnknown:
        text = StateTexts::modelUnknown.arg(model).arg(answer.status);
        break;
    case Verdict::rateLimited:
        text = answer.retryAfterSeconds ? StateTexts::rateLimitedFor.arg(*answer.retryAfterSeconds)
                                        : StateTexts::rateLimited;
        break;
    case Verdict::refused:
        text = StateTexts::relayRefused.arg(answer.status);
        break;
    case Verdict::unreachable:
        return StateTexts::relayUnreachable.arg(answer.message);
    case Verdict::timedOut:
        return StateTexts::relayTimedOut.arg(std::chrono::duration<double>(limit).count());
    }
    return answer.message.isEmpty() ? text : StateTexts::relaySaid.arg(text, answer.message);
}

} // namespace

bool ConnectState::checkOffered(AgentKind kind) const
{
    return connected(kind) || (kind == AgentKind::codex && m_codexFilesWritten);
}

QCoro::Task<> ConnectState::readCodexFiles()
{
    const Presence self = m_presence;
    const auto read = [folders = m_platform->folders()] { return AgentCheck::codexFilesWritten(folders); };
    const bool written = co_await m_files.run(read);
    if (self.expired())
        co_return;
    setCodexFilesWritten(written);
}

void ConnectState::setCodexFilesWritten(bool written)
{
    if (std::exchange(m_codexFilesWritten, written) != written)
        Q_EMIT checkOfferedChanged(AgentKind::codex);
}

void ConnectState::setCheck(AgentKind kind, AgentCheckStatus::Stage stage, const QString &text)
{
    m_checks[std::size_t(kind)] = { stage, text };
    Q_EMIT checkChanged(kind);
}

QCoro::Task<> ConnectState::checkAgent(AgentKind kind)
{
    using Stage = AgentCheckStatus::Stage;
    if (!checkOffered(kind) || check(kind).stage == Stage::running)
        co_return;
    setCheck(kind, Stage::running, StateTexts::checking);
    // The status line tells what runs now, or how the last operation ended: while an operation
    // runs, the check is its card's alone.
    if (!m_busy)
        setActivity(StateTexts::checkingAgent.arg(title(kind)));
    const Presence self = m_presence;
    // Checks pressed together start a few milliseconds apart: six login shells started at once
    // crowd the cores (the more so on a busy machine), and the window then waits its turn.
    const auto now = std::chrono::steady_clock::now();
    const auto start = std::max(now, m_nextCheckStart);
    m_nextCheckStart = start + checkSpacing;
    if (start > now) {
        co_await QCoro::sleepFor(start - now);
        if (self.expired())
            co_return;
    }

    const QProcessEnvironment environment = m_platform->environment();
    const AgentCheck::Machine machine { m_platform->folders(), environment,
        AgentCheck::loginShell(environment), std::min(m_platform->toolTimeout(), checkStepLimit),
        m_platform->userName() };
    // The check's own copy: clearing empties the state's while the check runs.
    const AgentCheck::Target target = m_checkTargets[std::size_t(kind)].value_or(AgentCheck::Target {});
    CheckVerdict verdict;
    try {
        const AgentCheck::Result local
            = co_await AgentCheck::inspect(m_tools, m_files, kind, machine, target);
        stillChecking(self, kind);
        // Not a conditional expression: a co_await inside one is not safe with every compiler.
        if (local.fault != Fault::none)
            verdict = { false, faultText(local, machine.folders.home) };
        else
            verdict = co_await checkWithRelay(kind, machine, target, local);
    } catch (const ToolsClosed &) {
        co_return;
    } catch (const CheckWithdrawn &) {
        // Cleared meanwhile: the verdict would be about files that are gone.
        setCheck(kind, Stage::none, QString());
        co_return;
    } catch (...) {
        if (self.expired())
            co_return;
        verdict = { false, describe(std::current_exception()) };
    }
    if (self.expired())
        co_return;
    if (!checkOffered(kind)) {
        setCheck(kind, Stage::none, QString());
        co_return;
    }
    setCheck(kind, verdict.passed ? Stage::passed : Stage::failed, verdict.text);
    if (!m_busy)
        setActivity((verdict.passed ? StateTexts::agentCheckPassed : StateTexts::agentCheckFailed)
                        .arg(title(kind), verdict.text));
}

void ConnectState::stillChecking(const Presence &self, AgentKind kind) const
{
    if (self.expired())
        throw ToolsClosed();
    if (!checkOffered(kind))
        throw CheckWithdrawn();
}

QCoro::Task<ConnectState::CheckVerdict> ConnectState::checkWithRelay(
    AgentKind kind, AgentCheck::Machine machine, AgentCheck::Target target, AgentCheck::Result local)
{
    const Presence self = m_presence;
    // Codex's files may name another host: its key goes to the relay the window names alone.
    const auto origin = [](const QUrl &url) {
        return url.scheme() + u'|' + url.host() + u'|'
            + QString::number(url.port(url.scheme() == u"https" ? 443 : 80));
    };
    const std::optional<QUrl> router = normalizedRouterURL();
    if (kind == AgentKind::codex && (!router || origin(QUrl(local.baseURL)) != origin(*router)))
        co_return CheckVerdict { false, StateTexts::otherRelay.arg(local.baseURL) };
    // Codex: what its auth.json holds; the others: what the launcher's own line reads.
    if (kind != AgentKind::codex) {
        local = co_await AgentCheck::launcherKey(m_tools, m_files, machine, local, target);
        stillChecking(self, kind);
        if (local.fault != Fault::none)
            co_return CheckVerdict { false, faultText(local, machine.folders.home) };
    }
    const QString key = local.key;
    const milliseconds limit = std::min(m_platform->transferTimeout(), checkStepLimit);
    const ProbeAnswer answer
        = co_await m_relay.probe(descriptor(kind).protocol, local.baseURL, key, local.model, limit);
    stillChecking(self, kind);
    if (answer.verdict != Verdict::accepted)
        co_return CheckVerdict { false, answerText(answer, local.model, limit) };

    const Fault back = co_await AgentCheck::readBack(m_tools, m_files, kind, machine, local);
    stillChecking(self, kind);
    if (back != Fault::none) {
        const AgentDescriptor &agent = descriptor(kind);
        local.fault = back;
        local.subject = (agent.readBack->throughLauncher ? agent.launcherName : agent.command).toString()
            + u' ' + agent.readBack->arguments.toString();
        co_return CheckVerdict { false, faultText(local, machine.folders.home) };
    }
    const qint64 roundTrip = answer.roundTrip.count();
    co_return CheckVerdict { true,
        local.version.isEmpty() ? StateTexts::checkPassedUnversioned.arg(roundTrip)
                                : StateTexts::checkPassed.arg(local.version).arg(roundTrip) };
}
