#include "service/connecterror.h"
#include "state/connectstate.h"

QString ConnectState::loadKey()
{
    return {};
}

void ConnectState::storeKey(const QString &)
{
}
