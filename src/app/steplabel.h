#pragma once

#include <QWidget>

// The numbered capsule and the title that open each panel.
class StepLabel : public QWidget
{
    Q_OBJECT
public:
    StepLabel(const QString &number, const QString &title, QWidget *parent = nullptr);
};
