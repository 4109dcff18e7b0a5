#include "slimscrollbar.h"

#include "theme.h"

#include <QMouseEvent>
#include <QPainter>

SlimScrollBar::SlimScrollBar(QWidget *parent)
    : QScrollBar(Qt::Vertical, parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAttribute(Qt::WA_Hover); // repainted as the pointer comes and goes
}

QRectF SlimScrollBar::handle() const
{
    const qreal track = height();
    const int range = maximum() - minimum();
    if (range <= 0)
        return QRectF(0, 0, width(), track);
    const qreal length = qMax<qreal>(32, track * pageStep() / (range + pageStep()));
    const qreal top = (track - length) * (value() - minimum()) / range;
    return QRectF(0, top, width(), length);
}

void SlimScrollBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::white(m_grab || underMouse() ? 0.32 : 0.18));
    const QRectF bar = handle().adjusted(1, 0, -1, 0);
    painter.drawRoundedRect(bar, bar.width() / 2, bar.width() / 2);
}

void SlimScrollBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QRectF bar = handle();
    const qreal y = event->position().y();
    if (bar.contains(event->position())) {
        m_grab = y - bar.top();
        setSliderDown(true);
    } else {
        triggerAction(y < bar.top() ? SliderPageStepSub : SliderPageStepAdd);
    }
    update();
}

void SlimScrollBar::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_grab)
        return;
    const QRectF bar = handle();
    const qreal free = height() - bar.height();
    if (free <= 0)
        return;
    const qreal top = qBound<qreal>(0, event->position().y() - *m_grab, free);
    setSliderPosition(minimum() + qRound((maximum() - minimum()) * top / free));
}

void SlimScrollBar::mouseReleaseEvent(QMouseEvent *)
{
    if (m_grab) {
        m_grab.reset();
        setSliderDown(false);
        update();
    }
}
