#include "service/connecterror.h"
#include "state/connectstate.h"

QString ConnectState::backupDirectory() const
{
    return {};
}

QString ConnectState::execute(const QString &, const QStringList &) const
{
    return {};
}
