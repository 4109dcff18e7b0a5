#include "service/connecterror.h"
#include "service/keychain.h"
#include "state/connectstate.h"

QString ConnectState::loadKey()
{
    return {};
}

void ConnectState::storeKey(const QString &)
{
}

namespace Keychain {
QString keychainService(const QUrl &, const QString &, qint64)
{
    return {};
}
QString loadKey(const QString &, const QString &, const QString &)
{
    return {};
}
void storeKey(const QString &, const QString &, const QString &, const QString &)
{
}
void deleteKey(const QString &, const QString &, const QString &)
{
}
} // namespace Keychain
