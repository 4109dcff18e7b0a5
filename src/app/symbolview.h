#pragma once

#include "symbols.h"

#include <QColor>
#include <QWidget>

// A symbol, optionally centred on a rounded square of its own fill.
class SymbolView : public QWidget
{
    Q_OBJECT
public:
    SymbolView(Symbol symbol, qreal pointSize, const QColor &colour, QWidget *parent = nullptr);

    void setSymbol(Symbol symbol);
    void setColour(const QColor &colour);
    // A `side` × `side` square filled with `fill`, corner radius `radius`, behind the symbol.
    void setBacking(qreal side, const QColor &fill, qreal radius);

    Symbol symbol() const { return m_symbol; }
    QColor colour() const { return m_colour; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Symbol m_symbol;
    qreal m_pointSize;
    QColor m_colour;
    qreal m_backingSide = 0;
    QColor m_backingFill;
    qreal m_backingRadius = 0;
};
