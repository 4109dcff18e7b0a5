#include "agents/fileutils.h"

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

namespace FileUtils {
QString backupDirectory(const QString &, const QDateTime &)
{
    return {};
}
void backupFile(const QString &, const QString &)
{
}
QJsonObject jsonObject(const QString &)
{
    return {};
}
void writeJSONObject(const QJsonObject &, const QString &)
{
}
void writeSecure(const QString &, const QString &, int)
{
}
QString execute(const QString &, const QStringList &)
{
    return {};
}
QString shellQuote(const QString &text)
{
    return text;
}
void makeDirectory(const QString &)
{
}
} // namespace FileUtils
