#pragma once

#include <QColor>
#include <QLabel>

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
