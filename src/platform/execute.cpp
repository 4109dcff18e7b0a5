#include "platform/execute.h"

#include "platform/connecterror.h"
#include "platform/platformtexts.h"

#include <QCoreApplication>
#include <QCoroProcess>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStringDecoder>

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
        process->kill();
        process->waitForFinished(-1);
        QCoreApplication::sendPostedEvents(process, QEvent::MetaCall);
    }
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
    process.start(input ? QIODevice::ReadWrite : QIODevice::ReadOnly);
    // The forked child has executed the tool, or failed to, within moments of start(): this
    // reads that answer and does not wait for the tool's work. QCoro's start() waits for
    // `started` alone, which a tool that cannot be executed never sends: it would wait out the
    // whole limit.
    if (!process.waitForStarted(-1))
        throw PlatformError(tool + QStringLiteral(": ") + process.errorString());
    m_running.append(&process);
    const auto forget = qScopeGuard([this, &process] { m_running.removeOne(&process); });
    if (input) {
        process.write(input->toUtf8());
        process.closeWriteChannel();
    }

    // False when the limit passed, and when the tool ended before the wait began.
    const bool finished = co_await qCoro(process).waitForFinished(m_limit);
    if (m_closing)
        throw ToolsClosed();
    if (!finished && process.state() != QProcess::NotRunning) {
        process.kill();
        co_await qCoro(process).waitForFinished(m_limit);
        if (m_closing)
            throw ToolsClosed();
        const double seconds = std::chrono::duration<double>(m_limit).count();
        throw ConnectError(PlatformTexts::toolTimedOut.arg(QFileInfo(tool).fileName()).arg(seconds));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw ConnectError(PlatformTexts::commandFailed);

    const QByteArray output = process.readAllStandardOutput();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(output);
    co_return decoder.hasError() ? QString() : text;
}
