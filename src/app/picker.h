#pragma once

#include <QComboBox>

// A pop-up menu button in the manner of macOS: the choice and the up-and-down chevrons.
class Picker : public QComboBox
{
    Q_OBJECT
public:
    explicit Picker(const QString &accessibleName, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
