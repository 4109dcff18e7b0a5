#include "steplabel.h"

#include "layouthelpers.h"
#include "numbercapsule.h"
#include "textlabel.h"
#include "theme.h"

#include <QBoxLayout>

StepLabel::StepLabel(const QString &number, const QString &title, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = row(8, this);
    layout->addWidget(new NumberCapsule(number, this), 0, Qt::AlignVCenter);
    layout->addWidget(
        new TextLabel(title, Theme::caption(QFont::Bold), Theme::accent, this), 0, Qt::AlignVCenter);
    layout->addStretch();
}
