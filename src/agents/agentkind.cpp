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

// In the order of OfficialInstaller.
const AgentDescriptor agents[] = {
    {
        .installer = OfficialInstaller::codex,
        .kind = std::nullopt,
        .title = QStringLiteral("Codex"),
        .packageFileName = QStringLiteral("codex-macos-arm64.dmg"),
    },
    {
        .installer = OfficialInstaller::claudeCode,
        .kind = AgentKind::claudeCode,
        .title = QStringLiteral("Claude Code"),
        .packageFileName = QStringLiteral("claude-code-macos-arm64.dmg"),
        .launcherName = QStringLiteral("velmora-claude"),
        .command = QStringLiteral("claude"),
        .modelPrefix = QStringLiteral("claude-"),
        .exportLines = [](const LauncherValues &values) -> QStringList {
            return { exportLine(QStringLiteral("ANTHROPIC_BASE_URL"), shellQuote(values.root)),
                QStringLiteral("export ANTHROPIC_AUTH_TOKEN=\"$velmora_key\""),
                QStringLiteral("export CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC=1"),
                QStringLiteral("export CLAUDE_CODE_ATTRIBUTION_HEADER=0"), keyExport() };
        },
        .commandOptions = [](const LauncherValues &values) -> QString {
            return QStringLiteral("--settings ")
                + shellQuote(Overlays::compact(Overlays::claudeSettings(values.root)));
        },
    },
    {
        .installer = OfficialInstaller::geminiCLI,
        .kind = AgentKind::geminiCLI,
        .title = QStringLiteral("Gemini CLI"),
        .packageFileName = QStringLiteral("gemini-cli-macos-arm64.tgz"),
        .launcherName = QStringLiteral("velmora-gemini"),
        .command = QStringLiteral("gemini"),
        .modelPrefix = QStringLiteral("gemini-"),
        .exportLines = [](const LauncherValues &values) -> QStringList {
            return { exportLine(QStringLiteral("GOOGLE_GEMINI_BASE_URL"), shellQuote(values.root)),
                QStringLiteral("export GEMINI_API_KEY=\"$velmora_key\""),
                exportLine(QStringLiteral("GEMINI_MODEL"), shellQuote(values.model)),
                QStringLiteral("export GEMINI_API_KEY_AUTH_MECHANISM=bearer"),
                exportLine(
                    QStringLiteral("GEMINI_CLI_HOME"), shellQuote(Overlays::geminiHome(values.appFolder))) };
        },
        .prepare = [](const LauncherValues &values) { Overlays::writeGeminiSettings(values.appFolder); },
    },
    {
        .installer = OfficialInstaller::kimiCode,
        .kind = AgentKind::kimiCode,
        .title = QStringLiteral("Kimi Code"),
        .packageFileName = QStringLiteral("kimi-code-macos-arm64.tgz"),
        .launcherName = QStringLiteral("velmora-kimi"),
        .command = QStringLiteral("kimi"),
        .modelPrefix = QStringLiteral("kimi-"),
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
        .installer = OfficialInstaller::openCode,
        .kind = AgentKind::openCode,
        .title = QStringLiteral("OpenCode"),
        .packageFileName = QStringLiteral("opencode-macos-arm64.zip"),
        .launcherName = QStringLiteral("velmora-opencode"),
        .command = QStringLiteral("opencode"),
        .modelPrefix = {}, // OpenCode always gets the selected model
        .exportLines = [](const LauncherValues &values) -> QStringList {
            return { keyExport(),
                exportLine(QStringLiteral("OPENCODE_CONFIG_CONTENT"),
                    shellQuote(Overlays::compact(Overlays::openCodeConfig(values.model)))) };
        },
        .providerFile = ProviderFile { QStringLiteral("opencode"), QStringLiteral("opencode.json"),
            ProviderFiles::mergeOpenCodeProvider },
    },
    {
        .installer = OfficialInstaller::deepSeek,
        .kind = AgentKind::deepSeek,
        .title = QStringLiteral("DeepSeek Agent（Crush）"),
        .packageFileName = QStringLiteral("deepseek-crush-macos-arm64.zip"),
        .launcherName = QStringLiteral("velmora-deepseek"),
        .command = QStringLiteral("crush"),
        .modelPrefix = QStringLiteral("deepseek-"),
        .exportLines = [](const LauncherValues &values) -> QStringList {
            return { keyExport(),
                exportLine(
                    QStringLiteral("CRUSH_GLOBAL_DATA"), shellQuote(Overlays::crushData(values.appFolder))) };
        },
        .providerFile = ProviderFile { QStringLiteral("crush"), QStringLiteral("crush.json"),
            ProviderFiles::mergeCrushProvider },
        .prepare
        = [](const LauncherValues &values) { Overlays::writeCrushSelection(values.appFolder, values.model); },
    },
};

} // namespace

const AgentDescriptor &descriptor(OfficialInstaller installer)
{
    return agents[int(installer)];
}

const AgentDescriptor &descriptor(AgentKind kind)
{
    return *std::find_if(std::begin(agents), std::end(agents),
        [kind](const AgentDescriptor &agent) { return agent.kind == kind; });
}

QString title(AgentKind kind)
{
    return descriptor(kind).title;
}

QString command(AgentKind kind)
{
    return descriptor(kind).command;
}

QString modelPrefix(AgentKind kind)
{
    return descriptor(kind).modelPrefix;
}

QString title(OfficialInstaller installer)
{
    return descriptor(installer).title;
}

QString packageFileName(OfficialInstaller installer)
{
    return descriptor(installer).packageFileName;
}
