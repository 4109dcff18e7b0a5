#pragma once

#include <QDialog>

class QBoxLayout;
class QDialogButtonBox;
class QPushButton;

// A modal question in the manner of a macOS alert: the application's mark, a bold title, a
// message, a cancel button and the button that goes ahead (the default).
class ConfirmDialog : public QDialog
{
    Q_OBJECT
public:
    ConfirmDialog(const QString &title, const QString &message, const QString &cancel, const QString &accept,
        QWidget *parent = nullptr);

    QString title() const { return m_title; }
    QString message() const { return m_message; }
    QDialogButtonBox *buttons() const { return m_buttons; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *acceptButton() const { return m_accept; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void addTexts(QBoxLayout *layout);
    void styleButtons();

    QString m_title;
    QString m_message;
    QDialogButtonBox *m_buttons;
    QPushButton *m_cancel;
    QPushButton *m_accept;
};
