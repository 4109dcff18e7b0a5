#pragma once

#include <QString>
#include <QWidget>

// A step number in black on an accent-coloured capsule.
class NumberCapsule : public QWidget
{
public:
    NumberCapsule(const QString &number, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_number;
};
