#pragma once

#include "symbols.h"

#include <QWidget>

class QLineEdit;
class Surface;

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

Q_SIGNALS:
    // The text changed by any means but display(): typing, pasting, undo, or an assistive
    // technology writing through the accessibility interface.
    void edited(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showFocus();

    QLineEdit *m_edit;
    Surface *m_box;
    bool m_displaying = false;
};
