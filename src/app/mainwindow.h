#pragma once

#include <QWidget>

class ConnectState;
class QLabel;

// The application's one window. It owns its ConnectState.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    ConnectState &state() const { return *m_state; }

private:
    ConnectState *m_state;
    QLabel *m_activity;
};
