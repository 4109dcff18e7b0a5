#include "service/connecterror.h"
#include "state/connectstate.h"

void ConnectState::configureDesktopEnvironment(const QString &, const QString &, const QString &)
{
}
