#include "agents/fileutils.h"

#include "agents/fileutilstexts.h"
#include "platform/connecterror.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
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

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Qt keeps a JSON integer exactly only when it fits in 64 bits; a larger one is read as a
// double and would be written back changed. Tells whether `json` (already parsed without
// error) holds such an integer outside its strings.
bool holdsOversizedInteger(QByteArrayView json)
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
                return true;
        }
        i = end - 1;
    }
    return false;
}

} // namespace

namespace FileUtils {

QString backupDirectory(const QString &home, const QDateTime &now)
{
    const QString stamp
        = now.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")).replace(u':', u'-');
    const QString parent = QDir(home).filePath(QStringLiteral(".config/velmora-connect/backups"));
    QDir().mkpath(parent);
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
    const QString target = QDir(backupDir).filePath(source.fileName());
    QFile file(path);
    if (!file.copy(target))
        throw PlatformError(
            QStringLiteral("Could not copy %1 to %2: %3").arg(path, target, file.errorString()));
}

QJsonObject jsonObject(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlatformError(systemError(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw PlatformError(systemError(path, file.errorString()));

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        throw PlatformError(
            QStringLiteral("%1: %2 (offset %3)").arg(info.fileName(), error.errorString()).arg(error.offset));
    // A file whose numbers could not be written back unchanged is not merged either: the
    // merge must never alter what it does not own.
    if (!document.isObject() || holdsOversizedInteger(data))
        throw ConnectError(info.fileName() + FileUtilsTexts::notMergeableSuffix);
    return document.object();
}

void writeJSONObject(const QJsonObject &object, const QString &path)
{
    // QJsonObject keeps its keys sorted, so the document comes out sorted at every level.
    QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    while (bytes.endsWith('\n'))
        bytes.chop(1);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        throw ConnectError(FileUtilsTexts::jsonNotText);
    text.append(u'\n');
    writeSecure(text, path, configMode);
}

void writeSecure(const QString &text, const QString &path, int mode)
{
    QSaveFile file(path);
    // The temporary is created with the old file's mode (or as the umask allows). Where it
    // gets a name at once (no O_TMPFILE), another user could open it in that moment and read
    // what follows, so it is created closed to group and others; then it gets its final mode
    // before the first byte of the text reaches it.
    const mode_t umask = ::umask(077);
    const bool opened = file.open(QIODevice::WriteOnly);
    ::umask(umask);
    if (!opened)
        throw PlatformError(systemError(path, file.errorString()));
    if (::fchmod(file.handle(), static_cast<mode_t>(mode)) != 0) {
        const int error = errno;
        file.cancelWriting();
        throw PlatformError(systemError(path, errnoText(error)));
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        const QString description = file.errorString();
        file.cancelWriting();
        throw PlatformError(systemError(path, description));
    }
    if (!file.commit())
        throw PlatformError(systemError(path, file.errorString()));
    if (::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) != 0)
        throw PlatformError(systemError(path, errnoText(errno)));
}

QString shellQuote(const QString &text)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\"'\"'"));
    return u'\'' + quoted + u'\'';
}

void makeDirectory(const QString &path)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (error)
        throw PlatformError(systemError(path, QString::fromLocal8Bit(error.message())));
}

} // namespace FileUtils
