#include "cli/output.h"

#include <QJsonDocument>
#include <cstdio>
#include <unistd.h>

namespace {

void writeLine(FILE *stream, const QString &text)
{
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

Output::Output(bool json)
    : m_json(json)
    , m_progress(::isatty(STDERR_FILENO) == 1)
{
}

void Output::say(const QString &text) const
{
    writeLine(m_json ? stderr : stdout, text);
}

void Output::progress(const QString &text) const
{
    if (m_progress)
        writeLine(stderr, text);
}

void Output::writeError(const QString &text)
{
    writeLine(stderr, text);
}

int Output::finish(int status, const QString &message, QJsonObject members) const
{
    if (!message.isEmpty()) {
        if (status == 0)
            say(message);
        else
            writeError(message);
    }
    if (m_json) {
        members.insert(QStringLiteral("ok"), status == 0);
        members.insert(QStringLiteral("exitStatus"), status);
        members.insert(QStringLiteral("message"), message);
        const QByteArray bytes = QJsonDocument(members).toJson(QJsonDocument::Indented);
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    }
    return status;
}
