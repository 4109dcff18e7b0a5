#include "agents/agentkind.h"

#include "agents/fileutils.h"
#include "agents/overlays.h"
#include "agents/providerfiles.h"

#include <algorithm>
#include <iterator>

namespace {

using FileUtils::shellQuote;

QString exportLine(const QString &name, const QString &value)
{
    return QStringLiteral("export ") + name + u'=' + value;
}

QString keyExport()
{
    return exportLine(Overlays::keyVariable, QStringLiteral("\"$velmora_key\""));
}

// The model Claude Code's launcher names: a claude- model the relay lists, else none.
QString claudeModel(const QString &model)
{
    return model.startsWith(QStringLiteral("claude-"), Qt::CaseInsensitive) ? model : QString();
}

// In the order of the window's cards; lookups go by kind.
constexpr AgentDescriptor table[] = {
    {
        .kind = AgentKind::codex,
        .title = u"Codex",
        .packageFileName = u"codex-macos-arm64.dmg",
        .command = u"codex",
        .protocol = WireProtocol::responses,
        .detectOverride = AgentSettings::codexOverride,
        .readBack = ReadBack { u"login status", false, AgentSettings::codexReportsKey },
    },
    {
        .kind = AgentKind::claudeCode,
        .title = u"Claude Code",
        .packageFileName = u"claude-code-macos-arm64.dmg",
        .command = u"claude",
        .protocol = WireProtocol::messages,
        .detectOverride = AgentSettings::claudeOverride,
        .launcherName = u"velmora-claude",
        .modelPrefix = u"claude-",
        .exportLines = [](const LauncherValues &values) -> QStringList {
            return { exportLine(QStringLiteral("ANTHROPIC_BASE_URL"), shellQuote(values.root)),
                QStringLiteral("export ANTHROPIC_AUTH_TOKEN=\"$velmora_key\""),
                QStringLiteral("export CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC=1"),
                QStringLiteral("export CLAUDE_CODE_ATTRIBUTION_HEADER=0"), keyExport() };
        },
        .commandOptions = [](const LauncherValues &values) -> QString {
            return QStringLiteral("--settings ")
                + shellQuote(
                    Overlays::compact(Overlays::claudeSettings(values.root, claudeModel(values.model))));
        },
    },
    {
        .kind = AgentKind::geminiCLI,
        .title = u"Gemini CLI",
        .packageFileName = u"gemini-cli-macos-arm64.tgz",
        .command = u"gemini",
        .protocol = WireProtocol::generateContent,
        .launcherName = u"velmora-gemini",
        .modelPrefix = u"gemini-",
        .exportLines = [](const LauncherValues &values) -> QStringList {
            return { Overlays::geminiRunHomeLine(values.appFolder),
                exportLine(QStringLiteral("GOOGLE_GEMINI_BASE_URL"), shellQuote(values.root)),
                QStringLiteral("export GEMINI_API_KEY=\"$velmora_key\""),
                exportLine(QStringLiteral("GEMINI_MODEL"), shellQuote(values.model)),
                QStringLiteral("export GEMINI_API_KEY_AUTH_MECHANISM=bearer"),
                exportLine(QStringLiteral("GEMINI_CLI_HOME"),
                    shellQuote(Overlays::geminiRunHome(values.appFolder))) };
        },
        .prepare = [](const LauncherValues &values) { Overlays::writeGeminiSettings(values.appFolder); },
    },
    {
        .kind = AgentKind::kimiCode,
        .title = u"Kimi Code",
        .packageFileName = u"kimi-code-macos-arm64.tgz",
        .command = u"kimi",
        .protocol = WireProtocol::chatCompletions,
        .launcherName = u"velmora-kimi",
        .modelPrefix = u"kimi-",
        .exportLines = [](const LauncherValues &values) -> QStringList {
            return { exportLine(QStringLiteral("KIMI_MODEL_NAME"), shellQuote(values.model)),
                QStringLiteral("export KIMI_MODEL_PROVIDER_TYPE=openai"),
                QStringLiteral("export KIMI_MODEL_API_KEY=\"$velmora_key\""),
                exportLine(
                    QStringLiteral("KIMI_MODEL_BASE_URL"), shellQuote(values.root + QStringLiteral("/v1"))),
                QStringLiteral("export KIMI_MODEL_MAX_CONTEXT_SIZE=1048576") };
        },
    },
    {
        .kind = AgentKind::openCode,
        .title = u"OpenCode",
        .packageFileName = u"opencode-macos-arm64.zip",
        .command = u"opencode",
        .protocol = WireProtocol::chatCompletions,
        .readBack = ReadBack { u"debug config", true, AgentSettings::openCodeResolvesRelay },
        .launcherName = u"velmora-opencode",
        .modelPrefix = {}, // OpenCode always gets the selected model
        .exportLines = [](const LauncherValues &values) -> QStringList {
            return { keyExport(),
                exportLine(QStringLiteral("OPENCODE_CONFIG_CONTENT"),
                    shellQuote(Overlays::compact(Overlays::openCodeConfig(values.model)))) };
        },
        .providerFile = ProviderFile { u"opencode", u"opencode.json", ProviderFiles::mergeOpenCodeProvider },
    },
    {
        .kind = AgentKind::deepSeek,
        .title = u"DeepSeek Agent（Crush）",
        .packageFileName = u"deepseek-crush-macos-arm64.zip",
        .command = u"crush",
        .protocol = WireProtocol::chatCompletions,
        .launcherName = u"velmora-deepseek",
        .modelPrefix = u"deepseek-",
        .exportLines = [](const LauncherValues &values) -> QStringList {
            return { keyExport(),
                exportLine(
                    QStringLiteral("CRUSH_GLOBAL_DATA"), shellQuote(Overlays::crushData(values.appFolder))) };
        },
        .providerFile = ProviderFile { u"crush", u"crush.json", ProviderFiles::mergeCrushProvider },
        .prepare
        = [](const LauncherValues &values) { Overlays::writeCrushSelection(values.appFolder, values.model); },
    },
};

static_assert(oneRowPerKind(table));

} // namespace

std::span<const AgentDescriptor> agents()
{
    return table;
}

const AgentDescriptor &descriptor(AgentKind kind)
{
    // Found: the table has a row for every kind.
    return *std::find_if(std::begin(table), std::end(table),
        [kind](const AgentDescriptor &agent) { return agent.kind == kind; });
}

QString title(AgentKind kind)
{
    return descriptor(kind).title.toString();
}

QString packageFileName(AgentKind kind)
{
    return descriptor(kind).packageFileName.toString();
}

QString command(AgentKind kind)
{
    return descriptor(kind).command.toString();
}

QString modelPrefix(AgentKind kind)
{
    return descriptor(kind).modelPrefix.toString();
}
