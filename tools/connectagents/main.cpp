#include "state/connectstate.h"
#include "state/waitwhilebusy.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

// velmora-connect-agents --router URL --username NAME --password TEXT [--clear | --check]: signs
// in, picks the first channel group and connects every agent, as a user does by pressing the
// window's buttons in turn; with --check, then checks every card at once and prints each card's
// verdict ("check <title>: passed|failed <line>"); with --clear, signs in and clears the
// configuration instead. Prints each resulting message; exits 1 when any step fails.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Connects every agent through the application's state."));
    parser.addHelpOption();
    const QCommandLineOption router(
        QStringLiteral("router"), QStringLiteral("API root."), QStringLiteral("URL"));
    const QCommandLineOption username(
        QStringLiteral("username"), QStringLiteral("Account e-mail."), QStringLiteral("NAME"));
    const QCommandLineOption password(
        QStringLiteral("password"), QStringLiteral("Account password."), QStringLiteral("TEXT"));
    const QCommandLineOption clear(QStringLiteral("clear"), QStringLiteral("Clear the configuration."));
    const QCommandLineOption check(
        QStringLiteral("check"), QStringLiteral("Check every agent once connected."));
    parser.addOptions({ router, username, password, clear, check });
    parser.process(app);

    QTextStream out(stdout);
    ConnectState state;
    state.setRouterURL(parser.value(router));
    state.setUsername(parser.value(username));
    state.setPassword(parser.value(password));
    state.login();
    waitWhileBusy(state);
    out << "login: " << state.activity() << Qt::endl;
    if (!state.authenticated() || state.groups().isEmpty())
        return 1;
    state.setSelectedGroupID(state.groups().first().id);
    if (parser.isSet(clear)) {
        state.clearConfiguration();
        waitWhileBusy(state);
        out << "clear: " << state.activity() << Qt::endl;
        return state.authenticated() ? 1 : 0;
    }

    int status = 0;
    for (const AgentDescriptor &agent : agents()) {
        state.configureAgent(agent.kind);
        waitWhileBusy(state);
        out << agent.title << ": " << state.activity() << Qt::endl;
        if (!state.connected(agent.kind))
            status = 1;
    }
    if (!parser.isSet(check))
        return status;
    using Stage = ConnectState::AgentCheckStatus::Stage;
    for (const AgentDescriptor &agent : agents())
        state.checkAgent(agent.kind);
    waitWhileChecking(state);
    for (const AgentDescriptor &agent : agents()) {
        const ConnectState::AgentCheckStatus &result = state.check(agent.kind);
        out << "check " << agent.title << ": " << (result.stage == Stage::passed ? "passed " : "failed ")
            << result.text << Qt::endl;
    }
    return status;
}
