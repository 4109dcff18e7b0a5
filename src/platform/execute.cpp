#include "platform/execute.h"

#include "platform/connecterror.h"
#include "platform/platformtexts.h"

#include <QProcess>
#include <QStringDecoder>

QString execute(const QString &tool, const QStringList &arguments, const std::optional<QString> &input)
{
    QProcess process;
    process.setProgram(tool);
    process.setArguments(arguments);
    if (!input)
        process.setInputChannelMode(QProcess::ForwardedInputChannel);
    // Standard error is never read: it goes nowhere, so a talkative tool cannot block on it.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(input ? QIODevice::ReadWrite : QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        throw PlatformError(tool + QStringLiteral(": ") + process.errorString());
    if (input) {
        process.write(input->toUtf8());
        process.closeWriteChannel();
    }
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw ConnectError(PlatformTexts::commandFailed);

    const QByteArray output = process.readAllStandardOutput();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(output);
    return decoder.hasError() ? QString() : text;
}
