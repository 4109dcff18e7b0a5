#include "cli/cli.h"
#include "platform/platform.h"

#include <QCoreApplication>

// velmora: the application from a terminal, on the same state as the window.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora"));
    return Cli::run(QCoreApplication::arguments(), systemPlatform());
}
