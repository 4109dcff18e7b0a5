#include "relayserver.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    RelayServer relay;
    if (!relay.listen(8787))
        return 1;
    return app.exec();
}
