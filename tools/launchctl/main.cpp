// `launchctl`: the subcommands of macOS's /bin/launchctl that Velmora Connect uses, with the
// same arguments, output and exit statuses, for a per-user domain kept in files:
//
//   launchctl setenv KEY [VALUE]      launchctl bootstrap gui/UID PLIST
//   launchctl unsetenv KEY            launchctl bootout gui/UID/LABEL
//   launchctl getenv KEY              launchctl print gui/UID/LABEL
//
// A setenv with the value left out reads it from standard input (up to its end, less one final
// line feed), so that a key never shows in the process list; values given as arguments are
// wiped from it first thing. A damaged state file is reported with its path; setenv, unsetenv
// and bootout remove it and go on, so that neither connecting nor clearing is blocked by it
// and no key stays behind in it.
//
// What launchd does at the next login is not imitated: a job runs when it is bootstrapped
// with RunAtLoad, once, and bootstrap waits for it.

#include "domain.h"
#include "propertylist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <unistd.h>

namespace {

constexpr int statusUsage = 64; // EX_USAGE

void printOut(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, bytes.size(), stdout);
}

void printError(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, bytes.size(), stderr);
}

int usage(const QString &subcommand)
{
    static const QMap<QString, QString> lines {
        { QStringLiteral("setenv"), QStringLiteral("Usage: launchctl setenv <<key> <value>, ...>\n") },
        { QStringLiteral("unsetenv"), QStringLiteral("Usage: launchctl unsetenv <key>\n") },
        { QStringLiteral("getenv"), QStringLiteral("Usage: launchctl getenv <key>\n") },
        { QStringLiteral("bootstrap"),
            QStringLiteral("Usage: launchctl bootstrap <domain-target> <service-path>\n") },
        { QStringLiteral("bootout"), QStringLiteral("Usage: launchctl bootout <service-target>\n") },
        { QStringLiteral("print"), QStringLiteral("Usage: launchctl print <service-target>\n") },
    };
    if (lines.contains(subcommand)) {
        printError(lines.value(subcommand));
    } else {
        if (!subcommand.isEmpty())
            printError(QStringLiteral("Unrecognized subcommand: %1\n").arg(subcommand));
        printError(QStringLiteral("Usage: launchctl setenv|unsetenv|getenv|bootstrap|bootout|print ...\n"));
    }
    return statusUsage;
}

// "gui/<uid>" (with `withLabel`, "gui/<uid>/<label>"): the uid and the label.
struct Target
{
    uint uid = 0;
    QString label;
};

std::optional<Target> parseTarget(const QString &text, bool withLabel)
{
    const QStringList parts = text.split(u'/');
    if (parts.size() < 2 || parts[0] != QLatin1String("gui") || parts.size() != (withLabel ? 3 : 2))
        return std::nullopt;
    bool ok = false;
    Target target { parts[1].toUInt(&ok), withLabel ? parts[2] : QString() };
    if (!ok || (withLabel && target.label.isEmpty()))
        return std::nullopt;
    return target;
}

// Only the user's own domain is there to act on.
bool ownDomain(const Target &target, const QString &failure)
{
    if (target.uid == ::getuid())
        return true;
    printError(failure + QStringLiteral(": 1: Operation not permitted\n"));
    return false;
}

int setenv(QStringList arguments)
{
    if (arguments.size() == 1) {
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly))
            throw std::runtime_error("cannot read the value from standard input");
        QByteArray value = input.readAll();
        if (value.endsWith('\n'))
            value.chop(1);
        arguments.append(QString::fromLocal8Bit(value));
    }
    if (arguments.isEmpty() || arguments.size() % 2 != 0)
        return usage(QStringLiteral("setenv"));
    Domain domain(::getuid());
    QJsonObject environment = domain.environment(Domain::IfDamaged::discard);
    for (qsizetype i = 0; i < arguments.size(); i += 2)
        environment.insert(arguments[i], arguments[i + 1]);
    domain.setEnvironment(environment);
    return 0;
}

int unsetenv(const QStringList &arguments)
{
    if (arguments.size() != 1)
        return usage(QStringLiteral("unsetenv"));
    Domain domain(::getuid());
    QJsonObject environment = domain.environment(Domain::IfDamaged::discard);
    environment.remove(arguments[0]);
    domain.setEnvironment(environment);
    return 0;
}

int getenv(const QStringList &arguments)
{
    if (arguments.size() != 1)
        return usage(QStringLiteral("getenv"));
    const Domain domain(::getuid());
    const QJsonValue value = domain.environment().value(arguments[0]);
    if (value.isString())
        printOut(value.toString() + u'\n');
    return 0;
}

// Runs the job once as launchd would: from "/", no terminal, the domain's environment over
// the user's, and with the stand-ins on the search path as the system tools are on macOS.
QString runJob(const QJsonObject &job, const QJsonObject &domainEnvironment)
{
    QStringList arguments;
    for (const QJsonValue &argument : job.value(QStringLiteral("arguments")).toArray())
        arguments.append(argument.toString());
    QString program = job.value(QStringLiteral("program")).toString();
    if (program.isEmpty())
        program = arguments.value(0);
    if (!arguments.isEmpty())
        arguments.removeFirst(); // the program's own name: QProcess gives it as usual

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = domainEnvironment.begin(); it != domainEnvironment.end(); ++it)
        environment.insert(it.key(), it.value().toString());
    environment.insert(QStringLiteral("PATH"),
        QCoreApplication::applicationDirPath() + u':'
            + environment.value(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin:/usr/sbin:/sbin")));

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QStringLiteral("/"));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(-1))
        return QStringLiteral("78: EX_CONFIG");
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("(terminated by a signal)");
    return QString::number(process.exitCode());
}

int bootstrap(const QStringList &arguments)
{
    if (arguments.size() != 2)
        return usage(QStringLiteral("bootstrap"));
    const std::optional<Target> target = parseTarget(arguments[0], false);
    if (!target) {
        printError(QStringLiteral("Unrecognized target specifier.\n"));
        return usage(QStringLiteral("bootstrap"));
    }
    if (!ownDomain(*target, QStringLiteral("Bootstrap failed")))
        return 1;

    const QString path = QFileInfo(arguments[1]).absoluteFilePath();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("Bootstrap failed: 2: No such file or directory\n"));
        return 2;
    }
    JobDefinition definition;
    try {
        definition = readJobDefinition(file.readAll());
    } catch (const MalformedPropertyList &error) {
        printError(QStringLiteral("%1: %2\n").arg(path, QString::fromStdString(error.what())));
        printError(QStringLiteral("Bootstrap failed: 5: Input/output error\n"));
        return 5;
    }

    QJsonObject job;
    QJsonObject environment;
    {
        Domain domain(target->uid);
        QJsonObject jobs = domain.jobs();
        if (jobs.contains(definition.label)) {
            printError(QStringLiteral("Bootstrap failed: 37: Operation already in progress\n"));
            return 37;
        }
        job = QJsonObject { { QStringLiteral("path"), path },
            { QStringLiteral("program"), definition.program },
            { QStringLiteral("arguments"), QJsonArray::fromStringList(definition.arguments) },
            { QStringLiteral("runAtLoad"), definition.runAtLoad }, { QStringLiteral("runs"), 0 } };
        jobs.insert(definition.label, job);
        domain.setJobs(jobs);
        environment = domain.environment();
    } // the job may call launchctl itself: the domain is unlocked while it runs
    if (!definition.runAtLoad)
        return 0;

    const QString lastExit = runJob(job, environment);
    Domain domain(target->uid);
    QJsonObject jobs = domain.jobs();
    QJsonObject recorded = jobs.value(definition.label).toObject();
    if (recorded.value(QStringLiteral("path")).toString() == path) {
        recorded.insert(QStringLiteral("runs"), recorded.value(QStringLiteral("runs")).toInt() + 1);
        recorded.insert(QStringLiteral("lastExit"), lastExit);
        jobs.insert(definition.label, recorded);
        domain.setJobs(jobs);
    }
    return 0;
}

int bootout(const QStringList &arguments)
{
    if (arguments.size() != 1)
        return usage(QStringLiteral("bootout"));
    const std::optional<Target> target = parseTarget(arguments[0], true);
    if (!target) {
        printError(QStringLiteral("Unrecognized target specifier.\n"));
        return usage(QStringLiteral("bootout"));
    }
    if (!ownDomain(*target, QStringLiteral("Boot-out failed")))
        return 1;
    Domain domain(target->uid);
    QJsonObject jobs = domain.jobs(Domain::IfDamaged::discard);
    if (!jobs.contains(target->label)) {
        printError(QStringLiteral("Boot-out failed: 3: No such process\n"));
        return 3;
    }
    jobs.remove(target->label);
    domain.setJobs(jobs);
    return 0;
}

int print(const QStringList &arguments)
{
    if (arguments.size() != 1)
        return usage(QStringLiteral("print"));
    const std::optional<Target> target = parseTarget(arguments[0], true);
    if (!target) {
        printError(QStringLiteral("Unrecognized target specifier.\n"));
        return usage(QStringLiteral("print"));
    }
    if (!ownDomain(*target, QStringLiteral("Print failed")))
        return 1;
    const Domain domain(target->uid);
    const QJsonObject jobs = domain.jobs();
    if (!jobs.contains(target->label)) {
        printError(QStringLiteral("Could not find service \"%1\" in domain for user gui: %2\n")
                       .arg(target->label)
                       .arg(target->uid));
        return 113;
    }
    // As launchd prints a service; the domain's environment is left out, as it holds keys.
    const QJsonObject job = jobs.value(target->label).toObject();
    const QJsonArray programArguments = job.value(QStringLiteral("arguments")).toArray();
    QString program = job.value(QStringLiteral("program")).toString();
    if (program.isEmpty())
        program = programArguments.first().toString();
    QString text = arguments[0] + QStringLiteral(" = {\n");
    text += QStringLiteral("\tactive count = 0\n");
    text += QStringLiteral("\tpath = %1\n").arg(job.value(QStringLiteral("path")).toString());
    text += QStringLiteral("\ttype = LaunchAgent\n");
    text += QStringLiteral("\tstate = not running\n\n");
    text += QStringLiteral("\tprogram = %1\n").arg(program);
    text += QStringLiteral("\targuments = {\n");
    for (const QJsonValue &argument : programArguments)
        text += QStringLiteral("\t\t%1\n").arg(argument.toString());
    text += QStringLiteral("\t}\n\n");
    text += QStringLiteral("\truns = %1\n").arg(job.value(QStringLiteral("runs")).toInt());
    text += QStringLiteral("\tlast exit code = %1\n")
                .arg(job.contains(QStringLiteral("lastExit"))
                        ? job.value(QStringLiteral("lastExit")).toString()
                        : QStringLiteral("(never exited)"));
    text += QStringLiteral("}\n");
    printOut(text);
    return 0;
}

// The arguments as given: QCoreApplication would drop those that look like its own options.
// setenv's values are wiped from the process list on the way.
QStringList takeArguments(int argc, char **argv)
{
    QStringList arguments;
    const bool setenv = argc > 1 && std::strcmp(argv[1], "setenv") == 0;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
        if (setenv && i >= 3 && i % 2 == 1)
            std::memset(argv[i], 0, std::strlen(argv[i]));
    }
    return arguments;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments = takeArguments(argc, argv);
    QCoreApplication application(argc, argv);
    const QString subcommand = arguments.isEmpty() ? QString() : arguments.takeFirst();
    try {
        if (subcommand == QLatin1String("setenv"))
            return setenv(arguments);
        if (subcommand == QLatin1String("unsetenv"))
            return unsetenv(arguments);
        if (subcommand == QLatin1String("getenv"))
            return getenv(arguments);
        if (subcommand == QLatin1String("bootstrap"))
            return bootstrap(arguments);
        if (subcommand == QLatin1String("bootout"))
            return bootout(arguments);
        if (subcommand == QLatin1String("print"))
            return print(arguments);
        return usage(subcommand);
    } catch (const std::exception &error) {
        printError(QStringLiteral("launchctl: %1\n").arg(QString::fromLocal8Bit(error.what())));
        return 1;
    }
}
