#include "numbercapsule.h"

#include "theme.h"

#include <QPainter>

NumberCapsule::NumberCapsule(const QString &number, QWidget *parent)
    : QWidget(parent)
    , m_number(number)
{
    setFont(Theme::font(10, QFont::ExtraBold));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(number);
}

QSize NumberCapsule::sizeHint() const
{
    const QFontMetrics metrics(font());
    return { metrics.horizontalAdvance(m_number) + 14, metrics.height() + 6 };
}

void NumberCapsule::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::accent);
    const qreal radius = height() / 2.0;
    painter.drawRoundedRect(rect(), radius, radius);
    painter.setPen(Qt::black);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, m_number);
}
