#include "cli/memory.h"

#include "agents/fileutils.h"
#include "agents/launchers.h"

#include <QJsonObject>

namespace {

struct Named
{
    AgentKind kind;
    const char *name;
};
constexpr Named names[] = {
    { AgentKind::codex, "codex" },
    { AgentKind::claudeCode, "claude" },
    { AgentKind::geminiCLI, "gemini" },
    { AgentKind::kimiCode, "kimi" },
    { AgentKind::openCode, "opencode" },
    { AgentKind::deepSeek, "crush" },
};
static_assert(oneRowPerKind(names));

const QString fileName = QStringLiteral("/cli.json");

QString keyringName(Launchers::KeyringCommand keyring)
{
    return keyring == Launchers::KeyringCommand::file ? QStringLiteral("file") : QStringLiteral("keyring");
}

} // namespace

QString agentName(AgentKind kind)
{
    for (const Named &row : names) {
        if (row.kind == kind)
            return QString::fromLatin1(row.name);
    }
    return {};
}

std::optional<AgentKind> agentNamed(const QString &name)
{
    for (const Named &row : names) {
        if (name == QLatin1String(row.name))
            return row.kind;
    }
    return std::nullopt;
}

Memory Memory::load(const QString &appFolder)
{
    QJsonObject object;
    try {
        object = FileUtils::jsonObject(appFolder + fileName);
    } catch (...) {
        return {};
    }
    Memory memory;
    memory.apiRoot = object.value(QStringLiteral("apiRoot")).toString();
    memory.email = object.value(QStringLiteral("email")).toString();
    const QJsonValue group = object.value(QStringLiteral("group"));
    if (group.isDouble())
        memory.groupID = qint64(group.toDouble());
    memory.model = object.value(QStringLiteral("model")).toString();
    memory.effort = object.value(QStringLiteral("effort")).toString();
    const QJsonObject connections = object.value(QStringLiteral("connections")).toObject();
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        const std::optional<AgentKind> kind = agentNamed(it.key());
        const QJsonObject entry = it.value().toObject();
        if (!kind || *kind == AgentKind::codex)
            continue;
        AgentCheck::Target target { QUrl(entry.value(QStringLiteral("apiRoot")).toString()),
            entry.value(QStringLiteral("keychainService")).toString(),
            entry.value(QStringLiteral("model")).toString(), Launchers::hostKeyringCommand };
        if (entry.value(QStringLiteral("keyStore")).toString() == QLatin1String("file"))
            target.keyring = Launchers::KeyringCommand::file;
        memory.connections[std::size_t(*kind)] = target;
    }
    return memory;
}

void Memory::save(const QString &appFolder) const
{
    QJsonObject object;
    object.insert(QStringLiteral("apiRoot"), apiRoot);
    object.insert(QStringLiteral("email"), email);
    if (groupID)
        object.insert(QStringLiteral("group"), double(*groupID));
    object.insert(QStringLiteral("model"), model);
    object.insert(QStringLiteral("effort"), effort);
    QJsonObject entries;
    for (const AgentDescriptor &agent : agents()) {
        const std::optional<AgentCheck::Target> &target = connections[std::size_t(agent.kind)];
        if (!target)
            continue;
        entries.insert(agentName(agent.kind),
            QJsonObject { { QStringLiteral("apiRoot"), target->router.toString() },
                { QStringLiteral("keychainService"), target->keychainService },
                { QStringLiteral("model"), target->model },
                { QStringLiteral("keyStore"), keyringName(target->keyring) } });
    }
    object.insert(QStringLiteral("connections"), entries);
    FileUtils::makePrivateDirectory(appFolder);
    FileUtils::writeJSONObject(object, appFolder + fileName);
}
