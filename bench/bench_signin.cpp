// Sign-in speed and window responsiveness against the local relay.
//
// 1. The median of 100 sign-ins (login, profile, groups: three requests each) made by
//    ConnectState::login(), beside the same three requests made by curl over one connection
//    in the same run. Goal: no more than 1.5 times curl.
// 2. The longest pause of the event loop while a sign-in waits on a relay that answers the
//    login after 2 s, measured by a 1 ms timer. Goal: under 16 ms.
//
// Prints the figures; asserts nothing.

#include "benchsupport.h"
#include "longestpause.h"
#include "relayserver.h"
#include "state/connectstate.h"
#include "state/waitwhilebusy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int runs = 100;
constexpr int warmUp = 5;

double percentile(QList<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.at(std::min(values.size() - 1, qsizetype(fraction * double(values.size()))));
}

// One sign-in through the product, in milliseconds.
double signIn(ConnectState &state, RelayServer &relay)
{
    state.setPassword(relay.account().password);
    QElapsedTimer clock;
    clock.start();
    state.login();
    waitWhileBusy(state);
    const double elapsed = double(clock.nsecsElapsed()) / 1e6;
    if (!state.authenticated())
        std::fprintf(stderr, "sign-in failed: %s\n", qPrintable(state.activity()));
    return elapsed;
}

struct CurlRun
{
    double transfers = 0; // the sum of curl's own time_total of the three transfers, ms
    double process = 0; // the whole curl process, start-up included, ms
    bool ok = false;
};

// The same three requests by curl, over one connection (--next reuses it).
CurlRun curlSignIn(const QString &curl, RelayServer &relay)
{
    const QString base = relay.baseUrl().toString();
    const QByteArray credentials = QByteArrayLiteral(R"({"email":")") + relay.account().email.toUtf8()
        + R"(","password":")" + relay.account().password.toUtf8() + R"("})";
    const QString bearer = QStringLiteral("Authorization: Bearer ") + relay.account().accessToken;
    const QStringList common { QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
        QStringLiteral("-w"), QStringLiteral("%{time_total}\\n"), QStringLiteral("-H"),
        QStringLiteral("Accept: application/json") };
    QStringList arguments = common;
    arguments << QStringLiteral("-X") << QStringLiteral("POST") << QStringLiteral("-H")
              << QStringLiteral("Content-Type: application/json") << QStringLiteral("--data-binary")
              << QString::fromUtf8(credentials) << base + QStringLiteral("/api/v1/auth/login");
    for (const char *path : { "/api/v1/auth/me", "/api/v1/groups/available" })
        arguments << QStringLiteral("--next") << common << QStringLiteral("-H") << bearer
                  << base + QLatin1String(path);

    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    process.start(curl, arguments);
    loop.exec(); // the relay answers from this same loop
    CurlRun run;
    run.process = double(clock.nsecsElapsed()) / 1e6;
    const QList<QByteArray> lines = process.readAllStandardOutput().trimmed().split('\n');
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && lines.size() == 3;
    for (const QByteArray &line : lines)
        run.transfers += line.toDouble() * 1000;
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    RelayServer relay;
    if (relay.listen() == 0) {
        std::fprintf(stderr, "cannot start the local relay\n");
        return 1;
    }
    const MachineLoad load(loadOption(app.arguments()));
    ConnectState state;
    state.setRouterURL(relay.baseUrl().toString());
    state.setUsername(relay.account().email);

    // 1. Sign-in, product against curl.
    QList<double> product;
    for (int run = 0; run < warmUp + runs; ++run) {
        const double elapsed = signIn(state, relay);
        if (run >= warmUp)
            product.append(elapsed);
    }
    std::printf("Sign-in (login, profile, groups) against the in-process relay, %d runs\n", runs);
    std::printf("  ConnectState::login()      median %7.3f ms   min %7.3f   p90 %7.3f\n", median(product),
        percentile(product, 0), percentile(product, 0.9));

    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty()) {
        std::printf("  curl                       not installed: no comparison\n");
    } else {
        QList<double> transfers;
        QList<double> processes;
        int failed = 0;
        for (int run = 0; run < warmUp + runs; ++run) {
            const CurlRun result = curlSignIn(curl, relay);
            if (!result.ok) {
                ++failed;
                continue;
            }
            if (run >= warmUp) {
                transfers.append(result.transfers);
                processes.append(result.process);
            }
        }
        if (transfers.isEmpty()) {
            std::printf("  curl                       every run failed\n");
        } else {
            std::printf("  curl, one connection       median %7.3f ms   min %7.3f   p90 %7.3f   (its own "
                        "time_total of the three transfers)\n",
                median(transfers), percentile(transfers, 0), percentile(transfers, 0.9));
            std::printf(
                "  curl, whole process        median %7.3f ms   (start-up included)\n", median(processes));
            std::printf("  login() / curl transfers   %.2f   (goal: at most 1.5)\n",
                median(product) / median(transfers));
            if (failed)
                std::printf("  (%d curl runs failed and were left out)\n", failed);
        }
    }

    // 2. The event loop while the login call waits 2 s.
    const auto idle = longestPause([] {
        QEventLoop loop;
        QTimer::singleShot(2000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    });
    relay.delayRoute("POST", QStringLiteral("/api/v1/auth/login"), 2000);
    const auto waiting = longestPause([&] { signIn(state, relay); });
    std::printf("Event loop while a sign-in waits on a relay that answers after 2 s\n");
    std::printf("  longest pause              %7.3f ms over %.0f ms   (goal: under 16 ms)\n", waiting.first,
        waiting.second);
    std::printf("  idle loop, for reference   %7.3f ms over %.0f ms\n", idle.first, idle.second);
    printLoad(load);
    printLoadAverage();
    return 0;
}
