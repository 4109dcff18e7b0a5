#include "actionbutton.h"

#include "theme.h"

#include <QPainter>
#include <QtMath>

ActionButton::ActionButton(
    const QString &text, std::optional<Symbol> symbol, const Look &look, QWidget *parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_look(look)
{
    setText(text);
    setAccessibleName(text);
    setFont(look.font);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover); // repainted as the pointer comes and goes
}

void ActionButton::setSymbol(std::optional<Symbol> symbol)
{
    m_symbol = symbol;
    updateGeometry();
    update();
}

void ActionButton::setLook(const Look &look)
{
    m_look = look;
    setFont(look.font);
    updateGeometry();
    update();
}

QSize ActionButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    int width = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    if (m_symbol)
        width += qCeil(m_look.symbolSize * 1.2) + (text().isEmpty() ? 0 : 6);
    return { width + 24, qMax(metrics.height(), qCeil(m_look.symbolSize * 1.2)) + 12 };
}

QSize ActionButton::minimumSizeHint() const
{
    return sizeHint();
}

void ActionButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.4);

    QColor fill = m_look.fill;
    if (isDown())
        fill = fill.darker(125);
    else if (underMouse() && isEnabled())
        fill = fill.lighter(112);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(fill);
    painter.setPen(m_look.border.isValid() ? QPen(m_look.border, 1) : QPen(Qt::NoPen));
    painter.drawRoundedRect(box, m_look.radius, m_look.radius);

    if (hasFocus()) {
        // A white ring with a dark inner edge: it shows on every fill, the accent one included.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawRoundedRect(box.adjusted(1, 1, -1, -1), m_look.radius - 1, m_look.radius - 1);
        painter.setPen(QPen(Theme::black(0.6), 1));
        painter.drawRoundedRect(box.adjusted(2.5, 2.5, -2.5, -2.5), m_look.radius - 2.5, m_look.radius - 2.5);
    }

    // Symbol and text, centred as one label.
    const QFontMetricsF metrics(font());
    const qreal symbolBox = m_symbol ? m_look.symbolSize * 1.2 : 0;
    const qreal gap = (m_symbol && !text().isEmpty()) ? 6 : 0;
    const qreal textWidth = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    const qreal total = symbolBox + gap + textWidth;
    qreal x = (width() - total) / 2;
    if (m_symbol) {
        Symbols::paint(painter, *m_symbol, QRectF(x, (height() - symbolBox) / 2, symbolBox, symbolBox),
            m_look.symbolSize, m_look.content);
        x += symbolBox + gap;
    }
    if (!text().isEmpty()) {
        painter.setPen(m_look.content);
        painter.setFont(font());
        painter.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
}
