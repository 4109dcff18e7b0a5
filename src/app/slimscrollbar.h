#pragma once

#include <QScrollBar>
#include <optional>

// A slim, quiet vertical scroll bar for the dark panels: a rounded handle, no track or arrows.
class SlimScrollBar : public QScrollBar
{
    Q_OBJECT
public:
    explicit SlimScrollBar(QWidget *parent = nullptr);

    QSize sizeHint() const override { return { 8, 32 }; }
    QRectF handle() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    std::optional<qreal> m_grab; // where the handle was taken, while dragging
};
