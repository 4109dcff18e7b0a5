#include "agentcard.h"

#include "layouthelpers.h"
#include "plaintooltip.h"
#include "theme.h"
#include "uitexts.h"

#include <QBoxLayout>

namespace {

ActionButton::Look downloadLook()
{
    return { Theme::white(0.1), Theme::white(0.2), Theme::white(0.85), 7, Theme::font(13), 19 };
}

ActionButton::Look connectLook(const QColor &tint)
{
    return { tint, Theme::white(0.18), Qt::black, 7, Theme::font(13, QFont::Bold), 13 };
}

// The small text controls of a card's lines.
ActionButton::Look lineActionLook()
{
    return { Qt::transparent, {}, Theme::accent, 5, Theme::font(10, QFont::DemiBold), 10 };
}

} // namespace

AgentCard::AgentCard(const AgentCardContent &content, QWidget *parent)
    : Surface(Theme::white(0.045), Theme::withAlpha(content.accent, 0.2), 8, parent)
    , m_content(content)
    , m_picture(new SymbolView(content.symbol, 22, content.accent, this))
    , m_protocol(new TextLabel(content.protocolName, Theme::font(9, QFont::Bold), content.accent, this))
    , m_subtitle(new TextLabel(content.subtitle, Theme::font(10, QFont::Medium), Theme::white(0.4), this))
    , m_checkRow(new QWidget(this))
    , m_checkResult(new TextLabel(QString(), Theme::font(10, QFont::Medium), Theme::white(0.5), m_checkRow))
    , m_check(
          new ActionButton(UiTexts::checkConnection, Symbol::waveformPathEcg, lineActionLook(), m_checkRow))
    , m_dot(new StatusDot(this))
    , m_download(new ActionButton(QString(), Symbol::arrowDownCircle, downloadLook(), this))
    , m_connect(new ActionButton(UiTexts::connect, Symbol::link, connectLook(content.accent), this))
{
    setAccessibleName(content.title);
    setMinimumHeight(204);
    auto *layout = column(12, this);
    layout->setContentsMargins(15, 15, 15, 15);

    addHeader(layout);
    addTexts(layout);
    addButtons(layout);
    layout->addStretch(); // the content keeps to the top of a taller card

    restyle();
}

void AgentCard::addHeader(QBoxLayout *layout)
{
    auto *header = row(10);
    m_picture->setBacking(32, Theme::withAlpha(m_content.accent, 0.12), 8);
    header->addWidget(m_picture, 0, Qt::AlignTop);
    auto *names = column(4);
    auto *title = new TextLabel(m_content.title, Theme::font(14, QFont::Bold), Qt::white, this);
    title->setMaximumLines(1);
    names->addWidget(title);
    names->addWidget(m_protocol);
    header->addLayout(names, 1);
    header->addWidget(m_dot, 0, Qt::AlignTop);
    layout->addLayout(header);
}

void AgentCard::addTexts(QBoxLayout *layout)
{
    auto *description = new TextLabel(m_content.description, Theme::caption(), Theme::white(0.62), this);
    description->setMaximumLines(2);
    layout->addWidget(description);

    m_subtitleRow = row(8);
    m_subtitle->setMaximumLines(1);
    m_subtitleRow->addWidget(m_subtitle, 1);
    layout->addLayout(m_subtitleRow);

    auto *checkLine = row(8, m_checkRow);
    checkLine->setContentsMargins(0, 0, 0, 0);
    m_checkResult->setMaximumLines(2);
    checkLine->addWidget(m_checkResult, 1);
    m_check->setFixedHeight(m_subtitle->sizeHint().height());
    m_check->setAccessibleName(UiTexts::checkConnection);
    m_check->setAccessibleDescription(m_content.title);
    checkLine->addWidget(m_check, 0, Qt::AlignTop);
    m_checkRow->hide();
    layout->addWidget(m_checkRow);
}

void AgentCard::addButtons(QBoxLayout *layout)
{
    auto *buttons = row(8);
    m_download->setFixedSize(62, 44);
    m_download->setToolTip(UiTexts::downloadTooltip);
    m_download->setAccessibleName(UiTexts::download);
    m_download->setAccessibleDescription(m_content.title);
    buttons->addWidget(m_download);
    buttons->addStretch();
    m_connect->setMinimumSize(112, 36);
    m_connect->setAccessibleDescription(m_content.title);
    buttons->addWidget(m_connect);
    layout->addLayout(buttons);
}

QColor AgentCard::tint() const
{
    return m_connected ? Theme::success : m_content.accent;
}

void AgentCard::setConnected(bool connected)
{
    m_connected = connected;
    restyle();
}

void AgentCard::setSubtitle(const QString &subtitle)
{
    m_subtitle->setText(subtitle);
}

ActionButton *AgentCard::addSubtitleAction(const QString &text)
{
    auto *button = new ActionButton(text, Symbol::arrowClockwise, lineActionLook(), this);
    // No taller than the subtitle, so the Codex card's rows line up with its neighbour's.
    button->setFixedHeight(m_subtitle->sizeHint().height());
    m_subtitleRow->addWidget(button);
    m_subtitleActions.append(button);
    return button;
}

void AgentCard::setCheckOffered(bool offered)
{
    m_checkRow->setVisible(offered);
}

void AgentCard::setCheckResult(const QString &text, const QColor &colour)
{
    m_checkResult->setText(text);
    m_checkResult->setColour(colour);
    m_checkResult->setToolTip(plainTooltip(text));
}

QList<QWidget *> AgentCard::focusOrder() const
{
    return m_subtitleActions + QList<QWidget *> { m_check, m_download, m_connect };
}

QSize AgentCard::minimumSizeHint() const
{
    return Surface::minimumSizeHint().expandedTo({ 204, 204 });
}

void AgentCard::restyle()
{
    const QColor tint = this->tint();
    setColours(Theme::white(0.045),
        m_connected ? Theme::withAlpha(Theme::success, 0.35) : Theme::withAlpha(tint, 0.2));
    m_picture->setSymbol(m_connected ? Symbol::checkmarkCircleFill : m_content.symbol);
    m_picture->setColour(tint);
    m_picture->setBacking(32, Theme::withAlpha(tint, 0.12), 8);
    m_protocol->setColour(tint);
    m_dot->setColour(m_connected ? Theme::success : Theme::white(0.18));
    m_connect->setText(m_connected ? UiTexts::connected : UiTexts::connect);
    m_connect->setAccessibleName(m_connect->text());
    m_connect->setSymbol(m_connected ? Symbol::checkmark : Symbol::link);
    m_connect->setLook(connectLook(tint));
}
