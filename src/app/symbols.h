#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

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

// Paints `symbol` at `pointSize`, centred in `box`.
void paint(QPainter &painter, Symbol symbol, const QRectF &box, qreal pointSize, const QColor &colour);

} // namespace Symbols
