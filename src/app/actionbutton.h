#pragma once

#include "symbols.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <optional>

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

private:
    std::optional<Symbol> m_symbol;
    Look m_look;
};
