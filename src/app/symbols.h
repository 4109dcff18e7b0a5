#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;

// The pictures of the window, named after the macOS symbols they stand for. They are glyphs
// of the embedded Material Design Icons font; three filled symbols with a cut-out (a letter
// in a circle, a lock in a shield, a waveform in a rectangle) are built from two glyphs.
enum class Symbol {
    hexagonFill,
    circleFill,
    waveformPathEcg,
    shieldCheckered,
    waveformPathEcgRectangleFill,
    messageFill,
    personCropCircleBadgeCheckmark,
    lockShieldFill,
    network,
    person,
    lock,
    arrowRightCircleFill,
    arrowTriangle2Circlepath,
    trashSlash,
    sliderHorizontal3,
    chevronLeftForwardslashChevronRight,
    terminal,
    sparkles,
    kCircleFill,
    square3Layers3d,
    brainHeadProfile,
    checkmarkCircleFill,
    arrowDownCircle,
    checkmark,
    link,
    arrowClockwise,
    chevronUpChevronDown,
};

namespace Symbols {

// Registers the embedded icon font; returns its family name (empty when it failed to load).
QString loadFont();
QString fontFamily();

// Paints `symbol` at `pointSize`, centred in `box`.
void paint(QPainter &painter, Symbol symbol, const QRectF &box, qreal pointSize, const QColor &colour);

} // namespace Symbols

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
