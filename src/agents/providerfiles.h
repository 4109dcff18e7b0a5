#pragma once

#include <QJsonObject>
#include <QString>

// Pure merges of the relay's provider entry into OpenCode's and Crush's configuration.
// Only the application's own members are set; everything else of `config` stays.
namespace ProviderFiles {

// OpenCode's published configuration schema, set under "$schema" when that key is absent.
inline const QString openCodeSchemaURL = QStringLiteral("https://opencode.ai/config.json");

// Sets provider → velmora (replaced whole; a `provider` that is not an object becomes one)
// and "$schema" when absent.
QJsonObject mergeOpenCodeProvider(QJsonObject config, const QString &baseURL, const QString &model);

// Sets providers → velmora-deepseek (replaced whole; a `providers` that is not an object
// becomes one).
QJsonObject mergeCrushProvider(QJsonObject config, const QString &baseURL, const QString &model);

} // namespace ProviderFiles
