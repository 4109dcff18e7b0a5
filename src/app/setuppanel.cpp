#include "setuppanel.h"

#include "agentcard.h"
#include "layouthelpers.h"
#include "picker.h"
#include "plaintooltip.h"
#include "state/connectstate.h"
#include "steplabel.h"
#include "symbolview.h"
#include "textlabel.h"
#include "theme.h"
#include "uitexts.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

namespace {

struct Effort
{
    QString shown;
    QString stored;
};

const Effort efforts[] = {
    { QStringLiteral("High"), QStringLiteral("high") },
    { QStringLiteral("Medium"), QStringLiteral("medium") },
    { QStringLiteral("Low"), QStringLiteral("low") },
    { QStringLiteral("Extra High"), QStringLiteral("xhigh") },
};

QComboBox *picker(const QString &accessibleName, QWidget *parent)
{
    return new Picker(accessibleName, parent);
}

// What each agent's card shows beyond the table of the agents.
struct Card
{
    AgentKind kind;
    QStringView title {}; // empty: the agent's title
    QStringView protocolName;
    QStringView description;
    QStringView subtitle {}; // Codex's follows codexInstalled
    Symbol symbol;
    const QColor *accent;
};

constexpr QStringView keychainLauncher = u"Keychain 启动器";

constexpr Card cards[] = {
    { .kind = AgentKind::codex,
        .title = u"Codex 官方客户端",
        .protocolName = u"RESPONSES",
        .description = u"连接 Codex Desktop 与 CLI，使用统一模型和推理设置。",
        .symbol = Symbol::chevronLeftForwardslashChevronRight,
        .accent = &Theme::cyan },
    { .kind = AgentKind::claudeCode,
        .protocolName = u"ANTHROPIC",
        .description = u"为 Claude Code CLI 注入 Messages 协议和安全启动器。",
        .subtitle = keychainLauncher,
        .symbol = Symbol::terminal,
        .accent = &Theme::orange },
    { .kind = AgentKind::geminiCLI,
        .protocolName = u"GEMINI",
        .description = u"同步 Gemini 模型，使用原生 Gemini API 环境启动。",
        .subtitle = keychainLauncher,
        .symbol = Symbol::sparkles,
        .accent = &Theme::purple },
    { .kind = AgentKind::kimiCode,
        .protocolName = u"OPENAI COMPAT",
        .description = u"为 Kimi Code 准备 OpenAI 兼容协议和模型变量。",
        .subtitle = keychainLauncher,
        .symbol = Symbol::kCircleFill,
        .accent = &Theme::pink },
    { .kind = AgentKind::openCode,
        .protocolName = u"OPENAI COMPAT",
        .description = u"写入全局 Provider，适合多模型项目和终端工作流。",
        .subtitle = u"全局 Provider 配置",
        .symbol = Symbol::square3Layers3d,
        .accent = &Theme::blue },
    { .kind = AgentKind::deepSeek,
        .title = u"DeepSeek Agent",
        .protocolName = u"CRUSH",
        .description = u"按官方 Crush 集成方式接入 DeepSeek Agent。",
        .subtitle = u"官方集成配置",
        .symbol = Symbol::brainHeadProfile,
        .accent = &Theme::red },
};
static_assert(oneRowPerKind(cards));

AgentCardContent cardContent(AgentKind kind)
{
    const Card &card = *std::find_if(
        std::begin(cards), std::end(cards), [kind](const Card &each) { return each.kind == kind; });
    return { card.title.isEmpty() ? title(kind) : card.title.toString(), card.protocolName.toString(),
        card.description.toString(), card.subtitle.toString(), card.symbol, *card.accent };
}

} // namespace

SetupPanel::SetupPanel(ConnectState &state, QWidget *parent)
    : Surface(Theme::black(0.28), Theme::white(0.1), 12, parent)
    , m_state(state)
    , m_banner(new TechBanner)
{
    auto *content = new QWidget;
    auto *layout = column(16, content);
    layout->setContentsMargins(0, 1, 0, 1);
    addIntroduction(layout, content);
    layout->addWidget(sharedConfigurationCard());
    auto *grid = new QGridLayout;
    addCards(grid);
    layout->addLayout(grid);
    layout->addStretch();

    m_scroll = new ScrollColumn(content, this);
    auto *outer = column(0, this);
    outer->setContentsMargins(20, 20, 20, 20);
    outer->addWidget(m_scroll);
    followState();
}

void SetupPanel::addIntroduction(QBoxLayout *layout, QWidget *content)
{
    layout->addWidget(new StepLabel(UiTexts::setupStep, UiTexts::setupStepTitle, content));

    auto *heading = row(8);
    heading->addWidget(
        new TextLabel(UiTexts::setupHeading, Theme::font(20, QFont::Bold), Qt::white, content));
    heading->addStretch();
    heading->addWidget(new TextLabel(UiTexts::nodes, Theme::font(10, QFont::Bold), Theme::accent, content));
    layout->addLayout(heading);

    m_banner->setParent(content);
    layout->addWidget(m_banner);
}

void SetupPanel::followState()
{
    connect(&m_state, &ConnectState::authenticatedChanged, this,
        [this] { m_banner->setReady(m_state.authenticated()); });
    connect(&m_state, &ConnectState::groupsChanged, this, &SetupPanel::showGroups);
    connect(&m_state, &ConnectState::selectedGroupIDChanged, this, &SetupPanel::showGroups);
    connect(&m_state, &ConnectState::modelsChanged, this, &SetupPanel::showModels);
    connect(&m_state, &ConnectState::selectedModelChanged, this, &SetupPanel::showModels);
    connect(&m_state, &ConnectState::reasoningEffortChanged, this, &SetupPanel::showEffort);
    connect(&m_state, &ConnectState::codexInstalledChanged, this, &SetupPanel::showCodexInstalled);
    connect(&m_state, &ConnectState::busyChanged, this, &SetupPanel::showBusy);
    m_banner->setReady(m_state.authenticated());
    showGroups();
    showModels();
    showEffort();
    showCodexInstalled();
    showBusy();
}

QWidget *SetupPanel::sharedConfigurationCard()
{
    auto *card = new Surface(Theme::withAlpha(Theme::accent, 0.08), Theme::withAlpha(Theme::accent, 0.2), 8);
    auto *layout = row(10, card);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->addWidget(new SymbolView(Symbol::sliderHorizontal3, 14, Theme::mint, card));
    layout->addWidget(
        new TextLabel(UiTexts::groupLabel, Theme::caption(QFont::DemiBold), Theme::white(0.8), card));

    m_groupPicker = picker(UiTexts::groupLabel, card);
    m_groupPicker->setFixedWidth(190);
    layout->addWidget(m_groupPicker);

    layout->addWidget(
        new TextLabel(UiTexts::modelLabel, Theme::caption(QFont::DemiBold), Theme::white(0.8), card));
    m_modelPicker = picker(UiTexts::modelPickerName, card);
    m_modelPicker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout->addWidget(m_modelPicker, 1);

    m_effortPicker = picker(UiTexts::effortPickerName, card);
    m_effortPicker->setFixedWidth(110);
    for (const Effort &effort : efforts)
        m_effortPicker->addItem(effort.shown, effort.stored);
    layout->addWidget(m_effortPicker);

    // Choosing writes the property at once; `activated` fires for the user's choices only.
    connect(m_groupPicker, &QComboBox::activated, this, [this](int index) {
        const QVariant id = m_groupPicker->itemData(index);
        m_state.setSelectedGroupID(id.isValid() ? std::optional<qint64>(id.toLongLong()) : std::nullopt);
    });
    connect(m_modelPicker, &QComboBox::activated, this,
        [this](int index) { m_state.setSelectedModel(m_modelPicker->itemData(index).toString()); });
    connect(m_effortPicker, &QComboBox::activated, this,
        [this](int index) { m_state.setReasoningEffort(m_effortPicker->itemData(index).toString()); });
    return card;
}

void SetupPanel::addCards(QGridLayout *grid)
{
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(16);
    grid->setColumnMinimumWidth(0, 235);
    grid->setColumnMinimumWidth(1, 235);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    for (const AgentDescriptor &agent : agents()) {
        const AgentKind kind = agent.kind;
        auto *card = new AgentCard(cardContent(kind));
        grid->addWidget(card, int(m_cards.size()) / 2, int(m_cards.size()) % 2);
        m_cards.append(card);

        card->setConnected(m_state.connected(kind));
        // Codex's card offers the check from its files, which the state reads once the window
        // is up (below): building the window reads no file.
        card->setCheckOffered(m_state.checkOffered(kind));
        connect(&m_state, &ConnectState::checkOfferedChanged, card, [this, card, kind](AgentKind changed) {
            if (changed == kind)
                card->setCheckOffered(m_state.checkOffered(kind));
        });
        connect(&m_state, &ConnectState::connectedChanged, card, [this, card, kind](AgentKind changed) {
            if (changed != kind)
                return;
            card->setConnected(m_state.connected(kind));
            card->setCheckOffered(m_state.checkOffered(kind));
        });
        connect(&m_state, &ConnectState::checkChanged, card, [this, card, kind](AgentKind changed) {
            if (changed == kind)
                showCheck(card, m_state.check(kind));
        });
        connect(card->checkButton(), &QAbstractButton::clicked, &m_state,
            [this, kind] { m_state.checkAgent(kind); });
        connect(card->connectButton(), &QAbstractButton::clicked, &m_state,
            [this, kind] { m_state.configureAgent(kind); });
        if (kind != AgentKind::codex) {
            connect(card->downloadButton(), &QAbstractButton::clicked, this,
                [this, kind] { m_state.openOfficialInstaller(kind); });
            continue;
        }
        // Codex's package is downloaded only once the user has agreed, and its installation
        // can be checked again.
        m_codexCard = card;
        connect(card->downloadButton(), &QAbstractButton::clicked, this, &SetupPanel::codexDownloadRequested);
        m_recheck = card->addSubtitleAction(UiTexts::recheck);
        connect(m_recheck, &QAbstractButton::clicked, &m_state, &ConnectState::recheckCodexInstalled);
    }
    QTimer::singleShot(0, &m_state, [this] { m_state.readCodexFiles(); });
}

QList<QWidget *> SetupPanel::focusOrder() const
{
    QList<QWidget *> order { m_groupPicker, m_modelPicker, m_effortPicker };
    for (const AgentCard *card : m_cards)
        order += card->focusOrder();
    return order;
}

void SetupPanel::showGroups()
{
    const QSignalBlocker blocker(m_groupPicker);
    m_groupPicker->clear();
    m_groupPicker->addItem(UiTexts::noGroup);
    for (const RemoteGroup &group : m_state.groups())
        m_groupPicker->addItem(group.displayName(), QVariant::fromValue(group.id));
    const std::optional<qint64> selected = m_state.selectedGroupID();
    m_groupPicker->setCurrentIndex(selected ? m_groupPicker->findData(QVariant::fromValue(*selected)) : 0);
}

void SetupPanel::showModels()
{
    const QSignalBlocker blocker(m_modelPicker);
    m_modelPicker->clear();
    for (const RemoteModel &model : m_state.models())
        m_modelPicker->addItem(model.id, model.id);
    // A selection that is not on the list shows as no selection.
    m_modelPicker->setCurrentIndex(m_modelPicker->findData(m_state.selectedModel()));
    // The picker is narrow: the whole id is at hand under the pointer.
    m_modelPicker->setToolTip(plainTooltip(m_modelPicker->currentText()));
}

void SetupPanel::showEffort()
{
    const QSignalBlocker blocker(m_effortPicker);
    m_effortPicker->setCurrentIndex(m_effortPicker->findData(m_state.reasoningEffort()));
}

void SetupPanel::showCodexInstalled()
{
    m_codexCard->setSubtitle(m_state.codexInstalled() ? UiTexts::codexInstalled : UiTexts::codexMissing);
}

void SetupPanel::showCheck(AgentCard *card, const ConnectState::AgentCheckStatus &check)
{
    using Stage = ConnectState::AgentCheckStatus::Stage;
    const QColor colour = check.stage == Stage::passed ? Theme::success
        : check.stage == Stage::failed                 ? Theme::error
                                                       : Theme::white(0.5);
    card->setCheckResult(check.text, colour);
    card->checkButton()->setEnabled(check.stage != Stage::running);
}

void SetupPanel::showBusy()
{
    // Downloads are not guarded by the operations themselves; connecting is, so the connect
    // buttons stay enabled.
    for (AgentCard *card : std::as_const(m_cards))
        card->downloadButton()->setEnabled(!m_state.busy());
}
