#include "agents/providerfiles.h"

#include "agents/overlays.h"

#include <QJsonArray>

namespace ProviderFiles {

namespace {

// Stores `entry` under `name` in the table at `tableKey`, keeping the table's other entries.
QJsonObject withProvider(
    QJsonObject config, const QString &tableKey, const QString &name, const QJsonObject &entry)
{
    QJsonObject table = config.value(tableKey).toObject(); // empty unless it is an object
    table.insert(name, entry);
    config.insert(tableKey, table);
    return config;
}

} // namespace

QJsonObject mergeOpenCodeProvider(QJsonObject config, const QString &baseURL, const QString &model)
{
    if (!config.contains(QStringLiteral("$schema")))
        config.insert(QStringLiteral("$schema"), openCodeSchemaURL);
    QJsonObject models;
    models.insert(model, QJsonObject { { QStringLiteral("name"), model } }); // one key, even with "." or "/"
    const QJsonObject entry {
        { QStringLiteral("npm"), QStringLiteral("@ai-sdk/openai-compatible") },
        { QStringLiteral("name"), QStringLiteral("Velmora") },
        { QStringLiteral("options"),
            QJsonObject { { QStringLiteral("baseURL"), baseURL },
                { QStringLiteral("apiKey"), QStringLiteral("{env:VELMORA_API_KEY}") } } },
        { QStringLiteral("models"), models },
    };
    return withProvider(std::move(config), QStringLiteral("provider"), QStringLiteral("velmora"), entry);
}

QJsonObject mergeCrushProvider(QJsonObject config, const QString &baseURL, const QString &model)
{
    const QJsonObject modelEntry {
        { QStringLiteral("id"), model },
        { QStringLiteral("name"), model },
        { QStringLiteral("context_window"), 1048576 },
        { QStringLiteral("default_max_tokens"), 32768 },
        { QStringLiteral("can_reason"), true },
    };
    const QJsonObject entry {
        { QStringLiteral("type"), QStringLiteral("openai-compat") },
        { QStringLiteral("base_url"), baseURL },
        { QStringLiteral("api_key"), QStringLiteral("$") + Overlays::keyVariable },
        { QStringLiteral("models"), QJsonArray { modelEntry } },
    };
    return withProvider(
        std::move(config), QStringLiteral("providers"), QStringLiteral("velmora-deepseek"), entry);
}

} // namespace ProviderFiles
