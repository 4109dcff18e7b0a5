#include "statusbar.h"

#include "layouthelpers.h"
#include "plaintooltip.h"
#include "state/connectstate.h"
#include "theme.h"
#include "uitexts.h"

#include <QBoxLayout>
#include <QPainter>

StatusBar::StatusBar(ConnectState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_symbol(new SymbolView(Symbol::shieldCheckered, 13, Theme::success, this))
    , m_activity(new TextLabel(QString(), Theme::caption(), Theme::white(0.7), this))
    , m_contact(new TextLabel(QString(), Theme::font(13, QFont::Bold), Theme::accent, this))
    , m_progress(new SlimProgress(this))
{
    auto *layout = row(10, this);
    layout->setContentsMargins(28, 14, 28, 14);
    layout->addWidget(m_symbol, 0, Qt::AlignVCenter);
    m_activity->setMaximumLines(1);
    m_activity->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    layout->addWidget(m_activity, 0, Qt::AlignVCenter);

    const QString qq = state.platform().deployment().supportQQ;
    m_contact->setText(UiTexts::contactText(qq));
    m_contact->setToolTip(UiTexts::contactTooltip(qq));
    layout->addWidget(m_contact, 0, Qt::AlignVCenter);
    layout->addStretch(1);

    // Appears only while a download runs; the flexible space gives way to it.
    m_progress->setFixedSize(120, 4);
    m_progress->hide();
    layout->addWidget(m_progress, 0, Qt::AlignVCenter);

    auto *divider = new QWidget(this);
    divider->setFixedSize(1, 14);
    divider->setAutoFillBackground(true);
    QPalette palette = divider->palette();
    palette.setColor(QPalette::Window, Theme::white(0.16));
    divider->setPalette(palette);
    layout->addWidget(divider, 0, Qt::AlignVCenter);
    layout->addWidget(new TextLabel(UiTexts::legend, Theme::font(9, QFont::Medium), Theme::white(0.4), this),
        0, Qt::AlignVCenter);

    connect(&m_state, &ConnectState::busyChanged, this, &StatusBar::showBusy);
    connect(&m_state, &ConnectState::activityChanged, this, &StatusBar::showActivity);
    connect(&m_state, &ConnectState::downloadProgressChanged, this, &StatusBar::showProgress);
    showBusy();
    showActivity();
    showProgress();
}

void StatusBar::showBusy()
{
    if (m_state.busy()) {
        m_symbol->setSymbol(Symbol::waveformPathEcg);
        m_symbol->setColour(Theme::accent);
    } else {
        m_symbol->setSymbol(Symbol::shieldCheckered);
        m_symbol->setColour(Theme::withAlpha(Theme::success, 0.85));
    }
}

void StatusBar::showActivity()
{
    const QString &text = m_state.activity();
    m_activity->setText(text);
    m_activity->setToolTip(plainTooltip(text));
    m_activity->setColour(text.contains(UiTexts::failureMarker) ? Theme::error : Theme::white(0.7));
}

void StatusBar::showProgress()
{
    m_progress->setProgress(m_state.downloadReceived(), m_state.downloadTotal());
    m_progress->setVisible(m_state.downloading());
}

void StatusBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::black(0.25));
}
