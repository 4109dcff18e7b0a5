#include "scrollcolumn.h"

#include "slimscrollbar.h"

#include <QApplication>
#include <QLayout>

ScrollColumn::ScrollColumn(QWidget *content, QWidget *parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBar(new SlimScrollBar(this));
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    setWidget(content);
    // The area itself takes no focus; the control that does is scrolled into view, however
    // the focus came to it.
    setFocusPolicy(Qt::NoFocus);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && widget() && widget()->isAncestorOf(now))
            ensureWidgetVisible(now, 0, 8);
    });
    // Keep the content clear of the scroll bar while it shows.
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        if (QLayout *layout = widget()->layout()) {
            QMargins margins = layout->contentsMargins();
            margins.setRight(maximum > 0 ? 10 : 0);
            layout->setContentsMargins(margins);
        }
    });
}

QSize ScrollColumn::sizeHint() const
{
    const QWidget *content = widget();
    if (!content)
        return QScrollArea::sizeHint();
    QSize hint = content->sizeHint();
    if (content->hasHeightForWidth() && width() > 0)
        hint.setHeight(content->heightForWidth(viewport()->width()));
    return hint;
}

QSize ScrollColumn::minimumSizeHint() const
{
    const QWidget *content = widget();
    if (!content)
        return QScrollArea::minimumSizeHint();
    return { content->minimumSizeHint().width() + verticalScrollBar()->sizeHint().width(), 0 };
}
