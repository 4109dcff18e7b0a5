#pragma once

#include "actionbutton.h"
#include "agents/agentkind.h"
#include "scrollcolumn.h"
#include "state/connectstate.h"
#include "surface.h"
#include "techbanner.h"

#include <QList>
#include <functional>

class AgentCard;

class QBoxLayout;
class QComboBox;
class QGridLayout;

// Step 02: the shared channel-group, model and reasoning-effort pickers and the six agent
// cards, in a scrolling column.
class SetupPanel : public Surface
{
    Q_OBJECT
public:
    explicit SetupPanel(ConnectState &state, QWidget *parent = nullptr);

    QComboBox *groupPicker() const { return m_groupPicker; }
    QComboBox *modelPicker() const { return m_modelPicker; }
    QComboBox *effortPicker() const { return m_effortPicker; }
    TechBanner *techBanner() const { return m_banner; }
    ScrollColumn *scrollArea() const { return m_scroll; }
    // In grid order, the order of the table of the agents.
    const QList<AgentCard *> &cards() const { return m_cards; }
    ActionButton *recheckButton() const { return m_recheck; }
    // The panel's controls in reading order: the pickers, then card by card.
    QList<QWidget *> focusOrder() const;

Q_SIGNALS:
    // The Codex card's download button: the window asks before downloading.
    void codexDownloadRequested();

private:
    void addIntroduction(QBoxLayout *layout, QWidget *content);
    QWidget *sharedConfigurationCard();
    void addCards(QGridLayout *grid);
    void showGroups();
    void showModels();
    void showEffort();
    void showCodexInstalled();
    void followState();
    void showCheck(AgentCard *card, const ConnectState::AgentCheckStatus &check);
    void showBusy();

    ConnectState &m_state;
    ScrollColumn *m_scroll = nullptr;
    TechBanner *m_banner;
    QComboBox *m_groupPicker = nullptr;
    QComboBox *m_modelPicker = nullptr;
    QComboBox *m_effortPicker = nullptr;
    QList<AgentCard *> m_cards;
    AgentCard *m_codexCard = nullptr;
    ActionButton *m_recheck = nullptr;
};
