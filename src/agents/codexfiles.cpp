#include "service/connecterror.h"
#include "state/connectstate.h"

void ConnectState::configureCodex(const QUrl &, const QString &)
{
}
