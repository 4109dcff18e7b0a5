#include "contactcard.h"

#include "layouthelpers.h"
#include "symbolview.h"
#include "textlabel.h"
#include "theme.h"
#include "uitexts.h"

#include <QBoxLayout>

ContactCard::ContactCard(const QString &supportQQ, QWidget *parent)
    : Surface(Theme::withAlpha(Theme::accent, 0.055), Theme::withAlpha(Theme::accent, 0.2), 8, parent)
{
    setToolTip(UiTexts::contactTooltip(supportQQ));
    setAccessibleName(UiTexts::needHelp);
    setAccessibleDescription(UiTexts::contactTooltip(supportQQ));
    auto *layout = row(12, this);
    layout->setContentsMargins(13, 13, 13, 13);

    auto *symbol = new SymbolView(Symbol::messageFill, 18, Theme::accent, this);
    symbol->setBacking(36, Theme::withAlpha(Theme::accent, 0.1), 8);
    layout->addWidget(symbol);

    auto *texts = column(3);
    texts->addWidget(
        new TextLabel(UiTexts::needHelp, Theme::font(13, QFont::DemiBold), Theme::white(0.78), this));
    texts->addWidget(
        new TextLabel(UiTexts::qqLine(supportQQ), Theme::font(16, QFont::Bold), Theme::accent, this));
    layout->addLayout(texts);
    layout->addStretch();
    layout->addWidget(new TextLabel(UiTexts::support, Theme::font(9, QFont::Bold), Theme::white(0.35), this));
}
