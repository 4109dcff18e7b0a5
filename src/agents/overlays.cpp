#include "agents/overlays.h"

#include "agents/fileutils.h"

#include <QJsonDocument>

namespace Overlays {

QJsonObject claudeSettings(const QString &root, const QString &model)
{
    // Empty values hide another provider's token or key from the user's `env` block.
    QJsonObject env { { QStringLiteral("ANTHROPIC_API_KEY"), QString() },
        { QStringLiteral("ANTHROPIC_AUTH_TOKEN"), QString() },
        { QStringLiteral("ANTHROPIC_BASE_URL"), root } };
    // Every model Claude Code requests in a session: the main one, the aliases a user may switch
    // to, the small model of background tasks and the subagents' (the older and the current name).
    if (!model.isEmpty()) {
        for (const char *name :
            { "ANTHROPIC_MODEL", "ANTHROPIC_DEFAULT_OPUS_MODEL", "ANTHROPIC_DEFAULT_SONNET_MODEL",
                "ANTHROPIC_DEFAULT_HAIKU_MODEL", "ANTHROPIC_SMALL_FAST_MODEL", "CLAUDE_CODE_SUBAGENT_MODEL" })
            env.insert(QLatin1String(name), model);
    }
    return { { QStringLiteral("apiKeyHelper"), QStringLiteral("printf %s \"$") + keyVariable + u'"' },
        { QStringLiteral("env"), env } };
}

QJsonObject geminiSettings()
{
    const QJsonObject auth { { QStringLiteral("selectedType"), QStringLiteral("gemini-api-key") } };
    return { { QStringLiteral("security"), QJsonObject { { QStringLiteral("auth"), auth } } } };
}

QString geminiHome(const QString &appFolder)
{
    return appFolder + QStringLiteral("/gemini");
}

QString geminiSettingsPath(const QString &appFolder)
{
    return geminiHome(appFolder) + QStringLiteral("/.gemini/settings.json");
}

QString geminiRunHome(const QString &appFolder)
{
    return geminiHome(appFolder) + QStringLiteral("/run");
}

QString geminiRunHomeLine(const QString &appFolder)
{
    // Comments are allowed in Gemini CLI's settings file; an entry the run home holds as a file
    // or folder of its own (made by an earlier run) is left as it is.
    static const QString script = QStringLiteral(R"js(
const fs = require("fs"), path = require("path");
const [from, overlay, to] = process.argv.slice(1);
try {
    fs.mkdirSync(to, { recursive: true, mode: 0o700 });
    for (const name of fs.existsSync(from) ? fs.readdirSync(from) : []) {
        const link = path.join(to, name);
        if (name === "settings.json" || path.resolve(from) === path.resolve(to)) continue;
        try { if (!fs.lstatSync(link).isSymbolicLink()) continue; fs.unlinkSync(link); } catch {}
        try { fs.symlinkSync(path.join(from, name), link); } catch {}
    }
    const own = path.join(from, "settings.json");
    const text = fs.existsSync(own) ? fs.readFileSync(own, "utf8") : "{}";
    const settings = JSON.parse(text.replace(/("(?:\\.|[^"\\])*")|\/\/[^\n]*|\/\*[\s\S]*?\*\//g, (all, string) => string || ""));
    const merge = (a, b) => {
        for (const k in b) a[k] = b[k] instanceof Object && a[k] instanceof Object ? merge(a[k], b[k]) : b[k];
        return a;
    };
    const part = path.join(to, "settings.json." + process.pid);
    fs.writeFileSync(part, JSON.stringify(merge(settings, JSON.parse(fs.readFileSync(overlay, "utf8"))), null, 4) + "\n", { mode: 0o600 });
    fs.renameSync(part, path.join(to, "settings.json"));
} catch (error) {
    console.error("velmora-gemini: " + error.message);
    process.exit(1);
}
)js");
    return QStringLiteral("node -e '") + script + QStringLiteral("' \"${GEMINI_CLI_HOME:-$HOME}/.gemini\" ")
        + FileUtils::shellQuote(geminiSettingsPath(appFolder)) + u' '
        + FileUtils::shellQuote(geminiRunHome(appFolder) + QStringLiteral("/.gemini"));
}

QJsonObject openCodeConfig(const QString &model)
{
    return { { QStringLiteral("model"), QStringLiteral("velmora/") + model } };
}

QJsonObject crushSelection(const QString &model)
{
    const QJsonObject selected { { QStringLiteral("model"), model },
        { QStringLiteral("provider"), QStringLiteral("velmora-deepseek") } };
    return { { QStringLiteral("models"),
        QJsonObject { { QStringLiteral("large"), selected }, { QStringLiteral("small"), selected } } } };
}

QString crushData(const QString &appFolder)
{
    return appFolder + QStringLiteral("/crush");
}

QString crushSelectionPath(const QString &appFolder)
{
    return crushData(appFolder) + QStringLiteral("/crush.json");
}

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void writeGeminiSettings(const QString &appFolder)
{
    // Gemini CLI skips a settings file in a folder that anyone but its owner could write to.
    FileUtils::makePrivateDirectory(appFolder);
    FileUtils::makePrivateDirectory(geminiHome(appFolder));
    FileUtils::makePrivateDirectory(geminiHome(appFolder) + QStringLiteral("/.gemini"));
    FileUtils::writeJSONObject(geminiSettings(), geminiSettingsPath(appFolder));
}

void writeCrushSelection(const QString &appFolder, const QString &model)
{
    FileUtils::makePrivateDirectory(appFolder);
    FileUtils::makePrivateDirectory(crushData(appFolder));
    FileUtils::writeJSONObject(crushSelection(model), crushSelectionPath(appFolder));
}

} // namespace Overlays
