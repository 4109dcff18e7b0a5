#include "service/connecterror.h"
#include "state/connectstate.h"

void ConnectState::clearConfiguration()
{
}
