#pragma once

#include <QString>
#include <QUrl>

// The router URL's absolute string with every "/" trimmed from both ends. Every agent's base
// URL is built from it: the root alone, or the root followed by "/v1".
inline QString rootText(const QUrl &router)
{
    const QString text = router.toString(QUrl::FullyEncoded);
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u'/')
        ++begin;
    while (end > begin && text.at(end - 1) == u'/')
        --end;
    return text.sliced(begin, end - begin);
}
