#include "widgets.h"

#include "theme.h"
#include "uitexts.h"

#include <QBoxLayout>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTextLayout>
#include <QTimerEvent>

// ---- Surface ----

Surface::Surface(const QColor &fill, const QColor &border, qreal radius, QWidget *parent)
    : QWidget(parent)
    , m_fill(fill)
    , m_border(border)
    , m_radius(radius)
{
}

void Surface::setColours(const QColor &fill, const QColor &border)
{
    m_fill = fill;
    m_border = border;
    update();
}

void Surface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The 1-point border lies inside the bounds, centred on the half pixel.
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = m_radius < 0 ? box.height() / 2 : m_radius;
    painter.setBrush(m_fill);
    painter.setPen(m_border.isValid() ? QPen(m_border, 1) : QPen(Qt::NoPen));
    painter.drawRoundedRect(box, radius, radius);
}

// ---- TextLabel ----

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

// ---- ActionButton ----

ActionButton::ActionButton(
    const QString &text, std::optional<Symbol> symbol, const Look &look, QWidget *parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_look(look)
{
    setText(text);
    setAccessibleName(text);
    setFont(look.font);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ActionButton::setSymbol(std::optional<Symbol> symbol)
{
    m_symbol = symbol;
    updateGeometry();
    update();
}

void ActionButton::setLook(const Look &look)
{
    m_look = look;
    setFont(look.font);
    updateGeometry();
    update();
}

QSize ActionButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    int width = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    if (m_symbol)
        width += qCeil(m_look.symbolSize * 1.2) + (text().isEmpty() ? 0 : 6);
    return { width + 24, qMax(metrics.height(), qCeil(m_look.symbolSize * 1.2)) + 12 };
}

QSize ActionButton::minimumSizeHint() const
{
    return sizeHint();
}

void ActionButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ActionButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void ActionButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.4);

    QColor fill = m_look.fill;
    if (isDown())
        fill = fill.darker(125);
    else if (m_hovered && isEnabled())
        fill = fill.lighter(112);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(fill);
    painter.setPen(m_look.border.isValid() ? QPen(m_look.border, 1) : QPen(Qt::NoPen));
    painter.drawRoundedRect(box, m_look.radius, m_look.radius);

    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Theme::withAlpha(Theme::accent, 0.8), 2));
        painter.drawRoundedRect(box.adjusted(1, 1, -1, -1), m_look.radius - 1, m_look.radius - 1);
    }

    // Symbol and text, centred as one label.
    const QFontMetricsF metrics(font());
    const qreal symbolBox = m_symbol ? m_look.symbolSize * 1.2 : 0;
    const qreal gap = (m_symbol && !text().isEmpty()) ? 6 : 0;
    const qreal textWidth = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    const qreal total = symbolBox + gap + textWidth;
    qreal x = (width() - total) / 2;
    if (m_symbol) {
        Symbols::paint(painter, *m_symbol, QRectF(x, (height() - symbolBox) / 2, symbolBox, symbolBox),
            m_look.symbolSize, m_look.content);
        x += symbolBox + gap;
    }
    if (!text().isEmpty()) {
        painter.setPen(m_look.content);
        painter.setFont(font());
        painter.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
}

// ---- StepLabel ----

namespace {

class NumberCapsule : public QWidget
{
public:
    NumberCapsule(const QString &number, QWidget *parent)
        : QWidget(parent)
        , m_number(number)
    {
        setFont(Theme::font(10, QFont::ExtraBold));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setAccessibleName(number);
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        return { metrics.horizontalAdvance(m_number) + 14, metrics.height() + 6 };
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::accent);
        const qreal radius = height() / 2.0;
        painter.drawRoundedRect(rect(), radius, radius);
        painter.setPen(Qt::black);
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter, m_number);
    }

private:
    QString m_number;
};

} // namespace

StepLabel::StepLabel(const QString &number, const QString &title, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = row(8, this);
    layout->addWidget(new NumberCapsule(number, this), 0, Qt::AlignVCenter);
    layout->addWidget(
        new TextLabel(title, Theme::caption(QFont::Bold), Theme::accent, this), 0, Qt::AlignVCenter);
    layout->addStretch();
}

// ---- TechBanner ----

TechBanner::TechBanner(QWidget *parent)
    : Surface(Theme::withAlpha(Theme::accent, 0.055), Theme::withAlpha(Theme::accent, 0.18), 8, parent)
{
    auto *layout = row(12, this);
    layout->setContentsMargins(12, 12, 12, 12);

    auto *symbol = new SymbolView(Symbol::waveformPathEcgRectangleFill, 22, Theme::accent, this);
    symbol->setBacking(38, Theme::withAlpha(Theme::accent, 0.1), 8);
    layout->addWidget(symbol);

    auto *texts = column(3);
    texts->addWidget(
        new TextLabel(UiTexts::neuralRouting, Theme::font(10, QFont::ExtraBold), Theme::accent, this));
    texts->addWidget(new TextLabel(UiTexts::sharedChannel, Theme::caption(), Theme::white(0.68), this));
    layout->addLayout(texts);
    layout->addStretch();

    auto *status = column(3);
    auto *sync = new TextLabel(UiTexts::syncLayer, Theme::font(9, QFont::Bold), Theme::white(0.38), this);
    sync->setAlignment(Qt::AlignRight);
    status->addWidget(sync, 0, Qt::AlignRight);
    m_status = new TextLabel(UiTexts::waiting, Theme::font(10, QFont::Bold), Theme::warning, this);
    m_status->setAlignment(Qt::AlignRight);
    status->addWidget(m_status, 0, Qt::AlignRight);
    layout->addLayout(status);
}

void TechBanner::setReady(bool ready)
{
    m_status->setText(ready ? UiTexts::ready : UiTexts::waiting);
    m_status->setColour(ready ? Theme::success : Theme::warning);
}

// ---- ContactCard ----

ContactCard::ContactCard(const QString &supportQQ, QWidget *parent)
    : Surface(Theme::withAlpha(Theme::accent, 0.055), Theme::withAlpha(Theme::accent, 0.2), 8, parent)
{
    setToolTip(UiTexts::contactTooltip(supportQQ));
    setAccessibleName(UiTexts::needHelp);
    setAccessibleDescription(UiTexts::contactTooltip(supportQQ));
    auto *layout = row(12, this);
    layout->setContentsMargins(13, 13, 13, 13);

    auto *symbol = new SymbolView(Symbol::messageFill, 18, Theme::accent, this);
    symbol->setBacking(36, Theme::withAlpha(Theme::accent, 0.1), 8);
    layout->addWidget(symbol);

    auto *texts = column(3);
    texts->addWidget(
        new TextLabel(UiTexts::needHelp, Theme::font(13, QFont::DemiBold), Theme::white(0.78), this));
    texts->addWidget(
        new TextLabel(UiTexts::qqLine(supportQQ), Theme::font(16, QFont::Bold), Theme::accent, this));
    layout->addLayout(texts);
    layout->addStretch();
    layout->addWidget(new TextLabel(UiTexts::support, Theme::font(9, QFont::Bold), Theme::white(0.35), this));
}

// ---- InputField ----

InputField::InputField(
    const QString &label, const QString &placeholder, Symbol symbol, bool secure, QWidget *parent)
    : QWidget(parent)
    , m_edit(new QLineEdit)
{
    auto *layout = column(6, this);
    layout->addWidget(new TextLabel(label, Theme::font(12, QFont::DemiBold), Theme::white(0.78), this));

    auto *box = new Surface(Theme::white(0.055), Theme::white(0.1), 7, this);
    auto *boxLayout = row(10, box);
    boxLayout->setContentsMargins(12, 13, 12, 13);
    boxLayout->addWidget(new SymbolView(symbol, 14, Theme::withAlpha(Theme::accent, 0.75), box));
    m_edit->setParent(box);
    m_edit->setFrame(false);
    m_edit->setFont(Theme::font(14));
    m_edit->setPlaceholderText(placeholder);
    m_edit->setAccessibleName(label);
    m_edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Qt::white);
    m_edit->setPalette(palette);
    if (secure)
        m_edit->setEchoMode(QLineEdit::Password);
    boxLayout->addWidget(m_edit, 1);
    layout->addWidget(box);
}

void InputField::display(const QString &text)
{
    if (m_edit->text() != text)
        m_edit->setText(text);
}

// ---- SlimProgress ----

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

// ---- ScrollColumn ----

ScrollColumn::ScrollColumn(QWidget *content, QWidget *parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    setWidget(content);
    // Keep the content clear of the scroll bar while it shows.
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        if (QLayout *layout = widget()->layout()) {
            QMargins margins = layout->contentsMargins();
            margins.setRight(maximum > 0 ? 12 : 0);
            layout->setContentsMargins(margins);
        }
    });
    // A slim, quiet scroll bar on the dark panels.
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 46); border-radius: 4px; min-height: "
        "32px; }"
        "QScrollBar::handle:vertical:hover { background: rgba(255, 255, 255, 82); }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
}

QSize ScrollColumn::sizeHint() const
{
    const QWidget *content = widget();
    if (!content)
        return QScrollArea::sizeHint();
    QSize hint = content->sizeHint();
    if (content->hasHeightForWidth() && width() > 0)
        hint.setHeight(content->heightForWidth(viewport()->width()));
    return hint;
}

QSize ScrollColumn::minimumSizeHint() const
{
    const QWidget *content = widget();
    if (!content)
        return QScrollArea::minimumSizeHint();
    return { content->minimumSizeHint().width() + verticalScrollBar()->sizeHint().width(), 0 };
}

// ---- Layout helpers ----

QBoxLayout *row(int spacing, QWidget *parent)
{
    auto *layout = new QBoxLayout(QBoxLayout::LeftToRight, parent);
    layout->setSpacing(spacing);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

QBoxLayout *column(int spacing, QWidget *parent)
{
    auto *layout = new QBoxLayout(QBoxLayout::TopToBottom, parent);
    layout->setSpacing(spacing);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}
