#include "slimprogress.h"

#include "theme.h"
#include "uitexts.h"

#include <QPainter>
#include <QTimerEvent>

SlimProgress::SlimProgress(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(UiTexts::downloadProgressName);
}

void SlimProgress::setProgress(qint64 received, qint64 total)
{
    m_received = received;
    m_total = total;
    updateTimer();
    update();
}

qreal SlimProgress::fraction() const
{
    if (m_total <= 0)
        return 0;
    return qBound(0.0, double(m_received) / double(m_total), 1.0);
}

void SlimProgress::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF track = rect();
    const qreal radius = track.height() / 2;
    painter.setBrush(Theme::white(0.12));
    painter.drawRoundedRect(track, radius, radius);
    painter.setBrush(Theme::accent);
    if (determinate()) {
        painter.drawRoundedRect(QRectF(0, 0, track.width() * fraction(), track.height()), radius, radius);
    } else {
        // A third of the track sweeping from left to right.
        const qreal segment = track.width() / 3;
        const qreal x = (track.width() + segment) * (m_phase / 100.0) - segment;
        painter.setClipRect(track);
        painter.drawRoundedRect(QRectF(x, 0, segment, track.height()), radius, radius);
    }
}

void SlimProgress::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId())
        return QWidget::timerEvent(event);
    m_phase = (m_phase + 2) % 100;
    update();
}

void SlimProgress::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateTimer();
}

void SlimProgress::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    updateTimer();
}

void SlimProgress::updateTimer()
{
    if (isVisible() && !determinate()) {
        if (!m_timer.isActive())
            m_timer.start(30, this);
    } else {
        m_timer.stop();
    }
}
