#include "agents/connectionrecord.h"

#include "agents/fileutils.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

const QString codexFoldersKey = QStringLiteral("codex_folders");
const QString keychainServiceKey = QStringLiteral("keychain_service");

} // namespace

QString ConnectionRecord::path(const QString &home)
{
    return home + QStringLiteral("/.config/velmora-connect/connections.json");
}

ConnectionRecord ConnectionRecord::read(const QString &home)
{
    const QJsonObject object = FileUtils::jsonObject(path(home));
    ConnectionRecord record;
    for (const QJsonValue &folder : object.value(codexFoldersKey).toArray()) {
        if (folder.isString() && !folder.toString().isEmpty())
            record.codexFolders.append(folder.toString());
    }
    record.keychainService = object.value(keychainServiceKey).toString();
    return record;
}

void ConnectionRecord::write(const QString &home) const
{
    const QString file = path(home);
    FileUtils::makePrivateDirectory(QFileInfo(file).path());
    QJsonObject object { { codexFoldersKey, QJsonArray::fromStringList(codexFolders) } };
    if (!keychainService.isEmpty())
        object.insert(keychainServiceKey, keychainService);
    FileUtils::writeJSONObject(object, file);
}

void ConnectionRecord::remember(
    const QString &home, const QString &keychainService, const std::optional<QString> &codexFolder)
{
    ConnectionRecord record = read(home);
    if (codexFolder && !record.codexFolders.contains(*codexFolder))
        record.codexFolders.append(*codexFolder);
    record.keychainService = keychainService;
    record.write(home);
}

void ConnectionRecord::remove(const QString &home, const QString &backupDirectory)
{
    FileUtils::removeFile(path(home), backupDirectory, [](const QByteArray &) { return true; });
}
