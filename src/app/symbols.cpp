#include "symbols.h"

#include "theme.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTransform>

namespace {

// Material Design Icons code points (the font of the Debian package
// fonts-materialdesignicons-webfont).
enum Glyph : char32_t {
    mdiHexagon = 0xF2D8,
    mdiCircle = 0xF12F, // checkbox-blank-circle
    mdiPulse = 0xF430,
    mdiSecurity = 0xF483,
    mdiShield = 0xF498,
    mdiMessage = 0xF361,
    mdiAccountCheck = 0xF008,
    mdiWeb = 0xF59F,
    mdiAccountOutline = 0xF013,
    mdiLockOutline = 0xF341,
    mdiLock = 0xF33E,
    mdiArrowRightBoldCircle = 0xF056,
    mdiSync = 0xF4E6,
    mdiDeleteForever = 0xF5E8,
    mdiTune = 0xF62E,
    mdiXml = 0xF5C0,
    mdiConsole = 0xF18D,
    mdiAutoFix = 0xF068,
    mdiFaceProfile = 0xF644,
    mdiLayers = 0xF328,
    mdiCheckCircle = 0xF5E0,
    mdiArrowDownBoldCircleOutline = 0xF048,
    mdiCheck = 0xF12C,
    mdiLinkVariant = 0xF339,
    mdiRefresh = 0xF450,
    mdiUnfoldMore = 0xF54F,
};

// The icon font draws its art in about 20 of every 24 units of the em; the macOS symbols
// fill a little more of their point size.
constexpr qreal emPerPoint = 1.1;

// Every outline is taken once, at one size, and scaled: outlines scale exactly.
constexpr qreal referenceEm = 96;

QPainterPath scaled(const QPainterPath &outline, qreal emSize)
{
    return QTransform::fromScale(emSize / referenceEm, emSize / referenceEm).map(outline);
}

QPainterPath centred(QPainterPath path)
{
    return path.translated(-path.boundingRect().center());
}

// The outline of every glyph, centred on the origin, taken from the embedded icon font read as a
// raw font at its first use: outlines are all the window takes from it, so it is not added to the
// font database (adding a font reads every glyph's coverage and empties the database, which the
// first frame then fills again).
const QHash<char32_t, QPainterPath> &outlines()
{
    static const QHash<char32_t, QPainterPath> all = [] {
        QHash<char32_t, QPainterPath> taken;
        QFile file(QStringLiteral(":/fonts/materialdesignicons.ttf"));
        if (!file.open(QIODevice::ReadOnly))
            return taken;
        const QRawFont font(file.readAll(), referenceEm);
        for (const char32_t glyph : { mdiHexagon, mdiCircle, mdiPulse, mdiSecurity, mdiShield, mdiMessage,
                 mdiAccountCheck, mdiWeb, mdiAccountOutline, mdiLockOutline, mdiLock, mdiArrowRightBoldCircle,
                 mdiSync, mdiDeleteForever, mdiTune, mdiXml, mdiConsole, mdiAutoFix, mdiFaceProfile,
                 mdiLayers, mdiCheckCircle, mdiArrowDownBoldCircleOutline, mdiCheck, mdiLinkVariant,
                 mdiRefresh, mdiUnfoldMore }) {
            const QList<quint32> indexes = font.glyphIndexesForString(QString::fromUcs4(&glyph, 1));
            if (!indexes.isEmpty())
                taken.insert(glyph, centred(font.pathForGlyph(indexes.first())));
        }
        return taken;
    }();
    return all;
}

// The outline of one glyph at `emSize`, centred on the origin.
QPainterPath glyphPath(char32_t glyph, qreal emSize)
{
    return scaled(outlines().value(glyph), emSize);
}

QPainterPath letterPath(const QString &letter, qreal size)
{
    QPainterPath path;
    path.addText(0, 0, Theme::font(referenceEm, QFont::Black), letter);
    return scaled(centred(path), size);
}

char32_t plainGlyph(Symbol symbol)
{
    switch (symbol) {
    case Symbol::hexagonFill:
        return mdiHexagon;
    case Symbol::circleFill:
        return mdiCircle;
    case Symbol::waveformPathEcg:
        return mdiPulse;
    case Symbol::shieldCheckered:
        return mdiSecurity;
    case Symbol::messageFill:
        return mdiMessage;
    case Symbol::personCropCircleBadgeCheckmark:
        return mdiAccountCheck;
    case Symbol::network:
        return mdiWeb;
    case Symbol::person:
        return mdiAccountOutline;
    case Symbol::lock:
        return mdiLockOutline;
    case Symbol::arrowRightCircleFill:
        return mdiArrowRightBoldCircle;
    case Symbol::arrowTriangle2Circlepath:
        return mdiSync;
    case Symbol::trashSlash:
        return mdiDeleteForever;
    case Symbol::sliderHorizontal3:
        return mdiTune;
    case Symbol::chevronLeftForwardslashChevronRight:
        return mdiXml;
    case Symbol::terminal:
        return mdiConsole;
    case Symbol::sparkles:
        return mdiAutoFix;
    case Symbol::square3Layers3d:
        return mdiLayers;
    case Symbol::brainHeadProfile:
        return mdiFaceProfile;
    case Symbol::checkmarkCircleFill:
        return mdiCheckCircle;
    case Symbol::arrowDownCircle:
        return mdiArrowDownBoldCircleOutline;
    case Symbol::checkmark:
        return mdiCheck;
    case Symbol::link:
        return mdiLinkVariant;
    case Symbol::arrowClockwise:
        return mdiRefresh;
    case Symbol::chevronUpChevronDown:
        return mdiUnfoldMore;
    case Symbol::waveformPathEcgRectangleFill:
    case Symbol::lockShieldFill:
    case Symbol::kCircleFill:
        break;
    }
    return 0;
}

QPainterPath buildPath(Symbol symbol, qreal pointSize)
{
    const qreal em = pointSize * emPerPoint;
    switch (symbol) {
    case Symbol::waveformPathEcgRectangleFill: {
        QPainterPath plate;
        const QSizeF size(em * 0.92, em * 0.74);
        plate.addRoundedRect(
            QRectF(QPointF(-size.width() / 2, -size.height() / 2), size), em * 0.16, em * 0.16);
        return plate.subtracted(glyphPath(mdiPulse, em * 0.78));
    }
    case Symbol::lockShieldFill: {
        const QPainterPath shield = glyphPath(mdiShield, em);
        // The shield is wider at the top: sit the lock a little above the middle.
        return shield.subtracted(glyphPath(mdiLock, em * 0.52).translated(0, -em * 0.04));
    }
    case Symbol::kCircleFill:
        return glyphPath(mdiCircle, em).subtracted(letterPath(QStringLiteral("K"), em * 0.5));
    default:
        return glyphPath(plainGlyph(symbol), em);
    }
}

const QPainterPath &cachedPath(Symbol symbol, qreal pointSize)
{
    static QHash<QPair<int, int>, QPainterPath> cache;
    const QPair<int, int> key(int(symbol), qRound(pointSize * 8));
    auto found = cache.find(key);
    if (found == cache.end())
        found = cache.insert(key, buildPath(symbol, pointSize));
    return *found;
}

} // namespace

namespace Symbols {

void paint(QPainter &painter, Symbol symbol, const QRectF &box, qreal pointSize, const QColor &colour)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.translate(box.center());
    painter.drawPath(cachedPath(symbol, pointSize));
    painter.restore();
}

} // namespace Symbols
