#include "service/connecterror.h"
#include "state/connectstate.h"

void ConnectState::openOfficialInstaller(OfficialInstaller)
{
}
void ConnectState::downloadCodex()
{
}

QCoro::Task<> ConnectState::downloadTask(OfficialInstaller, bool)
{
    co_return;
}

QUrl ConnectState::codexDownloadURL() const
{
    return {};
}

QString title(OfficialInstaller)
{
    return {};
}

QString packageFileName(OfficialInstaller)
{
    return {};
}

QUrl installerUrl(OfficialInstaller, const QUrl &)
{
    return {};
}
