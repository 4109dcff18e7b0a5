#include "platform/execute.h"

#include "platform/connecterror.h"
#include "platform/platformtexts.h"

#include <QCoreApplication>
#include <QCoro/QCoroFuture>
#include <QFileInfo>
#include <QProcess>
#include <QPromise>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <limits>
#include <memory>
#include <unistd.h>

// What one program runs with.
struct ToolRunner::Launch
{
    QString program;
    QStringList arguments;
    std::optional<QProcessEnvironment> environment {}; // none: the app's own
    QString folder {}; // empty: the app's own
    // A program of the agents': a session of its own, standard input empty, standard error
    // merged into standard output. A tool: standard error goes nowhere, standard input is
    // inherited or carries `input`.
    bool ownSession = false;
    std::optional<QByteArray> input {};
    std::chrono::milliseconds limit;
    qsizetype outputLimit = std::numeric_limits<qsizetype>::max();
};

// How it ended.
struct ToolRunner::Outcome
{
    QString startFailure; // the system's text when it could not be started
    bool finished = false; // false: past the limit and killed, or stopped as the runner went
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1; // the status of a normal exit
    QByteArray output; // at most the launch's output limit of it
};

// Starts and watches the programs, on the runner's thread.
class ToolRunner::Host : public QObject
{
public:
    void start(const Launch &launch, std::shared_ptr<QPromise<Outcome>> promise);
    // Kills every program still running and hands over how each ended.
    void stopAll();

private:
    class Run;
};

// One program, from its start until its outcome is handed over (once).
class ToolRunner::Host::Run : public QObject
{
public:
    Run(const Launch &launch, std::shared_ptr<QPromise<Outcome>> promise, QObject *host);
    // Kills the program, and its process group when it leads one.
    void stop();
    QProcess &process() { return m_process; }

private:
    void keepOutput();
    void deliver();

    QProcess m_process { this };
    QTimer m_timer { this };
    std::shared_ptr<QPromise<Outcome>> m_promise;
    Outcome m_outcome;
    qsizetype m_outputLimit;
    bool m_ownSession;
    bool m_stopped = false; // killed past the limit, or as the runner goes
    bool m_delivered = false;
};

ToolRunner::Host::Run::Run(const Launch &launch, std::shared_ptr<QPromise<Outcome>> promise, QObject *host)
    : QObject(host)
    , m_promise(std::move(promise))
    , m_outputLimit(launch.outputLimit)
    , m_ownSession(launch.ownSession)
{
    if (launch.environment)
        m_process.setProcessEnvironment(*launch.environment);
    if (!launch.folder.isEmpty())
        m_process.setWorkingDirectory(launch.folder);
    if (launch.ownSession) {
        // A session of its own. util-linux's setsid(1) makes it and executes the program in its
        // place (the child leads no group, so it does not fork): the program keeps the pid that
        // leads its group. A child-process modifier calling setsid() would do the same, but Qt
        // then starts each program with a full fork() of the app; it serves where there is no
        // setsid(1) (macOS).
        static const QString setsidTool = QStandardPaths::findExecutable(
            QStringLiteral("setsid"), { QStringLiteral("/usr/bin"), QStringLiteral("/bin") });
        if (!setsidTool.isEmpty()) {
            m_process.setProgram(setsidTool);
            m_process.setArguments(QStringList { QStringLiteral("--"), launch.program } + launch.arguments);
        } else {
            m_process.setProgram(launch.program);
            m_process.setArguments(launch.arguments);
            // In the child, before the program: setsid() cannot fail there, as the child of a
            // fork leads no group.
            m_process.setChildProcessModifier([] { ::setsid(); });
        }
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardInputFile(QProcess::nullDevice());
    } else {
        m_process.setProgram(launch.program);
        m_process.setArguments(launch.arguments);
        if (!launch.input)
            m_process.setInputChannelMode(QProcess::ForwardedInputChannel);
        // Standard error is never read: it goes nowhere, so a talkative tool cannot block on it.
        m_process.setStandardErrorFile(QProcess::nullDevice());
    }
    // Kept within bounds while the program runs: a program that writes without end cannot fill
    // the memory.
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &Run::keepOutput);
    if (launch.input) {
        connect(&m_process, &QProcess::started, this, [this, input = *launch.input] {
            m_process.write(input);
            m_process.closeWriteChannel();
        });
    }
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        m_outcome.startFailure = m_process.program() + QStringLiteral(": ") + m_process.errorString();
        deliver();
    });
    connect(&m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus exitStatus) {
        keepOutput();
        m_outcome.finished = !m_stopped;
        m_outcome.exitStatus = exitStatus;
        m_outcome.exitCode = exitStatus == QProcess::NormalExit ? exitCode : -1;
        deliver();
    });
    // Past the limit the program is killed and given the limit once more to end: a program the
    // system cannot end at once (in the middle of a disk read) is handed over as unfinished.
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this, limit = launch.limit] {
        if (m_stopped)
            return deliver();
        stop();
        m_timer.start(limit);
    });
    m_timer.start(launch.limit);
    m_process.start(launch.input ? QIODevice::ReadWrite : QIODevice::ReadOnly);
}

void ToolRunner::Host::Run::stop()
{
    m_stopped = true;
    const qint64 id = m_process.processId();
    if (id > 0 && m_ownSession)
        ::kill(-pid_t(id), SIGKILL);
    m_process.kill();
}

void ToolRunner::Host::Run::keepOutput()
{
    const QByteArray chunk = m_process.readAllStandardOutput();
    m_outcome.output
        += chunk.first(std::clamp(m_outputLimit - m_outcome.output.size(), qsizetype(0), chunk.size()));
}

void ToolRunner::Host::Run::deliver()
{
    if (std::exchange(m_delivered, true))
        return;
    m_timer.stop();
    m_promise->addResult(m_outcome);
    m_promise->finish();
    deleteLater();
}

void ToolRunner::Host::start(const Launch &launch, std::shared_ptr<QPromise<Outcome>> promise)
{
    new Run(launch, std::move(promise), this);
}

void ToolRunner::Host::stopAll()
{
    for (Run *run : findChildren<Run *>(Qt::FindDirectChildrenOnly)) {
        if (run->process().state() == QProcess::NotRunning)
            continue;
        run->stop();
        // A killed program ends at once; its outcome is handed over as it does.
        run->process().waitForFinished(-1);
    }
}

ToolFailed::ToolFailed(int exitStatus)
    : ConnectError(PlatformTexts::commandFailed)
    , m_exitStatus(exitStatus)
{
}

ToolRunner::ToolRunner(std::chrono::milliseconds limit)
    : m_limit(limit)
    , m_host(new Host)
{
    m_host->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_host, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("velmora-tools"));
    m_thread.start();
}

ToolRunner::~ToolRunner()
{
    m_closing = true;
    // Starts still queued run first, then every program is killed and its outcome handed over.
    QMetaObject::invokeMethod(
        m_host, [host = m_host] { host->stopAll(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    // QCoro resumes a task awaiting a program through the future's watcher, in an event posted
    // to this thread: delivered here, each task runs to its end (ToolsClosed) and frees its
    // frame while the state it serves still has every field.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::FutureCallOut);
}

QCoro::Task<ToolRunner::Outcome> ToolRunner::launch(Launch job)
{
    if (m_closing)
        throw ToolsClosed();
    auto promise = std::make_shared<QPromise<Outcome>>();
    promise->start();
    const QFuture<Outcome> outcome = promise->future();
    QMetaObject::invokeMethod(
        m_host, [host = m_host, job = std::move(job), promise] { host->start(job, promise); },
        Qt::QueuedConnection);
    Outcome result = co_await outcome;
    if (m_closing)
        throw ToolsClosed();
    if (!result.startFailure.isEmpty())
        throw PlatformError(result.startFailure);
    co_return result;
}

QCoro::Task<QString> ToolRunner::execute(QString tool, QStringList arguments, std::optional<QString> input)
{
    Launch job { .program = tool, .arguments = arguments, .limit = m_limit };
    if (input)
        job.input = input->toUtf8();
    const Outcome outcome = co_await launch(std::move(job));
    if (!outcome.finished) {
        const double seconds = std::chrono::duration<double>(m_limit).count();
        throw ConnectError(PlatformTexts::toolTimedOut.arg(QFileInfo(tool).fileName()).arg(seconds));
    }
    if (outcome.exitStatus != QProcess::NormalExit || outcome.exitCode != 0)
        throw ToolFailed(outcome.exitCode);

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(outcome.output);
    co_return decoder.hasError() ? QString() : text;
}

QCoro::Task<ProgramRun> ToolRunner::run(QString program, QStringList arguments,
    QProcessEnvironment environment, QString folder, std::chrono::milliseconds limit)
{
    Launch job { .program = program,
        .arguments = arguments,
        .environment = environment,
        .folder = folder,
        .ownSession = true,
        .limit = limit,
        .outputLimit = 64 * 1024 };
    const Outcome outcome = co_await launch(std::move(job));
    co_return ProgramRun { .finished = outcome.finished,
        .exitCode = outcome.finished ? outcome.exitCode : -1,
        .output = QString::fromUtf8(outcome.output) };
}
