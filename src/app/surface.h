#pragma once

#include <QColor>
#include <QWidget>

// A rounded rectangle with a translucent fill and a 1-point border: the panels, cards and
// capsules of the window. A radius below zero makes a capsule (half the height).
class Surface : public QWidget
{
    Q_OBJECT
public:
    Surface(const QColor &fill, const QColor &border, qreal radius, QWidget *parent = nullptr);

    void setColours(const QColor &fill, const QColor &border);
    QColor fill() const { return m_fill; }
    QColor border() const { return m_border; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
    QColor m_border;
    qreal m_radius;
};
