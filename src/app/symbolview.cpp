#include "symbolview.h"

#include <QPainter>
#include <QtMath>

SymbolView::SymbolView(Symbol symbol, qreal pointSize, const QColor &colour, QWidget *parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_pointSize(pointSize)
    , m_colour(colour)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setSymbol(Symbol symbol)
{
    m_symbol = symbol;
    update();
}

void SymbolView::setColour(const QColor &colour)
{
    m_colour = colour;
    update();
}

void SymbolView::setBacking(qreal side, const QColor &fill, qreal radius)
{
    m_backingSide = side;
    m_backingFill = fill;
    m_backingRadius = radius;
    updateGeometry();
    update();
}

QSize SymbolView::sizeHint() const
{
    const int side = qCeil(qMax(m_backingSide, m_pointSize * 1.2));
    return { side, side };
}

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRectF area = rect();
    if (m_backingSide > 0) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_backingFill);
        QRectF square(0, 0, m_backingSide, m_backingSide);
        square.moveCenter(area.center());
        painter.drawRoundedRect(square, m_backingRadius, m_backingRadius);
    }
    Symbols::paint(painter, m_symbol, area, m_pointSize, m_colour);
}
