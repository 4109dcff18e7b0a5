#pragma once

#include <QColor>
#include <QWidget>

// The 7 × 7 status dot of a card, lowered 5 points from the top of its row.
class StatusDot : public QWidget
{
    Q_OBJECT
public:
    explicit StatusDot(QWidget *parent = nullptr);

    void setColour(const QColor &colour);
    QColor colour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour;
};
