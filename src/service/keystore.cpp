#include "service/keychain.h"

#include <QTextBoundaryFinder>

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
