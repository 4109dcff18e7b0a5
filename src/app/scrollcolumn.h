#pragma once

#include <QScrollArea>

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
