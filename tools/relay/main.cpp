#include "agents/agentkind.h"
#include "relayserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QTextStream>

// velmora-relay-sim [--port N] [--scenario file.json] [--call-log file]: a Velmora relay on
// loopback with a demo account and a small placeholder for each installer package, for trying
// the application without a real service.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-relay-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A local Velmora relay with a demo account."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("Port to listen on (127.0.0.1); 0 picks a free one."), QStringLiteral("N"),
        QStringLiteral("8787"));
    const QCommandLineOption scenarioOption(
        QStringLiteral("scenario"), QStringLiteral("JSON scenario to load."), QStringLiteral("file.json"));
    const QCommandLineOption callLogOption(QStringLiteral("call-log"),
        QStringLiteral("Append one JSON line per model call (path, key, model, status)."),
        QStringLiteral("file"));
    parser.addOption(portOption);
    parser.addOption(scenarioOption);
    parser.addOption(callLogOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool portValid = false;
    const uint port = parser.value(portOption).toUInt(&portValid);
    if (!portValid || port > 65535) {
        err << "velmora-relay-sim: invalid port " << parser.value(portOption) << Qt::endl;
        return 2;
    }

    RelayServer relay;
    for (const AgentDescriptor &agent : agents()) {
        const QByteArray name = agent.packageFileName.toUtf8();
        relay.setPackage(
            agent.packageFileName.toString(), "Velmora Connect demo placeholder: " + name + '\n');
    }
    if (parser.isSet(callLogOption)) {
        const QString problem = relay.setCallLog(parser.value(callLogOption));
        if (!problem.isEmpty()) {
            err << "velmora-relay-sim: " << parser.value(callLogOption) << ": " << problem << Qt::endl;
            return 2;
        }
    }
    if (parser.isSet(scenarioOption)) {
        QFile file(parser.value(scenarioOption));
        if (!file.open(QIODevice::ReadOnly)) {
            err << "velmora-relay-sim: cannot read " << file.fileName() << ": " << file.errorString()
                << Qt::endl;
            return 2;
        }
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
        if (!document.isObject()) {
            err << "velmora-relay-sim: " << file.fileName() << ": "
                << (parseError.error ? parseError.errorString() : QStringLiteral("not a JSON object"))
                << Qt::endl;
            return 2;
        }
        const QString problem = relay.loadScenario(document.object());
        if (!problem.isEmpty()) {
            err << "velmora-relay-sim: " << file.fileName() << ": " << problem << Qt::endl;
            return 2;
        }
    }
    if (relay.listen(quint16(port)) == 0) {
        err << "velmora-relay-sim: cannot listen on 127.0.0.1:" << port << Qt::endl;
        return 1;
    }

    out << relay.baseUrl().toString() << Qt::endl;
    err << "Velmora relay on " << relay.baseUrl().toString() << "; demo account " << relay.account().email
        << " / " << relay.account().password << Qt::endl;
    return app.exec();
}
