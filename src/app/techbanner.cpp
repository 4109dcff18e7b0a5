#include "techbanner.h"

#include "layouthelpers.h"
#include "symbolview.h"
#include "textlabel.h"
#include "theme.h"
#include "uitexts.h"

#include <QBoxLayout>

TechBanner::TechBanner(QWidget *parent)
    : Surface(Theme::withAlpha(Theme::accent, 0.055), Theme::withAlpha(Theme::accent, 0.18), 8, parent)
{
    auto *layout = row(12, this);
    layout->setContentsMargins(12, 12, 12, 12);

    auto *symbol = new SymbolView(Symbol::waveformPathEcgRectangleFill, 22, Theme::accent, this);
    symbol->setBacking(38, Theme::withAlpha(Theme::accent, 0.1), 8);
    layout->addWidget(symbol);

    auto *texts = column(3);
    texts->addWidget(
        new TextLabel(UiTexts::neuralRouting, Theme::font(10, QFont::ExtraBold), Theme::accent, this));
    texts->addWidget(new TextLabel(UiTexts::sharedChannel, Theme::caption(), Theme::white(0.68), this));
    layout->addLayout(texts);
    layout->addStretch();

    auto *status = column(3);
    auto *sync = new TextLabel(UiTexts::syncLayer, Theme::font(9, QFont::Bold), Theme::white(0.38), this);
    sync->setAlignment(Qt::AlignRight);
    status->addWidget(sync, 0, Qt::AlignRight);
    m_status = new TextLabel(UiTexts::waiting, Theme::font(10, QFont::Bold), Theme::warning, this);
    m_status->setAlignment(Qt::AlignRight);
    status->addWidget(m_status, 0, Qt::AlignRight);
    layout->addLayout(status);
}

void TechBanner::setReady(bool ready)
{
    m_status->setText(ready ? UiTexts::ready : UiTexts::waiting);
    m_status->setColour(ready ? Theme::success : Theme::warning);
}
