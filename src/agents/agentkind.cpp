#include "agents/agentkind.h"

#include "agents/fileutils.h"
#include "agents/launchers.h"
#include "agents/providerfiles.h"

#include <algorithm>
#include <iterator>

namespace {

using FileUtils::shellQuote;

// In the order of OfficialInstaller.
const AgentDescriptor agents[] = {
    { OfficialInstaller::codex, std::nullopt, QStringLiteral("Codex"),
        QStringLiteral("codex-macos-arm64.dmg"), {}, {}, {}, nullptr, std::nullopt },
    { OfficialInstaller::claudeCode, AgentKind::claudeCode, QStringLiteral("Claude Code"),
        QStringLiteral("claude-code-macos-arm64.dmg"), QStringLiteral("velmora-claude"),
        QStringLiteral("claude"), QStringLiteral("claude-"),
        [](const QString &root, const QString &) -> QStringList {
            return { QStringLiteral("export ANTHROPIC_BASE_URL=") + shellQuote(root),
                QStringLiteral("export ANTHROPIC_AUTH_TOKEN=\"$velmora_key\""),
                QStringLiteral("export CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC=1"),
                QStringLiteral("export CLAUDE_CODE_ATTRIBUTION_HEADER=0") };
        },
        std::nullopt },
    { OfficialInstaller::geminiCLI, AgentKind::geminiCLI, QStringLiteral("Gemini CLI"),
        QStringLiteral("gemini-cli-macos-arm64.tgz"), QStringLiteral("velmora-gemini"),
        QStringLiteral("gemini"), QStringLiteral("gemini-"),
        [](const QString &root, const QString &model) -> QStringList {
            return { QStringLiteral("export GOOGLE_GEMINI_BASE_URL=") + shellQuote(root),
                QStringLiteral("export GEMINI_API_KEY=\"$velmora_key\""),
                QStringLiteral("export GEMINI_MODEL=") + shellQuote(model),
                QStringLiteral("export GEMINI_API_KEY_AUTH_MECHANISM=bearer"),
                QStringLiteral("export GEMINI_CLI_SYSTEM_SETTINGS_PATH=\"$HOME/")
                    + Launchers::geminiSettingsFile + u'"' };
        },
        std::nullopt, Launchers::writeGeminiSettings },
    { OfficialInstaller::kimiCode, AgentKind::kimiCode, QStringLiteral("Kimi Code"),
        QStringLiteral("kimi-code-macos-arm64.tgz"), QStringLiteral("velmora-kimi"), QStringLiteral("kimi"),
        QStringLiteral("kimi-"),
        [](const QString &root, const QString &model) -> QStringList {
            return { QStringLiteral("export KIMI_MODEL_NAME=") + shellQuote(model),
                QStringLiteral("export KIMI_MODEL_PROVIDER_TYPE=openai"),
                QStringLiteral("export KIMI_MODEL_API_KEY=\"$velmora_key\""),
                QStringLiteral("export KIMI_MODEL_BASE_URL=") + shellQuote(root + QStringLiteral("/v1")),
                QStringLiteral("export KIMI_MODEL_MAX_CONTEXT_SIZE=1048576") };
        },
        std::nullopt },
    { OfficialInstaller::openCode, AgentKind::openCode, QStringLiteral("OpenCode"),
        QStringLiteral("opencode-macos-arm64.zip"), QStringLiteral("velmora-opencode"),
        QStringLiteral("opencode"), {}, // OpenCode always gets the selected model
        [](const QString &, const QString &) -> QStringList {
            return { QStringLiteral("export VELMORA_API_KEY=\"$velmora_key\"") };
        },
        ProviderFile { QStringLiteral(".config/opencode"), QStringLiteral("opencode.json"),
            ProviderFiles::mergeOpenCodeProvider } },
    { OfficialInstaller::deepSeek, AgentKind::deepSeek, QStringLiteral("DeepSeek Agent（Crush）"),
        QStringLiteral("deepseek-crush-macos-arm64.zip"), QStringLiteral("velmora-deepseek"),
        QStringLiteral("crush"), QStringLiteral("deepseek-"),
        [](const QString &, const QString &) -> QStringList {
            return { QStringLiteral("export DEEPSEEK_API_KEY=\"$velmora_key\"") };
        },
        ProviderFile { QStringLiteral(".config/crush"), QStringLiteral("crush.json"),
            ProviderFiles::mergeCrushProvider } },
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
