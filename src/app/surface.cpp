#include "surface.h"

#include <QPainter>

Surface::Surface(const QColor &fill, const QColor &border, qreal radius, QWidget *parent)
    : QWidget(parent)
    , m_fill(fill)
    , m_border(border)
    , m_radius(radius)
{
}

void Surface::setColours(const QColor &fill, const QColor &border)
{
    m_fill = fill;
    m_border = border;
    update();
}

void Surface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The 1-point border lies inside the bounds, centred on the half pixel.
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = m_radius < 0 ? box.height() / 2 : m_radius;
    painter.setBrush(m_fill);
    painter.setPen(m_border.isValid() ? QPen(m_border, 1) : QPen(Qt::NoPen));
    painter.drawRoundedRect(box, radius, radius);
}
