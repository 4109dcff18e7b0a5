#pragma once

#include <QColor>
#include <QFont>

class QPalette;

// The window's colours and type. Sizes are device-independent pixels ("points").
namespace Theme {

// The macOS system colours, dark appearance.
inline const QColor cyan { 90, 200, 245 };
inline const QColor green { 50, 215, 75 };
inline const QColor orange { 255, 159, 10 };
inline const QColor red { 255, 69, 58 };
inline const QColor purple { 191, 90, 242 };
inline const QColor pink { 255, 55, 95 };
inline const QColor blue { 10, 132, 255 };
inline const QColor mint { 102, 212, 207 };

inline const QColor &accent = cyan;
inline const QColor &success = green;
inline const QColor &warning = orange;
inline const QColor &error = red;

// The window background: a diagonal gradient between these two.
inline const QColor backgroundTop = QColor::fromRgbF(0.025f, 0.075f, 0.09f);
inline const QColor backgroundBottom = QColor::fromRgbF(0.025f, 0.035f, 0.05f);

// `colour` at `opacity` (0…1).
QColor withAlpha(const QColor &colour, qreal opacity);
inline QColor white(qreal opacity)
{
    return withAlpha(Qt::white, opacity);
}
inline QColor black(qreal opacity)
{
    return withAlpha(Qt::black, opacity);
}

// The system font at `pixelSize` with `weight`.
QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal);
// The macOS caption style: 10 points.
inline constexpr qreal captionSize = 10;
inline QFont caption(QFont::Weight weight = QFont::Normal)
{
    return font(captionSize, weight);
}

// Fusion, the dark palette, the icon font. Call once after the application object exists.
void apply();
QPalette palette();

} // namespace Theme
