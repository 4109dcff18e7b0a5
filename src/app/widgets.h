#pragma once

#include "symbols.h"

#include <QAbstractButton>
#include <QBasicTimer>
#include <QColor>
#include <QLabel>
#include <QScrollArea>
#include <QWidget>
#include <optional>

class QBoxLayout;
class QLineEdit;

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

// A text in one font and colour. With a line limit, the last visible line ends in "…".
class TextLabel : public QLabel
{
    Q_OBJECT
public:
    TextLabel(const QString &text, const QFont &font, const QColor &colour, QWidget *parent = nullptr);

    void setColour(const QColor &colour);
    QColor colour() const { return m_colour; }
    // 0: as many lines as the text needs, wrapped at the label's width.
    void setMaximumLines(int lines);

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList layoutLines(int width, qreal *height) const;

    QColor m_colour;
    int m_maximumLines = 0;
};

// A button painted by the window itself: an optional symbol and a text on a rounded fill.
class ActionButton : public QAbstractButton
{
    Q_OBJECT
public:
    struct Look
    {
        QColor fill;
        QColor border; // invalid: no border
        QColor content; // symbol and text
        qreal radius = 7;
        QFont font;
        qreal symbolSize = 13;
    };

    ActionButton(
        const QString &text, std::optional<Symbol> symbol, const Look &look, QWidget *parent = nullptr);

    void setSymbol(std::optional<Symbol> symbol);
    void setLook(const Look &look);
    std::optional<Symbol> symbol() const { return m_symbol; }
    const Look &look() const { return m_look; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    std::optional<Symbol> m_symbol;
    Look m_look;
    bool m_hovered = false;
};

// The numbered capsule and the title that open each panel.
class StepLabel : public QWidget
{
    Q_OBJECT
public:
    StepLabel(const QString &number, const QString &title, QWidget *parent = nullptr);
};

// The card under the setup panel's heading; its right-hand status follows `authenticated`.
class TechBanner : public Surface
{
    Q_OBJECT
public:
    explicit TechBanner(QWidget *parent = nullptr);

    void setReady(bool ready);
    TextLabel *statusLabel() const { return m_status; }

private:
    TextLabel *m_status;
};

// The customer-service card at the foot of the login panel. Display only.
class ContactCard : public Surface
{
    Q_OBJECT
public:
    explicit ContactCard(const QString &supportQQ, QWidget *parent = nullptr);
};

// A labelled input: the label above a box holding a symbol and the edit line.
class InputField : public QWidget
{
    Q_OBJECT
public:
    InputField(const QString &label, const QString &placeholder, Symbol symbol, bool secure,
        QWidget *parent = nullptr);

    QLineEdit *edit() const { return m_edit; }
    // Shows `text` unless the edit already holds it, so that typing keeps its cursor.
    void display(const QString &text);

private:
    QLineEdit *m_edit;
};

// A thin bar for the running download: a share of the whole when the size is known, else a
// sweeping segment. The sweep's timer runs only while the bar is visible and indeterminate.
class SlimProgress : public QWidget
{
    Q_OBJECT
public:
    explicit SlimProgress(QWidget *parent = nullptr);

    // `total` below 1 means unknown.
    void setProgress(qint64 received, qint64 total);
    bool determinate() const { return m_total > 0; }
    // 0…1, when determinate.
    qreal fraction() const;

    QSize sizeHint() const override { return { 120, 4 }; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void updateTimer();

    qint64 m_received = 0;
    qint64 m_total = -1;
    int m_phase = 0;
    QBasicTimer m_timer;
};

// A frameless, transparent area that scrolls `content` vertically when the space is short;
// its size hint is the whole content, so that it takes no more room than the content needs.
class ScrollColumn : public QScrollArea
{
    Q_OBJECT
public:
    explicit ScrollColumn(QWidget *content, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};

// Layout helpers.
QBoxLayout *row(int spacing, QWidget *parent = nullptr);
QBoxLayout *column(int spacing, QWidget *parent = nullptr);
