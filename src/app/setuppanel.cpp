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
    const QString keychain = UiTexts::keychainLauncher;
    struct Entry
    {
        AgentCardContent content;
        std::optional<OfficialInstaller> installer; // none: the Codex card asks first
        void (ConnectState::*configure)();
        void (ConnectState::*changed)();
        bool (ConnectState::*connected)() const;
    };
    const Entry entries[] = {
        { { UiTexts::codexTitle, UiTexts::codexProtocol, UiTexts::codexDescription, UiTexts::codexMissing,
              Symbol::chevronLeftForwardslashChevronRight, Theme::cyan },
            std::nullopt, &ConnectState::configureCodexFromAccount, &ConnectState::codexConnectedChanged,
            &ConnectState::codexConnected },
        { { title(OfficialInstaller::claudeCode), UiTexts::claudeProtocol, UiTexts::claudeDescription,
              keychain, Symbol::terminal, Theme::orange },
            OfficialInstaller::claudeCode, &ConnectState::configureClaudeCode,
            &ConnectState::claudeCodeConnectedChanged, &ConnectState::claudeCodeConnected },
        { { title(OfficialInstaller::geminiCLI), UiTexts::geminiProtocol, UiTexts::geminiDescription,
              keychain, Symbol::sparkles, Theme::purple },
            OfficialInstaller::geminiCLI, &ConnectState::configureGeminiCLI,
            &ConnectState::geminiConnectedChanged, &ConnectState::geminiConnected },
        { { title(OfficialInstaller::kimiCode), UiTexts::kimiProtocol, UiTexts::kimiDescription, keychain,
              Symbol::kCircleFill, Theme::pink },
            OfficialInstaller::kimiCode, &ConnectState::configureKimiCode,
            &ConnectState::kimiConnectedChanged, &ConnectState::kimiConnected },
        { { title(OfficialInstaller::openCode), UiTexts::openCodeProtocol, UiTexts::openCodeDescription,
              UiTexts::openCodeSubtitle, Symbol::square3Layers3d, Theme::blue },
            OfficialInstaller::openCode, &ConnectState::configureOpenCode,
            &ConnectState::openCodeConnectedChanged, &ConnectState::openCodeConnected },
        { { UiTexts::deepSeekTitle, UiTexts::deepSeekProtocol, UiTexts::deepSeekDescription,
              UiTexts::deepSeekSubtitle, Symbol::brainHeadProfile, Theme::red },
            OfficialInstaller::deepSeek, &ConnectState::configureDeepSeekAgent,
            &ConnectState::deepSeekConnectedChanged, &ConnectState::deepSeekConnected },
    };

    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(16);
    grid->setColumnMinimumWidth(0, 235);
    grid->setColumnMinimumWidth(1, 235);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    int index = 0;
    for (const Entry &entry : entries) {
        auto *card = new AgentCard(entry.content);
        grid->addWidget(card, index / 2, index % 2);
        ++index;
        m_cards.append(card);

        const auto connectedGetter = entry.connected;
        card->setConnected((m_state.*connectedGetter)());
        connect(&m_state, entry.changed, card,
            [this, card, connectedGetter] { card->setConnected((m_state.*connectedGetter)()); });
        connect(card->connectButton(), &QAbstractButton::clicked, &m_state, entry.configure);
        if (entry.installer) {
            const OfficialInstaller installer = *entry.installer;
            connect(card->downloadButton(), &QAbstractButton::clicked, this,
                [this, installer] { m_state.openOfficialInstaller(installer); });
        } else {
            connect(
                card->downloadButton(), &QAbstractButton::clicked, this, &SetupPanel::codexDownloadRequested);
            m_recheck = card->addSubtitleAction(UiTexts::recheck);
            connect(m_recheck, &QAbstractButton::clicked, &m_state, &ConnectState::recheckCodexInstalled);
        }
    }
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
    m_cards.first()->setSubtitle(m_state.codexInstalled() ? UiTexts::codexInstalled : UiTexts::codexMissing);
}

void SetupPanel::showBusy()
{
    // Downloads are not guarded by the operations themselves; connecting is, so the connect
    // buttons stay enabled.
    for (AgentCard *card : std::as_const(m_cards))
        card->downloadButton()->setEnabled(!m_state.busy());
}
