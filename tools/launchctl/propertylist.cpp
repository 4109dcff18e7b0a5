#include "propertylist.h"

#include <QVariant>
#include <QXmlStreamReader>

namespace {

[[noreturn]] void fail(const QString &reason)
{
    throw MalformedPropertyList(reason.toStdString());
}

// Far more than any job needs, far less than what would exhaust the stack.
constexpr int maximumDepth = 64;

// Reads the value whose start element the reader stands on, up to its end element. `depth`
// counts the arrays and dictionaries around it.
QVariant readValue(QXmlStreamReader &xml, int depth = 0)
{
    const QString name = xml.name().toString(); // the reader's view moves on as it reads
    if (depth > maximumDepth)
        fail(QStringLiteral("values nested deeper than %1 levels").arg(maximumDepth));
    if (name == u"dict") {
        QVariantMap map;
        while (xml.readNextStartElement()) {
            if (xml.name() != u"key")
                fail(QStringLiteral("<%1> where a <key> belongs").arg(xml.name()));
            const QString key = xml.readElementText();
            if (!xml.readNextStartElement())
                fail(QStringLiteral("the key %1 has no value").arg(key));
            if (map.contains(key))
                fail(QStringLiteral("the key %1 appears twice").arg(key));
            map.insert(key, readValue(xml, depth + 1));
        }
        return map;
    }
    if (name == u"array") {
        QVariantList list;
        while (xml.readNextStartElement())
            list.append(readValue(xml, depth + 1));
        return list;
    }
    if (name == u"string" || name == u"date" || name == u"data")
        return xml.readElementText();
    if (name == u"true" || name == u"false") {
        const bool value = name == u"true";
        if (!xml.readElementText().isEmpty())
            fail(QStringLiteral("<%1/> holds text").arg(name));
        return value;
    }
    if (name == u"integer") {
        bool ok = false;
        const qlonglong value = xml.readElementText().trimmed().toLongLong(&ok);
        if (!ok)
            fail(QStringLiteral("an <integer> that is not a number"));
        return value;
    }
    if (name == u"real") {
        bool ok = false;
        const double value = xml.readElementText().trimmed().toDouble(&ok);
        if (!ok)
            fail(QStringLiteral("a <real> that is not a number"));
        return value;
    }
    fail(QStringLiteral("unknown element <%1>").arg(name));
}

QVariantMap readTopDictionary(const QByteArray &bytes)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != u"plist")
        fail(xml.hasError() ? xml.errorString() : QStringLiteral("not a property list"));
    if (!xml.readNextStartElement())
        fail(xml.hasError() ? xml.errorString() : QStringLiteral("an empty property list"));
    if (xml.name() != u"dict")
        fail(QStringLiteral("the property list does not hold a dictionary"));
    const QVariant top = readValue(xml);
    if (!xml.hasError() && xml.readNextStartElement())
        fail(QStringLiteral("the property list holds more than one value"));
    while (!xml.atEnd() && !xml.hasError())
        xml.readNext();
    if (xml.hasError())
        fail(QStringLiteral("%1 (line %2, column %3)")
                 .arg(xml.errorString())
                 .arg(xml.lineNumber())
                 .arg(xml.columnNumber()));
    return top.toMap();
}

} // namespace

JobDefinition readJobDefinition(const QByteArray &xml)
{
    const QVariantMap top = readTopDictionary(xml);
    JobDefinition job;

    const QVariant label = top.value(QStringLiteral("Label"));
    if (label.typeId() != QMetaType::QString || label.toString().isEmpty())
        fail(QStringLiteral("no Label"));
    job.label = label.toString();

    if (top.contains(QStringLiteral("Program"))) {
        const QVariant program = top.value(QStringLiteral("Program"));
        if (program.typeId() != QMetaType::QString || program.toString().isEmpty())
            fail(QStringLiteral("Program is not a path"));
        job.program = program.toString();
    }
    if (top.contains(QStringLiteral("ProgramArguments"))) {
        const QVariant arguments = top.value(QStringLiteral("ProgramArguments"));
        if (arguments.typeId() != QMetaType::QVariantList)
            fail(QStringLiteral("ProgramArguments is not an array"));
        for (const QVariant &argument : arguments.toList()) {
            if (argument.typeId() != QMetaType::QString)
                fail(QStringLiteral("ProgramArguments holds something other than strings"));
            job.arguments.append(argument.toString());
        }
    }
    if (job.program.isEmpty() && job.arguments.isEmpty())
        fail(QStringLiteral("neither Program nor ProgramArguments"));

    if (top.contains(QStringLiteral("RunAtLoad"))) {
        const QVariant runAtLoad = top.value(QStringLiteral("RunAtLoad"));
        if (runAtLoad.typeId() != QMetaType::Bool)
            fail(QStringLiteral("RunAtLoad is not a boolean"));
        job.runAtLoad = runAtLoad.toBool();
    }
    return job;
}
