#include "service/connecterror.h"
#include "state/connectstate.h"

void ConnectState::configureOpenCode(const QUrl &, const QString &, const QString &)
{
}
void ConnectState::configureDeepSeekCrush(const QUrl &, const QString &, const QString &)
{
}
