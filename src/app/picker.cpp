#include "picker.h"

#include "symbols.h"
#include "theme.h"

#include <QPainter>

Picker::Picker(const QString &accessibleName, QWidget *parent)
    : QComboBox(parent)
{
    setAccessibleName(accessibleName);
    setFont(Theme::font(13));
    setFocusPolicy(Qt::TabFocus);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(3);
    setAttribute(Qt::WA_Hover); // repainted as the pointer comes and goes
}

QSize Picker::sizeHint() const
{
    const QFontMetrics metrics(font());
    int widest = metrics.horizontalAdvance(QLatin1Char('x')) * minimumContentsLength();
    for (int row = 0; row < count(); ++row)
        widest = qMax(widest, metrics.horizontalAdvance(itemText(row)));
    return { widest + 8 + 22, qMax(28, metrics.height() + 10) };
}

QSize Picker::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    return { metrics.horizontalAdvance(QLatin1Char('x')) * minimumContentsLength() + 8 + 22,
        qMax(28, metrics.height() + 10) };
}

void Picker::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.4);
    QColor border = Theme::white(0.14);
    if (hasFocus())
        border = Theme::withAlpha(Theme::accent, 0.78);
    else if (underMouse())
        border = Theme::withAlpha(Theme::accent, 0.43);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(border, 1));
    painter.setBrush(Theme::white(0.07));
    painter.drawRoundedRect(box, 6, 6);

    const QRect text = rect().adjusted(8, 0, -22, 0);
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
        painter.fontMetrics().elidedText(currentText(), Qt::ElideRight, text.width()));
    Symbols::paint(
        painter, Symbol::chevronUpChevronDown, QRectF(width() - 20, 0, 14, height()), 13, Theme::white(0.7));
}
