#include "theme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <QStyleFactory>
#include <QToolTip>

namespace Theme {

QColor withAlpha(const QColor &colour, qreal opacity)
{
    QColor result = colour;
    result.setAlphaF(float(colour.alphaF() * opacity));
    return result;
}

QFont font(qreal pixelSize, QFont::Weight weight)
{
    QFont result = QApplication::font();
    result.setPixelSize(qRound(pixelSize));
    result.setWeight(weight);
    return result;
}

QPalette palette()
{
    const QColor surface(28, 36, 42);
    QPalette palette;
    palette.setColor(QPalette::Window, backgroundBottom);
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(18, 24, 29));
    palette.setColor(QPalette::AlternateBase, surface);
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::PlaceholderText, white(0.35));
    palette.setColor(QPalette::Button, surface);
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, withAlpha(accent, 0.85));
    palette.setColor(QPalette::HighlightedText, Qt::black);
    palette.setColor(QPalette::Link, accent);
    palette.setColor(QPalette::ToolTipBase, surface);
    palette.setColor(QPalette::ToolTipText, Qt::white);
    palette.setColor(QPalette::Light, QColor(60, 70, 78));
    palette.setColor(QPalette::Midlight, QColor(44, 54, 61));
    palette.setColor(QPalette::Mid, QColor(36, 44, 50));
    palette.setColor(QPalette::Dark, QColor(10, 14, 17));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (const auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        palette.setColor(QPalette::Disabled, role, white(0.35));
    return palette;
}

void apply()
{
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QApplication::setPalette(palette());
    QToolTip::setPalette(palette());
#ifndef Q_OS_MACOS
    // Chinese text in Simplified Chinese forms: name the CJK face after the system font
    // instead of leaving it to whichever Han font the fallback search finds first. Looked up
    // among the installed families by its exact name: hasFamily() would also resolve it as an
    // alias through a font match, which the start need not pay.
    static const QString cjk = QStringLiteral("Noto Sans CJK SC");
    if (QFontDatabase::families().contains(cjk, Qt::CaseInsensitive)) {
        QFont system = QApplication::font();
        system.setFamilies({ system.family(), cjk });
        QApplication::setFont(system);
    }
#endif
}

} // namespace Theme
