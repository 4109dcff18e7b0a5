#pragma once

#include "symbols.h"

#include <QWidget>

class QLineEdit;

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

private:
    QLineEdit *m_edit;
};
