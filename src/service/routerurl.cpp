#include "service/routerurl.h"

namespace {

// Strips every "/" from both ends.
QString trimSlashes(const QString &path)
{
    qsizetype begin = 0;
    qsizetype end = path.size();
    while (begin < end && path.at(begin) == QLatin1Char('/'))
        ++begin;
    while (end > begin && path.at(end - 1) == QLatin1Char('/'))
        --end;
    return path.sliced(begin, end - begin);
}

} // namespace

std::optional<QUrl> normalizeRouterURL(const QString &typed)
{
    const QString text = typed.trimmed();
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;

    // QUrl lower-cases the scheme; the typed text decides, letter case included.
    const QString scheme = text.left(text.indexOf(QLatin1Char(':')));
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        return std::nullopt;
    if (url.host().isEmpty())
        return std::nullopt;

    // QUrl forgets an empty user part ("https://@host"): look for one in the typed authority.
    const qsizetype authorityStart = scheme.size() + 3;
    if (!text.mid(scheme.size(), 3).startsWith(QLatin1String("://")))
        return std::nullopt;
    qsizetype authorityEnd = text.size();
    for (const QChar stop : { QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#') }) {
        const qsizetype at = text.indexOf(stop, authorityStart);
        if (at >= 0)
            authorityEnd = std::min(authorityEnd, at);
    }
    if (text.sliced(authorityStart, authorityEnd - authorityStart).contains(QLatin1Char('@')))
        return std::nullopt;
    if (url.hasQuery() || url.hasFragment())
        return std::nullopt;

    QString path = url.path(QUrl::FullyDecoded);
    path.replace(QLatin1String("/v1"), QString());
    path = trimSlashes(path);

    QUrl router;
    router.setScheme(scheme);
    router.setHost(url.host(QUrl::FullyDecoded), QUrl::DecodedMode);
    router.setPort(url.port());
    router.setPath(path.isEmpty() ? QString() : QLatin1Char('/') + path, QUrl::DecodedMode);
    if (!router.isValid())
        return std::nullopt;
    return router;
}
