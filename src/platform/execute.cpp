#include "platform/execute.h"

#include "platform/connecterror.h"
#include "platform/platformtexts.h"

#include <QCoreApplication>
#include <QCoroProcess>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>
#include <coroutine>
#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

// Resumes the awaiting task once `process` has left the Starting state, through a call queued
// to the process (as QCoro resumes its waits), so that the runner's destructor can deliver it.
// QCoro's signal awaiter cannot serve: stateChanged() carries Qt's private-signal tag.
struct StateLeft
{
    QProcess &process;

    bool await_ready() const noexcept { return process.state() != QProcess::Starting; }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        // Calls already queued may still arrive after the first: only one resumes.
        auto resumed = std::make_shared<bool>(false);
        QObject::connect(
            &process, &QProcess::stateChanged, &process,
            [waiting, resumed](QProcess::ProcessState) {
                if (std::exchange(*resumed, true))
                    return;
                waiting.resume();
            },
            Qt::QueuedConnection);
    }
    void await_resume() const noexcept { }
};

// Marks a process that leads a session of its own: it is stopped with its whole group.
constexpr char sessionLeader[] = "velmoraSessionLeader";

// Kills `process`, and its process group when it leads one.
void stop(QProcess &process)
{
    const qint64 id = process.processId();
    if (id > 0 && process.property(sessionLeader).toBool())
        ::kill(-pid_t(id), SIGKILL);
    process.kill();
}

} // namespace

ToolFailed::ToolFailed(int exitStatus)
    : ConnectError(PlatformTexts::commandFailed)
    , m_exitStatus(exitStatus)
{
}

ToolRunner::ToolRunner(std::chrono::milliseconds limit)
    : m_limit(limit)
{
}

ToolRunner::~ToolRunner()
{
    m_closing = true;
    // QCoro resumes the task waiting for a process through a queued call to that process:
    // delivered here, each task runs to its end and frees its frame while the state it serves
    // still has every field. A killed tool ends at once; the wait has no limit so that no task
    // is left to wake up later in a runner that is gone.
    while (!m_running.isEmpty()) {
        QProcess *process = m_running.takeFirst();
        stop(*process);
        process->waitForFinished(-1);
        QCoreApplication::sendPostedEvents(process, QEvent::MetaCall);
    }
}

QCoro::Task<> ToolRunner::start(QProcess &process, QIODevice::OpenMode mode)
{
    process.start(mode);
    // Registered at once: the destructor stops a program that is still starting too.
    m_running.append(&process);
    // The child executes the program, or fails to, once the system schedules it: awaited, so
    // that the window keeps drawing meanwhile (waitForStarted() would block it, for several
    // milliseconds on a busy machine and for each program). QCoro's start() waits for `started`
    // alone, which a program that cannot be executed never sends.
    if (process.state() == QProcess::Starting) {
        co_await StateLeft { process };
        if (m_closing)
            throw ToolsClosed();
    }
    if (process.error() == QProcess::FailedToStart) {
        m_running.removeOne(&process);
        throw PlatformError(process.program() + QStringLiteral(": ") + process.errorString());
    }
}

QCoro::Task<bool> ToolRunner::finish(QProcess &process, std::chrono::milliseconds limit)
{
    const auto forget = qScopeGuard([this, &process] { m_running.removeOne(&process); });
    // False when the limit passed, and when the program ended before the wait began.
    const bool finished = co_await qCoro(process).waitForFinished(limit);
    if (m_closing)
        throw ToolsClosed();
    if (finished || process.state() == QProcess::NotRunning)
        co_return true;
    stop(process);
    co_await qCoro(process).waitForFinished(limit);
    if (m_closing)
        throw ToolsClosed();
    co_return false;
}

QCoro::Task<QString> ToolRunner::execute(QString tool, QStringList arguments, std::optional<QString> input)
{
    if (m_closing)
        throw ToolsClosed();
    QProcess process;
    process.setProgram(tool);
    process.setArguments(arguments);
    if (!input)
        process.setInputChannelMode(QProcess::ForwardedInputChannel);
    // Standard error is never read: it goes nowhere, so a talkative tool cannot block on it.
    process.setStandardErrorFile(QProcess::nullDevice());
    co_await start(process, input ? QIODevice::ReadWrite : QIODevice::ReadOnly);
    if (input) {
        process.write(input->toUtf8());
        process.closeWriteChannel();
    }
    if (!co_await finish(process, m_limit)) {
        const double seconds = std::chrono::duration<double>(m_limit).count();
        throw ConnectError(PlatformTexts::toolTimedOut.arg(QFileInfo(tool).fileName()).arg(seconds));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw ToolFailed(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1);

    const QByteArray output = process.readAllStandardOutput();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(output);
    co_return decoder.hasError() ? QString() : text;
}

QCoro::Task<ProgramRun> ToolRunner::run(QString program, QStringList arguments,
    QProcessEnvironment environment, QString folder, std::chrono::milliseconds limit)
{
    if (m_closing)
        throw ToolsClosed();
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    // A session of its own. util-linux's setsid(1) makes it and executes the program in its
    // place (the child leads no group, so it does not fork): the program keeps the pid that
    // leads its group. A child-process modifier calling setsid() would do the same, but Qt then
    // starts each program with a full fork(), which holds the window's thread for milliseconds
    // per program on a busy machine; it serves where there is no setsid(1) (macOS).
    static const QString setsidTool = QStandardPaths::findExecutable(
        QStringLiteral("setsid"), { QStringLiteral("/usr/bin"), QStringLiteral("/bin") });
    if (!setsidTool.isEmpty()) {
        process.setProgram(setsidTool);
        process.setArguments(QStringList { QStringLiteral("--"), program } + arguments);
    } else {
        process.setProgram(program);
        process.setArguments(arguments);
        // In the child, before the program: setsid() cannot fail there, as the child of a fork
        // leads no group.
        process.setChildProcessModifier([] { ::setsid(); });
    }
    process.setProperty(sessionLeader, true);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    // Kept within bounds while the program runs: a program that writes without end cannot
    // fill the memory.
    constexpr qsizetype outputLimit = 64 * 1024;
    QByteArray output;
    const auto keep = [&process, &output] {
        const QByteArray chunk = process.readAllStandardOutput();
        output += chunk.first(std::clamp(outputLimit - output.size(), qsizetype(0), chunk.size()));
    };
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, keep);
    co_await start(process, QIODevice::ReadOnly);
    ProgramRun result;
    result.finished = co_await finish(process, limit);
    keep();
    if (result.finished && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.output = QString::fromUtf8(output);
    co_return result;
}
