#include "layouthelpers.h"

#include <QBoxLayout>

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
