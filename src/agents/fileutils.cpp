#include "agents/fileutils.h"

#include "agents/fileutilstexts.h"
#include "agents/securefile.h"
#include "platform/connecterror.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace {

QString systemError(const QString &path, const QString &description)
{
    return path + QStringLiteral(": ") + description;
}

// Qt keeps a JSON integer exactly only when it fits in 64 bits; a larger one is read as a
// double and would be written back changed. The first such integer in `json` (already parsed
// without error) outside its strings; empty when there is none.
QByteArrayView oversizedInteger(QByteArrayView json)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') {
            for (++i; i < json.size() && json[i] != '"'; ++i) {
                if (json[i] == '\\')
                    ++i;
            }
            continue;
        }
        if (c != '-' && !isDigit(c))
            continue;
        qsizetype end = i + 1;
        bool integer = true;
        while (end < json.size()) {
            const char d = json[end];
            if (d == '.' || d == 'e' || d == 'E')
                integer = false;
            else if (!isDigit(d) && d != '+' && d != '-')
                break;
            ++end;
        }
        if (integer) {
            bool fits = false;
            static_cast<void>(json.sliced(i, end - i).toLongLong(&fits));
            if (!fits)
                return json.sliced(i, end - i);
        }
        i = end - 1;
    }
    return {};
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

std::filesystem::path fileSystemPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// Removes the directory entry `path` itself (a link, not what it leads to).
void removeEntry(const QString &path)
{
    QFile file(path);
    if (!file.remove())
        throw PlatformError(systemError(path, file.errorString()));
}

// Far above any file that clearing recognises as the app's; a larger one is not read.
constexpr qint64 writtenSizeLimit = 1 << 20;

} // namespace

namespace FileUtils {

QByteArray regularFileBytes(const QString &path)
{
    const QString irregularity = SecureFile::irregularity(path);
    if (!irregularity.isEmpty())
        throw PlatformError(systemError(path, irregularity));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlatformError(systemError(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw PlatformError(systemError(path, file.errorString()));
    return bytes;
}

QString backupDirectory(const QString &appFolder, const QDateTime &now)
{
    const QString stamp
        = now.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")).replace(u':', u'-');
    const QString parent = appFolder + QStringLiteral("/backups");
    try {
        makePrivateDirectory(appFolder);
        makePrivateDirectory(parent);
    } catch (const PlatformError &) {
        // Reported by the first copy into the backup directory.
    }
    // mkdir(2) either creates the directory or reports that it exists, so a directory that
    // another operation made within the same second is never shared. Closed to group and
    // others: it receives copies of auth.json and of other files that may hold keys, whatever
    // modes those had.
    const QString base = parent + u'/' + stamp;
    QString candidate = base;
    for (int suffix = 2;; ++suffix) {
        if (::mkdir(QFile::encodeName(candidate).constData(), 0700) == 0 || errno != EEXIST)
            return candidate;
        candidate = base + u'-' + QString::number(suffix);
    }
}

void backupFile(const QString &path, const QString &backupDir)
{
    const QFileInfo source(path);
    if (!source.exists())
        return;
    const QByteArray bytes = regularFileBytes(path);
    const QString target = QDir(backupDir).filePath(source.fileName());
    // A backup is never overwritten: a second copy into the same directory fails.
    if (QFileInfo(target).exists() || QFileInfo(target).isSymLink())
        throw PlatformError(systemError(target, QStringLiteral("Destination file exists")));
    // The copy gets the file's own mode.
    struct stat status;
    const int mode
        = ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 0777) : configMode;
    const QString error = SecureFile::write(target, bytes, mode);
    if (!error.isEmpty())
        throw PlatformError(systemError(target, error));
}

QJsonObject jsonObject(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    const QByteArray data = regularFileBytes(path);

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        throw PlatformError(
            QStringLiteral("%1: %2 (offset %3)").arg(info.fileName(), error.errorString()).arg(error.offset));
    // A file whose numbers could not be written back unchanged is not merged either: the
    // merge must never alter what it does not own.
    if (!document.isObject())
        throw ConnectError(info.fileName() + FileUtilsTexts::notMergeableSuffix);
    const QByteArrayView oversized = oversizedInteger(data);
    if (!oversized.isEmpty())
        throw ConnectError(
            FileUtilsTexts::inexactNumber.arg(info.fileName(), QString::fromLatin1(oversized)));
    return document.object();
}

QByteArray jsonFileBytes(const QJsonObject &object)
{
    // QJsonObject keeps its keys sorted, so the document comes out sorted at every level.
    QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    while (bytes.endsWith('\n'))
        bytes.chop(1);
    return bytes + '\n';
}

void writeJSONObject(const QJsonObject &object, const QString &path)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(jsonFileBytes(object));
    if (decoder.hasError())
        throw ConnectError(FileUtilsTexts::jsonNotText);
    writeSecure(text, path, configMode);
}

void writeSecure(const QString &text, const QString &path, int mode)
{
    const QString error = SecureFile::write(path, text.toUtf8(), mode);
    if (!error.isEmpty())
        throw PlatformError(systemError(path, error));
}

QString shellQuote(const QString &text)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\"'\"'"));
    return u'\'' + quoted + u'\'';
}

void removeFile(const QString &path, const QString &backupDir, const WrittenTest &isWritten)
{
    const QFileInfo info(path);
    if (!info.isSymLink()) {
        if (!info.exists())
            return;
        backupFile(path, backupDir); // refuses anything but a regular file
        removeEntry(path);
        return;
    }
    if (info.exists() && SecureFile::irregularity(path).isEmpty() && info.size() <= writtenSizeLimit
        && isWritten(regularFileBytes(path))) {
        backupFile(path, backupDir);
        removeEntry(info.canonicalFilePath());
        return;
    }
    std::error_code error;
    const QString copy = QDir(backupDir).filePath(info.fileName());
    std::filesystem::copy_symlink(fileSystemPath(path), fileSystemPath(copy), error);
    if (error)
        throw PlatformError(systemError(copy, QString::fromLocal8Bit(error.message())));
    removeEntry(path);
}

void makeDirectory(const QString &path)
{
    std::error_code error;
    std::filesystem::create_directories(fileSystemPath(path), error);
    if (error)
        throw PlatformError(systemError(path, QString::fromLocal8Bit(error.message())));
}

void makePrivateDirectory(const QString &path)
{
    // The parents are the user's (~/.config, say) and get what the umask gives.
    makeDirectory(QFileInfo(path).path());
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        throw PlatformError(systemError(path, errnoText()));
    // Whatever the umask, or an earlier mode, made it.
    if (::chmod(QFile::encodeName(path).constData(), 0700) != 0)
        throw PlatformError(systemError(path, errnoText()));
}

} // namespace FileUtils
