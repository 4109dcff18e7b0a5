#include "textlabel.h"

#include <QPainter>
#include <QTextLayout>
#include <QtMath>

TextLabel::TextLabel(const QString &text, const QFont &font, const QColor &colour, QWidget *parent)
    : QLabel(text, parent)
{
    setFont(font);
    setTextFormat(Qt::PlainText);
    setColour(colour);
}

void TextLabel::setColour(const QColor &colour)
{
    m_colour = colour;
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, colour);
    setPalette(palette);
}

void TextLabel::setMaximumLines(int lines)
{
    m_maximumLines = lines;
    setWordWrap(lines != 1);
    setSizePolicy(QSizePolicy::Preferred, lines == 1 ? QSizePolicy::Fixed : QSizePolicy::Preferred);
    updateGeometry();
}

QStringList TextLabel::layoutLines(int width, qreal *height) const
{
    const QFontMetricsF metrics(font());
    QTextLayout layout(text(), font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    qreal y = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const bool last = lines.size() + 1 == m_maximumLines;
        if (last) {
            // Lay the rest out on this line and elide it.
            const QString rest = text().mid(line.textStart());
            lines.append(metrics.elidedText(rest, Qt::ElideRight, width));
            y += line.height();
            break;
        }
        lines.append(text().mid(line.textStart(), line.textLength()));
        y += line.height();
    }
    layout.endLayout();
    if (height)
        *height = y;
    return lines;
}

bool TextLabel::hasHeightForWidth() const
{
    return m_maximumLines > 1 || (m_maximumLines == 0 && wordWrap());
}

int TextLabel::heightForWidth(int width) const
{
    if (m_maximumLines == 0)
        return QLabel::heightForWidth(width);
    qreal height = 0;
    layoutLines(width, &height);
    return qCeil(height);
}

QSize TextLabel::sizeHint() const
{
    if (m_maximumLines == 0)
        return QLabel::sizeHint();
    const QFontMetrics metrics(font());
    if (m_maximumLines == 1)
        return { metrics.horizontalAdvance(text()), metrics.height() };
    return QLabel::sizeHint();
}

QSize TextLabel::minimumSizeHint() const
{
    if (m_maximumLines == 0)
        return QLabel::minimumSizeHint();
    const QFontMetrics metrics(font());
    return { metrics.averageCharWidth() * 4,
        m_maximumLines == 1 ? metrics.height() : QLabel::minimumSizeHint().height() };
}

void TextLabel::paintEvent(QPaintEvent *event)
{
    if (m_maximumLines == 0) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setPen(m_colour);
    painter.setFont(font());
    const int flags = int(alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignTop | Qt::TextSingleLine;
    qreal y = 0;
    for (const QString &line : layoutLines(width(), nullptr)) {
        const QRectF bounds = painter.boundingRect(QRectF(0, y, width(), height()), flags, line);
        painter.drawText(QRectF(0, y, width(), bounds.height()), flags, line);
        y += bounds.height();
        if (y >= height())
            break;
    }
}
