#pragma once

#include "actionbutton.h"
#include "statusdot.h"
#include "surface.h"
#include "symbolview.h"
#include "textlabel.h"

#include <QColor>
#include <QString>

class QBoxLayout;

// What one agent card shows.
struct AgentCardContent
{
    QString title;
    QString protocolName;
    QString description;
    QString subtitle;
    Symbol symbol;
    QColor accent;
};

// One card of the setup panel's grid: the agent's picture, name, protocol, description and
// subtitle, its download button and its connect button. Green while connected.
class AgentCard : public Surface
{
    Q_OBJECT
public:
    explicit AgentCard(const AgentCardContent &content, QWidget *parent = nullptr);

    void setConnected(bool connected);
    void setSubtitle(const QString &subtitle);
    // A small text control at the end of the subtitle line.
    ActionButton *addSubtitleAction(const QString &text);
    // The check's line and its control ("检测连接"), shown while the check is offered.
    void setCheckOffered(bool offered);
    // The check's latest result in its colour; empty: none yet.
    void setCheckResult(const QString &text, const QColor &colour);

    bool connected() const { return m_connected; }
    // The colour of the picture, the protocol tag and the connect button.
    QColor tint() const;

    SymbolView *picture() const { return m_picture; }
    TextLabel *protocolLabel() const { return m_protocol; }
    TextLabel *subtitleLabel() const { return m_subtitle; }
    StatusDot *statusDot() const { return m_dot; }
    ActionButton *downloadButton() const { return m_download; }
    ActionButton *connectButton() const { return m_connect; }
    ActionButton *checkButton() const { return m_check; }
    TextLabel *checkLabel() const { return m_checkResult; }
    // The card's controls in reading order.
    QList<QWidget *> focusOrder() const;

    QSize minimumSizeHint() const override;

private:
    void addHeader(QBoxLayout *layout);
    void addTexts(QBoxLayout *layout);
    void addButtons(QBoxLayout *layout);
    void restyle();

    AgentCardContent m_content;
    bool m_connected = false;
    SymbolView *m_picture;
    TextLabel *m_protocol;
    TextLabel *m_subtitle;
    QBoxLayout *m_subtitleRow;
    QList<QWidget *> m_subtitleActions;
    QWidget *m_checkRow;
    TextLabel *m_checkResult;
    ActionButton *m_check;
    StatusDot *m_dot;
    ActionButton *m_download;
    ActionButton *m_connect;
};
