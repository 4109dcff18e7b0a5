#include "platform/connecterror.h"
#include "service/keychain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString servicePrefix = QStringLiteral("velmora-connect:");
const QString hostlessHost = QStringLiteral("local");
constexpr int accountLength = 48; // user-perceived characters, not bytes

// The first code point of a user-perceived character: what decides whether it counts as a
// letter or number, whatever marks or joiners follow it.
char32_t baseCharacter(QStringView cluster)
{
    if (cluster.size() > 1 && cluster[0].isHighSurrogate() && cluster[1].isLowSurrogate())
        return QChar::surrogateToUcs4(cluster[0], cluster[1]);
    return cluster[0].unicode();
}

// Lower-cased; each character that is neither a letter nor a number of any script becomes
// one hyphen; the first 48 characters.
QString accountField(const QString &account)
{
    const QString lower = account.toLower();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, lower);
    QString field;
    qsizetype start = 0;
    for (int count = 0; count < accountLength; ++count) {
        const qsizetype end = finder.toNextBoundary();
        if (end < 0 || end <= start)
            break;
        const QStringView cluster = QStringView(lower).sliced(start, end - start);
        if (QChar::isLetterOrNumber(baseCharacter(cluster)))
            field += cluster;
        else
            field += u'-';
        start = end;
    }
    return field;
}

} // namespace

namespace Keychain {

QString keychainService(const QUrl &router, const QString &account, qint64 groupID)
{
    const QString host = router.host().isEmpty() ? hostlessHost : router.host();
    const int port
        = router.port() >= 0 ? router.port() : (router.scheme() == QLatin1String("https") ? 443 : 80);
    return servicePrefix + host + u'-' + QString::number(port) + u':' + accountField(account) + u':'
        + QString::number(groupID);
}

QString legacyKeychainService(const QString &host)
{
    return servicePrefix + host + QStringLiteral("-443");
}

QCoro::Task<QString> loadKey(ToolRunner &tools, QString securityTool, QString user, QString service)
{
    const QStringList arguments { QStringLiteral("find-generic-password"), QStringLiteral("-a"), user,
        QStringLiteral("-s"), service, QStringLiteral("-w") };
    const QString output = co_await tools.execute(securityTool, arguments);
    co_return output.trimmed();
}

QCoro::Task<> storeKey(ToolRunner &tools, QString securityTool, QString user, QString service, QString key)
{
    const QStringList arguments { QStringLiteral("add-generic-password"), QStringLiteral("-U"),
        QStringLiteral("-a"), user, QStringLiteral("-s"), service, QStringLiteral("-w") };
#ifdef Q_OS_MACOS
    // macOS's tool takes the key only as an argument: visible in the process list for a moment.
    const QStringList withKey = arguments + QStringList { key };
    co_await tools.execute(securityTool, withKey);
#else
    // The stand-in reads the key from standard input when -w comes last.
    co_await tools.execute(securityTool, arguments, key);
#endif
}

QCoro::Task<bool> deleteKey(ToolRunner &tools, QString securityTool, QString user, QString service)
{
    const QStringList arguments { QStringLiteral("delete-generic-password"), QStringLiteral("-a"), user,
        QStringLiteral("-s"), service };
    try {
        co_await tools.execute(securityTool, arguments);
    } catch (const ToolFailed &failure) {
        if (failure.exitStatus() != itemNotFoundStatus)
            throw;
        co_return false;
    }
    co_return true;
}

} // namespace Keychain

// ---- The choice of the store, and the file store ----

namespace {

const QString settingsFileName = QStringLiteral("/settings.json");
const QString keyStoreMember = QStringLiteral("keyStore");
constexpr int statusNotAvailable = 53; // `security`: no keychain can be reached

QString keyFile(const QString &folder, const QString &service)
{
    return folder + u'/' + service;
}

QString systemText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A folder of the user alone, created with that mode whatever the umask.
void makePrivateFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    for (qsizetype slash = name.indexOf('/', 1); slash >= 0; slash = name.indexOf('/', slash + 1)) {
        if (::mkdir(name.left(slash).constData(), 0700) != 0 && errno != EEXIST)
            throw PlatformError(path + QStringLiteral(": ") + systemText());
    }
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        throw PlatformError(path + QStringLiteral(": ") + systemText());
    if (::chmod(name.constData(), 0700) != 0)
        throw PlatformError(path + QStringLiteral(": ") + systemText());
}

// `bytes` in `path`, replaced atomically, mode 0600 from its first byte.
void writePrivateFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    const int descriptor = ::mkstemp(temporary.data()); // 0600
    if (descriptor < 0)
        throw PlatformError(path + QStringLiteral(": ") + systemText());
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t step = ::write(descriptor, bytes.constData() + written, size_t(bytes.size() - written));
        if (step < 0 && errno == EINTR)
            continue;
        if (step <= 0)
            break;
        written += step;
    }
    const bool complete = written == bytes.size() && ::fsync(descriptor) == 0;
    const QString failure = systemText();
    ::close(descriptor);
    if (!complete || ::rename(temporary.constData(), target.constData()) != 0) {
        const QString reason = complete ? systemText() : failure;
        ::unlink(temporary.constData());
        throw PlatformError(path + QStringLiteral(": ") + reason);
    }
}

} // namespace

namespace Keychain {

QString sessionService(const QUrl &router)
{
    const QString host = router.host().isEmpty() ? hostlessHost : router.host();
    const int port
        = router.port() >= 0 ? router.port() : (router.scheme() == QLatin1String("https") ? 443 : 80);
    return QStringLiteral("velmora-connect-session:") + host + u'-' + QString::number(port);
}

QString kindName(Store::Kind kind)
{
    return kind == Store::Kind::file ? QStringLiteral("file") : QStringLiteral("keyring");
}

std::optional<Store::Kind> kindNamed(const QString &name)
{
    if (name == QLatin1String("file"))
        return Store::Kind::file;
    if (name == QLatin1String("keyring"))
        return Store::Kind::keyring;
    return std::nullopt;
}

Store::Kind configuredKind(const QString &appFolder)
{
    QFile file(appFolder + settingsFileName);
    if (!file.open(QIODevice::ReadOnly))
        return Store::Kind::keyring;
    const QJsonValue value = QJsonDocument::fromJson(file.read(64 * 1024)).object().value(keyStoreMember);
    return kindNamed(value.toString()).value_or(Store::Kind::keyring);
}

void setConfiguredKind(const QString &appFolder, Store::Kind kind)
{
    const QString path = appFolder + settingsFileName;
    QJsonObject settings;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        settings = QJsonDocument::fromJson(file.read(64 * 1024)).object();
    file.close();
    settings.insert(keyStoreMember, kindName(kind));
    makePrivateFolder(appFolder);
    writePrivateFile(path, QJsonDocument(settings).toJson());
}

QCoro::Task<QString> loadKey(ToolRunner &tools, FileWorker &files, Store store, QString service)
{
    if (store.kind == Store::Kind::keyring)
        co_return co_await loadKey(tools, store.securityTool, store.user, service);
    const auto read = [path = keyFile(store.folder, service)] {
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            throw ToolFailed(itemNotFoundStatus); // as `security` answers for no such item
        QFile file(path);
        // Only a regular file: a pipe put there would block the read.
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
            throw PlatformError(path + QStringLiteral(": ") + file.errorString());
        return QString::fromUtf8(file.read(64 * 1024)).trimmed();
    };
    co_return co_await files.run(read);
}

QCoro::Task<> storeKey(ToolRunner &tools, FileWorker &files, Store store, QString service, QString key)
{
    if (store.kind == Store::Kind::keyring) {
        co_await storeKey(tools, store.securityTool, store.user, service, key);
        co_return;
    }
    const auto write = [folder = store.folder, service, key] {
        makePrivateFolder(folder);
        writePrivateFile(keyFile(folder, service), key.toUtf8());
    };
    co_await files.run(write);
}

QCoro::Task<bool> deleteKey(ToolRunner &tools, FileWorker &files, Store store, QString service)
{
    if (store.kind == Store::Kind::keyring)
        co_return co_await deleteKey(tools, store.securityTool, store.user, service);
    const auto remove = [path = keyFile(store.folder, service)] {
        if (::unlink(QFile::encodeName(path).constData()) == 0)
            return true;
        if (errno != ENOENT)
            throw PlatformError(path + QStringLiteral(": ") + systemText());
        return false;
    };
    co_return co_await files.run(remove);
}

void removeKeyFiles(const QString &folder, const QStringList &services)
{
    for (const QString &service : services) {
        const QString path = keyFile(folder, service);
        if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
            throw PlatformError(path + QStringLiteral(": ") + systemText());
    }
}

QCoro::Task<bool> keyringAnswers(ToolRunner &tools, Store store)
{
    if (store.kind != Store::Kind::keyring)
        co_return true;
    const QStringList arguments { QStringLiteral("find-generic-password"), QStringLiteral("-a"), store.user,
        QStringLiteral("-s"), QStringLiteral("velmora-connect:probe") };
    try {
        const ProgramRun run = co_await tools.run(store.securityTool, arguments,
            QProcessEnvironment::systemEnvironment(), QDir::homePath(), std::chrono::seconds(30));
        co_return run.exitCode != statusNotAvailable;
    } catch (const Failure &) {
        co_return false; // `security` cannot be started
    }
}

} // namespace Keychain
